// Temporary files opened with their associated program are deleted at the
// next logon: the script destrucFic.sh and its autostart entry.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ReaderTestSupport.h"
#include "zip/DeferredDeletion.h"

using namespace readertest;

namespace {

// Stand-ins for the desktop's xdg-mime and xdg-open, first on PATH.
struct FakeDesktop {
    Scratch bin, tmp, config;
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
    }
    ~FakeDesktop() {
        setenv("PATH", oldPath.c_str(), 1);
        unsetenv("TMPDIR");
        unsetenv("XDG_CONFIG_HOME");
    }
};

RawArchive Archive() {
    RawArchive a;
    a.members.push_back(Member("lettre d'Éric $HOME.txt", "bonjour"));
    a.members.back().flags = 0x0800;  // UTF-8 name
    a.members.push_back(Member("autre.txt", "autre"));
    return a;
}

}  // namespace

TEST(ReaderDeferredDeletion, TwoInstancesShareOneScriptThatDeletesEverything) {
    FakeDesktop desk(true);
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    std::string first, second;
    {
        clsZip zip;
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        first = zip.ExtractSgFileToTmp(1);
        ASSERT_EQ(first, desk.tmp / "lettre d'Éric $HOME.txt");
        EXPECT_FALSE(zip.LoadZippedFile(first));
    }
    {
        clsZip zip;
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        second = zip.ExtractSgFileToTmp(2);
        zip.LoadZippedFile(second);
    }
    {
        clsZip unused;  // opened nothing: writes nothing
    }
    const std::string script = desk.tmp / "destrucFic.sh";
    const std::string entry = desk.config / "autostart/DelFile_clsZip.desktop";
    const Bytes text = ReadFile(script);
    EXPECT_EQ(text, "#!/bin/sh\n"
                    "rm -f -- '" + desk.tmp.path() + "/lettre d'\\''Éric $HOME.txt'\n"
                    "rm -f -- '" + second + "'\n"
                    "rm -f -- '" + entry + "' '" + script + "'\n");
    const Bytes desktop = ReadFile(entry);
    EXPECT_NE(desktop.find("Exec=sh \"" + script + "\"\n"), std::string::npos) << desktop;
    EXPECT_EQ(ReadFile(desk.bin / "opened"), first + "\n" + second + "\n");

    // What the logon does.
    ASSERT_EQ(std::system(("sh '" + script + "'").c_str()), 0);
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
    EXPECT_FALSE(Exists(script));
    EXPECT_FALSE(Exists(entry));
}

TEST(ReaderDeferredDeletion, NoAssociatedProgram) {
    FakeDesktop desk(false);
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    {
        clsZip zip;
        Recorder rec(zip);
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        const std::string path = zip.ExtractSgFileToTmp(2);
        EXPECT_FALSE(zip.LoadZippedFile(path));
        EXPECT_EQ(rec.ErrorNumbers(), std::vector<int>{18});
        EXPECT_EQ(rec.errors[0].second,
                  "Il n'y a pas d'exécutable attaché à ce type de fichier dans le système d'exploitation !");
    }
    EXPECT_FALSE(Exists(desk.tmp / "destrucFic.sh"));
    EXPECT_FALSE(Exists(desk.config / "autostart"));
}

TEST(ReaderDeferredDeletion, QuotingOfOddPaths) {
    EXPECT_EQ(kuv::zip::ShellQuote("/tmp/a b'c"), "'/tmp/a b'\\''c'");
    EXPECT_EQ(kuv::zip::DesktopExecArgument("/tmp/50% \"x\" $y\\z"), "\"/tmp/50%% \\\\\"x\\\\\" \\\\$y\\\\\\\\z\"");
    setenv("XDG_CONFIG_HOME", "relative/not/used", 1);
    setenv("HOME", "/home/jean", 1);
    EXPECT_EQ(kuv::zip::AutostartFolder(), "/home/jean/.config/autostart");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(ReaderDeferredDeletion, AScriptLeftBySomeoneElseIsNotExtended) {
    if (geteuid() != 0) GTEST_SKIP() << "needs to give a file to another user";
    FakeDesktop desk(true);
    const std::string script = desk.tmp / "destrucFic.sh";
    WriteFile(script, "#!/bin/sh\nrm -rf -- \"$HOME\"\nrm -f -- x\n");
    ASSERT_EQ(chown(script.c_str(), 65534, 65534), 0);
    Scratch s;
    WriteFile(s / "a.zip", Archive().Build());
    std::string opened;
    {
        clsZip zip;
        ASSERT_TRUE(zip.ZipOpen(s / "a.zip"));
        opened = zip.ExtractSgFileToTmp(2);
        zip.LoadZippedFile(opened);
    }
    const Bytes text = ReadFile(script);
    EXPECT_EQ(text.find("$HOME"), std::string::npos) << text;
    EXPECT_NE(text.find("rm -f -- '" + opened + "'\n"), std::string::npos) << text;
}
