#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/FaultInjection.h"
#include "platform/Text.h"

namespace kuv::platform {

// ---- wildcards and listings ----

namespace {

bool MatchFrom(const std::u32string& p, size_t pi, const std::u32string& n, size_t ni) {
    // Iterative matcher with backtracking on the last '*'.
    size_t star = std::u32string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == U'*') {
            star = pi++;
            mark = ni;
        } else if (star != std::u32string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == U'*') ++pi;
    return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    const std::u32string p = Utf8ToCodepoints(ToLower(pattern));
    const std::u32string n = Utf8ToCodepoints(ToLower(name));
    return MatchFrom(p, 0, n, 0);
}

bool HasWildcard(std::string_view path) {
    return path.find_first_of("*?") != std::string_view::npos;
}

std::vector<FolderEntry> ListFolder(const std::string& folder, std::string_view pattern, bool* ok) {
    std::vector<FolderEntry> entries;
    DIR* dir = InjectedFault(FaultPoint::List) ? nullptr : opendir(folder.empty() ? "." : folder.c_str());
    if (ok) *ok = dir != nullptr;
    if (!dir) return entries;
    for (;;) {
        // A read error of the folder (EIO from getdents) is told apart from
        // its end: a listing cut short is a failure, not a shorter folder.
        errno = 0;
        dirent* d = readdir(dir);
        if (!d) {
            if (errno != 0 && ok) *ok = false;
            break;
        }
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        if (!WildcardMatch(pattern, name)) continue;
        FolderEntry e;
        e.name = name;
        const std::string full = JoinPath(folder, name);
        struct stat ls {};
        if (lstat(full.c_str(), &ls) != 0) {
            if (errno == ENOENT) continue;  // gone since the folder was read
            // The folder can be read but not searched (no execute right): the
            // kind comes from the folder's own record, so that a file is
            // listed (and its backup fails with a report) rather than left
            // out without a word.
            e.kind = d->d_type == DT_DIR                             ? EntryKind::Folder
                     : d->d_type == DT_REG || d->d_type == DT_UNKNOWN ? EntryKind::Regular
                                                                      : EntryKind::Other;
            entries.push_back(e);
            continue;
        }
        e.isLink = S_ISLNK(ls.st_mode);
        struct stat st {};
        const struct stat* target = &ls;
        if (e.isLink) {
            if (stat(full.c_str(), &st) != 0) {
                e.kind = EntryKind::Other;  // dangling link
                entries.push_back(e);
                continue;
            }
            target = &st;
        }
        if (S_ISREG(target->st_mode)) e.kind = EntryKind::Regular;
        else if (S_ISDIR(target->st_mode)) e.kind = EntryKind::Folder;
        else e.kind = EntryKind::Other;
        entries.push_back(e);
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return LessNoCase(a.name, b.name); });
    return entries;
}

std::vector<std::string> RegularFileNames(const std::string& folder, bool* ok) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : ListFolder(folder, "*", ok))
        if (entry.kind == EntryKind::Regular) names.push_back(entry.name);
    return names;
}

// ---- existence and kinds ----

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSymlink(const std::string& path) {
    struct stat st {};
    return !path.empty() && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// ---- paths ----

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    if (out.back() != '/') out += '/';
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    out += name;
    return out;
}

std::string CurrentFolder() {
    char buf[PATH_MAX];
    if (getcwd(buf, sizeof buf) == nullptr) return "/";
    return buf;
}

std::string FullPath(const std::string& path) {
    std::string input = path;
    if (input.empty() || input.front() != '/') input = JoinPath(CurrentFolder(), input);
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= input.size()) {
        size_t j = input.find('/', i);
        if (j == std::string::npos) j = input.size();
        const std::string part = input.substr(i, j - i);
        if (part.empty() || part == ".") {
            // nothing
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) out = "/";
    // A trailing separator (a folder) is kept, as callers use it.
    if (!path.empty() && path.back() == '/' && out != "/") out += '/';
    return out;
}

std::string FileNameOf(std::string_view path) {
    const size_t p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string FolderOf(std::string_view path) {
    const size_t p = path.rfind('/');
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p));
}

std::string TempFolder() {
    const char* env = std::getenv("TMPDIR");
    std::string t = (env && *env) ? env : "/tmp";
    if (t.back() != '/') t += '/';
    return t;
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return CurrentFolder();
    buf[n] = '\0';
    return FolderOf(buf);
}

// ---- file facts ----

namespace {

long RealFileSystemType(const std::string& folder) {
    struct statfs fs {};
    return statfs(folder.c_str(), &fs) == 0 ? static_cast<long>(fs.f_type) : 0;
}

long (*g_fileSystemType)(const std::string&) = &RealFileSystemType;

}  // namespace

std::uint64_t LargestFileOn(const std::string& folder) {
    constexpr long kFatMagic = 0x4d44;  // MSDOS_SUPER_MAGIC: vfat and msdos alike
    return g_fileSystemType(folder.empty() ? "/" : folder) == kFatMagic ? 0xFFFFFFFFull : UINT64_MAX;
}

