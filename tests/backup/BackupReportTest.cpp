// The report rapport.txt: its lines, encoding and line ends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "backup/BackupReport.h"
#include "platform/Files.h"

using namespace kuv::backup;

namespace {

class BackupReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kuv-report-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string Bytes() const {
        std::string bytes;
        kuv::platform::ReadWholeFile(dir_ + "/rapport.txt", bytes);
        return bytes;
    }
    static DateTime At(int h, int mi, int s) {
        DateTime t;
        t.year = 2027;
        t.month = 1;
        t.day = 3;
        t.hour = h;
        t.minute = mi;
        t.second = s;
        return t;
    }
    std::string dir_;
};

const std::string kRule(80, '-');

}  // namespace

TEST_F(BackupReportTest, FullReportInWindows1252WithCrLf) {
    BackupReport report(dir_ + "/rapport.txt");
    ASSERT_TRUE(report.Begin(At(9, 5, 2)));
    // The header is on disk at once.
    EXPECT_EQ(Bytes(), kRule + "\r\nD\xE9" "but de sauvegarde 01-03-2027 - 09:05:02\r\n" + kRule + "\r\n");
    report.AddSaved("compta.dat");
    report.AddIgnored("vide.dat");
    report.AddSaved("élève.txt");
    ASSERT_TRUE(report.Finish(2, 1, 0, At(9, 5, 40)));
    const std::string expected = kRule + "\r\n" + "D\xE9" "but de sauvegarde 01-03-2027 - 09:05:02\r\n" + kRule +
                                 "\r\n" + "OK  > compta.dat\r\n" + "Non - vide.dat\r\n" +
                                 "OK  > \xE9l\xE8ve.txt\r\n" + kRule + "\r\n" + "2 fichiers sauvegard\xE9s\r\n" +
                                 "1 fichiers ignor\xE9s\r\n" + "Fin de sauvegarde 01-03-2027 - 09:05:40\r\n" +
                                 kRule + "\r\n";
    EXPECT_EQ(Bytes(), expected);
}

TEST_F(BackupReportTest, FlushWithoutEndLinesAndUtf8WhenANameDoesNotFit) {
    BackupReport report(dir_ + "/rapport.txt");
    ASSERT_TRUE(report.Begin(At(9, 5, 2)));
    report.AddSaved("\xC5\x93uvre.txt");  // "œuvre": œ fits Windows-1252 (0x9C)
    report.AddSaved("\xE2\x82\xAC.txt");  // "€" fits too (0x80)
    report.AddIgnored("\xC4\x8D.txt");    // "č" does not: the whole file is UTF-8
    ASSERT_TRUE(report.Flush());
    const std::string bytes = Bytes();
    EXPECT_NE(bytes.find("D\xC3\xA9" "but de sauvegarde"), std::string::npos);
    EXPECT_NE(bytes.find("Non - \xC4\x8D.txt\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("fichiers sauvegard"), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");

    // A new run replaces the report.
    BackupReport next(dir_ + "/rapport.txt");
    ASSERT_TRUE(next.Begin(At(10, 0, 0)));
    EXPECT_EQ(Bytes(), kRule + "\r\nD\xE9" "but de sauvegarde 01-03-2027 - 10:00:00\r\n" + kRule + "\r\n");
}

// Files the engine refused carry its message and are counted apart; the
// sub-folders are named; a failed run ends on its own line.
TEST_F(BackupReportTest, RefusedFilesSubFoldersAndFailure) {
    BackupReport report(dir_ + "/rapport.txt");
    ASSERT_TRUE(report.Begin(At(9, 5, 2)));
    report.AddSaved("compta.dat");
    report.AddRefused("verrou.dat", "Violation de Partage");
    report.AddSaved("parti.dat");
    report.LeaveOut("parti.dat", "Ce fichier n'existe pas");
    report.AddSubFolder("archives");
    ASSERT_TRUE(report.Finish(1, 0, 2, At(9, 5, 40)));
    const std::string head = kRule + "\r\nD\xE9" "but de sauvegarde 01-03-2027 - 09:05:02\r\n" + kRule + "\r\n" +
                             "OK  > compta.dat\r\nNon - verrou.dat (Violation de Partage)\r\n" +
                             "Non - parti.dat (Ce fichier n'existe pas)\r\nNon - archives\\\r\n";
    EXPECT_EQ(Bytes(), head + kRule + "\r\n1 fichiers sauvegard\xE9s\r\n0 fichiers ignor\xE9s\r\n" +
                           "2 fichiers en erreur, non sauvegard\xE9s\r\n" +
                           "Fin de sauvegarde 01-03-2027 - 09:05:40\r\n" + kRule + "\r\n");

    BackupReport failed(dir_ + "/rapport.txt");
    ASSERT_TRUE(failed.Begin(At(9, 5, 2)));
    failed.AddSaved("compta.dat");
    ASSERT_TRUE(failed.Fail(At(9, 5, 9)));
    EXPECT_EQ(Bytes(), kRule + "\r\nD\xE9" "but de sauvegarde 01-03-2027 - 09:05:02\r\n" + kRule +
                           "\r\nOK  > compta.dat\r\nEchec de la sauvegarde 01-03-2027 - 09:05:09\r\n");
}
