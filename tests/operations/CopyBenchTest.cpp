// Speed of a copy to a cloud or exchange folder, read-back included, against
// cp followed by sync on the same archive and the same disk. Runs only when
// KUVZIP_BENCH_ARCHIVE names an archive (and KUVZIP_BENCH_TARGET, optionally,
// a folder on the disk to copy to; default: beside the archive), for example:
//   KUVZIP_BENCH_ARCHIVE=/tmp/kuvzip-bench/out/kuvzip.zip
//   build/bin/test_operations --gtest_filter='CopyBench*'
// The copy must take at most 2.2 times what cp + sync takes (best of three).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "operations/SafeCopy.h"
#include "platform/Files.h"

namespace {

std::string Quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TEST(CopyBenchTest, CopyWithReadBackKeepsUpWithCpAndSync) {
    const char* archiveEnv = std::getenv("KUVZIP_BENCH_ARCHIVE");
    if (archiveEnv == nullptr || *archiveEnv == '\0') GTEST_SKIP() << "KUVZIP_BENCH_ARCHIVE not set";
    const std::string archive = archiveEnv;
    std::uint64_t size = 0;
    ASSERT_TRUE(kuv::platform::FileSize(archive, size)) << archive;
    const char* targetEnv = std::getenv("KUVZIP_BENCH_TARGET");
    const std::string base = targetEnv && *targetEnv ? std::string(targetEnv) : kuv::platform::FolderOf(archive);
    const std::string cpFolder = base + "/copie-cp", kuvFolder = base + "/copie-kuvzip";
    ASSERT_EQ(std::system(("rm -rf " + Quote(cpFolder) + " " + Quote(kuvFolder) + " && mkdir -p " + Quote(cpFolder) +
                           " " + Quote(kuvFolder))
                              .c_str()),
              0);

    double cpBest = 1e9, kuvBest = 1e9;
    for (int round = 0; round < 3; ++round) {
        // Both start with the archive in the cache, as after the job's own read-back.
        ASSERT_EQ(std::system(("cat " + Quote(archive) + " > /dev/null && sync").c_str()), 0);
        auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(std::system(("cp " + Quote(archive) + " " + Quote(cpFolder + "/kuvchier.zip") + " && sync").c_str()),
                  0);
        cpBest = std::min(cpBest, Seconds(std::chrono::steady_clock::now() - start));

        ASSERT_EQ(std::system(("cat " + Quote(archive) + " > /dev/null && sync").c_str()), 0);
        start = std::chrono::steady_clock::now();
        const kuv::operations::CopyOutcome outcome = kuv::operations::CopyKeepingGenerations(
            archive, kuvFolder, "kuvchier.zip", "Info_sv_bench.txt", "Sauvegarde du : bench\r\n");
        kuvBest = std::min(kuvBest, Seconds(std::chrono::steady_clock::now() - start));
        ASSERT_TRUE(outcome.Ok()) << static_cast<int>(outcome.failure) << " errno " << outcome.error;
    }
    std::printf("  archive %.1f MB; cp + sync %.2f s; copy with read-back and rotation %.2f s; ratio %.2f\n",
                size / 1e6, cpBest, kuvBest, kuvBest / cpBest);
    EXPECT_LE(kuvBest, 2.2 * cpBest);
    std::system(("rm -rf " + Quote(cpFolder) + " " + Quote(kuvFolder)).c_str());
}
