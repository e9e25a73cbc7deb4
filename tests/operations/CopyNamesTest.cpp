// The names of one copy and the information file's line.
#include <gtest/gtest.h>

#include <string>

#include "operations/CopyNames.h"
#include "platform/Text.h"

namespace kuv::operations {
namespace {

struct KeyCase {
    const char* dataFolder;
    const char* key;
    const char* infoFile;
};

class FolderKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(FolderKeyTest, KeyAndInformationFileName) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(FolderKey(c.dataFolder), c.key);
    const CopyNames names = NamesOfCopy(c.dataFolder, "kuvchier");
    EXPECT_EQ(names.infoFileName, c.infoFile);
    // The archive name and the label never depend on the data folder.
    EXPECT_EQ(names.archiveName, "kuvchier.zip");
    EXPECT_EQ(names.folderLabel, "kuvchier");
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderKeyTest,
    ::testing::Values(KeyCase{"C:\\Appli\\Donnees", "appli", "Info_sv_appli.txt"},
                      KeyCase{"C:\\Appli\\Donnees\\", "donnees", "Info_sv_donnees.txt"},
                      KeyCase{"C:\\Donnees", "c:", "Info_sv_c.txt"},
                      KeyCase{"/srv/Appli/Donnees", "appli", "Info_sv_appli.txt"},
                      KeyCase{"/srv/Appli/Donnees/", "donnees", "Info_sv_donnees.txt"},
                      KeyCase{"/Donnees", "", "Info_sv_.txt"},
                      KeyCase{"C:\\Mes Dossiers\\ Compta ÉTÉ \\Donnees", "compta été", "Info_sv_compta été.txt"},
                      KeyCase{"D:/Mixte\\Sous/Donnees", "sous", "Info_sv_sous.txt"},
                      KeyCase{"Donnees", "", "Info_sv_.txt"},
                      KeyCase{"", "", "Info_sv_.txt"}));

TEST(CopyNamesTest, ArchiveNameIsTheBackupNameWithZip) {
    const CopyNames names = NamesOfCopy("/srv/Appli/Donnees", "Compta");
    EXPECT_EQ(names.archiveName, "Compta.zip");
    EXPECT_EQ(names.folderLabel, "Compta");
    EXPECT_EQ(names.infoFileName, "Info_sv_appli.txt");
}

// Whatever the linked application gives as the backup name, a copy writes
// one file inside its target folder, under a name every file system takes.
struct BackupNameCase {
    const char* given;
    const char* archive;
};

class BackupNameTest : public ::testing::TestWithParam<BackupNameCase> {};

TEST_P(BackupNameTest, OneFileNameInsideTheFolder) {
    const CopyNames names = NamesOfCopy("/srv/Appli/Donnees", GetParam().given);
    EXPECT_EQ(names.archiveName, GetParam().archive);
    EXPECT_EQ(names.folderLabel + ".zip", names.archiveName);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BackupNameTest,
    ::testing::Values(BackupNameCase{"../notes", ".._notes.zip"}, BackupNameCase{"..\\..\\x", ".._.._x.zip"},
                      BackupNameCase{"/etc/passwd", "_etc_passwd.zip"}, BackupNameCase{"c:\\compta", "c_compta.zip"},
                      BackupNameCase{"a*b?c\"d<e>f|g", "abcdefg.zip"}, BackupNameCase{"tab\there", "tabhere.zip"},
                      BackupNameCase{"::", "kuvchier.zip"}, BackupNameCase{"  ", "kuvchier.zip"},
                      BackupNameCase{"con", "con_.zip"}, BackupNameCase{"LPT1", "LPT1_.zip"},
                      BackupNameCase{"console", "console.zip"}, BackupNameCase{"Société 2026", "Société 2026.zip"}));

TEST(CopyNamesTest, InformationLineIsAnsiWithCrLfAndTheLabelAtCharacter48) {
    const backup::DateTime when{2026, 12, 7, 9, 53, 41, 0};
    const std::string bytes = InformationFileBytes("kuvchier", when);
    EXPECT_EQ(bytes, "Sauvegarde du : 07/12/2026 \xE0 09:53 - Dossier : kuvchier\r\n");
    const std::string text = platform::DecodeTextFile(bytes);
    EXPECT_EQ(platform::CharMid(text, 47), "kuvchier\r\n");

    // Midnight and single digits keep two digits; a label outside
    // Windows-1252 makes the line UTF-8 rather than losing characters.
    EXPECT_EQ(InformationFileBytes("Société", {2027, 1, 3, 0, 5, 0, 0}),
              "Sauvegarde du : 03/01/2027 \xE0 00:05 - Dossier : Soci\xE9t\xE9\r\n");
    const std::string greek = InformationFileBytes("Ωmega", {2027, 1, 3, 23, 59, 0, 0});
    EXPECT_EQ(greek, "Sauvegarde du : 03/01/2027 à 23:59 - Dossier : Ωmega\r\n");
}

TEST(CopyNamesTest, DateStamp) {
    EXPECT_EQ(DateStamp({2026, 12, 7, 9, 53, 0, 0}), "07/12/2026 à 09:53");
    EXPECT_EQ(DateStamp({2027, 1, 3, 14, 0, 59, 999}), "03/01/2027 à 14:00");
}

}  // namespace
}  // namespace kuv::operations
