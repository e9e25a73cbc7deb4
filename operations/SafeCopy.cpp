#include "operations/SafeCopy.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "operations/ProgramRestoreJournal.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"
#include "ui/LogCategories.h"

namespace kuv::operations {

namespace {

constexpr size_t kChunk = 4u << 20;

CopyOutcome Failed(CopyFailure failure, int error) { return CopyOutcome{failure, error}; }

// A descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now; false when closing reported an error (a write lost).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || close(fd) == 0;
    }

private:
    int fd_;
};

std::uint32_t Crc(std::uint32_t crc, const unsigned char* data, size_t size) {
    return libdeflate_crc32(crc, data, size);
}

// Reads up to size bytes, retrying interruptions; -1 on an error.
ssize_t ReadSome(int fd, unsigned char* buffer, size_t size) {
    for (;;) {
        const ssize_t n = read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Flushes the staged file, drops its pages from the cache and reads it back:
// its length and CRC-32 must be those of the bytes written.
CopyOutcome ReadBack(const std::string& path, std::uint64_t length, std::uint32_t crc,
                     std::vector<unsigned char>& buffer, const ChunkCallback& afterChunk) {
    if (!platform::DropCachedData(path)) return Failed(CopyFailure::WriteFailed, errno);
    Fd in(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Failed(CopyFailure::ReadBackMismatch, errno);
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint64_t seen = 0;
    std::uint32_t check = 0;
    for (;;) {
        const ssize_t n = ReadSome(in.get(), buffer.data(), buffer.size());
        if (n < 0) return Failed(CopyFailure::ReadBackMismatch, errno);
        if (n == 0) break;
        check = Crc(check, buffer.data(), static_cast<size_t>(n));
        seen += static_cast<std::uint64_t>(n);
        if (afterChunk) afterChunk();
    }
    // What was read stays out of the cache too: a large copy does not push
    // the user's working set out.
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_DONTNEED);
    if (seen != length || check != crc) return Failed(CopyFailure::ReadBackMismatch, EIO);
    return {};
}

}  // namespace

CopyOutcome CheckWrittenFile(const std::string& path, std::uint64_t length, std::uint32_t crc,
                             const ChunkCallback& afterChunk) {
    std::vector<unsigned char> buffer(kChunk);
    return ReadBack(path, length, crc, buffer, afterChunk);
}

bool IsWorkName(const std::string& name) { return name.rfind(".kuvzip-", 0) == 0; }

int RemoveLeftoverWorkFiles(const std::string& folder) {
    // The work names of a program restore under way (or stopped by a crash)
    // hold the replaced programs, unlocked: its recovery needs them.
    if (RestoreJournalPresent(folder)) {
        qCWarning(lcOperations).noquote() << "a program restore is unfinished in" << QString::fromStdString(folder)
                                          << "- its work files are kept";
        return 0;
    }
    const std::string prefix = kTemporaryPrefix;
    int removed = 0;
    for (const platform::FolderEntry& entry : platform::ListFolder(folder, "*")) {
        if (entry.name.size() != prefix.size() + 6 || entry.name.rfind(prefix, 0) != 0) continue;
        const platform::WorkFileRemoval result = platform::RemoveUnusedWorkFile(folder, entry.name);
        if (result == platform::WorkFileRemoval::Removed) {
            ++removed;
        } else if (result == platform::WorkFileRemoval::Failed) {
            qCWarning(lcOperations).noquote() << "cannot remove the leftover work file"
                                              << QString::fromStdString(platform::JoinPath(folder, entry.name)) << ":"
                                              << std::strerror(errno);
        }
    }
    if (removed > 0) {
        qCInfo(lcOperations).noquote() << removed << "leftover work files removed from" << QString::fromStdString(folder);
    }
    return removed;
}

// ---- StagedFile ----

StagedFile::~StagedFile() { Discard(); }

void StagedFile::Unlock() {
    if (lock_ >= 0) close(lock_);
    lock_ = -1;
}

void StagedFile::Release() {
    path_.clear();
    Unlock();
}

void StagedFile::Discard() {
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
    Unlock();
}

CopyOutcome StagedFile::Create(const std::string& folder) {
    if (!platform::IsFolder(folder)) return Failed(CopyFailure::FolderMissing, ENOENT);
    // A fresh name, made exclusively with the mode of the user's other files
    // (0666 less the umask, applied by the system: the umask itself is not
    // touched, which other threads may rely on).
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 random{std::random_device{}()};
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        std::string name = kTemporaryPrefix;
        for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
        const std::string path = platform::JoinPath(folder, name);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            err = errno;
            continue;
        }
        // Locked before anything is written; a cleanup that took the fresh
        // file between its making and its lock has removed it: another name.
        if (flock(fd, LOCK_EX) != 0 || !platform::StillNamed(fd, path)) {
            close(fd);
            continue;
        }
        path_ = path;
        lock_ = fd;
        return {};
    }
    return Failed(err == ENOSPC || err == EDQUOT ? CopyFailure::WriteFailed : CopyFailure::NotWritable, err);
}

