// Which old backups of the backup folder go, under a keeping rule or when the
// medium has no room for the next one.
#include <gtest/gtest.h>

#include <algorithm>

#include "backup/Thinning.h"
#include "backup/MediumRoom.h"

using namespace kuv::backup;

namespace {

const DateTime kNow{2026, 12, 10, 12, 0, 0, 0};

// Names that look like backups but are not dated backups: never candidates.
const std::vector<std::string> kNeverCandidates = {
    "KuvSav-26120710.zip",         // eight digits
    "kuvsav-2612071015.zip.sv1",   // another extension after .zip
    "notes.zip",
    "KuvSav-2613011000.zip",       // month 13
    "KuvSav-2602301000.zip",       // 30 February
    "KuvSav-2601011000.zip.tmp",
    "xKuvSav-2001011000.zip",
    "KuvSav-2001012400.zip",       // hour 24
};

// The backup folder of a medium used for years, in no particular order.
const std::vector<std::string> kFolder = [] {
    std::vector<std::string> names = {
        "KuvSav-2612101100.zip",  // today
        "KuvSav-2612050900.zip",  // 5 days
        "KuvSav-2612040800.zip",  // 6 days
        "KuvSav-2612011000.zip",  // 9 days: newest of its week
        "KuvSav-2611301000.zip",  // 10 days: same week as the one above
        "KuvSav-2611151000.zip",  // 25 days: alone in its week
        "KuvSav-2609151000.zip",  // September: newest of its month
        "KuvSav-2609021000.zip",  // September, older
        "KuvSav-2601101000.zip",  // January, 11 months back
        "KuvSav-2512201000.zip",  // December 2025, 12 months back: newest of its month
        "KuvSav-2512051000.zip",  // December 2025, older
        "KuvSav-2411051000.zip",  // 2024: newest of its year
        "KuvSav-2403011000.zip",  // 2024, older
        "KUVSAV-2312311000.ZIP",  // 2023, upper case: still a dated backup
    };
    names.insert(names.end(), kNeverCandidates.begin(), kNeverCandidates.end());
    std::reverse(names.begin(), names.end());
    return names;
}();

struct RuleRow {
    const char* label;
    const char* options;
    std::vector<std::string> names;
    DateTime now;
    std::string current;
    std::vector<std::string> removed;  // oldest first
};

class ThinningRuleTest : public ::testing::TestWithParam<RuleRow> {};

TEST_P(ThinningRuleTest, RemovesExactlyTheseOldestFirst) {
    const RuleRow& row = GetParam();
    EXPECT_EQ(RemovedByRule(row.names, KeepRuleOf(row.options), row.now, row.current), row.removed);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ThinningRuleTest,
    ::testing::Values(
        RuleRow{"KeepFive", "+pdf GARDER=5 -txt", kFolder, kNow, "KuvSav-2612101100.zip",
                {"KUVSAV-2312311000.ZIP", "KuvSav-2403011000.zip", "KuvSav-2411051000.zip",
                 "KuvSav-2512051000.zip", "KuvSav-2512201000.zip", "KuvSav-2601101000.zip",
                 "KuvSav-2609021000.zip", "KuvSav-2609151000.zip", "KuvSav-2611151000.zip"}},
        RuleRow{"KeepFiveLowerCaseToken", "garder=5", kFolder, kNow, "",
                {"KUVSAV-2312311000.ZIP", "KuvSav-2403011000.zip", "KuvSav-2411051000.zip",
                 "KuvSav-2512051000.zip", "KuvSav-2512201000.zip", "KuvSav-2601101000.zip",
                 "KuvSav-2609021000.zip", "KuvSav-2609151000.zip", "KuvSav-2611151000.zip"}},
        RuleRow{"Auto", "GARDER=AUTO", kFolder, kNow, "KuvSav-2612101100.zip",
                {"KuvSav-2403011000.zip", "KuvSav-2512051000.zip", "KuvSav-2609021000.zip",
                 "KuvSav-2611301000.zip"}},
        // Fewer than three never goes below the three most recent.
        RuleRow{"KeepOneMeansThree", "GARDER=1", kFolder, kNow, "KuvSav-2612101100.zip",
                {"KUVSAV-2312311000.ZIP", "KuvSav-2403011000.zip", "KuvSav-2411051000.zip",
                 "KuvSav-2512051000.zip", "KuvSav-2512201000.zip", "KuvSav-2601101000.zip",
                 "KuvSav-2609021000.zip", "KuvSav-2609151000.zip", "KuvSav-2611151000.zip",
                 "KuvSav-2611301000.zip", "KuvSav-2612011000.zip"}},
        // The archive being written is kept even when it is not among the most recent
        // (a clock set back).
        RuleRow{"CurrentKept", "GARDER=3", kFolder, kNow, "kuvsav-2403011000.zip",
                {"KUVSAV-2312311000.ZIP", "KuvSav-2411051000.zip", "KuvSav-2512051000.zip",
                 "KuvSav-2512201000.zip", "KuvSav-2601101000.zip", "KuvSav-2609021000.zip",
                 "KuvSav-2609151000.zip", "KuvSav-2611151000.zip", "KuvSav-2611301000.zip",
                 "KuvSav-2612011000.zip"}},
        // Old backups all in one week: AUTO keeps the three most recent anyway.
        RuleRow{"AutoKeepsThreeMostRecent", "GARDER=AUTO",
                {"KuvSav-2611011000.zip", "KuvSav-2611011100.zip", "KuvSav-2611011200.zip",
                 "KuvSav-2611011300.zip"},
                kNow, "", {"KuvSav-2611011000.zip"}},
        RuleRow{"NoToken", "+pdf -txt", kFolder, kNow, "", {}},
        RuleRow{"UnreadableToken", "GARDER=beaucoup", kFolder, kNow, "", {}},
        RuleRow{"OnlyOthers", "GARDER=3", kNeverCandidates, kNow, "", {}}),
    [](const ::testing::TestParamInfo<RuleRow>& info) { return std::string(info.param.label); });

TEST(ThinningTest, OnlyTheDatedGrammarIsABackup) {
    for (const std::string& name : kNeverCandidates) {
        EXPECT_FALSE(DatedBackupTime(name).has_value()) << name;
    }
    const auto when = DatedBackupTime("kUvSaV-2902282359.ZiP");
    ASSERT_TRUE(when.has_value());
    EXPECT_EQ(when->year, 2029);
    EXPECT_EQ(when->month, 2);
    EXPECT_EQ(when->day, 28);
    EXPECT_EQ(when->hour, 23);
    EXPECT_EQ(when->minute, 59);
    EXPECT_TRUE(DatedBackupTime("KuvSav-2802291200.zip").has_value());   // 2028 is a leap year
    EXPECT_FALSE(DatedBackupTime("KuvSav-2702291200.zip").has_value());  // 2027 is not
}

struct RoomRow {
    const char* label;
    std::uint64_t needed;
    std::uint64_t free;
    bool fits;
    std::vector<std::string> removed;
};

class ThinningRoomTest : public ::testing::TestWithParam<RoomRow> {};

// Five dated backups of 100 bytes (the three most recent never go) and other
// files of 10,000 bytes, which are never removed whatever room they would give.
TEST_P(ThinningRoomTest, OldestFirstOnlyAsManyAsNeeded) {
    const RoomRow& row = GetParam();
    std::vector<ExistingBackup> medium = {
        {"KuvSav-2612051000.zip", 100}, {"KuvSav-2612011000.zip", 100}, {"notes.zip", 10000},
        {"KuvSav-2612031000.zip", 100}, {"KuvSav-2611011000.zip", 100}, {"KuvSav-26120710.zip", 10000},
        {"KuvSav-2612041000.zip", 100}, {"kuvsav-2612071015.zip.sv1", 10000}};
    const RoomPlan plan = PlanRoom(medium, row.needed, row.free, "KuvSav-2612101200.zip");
    EXPECT_EQ(plan.fits, row.fits);
    EXPECT_EQ(plan.removed, row.removed);
}

INSTANTIATE_TEST_SUITE_P(
    FullMedium, ThinningRoomTest,
    ::testing::Values(RoomRow{"Fits", 500, 500, true, {}},
                      RoomRow{"OneOld", 550, 500, true, {"KuvSav-2611011000.zip"}},
                      RoomRow{"TwoOld", 650, 500, true, {"KuvSav-2611011000.zip", "KuvSav-2612011000.zip"}},
                      RoomRow{"EvenBothDoNotFit", 701, 500, false, {}},
                      RoomRow{"NothingFree", 150, 0, true, {"KuvSav-2611011000.zip", "KuvSav-2612011000.zip"}}),
    [](const ::testing::TestParamInfo<RoomRow>& info) { return std::string(info.param.label); });

TEST(ThinningTest, OptionsTokens) {
    EXPECT_EQ(KeepRuleOf("GARDER=12").count, 12);
    EXPECT_EQ(KeepRuleOf("GARDER=AUTO").kind, KeepRule::Kind::Auto);
    EXPECT_EQ(KeepRuleOf("+pdfGARDER=5").kind, KeepRule::Kind::None);  // not a token of its own
    EXPECT_EQ(ReminderDaysOf(""), 7);
    EXPECT_EQ(ReminderDaysOf("+pdf RAPPEL=3"), 3);
    EXPECT_EQ(ReminderDaysOf("rappel=0"), 0);
    EXPECT_EQ(ReminderDaysOf("RAPPEL=-2"), 7);
}

TEST(ThinningTest, MediumFullTextInMoOrGo) {
    using kuv::backup::MediumFullText;
    using kuv::backup::SizeText;
    EXPECT_EQ(MediumFullText(15 * 1024 * 1024 + 512 * 1024, 3 * 1024 * 1024),
              "Support plein : 15,5 Mo nécessaires, 3,0 Mo disponibles.");
    EXPECT_EQ(SizeText(1024ull * 1024 * 1024), "1024,0 Mo");
    EXPECT_EQ(SizeText(2560ull * 1024 * 1024), "2,5 Go");
}

}  // namespace
