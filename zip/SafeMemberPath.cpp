#include "zip/SafeMemberPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <ctime>

#include "zip/DirectWrite.h"
#include "zip/ReaderIo.h"

namespace kuv::zip {

std::string PreparedName::RelativePath() const {
    std::string out;
    for (const std::string& f : folders) out += f + "/";
    if (!fileName.empty()) out += fileName;
    else if (!out.empty()) out.pop_back();
    return out;
}

PreparedName PrepareMemberName(const std::string& name, bool preservePath) {
    PreparedName r;
    if (name.find('\0') != std::string::npos) {
        r.refused = true;
        return r;
    }
    std::string text = name;
    for (char& c : text)
        if (c == ':') c = '_';
    std::vector<std::string> parts;
    std::string part;
    bool endsWithSeparator = !text.empty() && (text.back() == '\\' || text.back() == '/');
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\\' || text[i] == '/') {
            if (part == "..") {
                r.refused = true;
                return r;
            }
            if (!part.empty() && part != ".") parts.push_back(part);
            if (i == text.size() && part == ".") endsWithSeparator = true;
            part.clear();
        } else {
            part += text[i];
        }
    }
    if (parts.empty()) {
        // Nothing names a file: a bare separator is the target folder itself.
        r.isFolder = true;
        r.refused = !endsWithSeparator;
        return r;
    }
    r.isFolder = endsWithSeparator;
    if (r.isFolder) {
        if (preservePath) r.folders = parts;
        return r;
    }
    r.fileName = parts.back();
    parts.pop_back();
    if (preservePath) r.folders = parts;
    return r;
}

// ---- SafeFolder ----

SafeFolder::~SafeFolder() { Close(); }

void SafeFolder::Close() { fd_.Reset(); }

