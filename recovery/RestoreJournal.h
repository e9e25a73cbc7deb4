#pragma once
// The journal of a restore's placement: a small hidden file of the data
// folder (platform::kRestoreJournalName), written and flushed with its
// folder before the first file of the data folder is moved. It names the
// staging folder and the kept folder ("Avant restauration ...") and lists,
// in order, every file the placement moves from the staging folder into the
// data folder, with its size and CRC-32. Each move is checkable from the
// files themselves (the staged copy, the file in place, the kept copy), so
// the moves are not flushed one by one. Text, one record a line:
//
//   kuvzip-restauration 1
//   staging <staging folder's name>
//   kept <kept folder's name>
//   partielle                      (only for a restore of chosen files)
//   move <size> <crc32, 8 hex digits> <relative path, '%' and line ends escaped>
//   ...
//   fin <number of moves>          (the list is whole)
//   terminee                       (appended: every move done and flushed)
//
// While a restore runs, its process holds an advisory lock (flock) on the
// journal and on the staging folder: another start never takes it for the
// leftover of a crash.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace kuv::recovery {

struct JournalMove {
    std::string path;  // relative to the data folder (and to the staging and kept folders), '/' separated
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
};

struct Journal {
    std::string stagingName;
    std::string keptName;
    // A restore of chosen files: its kept folder holds the marker
    // platform::kPartialRestoreMarker.
    bool partial = false;
    std::vector<JournalMove> moves;
    bool done = false;
};

std::string JournalText(const Journal& journal);
// Returns: false for a text that is not a whole journal (torn, or a path
// that would leave the data folder or names a work file).
bool ParseJournal(const std::string& text, Journal& journal);

// A held journal: written, flushed with its folder, locked until it goes.
class JournalFile {
public:
    JournalFile() = default;
    // Writes the journal of dataFolder through a locked temporary file
    // renamed into place, then flushes the file and the folder. Returns:
    // false (nothing left) when any step failed.
    bool Create(const std::string& dataFolder, const Journal& journal);
    // Takes over the journal already in dataFolder when nobody holds it.
    // Returns: false when it is missing or another process holds its lock
    // (inUse set then).
    bool Take(const std::string& dataFolder, bool& inUse);
    // Reads the journal taken. Returns: false when it cannot be read or parsed.
    bool Read(Journal& journal) const;
    // Appends the done mark and flushes it.
    bool MarkDone();
    // Removes the journal (and flushes the folder). Returns: true when gone.
    bool Remove();
    bool Held() const { return static_cast<bool>(fd_); }

private:
    std::string dataFolder_;
    platform::UniqueFd fd_;
};

// An advisory lock on a folder (its staging), held while the object lives.
class FolderLock {
public:
    // Returns: false when the folder cannot be opened or another process holds it.
    bool Lock(const std::string& folder, bool wait);
    int Fd() const { return fd_.get(); }
    void Release() { fd_.Reset(); }

private:
    platform::UniqueFd fd_;
};

// Whether another process holds the lock of the file or folder at path.
bool HeldByAnother(const std::string& path);

// The size and CRC-32 of a file; false when it cannot be read.
bool FileSizeAndCrc(const std::string& path, std::uint64_t& size, std::uint32_t& crc32);

// Puts the marker of a restore of chosen files (platform::kPartialRestoreMarker,
// empty) into its kept folder, when it is not there yet. The flush of the
// file system that ends the placement carries it to the medium. Returns:
// false when it could not be written.
bool MarkPartialKeptFolder(const std::string& keptFolder);

// Flushes the folder's entries.
bool SyncFolder(const std::string& folder);

}  // namespace kuv::recovery
