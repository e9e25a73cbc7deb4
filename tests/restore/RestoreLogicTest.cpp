// The restore window's logic without widgets: finding the backups, the cloud
// modes, the restore as one safe step, and the single-file tools.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "RestoreFakes.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "restore/BackupListing.h"

namespace kuv::restore::testing {
namespace {

using readertest::Exists;

std::time_t MTime(const std::string& path) {
    std::time_t t = 0;
    kuv::platform::ModificationTime(path, t);
    return t;
}

std::time_t MemberTime() { return kuv::platform::FromLocalDateTime({2026, 12, 7, 10, 15, 0}); }

class RestoreLogicTest : public RestoreFixture, public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(data + "/compta.dat", "compta du jour");
        WriteFile(data + "/extra.txt", "pas dans la sauvegarde");
    }
    // The entry of the backup named name, selected in List1.
    void Choose(const std::string& name) {
        for (size_t i = 0; i < Logic().List1().size(); ++i)
            if (ArchiveNameOfList1Entry(Logic().List1()[i]) == name) Logic().List1Click(static_cast<int>(i));
    }
};

TEST_F(RestoreLogicTest, ListsTheBackupsOfTheBackupFolderInFileOrder) {
    for (const char* name : {"KuvSav-2612071015.zip", "kuvsav-2701030905.zip", "kuvchier.zip", "notes.zip",
                             "Kuv-Zip.ini"})
        WriteFile(backups + "/" + name, "x");
    kuv::platform::CreateFolderPath(backups + "/kuvsav-dossier.zip");  // a folder is not a file
    Load();
    EXPECT_EQ(Logic().DriveIndex(), 1);
    EXPECT_EQ(view.driveSelected, 1);
    EXPECT_EQ(view.drives, (std::vector<std::string>{"c: [" + home + "]", "e: [CLE]"}));
    EXPECT_EQ(Logic().FolderPath(), backups);
    EXPECT_EQ(view.folders, (std::vector<std::string>{"e:\\", "S_c_appli_donnees", "kuvsav-dossier.zip"}));
    EXPECT_EQ(view.folderCurrent, 1);
    EXPECT_EQ(view.files, (std::vector<std::string>{"kuvchier.zip", "KuvSav-2612071015.zip", "kuvsav-2701030905.zip"}));
    ASSERT_EQ(view.list1.size(), 3u);
    EXPECT_EQ(kuv::platform::Trim(view.list1[0]), "kuvchier.zip" + std::string(150 - 12, ' ') + "kuvchier.zip");
    EXPECT_EQ(kuv::platform::Trim(kuv::platform::CharLeft(view.list1[1], 150)),
              "Sauvegarde du 07 Décembre 2026 à 10H15");
    EXPECT_EQ(kuv::platform::Trim(kuv::platform::CharLeft(view.list1[2], 150)),
              "Sauvegarde du 03 Janvier 2027 à 09H05");
    EXPECT_EQ(view.list1Selected, 2);
    EXPECT_EQ(view.choice, "Restaurer la Sauvegarde du 03 Janvier 2027 à 09H05");
    Logic().List1Click(1);
    EXPECT_EQ(view.choice, "Restaurer la Sauvegarde du 07 Décembre 2026 à 10H15");
    EXPECT_EQ(view.marker, "");
    EXPECT_EQ(view.list2Left, 420);
    EXPECT_EQ(view.list2Top, 360);
    EXPECT_TRUE(view.dressed);
    EXPECT_TRUE(view.pictures);
}

TEST_F(RestoreLogicTest, MissingDriveOrFolderFallsBackToC) {
    settings.destinationRoot = "K:";  // no such drive
    Load();
    EXPECT_EQ(Logic().DriveIndex(), 0);
    EXPECT_EQ(Logic().FolderPath(), home);
    EXPECT_EQ(view.folders.front(), "c:\\");

    RestoreFixture other;
    other.settings.destinationRoot = "E:";
    other.settings.backupFolderName = "S_absent";
    other.Load();
    EXPECT_EQ(other.Logic().DriveIndex(), 0);
    EXPECT_EQ(other.Logic().FolderPath(), other.home);
}

