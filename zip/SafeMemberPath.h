#pragma once
// Where a member may be written, and writing it there safely.
//
// A member name is cut into folders on "\" and "/"; ":" becomes "_"; empty
// and "." parts are dropped (so leading separators and drive letters cannot
// lead outside the target folder); a name with a ".." part or a NUL byte is
// refused. Files and folders are then reached from the target folder one
// component at a time with O_NOFOLLOW: a symbolic link found on the way is
// never followed and never created, and a file is written under a temporary
// name beside its target and renamed over it only once complete.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace kuv::zip {

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
    explicit PendingFile(const SafeFolder& folder) : folder_(folder) {}
    ~PendingFile();  // an unfinished file is removed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool Create();
    bool Write(const std::uint8_t* data, std::size_t size);
    // Empties the file and writes again from its start; false on failure.
    bool Rewind();
    // Sets the modification time (and the access time to now) before the rename.
    void SetTimes(std::int64_t modified);
    // Closes the file and renames it over name; false (file removed) on failure.
    bool Commit(const std::string& name);
    void Discard();

private:
    const SafeFolder& folder_;
    platform::UniqueFd fd_;
    std::string tempName_;
};

}  // namespace kuv::zip
