// Which files of the data folder a data backup leaves out.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "backup/ExclusionRules.h"
#include "platform/Files.h"

using namespace kuv::backup;

TEST(ExclusionRulesTest, DefaultExtensionsMatchAnywhereInTheName) {
    const ExclusionRules rules("");
    EXPECT_EQ(rules.ByName("notes.exe.txt"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("appli.exe"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("sauve.zip"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("doc.pdf"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("module.bas"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("a.dllx"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("compta.dat"), Exclusion::Kept);
    EXPECT_EQ(rules.ByName("exe"), Exclusion::Kept);          // no dot before it
    EXPECT_EQ(rules.ByName("basique.txt"), Exclusion::Kept);
}

TEST(ExclusionRulesTest, PlusTokensLiftTheirExtensionOnly) {
    const ExclusionRules rules("+exe");
    EXPECT_EQ(rules.ByName("notes.exe.txt"), Exclusion::Kept);
    EXPECT_EQ(rules.ByName("appli.exe"), Exclusion::Kept);
    EXPECT_EQ(rules.ByName("lib.dll"), Exclusion::DefaultExtension);
    // Tokens are case-sensitive.
    EXPECT_EQ(ExclusionRules("+EXE").ByName("appli.exe"), Exclusion::DefaultExtension);
}

TEST(ExclusionRulesTest, OptionsPdfMinusTxtAndNoButtons) {
    const ExclusionRules rules("+pdf -txt NONBOUTONS");
    EXPECT_EQ(rules.ByName("facture.pdf"), Exclusion::Kept);
    EXPECT_EQ(rules.ByName("notes.txt"), Exclusion::OptionExtension);
    EXPECT_EQ(rules.ByName("ww_bt_ok.bmp"), Exclusion::ButtonPicture);
    EXPECT_EQ(rules.ByName("wb_cl_fermer.gif"), Exclusion::ButtonPicture);
    EXPECT_EQ(rules.ByName("archive.zip"), Exclusion::DefaultExtension);
    EXPECT_EQ(rules.ByName("compta.dat"), Exclusion::Kept);
    // Substring search: "-txt" also matches the extensions "tx" and "t".
    EXPECT_EQ(rules.ByName("a.tx"), Exclusion::OptionExtension);
    EXPECT_EQ(rules.ByName("a.t"), Exclusion::OptionExtension);
    // The extension is everything after the first dot.
    EXPECT_EQ(rules.ByName("a.txt.bak"), Exclusion::Kept);
    EXPECT_EQ(ExclusionRules("-txt.bak").ByName("a.txt.bak"), Exclusion::OptionExtension);
    // Without "NONBOUTONS" button pictures are kept.
    EXPECT_EQ(ExclusionRules("").ByName("ww_bt_ok.bmp"), Exclusion::Kept);
}

TEST(ExclusionRulesTest, NamesWithoutExtensionAndApplicationPictures) {
    // A name without a dot is its own extension.
    EXPECT_EQ(ExclusionRules("-readme").ByName("readme"), Exclusion::OptionExtension);
    EXPECT_EQ(ExclusionRules("-readme").ByName("lisez"), Exclusion::Kept);
    // A name ending in its first dot has no extension: "-" alone matches nothing.
    EXPECT_EQ(ExclusionRules("a - b").ByName("fichier."), Exclusion::Kept);
    // Application pictures are always left out, whatever the options.
    EXPECT_EQ(ExclusionRules("").ByName("fc_img_024.gif"), Exclusion::ApplicationPicture);
    EXPECT_EQ(ExclusionRules("+exe +pdf").ByName("ac_img_1.png"), Exclusion::ApplicationPicture);
    EXPECT_EQ(ExclusionRules("").ByName("x_fc_img_1.png"), Exclusion::Kept);
}

TEST(ExclusionRulesTest, EmptyAndUnreadableFilesAreLeftOut) {
    char pattern[] = "/tmp/kuv-rules-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string empty = dir + "/vide.dat";
    const std::string full = dir + "/plein.dat";
    std::ofstream(empty).close();
    std::ofstream(full) << "x";
    const ExclusionRules rules("");
    EXPECT_EQ(rules.Classify("vide.dat", empty), Exclusion::EmptyFile);
    EXPECT_EQ(rules.Classify("plein.dat", full), Exclusion::Kept);
    EXPECT_EQ(rules.Classify("parti.dat", dir + "/parti.dat"), Exclusion::EmptyFile);
    // The name rules come first: an excluded name is not even looked up.
    EXPECT_EQ(rules.Classify("vide.exe", dir + "/vide.exe"), Exclusion::DefaultExtension);
    std::system(("rm -rf '" + dir + "'").c_str());
}
