// The data backup job end to end: real engine, real folders, fake window.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "DataBackupJobFakes.h"
#include "link/LinkFile.h"
#include "platform/Text.h"

using namespace kuv::backup;
using namespace kuv::backup::testing;

namespace {

const std::string kRule(80, '-');

std::string Compressible(size_t size) {
    std::string text;
    while (text.size() < size) text += "Ligne de compta 0042 ; client Dupont ; montant 1250,00\r\n";
    text.resize(size);
    return text;
}

struct ArchiveView {
    bool opened = false;
    std::string comment;
    std::vector<std::string> names;
};

ArchiveView OpenArchive(const std::string& path) {
    ArchiveView view;
    clsZip reader;
    view.opened = reader.ZipOpen(path);
    if (!view.opened) return view;
    view.comment = reader.ZipComment();
    for (std::int32_t i = 1; i <= reader.inFileCount(); ++i) view.names.push_back(reader.inFileName(i));
    reader.ZipClose();
    return view;
}

std::vector<std::string> ZipFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : kuv::platform::ListFolder(folder, "*.zip")) names.push_back(entry.name);
    return names;
}

class DataBackupJobTest : public ::testing::Test, public JobFixture {
protected:
    // The usual data folder: two files kept, three left out, a sub-folder.
    void FillDataFolder() {
        WriteFile(Data("Compta.DAT"), Compressible(20000));
        WriteFile(Data("Clients.idx"), "index des clients");
        WriteFile(Data("Notes.EXE.txt"), "notes");
        WriteFile(Data("vide.dat"), "");
        WriteFile(Data("fc_img_024.gif"), "GIF89a");
        kuv::platform::CreateFolderPath(Data("Sous"));
        WriteFile(Data("Sous/cache.dat"), "pas sauvegardé");
    }
    std::string LinkValue() const {
        return kuv::platform::Trim(kuv::ReadLinkValue(kLastBackupKey, work + "/W_intlog.wdo"));
    }
};

}  // namespace

TEST_F(DataBackupJobTest, DatedBackupToTheMediumWithReportAndRecord) {
    FillDataFolder();
    clock.tickSeconds = 1;  // 09:05:12, :13, :14 ... at each reading
    const BackupRunResult result = job->Run();

    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_TRUE(result.archiveWritten);
    EXPECT_EQ(result.savedCount, 2);
    EXPECT_EQ(result.ignoredCount, 3);
    EXPECT_EQ(result.archivePath, MediumArchive());

    // File1, the lists, the counter, the gauge, the lamps.
    EXPECT_EQ(view.fileFolder, "C:\\Appli\\Donnees");
    EXPECT_EQ(view.files, (std::vector<std::string>{"Clients.idx", "Compta.DAT", "fc_img_024.gif",
                                                    "Notes.EXE.txt", "vide.dat"}));
    EXPECT_EQ(view.saved, (std::vector<std::string>{"clients.idx", "compta.dat"}));
    // The sub-folder is named after the files: the backup does not hold it.
    EXPECT_EQ(view.ignored, (std::vector<std::string>{"fc_img_024.gif", "notes.exe.txt", "vide.dat", "sous\\"}));
    EXPECT_EQ(result.subFolderCount, 1);
    EXPECT_EQ(result.refusedCount, 0);
    EXPECT_EQ(view.counterHistory, (std::vector<std::string>{"", "1", "2"}));
    EXPECT_EQ(view.status, "");
    for (int lamp = 0; lamp < 4; ++lamp) EXPECT_EQ(view.lamps[lamp], kLampOn) << lamp;
    EXPECT_EQ(gauge.inits, std::vector<int>{5});
    EXPECT_EQ(gauge.steps, 5);
    EXPECT_EQ(gauge.text, "Sauvegarde Terminée");
    EXPECT_EQ(pump.waits, std::vector<int>{4000});
    EXPECT_TRUE(timers.armed.empty());
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});
    EXPECT_EQ(dialog.modes, std::vector<int>{0});

    // The archive: dated name, members under their names as listed, comment.
    const ArchiveView archive = OpenArchive(MediumArchive());
    ASSERT_TRUE(archive.opened);
    EXPECT_EQ(archive.names, (std::vector<std::string>{"Clients.idx", "Compta.DAT"}));
    EXPECT_EQ(archive.comment, "Sauvegarde C:\\Appli\\Donnees du 01-03-2027 - 09:05:13");
    const std::string out = root + "/restored";
    kuv::platform::CreateFolder(out);
    clsZip reader;
    ASSERT_TRUE(reader.ZipOpen(MediumArchive()));
    ASSERT_TRUE(reader.ExtractAllFiles(out, false, true, true));
    reader.ZipClose();
    EXPECT_EQ(ReadFile(out + "/Compta.DAT"), Compressible(20000));
    EXPECT_EQ(ReadFile(out + "/Clients.idx"), "index des clients");

    // The last-backup record.
    EXPECT_EQ(ReadFile(work + "/dernkuvp.txt"),
              "E:\\S_c_appli_donnees\r\nE:\\S_c_appli_donnees\\KuvSav-2701030905.zip\r\n");
    EXPECT_EQ(LinkValue(), "03/01/2027 à 09:05:46390");
    EXPECT_EQ(result.lastBackupValue, "03/01/2027 à 09:05:46390");

    // The report, in Windows-1252 with CR LF.
    const std::string report = kuv::platform::DecodeTextFile(Report());
    EXPECT_EQ(report, kRule + "\r\nDébut de sauvegarde 01-03-2027 - 09:05:12\r\n" + kRule + "\r\n" +
                          "OK  > clients.idx\r\nOK  > compta.dat\r\nNon - fc_img_024.gif\r\n"
                          "Non - notes.exe.txt\r\nNon - vide.dat\r\nNon - sous\\\r\n" +
                          kRule + "\r\n2 fichiers sauvegardés\r\n3 fichiers ignorés\r\n" +
                          "Fin de sauvegarde 01-03-2027 - 09:05:15\r\n" + kRule + "\r\n");
    EXPECT_NE(Report().find("D\xE9" "but"), std::string::npos);
}