bool SafeFolder::OpenBase(const std::string& path) {
    Close();
    fd_.Reset(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    path_ = path;
    return static_cast<bool>(fd_);
}

bool SafeFolder::OpenUnder(const SafeFolder& base, const std::vector<std::string>& parts, bool create,
                           std::string& failedAt) {
    Close();
    platform::UniqueFd current(fcntl(base.fd(), F_DUPFD_CLOEXEC, 0));
    std::string path = base.path();
    if (!current) {
        failedAt = path;
        return false;
    }
    for (const std::string& part : parts) {
        path += (path.empty() || path.back() == '/' ? "" : "/") + part;
        platform::UniqueFd next(openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next && errno == ENOENT && create) {
            if (mkdirat(current.get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
                failedAt = path;
                return false;
            }
            next.Reset(openat(current.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (!next) {
            failedAt = path;
            return false;
        }
        current = std::move(next);
    }
    fd_ = std::move(current);
    path_ = path;
    return true;
}

EntryState StateOf(const SafeFolder& folder, const std::string& name) {
    struct stat st {};
    if (fstatat(folder.fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryState::Missing;
    if (S_ISLNK(st.st_mode)) return EntryState::Link;
    if (S_ISDIR(st.st_mode)) return EntryState::Folder;
    if (S_ISREG(st.st_mode)) return EntryState::File;
    return EntryState::Other;
}

// ---- PendingFile ----

namespace {

// Whether an unnamed file can be given its name through /proc (a process
// without /proc, or where the kernel refused it once, uses named temporary
// files only).
std::atomic<bool> g_unnamedFiles {access("/proc/self/fd", X_OK) == 0};

// Whether the kernel lets this process link a descriptor itself (recent
// kernels do for the file's own opener; older ones only with a capability).
std::atomic<bool> g_linkDescriptor {true};

// Links an open unnamed file under name in folder. Returns: 0, or the errno.
int LinkUnnamed(int fd, int folder, const std::string& name) {
    if (g_linkDescriptor.load(std::memory_order_relaxed)) {
        if (linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return errno;
        g_linkDescriptor.store(false, std::memory_order_relaxed);  // through /proc from now on
    }
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return linkat(AT_FDCWD, self, folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

std::string NextTempName() {
    static const std::string prefix = ".kuvzip-" + std::to_string(getpid()) + "-";
    static std::atomic<unsigned> counter {0};
    return prefix + std::to_string(counter++) + ".part";
}

}  // namespace

PendingFile::PendingFile(const SafeFolder& folder) : folder_(folder) {}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Create(bool targetMissing, std::uint64_t expectedSize) {
    Discard();
    if (targetMissing && g_unnamedFiles.load(std::memory_order_relaxed)) {
        // A new file is written without a name and linked under its own
        // once complete: it never shows partly written, and the folder is
        // changed once instead of three times (temporary name, rename).
        fd_.Reset(openat(folder_.fd(), ".", O_RDWR | O_TMPFILE | O_CLOEXEC, 0666));
        if (fd_) unnamed_ = true;
        // Otherwise not on this file system (FAT, network shares): a named temporary file.
    }
    for (int attempt = 0; !fd_ && attempt < 100; ++attempt) {
        tempName_ = NextTempName();
        fd_.Reset(openat(folder_.fd(), tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd_ && errno != EEXIST) break;
    }
    if (!fd_) {
        error_ = errno;
        tempName_.clear();
        return false;
    }
    if (expectedSize >= kDirectFrom) direct_ = DirectWriter::Open(fd_.get());
    return true;
}

bool PendingFile::Write(const std::uint8_t* data, std::size_t size) {
    if (!fd_) return false;
    errno = 0;
    if (direct_ ? direct_->Write(data, size) : WriteAll(fd_.get(), data, size)) return true;
    error_ = errno ? errno : EIO;
    return false;
}

bool PendingFile::WritesDirect() const { return direct_ && direct_->Direct(); }

bool PendingFile::Settle() {
    if (!direct_) return true;
    errno = 0;
    const bool written = direct_->Finish();
    if (!written) error_ = errno ? errno : EIO;
    direct_.reset();
    if (!written) Discard();
    return written;
}

bool PendingFile::Rewind() {
    if (direct_) direct_->Restart();
    return fd_ && ftruncate(fd_.get(), 0) == 0 && lseek(fd_.get(), 0, SEEK_SET) == 0;
}

namespace {

void SetFileTimes(int fd, std::int64_t modified) {
    struct timespec times[2];
    times[0].tv_sec = std::time(nullptr);  // last access: now
    times[0].tv_nsec = 0;
    times[1].tv_sec = static_cast<time_t>(modified);  // last write: the member's time
    times[1].tv_nsec = 0;
    futimens(fd, times);
}

}  // namespace

void PendingFile::SetTimes(std::int64_t modified) {
    // Bytes written after the time would set it to now.
    if (Settle() && fd_) SetFileTimes(fd_.get(), modified);
}

bool PendingFile::Close() {
    if (!Settle()) return false;
    // An unnamed file stays open until it is linked: closed, it would be gone.
    if (closed_ || unnamed_) return closed_ || static_cast<bool>(fd_);
    // A write the medium refused late shows at the close: the file is not committed.
    closed_ = fd_ && fd_.Close();
    if (!closed_) {
        error_ = errno;
        Discard();
    }
    return closed_;
}

bool PendingFile::Commit(const std::string& name, bool targetMissing) {
    if (!Settle()) return false;
    if (unnamed_) {
        if (!fd_) return false;
        const int linked = LinkUnnamed(fd_.get(), folder_.fd(), name);
        if (linked == 0) {
            unnamed_ = false;
            fd_.Close();
            return true;
        }
        if (linked != EEXIST) {
            error_ = linked;
            // The link itself is refused here: from now on named temporary
            // files, and this one is done again that way by the caller.
            g_unnamedFiles.store(false, std::memory_order_relaxed);
            Discard();
            return false;
        }
        // The target appeared meanwhile: it is replaced as an existing one
        // is, through a temporary name.
        for (int attempt = 0; attempt < 100 && tempName_.empty(); ++attempt) {
            std::string temp = NextTempName();
            const int r = LinkUnnamed(fd_.get(), folder_.fd(), temp);
            if (r == 0) tempName_ = std::move(temp);
            else if (r != EEXIST) break;
        }
        unnamed_ = false;
        if (tempName_.empty()) {
            Discard();
            return false;
        }
        targetMissing = false;
    }
    if (tempName_.empty()) return false;
    const bool closed = Close();
    bool done = false;
    if (closed && targetMissing &&
        renameat2(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str(), RENAME_NOREPLACE) == 0) {
        tempName_.clear();
        return true;
    }
    if (closed) {
        // Over an existing file the two names are swapped atomically and the
        // old content, now under the temporary name, is removed: the target
        // name never stands empty, and the file system is not made to flush
        // the new data at once as a rename over an existing file does on ext4.
        if (renameat2(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str(), RENAME_EXCHANGE) == 0) {
            done = true;
            // A folder that took the target's place since it was looked at
            // is never removed nor hidden: it is swapped back, and the file
            // is not committed.
            if (unlinkat(folder_.fd(), tempName_.c_str(), 0) != 0 && errno == EISDIR) {
                if (renameat2(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str(), RENAME_EXCHANGE) == 0)
                    done = false;  // and the file, back under the temporary name, is removed below
                else
                    tempName_.clear();  // the folder is left where it is rather than removed
            } else {
                tempName_.clear();
            }
        } else {
            done = renameat(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str()) == 0;
            if (done) tempName_.clear();
            else error_ = errno;
        }
    }
    if (!tempName_.empty()) unlinkat(folder_.fd(), tempName_.c_str(), 0);
    tempName_.clear();
    return done;
}

void PendingFile::Discard() {
    direct_.reset();  // before its descriptor goes
    fd_.Reset();
    closed_ = false;
    unnamed_ = false;
    if (!tempName_.empty()) unlinkat(folder_.fd(), tempName_.c_str(), 0);
    tempName_.clear();
}

// ---- PlacedFile ----

PlacedFile::~PlacedFile() { Remove(); }

void PlacedFile::Remove() {
    if (!fd_) return;
    // Only the file made here, still open, so that no other file can bear
    // its device and inode numbers: not one that took its name since.
    struct stat mine {};
    struct stat there {};
    if (fstat(fd_.get(), &mine) == 0 && fstatat(folder_.fd(), name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        mine.st_dev == there.st_dev && mine.st_ino == there.st_ino)
        unlinkat(folder_.fd(), name_.c_str(), 0);
    fd_.Reset();
}

int PlacedFile::Write(const std::string& name, const std::uint8_t* data, std::size_t size, bool setTime,
                      std::int64_t modified) {
    Remove();
    fd_.Reset(openat(folder_.fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd_) return errno;
    name_ = name;
    errno = 0;
    if (size > 0 && !WriteAll(fd_.get(), data, size)) {
        const int error = errno ? errno : EIO;
        Remove();
        return error;
    }
    if (setTime) SetFileTimes(fd_.get(), modified);
    return 0;
}

bool PlacedFile::Keep() {
    if (!fd_) return false;
    // A write the medium refused late shows at the close.
    platform::UniqueFd fd = std::move(fd_);
    if (fd.Close()) return true;
    unlinkat(folder_.fd(), name_.c_str(), 0);  // no longer open: removed by its name
    return false;
}

}  // namespace kuv::zip