TEST_F(RestoreLogicTest, BrowsingChangesFolderAndFiles) {
    WriteBackup("KuvSav-2612071015.zip");
    Load();
    Logic().DriveChange(0);  // c:
    EXPECT_EQ(Logic().FilesPath(), home);
    EXPECT_TRUE(view.list1.empty());
    EXPECT_EQ(view.choice, "");
    // home holds Appli: open it, then back to the root.
    int appli = -1;
    for (size_t i = 0; i < view.folderItems.size(); ++i)
        if (view.folderItems[i].label == "Appli") appli = static_cast<int>(i);
    ASSERT_GE(appli, 0);
    Logic().FolderChange(appli);
    EXPECT_EQ(Logic().FolderPath(), home + "/Appli");
    EXPECT_EQ(view.folders, (std::vector<std::string>{"c:\\", "Appli", "Donnees"}));
    Logic().FolderChange(0);
    EXPECT_EQ(Logic().FolderPath(), home);
    Logic().DriveChange(1);
    EXPECT_EQ(Logic().FolderPath(), medium);
}

TEST_F(RestoreLogicTest, CloudModeListsTheInformationFilesAndTogglesBack) {
    WriteBackup("KuvSav-2612071015.zip");
    const std::string dropbox = home + "/Dropbox";
    kuv::platform::CreateFolderPath(dropbox);
    WriteFile(dropbox + "/Info_sv_appli.txt", "Sauvegarde du : 07/12/2026 \xe0 09:53 - Dossier : kuvchier\r\n");
    WriteFile(dropbox + "/info_SV_vide.txt", "");
    WriteFile(dropbox + "/kuvchier.zip", "x");
    Load();
    const std::vector<std::string> list1 = view.list1;
    Logic().ToggleDropbox();
    EXPECT_TRUE(view.cloud);
    EXPECT_EQ(view.marker, "DROP");
    EXPECT_EQ(Logic().CloudFolder(), dropbox);
    EXPECT_EQ(view.infoFiles, (std::vector<std::string>{"Info_sv_appli.txt", "info_SV_vide.txt"}));
    ASSERT_EQ(view.list2.size(), 2u);
    // The Windows-1252 line is read as text.
    EXPECT_EQ(view.list2[0], "Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier" + std::string(100, ' ') +
                                 "Info_sv_appli.txt");
    EXPECT_EQ(view.list2[1], std::string(100, ' ') + "info_SV_vide.txt");
    Logic().List2Click(0);
    EXPECT_EQ(view.choice, "Restaurer la Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier");
    Logic().ToggleDropbox();
    EXPECT_FALSE(view.cloud);
    EXPECT_EQ(view.marker, "");
    Logic().ToggleOneDrive();
    EXPECT_EQ(Logic().CloudFolder(), home + "/OneDrive");
    EXPECT_TRUE(view.list2.empty());  // no OneDrive folder: an empty list
    Logic().ToggleOneDrive();
    EXPECT_FALSE(Logic().CloudMode());
    EXPECT_EQ(view.list1, list1);
}

