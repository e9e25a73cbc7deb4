// The platform's file services the engine stands on: wildcard matching,
// folder listings in a Windows disk's order, full paths, positional I/O.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/Files.h"
#include "platform/Text.h"

#include "ScratchFolder.h"

using namespace kuv::platform;

namespace {

class FilesListingTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = scratch.path();
        ASSERT_FALSE(dir.empty());
    }
    kuvtest::ScratchFolder scratch{"kuvzip-platform-test"};
    void Touch(const std::string& name) { std::ofstream(JoinPath(dir, name)) << "x"; }
    std::vector<std::string> Names(const std::string& pattern) {
        std::vector<std::string> n;
        for (const FolderEntry& e : ListFolder(dir, pattern)) n.push_back(e.name);
        return n;
    }
    std::string dir;
};

using NameList = std::vector<std::string>;

}  // namespace

TEST(WildcardTest, WindowsRules) {
    EXPECT_TRUE(WildcardMatch("*.*", "noext"));
    EXPECT_TRUE(WildcardMatch("*.*", ".hidden"));
    EXPECT_TRUE(WildcardMatch("*.TXT", "rapport.txt"));
    EXPECT_TRUE(WildcardMatch("r?pport.txt", "RAPPORT.TXT"));
    EXPECT_TRUE(WildcardMatch("*é*", "DÉJÀ"));  // accented letters without regard to case
    EXPECT_FALSE(WildcardMatch("*.txt", "a.txt.bak"));
    EXPECT_FALSE(WildcardMatch("?.txt", "ab.txt"));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYbZc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXXbYY"));
    EXPECT_TRUE(HasWildcard("/x/*.txt"));
    EXPECT_FALSE(HasWildcard("/x/a.txt"));
}

TEST_F(FilesListingTest, ListingOrderAndKinds) {
    Touch("b.txt");
    Touch("A.TXT");
    Touch("a.doc");
    Touch("Éte.txt");
    Touch("zz");
    ASSERT_EQ(mkdir(JoinPath(dir, "Sub").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(JoinPath(dir, "pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink(JoinPath(dir, "Sub").c_str(), JoinPath(dir, "linkdir").c_str()), 0);
    ASSERT_EQ(symlink("/nonexistent", JoinPath(dir, "dangling").c_str()), 0);
    EXPECT_EQ(Names("*.txt"), (NameList {"A.TXT", "b.txt", "Éte.txt"}));
    bool ok = false;
    const auto all = ListFolder(dir, "*.*", &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all[0].name, "a.doc");
    for (const FolderEntry& e : all) {
        if (e.name == "Sub") {
            EXPECT_EQ(e.kind, EntryKind::Folder);
        }
        if (e.name == "pipe" || e.name == "dangling") {
            EXPECT_EQ(e.kind, EntryKind::Other);
        }
        if (e.name == "linkdir") {
            EXPECT_EQ(e.kind, EntryKind::Folder);
            EXPECT_TRUE(e.isLink);
        }
    }
    ListFolder(JoinPath(dir, "missing"), "*.*", &ok);
    EXPECT_FALSE(ok);
}

// A folder that can be read but not searched (no execute right, as after a
// "chmod -R 644"): its names are listed with the kinds the folder records,
// so that a backup reports its files as left out instead of missing them
// without a word. Root searches every folder: the listing runs as "nobody".
TEST_F(FilesListingTest, FolderWithoutSearchRightStillListsItsEntries) {
    const std::string closed = JoinPath(dir, "ferme");
    ASSERT_EQ(mkdir(closed.c_str(), 0755), 0);
    std::ofstream(JoinPath(closed, "a.txt")) << "x";
    ASSERT_EQ(mkdir(JoinPath(closed, "sous").c_str(), 0755), 0);
    ASSERT_EQ(chmod(closed.c_str(), 0644), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        bool ok = false;
        const auto entries = ListFolder(closed, "*.*", &ok);
        const bool right = ok && entries.size() == 2 && entries[0].name == "a.txt" &&
                           entries[0].kind == EntryKind::Regular && entries[1].name == "sous" &&
                           entries[1].kind == EntryKind::Folder;
        _exit(right ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    chmod(closed.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PathsTest, FullPathAndJoin) {
    EXPECT_EQ(FullPath("/a/./b//c/../d"), "/a/b/d");
    EXPECT_EQ(FullPath("/a/b/"), "/a/b/");
    EXPECT_EQ(FullPath("/../x"), "/x");
    EXPECT_EQ(FullPath("x/*.txt"), JoinPath(CurrentFolder(), "x/*.txt"));
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(FileNameOf("/a/b.txt"), "b.txt");
    EXPECT_EQ(FolderOf("/a/b.txt"), "/a");
    EXPECT_TRUE(StartsWithNoCase("/HOME/Jean/a.txt", "/home/jean/"));
    EXPECT_FALSE(StartsWithNoCase("/home", "/home/jean/"));
}

TEST_F(FilesListingTest, PositionalIoAndErrorNumbers) {
    const std::string path = JoinPath(dir, "io.bin");
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(WriteAllAt(fd, "world", 5, 6));
    EXPECT_TRUE(WriteAllAt(fd, "hello ", 6, 0));
    char buf[11] = {};
    EXPECT_TRUE(ReadAllAt(fd, buf, 11, 0));
    EXPECT_EQ(std::string(buf, 11), "hello world");
    EXPECT_FALSE(ReadAllAt(fd, buf, 5, 8));  // past the end
    close(fd);
    EXPECT_EQ(ErrorNumberFromErrno(EACCES), 70);
    EXPECT_EQ(ErrorNumberFromErrno(EBUSY), 70);
    EXPECT_EQ(ErrorNumberFromErrno(ENOENT), 53);
    EXPECT_EQ(ErrorNumberFromErrno(EIO), 75);
}

TEST_F(FilesListingTest, WholeFileWriteLeavesNoTemporaryFile) {
    const std::string path = JoinPath(dir, "t.txt");
    EXPECT_TRUE(WriteWholeFile(path, "one"));
    EXPECT_TRUE(WriteWholeFile(path, "two"));
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, "two");
    bool ok = false;
    EXPECT_EQ(ListFolder(dir, "*.*", &ok).size(), 1u);
    EXPECT_FALSE(WriteWholeFile(JoinPath(dir, "no/such/t.txt"), "x"));
}

TEST(MemoryTest, FreePhysicalMemoryComesFromMemAvailable) {
    std::ifstream in("/proc/meminfo");
    std::string line;
    unsigned long long kb = 0;
    while (std::getline(in, line))
        if (line.rfind("MemAvailable:", 0) == 0) kb = std::strtoull(line.c_str() + 13, nullptr, 10);
    if (kb == 0) GTEST_SKIP() << "no MemAvailable here";
    const double got = static_cast<double>(FreePhysicalMemory());
    EXPECT_NEAR(got, kb * 1024.0, 512.0 * 1024 * 1024);  // it moves while the test runs
}
