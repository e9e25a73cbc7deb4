// A data folder that an interrupted restore left half restored is never
// backed up (the backup would become the newest, mixed, copy): the request
// fails with its reason and its notification. The program's work files are
// never backed up.
#include <gtest/gtest.h>

#include "MainWindowFakes.h"
#include "platform/Files.h"
#include "platform/WorkNames.h"

namespace kuv::backup::testing {
namespace {

struct PendingCase {
    const char* what;
    const char* workFile;  // left in the data folder
    bool refused;
};

class WorkFilesInTheDataFolder : public ::testing::TestWithParam<PendingCase> {};

TEST_P(WorkFilesInTheDataFolder, RefuseOrLeaveOut) {
    const PendingCase& c = GetParam();
    WindowFixture f;
    WriteFile(f.data + "/compta.dat", "écritures");
    WriteFile(f.data + "/" + c.workFile, "kuvzip-restauration 1\n");
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT56", "NOSIG");
    MainWindowLogic& logic = f.Start();
    logic.OnTimer(TimerId::Timer111);
    const std::string desktopArchive = f.folders.desktop + "/Kuvchier.zip";
    if (c.refused) {
        ASSERT_EQ(f.notifier.sent.size(), 1u) << c.what;
        EXPECT_EQ(f.notifier.sent[0].summary, kNotifyBackupFailed);
        std::string reason;
        ASSERT_TRUE(kuv::platform::RestorePending(f.data, &reason));
        EXPECT_EQ(f.notifier.sent[0].body, reason);
        EXPECT_NE(reason.find("n'a pas pu être terminée"), std::string::npos);
    } else {
        EXPECT_TRUE(f.notifier.sent.empty()) << c.what << ": " << f.notifier.sent.front().body;
        std::string report;
        ASSERT_TRUE(kuv::platform::ReadWholeFile(f.work + "/rapport.txt", report));
        EXPECT_EQ(report.find(c.workFile), std::string::npos) << report;
        EXPECT_NE(report.find("compta.dat"), std::string::npos) << report;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkFilesInTheDataFolder,
                         ::testing::Values(PendingCase{"journal", ".kuvzip-restauration.journal", true},
                                           PendingCase{"part file", ".kuvzip-4242-3.part", false},
                                           PendingCase{"work file", ".kuvzip-a1B2c3", false},
                                           PendingCase{"journal's temporary file", ".kuvzip-restauration.journal.tmp",
                                                       false}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
}  // namespace kuv::backup::testing
