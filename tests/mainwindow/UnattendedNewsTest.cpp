// What the main window tells beyond itself: the desktop's notifications of an
// unattended backup or copy that failed or left files out, the log of what
// the window does not show (startup steps that went on past a failure, the
// engine's per-file reports, the read-back's failing member), and the
// destination list following the drives while the window is open.

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QString>

#include <cstdlib>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "MainWindowFakes.h"
#include "mainwindow/DestinationList.h"
#include "ui/LogCategories.h"

namespace kuv::backup::testing {
namespace {

std::string Refused(int count) { return BackupDoneWithErrors(count); }

// ---- notifications of the requested (unattended) backups ----

struct NewsCase {
    const char* what;
    const char* request;           // "SAVAUT56" (desktop, NOSIG) or "SAVAUT55" (C:)
    void (*prepare)(WindowFixture&);
    const char* summary;           // nullptr: no notification
    std::string body;
    size_t dialogsBefore;          // dialogs shown before the notification
};

void DataOk(WindowFixture& f) {
    WriteFile(f.data + "/compta.dat", "écritures");
    WriteFile(f.data + "/clients.csv", "Dupont;Lyon");
    f.WriteIni("C:\\Appli\\Donnees\r\nE:\r\n\r\n\r\n");
}
void DataMissing(WindowFixture& f) { f.WriteIni("C:\\Appli\\Absent\r\nE:\r\n\r\n\r\n"); }
void DataNotSet(WindowFixture& f) { f.WriteIni("\r\nE:\r\n\r\n\r\n"); }
void DesktopUnwritable(WindowFixture& f) {
    DataOk(f);
    WriteFile(f.root + "/fichier", "pas un dossier");
    f.folders.desktop = f.root + "/fichier/Bureau";
}
void DiskCFull(WindowFixture& f) {
    DataOk(f);
    WriteFile(f.home + "/S_c_appli_donnees", "pas un dossier");  // the C: backup cannot be written
}
void OneFileRefused(WindowFixture& f) {
    DataOk(f);
    WriteFile(f.data + "/devis\\2027.txt", "une barre oblique inverse");  // no archive can carry it back
}

class RequestNews : public ::testing::TestWithParam<NewsCase> {};

TEST_P(RequestNews, AreToldToTheDesktopBeforeTheWindowsMessage) {
    const NewsCase& c = GetParam();
    WindowFixture f;
    c.prepare(f);
    f.SetLink(c.request, std::string(c.request) == "SAVAUT56" ? "NOSIG" : "1");
    f.SetLink("NOMFICATO", "Compta{D}X");
    MainWindowLogic& logic = f.Start();
    logic.OnTimer(std::string(c.request) == "SAVAUT56" ? TimerId::Timer111 : TimerId::Timer1);
    if (c.summary == nullptr) {
        EXPECT_TRUE(f.notifier.sent.empty()) << f.notifier.sent.front().summary;
        return;
    }
    ASSERT_EQ(f.notifier.sent.size(), 1u);
    EXPECT_EQ(f.notifier.sent[0].summary, c.summary);
    EXPECT_EQ(f.notifier.sent[0].body, c.body);
    EXPECT_EQ(f.notifier.sent[0].dialogsBefore, c.dialogsBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestNews,
    ::testing::Values(
        NewsCase{"success", "SAVAUT56", DataOk, nullptr, "", 0},
        NewsCase{"data folder missing", "SAVAUT56", DataMissing, kNotifyBackupFailed,
                 "Le répertoire des données est introuvable : C:\\Appli\\Absent", 0},
        NewsCase{"data folder not configured", "SAVAUT56", DataNotSet, kNotifyBackupFailed,
                 "Le répertoire des données n'est pas configuré !", 0},
        NewsCase{"desktop cannot be written", "SAVAUT56", DesktopUnwritable, kNotifyBackupFailed,
                 "Support plein ou absent !", 0},
        // The C: warning comes first (no NOSIG); the failure is told before
        // its own message.
        NewsCase{"C: backup cannot be written", "SAVAUT55", DiskCFull, kNotifyBackupFailed,
                 "Support plein ou absent !", 1},
        NewsCase{"a file refused", "SAVAUT56", OneFileRefused, kNotifyBackupIncomplete, Refused(1), 0},
        NewsCase{"C: backup with a file refused", "SAVAUT55", OneFileRefused, kNotifyBackupIncomplete, Refused(1),
                 1}),
    [](const ::testing::TestParamInfo<NewsCase>& info) { return "Case" + std::to_string(info.index); });

// The archive written does not read back: the failure is notified, and the
// failing member is logged under kuvzip.zip.
TEST(RequestNewsReadBack, ASpoiledArchiveIsNotifiedAndItsMemberLogged) {
    WindowFixture f;
    DataOk(f);
    f.SetLink("SAVAUT56", "NOSIG");
    f.SetLink("NOMFICATO", "Compta");
    MainWindowLogic& logic = f.Start();
    const std::string archive = f.home + "/Bureau/Compta.zip";
    logic.Engine()->Events.ProgressLoad = [&](std::int32_t percent, bool&) {
        if (percent == 100) SpoilFirstMember(archive);
    };
    LogCapture log;
    logic.OnTimer(TimerId::Timer111);
    ASSERT_EQ(f.notifier.sent.size(), 1u);
    EXPECT_EQ(f.notifier.sent[0].summary, kNotifyBackupFailed);
    EXPECT_EQ(f.notifier.sent[0].body, "La sauvegarde ne se relit pas correctement, support défectueux ?");
    EXPECT_TRUE(log.Has("kuvzip.zip", QtWarningMsg, "clients.csv")) << log.All();
    EXPECT_TRUE(log.Has("kuvzip.backup", QtWarningMsg, "La sauvegarde ne se relit pas")) << log.All();
}

// The user is looking: a backup started by "Sauvegarder les DONNEES" tells
// nothing beyond the window, even after a request that failed.
TEST(RequestNewsInteractive, TheUsersOwnBackupIsNotNotified) {
    WindowFixture f;
    DataMissing(f);
    f.SetLink("SAVAUT56", "NOSIG");
    MainWindowLogic& logic = f.Start();
    logic.OnTimer(TimerId::Timer111);
    ASSERT_EQ(f.notifier.sent.size(), 1u);
    logic.BackupClicked();
    EXPECT_EQ(f.view.status, "Le répertoire des données est introuvable : C:\\Appli\\Absent");
    EXPECT_EQ(f.notifier.sent.size(), 1u);

    WindowFixture g;
    OneFileRefused(g);
    g.Start().BackupClicked();
    EXPECT_TRUE(g.notifier.sent.empty());
}

// ---- the automatic copy, through the same notifier ----

TEST(CopyNews, AFailedAutomaticCopyIsNotified) {
    WindowFixture f;
    DataOk(f);
    f.SetLink("RES2Z4IU4", "c:\\absent\\{AUTO}{NOAT}{CLOS}");
    MainWindowLogic& logic = f.Start();
    LogCapture log;
    logic.OnTimer(TimerId::Timer3);
    EXPECT_TRUE(log.Has("kuvzip.operations", QtWarningMsg, "automatic copy failed")) << log.All();
    ASSERT_EQ(f.notifier.sent.size(), 1u);
    EXPECT_EQ(f.notifier.sent[0].summary, kNotifyCopyFailed);
    EXPECT_EQ(f.notifier.sent[0].dialogsBefore, 0u);
    ASSERT_EQ(f.dialog.shown.size(), 1u);
    EXPECT_EQ(f.notifier.sent[0].body, f.dialog.shown[0].text);
}

// A backup that lacks a file is still copied; what it lacks is told: by a
// notification when nobody watches, in the final message when the user
// asked for the copy.
TEST(CopyNews, WhatTheCopiedBackupLacksIsTold) {
    WindowFixture f;
    OneFileRefused(f);
    kuv::platform::CreateFolderPath(f.home + "/ex");
    f.SetLink("RES2Z4IU4", "c:\\ex\\{AUTO}{NOAT}{CLOS}");
    MainWindowLogic& logic = f.Start();
    logic.OnTimer(TimerId::Timer3);
    EXPECT_TRUE(kuv::platform::IsRegularFile(f.home + "/ex/kuvchier.zip"));
    ASSERT_EQ(f.notifier.sent.size(), 1u);
    EXPECT_EQ(f.notifier.sent[0].summary, kNotifyBackupIncomplete);
    EXPECT_EQ(f.notifier.sent[0].body, Refused(1));

    WindowFixture g;
    OneFileRefused(g);
    kuv::platform::CreateFolderPath(g.home + "/Dropbox");
    g.Start().CopyTo(operations::CopyTarget::Dropbox);
    EXPECT_TRUE(kuv::platform::IsRegularFile(g.home + "/Dropbox/kuvchier.zip"));
    EXPECT_TRUE(g.notifier.sent.empty());
    ASSERT_FALSE(g.dialog.shown.empty());
    EXPECT_NE(g.dialog.shown.back().text.find(Refused(1)), std::string::npos) << g.dialog.shown.back().text;
}

// ---- logging ----

TEST(WindowLog, StartupStepsThatGoOnPastAFailureAreLogged) {
    WindowFixture f;
    DataMissing(f);
    // The link file cannot be written: the one-start name cannot be cleared.
    kuv::platform::CreateFolderPath(f.work + "/" + kuv::kLinkFileName);
    LogCapture log;
    f.Start();
    EXPECT_TRUE(log.Has("kuvzip.startup", QtWarningMsg, "data folder C:\\Appli\\Absent not found")) << log.All();
    EXPECT_TRUE(log.Has("kuvzip.startup", QtWarningMsg, "cannot clear nom_zip_s")) << log.All();

}

TEST(WindowLog, TheEnginesPerFileReportsAreLoggedNotShown) {
    WindowFixture f;
    OneFileRefused(f);
    MainWindowLogic& logic = f.Start();
    LogCapture log;
    logic.BackupClicked();
    EXPECT_TRUE(log.Has("kuvzip.zip", QtWarningMsg, "FileZipErr 22")) << log.All();
    EXPECT_TRUE(log.Has("kuvzip.zip", QtWarningMsg, "devis\\2027.txt")) << log.All();
    EXPECT_EQ(f.view.status, "");  // Label5 shows no engine report
}

// Below warnings the program's categories say nothing unless asked, except
// the restore window's, which carries the list "Voir le contenu du Zip"
// writes.
TEST(WindowLog, CategoriesAreQuietBelowWarningsExceptTheRestoreList) {
    if (std::getenv("QT_LOGGING_RULES") || std::getenv("QT_LOGGING_CONF"))
        GTEST_SKIP() << "logging rules set from outside";
    for (const QLoggingCategory* category : {&lcStartup(), &lcBackup(), &lcZip(), &lcOperations(), &lcDrives(),
                                             &lcNotify()}) {
        EXPECT_FALSE(category->isInfoEnabled()) << category->categoryName();
        EXPECT_FALSE(category->isDebugEnabled()) << category->categoryName();
        EXPECT_TRUE(category->isWarningEnabled()) << category->categoryName();
    }
    EXPECT_TRUE(lcRestore().isInfoEnabled());
    EXPECT_TRUE(lcRestore().isDebugEnabled());
}

// ---- the drives, followed ----

const kuv::platform::DriveEntry kOtherKey{"e: [AAA]", "/media/jean/AAA", kuv::platform::kDriveRemovable, "/dev/sdc1"};

TEST(DriveWatch, ArmedAtStartupAndAgainAfterEachLook) {
    WindowFixture f;
    DataOk(f);
    MainWindowLogic& logic = f.Start();
    ASSERT_FALSE(f.timers.armed.empty());
    EXPECT_EQ(f.timers.armed.back(), std::make_pair(TimerId::DriveWatch, kDriveWatchMs));
    f.timers.armed.clear();
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.timers.armed, (std::vector<std::pair<TimerId, int>>{{TimerId::DriveWatch, 0},
                                                                     {TimerId::DriveWatch, kDriveWatchMs}}));
}

// A key plugged in before the chosen one moves it from E: to F:: the list
// follows, the choice stays on the same key under its new letter, Text1
// follows it, and Label5 (here a failure) and the focus are left alone.
TEST(DriveWatch, AKeyPluggedInKeepsTheChosenKeyUnderItsNewLetter) {
    WindowFixture f;
    DataOk(f);
    MainWindowLogic& logic = f.Start();
    ASSERT_EQ(logic.Destinations().SelectedText(), "E: Clé / Carte   [CLE]  ");
    f.view.status = "Support plein ou absent !";
    const int focus = f.view.focusText1;

    f.drives.list[1].text = "f: [CLE]";
    f.drives.list.insert(f.drives.list.begin() + 1, kOtherKey);
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.view.entries, (std::vector<std::string>{kNoDestinationEntry, "C: Disque Fixe   [" + f.home + "]  ",
                                                        "E: Clé / Carte   [AAA]  ", "F: Clé / Carte   [CLE]  "}));
    EXPECT_EQ(f.view.selected, 3);
    EXPECT_EQ(logic.Settings().destinationRoot, "F:");
    EXPECT_EQ(f.view.destinationFolder, f.medium + "/S_c_appli_donnees");
    EXPECT_EQ(f.view.status, "Support plein ou absent !");
    EXPECT_EQ(f.view.focusText1, focus);
    EXPECT_EQ(logic.DriveList().size(), 3u);

