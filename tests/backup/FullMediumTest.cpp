// A medium without room for the next backup, for real: a small tmpfs mounted
// over the medium in a private mount namespace (the test starts itself there
// as root). Old dated backups are removed oldest first when that makes room,
// and when it cannot, nothing is written and nothing removed. In CI a skip
// here is a failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "DataBackupJobFakes.h"
#include "backup/Thinning.h"
#include "platform/Text.h"
#include "backup/MediumRoom.h"

using namespace kuv::backup;
using namespace kuv::backup::testing;

namespace {

constexpr const char* kInner = "KUVZIP_FULL_MEDIUM_INNER";
constexpr int kKiB = 1024;

std::string Incompressible(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

void SkipOrFail(const std::string& why) {
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true") FAIL() << "a full medium cannot be tried here: " << why;
    GTEST_SKIP() << why;
}

// Outside: the same test again, in a private mount namespace.
void RunInside(const std::string& scratch, const std::string& test) {
    if (geteuid() != 0) return SkipOrFail("mounting a tmpfs needs root");
    if (std::system("unshare -m true 2>/dev/null") != 0) return SkipOrFail("no private mount namespace here");
    const std::string self = std::string(KUVZIP_BIN_DIR) + "/test_backup";
    WriteFile(scratch + "/run.sh", std::string(kInner) + "=1 exec '" + self + "' --gtest_filter='" + test + "'\n");
    const int status = std::system(("unshare -m sh '" + scratch + "/run.sh' > '" + scratch + "/out.txt' 2>&1").c_str());
    const std::string out = ReadFile(scratch + "/out.txt");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return SkipOrFail("mounting a tmpfs is refused here");
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
}

// The tmpfs goes before the scratch folder is removed.
struct Unmount {
    std::string point;
    ~Unmount() { std::system(("umount '" + point + "'").c_str()); }
};

std::string ReportOf(const JobFixture& f) { return kuv::platform::DecodeTextFile(f.Report()); }

struct FullRow {
    const char* label;
    size_t dataKiB;           // one incompressible file of this size
    bool unattended;          // automatic run: nobody to ask
    const char* typed;        // the answer to the question
    const char* options;      // backup options
    std::vector<std::string> removed;  // old backups removed, oldest first; empty: none
    bool written;
};

// Five old backups of 150 KiB (the three most recent never go) and 100 KiB
// of other files on a 1 MiB medium: 174 KiB free.
const std::vector<std::string> kOld = {"KuvSav-2612011000.zip", "KuvSav-2612151000.zip", "KuvSav-2612201000.zip",
                                       "KuvSav-2612281000.zip", "KuvSav-2611201000.zip"};

class FullMediumTest : public ::testing::TestWithParam<FullRow> {};

TEST_P(FullMediumTest, ThinsOldestFirstOrWritesNothing) {
    const FullRow& row = GetParam();
    JobFixture f;
    if (std::getenv(kInner) == nullptr) {
        RunInside(f.root, "Medium/FullMediumTest.ThinsOldestFirstOrWritesNothing/" + std::string(row.label));
        return;
    }
    if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + f.medium + "'").c_str()) != 0) std::exit(77);
    const Unmount unmount{f.medium};
    const std::string folder = f.medium + "/S_c_appli_donnees";
    kuv::platform::CreateFolder(folder);
    for (size_t i = 0; i < kOld.size(); ++i) WriteFile(folder + "/" + kOld[i], Incompressible(150 * kKiB, i));
    // Never candidates, whatever room they would give.
    WriteFile(folder + "/notes.zip", Incompressible(60 * kKiB, 10));
    WriteFile(folder + "/kuvsav-2612071015.zip.sv1", Incompressible(40 * kKiB, 11));
    std::vector<std::string> before;
    for (const auto& e : kuv::platform::ListFolder(folder)) before.push_back(ReadFile(folder + "/" + e.name));

    WriteFile(f.Data("grand-livre.dat"), Incompressible(row.dataKiB * kKiB, 20));
    f.settings.backupOptions = row.options;
    f.settings.autoQuit = row.unattended;
    f.dialog.typed = row.typed;
    const BackupRunResult result = f.job->Run();

    std::vector<std::string> after;
    for (const auto& e : kuv::platform::ListFolder(folder)) after.push_back(e.name);
    EXPECT_EQ(kuv::platform::PathExists(f.MediumArchive()), row.written);
    for (const std::string& name : row.removed) {
        EXPECT_FALSE(kuv::platform::PathExists(folder + "/" + name)) << name;
        EXPECT_NE(ReportOf(f).find("Supprimée - " + name + "\r\n"), std::string::npos) << ReportOf(f);
    }
    EXPECT_EQ(result.removedForRoom, static_cast<int>(row.removed.size())) << ReportOf(f);
    // Whatever is left is byte for byte what was there.
    size_t untouched = 0;
    for (const auto& e : kuv::platform::ListFolder(folder)) {
        if (e.name == "KuvSav-2701030905.zip") continue;
        EXPECT_NE(std::find(before.begin(), before.end(), ReadFile(folder + "/" + e.name)), before.end()) << e.name;
        ++untouched;
    }
    EXPECT_EQ(untouched, kOld.size() + 2 - row.removed.size());
    const bool asked = !row.unattended && !row.removed.empty() && std::string(row.options).empty();
    if (row.written) {
        EXPECT_EQ(result.outcome, BackupOutcome::Completed);
        if (!row.removed.empty()) {
            EXPECT_NE(ReportOf(f).find(std::to_string(row.removed.size()) + " anciennes sauvegardes supprimées\r\n"),
                      std::string::npos);
            if (!row.unattended) {
                EXPECT_EQ(f.dialog.texts.back(), std::string(kBackupDone) + kMessageBreak +
                                                     RemovedForRoomText(static_cast<int>(row.removed.size())));
            }
        }
        if (asked) {
            EXPECT_EQ(f.dialog.modes.front(), kuv::kDialogConfirmUpper);
            EXPECT_NE(f.dialog.texts.front().find("du 20/11/2026 10:00"), std::string::npos) << f.dialog.texts.front();
        }
    } else {
        EXPECT_EQ(result.outcome, BackupOutcome::WriteFailed);
        kuv::platform::FreeSpace space;
        ASSERT_TRUE(kuv::platform::FreeSpaceOf(folder, space));
        const std::string free = kuv::backup::SizeText(space.bytes) + " disponibles.";
        EXPECT_EQ(f.view.status.rfind("Support plein : ", 0), 0u) << f.view.status;
        EXPECT_NE(f.view.status.find(" nécessaires, " + free), std::string::npos) << f.view.status;
        if (!row.unattended) {
            EXPECT_EQ(f.dialog.texts.back(), kBackupFailed + f.view.status);
        }
        EXPECT_NE(ReportOf(f).find("Echec de la sauvegarde"), std::string::npos);
        EXPECT_EQ(f.view.lamps[kLampCopy], kLampFailed);
        EXPECT_EQ(after.size(), kOld.size() + 2);  // no temporary file left either
    }
}

