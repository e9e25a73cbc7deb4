#include "zip/ArchiveWriter.h"

#include "zip/OrderedWork.h"

#include <fcntl.h>
#include <unistd.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/Files.h"
#include "platform/WorkNames.h"

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

namespace {

// fsync of fd; with idle, on a thread of its own while idle runs about
// every 25 ms (inline when no thread can be started). Returns: 0 or errno.
int SyncToMedium(int fd, const std::function<void()>& idle) {
    if (idle) {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        int error = 0;
        std::thread syncer;
        try {
            syncer = std::thread([&] {
                const int e = fsync(fd) == 0 ? 0 : errno;
                std::lock_guard<std::mutex> lock(mutex);
                error = e;
                finished = true;
                done.notify_all();
            });
        } catch (const std::system_error&) {
            // No thread to be had: flushed on this one.
        }
        if (syncer.joinable()) {
            EventPacer pacer(idle);
            std::unique_lock<std::mutex> lock(mutex);
            while (!done.wait_until(lock, pacer.Next(), [&] { return finished; })) {
                lock.unlock();
                pacer.Tick();
                lock.lock();
            }
            lock.unlock();
            syncer.join();
            return error;
        }
    }
    return fsync(fd) == 0 ? 0 : errno;
}

}  // namespace

bool ArchiveOutput::Finish(const std::function<void()>& idle) {
    if (!Flush()) return false;
    if (ftruncate(fd_, static_cast<off_t>(position_)) != 0) return Fail(errno);
    if (const int error = SyncToMedium(fd_, idle)) return Fail(error);
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
        // A work archive starts as a ZIP file does, or is still empty.
        const auto looksLikeWorkArchive = [](int fd) {
            char head[4] = {};
            const ssize_t got = pread(fd, head, sizeof head, 0);
            return got == 0 || (got == 4 && head[0] == 'P' && head[1] == 'K' &&
                                ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6)));
        };
        if (platform::RemoveUnusedWorkFile(folder, entry.name, looksLikeWorkArchive) ==
            platform::WorkFileRemoval::Removed)
            ++removed;
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

namespace {

// The local header's Zip64 field: both sizes, always.
std::string LocalZip64Field(const ZipMemberEntry& m) {
    Zip64Values v;
    v.hasUncompressed = v.hasCompressed = true;
    v.uncompressedSize = m.uncompressedSize;
    v.compressedSize = m.compressedSize;
    return EncodeZip64Extra(v);
}

// The central header's Zip64 values: those that do not fit, and both sizes
// when the local header carries them too.
Zip64Values CentralZip64Values(const ZipMemberEntry& m) {
    Zip64Values v;
    v.hasUncompressed = m.localZip64 || NeedsZip64(m.uncompressedSize);
    v.hasCompressed = m.localZip64 || NeedsZip64(m.compressedSize);
    v.hasOffset = NeedsZip64(m.localHeaderOffset);
    v.uncompressedSize = m.uncompressedSize;
    v.compressedSize = m.compressedSize;
    v.localHeaderOffset = m.localHeaderOffset;
    return v;
}

bool AnyZip64(const Zip64Values& v) { return v.hasUncompressed || v.hasCompressed || v.hasOffset; }

std::uint32_t Field32(std::uint64_t value, bool inZip64) {
    return inZip64 ? kZip64Marker : static_cast<std::uint32_t>(value);
}

// The common bytes of the local header.
ZipHeaderCommon LocalCommon(const ZipMemberEntry& m) {
    ZipHeaderCommon c = m.common;
    c.compressedSize = Field32(m.compressedSize, m.localZip64);
    c.uncompressedSize = Field32(m.uncompressedSize, m.localZip64);
    return c;
}

std::size_t LocalExtraSize(const ZipMemberEntry& m) {
    constexpr std::size_t kLocalZip64Field = 4 + 16;
    return (m.localZip64 ? kLocalZip64Field : 0) + m.extraField.size();
}

}  // namespace

bool WriteLocalHeader(ArchiveOutput& out, ZipMemberEntry& member) {
    member.localHeaderOffset = out.Position();
    const std::string extra = (member.localZip64 ? LocalZip64Field(member) : std::string()) + member.extraField;
    if (extra.size() > 0xFFFF) return false;
    ZipLocalStart start = member.localStart;
    if (member.localZip64 || NeedsZip64(member.localHeaderOffset)) start.versionNeeded = kVersion45;
    ZipHeaderCommon common = LocalCommon(member);
    common.extraLength = static_cast<std::uint16_t>(extra.size());
    std::uint8_t header[kLocalHeaderSize];
    start.Encode(header);                          // signature, version needed
    common.Encode(header + ZipLocalStart::kSize);  // flags .. extra field length
    return out.Write(header, sizeof header) && out.Write(member.OemName) && out.Write(extra);
}

bool PatchLocalHeader(ArchiveOutput& out, const ZipMemberEntry& member) {
    // A size that does not fit needs the Zip64 field the header was written without.
    if (!member.localZip64 && (NeedsZip64(member.compressedSize) || NeedsZip64(member.uncompressedSize)))
        return false;
    ZipHeaderCommon c = LocalCommon(member);
    c.extraLength = static_cast<std::uint16_t>(LocalExtraSize(member));
    std::uint8_t common[ZipHeaderCommon::kSize];
    c.Encode(common);
    if (!out.Patch(member.localHeaderOffset + ZipLocalStart::kSize, common, sizeof common)) return false;
    if (!member.localZip64) return true;
    const std::string field = LocalZip64Field(member);
    return out.Patch(member.localHeaderOffset + kLocalHeaderSize + member.OemName.size(),
                     reinterpret_cast<const std::uint8_t*>(field.data()), field.size());
}

