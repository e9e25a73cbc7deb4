// kuvzip-cli create when the medium or the files refuse: a full medium in a
// private mount namespace, and files the user may not read.
#include <gtest/gtest.h>
#include <unistd.h>

#include "WriterTestSupport.h"

using namespace writertest;

namespace {

const std::string kCli = std::string(KUVZIP_BIN_DIR) + "/kuvzip-cli";

class CreateFailureTest : public ScratchTest {};

}  // namespace

TEST_F(CreateFailureTest, FullMediumKeepsThePreviousArchiveAndLeavesNoPartialFile) {
    if (!HaveProgram("unshare") || RunShell("unshare -m true").status != 0)
        GTEST_SKIP() << "no private mount namespace here";
    RunShell("mkdir -p " + Quote(P("data")) + " " + Quote(P("medium")) + " && head -c 300000 /dev/urandom > " +
             Quote(P("data/big.bin")) + " && echo small > " + Quote(P("data/small.txt")));
    for (const std::string mode : {"", "--stream "}) {
        // Inside the namespace: a 200 KiB medium holding an earlier archive,
        // then a backup that does not fit on it.
        const std::string medium = Quote(P("medium"));
        const std::string script =
            "mount -t tmpfs -o size=200k tmpfs " + medium + " || { echo NOMOUNT; exit 0; }\n"
            "cd " + Quote(dir) + "\n" +
            Quote(kCli) + " create " + mode + "medium/save.zip data/small.txt || exit 9\n"
            "md5sum < medium/save.zip > before.md5\n" +
            Quote(kCli) + " create " + mode + "--overwrite medium/save.zip 'data/*.*' 2> err.txt\n"
            "echo status=$?\n"
            "md5sum < medium/save.zip > after.md5\n"
            "ls -A medium\n"
            "unzip -Z1 medium/save.zip\n";
        WriteFile(P("run.sh"), script);
        const CommandResult r = RunShell("unshare -m sh " + Quote(P("run.sh")));
        if (r.out.find("NOMOUNT") != std::string::npos) GTEST_SKIP() << "mounting a tmpfs is refused here";
        EXPECT_EQ(r.out, "status=1\nsave.zip\nsmall.txt\n") << mode << r.err;
        EXPECT_EQ(Slurp(P("err.txt")), "WriteFailed: Clé pleine ou absente !\n") << mode;
        EXPECT_EQ(Slurp(P("before.md5")), Slurp(P("after.md5"))) << mode;
    }
}

TEST_F(CreateFailureTest, UnreadableFileIsASharingViolation) {
    if (getuid() != 0 || !HaveProgram("setpriv")) GTEST_SKIP() << "needs root and setpriv to act as another user";
    RunShell("chmod 755 " + Quote(dir) + " && mkdir -m 777 " + Quote(P("out")));
    Make("data/open.txt", "readable");
    Make("data/secret.txt", "not for you");
    RunShell("chmod 755 " + Quote(P("data")) + " && chmod 644 " + Quote(P("data/open.txt")) + " && chmod 000 " +
             Quote(P("data/secret.txt")));
    // The tool must be reachable by the unprivileged user: a copy of it.
    RunShell("cp " + Quote(kCli) + " " + Quote(P("out/kuvzip-cli")));
    for (const std::string mode : {"", "--stream "}) {
        const std::string archive = P("out/s" + std::to_string(mode.size()) + ".zip");
        const CommandResult r =
            RunShell("setpriv --reuid=65534 --regid=65534 --clear-groups " + Quote(P("out/kuvzip-cli")) +
                     " create " + mode + Quote(archive) + " " + Quote(P("data/*.*")));
        if (r.err.find("setpriv:") != std::string::npos) GTEST_SKIP() << r.err;
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, "FileZipErr 70: Violation de Partage, le fichier a été exclus du traitement [" +
                             P("data/secret.txt") + "]\n");
        EXPECT_EQ(RunShell("unzip -Z1 " + Quote(archive)).out, "open.txt\n");
    }
}
