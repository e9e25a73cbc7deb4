// In-place add: the member a new file replaces (or refuses to replace) is
// the one that bears the name the new member will be stored under.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "ReaderTestSupport.h"

using namespace readertest;

namespace {

std::vector<std::string> Names(const std::string& archive) {
    clsZip zip;
    std::vector<std::string> out;
    if (!zip.ZipOpen(archive)) return out;
    for (std::int32_t n = 1; n <= zip.inFileCount(); ++n) out.push_back(zip.inFileName(n));
    return out;
}

// Runs in folder as the current folder, and goes back afterwards.
class InFolder {
public:
    explicit InFolder(const std::string& folder) {
        char buf[PATH_MAX];
        old_ = getcwd(buf, sizeof buf) ? buf : "/";
        ok_ = chdir(folder.c_str()) == 0;
    }
    ~InFolder() {
        if (chdir(old_.c_str()) != 0) std::abort();
    }
    bool ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

RawArchive WithSubFolderMember() {
    RawArchive a;
    a.members.push_back(Member("a.txt", "aaaa"));
    a.members.push_back(Member("dossier\\b.txt", "l'ancien b"));
    a.comment = "Sauvegarde";
    return a;
}

}  // namespace

// An archive holding "a.txt" and "dossier\b.txt", a source folder (the
// current folder) holding dossier/b.txt, and an engine.
class ReviewUpdate : public ::testing::Test {
protected:
    Scratch s, src;
    std::string path = s / "a.zip";
    bool made = [this] {
        WriteFile(path, WithSubFolderMember().Build());
        const bool ok = mkdir((src / "dossier").c_str(), 0755) == 0;
        WriteFile(src / "dossier/b.txt", "le nouveau b");
        return ok;
    }();
    InFolder cwd{src.path()};
    clsZip zip;
    Recorder rec{zip};
};

TEST_F(ReviewUpdate, RelativeModeMatchesTheStoredRelativeName) {
    ASSERT_TRUE(made && cwd.ok());
    std::int32_t mode = 2;  // stored as "dossier\b.txt", relative to the current folder

    // The member is there and OverWrite is False: nothing changes.
    const Bytes before = ReadFile(path);
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "dossier/b.txt", mode, false, false));
    EXPECT_EQ(ReadFile(path), before);

    // OverWrite True: the old member goes, the new one comes last, once.
    ASSERT_TRUE(zip.FileAddIntoZip(path, src / "dossier/b.txt", mode, false, true));
    EXPECT_EQ(Names(path), (std::vector<std::string>{"a.txt", "dossier\\b.txt"}));
    Scratch out;
    clsZip reader;
    ASSERT_TRUE(reader.ZipOpen(path));
    ASSERT_TRUE(reader.ExtractAllFiles(out.path(), true, false, false));
    EXPECT_EQ(ReadFile(out / "dossier/b.txt"), "le nouveau b");
}

TEST_F(ReviewUpdate, FullPathModeLeavesAMemberOfAnotherNameInPlace) {
    ASSERT_TRUE(made && cwd.ok());
    std::int32_t mode = 1;  // stored under its full path, not as "dossier\b.txt"

    ASSERT_TRUE(zip.FileAddIntoZip(path, "dossier/b.txt", mode, false, true));
    std::string full = src / "dossier/b.txt";
    for (char& c : full)
        if (c == '/') c = '\\';
    EXPECT_EQ(Names(path), (std::vector<std::string>{"a.txt", "dossier\\b.txt", full}));

    // Any PathChoice other than 1 and 2 stores the file name only.
    WriteFile(src / "a.txt", "le nouveau a");
    std::int32_t other = 7;
    const Bytes before = ReadFile(path);
    EXPECT_FALSE(zip.FileAddIntoZip(path, src / "a.txt", other, false, false));
    EXPECT_EQ(ReadFile(path), before);
}

// An archive reached through a symbolic link: the file it leads to is
// updated, and the link stays a link (as when an archive is written).
TEST_F(ReviewUpdate, ArchiveThroughALinkUpdatesTheFileItLeadsTo) {
    ASSERT_TRUE(made && cwd.ok());
    const std::string link = s / "lien.zip";
    ASSERT_EQ(symlink("a.zip", link.c_str()), 0);
    std::int32_t mode = 0;
    ASSERT_TRUE(zip.FileAddIntoZip(link, src / "dossier/b.txt", mode, false, false));
    struct stat st {};
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Names(path), (std::vector<std::string>{"a.txt", "dossier\\b.txt", "b.txt"}));

    ASSERT_TRUE(zip.FileRemoveFromZip(link, "a.txt"));
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Names(path), (std::vector<std::string>{"dossier\\b.txt", "b.txt"}));
    EXPECT_FALSE(Exists(link + "~"));
    EXPECT_FALSE(Exists(path + "~"));
}
