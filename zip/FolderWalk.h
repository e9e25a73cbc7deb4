#pragma once
// Which files an add operation takes, and under which names: path
// resolution, the folder walk with wildcard filters and sub-folders, and the
// stored name of each file.

#include <cstdint>
#include <functional>
#include <string>

namespace kuv::zip {

// What a path given to FileAdd / ybFileAdd names, once resolved.
struct AddTarget {
    std::string path;    // the full path (platform::FullPath)
    bool isSet = false;  // a wildcard set rather than one file
    std::string folder;  // set: the folder to walk, with a trailing '/'
    std::string filter;  // set: the last component ("*.txt", "*.*")
};

// Resolves the path. It names one file when it has no '*' or '?', or when it
// names an existing regular file even though its name holds one; otherwise a
// set: the last component is the filter, the text before it the folder.
AddTarget ResolveAddTarget(const std::string& path);

struct WalkCallbacks {
    // Adds one file; returns 1 when a member was added, 0 otherwise.
    std::function<std::int32_t(const std::string& path)> addOne;
    // Raises the Status event.
    std::function<void(const std::string& text)> status;
    // Lets pending window events run (after each file).
    std::function<void()> doEvents;
};

// Walks folder with filter: first the regular files of the folder that match,
// in listing order (names compared without regard to case), then, with
// recurse, each sub-folder in the same order, depth first. FIFOs, sockets and
// devices are passed over; a folder reached through a symbolic link is never
// entered. A folder that cannot be listed gives the Status "Association
// Chemin, filtre inaccessible" when the filter is "*.*". Returns the number
// of members added.
std::int32_t AddDirectoryFiles(const std::string& folder, const std::string& filter, bool recurse,
                               const WalkCallbacks& callbacks);

// The stored name of the file at fullPath (a resolved Linux path):
// PathChoice 1: the full path, "/" turned into "\" ("/home/jean/a.txt" ->
// "\home\jean\a.txt"); 2: the part after the current folder when the path
// lies in it (compared without regard to case), otherwise the full path as
// for 1; any other value: the file name alone.
// The same part of the path with its "/" separators, as it is on disk (a
// "\" in it belongs to a name and would turn into folders on restore).
std::string NamedPartOf(const std::string& fullPath, std::int32_t PathChoice, const std::string& currentFolder);
std::string StoredNameFor(const std::string& fullPath, std::int32_t PathChoice, const std::string& currentFolder);

}  // namespace kuv::zip
