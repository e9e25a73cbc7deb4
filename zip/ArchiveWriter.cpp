#include "zip/ArchiveWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Files.h"

namespace kuv::zip {

ArchiveOutput::ArchiveOutput(int fd, std::uint64_t position, std::uint64_t limit, bool ownsFd)
    : fd_(fd), ownsFd_(ownsFd), position_(position), limit_(limit), buffer_(new std::uint8_t[kChunkBytes]) {}

ArchiveOutput::~ArchiveOutput() {
    if (ownsFd_ && fd_ >= 0) close(fd_);
}

bool ArchiveOutput::WriteOut(std::uint64_t position, const std::uint8_t* data, size_t size) {
    return platform::WriteAllAt(fd_, data, size, position);
}

bool ArchiveOutput::Write(const std::uint8_t* data, size_t size) {
    if (failed_) return false;
    if (Position() > limit_ || size > limit_ - Position()) {
        failed_ = true;
        return false;
    }
    if (buffered_ + size > kChunkBytes) {
        if (!Flush()) return false;
        if (size >= kChunkBytes) {
            if (!WriteOut(position_, data, size)) {
                failed_ = true;
                return false;
            }
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
    if (!WriteOut(position_, buffer_.get(), buffered_)) {
        failed_ = true;
        return false;
    }
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
    if (!WriteOut(position, data, size)) {
        failed_ = true;
        return false;
    }
    return true;
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
    if (ftruncate(fd_, static_cast<off_t>(position_)) != 0 || fsync(fd_) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

int OpenTempArchive(const std::string& target, std::string& tempPath) {
    const std::string folder = platform::FolderOf(target);
    std::string tmpl = platform::JoinPath(folder.empty() ? "/" : folder, "." + platform::FileNameOf(target) + ".XXXXXX");
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    tempPath = name.data();
    // mkostemp makes the file private; an archive is readable as any new file.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) errno = 0;  // a private archive is still an archive
    return fd;
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
            return false;
        }
    }
    if (!renamed && !platform::RenameReplace(tempPath, target)) return false;
    const std::string folder = platform::FolderOf(target);
    platform::SyncPath(folder.empty() ? "/" : folder);
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
