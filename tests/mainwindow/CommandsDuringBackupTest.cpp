// The main window's commands clicked while the data backup job runs: those
// that use the engine, the archive being written or end the program wait for
// the job's end and then run, once each and in the order clicked; a second
// start of the backup is ignored. The clicks come from inside the job's
// DoEvents, as the window's event loop delivers them.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "MainWindowFakes.h"
#include "operations/CopyCommands.h"
#include "platform/Files.h"
#include "zip/clsZip.h"

namespace kuv::backup::testing {
namespace {

constexpr const char* kMediumArchive = "/medium/S_c_appli_donnees/KuvSav-2701030905.zip";

class CommandsDuringBackup : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(f.data + "/compta.dat", "écritures");
        WriteFile(f.data + "/clients.csv", "Dupont;Lyon");
    }
    MainWindowLogic& Start(const std::string& ini = "C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n") {
        f.WriteIni(ini);
        return f.Start();
    }
    // Clicks once, from the first DoEvents of the job's file loop; what the
    // click left behind is checked there by seen.
    void ClickDuringTheJob(const std::function<void()>& click, const std::function<void()>& seen = {}) {
        f.pump.onDoEvents = [this, click, seen] {
            if (clicked || !f.logic->BackupInProgress()) return;
            clicked = true;
            click();
            if (seen) seen();
        };
    }
    bool MediumArchiveWritten() const { return kuv::platform::IsRegularFile(f.root + kMediumArchive); }
    bool ReportFinished() const {
        return ReadFile(f.work + "/rapport.txt").find("Fin de sauvegarde") != std::string::npos;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& shown : f.dialog.shown) texts.push_back(shown.text);
        return texts;
    }

    WindowFixture f;
    bool clicked = false;
};

// ---- each command waits, then runs once ----

struct WaitingCase {
    const char* what;
    const char* name;  // its name in the queue
    std::function<void(WindowFixture&)> click;
    // What shows that the command ran (false while it waits).
    std::function<bool(WindowFixture&)> ran;
};

void PrintTo(const WaitingCase& c, std::ostream* os) { *os << c.what; }

class EachCommand : public CommandsDuringBackup, public ::testing::WithParamInterface<WaitingCase> {};

TEST_P(EachCommand, WaitsForTheJobsEndThenRunsOnce) {
    const WaitingCase& c = GetParam();
    kuv::platform::CreateFolderPath(f.home + "/Dropbox");
    kuv::platform::CreateFolderPath(f.home + "/OneDrive");
    MainWindowLogic& logic = Start();
    f.dialog.answers = {{"", 1}, {"", 1}, {"", 1}, {"", 1}, {"", 1}};
    ClickDuringTheJob([&] { c.click(f); },
                      [&] {
                          EXPECT_FALSE(c.ran(f)) << "ran beside the job";
                          EXPECT_EQ(logic.WaitingCommands(), std::vector<std::string>{c.name});
                          // A second click on the same command is not queued twice.
                          c.click(f);
                          EXPECT_EQ(logic.WaitingCommands(), std::vector<std::string>{c.name});
                          // Nor does a second start of the backup run beside it.
                          EXPECT_EQ(logic.BackupClicked().outcome, BackupOutcome::AlreadyRunning);
                          EXPECT_FALSE(logic.Settings().copyMode) << "the running job's mode changed";
                      });
    const BackupRunResult result = logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_TRUE(MediumArchiveWritten());
    EXPECT_TRUE(c.ran(f));
    EXPECT_TRUE(logic.WaitingCommands().empty());
    EXPECT_FALSE(logic.BackupInProgress());
    EXPECT_LE(f.end.ends, 1);
}

