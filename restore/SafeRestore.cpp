#include "restore/SafeRestore.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "recovery/RestoreJournal.h"
#include "recovery/RestoreRecovery.h"
#include "zip/clsZip.h"

namespace kuv::restore {

using platform::JoinPath;

namespace {

// Collects the engine's ZipError events while it lives, in place of the
// handler the engine's owner set.
class ErrorCollector {
public:
    explicit ErrorCollector(clsZip& engine) : engine_(engine), saved_(engine.Events.ZipError) {
        engine_.Events.ZipError = [this](std::int32_t number, const std::string& text, bool&) {
            if (count++ == 0) {
                firstNumber = number;
                firstText = text;
            }
        };
    }
    ~ErrorCollector() { engine_.Events.ZipError = saved_; }
    ErrorCollector(const ErrorCollector&) = delete;
    ErrorCollector& operator=(const ErrorCollector&) = delete;

    int count = 0;
    int firstNumber = 0;
    std::string firstText;

private:
    clsZip& engine_;
    std::function<void(std::int32_t, const std::string&, bool&)> saved_;
};

using Kind = platform::PathKind;
using platform::KindOfPath;

std::string Two(int n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", n % 100);
    return buf;
}

// The entries of the staging tree, parents before their children: relative
// paths ('/' separated) and whether each is a folder. The program's work
// names are never placed. Returns: false when a folder could not be listed
// whole.
bool ListTree(const std::string& root, const std::string& rel, std::vector<std::pair<std::string, bool>>& out) {
    bool ok = false;
    const std::vector<platform::FolderEntry> entries = platform::ListFolder(rel.empty() ? root : JoinPath(root, rel), "*", &ok);
    if (!ok) return false;
    for (const platform::FolderEntry& e : entries) {
        if (platform::IsWorkName(e.name)) continue;
        const std::string child = rel.empty() ? e.name : rel + "/" + e.name;
        const bool folder = e.kind == platform::EntryKind::Folder && !e.isLink;
        out.emplace_back(child, folder);
        if (folder && !ListTree(root, child, out)) return false;
    }
    return true;
}

// Whether a path has a work name among its parts.
bool HoldsWorkName(const std::string& path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        if (platform::IsWorkName(path.substr(start, slash - start))) return true;
        start = slash + 1;
    }
    return false;
}

// The levels of path that do not exist yet, outermost first.
std::vector<std::string> MissingLevels(std::string path) {
    std::vector<std::string> levels;
    while (!path.empty() && path != "/" && !platform::PathExists(path)) {
        levels.insert(levels.begin(), path);
        path = platform::FolderOf(path);
    }
    return levels;
}

// The moves and folders made in the data folder, undone in reverse order
// when a later step fails.
class UndoLog {
public:
    bool Move(const std::string& from, const std::string& to) {
        if (!platform::RenameNoReplace(from, to)) return false;
        steps_.push_back({from, to});
        return true;
    }
    bool MakeFolder(const std::string& path) {
        if (!platform::MakeNewFolder(path)) return false;
        steps_.push_back({std::string(), path});
        return true;
    }
    // Returns: true when every step was undone.
    bool Undo() {
        bool all = true;
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
            if (it->first.empty()) {
                if (!platform::RemoveEmptyFolder(it->second)) all = false;
            } else if (!platform::RenameNoReplace(it->second, it->first)) {
                all = false;
            }
        }
        steps_.clear();
        return all;
    }

private:
    std::vector<std::pair<std::string, std::string>> steps_;  // (from, to) or ("", folder made)
};

// The first "Avant restauration ..." name free in the data folder.
std::string FreeKeptName(const std::string& data, const std::string& base) {
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        if (!platform::PathExists(JoinPath(data, name))) return name;
    }
    return {};
}

// Moves the staged tree into the data folder, keeping what it replaces in
// the kept folder (made when first needed).
class Placement {
public:
    Placement(const std::string& data, const std::string& staging, const std::string& keptName, bool partial)
        : data_(data), staging_(staging), keptName_(keptName), keptFolder_(JoinPath(data, keptName)),
          partial_(partial) {}

