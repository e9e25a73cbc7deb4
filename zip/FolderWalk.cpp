#include "zip/FolderWalk.h"

#include <vector>

#include "platform/Files.h"
#include "platform/Text.h"

namespace kuv::zip {

namespace {

constexpr const char* kAllFiles = "*.*";

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string Backslashed(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace

AddTarget ResolveAddTarget(const std::string& path) {
    AddTarget target;
    target.path = platform::FullPath(path);
    if (!platform::HasWildcard(target.path) || platform::IsRegularFile(target.path)) return target;
    target.isSet = true;
    target.filter = platform::FileNameOf(target.path);
    target.folder = WithSlash(platform::FolderOf(target.path));
    return target;
}

std::int32_t AddDirectoryFiles(const std::string& folder, const std::string& filter, bool recurse,
                               const WalkCallbacks& callbacks) {
    const std::string base = WithSlash(folder);
    bool listed = false;
    const std::vector<platform::FolderEntry> entries = platform::ListFolder(base, filter, &listed);
    std::int32_t total = 0;
    std::vector<std::string> subFolders;
    const bool allFiles = filter == kAllFiles;
    for (const platform::FolderEntry& e : entries) {
        if (e.kind == platform::EntryKind::Folder) {
            if (allFiles && !e.isLink) subFolders.push_back(base + e.name + "/");
        } else if (e.kind == platform::EntryKind::Regular) {
            total += callbacks.addOne(base + e.name);
            if (callbacks.doEvents) callbacks.doEvents();
        }
    }
    if (!listed && allFiles) {
        if (callbacks.status) callbacks.status("Association Chemin, filtre inaccessible");
        return total;
    }
    if (!recurse) return total;
    if (!allFiles) {
        // The sub-folders do not match the filter: a second listing finds them.
        for (const platform::FolderEntry& e : platform::ListFolder(base, kAllFiles))
            if (e.kind == platform::EntryKind::Folder && !e.isLink) subFolders.push_back(base + e.name + "/");
    }
    for (const std::string& sub : subFolders) total += AddDirectoryFiles(sub, filter, recurse, callbacks);
    return total;
}

std::string NamedPartOf(const std::string& fullPath, std::int32_t PathChoice, const std::string& currentFolder) {
    if (PathChoice == 1) return fullPath;
    if (PathChoice == 2) {
        const std::string prefix = WithSlash(currentFolder);
        if (fullPath.size() > prefix.size() && platform::StartsWithNoCase(fullPath, prefix))
            return platform::CharMid(fullPath, platform::CharCount(prefix));
        return fullPath;
    }
    return platform::FileNameOf(fullPath);
}

std::string StoredNameFor(const std::string& fullPath, std::int32_t PathChoice, const std::string& currentFolder) {
    return Backslashed(NamedPartOf(fullPath, PathChoice, currentFolder));
}

}  // namespace kuv::zip