bool Ended(WindowFixture& f) { return f.end.ends == 1; }
bool Shown(WindowFixture& f, const std::string& text) {
    for (const auto& shown : f.dialog.shown)
        if (shown.text == text) return true;
    return false;
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, EachCommand,
    ::testing::Values(
        WaitingCase{"Quitter", kCommandQuit, [](WindowFixture& f) { f.logic->Quit(); }, Ended},
        WaitingCase{"Outils", kCommandConfigure, [](WindowFixture& f) { f.logic->Configure(); },
                    [](WindowFixture& f) { return Ended(f) && Shown(f, kConfigured); }},
        WaitingCase{"DropBox", kCommandDropbox,
                    [](WindowFixture& f) {
                        EXPECT_EQ(f.logic->CopyTo(operations::CopyTarget::Dropbox), operations::CopyResult::Waiting);
                    },
                    [](WindowFixture& f) {
                        return kuv::platform::IsRegularFile(f.home + "/Dropbox/kuvchier.zip") && Ended(f);
                    }},
        WaitingCase{"OneDrive", kCommandOneDrive,
                    [](WindowFixture& f) { f.logic->CopyTo(operations::CopyTarget::OneDrive); },
                    [](WindowFixture& f) {
                        return kuv::platform::IsRegularFile(f.home + "/OneDrive/kuvchier.zip") && Ended(f);
                    }},
        WaitingCase{"ZipMail", kCommandZipMail, [](WindowFixture& f) { f.logic->ZipMail(); },
                    [](WindowFixture& f) { return kuv::platform::IsRegularFile(f.home + "/Bureau/kuvchier.zip"); }},
        WaitingCase{"Timer2", kCommandEndTimer, [](WindowFixture& f) { f.logic->OnTimer(TimerId::Timer2); }, Ended},
        // A command of the test panel: it puts one file in the engine's list.
        WaitingCase{"EngineCommand", "cdeAjouterSansRépertoire",
                    [](WindowFixture& f) {
                        f.logic->RunEngineCommand("cdeAjouterSansRépertoire",
                                                  [&f] { f.logic->Engine()->FileAdd(f.data + "/compta.dat", 0, true); });
                    },
                    // Its member stays alone in the list once the job has
                    // written its archive (beside the job it would have gone
                    // into that archive).
                    [](WindowFixture& f) { return f.logic->Engine()->FileCount() == 1; }}),
    [](const ::testing::TestParamInfo<WaitingCase>& info) { return std::string(info.param.what); });

// ---- what the waiting commands find ----

// "Quitter" during a run: the program ends after the report is finished, the
// archive written and the final message shown.
TEST_F(CommandsDuringBackup, QuitterEndsAfterTheReportAndTheArchive) {
    MainWindowLogic& logic = Start();
    bool finishedAtEnd = false, archiveAtEnd = false, messageAtEnd = false;
    f.end.onEnd = [&] {
        finishedAtEnd = ReportFinished();
        archiveAtEnd = MediumArchiveWritten();
        messageAtEnd = Shown(f, kBackupDone);
    };
    ClickDuringTheJob([&] { logic.Quit(); }, [&] { EXPECT_EQ(f.end.ends, 0); });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_TRUE(finishedAtEnd);
    EXPECT_TRUE(archiveAtEnd);
    EXPECT_TRUE(messageAtEnd);
    EXPECT_NE(f.Ini().find("C:\\Appli\\Donnees"), std::string::npos);  // Kuv-Zip.ini rewritten
}

// A run that fails (the medium cannot take the archive) still lets the
// waiting commands run.
TEST_F(CommandsDuringBackup, AFailedRunStillRunsTheWaitingCommands) {
    WriteFile(f.medium + "/S_c_appli_donnees", "pas un dossier");
    MainWindowLogic& logic = Start();
    ClickDuringTheJob([&] { logic.Quit(); }, [&] { EXPECT_EQ(f.end.ends, 0); });
    EXPECT_EQ(logic.BackupClicked().outcome, BackupOutcome::WriteFailed);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.view.status, "Support plein ou absent !");
    EXPECT_EQ(f.end.ends, 1);
}

// A run that stops early (no destination chosen) lets them run too; the
// click comes while its message is shown.
TEST_F(CommandsDuringBackup, ARunStoppedEarlyStillRunsTheWaitingCommands) {
    MainWindowLogic& logic = Start();
    f.view.selected = 0;  // the user picks "(Clé non identifiée)"
    logic.DestinationClicked(0);
    f.dialog.onShow = [&] {
        if (clicked || !logic.BackupInProgress()) return;
        clicked = true;
        logic.Quit();
        EXPECT_EQ(f.end.ends, 0);
    };
    EXPECT_EQ(logic.BackupClicked().outcome, BackupOutcome::NoDestination);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.end.ends, 1);
}

// A copy clicked during an ordinary backup does not take that backup's
// archive: by its own rules it runs its own backup on the desktop, after the
// first one, and copies that.
TEST_F(CommandsDuringBackup, ACopyWaitingCopiesTheBackupItMakesItself) {
    kuv::platform::CreateFolderPath(f.home + "/Dropbox");
    MainWindowLogic& logic = Start();
    ClickDuringTheJob([&] { logic.CopyTo(operations::CopyTarget::Dropbox); });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    const std::string desktop = ReadFile(f.home + "/Bureau/kuvchier.zip");
    ASSERT_FALSE(desktop.empty());
    EXPECT_EQ(ReadFile(f.home + "/Dropbox/kuvchier.zip"), desktop);
    EXPECT_TRUE(MediumArchiveWritten());
    // The first backup showed its message; the copy's own ran silently.
    EXPECT_EQ(Messages(), (std::vector<std::string>{kBackupDone, operations::kCopiedDropbox}));
    EXPECT_EQ(f.end.ends, 1);
}