TEST_F(DataBackupJobTest, WarningAboutTheCDiskUnlessNoWarningOrCopyMode) {
    FillDataFolder();
    view.selectedIndex = 1;
    view.selectedText = "C: Disque Fixe  [" + home + "]  ";
    settings.destinationRoot = "C:";
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    ASSERT_EQ(dialog.texts.size(), 2u);
    EXPECT_EQ(dialog.texts[0],
              "ATTENTION !\n\r\n\rLa sauvegarde sera effectuée sur le disque C: en cas de défaillance de votre "
              "disque dur vous ne pourrez pas recupérer cette sauvegarde !");
    EXPECT_EQ(dialog.texts[1], "Sauvegarde terminée !");
    EXPECT_TRUE(kuv::platform::IsRegularFile(home + "/S_c_appli_donnees/KuvSav-2701030905.zip"));

    dialog.texts.clear();
    settings.noWarning = true;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});

    dialog.texts.clear();
    settings.noWarning = false;
    settings.copyMode = true;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});
}

TEST_F(DataBackupJobTest, NoDestinationSelectedStopsBeforeWritingAnything) {
    FillDataFolder();
    view.selectedIndex = 0;
    view.selectedText = "(Clé non identifiée)";
    for (bool copyMode : {false, true}) {
        settings.copyMode = copyMode;
        dialog.texts.clear();
        view.background.clear();
        EXPECT_EQ(job->Run().outcome, BackupOutcome::NoDestination);
        EXPECT_EQ(view.background, (std::vector<int>{255, 192, 192}));
        EXPECT_EQ(dialog.texts, std::vector<std::string>{"Vous devez sélectionner un support de destination !"});
    }
    EXPECT_FALSE(kuv::platform::PathExists(work + "/rapport.txt"));
    EXPECT_FALSE(kuv::platform::PathExists(medium + "/S_c_appli_donnees"));
    EXPECT_FALSE(kuv::platform::PathExists(home + "/Bureau"));
    EXPECT_EQ(view.fileListings, 0);
}

