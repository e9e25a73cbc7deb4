#include "restore/BrowseLogic.h"

#include "platform/Files.h"
#include "platform/Text.h"
#include "zip/clsZip.h"

namespace kuv::restore {

namespace {

void Tell(DialogPort& dialog, const std::string& text) {
    DialogMode = kDialogMessage;
    DialogText = text;
    dialog.ShowDialog();
}

std::string KeptShown(const std::string& shownData, const std::string& name) {
    const char sep = shownData.find('\\') != std::string::npos ? '\\' : '/';
    std::string folder = shownData;
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder + sep + name;
}

void CollectFaults(clsZip& engine, std::vector<std::string>& faults, std::int32_t* lastNumber = nullptr) {
    engine.Events.ZipError = [&faults, lastNumber](std::int32_t n, const std::string& text, bool&) {
        faults.push_back("Erreur " + std::to_string(n) + " - " + text);
        if (lastNumber) *lastNumber = n;
    };
}

// The first faults, one a line: enough to name the members concerned.
void AppendFaults(std::string& text, const std::vector<std::string>& faults) {
    constexpr size_t kShown = 8;
    for (size_t i = 0; i < faults.size() && i < kShown; ++i) text += kLineBreak + faults[i];
    if (faults.size() > kShown)
        text += std::string(kLineBreak) + "... et " + std::to_string(faults.size() - kShown) + " autres erreurs";
}

}  // namespace

bool BrowseLogic::Open(const std::string& archivePath, const std::string& label) {
    clsZip engine;
    std::string error;
    engine.Events.ZipError = [&](std::int32_t n, const std::string& text, bool&) {
        if (error.empty()) error = "Erreur " + std::to_string(n) + " - " + text;
    };
    rows_.clear();
    if (!engine.ZipOpen(archivePath)) {
        Tell(ctx_.dialog, "La sauvegarde n'a pas pu être lue !" + (error.empty() ? "" : kLineBreak + error));
        return false;
    }
    archivePath_ = archivePath;
    rows_ = Compare(ListMembers(engine), ListDataFolder(ctx_.dataFolder));
    ctx_.view.SetTitle("Contenu de la sauvegarde du " + label);
    Show();
    return true;
}

void BrowseLogic::SetFilter(const std::string& filter) {
    filter_ = filter;
    Show();
}

bool BrowseLogic::SettleNext() {
    for (ComparedFile& row : rows_) {
        if (SettleByCrc(row, ctx_.dataFolder)) {
            Show();
            return true;
        }
    }
    return false;
}

void BrowseLogic::RestoreChosen(const std::vector<std::string>& paths) {
    if (paths.empty() || archivePath_.empty()) {
        Tell(ctx_.dialog, kChooseMembers);
        return;
    }
    DialogMode = kDialogConfirmUpper;
    DialogText = "Confirmez la récupération de " + std::to_string(paths.size()) + " fichier(s)" + kLineBreak +
                 " tapez 'OUI' pour confirmer ?|NON";
    ctx_.dialog.ShowDialog();
    if (platform::ToUpper(platform::Trim(DialogText)) != "OUI") return;
    clsZip engine;
    lastOutcome_ = RestoreMembers(engine, archivePath_, ctx_.dataFolder, ctx_.clock.Now(), paths);
    const std::string kept = KeptShown(ctx_.shownDataFolder, lastOutcome_.keptFolderName);
    std::string text;
    if (lastOutcome_.result == RestoreResult::Restored || lastOutcome_.result == RestoreResult::NotFlushed) {
        text = lastOutcome_.result == RestoreResult::Restored ? kChosenRestored : kRestoredNotFlushed;
        if (!lastOutcome_.keptFolderName.empty()) text += std::string(kLineBreak) + kKeptIn + kept;
    } else {
        text = RestoreFailureText(lastOutcome_, kept);
    }
    Tell(ctx_.dialog, text);
    // The table as the folder now is.
    engine.ZipClose();
    clsZip reader;
    if (reader.ZipOpen(archivePath_)) rows_ = Compare(ListMembers(reader), ListDataFolder(ctx_.dataFolder));
    Show();
}

bool BrowseLogic::TestBackup() {
    if (archivePath_.empty()) return false;
    clsZip engine;
    std::vector<std::string> faults;
    CollectFaults(engine, faults);
    const bool opened = engine.ZipOpen(archivePath_);
    const std::int32_t members = opened ? engine.inFileCount() : 0;
    const bool sound = opened && engine.TestAllFiles() && faults.empty();
    std::string text;
    if (sound) {
        text = "La sauvegarde est intacte : ses " + std::to_string(members) + " fichiers ont été relus sans erreur.";
    } else {
        text = kBackupDamaged;
        AppendFaults(text, faults);
    }
    Tell(ctx_.dialog, text);
    return sound;
}

void BrowseLogic::ExtractChosen(const std::vector<std::string>& paths) {
    std::vector<const ComparedFile*> chosen;
    for (const std::string& path : paths)
        for (const ComparedFile& row : rows_)
            if (row.path == path && row.number > 0) chosen.push_back(&row);
    if (chosen.empty() || archivePath_.empty() || !ctx_.folders) {
        Tell(ctx_.dialog, kChooseMembers);
        return;
    }
    const std::string folder = ctx_.folders->PickFolder(platform::JoinPath(ctx_.programFolder, kExtractedFolder));
    if (folder.empty()) return;
    clsZip engine;
    std::vector<std::string> faults;
    std::int32_t lastNumber = 0;
    CollectFaults(engine, faults, &lastNumber);
    if (!platform::CreateFolderPath(folder) || !engine.ZipOpen(archivePath_)) {
        Tell(ctx_.dialog, "Les fichiers n'ont pas pu être extraits dans : " + folder +
                              (faults.empty() ? "" : kLineBreak + faults.front()));
        return;
    }
    int extracted = 0, kept = 0;
    for (const ComparedFile* row : chosen) {
        // The engine itself refuses a file already there (under the name it
        // would write), so that nothing is replaced unasked.
        size_t before = faults.size();
        if (engine.ExtractSingleFile(row->number, folder, true, false, true) && faults.size() == before) {
            ++extracted;
            continue;
        }
        if (faults.size() != before + 1 || lastNumber != zip::kErrTargetExists) continue;
        faults.pop_back();
        DialogMode = kDialogConfirmUpper;
        DialogText = "Le fichier " + row->path + " existe déjà dans ce dossier, le remplacer ?" + kLineBreak +
                     " tapez 'OUI' pour le remplacer ?|NON";
        ctx_.dialog.ShowDialog();
        if (DialogMode == 2 || platform::ToUpper(platform::Trim(DialogText)) != "OUI") {
            ++kept;
            continue;
        }
        before = faults.size();
        if (engine.ExtractSingleFile(row->number, folder, true, true, true) && faults.size() == before) ++extracted;
    }
    std::string text = std::to_string(extracted) + " fichier(s) extrait(s) dans : " + folder;
    if (kept > 0) text += std::string(kLineBreak) + std::to_string(kept) + " fichier(s) déjà présent(s) gardé(s) tel(s) quel(s).";
    if (!faults.empty()) {
        text += std::string(kLineBreak) + "Des fichiers n'ont pas pu être extraits :";
        AppendFaults(text, faults);
    }
    Tell(ctx_.dialog, text);
}

std::string BrowseLogic::CountsText(const StateCounts& n) {
    return std::to_string(n.identical) + " identiques, " + std::to_string(n.modified) + " modifiés, " +
           std::to_string(n.absent) + " absents du dossier, " + std::to_string(n.toCheck) + " à vérifier, " +
           std::to_string(n.onlyInFolder) + " seulement dans le dossier";
}

void BrowseLogic::Show() {
    std::vector<const ComparedFile*> shown;
    for (const ComparedFile& row : rows_)
        if (MatchesFilter(row.path, filter_)) shown.push_back(&row);
    ctx_.view.ShowRows(shown);
    ctx_.view.ShowCounts(CountsText(CountStates(rows_)));
}

}  // namespace kuv::restore
