#include "recovery/RestoreJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/FaultInjection.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"
#include "zip/ZipNames.h"

namespace kuv::recovery {

using platform::JoinPath;

namespace {

constexpr const char* kHeader = "kuvzip-restauration 1";

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '%' || c == '\n' || c == '\r') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& s, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return false;
        const std::string hex = s.substr(i + 1, 2);
        char* end = nullptr;
        const long v = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return false;
        out += static_cast<char>(v);
        i += 2;
    }
    return true;
}

// A relative path that stays inside the data folder and names no work file.
bool SafeRelative(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos) return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, slash - start);
        if (part.empty() || part == "." || part == ".." || platform::IsWorkName(part)) return false;
        start = slash + 1;
    }
    return true;
}

bool SafeName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

bool SyncFd(int fd) {
    if (platform::InjectedFault(platform::FaultPoint::Sync)) return false;
    return fsync(fd) == 0 || errno == EINVAL;
}

}  // namespace

std::string JournalText(const Journal& j) {
    std::string text = std::string(kHeader) + "\n";
    text += "staging " + j.stagingName + "\n";
    text += "kept " + Escape(j.keptName) + "\n";
    if (j.partial) text += "partielle\n";
    for (const JournalMove& m : j.moves) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", m.crc32);
        text += "move " + std::to_string(m.size) + " " + crc + " " + Escape(m.path) + "\n";
    }
    text += "fin " + std::to_string(j.moves.size()) + "\n";
    if (j.done) text += "terminee\n";
    return text;
}

bool ParseJournal(const std::string& text, Journal& j) {
    j = Journal{};
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader) return false;
    bool whole = false;
    while (std::getline(in, line)) {
        if (whole) {
            if (line == "terminee") j.done = true;
            else return false;
            continue;
        }
        if (line.rfind("staging ", 0) == 0) {
            j.stagingName = line.substr(8);
        } else if (line.rfind("kept ", 0) == 0) {
            if (!Unescape(line.substr(5), j.keptName)) return false;
        } else if (line == "partielle") {
            j.partial = true;
        } else if (line.rfind("move ", 0) == 0) {
            std::istringstream fields(line.substr(5));
            JournalMove m;
            std::string crc;
            if (!(fields >> m.size >> crc) || crc.size() != 8) return false;
            std::string rest;
            std::getline(fields, rest);
            if (rest.empty() || rest[0] != ' ' || !Unescape(rest.substr(1), m.path)) return false;
            char* end = nullptr;
            m.crc32 = static_cast<std::uint32_t>(std::strtoul(crc.c_str(), &end, 16));
            if (end != crc.c_str() + 8 || !SafeRelative(m.path)) return false;
            j.moves.push_back(std::move(m));
        } else if (line.rfind("fin ", 0) == 0) {
            if (line.substr(4) != std::to_string(j.moves.size())) return false;
            whole = true;
        } else {
            return false;
        }
    }
    const std::string staging = platform::kRestoreStagingPrefix;
    return whole && platform::IsWorkName(j.stagingName) && j.stagingName.rfind(staging, 0) == 0 &&
           SafeName(j.keptName) && !platform::IsWorkName(j.keptName);
}

bool MarkPartialKeptFolder(const std::string& keptFolder) {
    const std::string marker = JoinPath(keptFolder, platform::kPartialRestoreMarker);
    platform::UniqueFd fd(open(marker.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    return static_cast<bool>(fd);
}

bool SyncFolder(const std::string& folder) {
    platform::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && SyncFd(fd.get());
}

bool JournalFile::Create(const std::string& dataFolder, const Journal& journal) {
    dataFolder_ = dataFolder;
    const std::string path = JoinPath(dataFolder, platform::kRestoreJournalName);
    const std::string temp = path + ".tmp";
    platform::UniqueFd fd(open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return false;
    const std::string text = JournalText(journal);
    const bool ok = flock(fd.get(), LOCK_EX) == 0 && platform::WriteAllAt(fd.get(), text.data(), text.size(), 0) &&
                    SyncFd(fd.get()) && !platform::InjectedFault(platform::FaultPoint::Rename) &&
                    rename(temp.c_str(), path.c_str()) == 0;
    if (!ok || !SyncFolder(dataFolder)) {
        if (!ok) unlink(temp.c_str());
        else unlink(path.c_str());
        return false;
    }
    fd_ = std::move(fd);
    return true;
}

bool JournalFile::Take(const std::string& dataFolder, bool& inUse) {
    inUse = false;
    dataFolder_ = dataFolder;
    const std::string path = JoinPath(dataFolder, platform::kRestoreJournalName);
    platform::UniqueFd fd(open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && errno == EROFS) fd.Reset(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return false;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        inUse = true;
        return false;
    }
    fd_ = std::move(fd);
    return true;
}

bool JournalFile::Read(Journal& journal) const {
    if (!fd_) return false;
    std::string text;
    char buf[65536];
    std::uint64_t at = 0;
    for (;;) {
        const ssize_t n = pread(fd_.get(), buf, sizeof buf, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
    return ParseJournal(text, journal);
}

bool JournalFile::MarkDone() {
    if (!fd_) return false;
    struct stat st {};
    const std::string mark = "terminee\n";
    return fstat(fd_.get(), &st) == 0 &&
           platform::WriteAllAt(fd_.get(), mark.data(), mark.size(), static_cast<std::uint64_t>(st.st_size)) &&
           SyncFd(fd_.get());
}

bool JournalFile::Remove() {
    const std::string path = JoinPath(dataFolder_, platform::kRestoreJournalName);
    const bool gone = unlink(path.c_str()) == 0 || errno == ENOENT;
    fd_.Reset();
    return gone && SyncFolder(dataFolder_);
}

bool FolderLock::Lock(const std::string& folder, bool wait) {
    platform::UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || flock(fd.get(), wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) return false;
    fd_ = std::move(fd);
    return true;
}

bool HeldByAnother(const std::string& path) {
    platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return false;
    return flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

bool FileSizeAndCrc(const std::string& path, std::uint64_t& size, std::uint32_t& crc32) {
    platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return false;
    size = 0;
    crc32 = 0;
    std::vector<char> buf(1 << 20);
    for (;;) {
        const ssize_t n = read(fd.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        crc32 = zip::CrcUpdate(crc32, buf.data(), static_cast<std::size_t>(n));
        size += static_cast<std::uint64_t>(n);
    }
}

}  // namespace kuv::recovery