TEST_F(DataBackupJobTest, DataFolderNotConfiguredOrMissingWritesNothing) {
    struct Case {
        std::string folder;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "Le répertoire des données n'est pas configuré !"},
        {"   ", "Le répertoire des données n'est pas configuré !"},
        {"C:\\Appli\\Absent", "Le répertoire des données est introuvable : C:\\Appli\\Absent"},
        {"Z:\\Donnees", "Le répertoire des données est introuvable : Z:\\Donnees"},  // no drive Z:
    };
    for (const Case& c : cases) {
        settings.dataFolder = c.folder;
        dialog.texts.clear();
        EXPECT_EQ(job->Run().outcome, BackupOutcome::NoDataFolder) << c.folder;
        EXPECT_EQ(view.status, c.message);
        EXPECT_EQ(dialog.texts, std::vector<std::string>{c.message});
        EXPECT_EQ(view.lamps[0], kLampFailed);
    }
    // A regular file is not a data folder either.
    WriteFile(home + "/fichier", "x");
    settings.dataFolder = "C:\\fichier";
    EXPECT_EQ(job->Run().outcome, BackupOutcome::NoDataFolder);

    // Silent mode: the message stays in Label5 only.
    settings.silentMode = true;
    settings.dataFolder = "";
    dialog.texts.clear();
    EXPECT_EQ(job->Run().outcome, BackupOutcome::NoDataFolder);
    EXPECT_TRUE(dialog.texts.empty());

    EXPECT_FALSE(kuv::platform::PathExists(work + "/rapport.txt"));
    EXPECT_FALSE(kuv::platform::PathExists(work + "/dernkuvp.txt"));
    EXPECT_FALSE(kuv::platform::PathExists(work + "/W_intlog.wdo"));
    EXPECT_FALSE(kuv::platform::PathExists(medium + "/S_c_appli_donnees"));
    EXPECT_TRUE(timers.armed.empty());
}

TEST_F(DataBackupJobTest, CopyModeWritesOnTheDesktopCreatingItAndKeepsNoRecord) {
    FillDataFolder();
    settings.copyMode = true;
    settings.desktopArchiveName = "Compta{D}X";
    ASSERT_FALSE(kuv::platform::PathExists(home + "/Bureau"));
    const BackupRunResult result = job->Run();
    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_EQ(result.archivePath, home + "/Bureau/Compta_030127.zip");
    const ArchiveView archive = OpenArchive(home + "/Bureau/Compta_030127.zip");
    ASSERT_TRUE(archive.opened);
    EXPECT_EQ(archive.names.size(), 2u);
    EXPECT_EQ(archive.comment, "Sauvegarde C:\\Appli\\Donnees du 01-03-2027 - 09:05:12");
    EXPECT_FALSE(kuv::platform::PathExists(medium + "/S_c_appli_donnees"));
    EXPECT_FALSE(kuv::platform::PathExists(work + "/dernkuvp.txt"));
    EXPECT_EQ(LinkValue(), "");
    EXPECT_EQ(result.lastBackupValue, "");
    EXPECT_NE(Report().find("2 fichiers sauvegard"), std::string::npos);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});

    // A plain desktop archive name.
    settings.desktopArchiveName = "kuvchier";
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_TRUE(kuv::platform::IsRegularFile(home + "/Bureau/kuvchier.zip"));
}

TEST_F(DataBackupJobTest, AutoQuitArmsTimer2AndSilentModeEndsWithoutDialog) {
    FillDataFolder();
    settings.autoQuit = true;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    ASSERT_EQ(timers.armed.size(), 1u);
    EXPECT_EQ(timers.armed[0].first, TimerId::Timer2);
    EXPECT_EQ(timers.armed[0].second, 1000);
    EXPECT_TRUE(dialog.texts.empty());

    settings.autoQuit = false;
    settings.silentMode = true;
    settings.copyMode = true;
    timers.armed.clear();
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_TRUE(timers.armed.empty());
    EXPECT_TRUE(dialog.texts.empty());
    EXPECT_EQ(view.lamps[3], kLampOn);
}

TEST_F(DataBackupJobTest, TwoRunsInTheSameMinuteReplaceTheArchive) {
    FillDataFolder();
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    WriteFile(Data("Nouveau.txt"), "ajouté entre les deux");
    clock.now.second = 48;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(ZipFilesIn(medium + "/S_c_appli_donnees"), std::vector<std::string>{"KuvSav-2701030905.zip"});
    const ArchiveView archive = OpenArchive(MediumArchive());
    EXPECT_EQ(archive.names.size(), 3u);
    EXPECT_EQ(archive.comment, "Sauvegarde C:\\Appli\\Donnees du 01-03-2027 - 09:05:48");

    // The next minute gives a new archive beside it.
    clock.now.minute = 6;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(ZipFilesIn(medium + "/S_c_appli_donnees"),
              (std::vector<std::string>{"KuvSav-2701030905.zip", "KuvSav-2701030906.zip"}));
}

