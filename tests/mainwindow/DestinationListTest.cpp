// The destination list Combo1 (affiche_cle) and the destination click.

#include <gtest/gtest.h>

#include "MainWindowFakes.h"
#include "mainwindow/DestinationList.h"

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

namespace kuv::backup::testing {
namespace {

using kuv::platform::DriveEntry;

const DriveEntry kHome{"c: [/home/jean]", "/home/jean", 3, ""};
const DriveEntry kData{"d: [DATA]", "/mnt/data", 3, "/dev/sda3"};
const DriveEntry kKeyAsE{"e: [CLE]", "/media/jean/CLE", 2, "/dev/sdb1"};
const DriveEntry kKeyAsF{"f: [CLE]", "/media/jean/CLE", 2, "/dev/sdb1"};
const DriveEntry kOtherAsE{"e: [AAA]", "/media/jean/AAA", 2, "/dev/sdc1"};
const DriveEntry kOtherAsF{"f: [AAA]", "/media/jean/AAA", 2, "/dev/sdc1"};

// The drives change while the window is open; the list follows the media.
struct FollowCase {
    const char* what;
    std::vector<DriveEntry> before;
    const char* root;              // the destination root at startup
    int chosen;                    // entry the user picked after startup (-1: as startup left it)
    std::vector<DriveEntry> after;
    int selected;                  // entry selected afterwards
    const char* rootAfter;
    bool red;                      // Combo1 in red (no destination)
};

class DestinationListFollow : public ::testing::TestWithParam<FollowCase> {};

TEST_P(DestinationListFollow, KeepsTheChosenMediumWhileItIsThere) {
    const FollowCase& c = GetParam();
    FakeMainView view;
    DestinationList list(view);
    std::string root = c.root;
    list.Fill(c.before, root);
    if (c.chosen >= 0) list.Click(c.chosen, root);
    list.Follow(c.before, c.after, root);
    EXPECT_EQ(view.entries.size(), c.after.size() + 1);
    EXPECT_EQ(view.selected, c.selected);
    EXPECT_EQ(list.SelectedIndex(), c.selected);
    EXPECT_EQ(root, c.rootAfter);
    EXPECT_EQ(view.comboColour, c.red ? (std::vector<int>{255, 192, 192}) : (std::vector<int>{192, 255, 192}));
}

INSTANTIATE_TEST_SUITE_P(
    Media, DestinationListFollow,
    ::testing::Values(
        FollowCase{"a key plugged in keeps C:", {kHome, kData}, "C:", -1, {kHome, kData, kKeyAsE}, 1, "C:", false},
        FollowCase{"another key sorted first moves the chosen key to F:", {kHome, kData, kKeyAsE}, "E:", -1,
                   {kHome, kData, kOtherAsE, kKeyAsF}, 4, "F:", false},
        FollowCase{"the chosen key pulled out: no destination, not the key that took its letter",
                   {kHome, kData, kOtherAsE, kKeyAsF}, "F:", -1, {kHome, kData, kOtherAsE}, 0, "F:", true},
        FollowCase{"the chosen key pulled out, nothing else", {kHome, kKeyAsE}, "E:", -1, {kHome}, 0, "E:", true},
        FollowCase{"no destination yet: the key of the configured letter arrives", {kHome}, "E:", 0,
                   {kHome, kKeyAsE}, 2, "E:", false},
        FollowCase{"the user's choice, not the configured letter, is followed", {kHome, kData, kKeyAsE}, "E:", 2,
                   {kHome, kData, kOtherAsE, kKeyAsF}, 2, "D:", false},
        FollowCase{"another key pulled out: the chosen one moves back to E:", {kHome, kOtherAsE, kKeyAsF}, "F:",
                   -1, {kHome, kKeyAsE}, 2, "E:", false}),
    [](const ::testing::TestParamInfo<FollowCase>& info) { return "Case" + std::to_string(info.index); });

TEST(DestinationList, SameDrivesComparesEveryField) {
    const std::vector<DriveEntry> list = {kHome, kKeyAsE};
    EXPECT_TRUE(SameDrives(list, {kHome, kKeyAsE}));
    EXPECT_FALSE(SameDrives(list, {kHome}));
    EXPECT_FALSE(SameDrives(list, {kHome, kKeyAsF}));
    DriveEntry relabelled = kKeyAsE;
    relabelled.text = "e: [SAUVE]";
    EXPECT_FALSE(SameDrives(list, {kHome, relabelled}));
    DriveEntry otherKind = kKeyAsE;
    otherKind.kind = 3;
    EXPECT_FALSE(SameDrives(list, {kHome, otherKind}));
    DriveEntry otherDevice = kKeyAsE;
    otherDevice.source = "/dev/sdd1";
    EXPECT_FALSE(SameDrives(list, {kHome, otherDevice}));
    EXPECT_EQ(FindMedium(kKeyAsE, {kHome, kOtherAsE, kKeyAsF}), 2);
    EXPECT_EQ(FindMedium(otherDevice, {kHome, kOtherAsE, kKeyAsF}), -1);
}

}  // namespace
}  // namespace kuv::backup::testing
