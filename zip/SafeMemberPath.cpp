#include "zip/SafeMemberPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cerrno>
#include <ctime>

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

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Create() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName_ = ".kuvzip-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
        fd_.Reset(openat(folder_.fd(), tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd_) return true;
        if (errno != EEXIST) break;
    }
    tempName_.clear();
    return false;
}

bool PendingFile::Write(const std::uint8_t* data, std::size_t size) {
    return fd_ && WriteAll(fd_.get(), data, size);
}

bool PendingFile::Rewind() {
    return fd_ && ftruncate(fd_.get(), 0) == 0 && lseek(fd_.get(), 0, SEEK_SET) == 0;
}

void PendingFile::SetTimes(std::int64_t modified) {
    if (!fd_) return;
    struct timespec times[2];
    times[0].tv_sec = std::time(nullptr);  // last access: now
    times[0].tv_nsec = 0;
    times[1].tv_sec = static_cast<time_t>(modified);  // last write: the member's time
    times[1].tv_nsec = 0;
    futimens(fd_.get(), times);
}

bool PendingFile::Commit(const std::string& name) {
    if (!fd_) return false;
    // A write the medium refused late shows at the close: the file is not committed.
    const bool closed = fd_.Close();
    bool done = false;
    if (closed) {
        // Over an existing file the two names are swapped atomically and the
        // old content, now under the temporary name, is removed: the target
        // name never stands empty, and the file system is not made to flush
        // the new data at once as a rename over an existing file does on ext4.
        if (renameat2(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str(), RENAME_EXCHANGE) == 0) {
            done = true;
        } else {
            done = renameat(folder_.fd(), tempName_.c_str(), folder_.fd(), name.c_str()) == 0;
            if (done) tempName_.clear();
        }
    }
    if (!tempName_.empty()) unlinkat(folder_.fd(), tempName_.c_str(), 0);
    tempName_.clear();
    return done;
}

void PendingFile::Discard() {
    fd_.Reset();
    if (!tempName_.empty()) unlinkat(folder_.fd(), tempName_.c_str(), 0);
    tempName_.clear();
}

}  // namespace kuv::zip