TEST_F(DataBackupJobTest, FailedWriteEndsOnSupportPleinOuAbsent) {
    FillDataFolder();
    settings.autoQuit = true;
    // The backup folder's name is taken by a file: the folder cannot be
    // created and the archive cannot be written.
    WriteFile(medium + "/S_c_appli_donnees", "bloque");
    const BackupRunResult result = job->Run();
    EXPECT_EQ(result.outcome, BackupOutcome::WriteFailed);
    EXPECT_FALSE(result.archiveWritten);
    EXPECT_EQ(view.status, "Support plein ou absent !");
    // Nothing was saved: "Fichiers sauvegardés" does not claim otherwise.
    EXPECT_TRUE(view.saved.empty());
    EXPECT_EQ(view.counter, "0");
    EXPECT_EQ(result.savedCount, 0);
    // The engine's own report comes first; the job's text is the one left.
    ASSERT_GE(view.statusHistory.size(), 2u);
    EXPECT_EQ(view.statusHistory[view.statusHistory.size() - 2], "Clé pleine ou absente !");
    EXPECT_EQ(view.lamps[0], kLampOn);
    EXPECT_EQ(view.lamps[1], kLampFailed);
    EXPECT_EQ(view.lamps[2], kLampOff);
    EXPECT_EQ(view.lamps[3], kLampOff);
    EXPECT_TRUE(timers.armed.empty());  // the automatic run stays open
    // The failure is told, not only shown in Label5.
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"La sauvegarde a échoué : Support plein ou absent !"});
    EXPECT_EQ(dialog.modes, std::vector<int>{0});
    EXPECT_TRUE(pump.waits.empty());
    EXPECT_FALSE(kuv::platform::PathExists(work + "/dernkuvp.txt"));
    EXPECT_EQ(LinkValue(), "");
    EXPECT_EQ(result.lastBackupValue, "");
    // The report keeps its header and file lines and ends on the failure.
    const std::string report = kuv::platform::DecodeTextFile(Report());
    EXPECT_NE(report.find("OK  > compta.dat\r\n"), std::string::npos);
    EXPECT_NE(report.find("Non - vide.dat\r\n"), std::string::npos);
    EXPECT_EQ(report.find("fichiers sauvegardés"), std::string::npos);
    EXPECT_EQ(report.find("Fin de sauvegarde"), std::string::npos);
    EXPECT_EQ(report.substr(report.size() - 59), "Non - sous\\\r\nEchec de la sauvegarde 01-03-2027 - 09:05:12\r\n");

    // A medium that is absent (no drive F:) fails the same way; in silent
    // mode the failure stays on the window.
    settings.autoQuit = false;
    settings.silentMode = true;
    settings.destinationRoot = "F:";
    view.status.clear();
    dialog.texts.clear();
    EXPECT_EQ(job->Run().outcome, BackupOutcome::WriteFailed);
    EXPECT_EQ(view.status, "Support plein ou absent !");
    EXPECT_EQ(view.lamps[1], kLampFailed);
    EXPECT_TRUE(dialog.texts.empty());
    EXPECT_NE(kuv::platform::DecodeTextFile(Report()).find("Echec de la sauvegarde"), std::string::npos);
}

// The key was ejected after the program started: its letter is still in the
// drive list, and its mount point may stay behind as an empty folder of the
// system disk (a fixed mount point). The backup must not land there.
TEST_F(DataBackupJobTest, AMediumNoLongerMountedIsAMissingMedium) {
    FillDataFolder();
    drives.absent = {'e'};
    EXPECT_EQ(job->Run().outcome, BackupOutcome::WriteFailed);
    EXPECT_EQ(view.status, "Support plein ou absent !");
    EXPECT_EQ(view.lamps[1], kLampFailed);
    EXPECT_FALSE(kuv::platform::PathExists(medium + "/S_c_appli_donnees"));
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"La sauvegarde a échoué : Support plein ou absent !"});
    EXPECT_EQ(LinkValue(), "");

    // Copy mode writes on the desktop: the ejected key does not matter there.
    settings.copyMode = true;
    EXPECT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_TRUE(kuv::platform::IsRegularFile(home + "/Bureau/kuvchier.zip"));
}

