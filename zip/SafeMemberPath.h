#pragma once
// Where a member may be written, and writing it there safely.
//
// A member name is cut into folders on "\" and "/"; ":" becomes "_"; empty
// and "." parts are dropped (so leading separators and drive letters cannot
// lead outside the target folder); a name with a ".." part or a NUL byte is
// refused. Files and folders are then reached from the target folder one
// component at a time with O_NOFOLLOW: a symbolic link found on the way is
// never followed and never created. A file whose bytes are streamed is
// written without a name (or under a temporary one) beside its target, and
// given the target's name only once complete; an existing file is always
// replaced that way, atomically.

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace kuv::zip {

class DirectWriter;

struct PreparedName {
    bool refused = false;            // ".." part, NUL byte, or nothing left to name
    bool isFolder = false;           // the name ends in a separator: a folder to create
    std::vector<std::string> folders;  // sub-folders under the target folder (PreservePath)
    std::string fileName;            // empty for a folder
    // The relative path shown in messages ("/" between parts).
    std::string RelativePath() const;
};

PreparedName PrepareMemberName(const std::string& name, bool preservePath);

// An open folder reached safely under a base folder.
class SafeFolder {
public:
    SafeFolder() = default;
    ~SafeFolder();
    SafeFolder(const SafeFolder&) = delete;
    SafeFolder& operator=(const SafeFolder&) = delete;

    // Opens the base folder itself (the caller's path; links in it are the
    // caller's own choice and are followed).
    bool OpenBase(const std::string& path);
    // Opens base/parts..., creating the missing levels when create is set;
    // fails on a symbolic link or a non-folder on the way. failedAt receives
    // the path of the level that failed.
    bool OpenUnder(const SafeFolder& base, const std::vector<std::string>& parts, bool create,
                   std::string& failedAt);
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }
    void Close();

private:
    platform::UniqueFd fd_;
    std::string path_;
};

// What is at name inside folder, without following a link.
enum class EntryState { Missing, File, Folder, Link, Other };
EntryState StateOf(const SafeFolder& folder, const std::string& name);

// A file being written under a temporary name in its folder.
class PendingFile {
public:
    explicit PendingFile(const SafeFolder& folder);
    ~PendingFile();  // an unfinished file is removed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // targetMissing: the target was seen missing just before; the file is
    // then made without a name where the file system allows it, and linked
    // under the target's name by Commit. expectedSize: the bytes the file
    // should get (the member's declared size, a hint only); a file of
    // kDirectFrom bytes or more is written past the page cache (DirectWrite.h).
    bool Create(bool targetMissing = false, std::uint64_t expectedSize = 0);
    // Returns: false (errno set) when the bytes cannot be written.
    bool Write(const std::uint8_t* data, std::size_t size);
    // Returns: whether the file's bytes go past the page cache (for tests).
    bool WritesDirect() const;

    static constexpr std::uint64_t kDirectFrom = 8 * 1024 * 1024;
    // Empties the file to write it again from its start. Returns: false when it cannot.
    bool Rewind();
    // Sets the modification time (and the access time to now) before the rename.
    void SetTimes(std::int64_t modified);
    // Closes the file before its Commit (a write the medium refused late
    // shows here). Returns: false (file removed) on failure.
    bool Close();
    // Closes the file and renames it over name; false (file removed) on
    // failure. targetMissing: name was seen missing just before, so the
    // rename first tries to create it without replacing anything (one call
    // where a new file is the rule); a target that appeared meanwhile is
    // still replaced atomically.
    bool Commit(const std::string& name, bool targetMissing = false);
    void Discard();
    // The system's error of the last step that failed (0: none seen).
    int Error() const { return error_; }

private:
    // Writes the bytes still held by the direct writer. Returns: false (file removed) on failure.
    bool Settle();

    const SafeFolder& folder_;
    platform::UniqueFd fd_;
    std::unique_ptr<DirectWriter> direct_;  // large files only
    bool closed_ = false;   // written and closed, waiting for its Commit
    bool unnamed_ = false;  // made without a name (kept open until linked)
    std::string tempName_;
    int error_ = 0;
};

// A new file written under its own name in one go, from bytes already whole
// and checked in memory, where nothing stood: one step of the file system
// (on ext4 a file made without a name costs half as much again, for its
// passage through the orphan list). Made and not kept, it is removed:
// a cancellation leaves nothing of the members it stopped. It stays open
// until then, so that its identity is not given to another file meanwhile.
class PlacedFile {
public:
    explicit PlacedFile(const SafeFolder& folder) : folder_(folder) {}
    ~PlacedFile();  // removes the file unless kept
    PlacedFile(const PlacedFile&) = delete;
    PlacedFile& operator=(const PlacedFile&) = delete;

    // Creates name (never over anything: O_EXCL, no link followed), writes
    // the size bytes and sets the modification time when setTime.
    // Returns: 0 when all of it succeeded; otherwise the system's error
    // number (EEXIST: something stands at name), with nothing left.
    int Write(const std::string& name, const std::uint8_t* data, std::size_t size, bool setTime,
               std::int64_t modified);
    // Closes the file, which stays. Returns: false (file removed) when the
    // close reports a write the medium refused late.
    bool Keep();

private:
    void Remove();

    const SafeFolder& folder_;
    platform::UniqueFd fd_;
    std::string name_;
};

}  // namespace kuv::zip
