#include "zip/ArchiveWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/Files.h"

namespace kuv::zip {

ArchiveOutput::ArchiveOutput(int fd, std::uint64_t position, std::uint64_t limit, bool ownsFd)
    : fd_(fd), owned_(ownsFd ? fd : -1), position_(position), limit_(limit), buffer_(new std::uint8_t[kChunkBytes]) {}

ArchiveOutput::~ArchiveOutput() = default;

bool ArchiveOutput::Fail(int error) {
    if (!failed_) error_ = error;
    failed_ = true;
    return false;
}

bool ArchiveOutput::WriteOut(std::uint64_t position, const std::uint8_t* data, size_t size) {
    errno = 0;
    if (platform::WriteAllAt(fd_, data, size, position)) return true;
    return Fail(errno ? errno : EIO);
}

bool ArchiveOutput::Write(const std::uint8_t* data, size_t size) {
    if (failed_) return false;
    if (Position() > limit_ || size > limit_ - Position()) return Fail(EFBIG);
    if (buffered_ + size > kChunkBytes) {
        if (!Flush()) return false;
        if (size >= kChunkBytes) {
            if (!WriteOut(position_, data, size)) return false;
            position_ += size;
            return true;
        }
    }
    std::memcpy(buffer_.get() + buffered_, data, size);
    buffered_ += size;
    return true;
}

bool ArchiveOutput::Flush() {
    if (failed_) return false;
    if (buffered_ == 0) return true;
    if (!WriteOut(position_, buffer_.get(), buffered_)) return false;
    position_ += buffered_;
    buffered_ = 0;
    return true;
}

bool ArchiveOutput::Patch(std::uint64_t position, const std::uint8_t* data, size_t size) {
    if (failed_ || position + size > Position()) return false;
    if (position >= position_) {
        std::memcpy(buffer_.get() + (position - position_), data, size);
        return true;
    }
    if (!Flush()) return false;
    return WriteOut(position, data, size);
}

bool ArchiveOutput::MoveTo(std::uint64_t position) {
    if (failed_) return false;
    if (position >= position_ && position <= Position()) {
        buffered_ = static_cast<size_t>(position - position_);
        return true;
    }
    if (!Flush()) return false;
    position_ = position;
    return true;
}

bool ArchiveOutput::Finish() {
    if (!Flush()) return false;
    if (ftruncate(fd_, static_cast<off_t>(position_)) != 0 || fsync(fd_) != 0) return Fail(errno);
    return true;
}

namespace {

bool IsSuffixChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// ".NAME.XXXXXX"
bool IsWorkFileName(const std::string& name) {
    if (name.size() < 9 || name[0] != '.' || name[name.size() - 7] != '.') return false;
    for (std::size_t i = name.size() - 6; i < name.size(); ++i)
        if (!IsSuffixChar(name[i])) return false;
    return true;
}

bool RealFolderSync(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM;  // a folder we may not open cannot be flushed
    platform::UniqueFd owner(fd);
    if (fsync(fd) == 0) return true;
    // File systems that do not flush folders say so; that is no failure.
    return errno == EINVAL || errno == ENOTSUP || errno == EROFS || errno == EBADF;
}

bool (*g_folderSync)(const std::string&) = &RealFolderSync;

}  // namespace

int CreateWorkFile(const std::string& target, unsigned mode, std::string& workPath) {
    const std::string folder = platform::FolderOf(target);
    const std::string prefix = platform::JoinPath(folder.empty() ? "/" : folder, "." + platform::FileNameOf(target) + ".");
    const int fd = platform::CreateUniqueFile(prefix, mode, workPath);
    if (fd >= 0) flock(fd, LOCK_EX | LOCK_NB);  // held until the descriptor is closed
    return fd;
}

int OpenTempArchive(const std::string& target, std::string& tempPath) {
    return CreateWorkFile(target, 0666, tempPath);
}

bool SyncFolder(const std::string& folder) { return g_folderSync(folder.empty() ? "/" : folder); }

void SetFolderSyncForTesting(bool (*sync)(const std::string& folder)) {
    g_folderSync = sync ? sync : &RealFolderSync;
}

int RemoveLeftoverWorkFiles(const std::string& folder) {
    int removed = 0;
    for (const platform::FolderEntry& entry : platform::ListFolder(folder.empty() ? "/" : folder, "*")) {
        if (entry.isLink || entry.kind != platform::EntryKind::Regular || !IsWorkFileName(entry.name)) continue;
        const std::string path = platform::JoinPath(folder.empty() ? "/" : folder, entry.name);
        platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (!fd || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        char head[4] = {};
        const ssize_t got = pread(fd.get(), head, sizeof head, 0);
        const bool archiveStart = got == 4 && head[0] == 'P' && head[1] == 'K' &&
                                  ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
        if (!(got == 0 || archiveStart)) continue;
        // A work file being written is locked by its writer.
        if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}

std::string ArchiveTargetPath(const std::string& path) {
    const std::string full = platform::FullPath(path);
    if (!platform::IsSymlink(full) || !platform::IsRegularFile(full)) return full;
    char resolved[PATH_MAX];
    return realpath(full.c_str(), resolved) ? std::string(resolved) : full;
}

bool CommitTempArchive(const std::string& tempPath, const std::string& target, bool overWrite) {
    bool renamed = false;
    if (!overWrite) {
        // Never replace an archive that appeared while this one was written.
        if (renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
            renamed = true;
        } else if (errno != EINVAL && errno != ENOSYS) {
            return false;
        } else if (platform::PathExists(target)) {
            errno = EEXIST;
            return false;
        }
    }
    if (!renamed && !platform::RenameReplace(tempPath, target)) return false;
    const std::string folder = platform::FolderOf(target);
    if (!SyncFolder(folder)) return false;
    RemoveLeftoverWorkFiles(folder.empty() ? "/" : folder);
    return true;
}

bool WriteLocalHeader(ArchiveOutput& out, ZipMemberEntry& member) {
    member.centralTail.LocalHeaderOffset = static_cast<std::uint32_t>(out.Position());
    if (out.Position() > kMaxArchiveBytes) return false;
    std::uint8_t header[kLocalHeaderSize];
    member.localStart.Encode(header);                     // signature, version needed
    member.common.Encode(header + ZipLocalStart::kSize);  // flags .. extra field length
    return out.Write(header, sizeof header) && out.Write(member.OemName) && out.Write(member.extraField);
}

bool PatchLocalHeader(ArchiveOutput& out, const ZipMemberEntry& member) {
    std::uint8_t common[ZipHeaderCommon::kSize];
    member.common.Encode(common);
    return out.Patch(member.centralTail.LocalHeaderOffset + ZipLocalStart::kSize, common, sizeof common);
}

bool WriteCentralEntry(ArchiveOutput& out, const ZipMemberEntry& member) {
    std::uint8_t header[kCentralHeaderSize];
    member.centralStart.Encode(header);                                         // signature, made by, needed
    member.common.Encode(header + ZipCentralStart::kSize);                      // the 24 shared bytes
    member.centralTail.Encode(header + ZipCentralStart::kSize + ZipHeaderCommon::kSize);  // comment length .. offset
    return out.Write(header, sizeof header) && out.Write(member.OemName) && out.Write(member.extraField) &&
           out.Write(member.fileComment);
}

std::uint64_t CentralEntrySize(const ZipMemberEntry& member) {
    return kCentralHeaderSize + member.OemName.size() + member.extraField.size() + member.fileComment.size();
}

std::uint64_t LocalEntrySize(const ZipMemberEntry& member) {
    return kLocalHeaderSize + member.OemName.size() + member.extraField.size() + member.common.compressedSize;
}

bool WriteEndRecord(ArchiveOutput& out, std::int32_t count, std::uint64_t directorySize,
                    std::uint64_t directoryOffset, const std::string& commentBytes) {
    if (count < 0 || count > kMaxMembers || commentBytes.size() > 0xFFFF || directorySize > kMaxArchiveBytes ||
        directoryOffset > kMaxArchiveBytes)
        return false;
    ZipEndRecord end;
    end.entriesOnThisDisk = static_cast<std::uint16_t>(count);
    end.entriesTotal = static_cast<std::uint16_t>(count);
    end.centralDirectorySize = static_cast<std::uint32_t>(directorySize);
    end.centralDirectoryOffset = static_cast<std::uint32_t>(directoryOffset);
    end.commentLength = static_cast<std::uint16_t>(commentBytes.size());
    std::uint8_t record[ZipEndRecord::kSize];
    end.Encode(record);  // signature, disks, entry counts, directory size and offset, comment length
    return out.Write(record, sizeof record) && out.Write(commentBytes);
}

}  // namespace kuv::zip