TEST_F(RestoreLogicTest, RestoreReplacesKeepsAndAddsThenEnds) {
    WriteBackup("KuvSav-2612071015.zip");
    kuv::platform::CreateFolderPath(data + "/docs");
    WriteFile(data + "/docs/note.txt", "ancienne note");
    WriteFile(data + "/docs/perso.txt", "à moi");
    Load();
    Answer({"oui", "OUI"});  // lower case passes too
    Logic().Restore();
    ASSERT_EQ(dialog.shown.size(), 3u);
    EXPECT_EQ(dialog.shown[0].mode, 1129);
    EXPECT_EQ(dialog.shown[0].text, "Confirmez la récupération de la \r\nSauvegarde du 07 Décembre 2026 à 10H15\r\n"
                                    "2 fichiers seront remplacés, 1 ajoutés, 0 identiques ; 2 fichiers du dossier "
                                    "ne sont pas dans la sauvegarde et resteront.\r\n"
                                    " tapez 'OUI' pour confirmer ?|NON");
    EXPECT_EQ(dialog.shown[1].mode, 1129);
    EXPECT_EQ(dialog.shown[1].text,
              "Attention, toutes les données de votre disque vont être remplacées par la sauvegarde, dernière "
              "confirmation, \r\n tapez 'OUI' pour confirmer ?|NON");
    const std::string kept = "Avant restauration 2701030905";
    EXPECT_EQ(dialog.shown[2].mode, 0);
    EXPECT_EQ(dialog.shown[2].text, "Vos données ont été restaurées, Relancez votre logiciel !\r\n"
                                    "Les fichiers remplacés sont gardés dans : C:\\Appli\\Donnees\\" + kept);
    EXPECT_EQ(end.ends, 1);
    EXPECT_TRUE(Logic().Ended());
    EXPECT_EQ(view.choice, "Restauration terminée !");
    EXPECT_NE(std::find(view.choiceHistory.begin(), view.choiceHistory.end(), "Restauration en cours !"),
              view.choiceHistory.end());
    EXPECT_EQ(view.busy, 0);
    EXPECT_TRUE(view.errors.empty());

    const auto after = DataSnapshot();
    const std::map<std::string, std::string> expected = {
        {"compta.dat", "compta restaurée"},
        {"clients.csv", "Dupont;Lyon\r\nMartin;Brest\r\n"},
        {"extra.txt", "pas dans la sauvegarde"},
        {"docs", "<dir>"},
        {"docs/note.txt", std::string(5000, 'n')},
        {"docs/perso.txt", "à moi"},
        {kept, "<dir>"},
        {kept + "/compta.dat", "compta du jour"},
        {kept + "/docs", "<dir>"},
        {kept + "/docs/note.txt", "ancienne note"}};
    EXPECT_EQ(after, expected);
    for (const char* f : {"compta.dat", "clients.csv", "docs/note.txt"}) EXPECT_EQ(MTime(data + "/" + f), MemberTime()) << f;
    EXPECT_EQ(Logic().LastOutcome().restoredFiles, 3);
    EXPECT_TRUE(Logic().LastOutcome().synced);
    // After the end nothing more runs.
    Logic().Restore();
    EXPECT_EQ(dialog.shown.size(), 3u);
}

struct Refusal {
    const char* first;
    const char* second;  // nullptr: not asked
    int shown;
};

class ConfirmationTest : public RestoreLogicTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ConfirmationTest, RefusedConfirmationStopsSilentlyAndTouchesNothing) {
    WriteBackup("KuvSav-2612071015.zip");
    Load();
    const auto before = DataSnapshot();
    Answer({GetParam().first});
    if (GetParam().second) Answer({GetParam().second});
    Logic().RestoreWithStatusLine();
    EXPECT_EQ(static_cast<int>(dialog.shown.size()), GetParam().shown);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(end.ends, 0);
    EXPECT_FALSE(view.statusLineShown);  // Label3 back in place
}

INSTANTIATE_TEST_SUITE_P(Answers, ConfirmationTest,
                         ::testing::Values(Refusal{"NON", nullptr, 1}, Refusal{"", nullptr, 1},
                                           Refusal{"OUI ?", nullptr, 1}, Refusal{"OUI", "NON", 2},
                                           Refusal{"OUI", "", 2}));

TEST_F(RestoreLogicTest, DamagedLastMemberLeavesTheDataFolderAsItWas) {
    readertest::RawArchive a;
    a.members = {Dated("compta.dat", "compta restaurée", kDate, kTime),
                 Dated("zz.dat", std::string(20000, 'z') + "fin", kDate, kTime)};
    const std::string bytes = DamageLastMember(a.Build());
    WriteFile(backups + "/KuvSav-2612071015.zip", bytes);
    Load();
    const auto before = DataSnapshot();
    const std::time_t comptaTime = MTime(data + "/compta.dat");
    Answer({"OUI", "OUI"});
    Logic().Restore();
    ASSERT_EQ(Messages().size(), 1u);
    const std::string text = Messages()[0];
    EXPECT_EQ(text.rfind(std::string(kDamaged) + "\r\nErreur ", 0), 0u) << text;
    EXPECT_NE(text.find("zz.dat"), std::string::npos) << text;
    EXPECT_EQ(text.find("Vos données ont été restaurées"), std::string::npos);
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(MTime(data + "/compta.dat"), comptaTime);
    EXPECT_EQ(end.ends, 0);
    EXPECT_TRUE(view.errors.empty());  // no engine box during a restore
    EXPECT_EQ(Logic().LastOutcome().result, RestoreResult::Damaged);
}

