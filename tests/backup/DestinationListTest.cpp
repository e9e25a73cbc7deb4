// The destination list Combo1 (affiche_cle) and the destination click.

#include <gtest/gtest.h>

#include "MainWindowFakes.h"
#include "backup/DestinationList.h"

namespace kuv::backup::testing {
namespace {

using kuv::platform::DriveEntry;

struct ListFixture {
    FakeMainView view;
    DestinationList list{view};
    std::string root;
    std::vector<DriveEntry> drives = {{"c: [/home/jean]", "/home/jean", 3, ""},
                                      {"d: [DATA]", "/mnt/data", 3, "/dev/sda3"},
                                      {"e: [CLE]", "/media/jean/CLE", 2, "/dev/sdb1"},
                                      {"f: [sauve]", "/mnt/nas", 4, "//nas/sauve"}};
};

TEST(DestinationList, EntryTextsLabelsAndPictures) {
    EXPECT_EQ(DestinationText("e: [CLE USB]", "Clé / Carte"), "E: Clé / Carte   [CLE USB]  ");
    ListFixture f;
    f.drives.push_back({"g: [ISO]", "/media/cd", 5, "/dev/sr0"});
    f.drives.push_back({"h: [ram]", "/mnt/ram", 6, "tmpfs"});
    f.drives.push_back({"i: [x]", "/mnt/x", 0, "x"});
    f.drives.push_back({"j: [y]", "/mnt/y", 42, "y"});  // a code outside the table keeps the previous entry's
    f.list.Fill(f.drives, f.root);
    EXPECT_EQ(f.view.entries, (std::vector<std::string>{
                                  "(Clé non identifiée)", "C: Disque Fixe   [/home/jean]  ",
                                  "D: Disque Fixe   [DATA]  ", "E: Clé / Carte   [CLE]  ", "F: Remote        [sauve]  ",
                                  "G: Cd-Rom        [ISO]  ", "H: Disque Ram    [ram]  ", "I: Inconnu       [x]  ",
                                  "J: Inconnu       [y]  "}));
    // Two fixed disks: the system disk C: has picture 0, the other picture 1.
    EXPECT_EQ(f.view.pictures, (std::vector<int>{0, 0, 1, 3, 4, 2, 4, 4, 4}));
}

TEST(DestinationList, TheKeyOfTheRootIsSelectedEvenInLowerCase) {
    for (const std::string root : {"E:", "e:", "e:\\Sauve"}) {
        ListFixture f;
        f.root = root;
        f.list.Fill(f.drives, f.root);
        EXPECT_EQ(f.view.selected, 3) << root;
        EXPECT_EQ(f.list.SelectedText(), "E: Clé / Carte   [CLE]  ");
        EXPECT_EQ(f.view.comboColour, (std::vector<int>{192, 255, 192}));
        EXPECT_EQ(f.root, "E:");
        EXPECT_EQ(f.view.drivePicture, 3);
        EXPECT_EQ(f.view.status, "");
        EXPECT_GE(f.view.focusText1, 1);
    }
}

TEST(DestinationList, AbsentKeyEmptyOrNetworkRootLeavesEntryZeroInRed) {
    for (const std::string root : {"", "G:", "\\\\nas\\sauve"}) {
        ListFixture f;
        f.root = root;
        f.list.Fill(f.drives, f.root);
        EXPECT_EQ(f.view.selected, 0) << root;
        EXPECT_EQ(f.view.comboColour, (std::vector<int>{255, 192, 192})) << root;
        EXPECT_EQ(f.root, root);  // unchanged by entry 0
        // Startup then chooses the C: disk, whose click sets the root.
        EXPECT_TRUE(f.list.SelectDriveC(f.root));
        EXPECT_EQ(f.view.selected, 1);
        EXPECT_EQ(f.root, "C:");
        EXPECT_EQ(f.view.comboColour, (std::vector<int>{192, 255, 192}));
    }
}

TEST(DestinationList, TheLastMatchingDriveWinsAndClicksApplyTheChoice) {
    ListFixture f;
    f.drives.push_back({"e: [AUTRE]", "/media/autre", 2, "/dev/sdc1"});
    f.root = "E:";
    f.list.Fill(f.drives, f.root);
    EXPECT_EQ(f.view.selected, 5);
    f.view.status = "Support plein ou absent !";
    f.list.Click(2, f.root);  // the user picks D:
    EXPECT_EQ(f.root, "D:");
    EXPECT_EQ(f.view.drivePicture, 1);
    EXPECT_EQ(f.view.status, "");
    f.list.Click(0, f.root);  // "(Clé non identifiée)": root unchanged, colour unchanged
    EXPECT_EQ(f.root, "D:");
    EXPECT_EQ(f.view.comboColour, (std::vector<int>{192, 255, 192}));
}

// Through the window logic: a network root is replaced by C: at startup.
TEST(DestinationList, StartupWithANetworkRootFallsBackToC) {
    WindowFixture w;
    w.WriteIni("C:\\Appli\\Donnees\r\n\\\\nas\\sauve\r\n\r\n\r\n");
    MainWindowLogic& logic = w.Start();
    EXPECT_EQ(logic.Settings().destinationRoot, "C:");
    EXPECT_EQ(w.view.title, kTitleDefaultDiskC);
    logic.DestinationClicked(2);
    EXPECT_EQ(logic.Settings().destinationRoot, "E:");
    EXPECT_EQ(w.view.destinationFolder, w.medium + "/S_c_appli_donnees");
}

}  // namespace
}  // namespace kuv::backup::testing