    bool Run(const std::vector<std::pair<std::string, bool>>& tree, int& restoredFiles) {
        for (const auto& [rel, folder] : tree) {
            const std::string target = JoinPath(data_, rel);
            const Kind there = KindOfPath(target);
            if (folder) {
                if (there == Kind::Folder) continue;
                if (there != Kind::Missing && !Keep(rel)) return false;
                if (!log_.MakeFolder(target)) return false;
                continue;
            }
            if (there != Kind::Missing && !Keep(rel)) return false;
            if (!log_.Move(JoinPath(staging_, rel), target)) return false;
            ++restoredFiles;
        }
        return true;
    }

    // Undoes every step; the kept folder goes once it is empty again.
    // Returns: true when the data folder is back as it was.
    bool Undo() {
        const bool all = log_.Undo();
        if (all && keptMade_) platform::RemoveTree(keptFolder_);
        return all;
    }

    // The kept folder's name when something was kept.
    std::string KeptName() const { return keptMade_ ? keptName_ : std::string(); }

private:
    // Moves data/rel into the kept folder, under the same relative path.
    bool Keep(const std::string& rel) {
        if (!keptMade_) {
            if (!platform::MakeNewFolder(keptFolder_)) return false;
            keptMade_ = true;
            // Marked before the first file moves in: a partial restore's
            // folder is never taken for a whole one's.
            if (partial_ && !recovery::MarkPartialKeptFolder(keptFolder_)) return false;
        }
        // The folders above the kept file, made as needed.
        std::string sub = keptFolder_;
        size_t start = 0;
        for (size_t slash = rel.find('/'); slash != std::string::npos; slash = rel.find('/', start)) {
            sub = JoinPath(sub, rel.substr(start, slash - start));
            start = slash + 1;
            const Kind k = KindOfPath(sub);
            if (k == Kind::Missing && !log_.MakeFolder(sub)) return false;
            if (k == Kind::Other) return false;
        }
        return log_.Move(JoinPath(data_, rel), JoinPath(keptFolder_, rel));
    }

    std::string data_, staging_, keptName_, keptFolder_;
    bool partial_;
    bool keptMade_ = false;
    UndoLog log_;
};

// "Avant restauration yymmddhhmm" or "... (n)": the date digits and n (1 for
// none); false for any other name.
bool ParseKeptName(const std::string& name, const std::string& prefix, std::string& digits, int& number) {
    if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 10) return false;
    digits = name.substr(prefix.size(), 10);
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    const std::string rest = name.substr(prefix.size() + 10);
    number = 1;
    if (rest.empty()) return true;
    if (rest.size() < 4 || rest.compare(0, 2, " (") != 0 || rest.back() != ')') return false;
    const std::string n = rest.substr(2, rest.size() - 3);
    if (n.empty() || n.size() > 6) return false;
    for (char c : n)
        if (c < '0' || c > '9') return false;
    number = std::stoi(n);
    return true;
}

// What name is to the pruning, with the date digits and number its name
// bears (for a kept folder).
KeptKind ParseKept(const std::string& dataFolder, const std::string& name, std::string& digits, int& number) {
    if (ParseKeptName(name, kOldPartialKeptFolderPrefix, digits, number)) return KeptKind::Partial;
    if (!ParseKeptName(name, kKeptFolderPrefix, digits, number)) return KeptKind::None;
    const std::string marker = JoinPath(JoinPath(dataFolder, name), platform::kPartialRestoreMarker);
    return platform::IsRegularFile(marker) && !platform::IsSymlink(marker) ? KeptKind::Partial : KeptKind::Whole;
}

}  // namespace

std::string KeptFolderName(const backup::DateTime& now) {
    return kKeptFolderPrefix + Two(now.year) + Two(now.month) + Two(now.day) + Two(now.hour) + Two(now.minute);
}

KeptKind KeptFolderKind(const std::string& dataFolder, const std::string& name) {
    std::string digits;
    int number = 0;
    return ParseKept(dataFolder, name, digits, number);
}

