// Startup of the main window: Kuv-Zip.ini, the link-file requests, the run
// modes, the backup folder name, the age of the last backup; the timers;
// "Outils" and "Quitter".

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "LogCapture.h"
#include "MainWindowFakes.h"
#include "PausedChild.h"
#include "mainwindow/Startup.h"
#include "operations/ProgramRestoreJournal.h"

namespace kuv::backup::testing {
namespace {

TEST(BackupFolderName, ReducesTheDataFolder) {
    EXPECT_EQ(BackupFolderName("D:\\Compta 2024\\Données"), "S_d_compta2024_donnes");
    EXPECT_EQ(BackupFolderName("C:\\Appli\\Données"), "S_c_appli_donnes");
    EXPECT_EQ(BackupFolderName("/home/x/Données"), "S__home_x_donnes");
    EXPECT_EQ(BackupFolderName("C:\\ÉTÉ.2024\\A-B"), "S_c_t2024_ab");
    EXPECT_EQ(BackupFolderName(""), "S_");
}

TEST(LastBackup, AgeColoursAtOneThreeAndExactlyFiveDays) {
    const DateTime now{2027, 1, 8, 9, 5, 0, 0};
    const double today = DayNumber(DateTime{2027, 1, 8, 0, 0, 0, 0});
    EXPECT_DOUBLE_EQ(today, 46395.0);  // 03/01/2027 is day 46390
    auto value = [&](int daysAgo) {
        return "03/01/2027 à 09:05:" + std::to_string(static_cast<int>(today) - daysAgo);
    };
    EXPECT_EQ(BackupAgeColour(ParseLastBackup(value(1), now).ageDays), kAgeRecent);
    EXPECT_EQ(BackupAgeColour(ParseLastBackup(value(3), now).ageDays), kAgeAging);
    EXPECT_EQ(BackupAgeColour(ParseLastBackup(value(5), now).ageDays), kAgeOld);
    EXPECT_EQ(BackupAgeColour(1.999), kAgeRecent);
    EXPECT_EQ(BackupAgeColour(2.0), kAgeAging);
    EXPECT_EQ(BackupAgeColour(4.999), kAgeAging);
    EXPECT_EQ(BackupAgeColour(5.0), kAgeOld);
    // Characters, not bytes: "à" is one character.
    EXPECT_EQ(ParseLastBackup(value(1), now).display, "03/01/2027 à 09:05");
    // A non-numeric age reads as 0: very old.
    LastBackup broken = ParseLastBackup("03/01/2027 à 09:05:abc", now);
    EXPECT_GT(broken.ageDays, 40000);
    EXPECT_EQ(BackupAgeColour(broken.ageDays), kAgeOld);
}

TEST(ExchangeFolder, MarkersAreTakenOutOnce) {
    ExchangeFolderValue v = ParseExchangeFolder("s:\\ex_pc\\  {AUTO}  {NOAT}");
    EXPECT_EQ(v.folder, "s:\\ex_pc\\    ");
    EXPECT_TRUE(v.automaticCopy);
    EXPECT_TRUE(v.noFinalMessage);
    EXPECT_FALSE(v.endAtOnce);
    v = ParseExchangeFolder("{CLOS}x{CLOS}");
    EXPECT_EQ(v.folder, "x{CLOS}");
    EXPECT_TRUE(v.endAtOnce);
}

TEST(Startup, WithoutConfigurationTheCDiskIsChosenByDefault) {
    WindowFixture f;
    MainWindowLogic& logic = f.Start();
    const MainSettings& s = logic.Settings();
    EXPECT_EQ(s.dataFolder, "");
    EXPECT_EQ(s.linkedProgram, "");
    EXPECT_EQ(s.backupOptions, "");
    EXPECT_EQ(s.destinationRoot, "C:");
    EXPECT_EQ(f.view.selected, 1);
    EXPECT_EQ(f.view.title, kTitleDefaultDiskC);
    EXPECT_EQ(f.view.comboColour, (std::vector<int>{192, 255, 192}));
    EXPECT_EQ(s.backupName, "kuvchier");
    EXPECT_EQ(s.backupFolderName, "S_");
    EXPECT_FALSE(s.autoQuit);
    // No request: only the watch of the drives is armed.
    EXPECT_EQ(f.timers.armed, (std::vector<std::pair<TimerId, int>>{{TimerId::DriveWatch, kDriveWatchMs}}));
    EXPECT_TRUE(f.view.dressed);
    EXPECT_TRUE(f.view.centred);
    EXPECT_EQ(f.gauge.inits, (std::vector<int>{100}));
    for (int lamp : f.view.lamps) EXPECT_EQ(lamp, kLampOff);
    EXPECT_NE(logic.Engine(), nullptr);
    EXPECT_EQ(f.view.lastBackup, "unset");  // no record: design state kept
}

// A restore of the program files stopped by a crash, found in the folder the
// program starts from: the old file is put back and the user told, by a
// dialog when the user started the program, by a notification (and the log)
// when the linked application did, where nobody may be there to close a
// dialog: then no dialog is shown at all.
struct StoppedRestoreCase {
    const char* name;
    const char* key;  // the link file's request ("" for none)
    const char* value;
    bool notified;
};

class StoppedProgramRestore : public ::testing::TestWithParam<StoppedRestoreCase> {
protected:
    // A restore of a.exe stopped after its exchange: the old file waits
    // under its work name, named by the journal.
    void StopARestore() {
        kuv::platform::CreateFolder(install);
        WriteFile(install + "/a.exe", "restored");
        WriteFile(install + "/.kuvzip-copie-Ab12Cd", "old");
        kuv::operations::JournalPair pair{"a.exe", ".kuvzip-copie-Ab12Cd", true};
        ASSERT_TRUE(kuv::operations::Fingerprint(install + "/a.exe", pair));
        ASSERT_TRUE(kuv::operations::RestoreJournal().Write(install, {pair}));
    }
    // The program's start, from the installation folder.
    void StartIn(WindowFixture& window) {
        const std::string before = kuv::platform::CurrentFolder();
        ASSERT_EQ(chdir(install.c_str()), 0);
        window.Start();
        ASSERT_EQ(chdir(before.c_str()), 0);
    }
    WindowFixture f;
    const std::string install = f.root + "/Appli";
};

TEST_P(StoppedProgramRestore, IsRolledBackAndTold) {
    StopARestore();
    kuv::platform::CreateFolderPath(f.home + "/ex");
    if (*GetParam().key) f.SetLink(GetParam().key, GetParam().value);
    LogCapture log;
    StartIn(f);
    EXPECT_EQ(ReadFile(install + "/a.exe"), "old");
    EXPECT_FALSE(kuv::platform::PathExists(install + "/.kuvzip-copie-Ab12Cd"));
    EXPECT_FALSE(kuv::operations::RestoreJournalPresent(install));
    if (GetParam().notified) {
        EXPECT_TRUE(f.dialog.shown.empty());
        ASSERT_EQ(f.notifier.sent.size(), 1u);
        EXPECT_EQ(f.notifier.sent[0].summary, kNotifyProgramRestore);
        EXPECT_EQ(f.notifier.sent[0].body, kuv::operations::kRestoreRolledBack);
        EXPECT_TRUE(log.Has("kuvzip.notify", QtWarningMsg, kuv::operations::kRestoreRolledBack)) << log.All();
    } else {
        EXPECT_TRUE(f.notifier.sent.empty());
        ASSERT_EQ(f.dialog.shown.size(), 1u);
        EXPECT_EQ(f.dialog.shown[0].text, kuv::operations::kRestoreRolledBack);
        EXPECT_EQ(f.dialog.shown[0].mode, kDialogMessage);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, StoppedProgramRestore,
                         ::testing::Values(StoppedRestoreCase{"Interactive", "", "", false},
                                           StoppedRestoreCase{"AutomaticCopy", "RES2Z4IU4",
                                                              "c:\\ex\\{AUTO}{NOAT}{CLOS}", true},
                                           StoppedRestoreCase{"DesktopRequest", "SAVAUT56", "NOSIG", true},
                                           StoppedRestoreCase{"SecurityRequest", "SAVAUT55", "1", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same journal held locked by a live process (its restore under way): the
// start leaves the folder alone and says nothing; once that process has gone
// without finishing, the next start rolls it back.
TEST_F(StoppedProgramRestore, ARestoreUnderWayIsLeftAlone) {
    StopARestore();
    kuv::testing::PausedChild restoring([this](const std::function<void()>& pause) {
        const int fd = open((install + "/" + kuv::operations::kRestoreJournal).c_str(), O_RDONLY);
        if (fd < 0 || flock(fd, LOCK_EX) != 0) return 1;
        pause();
        return 0;
    });
    ASSERT_TRUE(restoring.Paused(30000));
    StartIn(f);
    EXPECT_TRUE(f.dialog.shown.empty());
    EXPECT_TRUE(f.notifier.sent.empty());
    EXPECT_EQ(ReadFile(install + "/a.exe"), "restored");
    EXPECT_EQ(ReadFile(install + "/.kuvzip-copie-Ab12Cd"), "old");
    EXPECT_TRUE(kuv::operations::RestoreJournalPresent(install));
    EXPECT_EQ(restoring.Finish(), 0);
    WindowFixture next;
    StartIn(next);
    EXPECT_EQ(ReadFile(install + "/a.exe"), "old");
    ASSERT_EQ(next.dialog.shown.size(), 1u);
    EXPECT_EQ(next.dialog.shown[0].text, kuv::operations::kRestoreRolledBack);
}

TEST(Startup, ReadsTheConfigurationAndShowsTheDataFolder) {
    WindowFixture f;
    WriteFile(f.data + "/compta.dat", "x");
    WriteFile(f.data + "/Clients.csv", "y");
    f.WriteIni("C:\\Appli\\Donnees\r\ne:\r\n#L#appli\r\n+pdf\r\n");
    MainWindowLogic& logic = f.Start();
    EXPECT_EQ(logic.Settings().dataFolder, "C:\\Appli\\Donnees");
    EXPECT_EQ(logic.Settings().destinationRoot, "E:");  // lower-case root selects E and is normalised
    EXPECT_EQ(f.view.selected, 2);
    EXPECT_EQ(f.view.title, "unset");
    EXPECT_EQ(f.view.dataFolder, "C:\\Appli\\Donnees");
    EXPECT_EQ(f.view.files, (std::vector<std::string>{"Clients.csv", "compta.dat"}));
    EXPECT_EQ(logic.Settings().backupFolderName, "S_c_appli_donnees");
    EXPECT_EQ(f.view.destinationFolder, f.medium + "/S_c_appli_donnees");
}

TEST(Startup, LastBackupAndExchangeFolderMarkers) {
    WindowFixture f;
    f.SetLink("Dern:SAV:MAN", "02/01/2027 à 18:00:46389");
    f.SetLink("RES2Z4IU4", "s:\\ex_pc\\  {AUTO}  {NOAT}");
    MainWindowLogic& logic = f.Start();
    EXPECT_EQ(f.view.lastBackup, "02/01/2027 à 18:00");
    EXPECT_EQ(f.view.lastBackupColour, (std::vector<int>{128, 255, 128}));  // 1.38 days
    const MainSettings& s = logic.Settings();
    EXPECT_EQ(s.exchangeFolder, "s:\\ex_pc\\    ");
    EXPECT_TRUE(s.automaticCopy);
    EXPECT_TRUE(s.noFinalMessage);
    EXPECT_FALSE(s.endAtOnce);
    EXPECT_TRUE(f.view.transferButton);
    EXPECT_TRUE(f.view.exchangeShown);
    EXPECT_EQ(f.view.exchangeFolder, "s:\\ex_pc\\    ");
    EXPECT_EQ(f.view.widthTwips, kAutomaticWindowWidth);
    // Step 19: the panel of the automatic copy, Timer3 after one second.
    EXPECT_EQ(f.view.automaticCopyPanel, (std::vector<bool>{true}));
    EXPECT_EQ(f.timers.armed, (std::vector<std::pair<TimerId, int>>{{TimerId::Timer3, 1000},
                                                                     {TimerId::DriveWatch, kDriveWatchMs}}));
    EXPECT_FALSE(s.copyMode);
}

TEST(Startup, SecurityBackupRequestArmsTimer1OnDiskC) {
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT55", "1");
    MainWindowLogic& logic = f.Start();
    EXPECT_TRUE(logic.Settings().autoQuit);
    EXPECT_FALSE(logic.Settings().noWarning);
    EXPECT_EQ(logic.Settings().destinationRoot, "C:");
    EXPECT_EQ(f.view.selected, 1);
    EXPECT_EQ(f.view.title, kTitleSecurityBackup);
    EXPECT_TRUE(f.view.requestPanel);
    EXPECT_EQ(f.view.widthTwips, kAutomaticWindowWidth);
    EXPECT_TRUE(f.Armed(TimerId::Timer1, 1500));
    EXPECT_FALSE(f.Armed(TimerId::Timer111, 1500));
}

TEST(Startup, DesktopRequestWithNosigAndNameThenNameServesOnce) {
    WindowFixture f;
    f.SetLink("SAVAUT56", "NOSIG");
    f.SetLink("NOMFICATO", "Compta{D}X");
    f.SetLink("nom_zip_s", "  Sauve Compta ");
    MainWindowLogic& logic = f.Start();
    EXPECT_TRUE(logic.Settings().autoQuit);
    EXPECT_TRUE(logic.Settings().noWarning);
    EXPECT_EQ(logic.Settings().desktopArchiveName, "Compta{D}X");
    EXPECT_EQ(f.view.title, kTitleDesktopBackup);
    EXPECT_TRUE(f.Armed(TimerId::Timer111, 1500));
    EXPECT_EQ(logic.Settings().backupName, "Sauve Compta");
    EXPECT_EQ(f.Link("nom_zip_s"), "");
    // Without NOSIG and without a name.
    WindowFixture g;
    g.SetLink("SAVAUT56", "1");
    MainWindowLogic& other = g.Start();
    EXPECT_FALSE(other.Settings().noWarning);
    EXPECT_EQ(other.Settings().desktopArchiveName, "kuvchier");
}

TEST(Timers, DisarmFirstThenActTimer2EndsWithoutRewritingOrLaunching) {
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#appli\r\n\r\n");
    f.SetLink("SAVAUT56", "NOSIG");
    f.SetLink("SAVAUT55", "1");
    MainWindowLogic& logic = f.Start();
    const std::string ini = f.Ini();
    f.timers.armed.clear();
    logic.OnTimer(TimerId::Timer2);
    ASSERT_FALSE(f.timers.armed.empty());
    EXPECT_EQ(f.timers.armed.front(), std::make_pair(TimerId::Timer2, 0));
    EXPECT_EQ(f.Link("SAVAUT55"), "");
    EXPECT_EQ(f.Link("SAVAUT56"), "");
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_TRUE(f.launcher.started.empty());
    EXPECT_EQ(f.Ini(), ini);
}

// One file to save, the data folder on C: and a desktop request with NOSIG
// and the name pattern "Compta{D}X".
void PrepareDesktopRequest(WindowFixture& f) {
    WriteFile(f.data + "/compta.dat", "écritures");
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
    f.SetLink("SAVAUT56", "NOSIG");
    f.SetLink("NOMFICATO", "Compta{D}X");
}

TEST(Timers, Timer111BacksUpOnTheDesktopAndArmsTimer2) {
    WindowFixture f;
    PrepareDesktopRequest(f);
    MainWindowLogic& logic = f.Start();
    f.timers.armed.clear();
    logic.OnTimer(TimerId::Timer111);
    EXPECT_EQ(f.timers.armed.front(), std::make_pair(TimerId::Timer111, 0));
    EXPECT_TRUE(logic.Settings().copyMode);
    EXPECT_TRUE(f.dialog.shown.empty());  // NOSIG, copy mode: no warning, no final message
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/Bureau/Compta_030127.zip"));
    EXPECT_EQ(f.view.destinationFolder, f.home + "/Bureau");  // Text1 tells where it went
    EXPECT_TRUE(f.Armed(TimerId::Timer2, 1000));
    // Copy mode writes no last-backup record.
    EXPECT_EQ(f.Link("Dern:SAV:MAN"), "");
    EXPECT_FALSE(kuv::platform::PathExists(f.work + "/dernkuvp.txt"));
}

// Both requests left in the link file (one of them left over from a run that
// failed): Timer111 fires while Timer1's backup is still running. The
// desktop request must wait for its turn, not be dropped and then cleared
// as if served.
TEST(Timers, ARequestFiringDuringAnotherRequestsRunWaitsItsTurn) {
    WindowFixture f;
    PrepareDesktopRequest(f);
    f.SetLink("SAVAUT55", "1");
    MainWindowLogic& logic = f.Start();
    bool fired = false;
    f.pump.onDoEvents = [&] {
        if (fired) return;
        fired = true;
        f.timers.armed.clear();
        logic.OnTimer(TimerId::Timer111);
        EXPECT_TRUE(f.Armed(TimerId::Timer111, 1500));  // tried again later
        EXPECT_FALSE(logic.Settings().copyMode);        // not this run's mode
    };
    logic.OnTimer(TimerId::Timer1);
    ASSERT_TRUE(fired);
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/S_c_appli_donnees/KuvSav-2701030905.zip"));
    EXPECT_TRUE(f.Armed(TimerId::Timer2, 1000));
    EXPECT_FALSE(kuv::platform::PathExists(f.home + "/Bureau/Compta_030127.zip"));

    // Timer2 before the desktop request was served: the program goes on.
    logic.OnTimer(TimerId::Timer2);
    EXPECT_EQ(f.end.ends, 0);
    EXPECT_EQ(f.Link("SAVAUT56"), "NOSIG");

    f.timers.armed.clear();
    logic.OnTimer(TimerId::Timer111);
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/Bureau/Compta_030127.zip"));
    EXPECT_TRUE(f.Armed(TimerId::Timer2, 1000));
    logic.OnTimer(TimerId::Timer2);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_EQ(f.Link("SAVAUT55"), "");
    EXPECT_EQ(f.Link("SAVAUT56"), "");
}

// A request whose backup failed is not cleared, even when another request
// served afterwards is; the program ends as after a served request.
TEST(Timers, AFailedRequestIsNotClearedByALaterOneThatSucceeds) {
    WindowFixture f;
    PrepareDesktopRequest(f);
    WriteFile(f.home + "/S_c_appli_donnees", "not a folder");  // the C: backup cannot be written
    f.SetLink("SAVAUT55", "1");
    MainWindowLogic& logic = f.Start();
    logic.OnTimer(TimerId::Timer1);
    EXPECT_EQ(f.view.status, "Support plein ou absent !");
    EXPECT_TRUE(f.Armed(TimerId::Timer2, 1000));
    logic.OnTimer(TimerId::Timer111);
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/Bureau/Compta_030127.zip"));
    logic.OnTimer(TimerId::Timer2);
    EXPECT_EQ(f.end.ends, 1);
    EXPECT_EQ(f.Link("SAVAUT55"), "1");
    EXPECT_EQ(f.Link("SAVAUT56"), "");
}

TEST(Quit, RewritesTheFileAndStartsTheLinkedProgram) {
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\n\r\n#L#  C:\\Appli\\appli.exe  \r\n+pdf -txt\r\n");
    MainWindowLogic& logic = f.Start();  // no root: C: chosen by default
    logic.DestinationClicked(2);         // the user picks the key in E:
    logic.Quit();
    EXPECT_EQ(f.Ini(), "C:\\Appli\\Donnees\r\nE:\r\n#L#  C:\\Appli\\appli.exe  \r\n+pdf -txt\r\n");
    // The program goes through the drive list: c: is the home folder.
    ASSERT_EQ(f.launcher.started.size(), 1u);
    EXPECT_EQ(f.launcher.started[0].first, f.home + "/Appli/appli.exe");
    EXPECT_EQ(f.launcher.started[0].second, f.work);
    EXPECT_EQ(f.end.ends, 1);

    // A letter with no drive starts nothing; a bare name is looked up as it is.
    for (const auto& [line, expected] : std::vector<std::pair<std::string, std::string>>{
             {"#L#Z:\\Appli\\appli.exe -x", ""}, {"#L#appli \"deux mots\"", "appli deux mots"}}) {
        WindowFixture h;
        h.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n" + line + "\r\n\r\n");
        h.Start().Quit();
        EXPECT_EQ(h.launcher.started.empty() ? "" : h.launcher.started[0].first, expected) << line;
        EXPECT_EQ(h.end.ends, 1);
    }

    WindowFixture g;
    g.WriteIni("/data\r\nE:\r\n\r\n\r\n");
    g.Start().Quit();
    EXPECT_TRUE(g.launcher.started.empty());
    EXPECT_EQ(g.end.ends, 1);
    EXPECT_EQ(g.Ini(), "/data\r\nE:\r\n\r\n\r\n");
}

TEST(Configure, AsksThreeQuestionsWritesTheFileAndEnds) {
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n#L#C:\\Appli\\appli.exe\r\n+pdf\r\n");
    MainWindowLogic& logic = f.Start();
    f.dialog.answers = {{"D:\\Compta\\", 6}, {"f", 6}, {"C:\\Appli\\appli.exe", 6}};
    logic.Configure();
    ASSERT_EQ(f.dialog.shown.size(), 4u);
    EXPECT_EQ(f.dialog.shown[0].text, std::string(kAskDataFolder) + "C:\\Appli\\Donnees");
    EXPECT_EQ(f.dialog.shown[0].mode, 129);
    EXPECT_EQ(f.dialog.shown[1].text, std::string(kAskDestination) + "E:");
    // The linked program is offered without its prefix...
    EXPECT_EQ(f.dialog.shown[2].text, std::string(kAskLinkedProgram) + "C:\\Appli\\appli.exe");
    EXPECT_EQ(f.dialog.shown[3].text, kConfigured);
    EXPECT_EQ(f.dialog.shown[3].mode, 0);
    // ...so that the unchanged answer stores it once.
    EXPECT_EQ(f.Ini(), "D:\\Compta\r\nf:\r\n#L#C:\\Appli\\appli.exe\r\n+pdf\r\n");
    EXPECT_EQ(f.end.ends, 1);
}

TEST(Configure, EmptyOrCancelledAnswersKeepTheSettings) {
    WindowFixture f;
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\\Sauve\r\n\r\n\r\n");
    MainWindowLogic& logic = f.Start();
    f.dialog.answers = {{"", 2}, {"", 1}, {"#L#appli --base 2", 6}};
    logic.Configure();
    EXPECT_EQ(f.Ini(), "C:\\Appli\\Donnees\r\nE:\r\n#L#appli --base 2\r\n\r\n");
    EXPECT_EQ(f.end.ends, 1);
}

}  // namespace
}  // namespace kuv::backup::testing

namespace kuv::backup::testing {
namespace {

// What makes a start unattended, read without touching the link file.
TEST(LinkFileHasRequest, RequestsAndTheAutomaticCopyOnly) {
    const std::vector<std::pair<std::vector<std::pair<std::string, std::string>>, bool>> cases = {
        {{}, false},
        {{{"SAVAUT55", "1"}}, true},
        {{{"SAVAUT56", "NOSIG"}}, true},
        {{{"SAVAUT55", " "}, {"SAVAUT56", " "}}, false},
        {{{"RES2Z4IU4", "s:\\ex_pc\\  {AUTO}"}}, true},
        {{{"RES2Z4IU4", "s:\\ex_pc\\  {NOAT}"}}, false},
        {{{"nom_zip_s", "Compta"}, {"Dern:SAV:MAN", "03/01/2027 à 09:05:46390"}}, false},
    };
    for (const auto& [values, expected] : cases) {
        WindowFixture f;
        for (const auto& [key, value] : values) f.SetLink(key, value);
        const std::string path = f.work + "/" + kuv::kLinkFileName;
        const std::string before = ReadFile(path);
        EXPECT_EQ(LinkFileHasRequest(path), expected) << (values.empty() ? "" : values[0].second);
        EXPECT_EQ(ReadFile(path), before);
    }
}

}  // namespace
}  // namespace kuv::backup::testing
