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

// n and its word, in the singular for 0 and 1.
std::string Counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n < 2 ? one : many);
}

// Whether path lies inside folder (both full paths).
bool Inside(const std::string& path, std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return !folder.empty() && (path == folder || path.rfind(folder + "/", 0) == 0);
}

// The archive open in engine, or the engine's first message (after
// refusal) when it cannot be read; the caller's window is left as it was.
bool OpenOrTell(clsZip& engine, const std::string& archivePath, DialogPort& dialog, const std::string& refusal) {
    std::vector<std::string> faults;
    CollectFaults(engine, faults);
    const bool opened = engine.ZipOpen(archivePath) && faults.empty();
    engine.Events.ZipError = nullptr;
    if (!opened) Tell(dialog, refusal + (faults.empty() ? "" : kLineBreak + faults.front()));
    return opened;
}

}  // namespace

bool BrowseLogic::Open(const std::string& archivePath, const std::string& label) {
    clsZip engine;
    if (!OpenOrTell(engine, archivePath, ctx_.dialog, "La sauvegarde n'a pas pu être lue !")) return false;
    archivePath_ = archivePath;
    compared_ = true;
    rows_ = Compare(ListMembers(engine), ListDataFolder(ctx_.dataFolder));
    settleFrom_ = 0;
    ctx_.view.SetTitle("Contenu de la sauvegarde du " + label);
    ctx_.view.ShowComparedWithFolder(true);
    Show();
    return true;
}

bool BrowseLogic::OpenOther(const std::string& archivePath) {
    clsZip engine;
    if (!OpenOrTell(engine, archivePath, ctx_.dialog, "L'archive n'a pas pu être lue !")) return false;
    archivePath_ = archivePath;
    compared_ = false;
    rows_ = Listed(ListMembers(engine));
    settleFrom_ = 0;
    ctx_.view.SetTitle("Contenu de l'archive " + archivePath);
    ctx_.view.ShowComparedWithFolder(false);
    Show();
    return true;
}

bool BrowseLogic::PickAndOpenOther() {
    if (!ctx_.archives) return false;
    const std::string start = archivePath_.empty() ? ctx_.programFolder : platform::FolderOf(archivePath_);
    const std::string chosen = ctx_.archives->PickArchive(start, kArchiveFilter);
    return !chosen.empty() && OpenOther(chosen);
}

void BrowseLogic::SetFilter(const std::string& filter) {
    filter_ = filter;
    Show();
}

bool BrowseLogic::SettleNext() {
    // A batch of rows, then the table once: filling a table of thousands of
    // rows again for each row settled would leave the window no time to
    // answer (a data folder copied to a new disk has every date changed).
    int rows = 0;
    std::uint64_t bytes = 0;
    for (; settleFrom_ < rows_.size() && rows < kSettleRows && bytes < kSettleBytes; ++settleFrom_) {
        ComparedFile& row = rows_[settleFrom_];
        if (!SettleByCrc(row, ctx_.dataFolder)) continue;
        ++rows;
        bytes += row.size;
    }
    if (rows > 0) Show();
    return rows > 0;
}

void BrowseLogic::RestoreChosen(const std::vector<std::string>& paths) {
    if (!compared_) {
        Tell(ctx_.dialog, "Seules les sauvegardes de la liste peuvent être restaurées dans le dossier des données : "
                          "utilisez « Extraire vers… » pour les fichiers de cette archive.");
        return;
    }
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
    if (reader.ZipOpen(archivePath_)) {
        rows_ = Compare(ListMembers(reader), ListDataFolder(ctx_.dataFolder));
        settleFrom_ = 0;
    }
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
        text = std::string(compared_ ? "La sauvegarde" : "L'archive") + " est intacte : " +
               (members == 1 ? std::string("son fichier a été relu sans erreur.")
                             : "ses " + std::to_string(members) + " fichiers ont été relus sans erreur.");
    } else {
        text = compared_ ? kBackupDamaged : kArchiveDamaged;
        AppendFaults(text, faults);
    }
    Tell(ctx_.dialog, text);
    return sound;
}

std::vector<const ComparedFile*> BrowseLogic::ChosenMembers(const std::vector<std::string>& paths) const {
    std::vector<const ComparedFile*> chosen;
    for (const std::string& path : paths)
        for (const ComparedFile& row : rows_)
            if (row.path == path && row.number > 0) chosen.push_back(&row);
    return chosen;
}

bool BrowseLogic::CanOpen(const std::vector<std::string>& paths) const {
    return paths.size() == 1 && ChosenMembers(paths).size() == 1 && !archivePath_.empty();
}

void BrowseLogic::OpenChosen(const std::vector<std::string>& paths) {
    if (!CanOpen(paths) || !ctx_.launcher) {
        Tell(ctx_.dialog, kChooseOneMember);
        return;
    }
    const ComparedFile& row = *ChosenMembers(paths).front();
    // The copy never goes into the data folder, even when the temporary
    // folder was set inside it.
    const std::string temp = platform::FullPath(platform::TempFolder());
    if (!ctx_.dataFolder.empty() && Inside(temp, platform::FullPath(ctx_.dataFolder))) {
        Tell(ctx_.dialog, "Le fichier " + row.path + " n'a pas pu être ouvert : le dossier temporaire " + temp +
                              " est dans le dossier des données.");
        return;
    }
    // An engine of its own: a private folder of its own, which the engine
    // empties when it goes, apart from the file handed to the program (that
    // one is deleted at the next session, as the restore window's are).
    clsZip engine;
    std::vector<std::string> faults;
    CollectFaults(engine, faults);
    std::string taken;
    if (engine.ZipOpen(archivePath_)) taken = engine.ExtractSgFileToTmp(row.number);
    if (!taken.empty() && faults.empty()) {
        engine.LoadZippedFile(taken, [this](const std::string& file) {
            return ctx_.launcher->StartProgram(kDesktopOpener, {file}, platform::FolderOf(file));
        });
        if (faults.empty()) return;
    }
    std::string text = "Le fichier " + row.path + " n'a pas pu être ouvert";
    if (faults.empty()) text += " : il n'a pas pu être écrit dans le dossier temporaire " + platform::TempFolder();
    else text += " :";
    AppendFaults(text, faults);
    Tell(ctx_.dialog, text);
}

void BrowseLogic::ExtractChosen(const std::vector<std::string>& paths) {
    const std::vector<const ComparedFile*> chosen = ChosenMembers(paths);
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

std::string BrowseLogic::CountsText(const StateCounts& n, int shown, bool compared) {
    std::string text = compared
                           ? Counted(n.identical, "identique", "identiques") + ", " +
                                 Counted(n.modified, "modifié", "modifiés") + ", " +
                                 Counted(n.absent, "absent du dossier", "absents du dossier") + ", " +
                                 std::to_string(n.toCheck) + " à vérifier, " + std::to_string(n.onlyInFolder) +
                                 " seulement dans le dossier"
                           : Counted(n.notCompared, "fichier", "fichiers");
    if (shown >= 0) text += " (filtre : " + Counted(shown, "affiché", "affichés") + ")";
    return text;
}

void BrowseLogic::Show() {
    std::vector<const ComparedFile*> shown;
    for (const ComparedFile& row : rows_)
        if (MatchesFilter(row.path, filter_)) shown.push_back(&row);
    ctx_.view.ShowRows(shown);
    ctx_.view.ShowCounts(
        CountsText(CountStates(rows_), filter_.empty() ? -1 : static_cast<int>(shown.size()), compared_));
}

}  // namespace kuv::restore
