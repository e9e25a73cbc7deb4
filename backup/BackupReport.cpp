#include "backup/BackupReport.h"

#include "backup/ArchiveNaming.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::backup {

namespace {
const std::string kRule(80, '-');
}

BackupReport::BackupReport(std::string path) : path_(std::move(path)) {}

void BackupReport::Line(const std::string& line) {
    text_ += line;
    text_ += "\r\n";
}

bool BackupReport::Begin(const DateTime& now) {
    text_.clear();
    removed_ = 0;
    Line(kRule);
    Line("Début de sauvegarde " + ReportStamp(now));
    Line(kRule);
    return Flush();
}

void BackupReport::AddSaved(const std::string& name) { Line("OK  > " + name); }

void BackupReport::AddIgnored(const std::string& name) { Line("Non - " + name); }

void BackupReport::AddRefused(const std::string& name, const std::string& message) {
    Line("Non - " + name + " (" + message + ")");
}

void BackupReport::AddSubFolder(const std::string& name) { Line("Non - " + name + "\\"); }

void BackupReport::LeaveOut(const std::string& name, const std::string& message) {
    const std::string saved = "\r\nOK  > " + name + "\r\n";
    const size_t at = text_.find(saved);
    if (at == std::string::npos) return;
    text_.replace(at, saved.size(), "\r\nNon - " + name + " (" + message + ")\r\n");
}

void BackupReport::AddRemoved(const std::string& name) {
    Line("Supprimée - " + name);
    ++removed_;
}

bool BackupReport::Flush() {
    return kuv::platform::WriteWholeFile(path_, kuv::platform::EncodeTextFile(text_));
}

bool BackupReport::Finish(int savedCount, int ignoredCount, int refusedCount, const DateTime& now) {
    Line(kRule);
    Line(std::to_string(savedCount) + " fichiers sauvegardés");
    Line(std::to_string(ignoredCount) + " fichiers ignorés");
    if (refusedCount > 0) Line(std::to_string(refusedCount) + " fichiers en erreur, non sauvegardés");
    if (removed_ > 0) Line(std::to_string(removed_) + " anciennes sauvegardes supprimées");
    Line("Fin de sauvegarde " + ReportStamp(now));
    Line(kRule);
    return Flush();
}

bool BackupReport::Fail(const DateTime& now) {
    Line("Echec de la sauvegarde " + ReportStamp(now));
    return Flush();
}

}  // namespace kuv::backup
