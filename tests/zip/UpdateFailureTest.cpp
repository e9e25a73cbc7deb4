// Failures of the in-place update and of the writing of an archive: a full
// medium, a read-only medium, more members than an archive holds, a folder
// flush the medium refuses. Each raises its cause and leaves the archive
// byte for byte as it was; the work files never take a user's file name, and
// those a crashed run left are removed by the next successful write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <random>

#include "ReaderTestSupport.h"
#include "zip/ArchiveWriter.h"

using kuv::zip::SetFolderSyncForTesting;

using namespace readertest;

namespace {

// A small RAM file system mounted for the test (root only).
struct SmallMedium {
    Scratch holder;
    std::string path;
    bool mounted = false;
    explicit SmallMedium(const char* size) {
        path = holder / "medium";
        mkdir(path.c_str(), 0755);
        mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    bool MakeReadOnly() { return mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
    ~SmallMedium() {
        if (mounted) umount2(path.c_str(), MNT_DETACH);
    }
};

Bytes Incompressible(std::size_t n) {
    std::mt19937 random(7);
    Bytes b(n, '\0');
    for (char& c : b) c = static_cast<char>(random());
    return b;
}

RawArchive Small() {
    RawArchive a;
    a.members.push_back(Member("un.txt", "premier"));
    a.members.push_back(Member("deux.txt", "second", 0));
    a.comment = "commentaire";
    return a;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& [name, content] : Snapshot(folder)) out.push_back(name);
    return out;
}

int g_syncCalls = 0;
bool FailingSync(const std::string&) {
    ++g_syncCalls;
    errno = EIO;
    return false;
}

}  // namespace

struct FailureCase {
    const char* what;
    // Prepares the archive's folder and returns false to skip.
    std::function<bool(SmallMedium& m, const std::string& archive, const std::string& source)> prepare;
    bool add;  // FileAddIntoZip of source, else FileRemoveFromZip of "un.txt"
    const char* reason;
};

std::ostream& operator<<(std::ostream& os, const FailureCase& c) { return os << c.what; }

class UpdateFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(UpdateFailureTest, RaisesTheCauseAndLeavesTheArchive) {
    const FailureCase& c = GetParam();
    SmallMedium medium("8m");
    if (!medium.mounted) GTEST_SKIP() << "cannot mount a small medium here (needs root)";
    Scratch src;
    const std::string archive = medium.path + "/a.zip";
    const std::string source = src / "gros.bin";
    if (!c.prepare(medium, archive, source)) GTEST_SKIP() << "cannot prepare " << c.what;
    const Bytes before = ReadFile(archive);
    const auto filesBefore = FilesIn(medium.path);
    clsZip zip;
    Recorder rec(zip);
    std::int32_t mode = 0;
    EXPECT_FALSE(c.add ? zip.FileAddIntoZip(archive, source, mode, false, false)
                       : zip.FileRemoveFromZip(archive, "un.txt"));
    SetFolderSyncForTesting(nullptr);
    ASSERT_EQ(rec.ErrorNumbers(), std::vector<int>{16}) << c.what;
    EXPECT_EQ(rec.errors[0].second, std::string("Mise à jour du Zip impossible : ") + c.reason);
    if (std::string(c.what) != "folder flush refused") {
        EXPECT_EQ(ReadFile(archive), before);
        EXPECT_EQ(FilesIn(medium.path), filesBefore);  // no work file left behind
    }
    if (Exists(archive + "~")) {
        EXPECT_EQ(ReadFile(archive + "~"), "un fichier de l'utilisateur");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, UpdateFailureTest,
    ::testing::Values(
        FailureCase{"full medium",
                    [](SmallMedium&, const std::string& archive, const std::string& source) {
                        WriteFile(archive, Small().Build());
                        WriteFile(archive + "~", "un fichier de l'utilisateur");
                        WriteFile(source, Incompressible(9 << 20));
                        return true;
                    },
                    true, "le support est plein"},
        FailureCase{"read-only medium",
                    [](SmallMedium& m, const std::string& archive, const std::string&) {
                        WriteFile(archive, Small().Build());
                        return m.MakeReadOnly();
                    },
                    false, "le support est en lecture seule"},
        FailureCase{"folder flush refused",
                    [](SmallMedium&, const std::string& archive, const std::string&) {
                        WriteFile(archive, Small().Build());
                        SetFolderSyncForTesting(&FailingSync);
                        return true;
                    },
                    false, "erreur de lecture ou d'écriture sur le support"}));

TEST(UpdateFailure, AFolderFlushErrorFailsTheWriteOfANewArchive) {
    Scratch s;
    WriteFile(s / "a.txt", "a");
    clsZip zip;
    std::vector<std::string> failed;
    zip.Events.WriteFailed = [&](const std::string& t) { failed.push_back(t); };
    ASSERT_EQ(zip.FileAdd(s / "a.txt"), 1);
    g_syncCalls = 0;
    SetFolderSyncForTesting(&FailingSync);
    const bool written = zip.WriteZip(s / "a.zip", false);
    SetFolderSyncForTesting(nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(g_syncCalls, 1);
    EXPECT_EQ(failed, std::vector<std::string>{"Clé pleine ou absente !"});
    zip.Events = clsZipEvents{};
}

TEST(UpdateFailure, LeftoverWorkFilesGoWithTheNextSuccessfulWrite) {
    Scratch s;
    WriteFile(s / ".a.zip.Ab12Cd", std::string("PK\x03\x04", 4) + "reste d'une mise à jour interrompue");
    WriteFile(s / ".b.zip.Zz99zz", "");
    WriteFile(s / ".notes.txt.AbCdEf", "un fichier de l'utilisateur");
    WriteFile(s / "a.zip~", "un autre fichier de l'utilisateur");
    WriteFile(s / ".c.zip.Busy01", std::string("PK\x05\x06", 4));
    // A work file being written by another run holds its lock.
    const int busy = open((s / ".c.zip.Busy01").c_str(), O_RDONLY);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(flock(busy, LOCK_EX), 0);
    WriteFile(s / "x.txt", "x");
    clsZip zip;
    ASSERT_EQ(zip.FileAdd(s / "x.txt"), 1);
    ASSERT_TRUE(zip.WriteZip(s / "x.zip", false));
    close(busy);
    EXPECT_EQ(FilesIn(s.path()),
              (std::vector<std::string>{".c.zip.Busy01", ".notes.txt.AbCdEf", "a.zip~", "x.txt", "x.zip"}));
}