TEST_F(DataBackupJobTest, RunAfterAFailedWriteStartsFromAnEmptyPendingList) {
    FillDataFolder();
    WriteFile(medium + "/S_c_appli_donnees", "bloque");
    ASSERT_EQ(job->Run().outcome, BackupOutcome::WriteFailed);
    kuv::platform::RemoveFile(medium + "/S_c_appli_donnees");

    // A member left pending by someone else is not backed up either.
    WriteFile(root + "/etranger.txt", "pas des données");
    engine.FileAdd(root + "/etranger.txt");

    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    const ArchiveView archive = OpenArchive(MediumArchive());
    ASSERT_TRUE(archive.opened);
    EXPECT_EQ(archive.names, (std::vector<std::string>{"Clients.idx", "Compta.DAT"}));
    EXPECT_EQ(engine.FileCount(), 0);
}

TEST_F(DataBackupJobTest, AFileTheEngineRefusesIsLeftOut) {
    FillDataFolder();
    // The file vanishes after it was looked at and before the engine reads
    // it, as when another program deletes or locks it during the backup.
    pump.onDoEvents = [this] {
        if (gauge.steps == 3) kuv::platform::RemoveFile(Data("Compta.DAT"));
    };
    // A name the archive cannot carry back is refused by the engine.
    WriteFile(Data("a\\b.txt"), "nom avec barre");
    std::vector<std::string> windowReports;  // the window logs them
    engine.Events.FileZipErr = [&](std::string& path, std::int32_t& number, std::string&) {
        windowReports.push_back(kuv::platform::FileNameOf(path) + " " + std::to_string(number));
    };

    const BackupRunResult result = job->Run();
    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_TRUE(result.archiveWritten);
    EXPECT_EQ(result.archivePath, MediumArchive());
    EXPECT_EQ(view.saved, std::vector<std::string>{"clients.idx"});
    EXPECT_EQ(view.ignored, (std::vector<std::string>{"a\\b.txt", "compta.dat", "fc_img_024.gif",
                                                      "notes.exe.txt", "vide.dat", "sous\\"}));
    EXPECT_EQ(view.counter, "1");
    EXPECT_EQ(result.savedCount, 1);
    EXPECT_EQ(result.ignoredCount, 3);
    EXPECT_EQ(result.refusedCount, 2);
    // Not a plain success: the refused files carry the engine's reason, are
    // counted apart, the last lamp shows the failure and the message says so.
    const std::string report = kuv::platform::DecodeTextFile(Report());
    EXPECT_NE(report.find("Non - compta.dat (Ce fichier n'existe pas (n° erreur zip))\r\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("Non - a\\b.txt ("), std::string::npos);
    EXPECT_EQ(report.find("Non - a\\b.txt\r\n"), std::string::npos);
    EXPECT_NE(report.find("Non - vide.dat\r\n"), std::string::npos);  // left out by the rules, as before
    EXPECT_NE(report.find("1 fichiers sauvegardés\r\n3 fichiers ignorés\r\n"
                          "2 fichiers en erreur, non sauvegardés\r\nFin de sauvegarde"),
              std::string::npos);
    EXPECT_EQ(view.lamps[0], kLampOn);
    EXPECT_EQ(view.lamps[2], kLampOn);
    EXPECT_EQ(view.lamps[3], kLampFailed);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée, mais 2 fichiers n'ont pas pu être "
                                                     "sauvegardés : voir rapport.txt !"});
    // The archive is good: the record is written.
    EXPECT_EQ(LinkValue(), "03/01/2027 à 09:05:46390");
    EXPECT_EQ(OpenArchive(MediumArchive()).names, std::vector<std::string>{"Clients.idx"});

    // An automatic run with a refused file still ends by itself.
    settings.autoQuit = true;
    dialog.texts.clear();
    pump.onDoEvents = nullptr;
    clock.now.minute = 7;
    const BackupRunResult automatic = job->Run();
    EXPECT_EQ(automatic.outcome, BackupOutcome::Completed);
    EXPECT_EQ(automatic.refusedCount, 1);
    EXPECT_EQ(timers.armed, (std::vector<std::pair<TimerId, int>>{{TimerId::Timer2, 1000}}));
    EXPECT_TRUE(dialog.texts.empty());

    // The window's own handler heard each report (to log it), while the
    // job kept them for its report; it is the window's handler again
    // afterwards.
    EXPECT_EQ(windowReports, (std::vector<std::string>{"a\\b.txt 22", "Compta.DAT 10", "a\\b.txt 22"}));
    ASSERT_TRUE(static_cast<bool>(engine.Events.FileZipErr));
    std::string path = "/x/y";
    std::int32_t number = 0;
    std::string text;
    engine.Events.FileZipErr(path, number, text);
    EXPECT_EQ(windowReports.size(), 4u);
}

// With no room in the temporary folder the engine keeps the added files to
// copy them from the disk when it writes the archive. A file that vanishes
// in between is not in the archive: it must be reported as left out, not as
// saved.
TEST_F(DataBackupJobTest, AFileGoneBeforeTheArchiveIsWrittenIsReportedLeftOut) {
    FillDataFolder();
    const char* previous = std::getenv("TMPDIR");
    const std::string previousTmp = previous ? previous : "";
    setenv("TMPDIR", (root + "/no-temporary-folder").c_str(), 1);
    bool removed = false;
    pump.onDoEvents = [&] {
        if (removed || view.saved.size() != 2) return;
        removed = kuv::platform::RemoveFile(Data("Compta.DAT"));
    };
    const BackupRunResult result = job->Run();
    if (previous) setenv("TMPDIR", previousTmp.c_str(), 1);
    else unsetenv("TMPDIR");

    ASSERT_TRUE(removed);
    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_EQ(OpenArchive(MediumArchive()).names, std::vector<std::string>{"Clients.idx"});
    EXPECT_EQ(view.saved, std::vector<std::string>{"clients.idx"});
    EXPECT_EQ(view.ignored,
              (std::vector<std::string>{"compta.dat", "fc_img_024.gif", "notes.exe.txt", "vide.dat", "sous\\"}));
    EXPECT_EQ(view.counter, "1");
    EXPECT_EQ(result.savedCount, 1);
    EXPECT_EQ(result.ignoredCount, 3);
    EXPECT_EQ(result.refusedCount, 1);
    const std::string report = kuv::platform::DecodeTextFile(Report());
    EXPECT_EQ(report.find("OK  > compta.dat"), std::string::npos);
    EXPECT_NE(report.find("OK  > clients.idx\r\nNon - compta.dat ("), std::string::npos) << report;
    EXPECT_NE(report.find(")\r\nNon - fc_img_024.gif\r\n"), std::string::npos);
    EXPECT_NE(report.find("1 fichiers sauvegardés\r\n3 fichiers ignorés\r\n1 fichiers en erreur"), std::string::npos);
    EXPECT_EQ(view.lamps[3], kLampFailed);
}

TEST_F(DataBackupJobTest, AnArchiveThatDoesNotReadBackIsAFailedBackup) {
    FillDataFolder();
    settings.autoQuit = true;
    // The medium spoils the written data: when the job opens the archive to
    // check it, every byte of the first member's data is flipped.
    engine.Events.ProgressLoad = [this](std::int32_t percent, bool&) {
        if (percent == 100) SpoilFirstMember(MediumArchive());
    };
    std::vector<std::string> windowErrors;  // the window logs them
    engine.Events.ZipError = [&](std::int32_t number, const std::string& text, bool&) {
        windowErrors.push_back(std::to_string(number) + " " + text);
    };
    const BackupRunResult result = job->Run();
    EXPECT_EQ(result.outcome, BackupOutcome::VerifyFailed);
    // The failing member was named to the window's handler.
    ASSERT_EQ(windowErrors.size(), 1u);
    EXPECT_NE(windowErrors[0].find("Clients.idx"), std::string::npos) << windowErrors[0];
    EXPECT_FALSE(result.archiveWritten);
    EXPECT_EQ(view.status, "La sauvegarde ne se relit pas correctement, support défectueux ?");
    EXPECT_TRUE(view.saved.empty());
    EXPECT_EQ(view.lamps[1], kLampFailed);
    EXPECT_EQ(view.lamps[2], kLampOff);
    EXPECT_EQ(view.lamps[3], kLampOff);
    EXPECT_FALSE(engine.ZipIsOpen());
    EXPECT_TRUE(timers.armed.empty());
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"La sauvegarde a échoué : La sauvegarde ne se relit pas "
                                                     "correctement, support défectueux ?"});
    EXPECT_TRUE(pump.waits.empty());
    EXPECT_FALSE(kuv::platform::PathExists(work + "/dernkuvp.txt"));
    EXPECT_EQ(LinkValue(), "");
    EXPECT_EQ(Report().find("fichiers sauvegard"), std::string::npos);
    EXPECT_NE(Report().find("\r\nEchec de la sauvegarde 01-03-2027 - 09:05:12\r\n"), std::string::npos);
}

