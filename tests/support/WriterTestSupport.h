#pragma once
// Helpers of the archive-writing tests: a scratch folder per test, files with
// chosen contents and dates, the engine's events as text lines, an
// independent reading of the archives written, and running programs.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ScratchFolder.h"
#include "zip/clsZip.h"

namespace writertest {

inline std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

struct CommandResult {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a shell command line and captures both outputs.
inline CommandResult RunShell(const std::string& commandLine) {
    char errName[] = "/tmp/kuvzip-writer-err-XXXXXX";
    const int errFd = mkstemp(errName);
    if (errFd >= 0) close(errFd);
    CommandResult r;
    FILE* p = popen((commandLine + " 2>" + Quote(errName)).c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = Slurp(errName);
    unlink(errName);
    return r;
}

inline bool HaveProgram(const std::string& name) {
    return RunShell("command -v " + name + " >/dev/null").status == 0;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
}

// Sets a file's modification time to a local date and time.
inline void SetLocalMTime(const std::string& path, int y, int mo, int d, int h, int mi, int s) {
    std::tm tm {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    const std::string cmd = "touch -m -d @" + std::to_string(static_cast<long long>(std::mktime(&tm))) + " " +
                            Quote(path);
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

// The engine's events as lines, in the command-line tool's format.
struct EventLog {
    std::vector<std::string> lines;
    void Attach(clsZip& zip) {
        zip.Events.Status = [this](const std::string& t) { lines.push_back("Status: " + t); };
        zip.Events.ZipError = [this](std::int32_t n, const std::string& d, bool&) {
            lines.push_back("ZipError " + std::to_string(n) + ": " + d);
        };
        zip.Events.FileZipErr = [this](std::string& p, std::int32_t& n, std::string& d) {
            lines.push_back("FileZipErr " + std::to_string(n) + ": " + d + " [" + p + "]");
        };
        zip.Events.WriteFailed = [this](const std::string& t) { lines.push_back("WriteFailed: " + t); };
    }
    bool Has(const std::string& line) const {
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    }
    std::string All() const {
        std::string s;
        for (const auto& l : lines) s += l + "\n";
        return s;
    }
};

inline std::uint16_t U16(const std::string& b, size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b.at(at)) |
                                      (static_cast<std::uint8_t>(b.at(at + 1)) << 8));
}
inline std::uint32_t U32(const std::string& b, size_t at) {
    return static_cast<std::uint32_t>(U16(b, at)) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

// An archive read back field by field, independently of the engine's records.
struct ReadMember {
    size_t centralAt = 0;  // offset of the central header
    size_t localAt = 0;    // offset of the local header
    std::uint16_t flags = 0, method = 0, dosTime = 0, dosDate = 0, internalAttributes = 0;
    std::uint32_t crc = 0, compressedSize = 0, uncompressedSize = 0, externalAttributes = 0;
    std::string name;      // the stored bytes
    std::string extra;     // the central extra field
    std::string localExtra;  // the local header's extra field
};
struct ReadArchive {
    bool ok = false;
    size_t endAt = 0;
    std::uint16_t entries = 0;
    std::uint32_t directorySize = 0, directoryOffset = 0;
    std::string comment;
    std::vector<ReadMember> members;
};

inline ReadArchive ParseArchive(const std::string& b) {
    ReadArchive a;
    if (b.size() < 22) return a;
    size_t at = b.size() - 22;
    while (U32(b, at) != 0x06054b50) {
        if (at == 0) return a;
        --at;
    }
    a.endAt = at;
    a.entries = U16(b, at + 10);
    a.directorySize = U32(b, at + 12);
    a.directoryOffset = U32(b, at + 16);
    a.comment = b.substr(at + 22, U16(b, at + 20));
    size_t c = a.directoryOffset;
    for (int i = 0; i < a.entries; ++i) {
        if (c + 46 > b.size() || U32(b, c) != 0x02014b50) return a;
        ReadMember m;
        m.centralAt = c;
        m.flags = U16(b, c + 8);
        m.method = U16(b, c + 10);
        m.dosTime = U16(b, c + 12);
        m.dosDate = U16(b, c + 14);
        m.crc = U32(b, c + 16);
        m.compressedSize = U32(b, c + 20);
        m.uncompressedSize = U32(b, c + 24);
        m.internalAttributes = U16(b, c + 36);
        m.externalAttributes = U32(b, c + 38);
        m.localAt = U32(b, c + 42);
        const size_t nameLength = U16(b, c + 28);
        m.name = b.substr(c + 46, nameLength);
        m.extra = b.substr(c + 46 + nameLength, U16(b, c + 30));
        if (m.localAt + 30 <= b.size())
            m.localExtra = b.substr(m.localAt + 30 + U16(b, m.localAt + 26), U16(b, m.localAt + 28));
        c += 46 + nameLength + U16(b, c + 30) + U16(b, c + 32);
        a.members.push_back(m);
    }
    a.ok = c == a.endAt;
    return a;
}

// A scratch folder, removed after the test.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch_.path();
        ASSERT_FALSE(dir.empty());
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) savedCwd = cwd;
    }
    void TearDown() override {
        if (!savedCwd.empty() && chdir(savedCwd.c_str()) != 0) ADD_FAILURE() << "chdir back";
    }
    std::string P(const std::string& rel) const { return dir + "/" + rel; }
    void Make(const std::string& rel, const std::string& bytes) {
        const std::string path = P(rel);
        std::error_code ec;
        std::filesystem::create_directories(path.substr(0, path.rfind('/')), ec);
        WriteFile(path, bytes);
    }

private:
    kuvtest::ScratchFolder scratch_{"kuvzip-writer-test"};

protected:

    std::string dir;
    std::string savedCwd;
};

}  // namespace writertest