    // The chosen key pulled out: no destination, in red; Text1 empty.
    f.drives.list.pop_back();
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.view.selected, 0);
    EXPECT_EQ(f.view.comboColour, (std::vector<int>{255, 192, 192}));
    EXPECT_EQ(f.view.destinationFolder, "");
}

// While the volumes' mark stays the same nothing more is asked of the
// machine; a new mark with the same drives changes nothing on screen.
TEST(DriveWatch, CheapWhileTheVolumesStayTheSame) {
    WindowFixture f;
    DataOk(f);
    f.drives.mark = "mount table 1";
    MainWindowLogic& logic = f.Start();
    const int listings = f.drives.listings;
    for (int i = 0; i < 5; ++i) logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.drives.listings, listings);

    f.drives.mark = "mount table 2";
    f.view.selected = -7;  // changed on screen only if the list is rebuilt
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.drives.listings, listings + 1);
    EXPECT_EQ(f.view.selected, -7);
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(f.drives.listings, listings + 1);
}

// A backup in progress keeps the list it started with; the first look after
// it sees the change.
TEST(DriveWatch, NotDuringABackup) {
    WindowFixture f;
    DataOk(f);
    MainWindowLogic& logic = f.Start();
    bool looked = false;
    f.pump.onDoEvents = [&] {
        if (looked) return;
        looked = true;
        f.drives.list.push_back({"f: [AUTRE]", "/media/jean/AUTRE", kuv::platform::kDriveRemovable, "/dev/sdd1"});
        logic.OnTimer(TimerId::DriveWatch);
        EXPECT_EQ(logic.DriveList().size(), 2u);
    };
    EXPECT_EQ(logic.BackupClicked().outcome, BackupOutcome::Completed);
    ASSERT_TRUE(looked);
    f.pump.onDoEvents = nullptr;
    logic.OnTimer(TimerId::DriveWatch);
    EXPECT_EQ(logic.DriveList().size(), 3u);
    EXPECT_EQ(logic.Destinations().SelectedText(), "E: Clé / Carte   [CLE]  ");
}

}  // namespace
}  // namespace kuv::backup::testing