TEST_F(DataBackupJobTest, ASecondStartDuringARunIsIgnored) {
    FillDataFolder();
    std::vector<BackupOutcome> nested;
    int attempts = 0;
    pump.onDoEvents = [&] {
        if (attempts++ < 3) nested.push_back(job->Run().outcome);
    };
    EXPECT_FALSE(job->IsRunning());
    const BackupRunResult result = job->Run();
    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_EQ(nested, std::vector<BackupOutcome>(3, BackupOutcome::AlreadyRunning));
    EXPECT_EQ(view.fileListings, 1);
    EXPECT_EQ(gauge.inits.size(), 1u);
    EXPECT_EQ(view.saved.size(), 2u);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});
    EXPECT_EQ(OpenArchive(MediumArchive()).names.size(), 2u);
    EXPECT_FALSE(job->IsRunning());

    // Once done, the job starts again.
    pump.onDoEvents = nullptr;
    EXPECT_EQ(job->Run().outcome, BackupOutcome::Completed);
}

TEST_F(DataBackupJobTest, NothingToSaveEndsAsASuccessWithoutArchive) {
    WriteFile(Data("vide.dat"), "");
    WriteFile(Data("appli.exe"), "MZ");
    const BackupRunResult first = job->Run();
    ASSERT_EQ(first.outcome, BackupOutcome::Completed);
    EXPECT_FALSE(first.archiveWritten);
    EXPECT_TRUE(ZipFilesIn(medium + "/S_c_appli_donnees").empty());
    EXPECT_NE(Report().find("0 fichiers sauvegard\xE9s\r\n2 fichiers ignor\xE9s\r\n"), std::string::npos);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"Sauvegarde terminée !"});
    // The record keeps the previous medium archive path: none yet.
    EXPECT_EQ(ReadFile(work + "/dernkuvp.txt"), "E:\\S_c_appli_donnees\r\n\r\n");
    EXPECT_EQ(LinkValue(), "03/01/2027 à 09:05:46390");

    // After a real backup the record keeps that backup's path.
    WriteFile(Data("compta.dat"), "données");
    ASSERT_TRUE(job->Run().archiveWritten);
    kuv::platform::RemoveFile(Data("compta.dat"));
    clock.now.minute = 30;
    ASSERT_FALSE(job->Run().archiveWritten);
    EXPECT_EQ(ReadFile(work + "/dernkuvp.txt"),
              "E:\\S_c_appli_donnees\r\nE:\\S_c_appli_donnees\\KuvSav-2701030905.zip\r\n");
}

