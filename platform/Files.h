#pragma once
// Files, folders and paths of the program on Linux: wildcard listings in the
// order a Windows disk lists them, full paths, the temporary folder, file
// times, the free physical memory. Paths are Linux paths (UTF-8); drive
// letters are resolved above this layer.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kuv::platform {

// ---- wildcards and listings ----

// '*' and '?' as on Windows, without regard to case; "*.*" matches every
// name, with or without a dot.
bool WildcardMatch(std::string_view pattern, std::string_view name);
bool HasWildcard(std::string_view path);

enum class EntryKind { Regular, Folder, Other };

struct FolderEntry {
    std::string name;          // the name inside the folder, UTF-8
    EntryKind kind = EntryKind::Other;  // what the name leads to
    bool isLink = false;       // the name itself is a symbolic link
};

// The entries of folder whose names match pattern, "." and ".." left out, in
// the order of LessNoCase. A symbolic link to a regular file counts as
// Regular; a symbolic link to a folder is Folder with isLink set (walks do not
// descend into it); FIFOs, sockets, devices and dangling links are Other.
// ok (when given) is false when the folder cannot be listed, or when a read
// error cut its listing short (what was read is returned). In a folder that
// can be read but not searched, kinds are those the folder records (a file
// is Regular), so that callers report such files instead of missing them.
std::vector<FolderEntry> ListFolder(const std::string& folder, std::string_view pattern = "*",
                                    bool* ok = nullptr);

// The names of the regular files of folder (what a file list shows), in
// listing order; ok as for ListFolder.
std::vector<std::string> RegularFileNames(const std::string& folder, bool* ok = nullptr);

// ---- existence and kinds ----
bool PathExists(const std::string& path);      // anything, without following a final link
bool IsRegularFile(const std::string& path);   // follows links
bool IsFolder(const std::string& path);        // follows links
bool IsSymlink(const std::string& path);

// ---- paths ----
// folder + "/" + name, without doubling a trailing separator.
std::string JoinPath(std::string_view folder, std::string_view name);
// An absolute, normalised path ("." and ".." parts folded, separators
// single), relative paths taken from the current folder. Links are not
// resolved.
std::string FullPath(const std::string& path);
std::string CurrentFolder();
// The last component of a path ('/' separated).
std::string FileNameOf(std::string_view path);
// The text before the last '/' (empty when there is none).
std::string FolderOf(std::string_view path);
// The temporary folder, with a trailing '/': $TMPDIR, else /tmp.
std::string TempFolder();
// The folder that holds the running executable.
std::string ProgramFolder();

// ---- file facts ----
// Size of a regular file; false when it cannot be read.
bool FileSize(const std::string& path, std::uint64_t& size);
// The largest file the file system that holds folder can store: 4 GiB - 1
// on FAT (vfat, msdos), no limit (UINT64_MAX) elsewhere or when unknown.
std::uint64_t LargestFileOn(const std::string& folder);
// The room the file system that holds folder gives an ordinary user: bytes
// free and the size of its blocks (a file takes whole blocks). False when
// the folder cannot be asked.
struct FreeSpace {
    std::uint64_t bytes = 0;
    std::uint64_t blockSize = 4096;
};
bool FreeSpaceOf(const std::string& folder, FreeSpace& space);
// Tests only: replaces the query of a folder's file-system type (the
// statfs f_type; 0 when unknown); nullptr restores the real one.
void SetFileSystemTypeForTesting(long (*probe)(const std::string& folder));
// Modification time (seconds since the epoch).
bool ModificationTime(const std::string& path, std::time_t& mtime);
// Sets the last-write time and the last-access time.
bool SetFileTimes(const std::string& path, std::time_t modified, std::time_t accessed);

// Calendar fields in local time.
struct LocalDateTime {
    int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalDateTime ToLocalDateTime(std::time_t t);
std::time_t FromLocalDateTime(const LocalDateTime& dt);
std::time_t Now();

// ---- changes ----
bool CreateFolder(const std::string& path);        // one level; true when it exists afterwards
bool CreateFolderPath(const std::string& path);    // every missing level
bool RemoveFile(const std::string& path);          // true when it no longer exists
bool RenameReplace(const std::string& from, const std::string& to);  // atomic rename over to
// Flushes a written file, or a folder's entries (after a rename), to the medium.
bool SyncPath(const std::string& path);
// Flushes a file and drops its pages from the system's cache, so that the next
// read comes from the medium itself (checking what a USB key really holds).
// False when the file cannot be flushed; a file system that keeps its pages
// (tmpfs) is not an error.
bool DropCachedData(const std::string& path);
bool ReadWholeFile(const std::string& path, std::string& bytes);
// Creates a new file prefix + 6 random letters and digits with
// O_CREAT|O_EXCL|O_NOFOLLOW, its mode given at creation (the system applies
// the user's umask; the process-wide umask is never changed).
// Returns: the descriptor open for reading and writing, -1 (errno set) when
// no file could be created.
int CreateUniqueFile(const std::string& prefix, unsigned mode, std::string& path);
// Writes bytes into path through a temporary file renamed over it.
bool WriteWholeFile(const std::string& path, std::string_view bytes);

// ---- positional I/O on an open descriptor ----
// Writes / reads exactly size bytes at offset (retrying short transfers and
// interruptions); false on an error or, for reading, an early end of file.
bool WriteAllAt(int fd, const void* data, size_t size, std::uint64_t offset);
bool ReadAllAt(int fd, void* data, size_t size, std::uint64_t offset);

// ---- errors ----
// The program's number for a failed open or read: 70 (sharing violation) for
// EACCES, EPERM, EBUSY, ETXTBSY and EAGAIN, 53 (file not found) for ENOENT,
// 75 (path/file access error) otherwise.
int ErrorNumberFromErrno(int err);
constexpr int kErrorSharingViolation = 70;
constexpr int kErrorFileNotFound = 53;
constexpr int kErrorPathAccess = 75;

// ---- memory ----
// MemAvailable of /proc/meminfo, in bytes (a safe default when unknown).
std::uint64_t FreePhysicalMemory();

}  // namespace kuv::platform