std::vector<std::string> PruneKeptFolders(const std::string& dataFolder, int keep) {
    // The kept folder of a restore not finished holds the only copy of files
    // its recovery may have to put back.
    std::string inUse;
    if (platform::RestorePending(dataFolder)) {
        recovery::Journal journal;
        std::string text;
        if (!platform::ReadWholeFile(JoinPath(dataFolder, platform::kRestoreJournalName), text) ||
            !recovery::ParseJournal(text, journal))
            return {};  // unknown: nothing is removed
        inUse = journal.keptName;
    }
    struct Kept {
        std::string name, digits;
        int number;
    };
    std::map<KeptKind, std::vector<Kept>> groups;
    for (const platform::FolderEntry& e : platform::ListFolder(dataFolder)) {
        if (e.kind != platform::EntryKind::Folder || e.isLink || e.name == inUse) continue;
        Kept k{e.name, {}, 0};
        const KeptKind kind = ParseKept(dataFolder, e.name, k.digits, k.number);
        if (kind != KeptKind::None) groups[kind].push_back(k);
    }
    std::vector<std::string> removed;
    for (auto& [kind, kept] : groups) {
        std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
            return a.digits != b.digits ? a.digits > b.digits : a.number > b.number;
        });
        for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < kept.size(); ++i) {
            if (platform::RemoveTree(JoinPath(dataFolder, kept[i].name))) removed.push_back(kept[i].name);
        }
    }
    return removed;
}

