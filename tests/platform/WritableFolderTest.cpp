// Whether the user may create files in a folder: what decides where the
// program writes the files of its program folder (the program folder itself,
// or the working directory for an installed program).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/FolderTree.h"

using namespace kuv::platform;

namespace {

class WritableFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kuvzip-writable-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        ASSERT_EQ(chmod(root.c_str(), 0755), 0);
        program = root + "/prog";
        work = root + "/work";
        ASSERT_TRUE(CreateFolder(program));
        ASSERT_TRUE(CreateFolder(work));
    }
    void TearDown() override {
        chmod(program.c_str(), 0755);
        ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0);
    }
    std::string root, program, work;
};

TEST_F(WritableFolderTest, FolderOfTheUserIsWritable) { EXPECT_TRUE(IsWritableFolder(program)); }

TEST_F(WritableFolderTest, MissingFolderEmptyPathAndFileAreNot) {
    EXPECT_FALSE(IsWritableFolder(root + "/absent"));
    EXPECT_FALSE(IsWritableFolder(""));
    // A file is not a folder to write into.
    const std::string file = root + "/fichier";
    ASSERT_TRUE(WriteWholeFile(file, "x"));
    EXPECT_FALSE(IsWritableFolder(file));
}

// An installed program's folder belongs to root: a user cannot create files
// there, so the working directory stands for it.
TEST_F(WritableFolderTest, ReadOnlyFolderIsNotWritable) {
    ASSERT_EQ(chmod(program.c_str(), 0555), 0);
    if (geteuid() != 0) {
        EXPECT_FALSE(IsWritableFolder(program));
        return;
    }
    // Root may write anywhere: the question is asked as an ordinary user.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(IsWritableFolder(program) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
