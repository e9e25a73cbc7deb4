#include "restore/SafeRestore.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>

#include "platform/Files.h"
#include "platform/FolderTree.h"
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
// paths ('/' separated) and whether each is a folder.
void ListTree(const std::string& root, const std::string& rel, std::vector<std::pair<std::string, bool>>& out) {
    for (const platform::FolderEntry& e : platform::ListFolder(rel.empty() ? root : JoinPath(root, rel))) {
        const std::string child = rel.empty() ? e.name : rel + "/" + e.name;
        const bool folder = e.kind == platform::EntryKind::Folder && !e.isLink;
        out.emplace_back(child, folder);
        if (folder) ListTree(root, child, out);
    }
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
class Journal {
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

// Moves the staged tree into the data folder, keeping what it replaces.
class Placement {
public:
    Placement(const std::string& data, const std::string& staging, const backup::DateTime& now)
        : data_(data), staging_(staging), keptBase_(KeptFolderName(now)) {}

    bool Run(int& restoredFiles) {
        std::vector<std::pair<std::string, bool>> tree;
        ListTree(staging_, "", tree);
        for (const auto& [rel, folder] : tree) {
            const std::string target = JoinPath(data_, rel);
            const Kind there = KindOfPath(target);
            if (folder) {
                if (there == Kind::Folder) continue;
                if (there != Kind::Missing && !Keep(rel)) return false;
                if (!journal_.MakeFolder(target)) return false;
                continue;
            }
            if (there != Kind::Missing && !Keep(rel)) return false;
            if (!journal_.Move(JoinPath(staging_, rel), target)) return false;
            ++restoredFiles;
        }
        return true;
    }

    // Undoes every step; the kept folder goes once it is empty again.
    // Returns: true when the data folder is back as it was.
    bool Undo() {
        const bool all = journal_.Undo();
        if (all && !keptFolder_.empty()) platform::RemoveTree(keptFolder_);
        return all;
    }

    std::string KeptName() const { return keptName_; }

private:
    // Moves data/rel into the kept folder, under the same relative path.
    bool Keep(const std::string& rel) {
        if (keptFolder_.empty()) {
            for (int n = 1; n < 1000 && keptFolder_.empty(); ++n) {
                const std::string name = n == 1 ? keptBase_ : keptBase_ + " (" + std::to_string(n) + ")";
                const std::string path = JoinPath(data_, name);
                if (platform::PathExists(path)) continue;
                if (!platform::MakeNewFolder(path)) return false;
                keptFolder_ = path;
                keptName_ = name;
            }
            if (keptFolder_.empty()) return false;
        }
        // The folders above the kept file, made as needed.
        std::string sub = keptFolder_;
        size_t start = 0;
        for (size_t slash = rel.find('/'); slash != std::string::npos; slash = rel.find('/', start)) {
            sub = JoinPath(sub, rel.substr(start, slash - start));
            start = slash + 1;
            const Kind k = KindOfPath(sub);
            if (k == Kind::Missing && !journal_.MakeFolder(sub)) return false;
            if (k == Kind::Other) return false;
        }
        return journal_.Move(JoinPath(data_, rel), JoinPath(keptFolder_, rel));
    }

    std::string data_, staging_, keptBase_;
    std::string keptFolder_, keptName_;
    Journal journal_;
};

// "Avant restauration yymmddhhmm" or "... (n)": the date digits and n (1 for
// none); false for any other name.
bool ParseKeptName(const std::string& name, std::string& digits, int& number) {
    const std::string prefix = kKeptFolderPrefix;
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

}  // namespace

std::string KeptFolderName(const backup::DateTime& now) {
    return kKeptFolderPrefix + Two(now.year) + Two(now.month) + Two(now.day) + Two(now.hour) + Two(now.minute);
}

int RemoveLeftoverStaging(const std::string& dataFolder) {
    int removed = 0;
    if (dataFolder.empty()) return 0;
    const std::string pattern = std::string(kStagingPrefix) + "??????";
    for (const platform::FolderEntry& e : platform::ListFolder(dataFolder, pattern)) {
        if (e.kind != platform::EntryKind::Folder || e.isLink || e.name.rfind(kStagingPrefix, 0) != 0) continue;
        if (platform::RemoveTree(JoinPath(dataFolder, e.name))) ++removed;
    }
    return removed;
}

std::vector<std::string> PruneKeptFolders(const std::string& dataFolder, int keep) {
    struct Kept {
        std::string name, digits;
        int number;
    };
    std::vector<Kept> kept;
    for (const platform::FolderEntry& e : platform::ListFolder(dataFolder)) {
        Kept k{e.name, {}, 0};
        if (e.kind == platform::EntryKind::Folder && !e.isLink && ParseKeptName(e.name, k.digits, k.number))
            kept.push_back(k);
    }
    std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
        return a.digits != b.digits ? a.digits > b.digits : a.number > b.number;
    });
    std::vector<std::string> removed;
    for (size_t i = static_cast<size_t>(std::max(keep, 0)); i < kept.size(); ++i) {
        if (platform::RemoveTree(JoinPath(dataFolder, kept[i].name))) removed.push_back(kept[i].name);
    }
    return removed;
}

RestoreOutcome RestoreArchive(clsZip& engine, const std::string& archivePath, const std::string& dataFolder,
                              const backup::DateTime& now) {
    RestoreOutcome outcome;
    if (dataFolder.empty()) return outcome;
    const std::string data = platform::FullPath(dataFolder);
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
    RemoveLeftoverStaging(data);

    auto fail = [&](RestoreResult result, const std::string& staging) {
        if (!staging.empty()) platform::RemoveTree(staging);
        removeMadeLevels();
        outcome.result = result;
        outcome.errorNumber = errors.firstNumber;
        outcome.errorText = errors.firstText;
        return outcome;
    };

    // The archive chosen, never one left open by an earlier double click.
    engine.ZipClose();
    if (!engine.ZipOpen(archivePath)) return fail(RestoreResult::NotDone, {});

    const std::string staging = platform::MakeUniqueFolder(data, kStagingPrefix);
    if (staging.empty()) return fail(RestoreResult::NotDone, {});

    const bool walked = engine.ExtractAllFiles(staging, true, true, true);
    if (!walked || errors.count > 0) {
        // Damage in the archive, or a staging folder that could not be
        // written (no room, no right)? The archive alone tells: if every
        // member inflates right, the fault was on the data folder's side.
        ErrorCollector testErrors(engine);
        const bool sound = engine.TestAllFiles() && testErrors.count == 0;
        // The first error of the restore itself is the one the user sees
        // (the collector of the test keeps its own).
        return fail(sound ? RestoreResult::NotDone : RestoreResult::Damaged, staging);
    }

    Placement placement(data, staging, now);
    int restored = 0;
    if (!placement.Run(restored)) {
        if (!placement.Undo()) {
            // A move could not be undone: nothing more is removed, so that no
            // file of the data folder or of the kept folder can be lost.
            outcome.result = RestoreResult::NotDone;
            return outcome;
        }
        return fail(RestoreResult::NotDone, staging);
    }
    platform::RemoveTree(staging);
    outcome.result = RestoreResult::Restored;
    outcome.restoredFiles = restored;
    outcome.keptFolderName = placement.KeptName();
    PruneKeptFolders(data);
    outcome.synced = platform::SyncFileSystem(data);
    return outcome;
}

}  // namespace kuv::restore
