// Labels and entries of the backup lists, and the names read back from them.
#include <gtest/gtest.h>

#include "platform/Text.h"
#include "restore/BackupListing.h"

namespace kuv::restore {
namespace {

struct LabelCase {
    const char* name;
    const char* label;
};

class BackupLabelTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(BackupLabelTest, LabelOfName) { EXPECT_EQ(BackupLabel(GetParam().name), GetParam().label); }

INSTANTIATE_TEST_SUITE_P(
    Names, BackupLabelTest,
    ::testing::Values(LabelCase{"KuvSav-2312251430.zip", "Sauvegarde du 25 Décembre 2023 à 14H30"},
                      LabelCase{"KuvSav-2612071015.zip", "Sauvegarde du 07 Décembre 2026 à 10H15"},
                      LabelCase{"kuvsav-2701030905.zip", "Sauvegarde du 03 Janvier 2027 à 09H05"},
                      LabelCase{"KUVSAV-2608151200.ZIP", "Sauvegarde du 15 Ouet 2026 à 12H00"},
                      LabelCase{"KuvSav-2602010800.zip", "Sauvegarde du 01 Février, 2026 à 08H00"},
                      LabelCase{"SECUR_ZIP-2609300001.zip", "Sauvegarde du 30 Septembre 2026 à 00H01"},
                      // Month digits outside 01-12: readable, never empty.
                      LabelCase{"KuvSav-2613071015.zip", "Sauvegarde du 07 (mois 13) 2026 à 10H15"},
                      LabelCase{"KuvSav-2600071015.zip", "Sauvegarde du 07 (mois 00) 2026 à 10H15"},
                      // No ten-digit date: the name itself.
                      LabelCase{"KuvSav-26ab071015.zip", "KuvSav-26ab071015.zip"},
                      LabelCase{"kuvsav-.zip", "kuvsav-.zip"},
                      LabelCase{"kuvchier.zip", "kuvchier.zip"}));

TEST(BackupListingTest, List1EntryIsTheLabelOn150CharactersThenTheName) {
    const auto entry = List1Entry("KuvSav-2312251430.zip");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(platform::CharCount(*entry), 150u + 21u);
    EXPECT_EQ(platform::CharMid(*entry, 150), "KuvSav-2312251430.zip");
    EXPECT_EQ(platform::Trim(platform::CharLeft(*entry, 150)), "Sauvegarde du 25 Décembre 2023 à 14H30");
    EXPECT_EQ(ArchiveNameOfList1Entry(*entry), "KuvSav-2312251430.zip");
    EXPECT_EQ(ChoiceText(*entry), "Restaurer la Sauvegarde du 25 Décembre 2023 à 14H30");
    EXPECT_FALSE(List1Entry("notes.zip").has_value());
    EXPECT_FALSE(List1Entry("kuvfoo.zip").has_value());
    EXPECT_TRUE(List1Entry("Secur_Zip-2312251430.zip").has_value());
}

TEST(BackupListingTest, LongNameIsCutInTheLabelButRecoveredWhole) {
    const std::string name = "kuvchier" + std::string(170, 'x') + ".zip";
    const auto entry = List1Entry(name);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(platform::CharCount(*entry), 150u + name.size());
    EXPECT_EQ(ArchiveNameOfList1Entry(*entry), name);
    // A name longer than the first 60 characters comes back whole too.
    const std::string medium = "kuvchier_sauvegarde_du_cabinet_avant_le_changement_de_logiciel.zip";
    EXPECT_EQ(ArchiveNameOfList1Entry(*List1Entry(medium)), medium);
}

TEST(BackupListingTest, List2EntryAndTheArchiveItNames) {
    const std::string line = "Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier";
    const std::string entry = List2Entry(line, "Info_sv_appli.txt");
    // The line and its 100 blanks stay under 200 characters: nothing is cut.
    EXPECT_EQ(entry, line + std::string(100, ' ') + "Info_sv_appli.txt");
    const std::string longLine(230, 'L');
    EXPECT_EQ(List2Entry(longLine, "Info_sv_x.txt"), std::string(200, 'L') + "Info_sv_x.txt");
    EXPECT_EQ(ArchiveNameOfList2Entry(entry), "kuvchier.zip");
    EXPECT_EQ(ChoiceText(entry), "Restaurer la Sauvegarde du : 07/12/2026 à 09:53 - Dossier : kuvchier");
    // An empty first line: 100 blanks, then the name.
    const std::string empty = List2Entry("", "Info_sv_x.txt");
    EXPECT_EQ(empty, std::string(100, ' ') + "Info_sv_x.txt");
    EXPECT_EQ(ArchiveNameOfList2Entry(empty), "");
}

}  // namespace
}  // namespace kuv::restore
