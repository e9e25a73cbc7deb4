// Names and dated texts of a data backup.
#include <gtest/gtest.h>

#include "backup/ArchiveNaming.h"

using namespace kuv::backup;

namespace {

DateTime At(int y, int mo, int d, int h, int mi, int s) {
    DateTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    return t;
}

}  // namespace

TEST(ArchiveNamingTest, DayNumbersCountFromThe30thOfDecember1899) {
    EXPECT_EQ(DayNumber(1899, 12, 30), 0);
    EXPECT_EQ(DayNumber(1900, 1, 1), 2);
    EXPECT_EQ(DayNumber(1900, 3, 1), 61);  // 1900 is not a leap year
    EXPECT_EQ(DayNumber(1970, 1, 1), 25569);
    EXPECT_EQ(DayNumber(2026, 12, 7), 46363);
    EXPECT_EQ(DayNumber(2027, 1, 3), 46390);
    EXPECT_EQ(DayNumber(2024, 3, 1) - DayNumber(2024, 2, 28), 2);  // 29 February 2024
}

TEST(ArchiveNamingTest, NormalArchivePathOnTheMedium) {
    const DateTime t = At(2027, 1, 3, 9, 5, 12);
    EXPECT_EQ(NormalArchiveName(t), "KuvSav-2701030905.zip");
    EXPECT_EQ(MediumFolder("E:", "S_c_appli_donnees"), "E:\\S_c_appli_donnees");
    EXPECT_EQ(MediumArchivePath(MediumFolder("E:", "S_c_appli_donnees"), t),
              "E:\\S_c_appli_donnees\\KuvSav-2701030905.zip");
    EXPECT_EQ(NormalArchiveName(At(2026, 12, 7, 10, 15, 0)), "KuvSav-2612071015.zip");
    EXPECT_EQ(NormalArchiveName(At(2030, 11, 28, 23, 59, 59)), "KuvSav-3011282359.zip");
    // A network root; a trailing "\" is not doubled.
    EXPECT_EQ(MediumFolder("\\\\nas\\sauve", "S_x"), "\\\\nas\\sauve\\S_x");
    EXPECT_EQ(MediumFolder("E:\\", "S_x"), "E:\\S_x");
}

TEST(ArchiveNamingTest, DesktopArchiveNamesOfCopyMode) {
    const DateTime t = At(2027, 1, 3, 9, 5, 12);
    EXPECT_EQ(DesktopArchiveName("", t), "kuvchier.zip");
    EXPECT_EQ(DesktopArchiveName("kuvchier", t), "kuvchier.zip");
    EXPECT_EQ(DesktopArchiveName("Compta", t), "Compta.zip");
    EXPECT_EQ(DesktopArchiveName("Compta{D}X", t), "Compta_030127.zip");
    EXPECT_EQ(DesktopArchiveName("{D}", t), "_030127.zip");
    EXPECT_EQ(DesktopArchiveName("A{D}B{D}C", t), "A_030127.zip");
    // The name never leaves the desktop folder.
    EXPECT_EQ(DesktopArchiveName("../../etc/x", t), ".._.._etc_x.zip");
    EXPECT_EQ(DesktopArchiveName("a\\b{D}", t), "a_b_030127.zip");
}

TEST(ArchiveNamingTest, CommentReportStampAndLastBackupValue) {
    const DateTime t = At(2027, 1, 3, 9, 5, 12);
    EXPECT_EQ(ReportStamp(t), "01-03-2027 - 09:05:12");
    EXPECT_EQ(ArchiveComment("C:\\Appli\\Donnees", t), "Sauvegarde C:\\Appli\\Donnees du 01-03-2027 - 09:05:12");
    EXPECT_EQ(LastBackupValue(t), "03/01/2027 à 09:05:46390");
    EXPECT_EQ(LastBackupValue(At(2026, 12, 7, 10, 15, 33)), "07/12/2026 à 10:15:46363");
    // At least five digits for early dates.
    EXPECT_EQ(LastBackupValue(At(1900, 1, 9, 0, 0, 0)), "09/01/1900 à 00:00:00010");
}
