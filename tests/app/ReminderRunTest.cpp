// "kuvzip --rappel FOLDER", the real program, on a session bus of its own
// (dbus-run-session) with the tests' notification server, a private HOME and
// XDG_CONFIG_HOME: one notification with its action when the last backup is
// too old, none otherwise, and its autostart entry removed when turned off.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <string>

#include "ProgramRun.h"
#include "backup/Reminder.h"

namespace {

using kuv::apptest::Read;
using kuv::apptest::UnattendedRun;
using kuv::apptest::Write;

struct RunRow {
    const char* label;
    int recordDaysAgo;      // the record of the last successful backup; -1: none
    int manualDaysAgo;      // "Dern:SAV:MAN"; -1: none
    const char* options;    // line 4 of Kuv-Zip.ini
    const char* summary;    // the one notification expected; nullptr: none
    bool entryRemoved;
};

class ReminderRunTest : public UnattendedRun, public ::testing::WithParamInterface<RunRow> {};

TEST_P(ReminderRunTest, OneNotificationOnlyWhenTheLastBackupIsTooOld) {
    const RunRow& row = GetParam();
    const QDate today = QDate::currentDate();
    if (row.recordDaysAgo >= 0) {
        Write(work + "/" + kuv::backup::kReminderRecordFileName,
              today.addDays(-row.recordDaysAgo).toString("yyyy-MM-dd").toLatin1() + " 10:00\r\n");
    }
    if (row.manualDaysAgo >= 0) {
        const QDate day = today.addDays(-row.manualDaysAgo);
        SetLink("Dern:SAV:MAN", day.toString("dd/MM/yyyy").toStdString() + " \xC3\xA0 10:00:" +
                                    std::to_string(QDate(1899, 12, 30).daysTo(day)));
    }
    Write(work + "/Kuv-Zip.ini", ini.left(ini.lastIndexOf("\r\n\r\n") + 2) + row.options + "\r\n");
    const QString entry = config + "/autostart/" +
                          QString::fromStdString(kuv::backup::AutostartFileName(QDir(work).absolutePath().toStdString()));
    ASSERT_TRUE(QDir().mkpath(config + "/autostart"));
    Write(entry, "[Desktop Entry]\n");

    const QJsonObject record = RunWithServer(30, {"--rappel", work});
    if (record.isEmpty()) GTEST_SKIP() << "no private session bus here (dbus-run-session)";
    const QJsonArray notes = record["notifications"].toArray();
    if (row.summary) {
        ASSERT_EQ(notes.size(), 1);
        const QJsonObject note = notes[0].toObject();
        EXPECT_EQ(note["summary"].toString().toStdString(), row.summary);
        EXPECT_TRUE(note["body"].toString().contains(today.addDays(-row.recordDaysAgo).toString("dd/MM/yyyy")));
        const QJsonArray actions = note["actions"].toArray();
        ASSERT_EQ(actions.size(), 2);
        EXPECT_EQ(actions[1].toString(), QStringLiteral("Sauvegarder maintenant"));
        // It waits for the answer: the server ended it.
        EXPECT_FALSE(record["ended_by_itself"].toBool());
    } else {
        EXPECT_EQ(notes.size(), 0);
        EXPECT_TRUE(record["ended_by_itself"].toBool());
        EXPECT_EQ(record["exit_code"].toInt(-1), 0);
    }
    EXPECT_EQ(QFile::exists(entry), !row.entryRemoved);
}

INSTANTIATE_TEST_SUITE_P(
    Days, ReminderRunTest,
    ::testing::Values(RunRow{"EightDaysAgo", 8, -1, "", "Pas de sauvegarde depuis 8 jours", false},
                      RunRow{"TwoDaysAgo", 2, -1, "", nullptr, false},
                      // A copy yesterday (the record), the last backup on a medium long ago.
                      RunRow{"CopyYesterday", 1, 30, "", nullptr, false},
                      RunRow{"TurnedOff", 40, -1, "RAPPEL=0", nullptr, true}),
    [](const ::testing::TestParamInfo<RunRow>& info) { return std::string(info.param.label); });

}  // namespace
