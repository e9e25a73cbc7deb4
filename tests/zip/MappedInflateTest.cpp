// Large members of one deflate stream (written by zip -6) inflated through
// mappings of the archive and of the output file: byte for byte, the CRC-32
// checked before anything is put in place, and a fault under a mapping (the
// archive cut short, the output's pages taken away, a full disk) a reported
// error with its true cause, never a SIGBUS that ends the program.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "ReaderTestSupport.h"
#include "zip/MappedInflate.h"
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

constexpr std::size_t kBig = 12u << 20;  // well above the one-call bound: mapped

// ---- what the hook does once both mappings are made ----

enum class Cut { None, ArchiveAtStart, ArchiveInTheMiddle, Output };
Cut g_cut = Cut::None;
std::string g_archive;
std::atomic<int> g_hookCalls {0};
std::thread::id g_caller;
std::atomic<int> g_onAWorker {0};  // mappings made on a thread other than the caller's

void CutUnderTheMapping(int, int outputFd) {
    ++g_hookCalls;
    if (std::this_thread::get_id() != g_caller) ++g_onAWorker;
    struct stat st {};
    stat(g_archive.c_str(), &st);
    switch (g_cut) {
        case Cut::None: break;
        case Cut::ArchiveAtStart: (void)!truncate(g_archive.c_str(), 0); break;
        case Cut::ArchiveInTheMiddle: (void)!truncate(g_archive.c_str(), st.st_size / 2); break;
        case Cut::Output: (void)!ftruncate(outputFd, 0); break;
    }
}

struct HookScope {
    HookScope(Cut cut, const std::string& archive) {
        g_cut = cut;
        g_archive = archive;
        g_hookCalls = 0;
        g_onAWorker = 0;
        g_caller = std::this_thread::get_id();
        kuv::zip::SetMappedHookForTesting(CutUnderTheMapping);
    }
    ~HookScope() { kuv::zip::SetMappedHookForTesting(nullptr); }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;
};

TEST(MappedInflate, Zip6MembersComeOutByteForByteThroughTheMappings) {
    Scratch s, out;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"petit.txt", Text(3000, 1)}, {"grand.dat", Text(kBig, 2)}, {"moyen.log", Text(5u << 20, 3)}};
    const std::string archive = Zip6(s, files);
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    HookScope hook(Cut::None, archive);
    EXPECT_TRUE(zip.ExtractAllFiles(out.path(), true, true, true));
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_EQ(g_hookCalls, 2);  // both large members went through the mappings
    // On the workers, side by side, while the caller names what they finish.
    if (std::thread::hardware_concurrency() > 1) {
        EXPECT_EQ(g_onAWorker, 2);
    }
    for (const auto& [name, content] : files) {
        std::string got;
        ASSERT_TRUE(kuv::platform::ReadWholeFile(out / name, got)) << name;
        EXPECT_TRUE(got == content) << name;
    }
}

// ---- faults under the mappings ----

struct CutCase {
    const char* label;
    Cut cut;
    bool crcDamaged;  // the member's CRC-32 made wrong in both headers
    ZipMessage expected;
};

// One member extracted on the caller's thread, or every member (the large
// one on a worker: a fault there has the caller do it again and tell why).
enum class Way { Single, All };

class MappedFault : public ::testing::TestWithParam<std::tuple<CutCase, Way>> {};

