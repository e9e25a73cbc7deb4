#pragma once
// Writing an archive's records: the output file with its size limit, the
// local entry, the central entry and the end record of one archive.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"
#include "zip/MemberCompressor.h"
#include "zip/ZipRecords.h"

namespace kuv::zip {

// An archive file written front to back through a buffer of kChunkBytes,
// with pwrite at its own position (the descriptor's offset is not used).
// The file never grows past its limit: a write that would pass it fails, as
// a write the medium refuses does, and every later write fails too.
class ArchiveOutput : public ByteSink {
public:
    // fd open for writing; writing starts at position. ownsFd: closed by the destructor.
    ArchiveOutput(int fd, std::uint64_t position, std::uint64_t limit, bool ownsFd);
    ~ArchiveOutput() override;
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    bool Write(const std::uint8_t* data, size_t size) override;
    bool Write(const std::string& bytes) {
        return Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    // Writes the buffered bytes to the file.
    bool Flush();
    // Replaces bytes already written (a header completed after its data).
    bool Patch(std::uint64_t position, const std::uint8_t* data, size_t size);
    // Goes to another position (back over a member given up, or past bytes
    // that another writer put there): what follows is written from there.
    bool MoveTo(std::uint64_t position);
    // The position of the next byte written.
    std::uint64_t Position() const { return position_ + buffered_; }
    bool Failed() const { return failed_; }
    // The system's error number of the first failure (EFBIG past the limit).
    int Error() const { return error_; }
    int fd() const { return fd_; }
    // Flushes, cuts the file at the current position and flushes it to the
    // medium. idle (may be empty): the flush to the medium (seconds on a
    // slow key) runs on a thread of its own while idle is called about every
    // 25 ms on the caller's, so that window events go on running.
    bool Finish(const std::function<void()>& idle = {});

private:
    bool WriteOut(std::uint64_t position, const std::uint8_t* data, size_t size);
    bool Fail(int error);

    int fd_;
    platform::UniqueFd owned_;  // the descriptor, when the output owns it
    std::uint64_t position_;  // file position of the first buffered byte
    std::uint64_t limit_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    size_t buffered_ = 0;
    bool failed_ = false;
    int error_ = 0;
};

// A new archive is written under a temporary name beside its target and
// renamed over it only once complete, so that a failure never costs the
// archive that was there. The work file is ".NAME.XXXXXX" in the target's
// folder (XXXXXX random), created with O_CREAT|O_EXCL|O_NOFOLLOW and its mode
// given at creation (the system applies the user's umask), and locked
// (flock) for as long as it is open, so that a work file nobody holds is
// known to be a crashed run's leftover.
// Returns: the open descriptor, -1 (errno set) when it cannot be created.
int CreateWorkFile(const std::string& target, unsigned mode, std::string& workPath);
// The same for a new archive (mode 0666).
int OpenTempArchive(const std::string& target, std::string& tempPath);
// The file an archive path stands for: the full path, or, when it is a
// symbolic link to a file, the file it leads to (so that the rename replaces
// the archive, not the link).
std::string ArchiveTargetPath(const std::string& path);
// Renames the finished temporary file over target (which, with overWrite
// false, must not exist by then) and flushes the folder to the medium.
// Returns: false (errno set) when the rename or the folder's flush failed:
// after a failed flush the new archive is in place but may not be on the
// medium. A successful commit removes the folder's leftover work files.
bool CommitTempArchive(const std::string& tempPath, const std::string& target, bool overWrite);
// Flushes a folder's entries after a rename. False (errno set) on an error
// the medium reports; a file system that cannot flush folders is no error.
bool SyncFolder(const std::string& folder);
// Removes the work files a crashed run left in folder: ".NAME.XXXXXX"
// regular files of this user that hold an archive's start (or nothing) and
// that no process holds locked. Returns: the number removed.
int RemoveLeftoverWorkFiles(const std::string& folder);
// Tests only: replaces the folder flush (nullptr: the real one).
void SetFolderSyncForTesting(bool (*sync)(const std::string& folder));

// The records below write a member's Zip64 values where they do not fit the
// classic fields, and only then: an archive that needs none is written with
// classic records alone.
//
// Local header (30 bytes), name and extra field of member (the Zip64 field
// with both sizes first when member.localZip64); records the member's
// localHeaderOffset. The data is the caller's.
bool WriteLocalHeader(ArchiveOutput& out, ZipMemberEntry& member);
// Rewrites member's local header with its final method, CRC and sizes once
// its data is written. Returns: false when a size does not fit a header
// written without the Zip64 field (the caller writes the member again with
// it), or when the output fails.
bool PatchLocalHeader(ArchiveOutput& out, const ZipMemberEntry& member);
// Central header (46 bytes), name, extra field (with the Zip64 field when
// needed) and file comment of member.
bool WriteCentralEntry(ArchiveOutput& out, const ZipMemberEntry& member);
// Bytes of member's central entry.
std::uint64_t CentralEntrySize(const ZipMemberEntry& member);
// Bytes of member's local entry (header, name, extra field, data).
std::uint64_t LocalEntrySize(const ZipMemberEntry& member);
// End record and comment, after the Zip64 end record and its locator when
// the count, the directory's size or its offset does not fit. False (nothing
// written) when the comment does not fit its 16-bit length.
bool WriteEndRecord(ArchiveOutput& out, std::uint64_t count, std::uint64_t directorySize,
                    std::uint64_t directoryOffset, const std::string& commentBytes);
// Bytes WriteEndRecord writes for these values.
std::uint64_t EndRecordSize(std::uint64_t count, std::uint64_t directorySize, std::uint64_t directoryOffset,
                            std::size_t commentBytes);
// The size of the archive these members (written in order from offset 0,
// with their present sizes) and this comment make; lays the members out
// (localZip64, localHeaderOffset) as WriteZip will write them.
std::uint64_t PlannedArchiveSize(MemberTable& list, const std::string& commentBytes);

}  // namespace kuv::zip
