// The reminder when nobody has backed up: the record it reads, when it
// notifies, what its action starts and when it removes its autostart entry.
#include <gtest/gtest.h>

#include <optional>

#include "DataBackupJobFakes.h"
#include "backup/Reminder.h"
#include "link/LinkFile.h"

using namespace kuv::backup;
using namespace kuv::backup::testing;

namespace {

class FakeDesktop : public ReminderDesktop {
public:
    Answer answer = Answer::Closed;
    std::vector<std::string> summaries, bodies, actions;
    int waited = 0;
    Answer NotifyAndWait(const std::string& summary, const std::string& body, const std::string& action,
                         int waitMs) override {
        summaries.push_back(summary);
        bodies.push_back(body);
        actions.push_back(action);
        waited = waitMs;
        return answer;
    }
};

class FakeLauncher : public ProgramLauncher {
public:
    std::vector<std::pair<std::string, std::string>> started;  // program, folder
    std::vector<std::string> SplitCommand(const std::string&) const override { return {}; }
    bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& folder) override {
        if (!args.empty()) return false;
        started.emplace_back(program, folder);
        return true;
    }
};

struct ReminderRow {
    const char* label;
    const char* record;        // the record file's text; nullptr: none
    const char* lastKey;       // "Dern:SAV:MAN"; nullptr: none
    const char* options;       // line 4 of Kuv-Zip.ini
    bool folderGone;
    ReminderDesktop::Answer answer;
    const char* summary;       // nullptr: no notification asked for
    const char* body;
    bool started;
    bool entryRemoved;
};

class ReminderTest : public ::testing::TestWithParam<ReminderRow> {};

TEST_P(ReminderTest, NotifiesOnlyWhenTheLastBackupIsTooOld) {
    const ReminderRow& row = GetParam();
    ScratchMachine m("kuv-rappel");
    const std::string autostart = m.root + "/config/autostart";
    ASSERT_TRUE(WriteAutostartEntry(autostart, "/opt/kuvzip/kuvzip", m.work));
    WriteFile(m.work + "/Kuv-Zip.ini", std::string("C:\\Appli\\Donnees\r\nE:\r\n\r\n") + row.options + "\r\n");
    if (row.record) WriteFile(m.work + "/" + kReminderRecordFileName, row.record);
    if (row.lastKey) {
        ASSERT_TRUE(kuv::WriteLinkValue("Dern:SAV:MAN", row.lastKey, m.work + "/W_intlog.wdo"));
    }
    const std::string folder = row.folderGone ? m.work + "/parti" : m.work;
    if (row.folderGone) {
        ASSERT_TRUE(WriteAutostartEntry(autostart, "/opt/kuvzip/kuvzip", folder));
    }

    FakeClock clock;
    clock.now = {2026, 12, 10, 8, 30, 0, 0};
    FakeDesktop desktop;
    desktop.answer = row.answer;
    FakeLauncher launcher;
    ReminderContext context{clock, desktop, launcher, "/opt/kuvzip/kuvzip", autostart};
    const ReminderOutcome outcome = RunReminderFor(folder, context);

    if (row.summary) {
        ASSERT_EQ(desktop.summaries.size(), 1u);
        EXPECT_EQ(desktop.summaries[0], row.summary);
        if (row.body) {
            EXPECT_EQ(desktop.bodies[0], row.body);
        }
        EXPECT_EQ(desktop.actions[0], "Sauvegarder maintenant");
        EXPECT_EQ(desktop.waited, 10 * 60 * 1000);
    } else {
        EXPECT_TRUE(desktop.summaries.empty());
    }
    EXPECT_EQ(outcome.started, row.started);
    if (row.started) {
        ASSERT_EQ(launcher.started.size(), 1u);
        EXPECT_EQ(launcher.started[0].first, "/opt/kuvzip/kuvzip");
        EXPECT_EQ(launcher.started[0].second, m.work);
    } else {
        EXPECT_TRUE(launcher.started.empty());
    }
    EXPECT_EQ(outcome.entryRemoved, row.entryRemoved);
    EXPECT_EQ(kuv::platform::PathExists(autostart + "/" + AutostartFileName(folder)), !row.entryRemoved);
}

