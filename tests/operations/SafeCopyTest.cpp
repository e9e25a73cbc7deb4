// Copies that never leave a damaged file: three generations, the information
// file, and the target folder untouched by a full medium, a missing folder or
// a rename that cannot be done.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <string>

#include "OperationsFakes.h"
#include "operations/SafeCopy.h"
#include "platform/Files.h"

namespace kuv::operations {
namespace {

using testing::Bytes;
using testing::FileSizeLimit;
using testing::FolderContents;
using testing::ReadFile;
using testing::WriteFile;

class SafeCopyTest : public ::testing::Test {
protected:
    SafeCopyTest() : machine("kuv-copy") {
        target = machine.root + "/cible";
        platform::CreateFolder(target);
        source = machine.root + "/kuvchier.zip";
    }
    CopyOutcome CopyGeneration(const std::string& bytes, const std::string& info) {
        WriteFile(source, bytes);
        return CopyKeepingGenerations(source, target, "kuvchier.zip", "Info_sv_appli.txt", info, [this] { ++chunks; });
    }
    std::string In(const std::string& name) const { return ReadFile(target + "/" + name); }

    backup::testing::ScratchMachine machine;
    std::string target, source;
    int chunks = 0;
};

TEST_F(SafeCopyTest, ThreeCopiesGiveThreeGenerationsAndTheLatestInformation) {
    const std::string one = Bytes(300000, 1), two = Bytes(5 << 20, 2), three = Bytes(1000, 3), four = Bytes(77, 4);
    ASSERT_TRUE(CopyGeneration(one, "info 1\r\n").Ok());
    EXPECT_EQ(FolderContents(target),
              (std::map<std::string, std::string>{{"Info_sv_appli.txt", "info 1\r\n"}, {"kuvchier.zip", one}}));
    EXPECT_GT(chunks, 0);

    ASSERT_TRUE(CopyGeneration(two, "info 2\r\n").Ok());
    EXPECT_EQ(FolderContents(target), (std::map<std::string, std::string>{{"Info_sv_appli.txt", "info 2\r\n"},
                                                                          {"kuvchier.zip", two},
                                                                          {"kuvchier.zip.sv1", one}}));
    ASSERT_TRUE(CopyGeneration(three, "info 3\r\n").Ok());
    ASSERT_TRUE(CopyGeneration(four, "info 4\r\n").Ok());
    // The oldest generation is dropped; nothing else is left in the folder.
    EXPECT_EQ(FolderContents(target), (std::map<std::string, std::string>{{"Info_sv_appli.txt", "info 4\r\n"},
                                                                          {"kuvchier.zip", four},
                                                                          {"kuvchier.zip.sv1", three},
                                                                          {"kuvchier.zip.sv2", two}}));
    // The copy is an ordinary file of the user, not a private temporary one.
    struct stat st {};
    ASSERT_EQ(stat((target + "/kuvchier.zip").c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
    // The source stays where the job wrote it.
    EXPECT_EQ(ReadFile(source), four);
}

TEST_F(SafeCopyTest, AnEmptyArchiveCopiesToo) {
    ASSERT_TRUE(CopyGeneration("", "i\r\n").Ok());
    EXPECT_TRUE(platform::IsRegularFile(target + "/kuvchier.zip"));
    EXPECT_EQ(In("kuvchier.zip"), "");
}

// A full medium: the copy fails part way; the generations already there, the
// information file and the folder's entries are exactly as before.
TEST_F(SafeCopyTest, FullMediumLeavesTheGenerationsAndNoTemporaryFile) {
    ASSERT_TRUE(CopyGeneration(Bytes(20000, 1), "info 1\r\n").Ok());
    ASSERT_TRUE(CopyGeneration(Bytes(20000, 2), "info 2\r\n").Ok());
    ASSERT_TRUE(CopyGeneration(Bytes(20000, 3), "info 3\r\n").Ok());
    const auto before = FolderContents(target);
    WriteFile(source, Bytes(400000, 9));
    CopyOutcome outcome;
    {
        FileSizeLimit full(100000);
        outcome = CopyKeepingGenerations(source, target, "kuvchier.zip", "Info_sv_appli.txt", "info 4\r\n");
    }
    EXPECT_EQ(outcome.failure, CopyFailure::WriteFailed);
    EXPECT_NE(outcome.error, 0);
    EXPECT_EQ(FolderContents(target), before);
}

TEST_F(SafeCopyTest, MissingFolderOrSourceChangesNothing) {
    WriteFile(source, "x");
    EXPECT_EQ(CopyKeepingGenerations(source, machine.root + "/absent", "k.zip", "i.txt", "i").failure,
              CopyFailure::FolderMissing);
    EXPECT_FALSE(platform::PathExists(machine.root + "/absent"));
    // A file where the folder should be is no folder.
    EXPECT_EQ(CopyKeepingGenerations(source, source, "k.zip", "i.txt", "i").failure, CopyFailure::FolderMissing);
    EXPECT_EQ(CopyKeepingGenerations(machine.root + "/nothing.zip", target, "k.zip", "i.txt", "i").failure,
              CopyFailure::SourceUnreadable);
    EXPECT_TRUE(FolderContents(target).empty());
}

// A rename that fails late (the information file's name is taken by a
// folder) puts back every generation already moved.
TEST_F(SafeCopyTest, LateRenameFailurePutsEveryGenerationBack) {
    WriteFile(target + "/kuvchier.zip", "newest");
    WriteFile(target + "/kuvchier.zip.sv1", "previous");
    WriteFile(target + "/kuvchier.zip.sv2", "oldest");
    platform::CreateFolder(target + "/Info_sv_appli.txt");
    WriteFile(target + "/Info_sv_appli.txt/inside", "x");
    const auto before = FolderContents(target);
    const CopyOutcome outcome = CopyGeneration("the new one", "info\r\n");
    EXPECT_EQ(outcome.failure, CopyFailure::RenameFailed);
    EXPECT_EQ(FolderContents(target), before);
    EXPECT_EQ(ReadFile(target + "/Info_sv_appli.txt/inside"), "x");
}

TEST(TemporaryNameTest, NeverTakenForABackupOrAnInformationFile) {
    backup::testing::ScratchMachine machine("kuv-tmpname");
    StagedFile staged;
    ASSERT_TRUE(staged.Create(machine.root).Ok());
    const std::string name = platform::FileNameOf(staged.Path());
    EXPECT_EQ(name.rfind(kTemporaryPrefix, 0), 0u);
    EXPECT_FALSE(platform::WildcardMatch("kuv*.zip", name));
    EXPECT_FALSE(platform::WildcardMatch("info_sv_*.*", name));
    const std::string path = staged.Path();
    staged.Discard();
    EXPECT_FALSE(platform::PathExists(path));
}

class ReplaceFileTest : public ::testing::Test {
protected:
    ReplaceFileTest() : machine("kuv-replace") {}
    backup::testing::ScratchMachine machine;
};

TEST_F(ReplaceFileTest, CopyKeepsModeAndModificationTime) {
    const std::string from = machine.root + "/outil.sh", to = machine.root + "/copie.sh";
    WriteFile(from, "#!/bin/sh\necho ok\n");
    chmod(from.c_str(), 0750);
    ASSERT_TRUE(platform::SetFileTimes(from, 1700000000, 1700000000));
    WriteFile(to, "old");
    chmod(to.c_str(), 0600);
    ASSERT_TRUE(ReplaceFile(from, to).Ok());
    EXPECT_EQ(ReadFile(to), "#!/bin/sh\necho ok\n");
    struct stat st {};
    ASSERT_EQ(stat(to.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    std::time_t mtime = 0;
    ASSERT_TRUE(platform::ModificationTime(to, mtime));
    EXPECT_EQ(mtime, 1700000000);
    for (const auto& entry : FolderContents(machine.root)) EXPECT_NE(entry.first.rfind(kTemporaryPrefix, 0), 0u);
}

TEST_F(ReplaceFileTest, FullMediumKeepsTheOldFileWhole) {
    const std::string from = machine.root + "/grosse.so", to = machine.work + "/grosse.so";
    WriteFile(from, Bytes(300000, 5));
    WriteFile(to, "ancienne version");
    CopyOutcome outcome;
    {
        FileSizeLimit full(65536);
        outcome = ReplaceFile(from, to);
    }
    EXPECT_EQ(outcome.failure, CopyFailure::WriteFailed);
    EXPECT_EQ(FolderContents(machine.work), (std::map<std::string, std::string>{{"grosse.so", "ancienne version"}}));
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

TEST(CheckWrittenFileTest, ReadBackMustGiveTheBytesCopied) {
    backup::testing::ScratchMachine machine("kuv-check");
    const std::string path = machine.root + "/copie";
    const std::string bytes = testing::Bytes(200000, 7);
    testing::WriteFile(path, bytes);
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    EXPECT_TRUE(CheckWrittenFile(path, bytes.size(), crc).Ok());
    EXPECT_EQ(CheckWrittenFile(path, bytes.size() + 1, crc).failure, CopyFailure::ReadBackMismatch);
    EXPECT_EQ(CheckWrittenFile(path, bytes.size(), crc ^ 1).failure, CopyFailure::ReadBackMismatch);
    std::string damaged = bytes;
    damaged[123456] ^= 0x40;  // one bit changed on the medium
    testing::WriteFile(path, damaged);
    EXPECT_EQ(CheckWrittenFile(path, bytes.size(), crc).failure, CopyFailure::ReadBackMismatch);
    EXPECT_EQ(CheckWrittenFile(machine.root + "/absent", 0, 0).failure, CopyFailure::WriteFailed);
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

// A target folder that cannot be written (a read-only mount: root writes
// through permission bits) fails before anything is made there.
TEST(ReadOnlyFolderTest, NotWritableChangesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    backup::testing::ScratchMachine machine("kuv-ro");
    const std::string folder = machine.root + "/ro";
    platform::CreateFolder(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "mounting is refused here";
    testing::WriteFile(folder + "/kuvchier.zip", "generation 1");
    const bool remounted = mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    CopyOutcome outcome;
    if (remounted) {
        testing::WriteFile(machine.root + "/new.zip", "new");
        outcome = CopyKeepingGenerations(machine.root + "/new.zip", folder, "kuvchier.zip", "Info_sv_x.txt", "i");
    }
    const auto after = testing::FolderContents(folder);
    umount2(folder.c_str(), MNT_DETACH);
    if (!remounted) GTEST_SKIP() << "remounting read-only is refused here";
    EXPECT_EQ(outcome.failure, CopyFailure::NotWritable);
    EXPECT_EQ(outcome.error, EROFS);
    EXPECT_EQ(after, (std::map<std::string, std::string>{{"kuvchier.zip", "generation 1"}}));
}

}  // namespace
}  // namespace kuv::operations

namespace kuv::operations {
namespace {

// The generations a target folder holds before a copy, and after it: no
// generation is lost when one in the middle is missing.
struct RotationCase {
    const char* name;
    const char* zip;  // nullptr: absent
    const char* sv1;
    const char* sv2;
    const char* afterSv1;
    const char* afterSv2;
};

class RotationTest : public ::testing::TestWithParam<RotationCase> {};

TEST_P(RotationTest, NoGenerationIsLost) {
    backup::testing::ScratchMachine machine("kuv-rotate");
    const std::string target = machine.root + "/cible";
    platform::CreateFolder(target);
    const RotationCase& c = GetParam();
    auto put = [&](const char* suffix, const char* bytes) {
        if (bytes) testing::WriteFile(target + "/kuvchier.zip" + suffix, bytes);
    };
    put("", c.zip);
    put(".sv1", c.sv1);
    put(".sv2", c.sv2);
    testing::WriteFile(machine.root + "/nouveau.zip", "new");
    ASSERT_TRUE(CopyKeepingGenerations(machine.root + "/nouveau.zip", target, "kuvchier.zip", "Info_sv_x.txt", "i\r\n")
                    .Ok());
    std::map<std::string, std::string> expected{{"Info_sv_x.txt", "i\r\n"}, {"kuvchier.zip", "new"}};
    if (c.afterSv1) expected["kuvchier.zip.sv1"] = c.afterSv1;
    if (c.afterSv2) expected["kuvchier.zip.sv2"] = c.afterSv2;
    EXPECT_EQ(testing::FolderContents(target), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Generations, RotationTest,
    ::testing::Values(RotationCase{"AllThree", "a", "b", "c", "a", "b"},
                      RotationCase{"NoSv1", "a", nullptr, "c", "a", "c"},
                      RotationCase{"OnlySv2", nullptr, nullptr, "c", nullptr, "c"},
                      RotationCase{"NoArchive", nullptr, "b", "c", "b", "c"},
                      RotationCase{"NoSv2", "a", "b", nullptr, "a", "b"},
                      RotationCase{"Empty", nullptr, nullptr, nullptr, nullptr, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kuv::operations

#include <fcntl.h>
#include <sys/file.h>

namespace kuv::operations {
namespace {

// What a copy finds in its target folder and removes: only its own work
// files that nobody holds.
struct LeftoverCase {
    const char* name;
    const char* file;
    bool locked;       // a copy under way holds it
    bool otherOwner;   // belongs to another user (root only)
    bool link;         // a symbolic link to a file of the user
    bool removed;
};

class LeftoverTest : public ::testing::TestWithParam<LeftoverCase> {};

TEST_P(LeftoverTest, OnlyOwnUnheldWorkFilesGo) {
    const LeftoverCase& c = GetParam();
    if (c.otherOwner && geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
    backup::testing::ScratchMachine machine("kuv-leftover");
    const std::string target = machine.root + "/cible";
    platform::CreateFolder(target);
    const std::string path = target + "/" + c.file;
    const std::string precious = machine.root + "/precieux.txt";
    testing::WriteFile(precious, "a user's file");
    if (c.link) {
        ASSERT_EQ(symlink(precious.c_str(), path.c_str()), 0);
    } else {
        testing::WriteFile(path, "half a copy");
    }
    if (c.otherOwner) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
    const int holder = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    if (c.locked) {
        ASSERT_EQ(flock(holder, LOCK_EX), 0);
    }

    testing::WriteFile(machine.root + "/k.zip", "new");
    ASSERT_TRUE(CopyKeepingGenerations(machine.root + "/k.zip", target, "kuvchier.zip", "Info_sv_x.txt", "i\r\n").Ok());
    close(holder);
    EXPECT_EQ(!platform::PathExists(path), c.removed);
    EXPECT_EQ(testing::ReadFile(precious), "a user's file");
    // Nothing of the copy itself is left behind.
    EXPECT_EQ(testing::FolderContents(target).size(), c.removed ? 2u : 3u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, LeftoverTest,
    ::testing::Values(LeftoverCase{"Crashed", ".kuvzip-copie-Ab12Cd", false, false, false, true},
                      LeftoverCase{"InUse", ".kuvzip-copie-Ab12Cd", true, false, false, false},
                      LeftoverCase{"OtherUsers", ".kuvzip-copie-Ab12Cd", false, true, false, false},
                      LeftoverCase{"Link", ".kuvzip-copie-Ab12Cd", false, false, true, false},
                      LeftoverCase{"LongerName", ".kuvzip-copie-Ab12Cd.zip", false, false, false, false},
                      LeftoverCase{"OtherPrefix", ".kuvzip-copi-Ab12Cde", false, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A copy under way holds its work file: a cleanup of the same folder (another
// program writing there) leaves it, and removes it once the copy is gone.
TEST(StagedFileTest, HeldWhileItLives) {
    backup::testing::ScratchMachine machine("kuv-held");
    std::string path;
    {
        StagedFile staged;
        ASSERT_TRUE(staged.Create(machine.root).Ok());
        path = staged.Path();
        EXPECT_EQ(RemoveLeftoverWorkFiles(machine.root), 0);
        EXPECT_TRUE(platform::PathExists(path));
        staged.Release();  // as if the program had crashed here
    }
    EXPECT_EQ(RemoveLeftoverWorkFiles(machine.root), 1);
    EXPECT_FALSE(platform::PathExists(path));
}

}  // namespace
}  // namespace kuv::operations