TEST_F(DataBackupJobTest, LinuxDataFolderAndOptionsFromTheSettings) {
    FillDataFolder();
    WriteFile(Data("facture.pdf"), "%PDF");
    WriteFile(Data("ww_bt_ok.bmp"), "BM");
    WriteFile(Data("lisez.txt"), "texte");
    settings.dataFolder = data;  // an absolute Linux path works as written
    settings.backupOptions = "+pdf -txt NONBOUTONS";
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(view.saved, (std::vector<std::string>{"clients.idx", "compta.dat", "facture.pdf"}));
    EXPECT_EQ(view.ignored, (std::vector<std::string>{"fc_img_024.gif", "lisez.txt", "notes.exe.txt", "vide.dat",
                                                      "ww_bt_ok.bmp", "sous\\"}));
    EXPECT_EQ(OpenArchive(MediumArchive()).comment, "Sauvegarde " + data + " du 01-03-2027 - 09:05:12");
}

TEST_F(DataBackupJobTest, TheWindowLivesWhileTheEngineWorks) {
    // A large file: the engine lets window events run while it compresses,
    // writes and checks it, through the job's pump.
    std::string big;
    for (long long i = 0; big.size() < (6u << 20); ++i) big += std::to_string(i * 7919 % 100003) + ";";
    WriteFile(Data("grand.dat"), big);
    ASSERT_FALSE(static_cast<bool>(engine.Events.DoEvents));
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    // The job's own calls: two per file, one before writing, one after the record.
    EXPECT_GT(pump.doEvents, 2 * 1 + 1 + 1);
    EXPECT_FALSE(static_cast<bool>(engine.Events.DoEvents));

    // A window that set its own handler keeps it and gets the calls.
    int windowCalls = 0;
    engine.Events.DoEvents = [&] { ++windowCalls; };
    pump.doEvents = 0;
    clock.now.minute = 6;
    ASSERT_EQ(job->Run().outcome, BackupOutcome::Completed);
    EXPECT_EQ(pump.doEvents, 2 * 1 + 1 + 1);
    EXPECT_GT(windowCalls, 0);
}