TEST_F(RestoreLogicTest, MissingOrForeignArchiveIsNotRestored) {
    WriteBackup("KuvSav-2612071015.zip");
    WriteFile(backups + "/KuvSav-2701030905.zip", "ceci n'est pas un zip");
    Load();
    const auto before = DataSnapshot();
    Answer({"OUI", "OUI"});
    Logic().Restore();  // the last one: not an archive
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], std::string(kNotDone) + "\r\nErreur 2 - Le fichier " + backups +
                                 "/KuvSav-2701030905.zip n'est pas un fichier Zip");

    Choose("KuvSav-2612071015.zip");
    kuv::platform::RemoveFile(backups + "/KuvSav-2612071015.zip");  // gone since the listing
    Answer({"OUI", "OUI"});
    Logic().Restore();
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[1].rfind(std::string(kNotDone) + "\r\nErreur 10 - ", 0), 0u) << Messages()[1];
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(end.ends, 0);
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(view.choice, "Restaurer la Sauvegarde du 07 Décembre 2026 à 10H15");
}

TEST_F(RestoreLogicTest, NewDiskGetsItsDataFolderAndAnUnsetOneIsRefused) {
    WriteBackup("KuvSav-2612071015.zip");
    settings.dataFolder = "C:\\Nouveau\\Donnees  ";  // trailing blanks dropped
    Load();
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(ReadFile(home + "/Nouveau/Donnees/compta.dat"), "compta restaurée");
    EXPECT_EQ(Messages().back(), kRestored);  // nothing replaced: no kept folder
    EXPECT_EQ(end.ends, 1);

    RestoreFixture unset;
    unset.settings.dataFolder = "  ";
    unset.WriteBackup("KuvSav-2612071015.zip");
    unset.Load();
    unset.Answer({"OUI", "OUI"});
    unset.Logic().Restore();
    EXPECT_EQ(unset.Messages(), (std::vector<std::string>{kNotDone}));
    EXPECT_EQ(unset.end.ends, 0);
}

TEST_F(RestoreLogicTest, ArchiveOpenedByADoubleClickIsClosedBeforeTheRestore) {
    WriteBackup("KuvSav-2612071015.zip", "contenu de la sauvegarde choisie");
    WriteBackup("kuvchier.zip", "contenu d'un autre zip");
    Load();
    Logic().File1DoubleClick(0);  // kuvchier.zip
    EXPECT_EQ(view.count, "3");
    Choose("KuvSav-2612071015.zip");
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "contenu de la sauvegarde choisie");
}

TEST_F(RestoreLogicTest, LongKuvchierNameRestoresThatArchive) {
    const std::string name = "kuvchier_sauvegarde_du_cabinet_avant_le_changement_de_logiciel.zip";
    WriteBackup(name, "du long nom");
    Load();
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "du long nom");
}

TEST_F(RestoreLogicTest, KeptFoldersTakeAFreeNameAndOnlyTheThreeNewestStay) {
    WriteBackup("KuvSav-2612071015.zip");
    for (const char* old : {"Avant restauration 2612010101", "Avant restauration 2612020202",
                            "Avant restauration 2701030905", "Avant restauration perso"})
        kuv::platform::CreateFolderPath(data + "/" + old);
    WriteFile(data + "/Avant restauration 2612010101/vieux.dat", "v");
    Load();
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(Logic().LastOutcome().keptFolderName, "Avant restauration 2701030905 (2)");
    EXPECT_EQ(ReadFile(data + "/Avant restauration 2701030905 (2)/compta.dat"), "compta du jour");
    EXPECT_FALSE(Exists(data + "/Avant restauration 2612010101"));
    for (const char* stays : {"Avant restauration 2612020202", "Avant restauration 2701030905",
                              "Avant restauration 2701030905 (2)", "Avant restauration perso"})
        EXPECT_TRUE(kuv::platform::IsFolder(data + "/" + stays)) << stays;
}

TEST_F(RestoreLogicTest, StagingLeftByACrashIsRemovedAtLoad) {
    kuv::platform::CreateFolderPath(data + "/.kuvzip-restauration-AbC123/docs");
    WriteFile(data + "/.kuvzip-restauration-AbC123/docs/x", "x");
    kuv::platform::CreateFolderPath(data + "/.kuvzip-restauration-mien");  // not six characters: not ours
    Load();
    EXPECT_FALSE(Exists(data + "/.kuvzip-restauration-AbC123"));
    EXPECT_TRUE(Exists(data + "/.kuvzip-restauration-mien"));
}