TEST_P(MappedFault, TellsTheCauseAndPutsNothingInPlace) {
    const CutCase& c = std::get<0>(GetParam());
    const Way way = std::get<1>(GetParam());
    Scratch s, out;
    const std::string archive = Zip6(s, {{"base.dat", Text(kBig, 4)}});
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    if (c.crcDamaged) {
        // The CRC-32 at offset 14 of the local header and 16 of the central one.
        std::string bytes;
        ASSERT_TRUE(kuv::platform::ReadWholeFile(archive, bytes));
        const std::size_t central = bytes.rfind(std::string("PK\x01\x02", 4));
        ASSERT_NE(central, std::string::npos);
        bytes[14] = static_cast<char>(bytes[14] ^ 0x5a);
        bytes[central + 16] = bytes[14];
        WriteFile(archive, bytes);
    }
    WriteFile(out / "base.dat", "ancien");
    clsZip zip;
    Recorder rec(zip);
    ASSERT_TRUE(zip.ZipOpen(archive));
    {
        HookScope hook(c.cut, archive);
        if (way == Way::Single) {
            EXPECT_FALSE(zip.ExtractSingleFile(1, out.path(), true, true, false));
            EXPECT_EQ(g_hookCalls, 1) << c.label;
        } else {
            zip.ExtractAllFiles(out.path(), true, true, false);
            EXPECT_GE(g_hookCalls, 1) << c.label;
        }
    }
    ASSERT_FALSE(rec.errors.empty()) << c.label;
    const std::string shown = c.expected == ZipMessage::ArchiveReadError ? archive
                              : c.expected == ZipMessage::Unidentified   ? std::string("base.dat")
                                                                          : out / "base.dat";
    EXPECT_EQ(rec.errors.front(),
              std::make_pair(static_cast<int>(kuv::zip::NumberOf(c.expected)), kuv::zip::MessageText(c.expected, shown)))
        << c.label;
    // The file in place is the old one, and no work file is left.
    std::string left;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(out / "base.dat", left));
    EXPECT_EQ(left, "ancien") << c.label;
    EXPECT_EQ(kuv::platform::ListFolder(out.path()).size(), 1u) << c.label;
}

const CutCase kCuts[] = {
    {"archive_cut_to_nothing", Cut::ArchiveAtStart, false, ZipMessage::ArchiveReadError},
    {"archive_cut_in_the_middle", Cut::ArchiveInTheMiddle, false, ZipMessage::ArchiveReadError},
    {"output_pages_taken_away", Cut::Output, false, ZipMessage::Unidentified},
    {"crc_wrong", Cut::None, true, ZipMessage::CrcMismatch},
};

INSTANTIATE_TEST_SUITE_P(Cuts, MappedFault, ::testing::Combine(::testing::ValuesIn(kCuts), ::testing::Values(Way::Single, Way::All)),
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

class MappedFullDisk : public ::testing::TestWithParam<FullCase> {};

TEST_P(MappedFullDisk, IsDiskFullNotACrash) {
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
            HookScope hook(Cut::None, archive);
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

INSTANTIATE_TEST_SUITE_P(Disks, MappedFullDisk,
                         ::testing::Values(FullCase {"smaller_than_the_member", "4m", 0},
                                           FullCase {"filled_by_another_file", "16m", 8u << 20}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- the reservation refused for real (strace injects the system's error) ----

struct RefusalCase {
    const char* label;
    const char* error;  // injected into every fallocate
};

class MappedReservation : public ::testing::TestWithParam<RefusalCase> {};

// Streamed instead, whose writes go through: the file comes out whole.
TEST_P(MappedReservation, RefusedIsStreamed) {
    const RefusalCase& c = GetParam();
    if (!Have("strace") || Shell("strace -qq -o /dev/null true") != 0) GTEST_SKIP() << "no strace here";
    Scratch s, out;
    const std::string content = Text(kBig, 6);
    const std::string archive = Zip6(s, {{"base.dat", content}});
    if (archive.empty()) GTEST_SKIP() << "zip missing";
    const std::string log = s / "log.txt";
    const std::string cli = std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli";
    // LeakSanitizer cannot run under ptrace: off in a sanitized build's child.
    const int status = std::system(("ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:detect_leaks=0\" strace -f -qq -o /dev/null -e trace=fallocate -e inject=fallocate:error=" +
                                    std::string(c.error) + " '" + cli + "' extract --preserve-path --overwrite '" +
                                    archive + "' '" + out.path() + "' > '" + log + "' 2>&1")
                                       .c_str());
    ASSERT_TRUE(WIFEXITED(status)) << c.label;
    std::string told, got;
    kuv::platform::ReadWholeFile(log, told);
    EXPECT_EQ(WEXITSTATUS(status), 0) << c.label << told;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(out / "base.dat", got)) << c.label;
    EXPECT_TRUE(got == content) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Refusals, MappedReservation,
                         ::testing::Values(RefusalCase {"not_supported", "EOPNOTSUPP"}, RefusalCase {"no_room", "ENOSPC"},
                                           RefusalCase {"medium", "EIO"}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
