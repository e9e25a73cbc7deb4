// Large members of one deflate stream (written by zip -6) streamed through
// igzip on the workers: byte for byte, side by side, the CRC-32 checked
// before anything is put in place; a damaged stream gets zlib's verdict, and
// a full disk or a read error of the archive its true cause, on the caller's
// thread and on the workers alike.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <atomic>
#include <cerrno>
#include <thread>
#include <thread>

#include "ReaderTestSupport.h"
#include "zip/StreamInflate.h"
#include "zip/ZipErrors.h"

using namespace readertest;
using kuv::zip::ZipMessage;

namespace {

// Text that compresses as a data file does, size bytes.
std::string Text(std::size_t size, unsigned seed) {
    static const char* const kWords[] = {"DUPONT", "MARTIN", "PARIS", "LYON", "Facture", "Avoir", "Reglement", "12,50"};
    std::string s;
    s.reserve(size + 64);
    unsigned x = seed * 2654435761u + 1;
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        s += kWords[(x >> 16) % 8];
        s += (x >> 8) % 11 == 0 ? '\n' : ' ';
        s += std::to_string((x >> 4) % 100000);
        s += ';';
    }
    s.resize(size);
    return s;
}

// The archive zip -6 writes of files (name, content) put in folder/t.
// Returns: the archive's path, empty when zip is not installed or fails.
std::string Zip6(const Scratch& s, const std::vector<std::pair<std::string, std::string>>& files) {
    if (!Have("zip")) return {};
    kuv::platform::CreateFolderPath(s / "t");
    std::string names;
    for (const auto& [name, content] : files) {
        WriteFile(s / ("t/" + name), content);
        names += " '" + name + "'";
    }
    const std::string archive = s / "a.zip";
    if (Shell("cd '" + s / "t" + "' && zip -q -6 -X '" + archive + "'" + names) != 0) return {};
    return archive;
}

constexpr std::size_t kBig = 12u << 20;  // well above the one-call bound: streamed

// Bytes that do not compress (a photo's), size bytes.
std::string Noise(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (char& c : s) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        c = static_cast<char>(x >> 32);
    }
    return s;
}

// ---- which thread streams each large member ----

std::thread::id g_caller;
std::atomic<int> g_streamed {0};
std::atomic<int> g_onAWorker {0};

void CountStreamed() {
    ++g_streamed;
    if (std::this_thread::get_id() != g_caller) ++g_onAWorker;
}

struct HookScope {
    HookScope() {
        g_caller = std::this_thread::get_id();
        g_streamed = 0;
        g_onAWorker = 0;
        kuv::zip::SetStreamHookForTesting(CountStreamed);
    }
    ~HookScope() { kuv::zip::SetStreamHookForTesting(nullptr); }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;
};

TEST(StreamInflate, Zip6MembersComeOutByteForByteOnTheWorkers) {
    Scratch s, out;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"petit.txt", Text(3000, 1)}, {"grand.dat", Text(kBig, 2)}, {"moyen.log", Text(5u << 20, 3)},
        {"photo.jpg", Noise(kBig, 4)}};
    const std::string archive = Zip6(s, files);
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    HookScope hook;
    EXPECT_TRUE(zip.ExtractAllFiles(out.path(), true, true, true));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(g_streamed, 3);  // the three large members went through igzip
    // On the workers, side by side, while the caller names what they finish.
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_EQ(g_onAWorker, 3);
    }
    for (const auto& [name, content] : files) {
        std::string got;
        ASSERT_TRUE(kuv::platform::ReadWholeFile(out / name, got)) << name;
        EXPECT_TRUE(got == content) << name;
    }
}

// ---- damaged members: zlib's verdict, nothing put in place ----

enum class Damage { DataFlipped, StreamCut, DeclaredLarger, DeclaredSmaller, CrcWrong };

struct DamageCase {
    const char* label;
    Damage damage;
    ZipMessage expected;
};

// One member extracted on the caller's thread, or every member (the large
// one on a worker: a failure there has the caller do it again and tell why).
enum class Way { Single, All };

// Little-endian 32-bit value at offset at of bytes.
void Put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// Damages the only member of an archive zip -6 wrote (sizes in its local
// header, no data descriptor). Fields: local CRC 14, compressed 18,
// uncompressed 22; central CRC 16, compressed 20, uncompressed 24.
void DamageMember(std::string& bytes, Damage damage) {
    const std::size_t central = bytes.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    const std::size_t data = 30 + (static_cast<unsigned char>(bytes[26]) | static_cast<unsigned char>(bytes[27]) << 8) +
                             (static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8);
    const std::uint32_t compressed = Get32(bytes, 18);
    const std::uint32_t size = Get32(bytes, 22);
    const auto both = [&](std::size_t local, std::uint32_t v) {
        Put32(bytes, local, v);
        Put32(bytes, central + local + 2, v);  // each central field lies 2 bytes further
    };
    switch (damage) {
        case Damage::DataFlipped:
            for (std::size_t i = data + compressed / 2; i < data + compressed / 2 + 64; ++i) bytes[i] ^= 0x5a;
            break;
        case Damage::StreamCut:  // the last quarter of the stream zeroed
            for (std::size_t i = data + compressed * 3 / 4; i < data + compressed; ++i) bytes[i] = 0;
            break;
        case Damage::DeclaredLarger: both(22, size + 1000); break;
        case Damage::DeclaredSmaller: both(22, size - 1000); break;
        case Damage::CrcWrong: both(14, Get32(bytes, 14) ^ 0x5a5a5a5a); break;
    }
}