using A = ReminderDesktop::Answer;
INSTANTIATE_TEST_SUITE_P(
    Records, ReminderTest,
    ::testing::Values(
        ReminderRow{"EightDaysAgo", "2026-12-02 17:45\r\n", nullptr, "+pdf", false, A::Closed,
                    "Pas de sauvegarde depuis 8 jours", "Dernière sauvegarde le 02/12/2026 à 17:45.", false, false},
        ReminderRow{"SevenDaysIsNotOlderThanSeven", "2026-12-03 07:00\r\n", nullptr, "", false, A::Closed, nullptr,
                    nullptr, false, false},
        ReminderRow{"TwoDaysAgo", "2026-12-08 10:00\r\n", nullptr, "", false, A::Closed, nullptr, nullptr, false,
                    false},
        ReminderRow{"ManualBackupNewer", "2026-11-02 10:00\r\n", "09/12/2026 à 18:02:46365", "", false, A::Closed,
                    nullptr, nullptr, false, false},
        ReminderRow{"RecordNewerThanManual", "2026-12-01 09:00\r\n", "09/10/2026 à 18:02:46304", "", false,
                    A::Closed, "Pas de sauvegarde depuis 9 jours", "Dernière sauvegarde le 01/12/2026 à 09:00.",
                    false, false},
        ReminderRow{"OnlyManual", nullptr, "01/11/2026 à 11:15:46327", "", false, A::TimedOut,
                    "Pas de sauvegarde depuis 39 jours", "Dernière sauvegarde le 01/11/2026 à 11:15.", false, false},
        ReminderRow{"ThreeDaysChosen", "2026-12-06 10:00\r\n", nullptr, "RAPPEL=3", false, A::Closed,
                    "Pas de sauvegarde depuis 4 jours", "Dernière sauvegarde le 06/12/2026 à 10:00.", false, false},
        ReminderRow{"ActionStartsTheProgram", "2026-11-20 10:00\r\n", nullptr, "", false, A::Action,
                    "Pas de sauvegarde depuis 20 jours", "Dernière sauvegarde le 20/11/2026 à 10:00.", true, false},
        ReminderRow{"NoDesktop", "2026-11-20 10:00\r\n", nullptr, "", false, A::NoDesktop,
                    "Pas de sauvegarde depuis 20 jours", "Dernière sauvegarde le 20/11/2026 à 10:00.", false, false},
        ReminderRow{"TurnedOff", "2026-01-20 10:00\r\n", nullptr, "+pdf RAPPEL=0", false, A::Action, nullptr, nullptr,
                    false, true},
        ReminderRow{"FolderGone", nullptr, nullptr, "", true, A::Action, nullptr, nullptr, false, true},
        ReminderRow{"UnreadableRecordAndNoKey", "hier\r\n", nullptr, "", false, A::Closed,
                    "Aucune sauvegarde enregistrée", nullptr, false, false}),
    [](const ::testing::TestParamInfo<ReminderRow>& info) { return std::string(info.param.label); });

TEST(ReminderRecordTest, WrittenThenReadBack) {
    ScratchMachine m("kuv-rappel");
    ASSERT_TRUE(RecordSuccessfulBackup(m.work, {2027, 1, 3, 9, 5, 12, 0}));
    EXPECT_EQ(ReadFile(m.work + "/" + kReminderRecordFileName), "2027-01-03 09:05\r\n");
    const auto last = LastSuccessfulBackup(m.work);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->day, 3);
    EXPECT_EQ(last->minute, 5);
}

TEST(ReminderRecordTest, OneEntryPerFolderQuotedForTheDesktop) {
    EXPECT_NE(AutostartFileName("/home/a/Kuv-Zip"), AutostartFileName("/home/a/Appli/Kuv-Zip"));
    EXPECT_EQ(AutostartFileName("/home/a/Kuv-Zip"), AutostartFileName("/home/a/Kuv-Zip"));
    const std::string entry = AutostartEntry("/opt/kuv zip/kuvzip", "/home/a/Compta 100%");
    EXPECT_NE(entry.find("Exec=\"/opt/kuv zip/kuvzip\" --rappel \"/home/a/Compta 100%%\"\n"), std::string::npos)
        << entry;
}

}  // namespace
