// Temporary files opened with their associated program are deleted at the
// next logon: they live in the instance's private folder, and the user's one
// script destrucFic.sh (in the cache folder) removes them through its
// autostart entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

#include "ReaderTestSupport.h"
#include "platform/Files.h"
#include "zip/DeferredDeletion.h"

using namespace readertest;

namespace {

// Stand-ins for the desktop's xdg-mime and xdg-open, first on PATH, and the
// user's temporary, configuration and cache folders.
struct FakeDesktop {
    Scratch bin, tmp, config, cache;
    std::string oldPath;
    explicit FakeDesktop(bool knowsType) {
        WriteFile(bin / "xdg-mime", knowsType ? "#!/bin/sh\nif [ \"$2\" = filetype ]; then echo text/plain; "
                                                "else echo gedit.desktop; fi\n"
                                              : "#!/bin/sh\nexit 0\n");
        WriteFile(bin / "xdg-open", "#!/bin/sh\necho \"$1\" >> '" + bin / "opened" + "'\n");
        chmod((bin / "xdg-mime").c_str(), 0755);
        chmod((bin / "xdg-open").c_str(), 0755);
        oldPath = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (bin.path() + ":" + oldPath).c_str(), 1);
        setenv("TMPDIR", tmp.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    }
    ~FakeDesktop() {
        setenv("PATH", oldPath.c_str(), 1);
        unsetenv("TMPDIR");
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_CACHE_HOME");
    }
    std::string Script() const { return cache / "Kuv-Zip/destrucFic.sh"; }
    std::string Entry() const { return config / "autostart/DelFile_clsZip.desktop"; }
};

RawArchive Archive() {
    RawArchive a;
    a.members.push_back(Member("lettre d'Éric $HOME.txt", "bonjour"));
    a.members.back().flags = 0x0800;  // UTF-8 name
    a.members.push_back(Member("autre.txt", "autre"));
    // A member bearing the script's own name, with commands of its own.
    a.members.push_back(Member("destrucFic.sh", "#!/bin/sh\nrm -rf -- \"$HOME\"\n"));
    return a;
}

// Opens member n of archive with its program in a new instance, which then ends.
std::string OpenWithProgram(const std::string& archive, std::int32_t n) {
    clsZip zip;
    EXPECT_TRUE(zip.ZipOpen(archive));
    const std::string path = zip.ExtractSgFileToTmp(n);
    EXPECT_FALSE(path.empty());
    zip.LoadZippedFile(path);
    return path;
}

// The lines the fake opener wrote, sorted, once it has written `count` of
// them or after ten seconds: the opener is started detached, so its line
// may come after the engine's call returned, and two of them in any order.
std::vector<std::string> OpenedLines(const std::string& file, std::size_t count) {
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        lines.clear();
        std::istringstream in(ReadFile(file));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        if (lines.size() >= count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

TEST(ReaderDeferredDeletion, TwoInstancesShareOneScriptThatDeletesEverything) {
    FakeDesktop desk(true);
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    const std::string first = OpenWithProgram(s / "a.zip", 1);
    const std::string second = OpenWithProgram(s / "a.zip", 2);
    {
        clsZip unused;  // opened nothing: writes nothing
    }
    const std::string firstFolder = kuv::platform::FolderOf(first);
    const std::string secondFolder = kuv::platform::FolderOf(second);
    EXPECT_EQ(first, firstFolder + "/lettre d'Éric $HOME.txt");
    EXPECT_NE(firstFolder, secondFolder);
    EXPECT_EQ(kuv::platform::FolderOf(firstFolder), desk.tmp.path());
    const Bytes text = ReadFile(desk.Script());
    EXPECT_EQ(text, "#!/bin/sh\n"
                    "rm -f -- '" + firstFolder + "/lettre d'\\''Éric $HOME.txt'\n"
                    "rm -f -- '" + second + "'\n"
                    "rmdir -- '" + firstFolder + "'\n"
                    "rmdir -- '" + secondFolder + "'\n"
                    "rm -f -- '" + desk.Entry() + "' '" + desk.Script() + "'\n");
    struct stat st {};
    ASSERT_EQ(lstat((desk.cache / "Kuv-Zip").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const Bytes desktop = ReadFile(desk.Entry());
    EXPECT_NE(desktop.find("Exec=sh \"" + desk.Script() + "\"\n"), std::string::npos) << desktop;
    std::vector<std::string> opened{first, second};
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(OpenedLines(desk.bin / "opened", 2), opened);

    // What the logon does.
    ASSERT_EQ(std::system(("sh '" + desk.Script() + "'").c_str()), 0);
    for (const std::string& gone : {first, second, firstFolder, secondFolder, desk.Script(), desk.Entry()})
        EXPECT_FALSE(Exists(gone)) << gone;
}

TEST(ReaderDeferredDeletion, AMemberNamedLikeTheScriptCannotPlantCommands) {
    FakeDesktop desk(true);
    // A script some other program left in the shared temporary folder.
    WriteFile(desk.tmp / "destrucFic.sh", "#!/bin/sh\necho autre\n");
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    const std::string planted = OpenWithProgram(s / "a.zip", 3);
    EXPECT_NE(planted, desk.tmp / "destrucFic.sh");
    EXPECT_TRUE(kuv::zip::IsInPrivateFolder(planted)) << planted;
    EXPECT_EQ(ReadFile(desk.tmp / "destrucFic.sh"), "#!/bin/sh\necho autre\n");
    const Bytes text = ReadFile(desk.Script());
    EXPECT_EQ(text.find("$HOME"), std::string::npos) << text;
    EXPECT_NE(text.find("rm -f -- '" + planted + "'\n"), std::string::npos) << text;
}

TEST(ReaderDeferredDeletion, NoAssociatedProgramLeavesNothingBehind) {
    FakeDesktop desk(false);
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    std::string path;
    {
        clsZip zip;
        Recorder rec(zip);
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        path = zip.ExtractSgFileToTmp(2);
        EXPECT_FALSE(zip.LoadZippedFile(path));
        EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{18});
        EXPECT_EQ(rec.errors[0].second,
                  "Il n'y a pas d'exécutable attaché à ce type de fichier dans le système d'exploitation !");
        EXPECT_TRUE(Exists(path));
    }
    // Taken out but never opened: removed with its folder when the instance ends.
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(kuv::platform::FolderOf(path)));
    EXPECT_FALSE(Exists(desk.Script()));
    EXPECT_FALSE(Exists(desk.config / "autostart"));
}

TEST(ReaderDeferredDeletion, OnlyPathsInsideThePrivateFoldersAreEverScheduled) {
    FakeDesktop desk(true);
    Scratch s;
    WriteFile(s / "mine.txt", "à garder");
    {
        clsZip zip;
        zip.LoadZippedFile(s / "mine.txt");  // opened, but not the engine's
    }
    EXPECT_FALSE(Exists(desk.Script()));
    EXPECT_EQ(ReadFile(s / "mine.txt"), "à garder");

    // A script of this user holding other lines keeps only those the engine may write.
    const std::string privateFolder = desk.tmp / "Kuv-Zip-AbC123";
    ASSERT_TRUE(kuv::platform::CreateFolderPath(desk.cache / "Kuv-Zip"));
    WriteFile(desk.Script(), "#!/bin/sh\n"
                             "rm -rf -- \"$HOME\"\n"
                             "rm -f -- '" + s / "mine.txt" + "'\n"
                             "rm -f -- '" + privateFolder + "/vieux.txt'\n"
                             "rm -f -- '" + privateFolder + "/../../x'\n"
                             "rm -f -- '" + privateFolder + "/a' 'b'\n"
                             "rm -f -- 'fin' 'du script'\n");
    EXPECT_TRUE(kuv::zip::ScheduleDeletion({privateFolder + "/neuf.txt", s / "mine.txt"}, {privateFolder}));
    EXPECT_EQ(ReadFile(desk.Script()), "#!/bin/sh\n"
                                       "rm -f -- '" + privateFolder + "/vieux.txt'\n"
                                       "rm -f -- '" + privateFolder + "/neuf.txt'\n"
                                       "rmdir -- '" + privateFolder + "'\n"
                                       "rm -f -- '" + desk.Entry() + "' '" + desk.Script() + "'\n");
}

TEST(ReaderDeferredDeletion, AScriptThatIsNotTheUsersRegularFileIsNeverTouched) {
    FakeDesktop desk(true);
    const std::string privateFolder = desk.tmp / "Kuv-Zip-AbC123";
    ASSERT_TRUE(kuv::platform::CreateFolderPath(desk.cache / "Kuv-Zip"));
    // A link in its place: neither followed nor replaced.
    WriteFile(desk.tmp / "target", "cible");
    ASSERT_EQ(symlink((desk.tmp / "target").c_str(), desk.Script().c_str()), 0);
    EXPECT_FALSE(kuv::zip::ScheduleDeletion({privateFolder + "/a.txt"}));
    EXPECT_EQ(ReadFile(desk.tmp / "target"), "cible");
    char buf[512];
    const ssize_t n = readlink(desk.Script().c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), desk.tmp / "target");
    unlink(desk.Script().c_str());

    if (geteuid() == 0) {
        // Another user's file.
        WriteFile(desk.Script(), "#!/bin/sh\necho autre\n");
        ASSERT_EQ(chown(desk.Script().c_str(), 65534, 65534), 0);
        EXPECT_FALSE(kuv::zip::ScheduleDeletion({privateFolder + "/a.txt"}));
        EXPECT_EQ(ReadFile(desk.Script()), "#!/bin/sh\necho autre\n");
    }
}

struct LineCase {
    const char* line;
    bool parses;
    const char* path;
    bool folder;
};

class DeletionLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(DeletionLineTest, ParsesOnlyTheLinesTheEngineWrites) {
    const LineCase& c = GetParam();
    std::string path;
    bool folder = false;
    EXPECT_EQ(kuv::zip::ParseDeletionLine(c.line, path, folder), c.parses) << c.line;
    if (c.parses) {
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ((folder ? "rmdir -- " : "rm -f -- ") + kuv::zip::ShellQuote(path), c.line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DeletionLineTest,
    ::testing::Values(LineCase{"rm -f -- '/tmp/Kuv-Zip-aaaaaa/a b.txt'", true, "/tmp/Kuv-Zip-aaaaaa/a b.txt", false},
                      LineCase{"rm -f -- '/tmp/a b'\\''c'", true, "/tmp/a b'c", false},
                      LineCase{"rmdir -- '/tmp/Kuv-Zip-aaaaaa'", true, "/tmp/Kuv-Zip-aaaaaa", true},
                      LineCase{"rm -f -- '/a' '/b'", false, "", false},
                      LineCase{"rm -f -- /a", false, "", false},
                      LineCase{"rm -rf -- '/a'", false, "", false},
                      LineCase{"rm -f -- '/a", false, "", false},
                      LineCase{"rm -f -- '/a'; rm -rf ~", false, "", false}));

TEST(ReaderDeferredDeletion, PrivateFolderNamesAndQuoting) {
    EXPECT_TRUE(kuv::zip::IsPrivateFolder("/tmp/Kuv-Zip-a1B2c3"));
    EXPECT_FALSE(kuv::zip::IsPrivateFolder("/tmp/Kuv-Zip-a1B2c"));
    EXPECT_FALSE(kuv::zip::IsPrivateFolder("Kuv-Zip-a1B2c3"));
    EXPECT_FALSE(kuv::zip::IsPrivateFolder("/tmp/../home/Kuv-Zip-a1B2c3/.."));
    EXPECT_TRUE(kuv::zip::IsInPrivateFolder("/tmp/Kuv-Zip-a1B2c3/note.txt"));
    EXPECT_FALSE(kuv::zip::IsInPrivateFolder("/tmp/Kuv-Zip-a1B2c3/sous/note.txt"));
    EXPECT_FALSE(kuv::zip::IsInPrivateFolder("/tmp/Kuv-Zip-a1B2c3/.."));
    EXPECT_EQ(kuv::zip::DesktopExecArgument("/tmp/50% \"x\" $y\\z"), "\"/tmp/50%% \\\\\"x\\\\\" \\\\$y\\\\\\\\z\"");
    const char* oldHome = getenv("HOME");
    const std::string home = oldHome ? oldHome : "";
    setenv("XDG_CONFIG_HOME", "relative/not/used", 1);
    setenv("XDG_CACHE_HOME", "relative/not/used", 1);
    setenv("HOME", "/home/jean", 1);
    EXPECT_EQ(kuv::zip::AutostartFolder(), "/home/jean/.config/autostart");
    EXPECT_EQ(kuv::zip::DeletionScriptFolder(), "/home/jean/.cache/Kuv-Zip");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_CACHE_HOME");
    setenv("HOME", home.c_str(), 1);
}