bool WriteCentralEntry(ArchiveOutput& out, const ZipMemberEntry& member) {
    const Zip64Values v = CentralZip64Values(member);
    const bool zip64 = AnyZip64(v);
    const std::string extra = (zip64 ? EncodeZip64Extra(v) : std::string()) + member.extraField;
    if (extra.size() > 0xFFFF) return false;
    ZipCentralStart start = member.centralStart;
    ZipHeaderCommon common = member.common;
    ZipCentralTail tail = member.centralTail;
    if (zip64) start.versionNeeded = kVersion45;
    common.compressedSize = Field32(member.compressedSize, v.hasCompressed);
    common.uncompressedSize = Field32(member.uncompressedSize, v.hasUncompressed);
    common.extraLength = static_cast<std::uint16_t>(extra.size());
    tail.LocalHeaderOffset = Field32(member.localHeaderOffset, v.hasOffset);
    std::uint8_t header[kCentralHeaderSize];
    start.Encode(header);                                               // signature, made by, needed
    common.Encode(header + ZipCentralStart::kSize);                     // the 24 shared bytes
    tail.Encode(header + ZipCentralStart::kSize + ZipHeaderCommon::kSize);  // comment length .. offset
    return out.Write(header, sizeof header) && out.Write(member.OemName) && out.Write(extra) &&
           out.Write(member.fileComment);
}

std::uint64_t CentralEntrySize(const ZipMemberEntry& member) {
    const Zip64Values v = CentralZip64Values(member);
    const std::uint64_t zip64 =
        AnyZip64(v) ? 4 + 8 * (std::uint64_t{v.hasUncompressed} + v.hasCompressed + v.hasOffset) : 0;
    return kCentralHeaderSize + member.OemName.size() + zip64 + member.extraField.size() + member.fileComment.size();
}

std::uint64_t LocalEntrySize(const ZipMemberEntry& member) {
    return kLocalHeaderSize + member.OemName.size() + LocalExtraSize(member) + member.compressedSize;
}

bool EndNeedsZip64(std::uint64_t count, std::uint64_t directorySize, std::uint64_t directoryOffset) {
    return CountNeedsZip64(count) || NeedsZip64(directorySize) || NeedsZip64(directoryOffset);
}

std::uint64_t EndRecordSize(std::uint64_t count, std::uint64_t directorySize, std::uint64_t directoryOffset,
                            std::size_t commentBytes) {
    return (EndNeedsZip64(count, directorySize, directoryOffset) ? Zip64EndRecord::kSize + Zip64Locator::kSize : 0) +
           ZipEndRecord::kSize + commentBytes;
}

bool WriteEndRecord(ArchiveOutput& out, std::uint64_t count, std::uint64_t directorySize,
                    std::uint64_t directoryOffset, const std::string& commentBytes) {
    if (commentBytes.size() > 0xFFFF) return false;
    ZipEndRecord end;
    if (EndNeedsZip64(count, directorySize, directoryOffset)) {
        Zip64EndRecord z;
        z.entriesOnThisDisk = z.entriesTotal = count;
        z.centralDirectorySize = directorySize;
        z.centralDirectoryOffset = directoryOffset;
        Zip64Locator locator;
        locator.zip64EndOffset = out.Position();
        std::uint8_t raw[Zip64EndRecord::kSize + Zip64Locator::kSize];
        z.Encode(raw);                                // the Zip64 end record
        locator.Encode(raw + Zip64EndRecord::kSize);  // and its locator
        if (!out.Write(raw, sizeof raw)) return false;
    }
    const std::uint16_t count16 = CountNeedsZip64(count) ? kZip64CountMarker : static_cast<std::uint16_t>(count);
    end.entriesOnThisDisk = count16;
    end.entriesTotal = count16;
    end.centralDirectorySize = Field32(directorySize, NeedsZip64(directorySize));
    end.centralDirectoryOffset = Field32(directoryOffset, NeedsZip64(directoryOffset));
    end.commentLength = static_cast<std::uint16_t>(commentBytes.size());
    std::uint8_t record[ZipEndRecord::kSize];
    end.Encode(record);  // signature, disks, entry counts, directory size and offset, comment length
    return out.Write(record, sizeof record) && out.Write(commentBytes);
}

std::uint64_t PlannedArchiveSize(MemberTable& list, const std::string& commentBytes) {
    std::uint64_t position = 0;
    for (ZipMemberEntry& m : list) {
        m.localZip64 = NeedsZip64(m.compressedSize) || NeedsZip64(m.uncompressedSize);
        m.localHeaderOffset = position;
        position += LocalEntrySize(m);
    }
    const std::uint64_t directoryOffset = position;
    for (const ZipMemberEntry& m : list) position += CentralEntrySize(m);
    return position + EndRecordSize(list.size(), position - directoryOffset, directoryOffset, commentBytes.size());
}

}  // namespace kuv::zip
