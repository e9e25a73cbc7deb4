#pragma once
// The report "rapport.txt" of a data backup, replaced at every run in the
// working directory. Lines end with CR LF; the file is Windows-1252 when every
// character fits, UTF-8 otherwise:
//   80 "-"
//   "Début de sauvegarde mm-dd-yyyy - hh:mm:ss"
//   80 "-"
//   one line per file in list order: "OK  > name" (added), "Non - name" (left
//   out by the rules) or "Non - name (engine's message)" (kept by the rules,
//   refused by the engine); then "Non - name\" for each sub-folder (not in
//   the backup)
//   80 "-"
//   "<n> fichiers sauvegardés"
//   "<n> fichiers ignorés"
//   "<n> fichiers en erreur, non sauvegardés"   (only when n > 0)
//   "<n> anciennes sauvegardes supprimées"      (only when old backups were removed)
//   "Fin de sauvegarde mm-dd-yyyy - hh:mm:ss"
//   80 "-"
// An old backup removed from the backup folder (to make room, or by the
// keeping rule) has its line "Supprimée - name" where the removal happened.
// When the archive could not be written the end lines are replaced by one
// line "Echec de la sauvegarde mm-dd-yyyy - hh:mm:ss".
//
// The lines are kept in memory and the file is rewritten as a whole by Begin,
// Flush and Finish, so a run costs no per-file disk write.

#include <string>

#include "ui/Environment.h"

namespace kuv::backup {

class BackupReport {
public:
    explicit BackupReport(std::string path);

    // Starts a new report with its three header lines and writes the file.
    bool Begin(const DateTime& now);
    // One file line (the name is given in lower case by the caller).
    void AddSaved(const std::string& name);
    void AddIgnored(const std::string& name);
    // A file the rules keep but the engine refused: "Non - name (message)".
    void AddRefused(const std::string& name, const std::string& message);
    // A sub-folder of the data folder, which the backup does not hold.
    void AddSubFolder(const std::string& name);
    // Turns the file line "OK  > name" into "Non - name (message)" (a file
    // listed as added that the archive does not hold after all).
    void LeaveOut(const std::string& name, const std::string& message);
    // An old backup removed from the backup folder: "Supprimée - name".
    void AddRemoved(const std::string& name);
    int RemovedCount() const { return removed_; }
    // Writes the report as it stands (header and file lines).
    bool Flush();
    // Adds the end lines and writes the file; refusedCount is the number of
    // files the engine refused (its line only when above 0).
    bool Finish(int savedCount, int ignoredCount, int refusedCount, const DateTime& now);
    // A run whose archive could not be written (or read back): the line
    // "Echec de la sauvegarde " + stamp after the file lines, then written.
    bool Fail(const DateTime& now);

    const std::string& Text() const { return text_; }  // UTF-8, CR LF line ends
    const std::string& Path() const { return path_; }

private:
    void Line(const std::string& line);

    std::string path_;
    std::string text_;
    int removed_ = 0;
};

}  // namespace kuv::backup