INSTANTIATE_TEST_SUITE_P(
    Medium, FullMediumTest,
    ::testing::Values(
        // A 100 KiB backup fits as it is.
        FullRow{"Fits", 100, false, "", "", {}, true},
        FullRow{"OneRemovedAfterTheUserAgreed", 300, false, "oui", "", {"KuvSav-2611201000.zip"}, true},
        FullRow{"TwoRemovedUnattended", 450, true, "", "", {"KuvSav-2611201000.zip", "KuvSav-2612011000.zip"}, true},
        FullRow{"RuleMakesRoomWithoutAsking", 300, false, "", "GARDER=5", {"KuvSav-2611201000.zip"}, true},
        FullRow{"UserRefused", 300, false, "NON", "", {}, false},
        // Even without the two candidates it cannot fit: nothing removed.
        FullRow{"CannotFit", 700, false, "OUI", "", {}, false},
        FullRow{"CannotFitUnattended", 700, true, "", "", {}, false}),
    [](const ::testing::TestParamInfo<FullRow>& info) { return std::string(info.param.label); });

// The copies look at the room before they start.
TEST(FullMediumCopyTest, CopyTooLargeForItsFolderIsRefusedFirst) {
    JobFixture f;
    if (std::getenv(kInner) == nullptr) {
        RunInside(f.root, "FullMediumCopyTest.CopyTooLargeForItsFolderIsRefusedFirst");
        return;
    }
    if (std::system(("mount -t tmpfs -o size=512k tmpfs '" + f.medium + "'").c_str()) != 0) std::exit(77);
    const Unmount unmount{f.medium};
    WriteFile(f.Data("a.zip"), Incompressible(600 * kKiB, 1));
    WriteFile(f.Data("b.zip"), Incompressible(200 * kKiB, 2));
    const std::string full = kuv::backup::ShortOfRoomForCopy(f.Data("a.zip"), f.medium);
    EXPECT_EQ(full.rfind("Support plein : ", 0), 0u) << full;
    EXPECT_NE(full.find("0,5 Mo disponibles."), std::string::npos) << full;
    EXPECT_EQ(kuv::backup::ShortOfRoomForCopy(f.Data("b.zip"), f.medium), "");
}

}  // namespace
