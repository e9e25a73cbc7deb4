#pragma once
// Whole folders on Linux: a private work folder made under a parent, a tree
// removed without following links, a rename that never replaces, the flush of
// a whole file system, and the program folder the program may write in.

#include <string>

namespace kuv::platform {

// Creates a new folder parent + "/" + prefix + six random characters (mkdtemp,
// mode 0700). Returns: its path, empty when it could not be made.
std::string MakeUniqueFolder(const std::string& parent, const std::string& prefix);

// Removes path and, for a folder, everything below it; symbolic links are
// removed, never followed. Returns: true when nothing is left at path.
bool RemoveTree(const std::string& path);

// Renames from to to on one file system without replacing anything already
// at to (a file, a folder or a link is moved as it is, links not followed).
// Returns: false when to exists or the rename failed.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Exchanges the names a and b in one step (RENAME_EXCHANGE): both exist
// before and after, never neither. Returns: false when it did not happen.
bool ExchangePaths(const std::string& a, const std::string& b);

// Creates the folder path (one level) only when nothing is there yet.
// Returns: false when something already was at path or it could not be made.
bool MakeNewFolder(const std::string& path);

// Removes the folder path only when it is empty. Returns: true when removed.
bool RemoveEmptyFolder(const std::string& path);

// What is at path, without following a final symbolic link.
enum class PathKind { Missing, Folder, Other };
PathKind KindOfPath(const std::string& path);

// Flushes every written file and folder entry of the file system that holds
// path to the medium (syncfs). Returns: false when that could not be done.
bool SyncFileSystem(const std::string& path);
// The same through a descriptor held open: the write errors of the file
// system met since it was opened are reported too.
bool SyncFileSystemOf(int fd);

// True when path is a folder the user may create files in.
bool IsWritableFolder(const std::string& path);

// The folder where the program writes its own files ("Fichiers extraits"):
// the folder of the running executable, or the working directory when the
// executable's folder cannot be written (a program installed under /usr/bin).
std::string WritableProgramFolder();

}  // namespace kuv::platform