TEST_F(DataBackupJobTest, NetworkDestinationResolvesThroughItsMountedShare) {
    FillDataFolder();
    kuv::platform::CreateFolderPath(root + "/nas");
    drives.list.push_back({"f: [\\\\nas\\sauve]", root + "/nas", kuv::platform::kDriveRemote, "//nas/sauve"});
    settings.destinationRoot = "\\\\nas\\sauve";
    view.selectedIndex = 3;
    view.selectedText = "\\\\nas\\sauve";
    const BackupRunResult result = job->Run();
    ASSERT_EQ(result.outcome, BackupOutcome::Completed);
    EXPECT_EQ(result.archivePath, root + "/nas/S_c_appli_donnees/KuvSav-2701030905.zip");
    EXPECT_EQ(ReadFile(work + "/dernkuvp.txt"),
              "\\\\nas\\sauve\\S_c_appli_donnees\r\n\\\\nas\\sauve\\S_c_appli_donnees\\KuvSav-2701030905.zip\r\n");

    // An unmounted share is a missing medium; nothing lands on the system disk.
    settings.destinationRoot = "\\\\autre\\partage";
    EXPECT_EQ(job->Run().outcome, BackupOutcome::WriteFailed);
    EXPECT_EQ(view.status, "Support plein ou absent !");
}

namespace {
long FatFileSystem(const std::string&) { return 0x4d44; }  // what statfs says of vfat and msdos
}  // namespace

// A FAT medium cannot hold a file of 4 GiB: the backup says so in Label5
// and the previous archive of that name stays as it was.
TEST_F(DataBackupJobTest, ArchiveTooLargeForAFatMediumSaysWhichMediumToUse) {
    FillDataFolder();
    // The archive of an earlier run at the same minute.
    ASSERT_TRUE(kuv::platform::CreateFolderPath(medium + "/S_c_appli_donnees"));
    const std::string before = "archive précédente";
    WriteFile(MediumArchive(), before);
    // A sparse data file of 4.5 GiB; with no temporary folder the engine
    // plans it stored from the disk, so that nothing of it is compressed.
    WriteFile(Data("Base.dat"), "");
    ASSERT_EQ(truncate(Data("Base.dat").c_str(), (9ll << 30) / 2), 0);
    const char* previous = std::getenv("TMPDIR");
    const std::string previousTmp = previous ? previous : "";
    setenv("TMPDIR", (root + "/no-temporary-folder").c_str(), 1);
    kuv::platform::SetFileSystemTypeForTesting(&FatFileSystem);
    dialog.texts.clear();
    const BackupRunResult result = job->Run();
    kuv::platform::SetFileSystemTypeForTesting(nullptr);
    if (previous) setenv("TMPDIR", previousTmp.c_str(), 1);
    else unsetenv("TMPDIR");

    const std::string text =
        "Sauvegarde trop volumineuse pour ce support (fichiers de 4 Go au plus) : utilisez un support formaté en "
        "exFAT ou NTFS.";
    EXPECT_EQ(result.outcome, BackupOutcome::WriteFailed);
    EXPECT_EQ(view.status, text) << ::testing::PrintToString(view.statusHistory);
    EXPECT_EQ(view.lamps[1], kLampFailed);
    EXPECT_EQ(dialog.texts, std::vector<std::string>{"La sauvegarde a échoué : " + text});
    std::string after;
    ASSERT_TRUE(kuv::platform::ReadWholeFile(MediumArchive(), after));
    EXPECT_EQ(after, before);
    EXPECT_EQ(ZipFilesIn(medium + "/S_c_appli_donnees"), std::vector<std::string>{"KuvSav-2701030905.zip"});
}
