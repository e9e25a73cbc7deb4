// Kuv-Zip.ini: four lines, CR LF, Windows-1252.

#include <gtest/gtest.h>

#include "MainWindowFakes.h"
#include "backup/ConfigFile.h"

namespace kuv::backup::testing {
namespace {

TEST(ConfigFile, ReadsFourLinesAndLeavesMissingOnesEmpty) {
    WindowFixture f;
    const std::string path = f.work + "/Kuv-Zip.ini";
    ConfigLines lines;
    EXPECT_FALSE(ReadConfigFile(path, lines));
    EXPECT_EQ(lines.dataFolder, "");

    // Two lines only: linked program and options stay empty.
    WriteFile(path, "C:\\Appli\\Donn\xE9" "es\r\nE:\r\n");
    EXPECT_TRUE(ReadConfigFile(path, lines));
    EXPECT_EQ(lines.dataFolder, "C:\\Appli\\Données");  // Windows-1252 read as such
    EXPECT_EQ(lines.destinationRoot, "E:");
    EXPECT_EQ(lines.linkedProgram, "");
    EXPECT_EQ(lines.backupOptions, "");

    // LF line ends, UTF-8 text, blanks kept, a fifth line ignored.
    WriteFile(path, "/home/x/Données\n\\\\nas\\sauve\n#L#appli --base compta\n +pdf -txt \nautre\n");
    EXPECT_TRUE(ReadConfigFile(path, lines));
    EXPECT_EQ(lines.dataFolder, "/home/x/Données");
    EXPECT_EQ(lines.destinationRoot, "\\\\nas\\sauve");
    EXPECT_EQ(lines.linkedProgram, "#L#appli --base compta");
    EXPECT_EQ(lines.backupOptions, " +pdf -txt ");
}

TEST(ConfigFile, WritesWindows1252WithCrLf) {
    WindowFixture f;
    const std::string path = f.work + "/Kuv-Zip.ini";
    ASSERT_TRUE(WriteConfigFile(path, ConfigLines{"C:\\Appli\\Données", "E:", "", "+pdf"}));
    EXPECT_EQ(ReadFile(path), "C:\\Appli\\Donn\xE9" "es\r\nE:\r\n\r\n+pdf\r\n");
    ConfigLines back;
    ASSERT_TRUE(ReadConfigFile(path, back));
    EXPECT_EQ(back.dataFolder, "C:\\Appli\\Données");
    EXPECT_EQ(back.backupOptions, "+pdf");
    // A folder that cannot be written to: failure, no exception.
    EXPECT_FALSE(WriteConfigFile(f.root + "/absent/Kuv-Zip.ini", back));
}

}  // namespace
}  // namespace kuv::backup::testing
