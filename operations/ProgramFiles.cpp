#include "operations/ProgramFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include <QString>

#include "backup/DataBackupJob.h"
#include "operations/CopyNames.h"
#include "operations/ProgramRestoreJournal.h"
#include "operations/SafeCopy.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "platform/WorkNames.h"
#include "ui/LogCategories.h"

namespace kuv::operations {

// The lock a program-file command holds on its installation folder while it
// runs, so that another process's command (or start-up recovery) meanwhile
// touches neither the folder's work files nor its journal.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (!fd_ || flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) return;
        busy_ = errno == EWOULDBLOCK;
        if (!busy_) {
            qCWarning(lcOperations).noquote() << "cannot lock" << QString::fromStdString(folder) << ":"
                                              << std::strerror(errno) << "- the command goes on unguarded";
        }
        fd_.Reset();
    }
    bool Busy() const { return busy_; }

private:
    platform::UniqueFd fd_;
    bool busy_ = false;
};

namespace {

bool Holds(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool IsExecutable(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

// Two paths lead to the same file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

std::string ProgramsBusyMessage(const std::string& folder) {
    return "Les programmes de " + folder +
           " sont en cours de sauvegarde ou de restauration par un autre Kuv-Zip : rien n'a été changé, recommencez "
           "quand ce sera terminé.";
}

bool IsProgramFile(const std::string& name, bool executable) {
    const std::string lower = platform::ToLower(name);
    if (Holds(lower, "kuvzip.exe") || IsWorkName(name)) return false;
    if (Holds(lower, ".exe") || Holds(lower, ".dll") || Holds(lower, ".ocx") || Holds(lower, ".so")) return true;
    return executable;
}

std::string CountMessage(int made, const char* what, int failed) {
    std::string text = std::to_string(made) + what;
    if (failed > 0) text += backup::kMessageBreak + std::to_string(failed) + kFilesNotCopied;
    return text;
}

ProgramFileCommands::ProgramFileCommands(ProgramFilesContext context) : ctx_(std::move(context)) {}

void ProgramFileCommands::Message(const std::string& text) {
    DialogMode = kDialogMessage;
    DialogText = text;
    ctx_.dialog.ShowDialog();
}

bool ProgramFileCommands::IsRunningProgram(const std::string& path) const {
    return !ctx_.runningExecutable.empty() && SameFile(path, ctx_.runningExecutable);
}

void ProgramFileCommands::Step() {
    if (afterStep_) afterStep_();
}

std::vector<std::string> ProgramFileCommands::ProgramNames(const std::string& folder,
                                                           const std::vector<std::string>& names) const {
    std::vector<std::string> programs;
    for (const std::string& name : names) {
        const std::string path = platform::JoinPath(folder, name);
        if (!IsProgramFile(name, IsExecutable(path)) || IsRunningProgram(path)) continue;
        programs.push_back(name);
    }
    return programs;
}

namespace {

std::string LinkTarget(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return {};
    target.resize(static_cast<size_t>(n));
    return target;
}

// Makes something at a fresh work name of folder (prefix + a number): make
// fails with EEXIST when the name is taken. Returns: its path (empty when
// it could not be made).
std::string AtFreshName(const std::string& folder, const std::string& prefix,
                        const std::function<bool(const std::string&)>& make) {
    static std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = platform::JoinPath(folder, prefix + std::to_string(random() % 1000000));
        if (make(path)) return path;
        if (errno != EEXIST) break;
    }
    return {};
}

// A link beside the file it stands for: at a fresh work name of folder.
std::string StageLink(const std::string& target, const std::string& folder) {
    return AtFreshName(folder, ".kuvzip-lien-",
                       [&target](const std::string& path) { return symlink(target.c_str(), path.c_str()) == 0; });
}

// Removes a folder and what it holds (one level: a set has no sub-folder).
void RemoveSetFolder(const std::string& folder) {
    for (const platform::FolderEntry& e : platform::ListFolder(folder, "*")) {
        unlink(platform::JoinPath(folder, e.name).c_str());
    }
    rmdir(folder.c_str());
}

// The work folders of backups interrupted by a crash, and the links of an
// interrupted restore: nobody else writes program files here. A restore's
// journal still there names work files that hold old programs: then nothing
// is swept until its recovery has finished.
void RemoveLeftoverSets(const std::string& folder) {
    if (RestoreJournalPresent(folder)) {
        qCWarning(lcOperations).noquote() << "an unfinished program restore in" << QString::fromStdString(folder)
                                          << "- its work files are kept";
        return;
    }
    for (const platform::FolderEntry& e : platform::ListFolder(folder, "*")) {
        const std::string path = platform::JoinPath(folder, e.name);
        if (e.name.rfind(kSetPrefix, 0) == 0 && e.kind == platform::EntryKind::Folder && !e.isLink) {
            qCInfo(lcOperations).noquote() << "removing the unfinished program-file set" << QString::fromStdString(path);
            RemoveSetFolder(path);
        } else if (e.isLink && (e.name.rfind(".kuvzip-lien-", 0) == 0 || e.name.rfind(kTemporaryPrefix, 0) == 0)) {
            // A staged link, or a replaced one its restore could not remove.
            unlink(path.c_str());
        } else if (e.name.rfind(".kuvzip-lien-", 0) == 0 ||
                   (platform::IsWorkName(e.name) && e.name.size() == std::strlen(".kuvzip-XXXXXX"))) {
            // A file a restore replaced by a link and could not remove, or an
            // atomic write a crash stopped (the journal's, before its
            // rename): removed only when unused.
            platform::RemoveUnusedWorkFile(folder, e.name);
        }
    }
    RemoveLeftoverWorkFiles(folder);
}

}  // namespace

bool ProgramFileCommands::SaveSet(const std::string& folder, const std::vector<std::string>& names, Counts& counts) {
    const std::string saved = platform::JoinPath(folder, kProgramBackupFolder);
    // With the permissions of the user's other new folders (Sauve_prog
    // takes them in the exchange).
    const std::string set =
        AtFreshName(folder, kSetPrefix, [](const std::string& path) { return mkdir(path.c_str(), 0777) == 0; });
    if (set.empty()) {
        qCWarning(lcOperations).noquote() << "cannot make a program-file set in" << QString::fromStdString(folder) << ":"
                                          << std::strerror(errno);
        counts.failed = static_cast<int>(names.size());
        return false;
    }
    Step();
    for (const std::string& name : names) {
        const std::string from = platform::JoinPath(folder, name);
        const std::string to = platform::JoinPath(set, name);
        bool ok;
        if (platform::IsSymlink(from)) {
            const std::string target = LinkTarget(from);
            ok = !target.empty() && symlink(target.c_str(), to.c_str()) == 0;
        } else {
            ok = ReplaceFile(from, to, [this] { ctx_.pump.DoEvents(); }).Ok();
        }
        ok ? ++counts.made : ++counts.failed;
        Step();
        ctx_.pump.DoEvents();
    }
    const bool marked = counts.failed == 0 &&
                        platform::WriteWholeFile(platform::JoinPath(set, kProgramMarker),
                                                 platform::EncodeTextFile(DateStamp(ctx_.clock.Now()) + "\r\n")) &&
                        platform::SyncPath(set);
    if (!marked) {
        qCWarning(lcOperations) << "the program-file backup is incomplete: the previous set is kept";
        RemoveSetFolder(set);
        return false;
    }
    Step();
    // One rename puts the whole new set in place; the old one takes the work
    // name and goes after.
    const bool exchanged = platform::IsFolder(saved)
                               ? renameat2(AT_FDCWD, set.c_str(), AT_FDCWD, saved.c_str(), RENAME_EXCHANGE) == 0
                               : renameat2(AT_FDCWD, set.c_str(), AT_FDCWD, saved.c_str(), RENAME_NOREPLACE) == 0;
    if (!exchanged) {
        qCWarning(lcOperations).noquote() << "cannot put the program-file set in place:" << std::strerror(errno);
        RemoveSetFolder(set);
        return false;
    }
    platform::SyncPath(folder);
    Step();
    RemoveSetFolder(set);
    return true;
}

bool ProgramFileCommands::RecoverFirst(const std::string& folder, const FolderLock& lock) {
    if (lock.Busy()) {
        Message(ProgramsBusyMessage(folder));
        return false;
    }
    const ProgramRecoveryReport report = RecoverProgramRestore(folder);
    if (report.outcome == ProgramRecovery::Busy) {
        qCWarning(lcOperations).noquote() << "a program restore of another process runs in"
                                          << QString::fromStdString(folder) << "- nothing is done";
        Message(ProgramsBusyMessage(folder));
        return false;
    }
    if (!report.message.empty()) Message(report.message);
    return report.outcome != ProgramRecovery::Unfinished;
}

std::string ProgramFileCommands::RecoverAtStart() {
    const std::string folder = ctx_.installationFolder();
    const FolderLock lock(folder);
    if (lock.Busy()) {
        qCInfo(lcOperations).noquote() << "a program-file command of another process runs in"
                                       << QString::fromStdString(folder) << "- left to it";
        return {};
    }
    const ProgramRecoveryReport report = RecoverProgramRestore(folder);
    if (report.outcome == ProgramRecovery::Busy) {
        qCInfo(lcOperations).noquote() << "a program restore of another process runs in"
                                       << QString::fromStdString(folder) << "- left to it";
    }
    return report.message;
}

int ProgramFileCommands::Backup() {
    const std::string folder = ctx_.installationFolder();
    const FolderLock lock(folder);
    if (!RecoverFirst(folder, lock)) return 0;
    const std::vector<std::string> names = platform::RegularFileNames(folder);
    ctx_.view.ShowProgramFiles(names);
    RemoveLeftoverSets(folder);

    ctx_.view.SetBusyPointer(true);
    Counts counts;
    const bool saved = SaveSet(folder, ProgramNames(folder, names), counts);
    ctx_.view.SetBusyPointer(false);
    if (saved) {
        Message(CountMessage(counts.made, kProgramsSaved, 0));
        return counts.made;
    }
    Message(CountMessage(0, kProgramsSaved, counts.failed) + backup::kMessageBreak + kOldSetKept);
    return 0;
}

bool ProgramFileCommands::RestoreSet(const std::string& saved, const std::vector<std::string>& names,
                                     const std::string& folder, Counts& counts, bool& journalKept) {
    // Every file staged beside the one it replaces.
    struct Staged {
        std::string name, path;
        std::unique_ptr<StagedFile> file;  // a copy (a link has none)
        bool exchanged = false, placed = false;
    };
    std::vector<Staged> staged;
    auto discard = [&staged] {
        for (Staged& s : staged) {
            if (s.file) {
                s.file->Discard();
            } else if (!s.path.empty()) {
                unlink(s.path.c_str());
            }
        }
    };
    for (const std::string& name : names) {
        const std::string from = platform::JoinPath(saved, name);
        Staged s;
        s.name = name;
        if (platform::IsSymlink(from)) {
            const std::string target = LinkTarget(from);
            if (!target.empty()) s.path = StageLink(target, folder);
        } else {
            s.file = std::make_unique<StagedFile>();
            if (StageCopy(from, folder, *s.file, true, [this] { ctx_.pump.DoEvents(); }).Ok()) s.path = s.file->Path();
        }
        if (s.path.empty()) ++counts.failed;
        staged.push_back(std::move(s));
        Step();
        ctx_.pump.DoEvents();
    }
    if (counts.failed > 0) {
        discard();
        return false;
    }
    // The journal first: a crash from here on is undone by the recovery.
    std::vector<JournalPair> pairs;
    for (const Staged& s : staged) {
        JournalPair p;
        p.target = s.name;
        p.work = s.path.substr(s.path.find_last_of('/') + 1);
        p.replaces = platform::PathExists(platform::JoinPath(folder, s.name)) ||
                     platform::IsSymlink(platform::JoinPath(folder, s.name));
        if (!Fingerprint(s.path, p)) ++counts.failed;
        pairs.push_back(std::move(p));
    }
    RestoreJournal journal;
    if (counts.failed > 0 || !journal.Write(folder, pairs)) {
        counts.failed = static_cast<int>(staged.size());
        discard();
        return false;
    }
    Step();
    // Each staged file exchanged with the one it replaces, which keeps the
    // work name until every file is in place.
    bool placed = true;
    for (Staged& s : staged) {
        const std::string to = platform::JoinPath(folder, s.name);
        if (platform::PathExists(to) || platform::IsSymlink(to)) {
            s.exchanged = platform::ExchangePaths(s.path, to);
        } else {
            s.placed = platform::RenameNoReplace(s.path, to);
        }
        if (!s.exchanged && !s.placed) {
            qCWarning(lcOperations).noquote() << "cannot put" << QString::fromStdString(to) << "in place:"
                                              << std::strerror(errno) << "- every program file is put back";
            placed = false;
            break;
        }
        Step();
    }
    if (!placed) {
        bool putBack = true;
        for (auto it = staged.rbegin(); it != staged.rend() && putBack; ++it) {
            const std::string to = platform::JoinPath(folder, it->name);
            if (it->exchanged) putBack = platform::ExchangePaths(it->path, to);
            if (it->placed) putBack = platform::RenameNoReplace(to, it->path);
            if (!putBack) {
                qCWarning(lcOperations).noquote() << "cannot put" << QString::fromStdString(to)
                                                  << "back:" << std::strerror(errno) << "- the journal is kept";
            }
        }
        counts.failed = static_cast<int>(staged.size());
        if (putBack) {
            platform::SyncPath(folder);
            discard();
            journal.Remove();
        } else {
            // The work files hold old programs: the recovery finishes.
            for (Staged& s : staged) {
                if (s.file) s.file->Release();
            }
            journal.Keep();
            journalKept = true;
        }
        return false;
    }
    platform::SyncPath(folder);
    counts.made = static_cast<int>(staged.size());
    // The replaced files, now under the work names, go.
    for (Staged& s : staged) {
        if (s.file && s.placed) s.file->Release();
        if (s.file && s.exchanged) {
            s.file->Discard();
        } else if (!s.file && s.exchanged) {
            unlink(s.path.c_str());
        }
        Step();
    }
    platform::SyncPath(folder);
    journal.Remove();
    return true;
}

int ProgramFileCommands::Restore() {
    const std::string folder = ctx_.installationFolder();
    const std::string saved = platform::JoinPath(folder, kProgramBackupFolder);
    const FolderLock lock(folder);
    if (!RecoverFirst(folder, lock)) return 0;
    platform::CreateFolder(saved);
    const std::vector<std::string> names = platform::RegularFileNames(saved);
    ctx_.view.ShowSavedProgramFiles(saved, names);
    if (names.empty()) {
        Message(kNoOldVersion);
        return 0;
    }

    std::string markerLine;
    std::string bytes;
    if (platform::ReadWholeFile(platform::JoinPath(saved, kProgramMarker), bytes)) {
        const std::vector<std::string> lines = platform::SplitLines(platform::DecodeTextFile(bytes));
        if (!lines.empty()) markerLine = lines.front();
    }
    DialogMode = kDialogConfirmUpper;
    DialogText = kConfirmRestoreStart + markerLine + kConfirmRestoreEnd;
    ctx_.dialog.ShowDialog();
    if (platform::Trim(platform::ToUpper(DialogText)) != "OUI") return 0;

    ctx_.view.SetBusyPointer(true);
    RemoveLeftoverSets(folder);
    Counts counts;
    std::vector<std::string> programs;
    for (const std::string& name : ProgramNames(saved, names)) {
        if (!IsRunningProgram(platform::JoinPath(folder, name))) programs.push_back(name);
    }
    bool journalKept = false;
    const bool restored = RestoreSet(saved, programs, folder, counts, journalKept);
    ctx_.view.SetBusyPointer(false);
    if (restored) {
        Message(CountMessage(counts.made, kProgramsRestored, 0));
        return counts.made;
    }
    Message(CountMessage(0, kProgramsRestored, counts.failed) + backup::kMessageBreak +
            (journalKept ? RestoreUnfinishedMessage(folder) : std::string(kNothingRestored)));
    return 0;
}

}  // namespace kuv::operations
