#pragma once
// What the engine's fuzz targets share: one scratch folder per process
// (each input gets fresh sub-folders), the environment that sends the
// engine's temporary and per-user folders into it, an event recorder, folder
// walks, and the check that stops the fuzzer on a broken promise.

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "zip/clsZip.h"

namespace fuzzsupport {

namespace fs = std::filesystem;
using Bytes = std::string;

// Reports the broken promise and aborts: libFuzzer keeps the input.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "==kuvzip-fuzz== check failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition, message)                                          \
    do {                                                                        \
        if (!(condition)) ::fuzzsupport::Fail(std::string(#condition) + " -- " + (message)); \
    } while (0)

// The process's scratch folder: $KUVZIP_FUZZ_SCRATCH, else /dev/shm (the
// update's fsyncs cost nothing there), else the system's temporary folder.
inline const fs::path& Root() {
    static const fs::path root = [] {
        fs::path base;
        if (const char* env = std::getenv("KUVZIP_FUZZ_SCRATCH"); env && *env) base = env;
        else if (access("/dev/shm", W_OK) == 0) base = "/dev/shm";
        else base = fs::temp_directory_path();
        std::string pattern = (base / "kuvzip-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) Fail("cannot create the scratch folder under " + base.string());
        return fs::path(pattern);
    }();
    return root;
}

inline fs::path TmpFolder() { return Root() / "tmp"; }
inline fs::path HomeFolder() { return Root() / "home"; }

// An empty folder of that name in the scratch folder (its old content removed).
inline fs::path Fresh(const std::string& name) {
    const fs::path p = Root() / name;
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p);
    return p;
}

// The largest file the targets let the engine write. No honest input of
// the sizes fuzzed inflates to more (deflate expands at most about 1032
// times); the limit keeps a fault that inflates without bound from filling
// the machine's memory or disk before the checks see it.
constexpr rlim_t kLargestFile = 256u << 20;

// Called once from LLVMFuzzerInitialize, before any engine call: the
// engine's temporary folder, home, cache and autostart folders all lie in
// the scratch folder, so no input reaches the user's own.
inline void Setup() {
    std::error_code ec;
    fs::create_directories(TmpFolder());
    fs::create_directories(HomeFolder() / ".cache");
    fs::create_directories(HomeFolder() / ".config");
    setenv("TMPDIR", TmpFolder().c_str(), 1);
    setenv("HOME", HomeFolder().c_str(), 1);
    setenv("XDG_CACHE_HOME", (HomeFolder() / ".cache").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (HomeFolder() / ".config").c_str(), 1);
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
    struct rlimit limit {kLargestFile, kLargestFile};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::atexit([] {
        std::error_code e;
        fs::remove_all(Root(), e);
    });
}

// Empties the engine's temporary folder and the home folder (where a
// deletion script may have been left by the previous input).
inline void ClearEngineFolders() {
    std::error_code ec;
    fs::remove_all(TmpFolder(), ec);
    fs::remove_all(HomeFolder(), ec);
    fs::create_directories(TmpFolder());
    fs::create_directories(HomeFolder() / ".cache");
    fs::create_directories(HomeFolder() / ".config");
}

inline void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("cannot write " + path.string());
}

inline Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One entry under a folder, links not followed.
struct Entry {
    std::string rel;  // path relative to the folder walked
    fs::file_type type;
    std::uintmax_t size;  // regular files only
};

inline std::vector<Entry> Walk(const fs::path& root) {
    std::vector<Entry> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::file_status st = it->symlink_status();
        Entry e{fs::relative(it->path(), root).string(), st.type(), 0};
        if (st.type() == fs::file_type::regular) e.size = it->file_size();
        out.push_back(std::move(e));
    }
    if (ec) Fail("cannot walk " + root.string() + ": " + ec.message());
    return out;
}

// Fails unless the scratch folder holds only the engine's folders and those named.
inline void CheckScratchHoldsOnly(const std::vector<std::string>& names) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(Root(), ec)) {
        const std::string name = e.path().filename().string();
        if (name == "tmp" || name == "home" || std::find(names.begin(), names.end(), name) != names.end()) continue;
        Fail("written outside the input's folders: " + e.path().string());
    }
}

inline std::vector<Entry> RegularFiles(const fs::path& root) {
    std::vector<Entry> out;
    for (Entry& e : Walk(root))
        if (e.type == fs::file_type::regular) out.push_back(std::move(e));
    return out;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
inline bool IsStrictUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t len;
        std::uint32_t cp, min;
        if (b0 < 0x80) { ++i; continue; }
        if ((b0 & 0xE0) == 0xC0) { len = 2; cp = b0 & 0x1F; min = 0x80; }
        else if ((b0 & 0xF0) == 0xE0) { len = 3; cp = b0 & 0x0F; min = 0x800; }
        else if ((b0 & 0xF8) == 0xF0) { len = 4; cp = b0 & 0x07; min = 0x10000; }
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// Every event the engine raises, kept until Clear.
struct Recorder {
    std::vector<std::pair<std::int32_t, std::string>> zipErrors;
    std::vector<std::pair<std::string, std::int32_t>> fileErrors;  // path, number
    int writeFailures = 0;

    explicit Recorder(clsZip& zip) {
        zip.Events.ZipError = [this](std::int32_t number, const std::string& text, bool&) {
            zipErrors.emplace_back(number, text);
        };
        zip.Events.FileZipErr = [this](std::string& path, std::int32_t& number, std::string&) {
            fileErrors.emplace_back(path, number);
        };
        zip.Events.WriteFailed = [this](const std::string&) { ++writeFailures; };
    }
    void Clear() {
        zipErrors.clear();
        fileErrors.clear();
        writeFailures = 0;
    }
    std::string First() const {
        if (!zipErrors.empty()) return std::to_string(zipErrors[0].first) + " " + zipErrors[0].second;
        if (!fileErrors.empty()) return std::to_string(fileErrors[0].second) + " " + fileErrors[0].first;
        return "(no event)";
    }
    // The FileZipErr numbers raised for path.
    std::vector<std::int32_t> FileErrorsFor(const std::string& path) const {
        std::vector<std::int32_t> out;
        for (const auto& e : fileErrors)
            if (e.first == path) out.push_back(e.second);
        return out;
    }
};

// Reads a little-endian field from the input, zero past its end.
class InputCursor {
public:
    InputCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t U16() {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    Bytes Take(std::size_t n) {
        n = std::min(n, size_ - pos_);
        Bytes out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    Bytes Rest() { return Take(size_ - pos_); }
    bool AtEnd() const { return pos_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace fuzzsupport