// The automatic copy (Timer3) firing during a backup runs after it.
TEST_F(CommandsDuringBackup, TheAutomaticCopyWaitsForTheBackup) {
    const std::string exchange = f.home + "/ech";  // c:\ech
    kuv::platform::CreateFolderPath(exchange);
    f.SetLink("RES2Z4IU4", "c:\\ech  {AUTO}  {NOAT}");
    MainWindowLogic& logic = Start();
    ClickDuringTheJob([&] { logic.OnTimer(TimerId::Timer3); },
                      [&] { EXPECT_FALSE(kuv::platform::IsRegularFile(exchange + "/kuvchier.zip")); });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_TRUE(MediumArchiveWritten());
    EXPECT_EQ(ReadFile(exchange + "/kuvchier.zip"), ReadFile(f.home + "/Bureau/kuvchier.zip"));
    EXPECT_EQ(f.end.ends, 1);
}

// Timer2 of a served request firing during the user's next backup: the
// program ends once that backup is done, not in its middle.
TEST_F(CommandsDuringBackup, Timer2FiringDuringARunEndsAfterIt) {
    f.SetLink("SAVAUT55", "1");
    MainWindowLogic& logic = Start();
    bool archiveAtEnd = false;
    // The request chose the C: disk.
    f.end.onEnd = [&] {
        archiveAtEnd = ReportFinished() &&
                       kuv::platform::IsRegularFile(f.home + "/S_c_appli_donnees/KuvSav-2701030905.zip");
    };
    ClickDuringTheJob([&] { logic.OnTimer(TimerId::Timer2); }, [&] {
        EXPECT_EQ(f.end.ends, 0);
        EXPECT_EQ(f.Link("SAVAUT55"), "1");
    });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_TRUE(archiveAtEnd);
    EXPECT_EQ(f.Link("SAVAUT55"), "");
}

// Two commands waiting run in the order clicked; once one of them ends the
// program, the rest are dropped.
TEST_F(CommandsDuringBackup, WaitingCommandsRunInTheOrderClicked) {
    MainWindowLogic& logic = Start();
    bool desktopAtEnd = false;
    f.end.onEnd = [&] { desktopAtEnd = kuv::platform::IsRegularFile(f.home + "/Bureau/kuvchier.zip"); };
    ClickDuringTheJob([&] {
        logic.ZipMail();
        logic.Quit();
        EXPECT_EQ(logic.WaitingCommands(), (std::vector<std::string>{kCommandZipMail, kCommandQuit}));
    });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_TRUE(desktopAtEnd);  // "Zip Mail" ran before "Quitter"
    ASSERT_EQ(Messages().size(), 3u);
    EXPECT_EQ(Messages()[1], kBackupDone);
    EXPECT_EQ(Messages()[2].rfind(kuv::operations::kZipMailReady, 0), 0u);  // then where the file went
}

TEST_F(CommandsDuringBackup, CommandsWaitingBehindQuitterAreDropped) {
    MainWindowLogic& logic = Start();
    ClickDuringTheJob([&] {
        logic.Quit();
        logic.ZipMail();
    });
    logic.BackupClicked();
    ASSERT_TRUE(clicked);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_FALSE(kuv::platform::PathExists(f.home + "/Bureau/kuvchier.zip"));
    EXPECT_TRUE(logic.WaitingCommands().empty());
}

// A command clicked while a waiting copy runs its own backup waits behind
// it; the copy's own closing step ends the program, so it is dropped.
TEST_F(CommandsDuringBackup, ACommandClickedDuringAWaitingCopysBackupWaitsBehindIt) {
    kuv::platform::CreateFolderPath(f.home + "/Dropbox");
    MainWindowLogic& logic = Start();
    bool copyClicked = false, toolsClicked = false, copiedAtEnd = false;
    f.end.onEnd = [&] { copiedAtEnd = kuv::platform::IsRegularFile(f.home + "/Dropbox/kuvchier.zip"); };
    f.pump.onDoEvents = [&] {
        if (!logic.BackupInProgress()) return;
        if (!copyClicked) {
            copyClicked = true;
            logic.CopyTo(operations::CopyTarget::Dropbox);
        } else if (logic.Settings().copyMode && !toolsClicked) {
            // The copy's own backup is running.
            toolsClicked = true;
            logic.Configure();
            EXPECT_EQ(logic.WaitingCommands(), std::vector<std::string>{kCommandConfigure});
        }
    };
    logic.BackupClicked();
    EXPECT_TRUE(toolsClicked);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_TRUE(copiedAtEnd);
    EXPECT_FALSE(Shown(f, kConfigured));
    EXPECT_TRUE(logic.WaitingCommands().empty());
}

}  // namespace
}  // namespace kuv::backup::testing