bool StagedFile::RenameTo(const std::string& to) {
    if (path_.empty() || !platform::RenameReplace(path_, to)) return false;
    Release();
    return true;
}

// ---- staging ----

namespace {

// Gives the next bytes into buffer: their count, 0 at the end, -1 on an error.
using ChunkSource = std::function<ssize_t(unsigned char* buffer, size_t size)>;

// Writes what source gives into a new temporary file of folder, flushes it
// and checks it. keep (when given) is the source file's status whose mode and
// modification time the copy takes.
CopyOutcome Stage(const ChunkSource& source, const std::string& folder, StagedFile& staged,
                  const struct stat* keep, size_t chunk, const ChunkCallback& afterChunk) {
    CopyOutcome created = staged.Create(folder);
    if (!created.Ok()) return created;
    auto drop = [&staged](CopyOutcome outcome) {
        staged.Discard();
        return outcome;
    };
    Fd out(open(staged.Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (out.get() < 0) return drop(Failed(CopyFailure::NotWritable, errno));
    std::vector<unsigned char> buffer(chunk);
    std::uint64_t length = 0;
    std::uint32_t crc = 0;
    for (;;) {
        const ssize_t n = source(buffer.data(), buffer.size());
        if (n < 0) return drop(Failed(CopyFailure::SourceUnreadable, errno));
        if (n == 0) break;
        crc = Crc(crc, buffer.data(), static_cast<size_t>(n));
        if (!WriteAll(out.get(), buffer.data(), static_cast<size_t>(n))) {
            return drop(Failed(CopyFailure::WriteFailed, errno));
        }
        length += static_cast<std::uint64_t>(n);
        if (afterChunk) afterChunk();
    }
    if (keep) {
        fchmod(out.get(), keep->st_mode & 07777);
        const struct timespec times[2] = {{0, UTIME_NOW}, keep->st_mtim};
        futimens(out.get(), times);
    }
    if (fsync(out.get()) != 0) return drop(Failed(CopyFailure::WriteFailed, errno));
    if (!out.Close()) return drop(Failed(CopyFailure::WriteFailed, errno));
    CopyOutcome checked = ReadBack(staged.Path(), length, crc, buffer, afterChunk);
    if (!checked.Ok()) return drop(checked);
    return {};
}

}  // namespace

CopyOutcome StageCopy(const std::string& source, const std::string& folder, StagedFile& staged,
                      bool keepModeAndTime, const ChunkCallback& afterChunk) {
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Failed(CopyFailure::SourceUnreadable, errno);
    struct stat sourceStat {};
    if (fstat(in.get(), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) {
        return Failed(CopyFailure::SourceUnreadable, errno ? errno : EINVAL);
    }
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    const int fd = in.get();
    return Stage([fd](unsigned char* buffer, size_t size) { return ReadSome(fd, buffer, size); }, folder, staged,
                 keepModeAndTime ? &sourceStat : nullptr, kChunk, afterChunk);
}

CopyOutcome StageBytes(std::string_view bytes, const std::string& folder, StagedFile& staged) {
    size_t given = 0;
    auto source = [&bytes, &given](unsigned char* buffer, size_t size) {
        const size_t n = std::min(size, bytes.size() - given);
        std::memcpy(buffer, bytes.data() + given, n);
        given += n;
        return static_cast<ssize_t>(n);
    };
    return Stage(source, folder, staged, nullptr, 64 * 1024, {});
}

// ---- putting copies in place ----

namespace {

// Renames done so far, undone in reverse order when a later one fails.
class RenameJournal {
public:
    ~RenameJournal() {
        if (committed_) return;
        for (auto it = done_.rbegin(); it != done_.rend(); ++it) std::rename(it->second.c_str(), it->first.c_str());
    }
    bool Rename(const std::string& from, const std::string& to) {
        if (!platform::RenameReplace(from, to)) return false;
        done_.emplace_back(from, to);
        return true;
    }
    void Commit() { committed_ = true; }

private:
    std::vector<std::pair<std::string, std::string>> done_;
    bool committed_ = false;
};

}  // namespace

CopyOutcome CopyKeepingGenerations(const std::string& source, const std::string& folder,
                                   const std::string& archiveName, const std::string& infoName,
                                   std::string_view infoBytes, const ChunkCallback& afterChunk) {
    if (!platform::IsFolder(folder)) return Failed(CopyFailure::FolderMissing, ENOENT);
    RemoveLeftoverWorkFiles(folder);
    const std::string archive = platform::JoinPath(folder, archiveName);
    const std::string first = archive + ".sv1";
    const std::string second = archive + ".sv2";
    const std::string info = platform::JoinPath(folder, infoName);

    StagedFile copy;
    CopyOutcome outcome = StageCopy(source, folder, copy, false, afterChunk);
    if (!outcome.Ok()) return outcome;
    StagedFile newInfo;
    outcome = StageBytes(infoBytes, folder, newInfo);
    if (!outcome.Ok()) return outcome;
    // Places where the oldest generation and the old information file wait
    // until everything is in place (so that a failure can put them back).
    StagedFile oldSecond, oldInfo;
    outcome = oldSecond.Create(folder);
    if (outcome.Ok()) outcome = oldInfo.Create(folder);
    if (!outcome.Ok()) return outcome;

    RenameJournal journal;
    auto renameIfThere = [&journal](const std::string& from, const std::string& to) {
        return !platform::PathExists(from) || journal.Rename(from, to);
    };
    // A generation moves only when the one before it needs its name, so a
    // gap keeps the older ones: with no ".sv1" the old ".sv2" stays; with no
    // archive, ".sv1" and ".sv2" stay.
    const bool newest = platform::PathExists(archive);
    const bool shifts = newest && platform::PathExists(first);
    const bool placed = (!shifts || (renameIfThere(second, oldSecond.Path()) && journal.Rename(first, second))) &&
                        (!newest || journal.Rename(archive, first)) && journal.Rename(copy.Path(), archive) &&
                        renameIfThere(info, oldInfo.Path()) && journal.Rename(newInfo.Path(), info);
    if (!placed) return Failed(CopyFailure::RenameFailed, errno);
    journal.Commit();
    copy.Release();  // renamed into place
    newInfo.Release();
    // oldSecond and oldInfo now hold the dropped generation and the old
    // information file (or the empty placeholder): removed as they go.
    platform::SyncPath(folder);
    return {};
}

CopyOutcome ReplaceFile(const std::string& source, const std::string& target, const ChunkCallback& afterChunk) {
    std::string folder = platform::FolderOf(target);
    if (folder.empty()) folder = "/";
    StagedFile copy;
    CopyOutcome outcome = StageCopy(source, folder, copy, true, afterChunk);
    if (!outcome.Ok()) return outcome;
    if (!copy.RenameTo(target)) return Failed(CopyFailure::RenameFailed, errno);
    platform::SyncPath(folder);
    return {};
}

}  // namespace kuv::operations