TEST_F(RestoreLogicTest, RenameRefusedMidwayUndoesEverything) {
    // An immutable file cannot be moved away, even by root: the placement
    // fails after clients.csv was put in place, and must take it back.
    WriteBackup("KuvSav-2612071015.zip");
    if (std::system(("chattr +i '" + data + "/compta.dat' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no immutable attribute on this file system";
    Load();
    const auto before = DataSnapshot();
    Answer({"OUI", "OUI"});
    Logic().Restore();
    std::system(("chattr -i '" + data + "/compta.dat'").c_str());
    EXPECT_EQ(Messages(), (std::vector<std::string>{kNotDone}));
    EXPECT_EQ(DataSnapshot(), before);
    EXPECT_EQ(end.ends, 0);
}

TEST_F(RestoreLogicTest, DataFolderWithoutWriteRightIsNotRestored) {
    // The restore as a user who may read the backup but not write in the
    // data folder, through the window's logic in kuvzip-restore-bench.
    if (getuid() != 0 || std::system("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root and setpriv to act as another user";
    const std::string archive = WriteBackup("KuvSav-2612071015.zip");
    std::system(("chmod -R a+rX '" + root + "'").c_str());
    const auto before = DataSnapshot();
    const std::string out = root + "/out.txt";
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups '" + std::string(KUVZIP_BIN_DIR) +
                                "/kuvzip-restore-bench' '" + archive + "' '" + data + "' > '" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    if (ReadFile(out).find("setpriv:") != std::string::npos) GTEST_SKIP() << ReadFile(out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << ReadFile(out);
    EXPECT_EQ(ReadFile(out), std::string(kNotDone) + "\n");
    EXPECT_EQ(DataSnapshot(), before);
}

TEST_F(RestoreLogicTest, ASecondRestoreAskedWhileOneRunsIsIgnored) {
    WriteBackup("KuvSav-2612071015.zip");
    Load();
    Answer({"OUI", "OUI"});
    pump.onDoEvents = [this] { Logic().Restore(); Logic().ExtractOneFile(); };
    Logic().Restore();
    EXPECT_EQ(dialog.shown.size(), 3u);
    EXPECT_EQ(view.asked, 0);
    EXPECT_EQ(end.ends, 1);
}

TEST_F(RestoreLogicTest, CloudRestoreTakesTheArchiveNamedByTheInformationLine) {
    const std::string dropbox = home + "/Dropbox";
    kuv::platform::CreateFolderPath(dropbox);
    WriteFile(dropbox + "/Info_sv_appli.txt", "Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier\r\n");
    readertest::RawArchive a;
    a.members = {Dated("compta.dat", "depuis Dropbox", kDate, kTime)};
    WriteFile(dropbox + "/kuvchier.zip", a.Build());
    Load();
    Logic().ToggleDropbox();
    Logic().Restore();  // nothing chosen yet
    EXPECT_EQ(Messages(), (std::vector<std::string>{kChooseCloudCopy}));
    Logic().List2Click(0);
    Answer({"OUI", "OUI"});
    Logic().Restore();
    EXPECT_EQ(dialog.shown[1].text.rfind("Confirmez la récupération de la \r\nSauvegarde du : 07/12/2026 à 09:53 - "
                                         "Dossier : kuvchier\r\n1 fichiers seront remplacés, 0 ajoutés, 0 "
                                         "identiques ; 1 fichiers du dossier ne sont pas dans la sauvegarde et "
                                         "resteront.\r\n tapez",
                                         0),
              0u)
        << dialog.shown[1].text;
    EXPECT_EQ(Logic().ArchivePath(), dropbox + "/kuvchier.zip");
    EXPECT_EQ(ReadFile(data + "/compta.dat"), "depuis Dropbox");
    EXPECT_EQ(end.ends, 1);
}

TEST_F(RestoreLogicTest, SingleFileToolsAskANumberAndBeepOutsideTheRange) {
    WriteBackup("KuvSav-2612071015.zip");
    Load();
    Logic().File1DoubleClick(0);
    EXPECT_EQ(view.count, "3");
    view.numberAnswers = {"0", "abc", "4", "-1", "<cancel>", ""};
    for (int i = 0; i < 6; ++i) Logic().ExtractOneFile();
    EXPECT_EQ(view.beeps, 4);
    EXPECT_EQ(view.lastPrompt, "Entrer le numéro du fichier à extraire :\r\nNuméro compris entre 1 et 3\r\n"
                               "Ordre des fichiers : Voir fenêtre de debug après avoir cliqué sur le bouton "
                               "\"Voir le contenu du Zip (...)\"");
    const std::string extracted = program + "/Fichiers extraits";
    EXPECT_FALSE(Exists(extracted + "/compta.dat"));
    // "2.6" rounds to 3: docs\note.txt lands without its folder, over a file
    // of the same name.
    kuv::platform::CreateFolderPath(extracted);
    WriteFile(extracted + "/note.txt", "ancienne");
    view.numberAnswers = {"2.6"};
    Logic().ExtractOneFile();
    EXPECT_EQ(ReadFile(extracted + "/note.txt"), std::string(5000, 'n'));
    EXPECT_EQ(view.beeps, 4);
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(RestoreLogicTest, OpeningAMemberHandsItToTheDesktopsProgram) {
    WriteBackup("KuvSav-2612071015.zip");
    // The desktop's tools, played by scripts: a type with a program, and an
    // opener that writes down what it was given.
    const std::string bin = root + "/bin";
    kuv::platform::CreateFolderPath(bin);
    WriteFile(bin + "/xdg-mime", "#!/bin/sh\n[ -f '" + root + "/no-program' ] && exit 1\n"
                                 "[ \"$2\" = filetype ] && echo text/plain || echo editeur.desktop\n");
    WriteFile(bin + "/xdg-open", "#!/bin/sh\ncat \"$1\" > '" + root + "/opened.tmp' && mv '" + root +
                                 "/opened.tmp' '" + root + "/opened'\n");
    std::system(("chmod +x '" + bin + "/xdg-mime' '" + bin + "/xdg-open'").c_str());
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + path).c_str(), 1);
    Load();
    Logic().File1DoubleClick(0);
    view.numberAnswers = {"2"};
    Logic().OpenOneFile();
    for (int i = 0; i < 200 && !Exists(root + "/opened"); ++i) usleep(10000);
    EXPECT_EQ(ReadFile(root + "/opened"), "Dupont;Lyon\r\nMartin;Brest\r\n");
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ(view.busy, 0);
    // No program for the type: the engine's error 18 in the box.
    WriteFile(root + "/no-program", "");
    view.numberAnswers = {"1"};
    Logic().OpenOneFile();
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_NE(view.errors[0].find("\r\nErreur 18 - Il n'y a pas d'exécutable attaché"), std::string::npos)
        << view.errors[0];
}

TEST_F(RestoreLogicTest, CommentMemberListAndEngineErrorBox) {
    WriteBackup("KuvSav-2612071015.zip");
    WriteFile(backups + "/kuvchier.zip", "pas un zip");
    Load();
    Logic().ShowComment();
    EXPECT_EQ(view.comments, (std::vector<std::string>{""}));  // nothing read yet
    Logic().File1DoubleClick(1);
    Logic().ShowComment();
    EXPECT_EQ(view.comments.back(), "Sauvegarde C:\\Appli\\Donnees du 12-07-2026 - 10:15:00");
    Logic().ListMembers();
    ASSERT_EQ(view.diagnostics.size(), 3u);
    EXPECT_EQ(view.diagnostics[0].rfind("1 : compta.dat - 07/12/2026 10:15:00 - ", 0), 0u) << view.diagnostics[0];
    EXPECT_NE(view.diagnostics[2].find(" - 5000 octets (décompressé) - Taux = "), std::string::npos);
    for (const std::string& line : view.diagnostics) EXPECT_NE(line.find(" octets (compressé)"), std::string::npos);
    EXPECT_TRUE(view.errors.empty());
    Logic().File1DoubleClick(0);  // kuvchier.zip is no archive
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Erreur lors de l'ouverture ou l'extraction du Zip\r\nErreur 2 - Le fichier " + backups +
                                  "/kuvchier.zip n'est pas un fichier Zip");
    EXPECT_NE(std::find(view.statusHistory.begin(), view.statusHistory.end(), "Zip ouvert"), view.statusHistory.end());
}

}  // namespace
}  // namespace kuv::restore::testing
