#include "recovery/RestoreRecovery.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/WorkNames.h"
#include "recovery/RestoreJournal.h"

namespace kuv::recovery {

using platform::JoinPath;

namespace {

bool Matches(const std::string& path, const JournalMove& m) {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    return platform::IsRegularFile(path) && !platform::IsSymlink(path) && FileSizeAndCrc(path, size, crc) &&
           size == m.size && crc == m.crc32;
}

// root and the folders above rel under it, made as needed (the kept folder
// itself may not have been made before the crash).
bool MakeParents(const std::string& root, const std::string& rel) {
    const std::string folder = platform::FolderOf(rel);
    return platform::CreateFolderPath(folder.empty() ? root : JoinPath(root, folder));
}

// One move of the journal brought to its end: forward from the staged copy
// when it matches, else back from the kept copy. Returns: false when neither
// could be done.
bool Settle(const std::string& data, const std::string& staging, const std::string& kept, const JournalMove& m,
            RecoveryReport& report) {
    const std::string staged = JoinPath(staging, m.path);
    const std::string target = JoinPath(data, m.path);
    const std::string keptCopy = JoinPath(kept, m.path);
    const bool targetThere = platform::PathExists(target);
    if (platform::PathExists(staged) && Matches(staged, m)) {
        if (targetThere) {
            // The old version not yet kept: kept first, as the placement does.
            if (platform::PathExists(keptCopy) || !MakeParents(kept, m.path) ||
                !platform::RenameNoReplace(target, keptCopy))
                return false;
        }
        if (!MakeParents(data, m.path) || !platform::RenameNoReplace(staged, target)) return false;
        ++report.placed;
        return true;
    }
    if (targetThere && Matches(target, m)) {
        ++report.placed;  // moved before the crash
        return true;
    }
    if (targetThere) {
        ++report.rolledBack;  // the old version never left its place
        return true;
    }
    if (!platform::PathExists(keptCopy) || !MakeParents(data, m.path) ||
        !platform::RenameNoReplace(keptCopy, target))
        return false;
    ++report.rolledBack;
    return true;
}

bool ProcessGone(long pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Removes the program's leftovers of dataFolder (the staging folder the
// journal names excepted). Returns: the staging folders removed.
int RemoveLeftovers(const std::string& data, const std::string& keepStaging, RecoveryReport& report) {
    int staging = 0;
    const std::string stagingPrefix = platform::kRestoreStagingPrefix;
    for (const platform::FolderEntry& e : platform::ListFolder(data, ".kuvzip-*")) {
        if (!platform::IsWorkName(e.name) || e.name == keepStaging || e.name == platform::kRestoreJournalName) continue;
        const std::string path = JoinPath(data, e.name);
        bool remove = false;
        if (e.name.rfind(stagingPrefix, 0) == 0) {
            FolderLock lock;
            remove = e.kind == platform::EntryKind::Folder && !e.isLink && lock.Lock(path, false);
            if (remove && platform::RemoveTree(path)) {
                ++staging;
                ++report.leftoversRemoved;
            }
            continue;
        }
        if (e.kind != platform::EntryKind::Regular || e.isLink) continue;
        if (platform::PartFileProcess(e.name) != 0) {
            if (ProcessGone(platform::PartFileProcess(e.name)) && platform::RemoveFile(path)) ++report.leftoversRemoved;
        } else if (platform::RemoveUnusedWorkFile(data, e.name) == platform::WorkFileRemoval::Removed) {
            ++report.leftoversRemoved;  // the journal's temporary file or a whole-file work file, unlocked
        }
    }
    return staging;
}

}  // namespace

RecoveryReport RecoverDataFolder(const std::string& dataFolder) {
    RecoveryReport report;
    report.dataFolder = dataFolder;
    if (dataFolder.empty() || !platform::IsFolder(dataFolder)) return report;
    JournalFile journal;
    bool inUse = false;
    if (!journal.Take(dataFolder, inUse)) {
        if (inUse) {
            report.state = RecoveryState::InUse;
            return report;
        }
        if (platform::PathExists(JoinPath(dataFolder, platform::kRestoreJournalName))) {
            report.state = RecoveryState::Unusable;  // there, but not readable
            return report;
        }
        if (RemoveLeftovers(dataFolder, {}, report) > 0) report.state = RecoveryState::StagingRemoved;
        return report;
    }
    Journal j;
    if (!journal.Read(j)) {
        report.state = RecoveryState::Unusable;
        return report;
    }
    report.keptFolderName = j.keptName;
    const std::string stagingPath = JoinPath(dataFolder, j.stagingName);
    const std::string kept = JoinPath(dataFolder, j.keptName);
    FolderLock stagingLock;
    const bool stagingThere = platform::PathExists(stagingPath);
    if (stagingThere && !stagingLock.Lock(stagingPath, false)) {
        report.state = RecoveryState::InUse;
        return report;
    }
    if (!j.done) {
        // A journal whose staging folder is gone while no file of it is in
        // place is not this folder's: reported, not acted on.
        bool anyPlaced = false;
        for (const JournalMove& m : j.moves)
            if (Matches(JoinPath(dataFolder, m.path), m)) anyPlaced = true;
        if (!stagingThere && !anyPlaced && !j.moves.empty()) {
            report.state = RecoveryState::Unusable;
            return report;
        }
        for (const JournalMove& m : j.moves)
            if (!Settle(dataFolder, stagingPath, kept, m, report)) report.failed.push_back(m.path);
        // The kept folder of a restore of chosen files made (or filled) here
        // gets its marker, as the placement would have written it.
        const bool marked = !j.partial || !platform::IsFolder(kept) || MarkPartialKeptFolder(kept);
        if (!report.failed.empty() || !marked || !platform::SyncFileSystem(dataFolder) || !journal.MarkDone()) {
            report.state = RecoveryState::CannotFinish;
            return report;
        }
        report.state = RecoveryState::Finished;
    } else {
        report.state = RecoveryState::AlreadyComplete;
    }
    if (stagingThere) platform::RemoveTree(stagingPath);
    stagingLock.Release();
    if (!journal.Remove()) {
        report.state = RecoveryState::CannotFinish;
        return report;
    }
    RemoveLeftovers(dataFolder, {}, report);
    return report;
}

std::string RecoveryMessage(const RecoveryReport& r) {
    const std::string keptPath = r.keptFolderName.empty() ? std::string() : JoinPath(r.dataFolder, r.keptFolderName);
    const std::string keptLine = keptPath.empty() || !platform::PathExists(keptPath)
                                     ? std::string()
                                     : "\r\nLes fichiers remplacés sont gardés dans : " + keptPath;
    switch (r.state) {
        case RecoveryState::Nothing:
        case RecoveryState::InUse:
            return {};
        case RecoveryState::StagingRemoved:
            return "Une restauration a été interrompue avant de modifier vos données : elle n'a rien changé, vos "
                   "fichiers sont ceux d'avant la restauration.";
        case RecoveryState::Finished: {
            std::string text = "Une restauration interrompue a été terminée : " + std::to_string(r.placed) +
                               " fichier(s) mis en place";
            if (r.rolledBack > 0)
                text += ", " + std::to_string(r.rolledBack) +
                        " fichier(s) dont la copie restaurée manquait remis dans leur version d'avant";
            return text + ".\r\nVos données ont été restaurées, Relancez votre logiciel !" + keptLine;
        }
        case RecoveryState::AlreadyComplete:
            return "La dernière restauration s'était terminée : vos données ont été restaurées, Relancez votre "
                   "logiciel !" + keptLine;
        case RecoveryState::CannotFinish: {
            std::string text = "Une restauration interrompue n'a pas pu être terminée : le dossier " + r.dataFolder +
                               " contient à la fois des fichiers restaurés et des fichiers d'avant la restauration.";
            if (!r.failed.empty()) {
                text += "\r\nFichiers non remis en place :";
                for (std::size_t i = 0; i < r.failed.size() && i < 5; ++i) text += " " + r.failed[i];
                if (r.failed.size() > 5) text += " ...";
            }
            return text + keptLine +
                   "\r\nAucune sauvegarde ni restauration de ce dossier ne sera faite avant qu'elle soit terminée : "
                   "relancez Kuv-Zip quand le disque sera de nouveau accessible en écriture.";
        }
        case RecoveryState::Unusable:
            return "Le journal de restauration de " + r.dataFolder +
                   " ne correspond pas au contenu du dossier : rien n'a été modifié. Aucune sauvegarde ni restauration "
                   "de ce dossier ne sera faite tant qu'il est là ; vérifiez le dossier" +
                   keptLine;
    }
    return {};
}

}  // namespace kuv::recovery