class StreamDamage : public ::testing::TestWithParam<std::tuple<DamageCase, Way>> {};

TEST_P(StreamDamage, ZlibsVerdictAndNothingInPlace) {
    const DamageCase& c = std::get<0>(GetParam());
    const Way way = std::get<1>(GetParam());
    Scratch s, out;
    const std::string archive = Zip6(s, {{"base.dat", Text(kBig, 4)}});
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    std::string bytes;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(archive, bytes));
    DamageMember(bytes, c.damage);
    WriteFile(archive, bytes);
    WriteFile(out / "base.dat", "ancien");
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    if (way == Way::Single) EXPECT_FALSE(zip.ExtractSingleFile(1, out.path(), true, true, false));
    else zip.ExtractAllFiles(out.path(), true, true, false);
    ASSERT_EQ(rec.errors.size(), 1u) << c.label;  // told once, by the caller's steps
    const std::string shown = c.expected == ZipMessage::Unidentified ? std::string("base.dat") : out / "base.dat";
    EXPECT_EQ(rec.errors.front(),
              std::make_pair(static_cast<int>(kuv::zip::NumberOf(c.expected)), kuv::zip::MessageText(c.expected, shown)))
        << c.label;
    std::string left;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(out / "base.dat", left));
    EXPECT_EQ(left, "ancien") << c.label;
    EXPECT_EQ(kuv::platform::ListFolder(out.path()).size(), 1u) << c.label;  // no work file left
}

const DamageCase kDamages[] = {
    {"data_flipped", Damage::DataFlipped, ZipMessage::Unidentified},
    {"stream_cut", Damage::StreamCut, ZipMessage::Unidentified},
    {"declared_larger", Damage::DeclaredLarger, ZipMessage::Unidentified},
    {"declared_smaller", Damage::DeclaredSmaller, ZipMessage::Unidentified},
    {"crc_wrong", Damage::CrcWrong, ZipMessage::CrcMismatch},
};

INSTANTIATE_TEST_SUITE_P(Damages, StreamDamage,
                         ::testing::Combine(::testing::ValuesIn(kDamages), ::testing::Values(Way::Single, Way::All)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) == Way::All ? "_all" : "_single");
                         });

// ---- a full disk: a private tmpfs too small for what is extracted ----

struct FullCase {
    const char* label;
    const char* size;       // of the tmpfs
    std::size_t filler;     // bytes of another file written there first
};

class StreamFullDisk : public ::testing::TestWithParam<FullCase> {};

TEST_P(StreamFullDisk, IsDiskFullNotACrash) {
    const FullCase& c = GetParam();
    Scratch s, disk;
    const std::string archive = Zip6(s, {{"base.dat", Text(kBig, 5)}});
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // A mount of this process's own: the machine's mounts are untouched.
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", disk.path().c_str(), "tmpfs", 0, (std::string("size=") + c.size).c_str()) != 0)
            _exit(77);
        if (c.filler) WriteFile(disk / "autre.bin", std::string(c.filler, 'x'));
        int told[3] = {0, 0, 0};
        {
            clsZip zip;
            Recorder rec(zip);
            if (zip.ZipOpen(archive)) zip.ExtractAllFiles(disk.path(), true, true, false);
            told[0] = rec.errors.empty() ? 0 : rec.errors.front().first;
            told[1] = kuv::platform::PathExists(disk / "base.dat") ? 1 : 0;
            told[2] = static_cast<int>(kuv::platform::ListFolder(disk.path()).size());
        }
        (void)!write(fds[1], told, sizeof told);
        _exit(0);
    }
    close(fds[1]);
    int told[3] = {-1, -1, -1};
    const bool got = read(fds[0], told, sizeof told) == static_cast<ssize_t>(sizeof told);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private tmpfs here";
    ASSERT_TRUE(WIFEXITED(status)) << c.label << ": ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    ASSERT_TRUE(got) << c.label;
    EXPECT_EQ(told[0], static_cast<int>(kuv::zip::NumberOf(ZipMessage::DiskFull))) << c.label;
    EXPECT_EQ(told[1], 0) << c.label;                        // nothing under the member's name
    EXPECT_EQ(told[2], c.filler ? 1 : 0) << c.label;         // and no work file left
}

INSTANTIATE_TEST_SUITE_P(Disks, StreamFullDisk,
                         ::testing::Values(FullCase {"smaller_than_the_member", "4m", 0},
                                           FullCase {"filled_by_another_file", "16m", 8u << 20}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