bool FreeSpaceOf(const std::string& folder, FreeSpace& space) {
    struct statfs st {};
    if (statfs(folder.empty() ? "/" : folder.c_str(), &st) != 0) return false;
    space.blockSize = st.f_bsize > 0 ? static_cast<std::uint64_t>(st.f_bsize) : 4096;
    space.bytes = static_cast<std::uint64_t>(st.f_bavail) * space.blockSize;
    return true;
}

void SetFileSystemTypeForTesting(long (*probe)(const std::string& folder)) {
    g_fileSystemType = probe ? probe : &RealFileSystemType;
}

bool FileSize(const std::string& path, std::uint64_t& size) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool ModificationTime(const std::string& path, std::time_t& mtime) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    mtime = st.st_mtime;
    return true;
}

bool SetFileTimes(const std::string& path, std::time_t modified, std::time_t accessed) {
    struct timespec times[2];
    times[0].tv_sec = accessed;
    times[0].tv_nsec = 0;
    times[1].tv_sec = modified;
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

LocalDateTime ToLocalDateTime(std::time_t t) {
    std::tm tm {};
    localtime_r(&t, &tm);
    LocalDateTime dt;
    dt.year = tm.tm_year + 1900;
    dt.month = tm.tm_mon + 1;
    dt.day = tm.tm_mday;
    dt.hour = tm.tm_hour;
    dt.minute = tm.tm_min;
    dt.second = tm.tm_sec;
    return dt;
}

std::time_t FromLocalDateTime(const LocalDateTime& dt) {
    std::tm tm {};
    tm.tm_year = dt.year - 1900;
    tm.tm_mon = dt.month - 1;
    tm.tm_mday = dt.day;
    tm.tm_hour = dt.hour;
    tm.tm_min = dt.minute;
    tm.tm_sec = dt.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::time_t Now() { return std::time(nullptr); }

// ---- changes ----

bool CreateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) return true;
    return errno == EEXIST && IsFolder(path);
}

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) return false;
    std::string built;
    size_t i = 0;
    if (path.front() == '/') {
        built = "/";
        i = 1;
    }
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string part = path.substr(i, j - i);
        if (!part.empty()) {
            built = JoinPath(built, part);
            if (!IsFolder(built) && !CreateFolder(built)) return false;
        }
        i = j + 1;
    }
    return IsFolder(path);
}

bool RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

bool RenameReplace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SyncPath(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems refuse fsync on a folder; that is not a failure of the data.
    const bool ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    close(fd);
    return ok;
}

bool DropCachedData(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Only clean pages can be dropped: flush first.
    const bool ok = fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

namespace {

// Six characters of a unique file name.
std::string RandomSuffix() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uint8_t bytes[6];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        static std::uint64_t seed = static_cast<std::uint64_t>(std::time(nullptr)) ^
                                    (static_cast<std::uint64_t>(getpid()) << 20);
        for (std::uint8_t& b : bytes) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<std::uint8_t>(seed >> 56);
        }
    }
    std::string out;
    for (std::uint8_t b : bytes) out += kChars[b % (sizeof kChars - 1)];
    return out;
}

}  // namespace

int CreateUniqueFile(const std::string& prefix, unsigned mode, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = prefix + RandomSuffix();
        const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(mode & 07777));
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
    const std::string folder = FolderOf(FullPath(path));
    std::string tmp;
    // Readable as any new file of the user.
    const int fd = CreateUniqueFile(JoinPath(folder.empty() ? "/" : folder, ".kuvzip-"), 0666, tmp);
    if (fd < 0) return false;
    // Locked while its name lives, so that no sweep of leftovers takes it.
    flock(fd, LOCK_EX | LOCK_NB);
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    if (ok) ok = RenameReplace(tmp, path);
    if (!ok) unlink(tmp.c_str());
    ok = (close(fd) == 0) && ok;
    return ok;
}

// ---- positional I/O on an open descriptor ----

bool WriteAllAt(int fd, const void* data, size_t size, std::uint64_t offset) {
    if (InjectedFault(FaultPoint::Write)) return false;
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool ReadAllAt(int fd, void* data, size_t size, std::uint64_t offset) {
    if (InjectedFault(FaultPoint::Read)) return false;
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = pread(fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// ---- errors ----

int ErrorNumberFromErrno(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EBUSY:
        case ETXTBSY:
        case EAGAIN:
            return kErrorSharingViolation;
        case ENOENT:
            return kErrorFileNotFound;
        default:
            return kErrorPathAccess;
    }
}

// ---- memory ----

std::uint64_t FreePhysicalMemory() {
    // Line by line: some lines have no unit, so reading word triples would
    // lose step with the lines.
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) == 0) return std::strtoull(line.c_str() + 13, nullptr, 10) * 1024;
    }
    return 256ull * 1024 * 1024;
}

}  // namespace kuv::platform