namespace {

// The whole restore, or (only set) the restore of the listed members.
RestoreOutcome Restore(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                       const backup::DateTime& now, const std::set<std::string>* only) {
    RestoreOutcome outcome;
    if (dataFolder.empty() || (only && only->empty())) return outcome;
    const std::string data = platform::FullPath(dataFolder);
    // A restore interrupted before must be finished first: a second one over
    // a half-restored folder would keep its mixed files as "the old version".
    if (platform::RestorePending(data, &outcome.detail)) {
        outcome.result = RestoreResult::Blocked;
        return outcome;
    }
    ErrorCollector errors(engine);

    // A new disk has no data folder yet: it is made, and removed again when
    // the restore does not happen.
    const std::vector<std::string> madeLevels = MissingLevels(data);
    auto removeMadeLevels = [&] {
        for (auto it = madeLevels.rbegin(); it != madeLevels.rend(); ++it) platform::RemoveEmptyFolder(*it);
    };
    if (!madeLevels.empty() && !platform::CreateFolderPath(data)) {
        removeMadeLevels();
        return outcome;
    }
    if (KindOfPath(data) != Kind::Folder && !platform::IsFolder(data)) return outcome;
    recovery::RecoverDataFolder(data);  // leftovers of an interrupted taking-out

    recovery::FolderLock stagingLock;
    auto fail = [&](RestoreResult result, const std::string& staging, const std::string& detail = {}) {
        if (!staging.empty()) platform::RemoveTree(staging);
        removeMadeLevels();
        outcome.result = result;
        outcome.errorNumber = errors.firstNumber;
        outcome.errorText = errors.firstText;
        outcome.detail = detail;
        return outcome;
    };
    // The engine's cause, when it told one that is not the archive's damage.
    auto engineCause = [&]() -> std::optional<RestoreResult> {
        if (errors.firstNumber == zip::kErrDiskFull) return RestoreResult::DiskFull;
        if (errors.firstNumber == zip::kErrDeviceIo) return RestoreResult::ReadError;
        return std::nullopt;
    };

    // The archive chosen, never one left open by an earlier double click.
    engine.ZipClose();
    if (!engine.ZipOpen(archivePath)) return fail(engineCause().value_or(RestoreResult::NotDone), {});

    const std::string staging = platform::MakeUniqueFolder(data, kStagingPrefix);
    // Held from the start: another start leaves it alone, and the flush
    // through it reports every write error met since.
    if (staging.empty() || !stagingLock.Lock(staging, true)) return fail(RestoreResult::NotDone, staging);

    // The members to restore, by path, as the engine will write them.
    std::map<std::string, const clsZip::MemberTarget*> members;
    const std::vector<clsZip::MemberTarget> targets = engine.FileTargets();
    for (const clsZip::MemberTarget& t : targets)
        if (!HoldsWorkName(t.path) && (!only || only->count(t.path))) members[t.path] = &t;
    if (only && members.size() != only->size())
        return fail(RestoreResult::NotDone, staging, "Des fichiers choisis ne sont pas dans la sauvegarde.");

    bool walked = true;
    if (only) {
        for (const auto& [path, target] : members)
            if (!engine.ExtractSingleFile(target->number, staging, true, true, true)) walked = false;
    } else {
        walked = engine.ExtractAllFiles(staging, true, true, true);
    }
    if (!walked || errors.count > 0) {
        if (const auto cause = engineCause()) return fail(*cause, staging);
        // The chosen members' own faults tell their damage.
        if (only)
            return fail(errors.firstNumber == zip::kErrCrcMismatch || errors.firstNumber == zip::kErrUnidentified ||
                                errors.firstNumber == zip::kErrCorruptHeader
                            ? RestoreResult::Damaged
                            : RestoreResult::NotDone,
                        staging);
        // Damage in the archive, or a staging folder that could not be
        // written (no room, no right)? The archive alone tells: if every
        // member inflates right, the fault was on the data folder's side.
        ErrorCollector testErrors(engine);
        const bool sound = engine.TestAllFiles() && testErrors.count == 0;
        if (!sound && testErrors.firstNumber == zip::kErrDeviceIo) return fail(RestoreResult::ReadError, staging);
        // The first error of the restore itself is the one the user sees
        // (the collector of the test keeps its own).
        return fail(sound ? RestoreResult::NotDone : RestoreResult::Damaged, staging);
    }

    // The whole move list, checked against the archive's members, before
    // anything is moved.
    std::vector<std::pair<std::string, bool>> tree;
    if (!ListTree(staging, "", tree))
        return fail(RestoreResult::NotDone, staging, "Le dossier de travail de la restauration n'a pas pu être lu.");
    recovery::Journal journal;
    journal.stagingName = platform::FileNameOf(staging);
    journal.keptName = FreeKeptName(data, KeptFolderName(now));
    journal.partial = only != nullptr;
    for (const auto& [rel, folder] : tree) {
        if (folder) continue;
        const auto it = members.find(rel);
        if (it == members.end()) break;
        journal.moves.push_back({rel, it->second->size, it->second->crc32});
    }
    if (journal.keptName.empty() || journal.moves.size() != members.size())
        return fail(RestoreResult::NotDone, staging,
                    "Les fichiers extraits ne correspondent pas au contenu de la sauvegarde.");

    // Every staged file and folder on the medium before the first move.
    if (!platform::SyncFileSystemOf(stagingLock.Fd()))
        return fail(RestoreResult::NotDone, staging, "Les fichiers extraits n'ont pas pu être écrits sur le disque.");
    recovery::JournalFile journalFile;
    if (!journalFile.Create(data, journal))
        return fail(RestoreResult::NotDone, staging, "Le journal de la restauration n'a pas pu être écrit.");

    Placement placement(data, staging, journal.keptName, journal.partial);
    int restored = 0;
    if (!placement.Run(tree, restored)) {
        if (placement.Undo() && journalFile.Remove()) {
            stagingLock.Release();
            return fail(RestoreResult::NotDone, staging);
        }
        // A move could not be undone: the journal and the staging folder
        // stay, so that the next start finishes the restore; nothing more
        // is removed, so that no file can be lost.
        outcome.result = RestoreResult::Incomplete;
        outcome.errorNumber = errors.firstNumber;
        outcome.errorText = errors.firstText;
        outcome.keptFolderName = platform::PathExists(JoinPath(data, journal.keptName)) ? journal.keptName : "";
        return outcome;
    }
    outcome.restoredFiles = restored;
    outcome.keptFolderName = placement.KeptName();
    outcome.synced = platform::SyncFileSystemOf(stagingLock.Fd());
    if (!outcome.synced || !journalFile.MarkDone()) {
        // In place but perhaps not on the medium: the journal stays, and the
        // next start checks every file again from it.
        outcome.result = RestoreResult::NotFlushed;
        return outcome;
    }
    platform::RemoveTree(staging);
    stagingLock.Release();
    journalFile.Remove();
    outcome.result = RestoreResult::Restored;
    PruneKeptFolders(data, kKeptFoldersKept);
    return outcome;
}

}  // namespace

RestoreOutcome RestoreArchive(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now) {
    return Restore(engine, archivePath, dataFolder, now, nullptr);
}

RestoreOutcome RestoreMembers(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now, const std::vector<std::string>& memberPaths) {
    const std::set<std::string> only(memberPaths.begin(), memberPaths.end());
    return Restore(engine, archivePath, dataFolder, now, &only);
}

}  // namespace kuv::restore
