// The real program kuvzip, headless, serving the linked application's
// desktop-backup request on a session bus of its own (dbus-run-session) with
// the tests' notification server (notification-server.py): a request that
// fails is told to the desktop, one that succeeds is not; without a session
// bus the failure stays on the window as before and nothing breaks.

#include <gtest/gtest.h>

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

namespace {

using kuv::apptest::Read;
using kuv::apptest::UnattendedRun;

using NotifiedRun = UnattendedRun;

TEST_F(NotifiedRun, AFailedDesktopRequestIsToldToTheDesktop) {
    ASSERT_TRUE(QDir(data).removeRecursively());
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta{D}X");
    const QJsonObject record = RunWithServer(30);
    if (record.isEmpty()) GTEST_SKIP() << "no private session bus here (dbus-run-session)";

    const QJsonArray sent = record.value("notifications").toArray();
    ASSERT_EQ(sent.size(), 1) << errors.constData();
    const QJsonObject notification = sent.at(0).toObject();
    EXPECT_EQ(notification.value("app_name").toString(), "Kuv-Zip");
    EXPECT_EQ(notification.value("summary").toString(), "Sauvegarde automatique impossible");
    EXPECT_EQ(notification.value("body").toString(),
              QString::fromUtf8("Le répertoire des données est introuvable : C:\\Compta\\Données"));
    EXPECT_EQ(notification.value("app_icon").toString(), "fr.kuvzip.KuvZip");
    // Sent when the request ran (1.5 s after the start), not when the window
    // was closed: the program was still open, waiting on its message.
    EXPECT_LT(record.value("seconds_to_first").toDouble(), 10.0);
    EXPECT_FALSE(record.value("ended_by_itself").toBool());
    // The request stays for the next start; nothing was written.
    EXPECT_EQ(Link("SAVAUT56"), "NOSIG");
    EXPECT_FALSE(QDir(home + "/Bureau").exists() &&
                 !QDir(home + "/Bureau").entryList({"*.zip"}, QDir::Files).isEmpty());
    // Logged: the startup step that went on, the failure; nothing below a
    // warning by default.
    EXPECT_TRUE(errors.contains("kuvzip.startup: data folder C:\\Compta\\Donn\xC3\xA9" "es not found"))
        << errors.constData();
    EXPECT_TRUE(errors.contains("kuvzip.backup: backup failed: Le r\xC3\xA9pertoire")) << errors.constData();
    EXPECT_FALSE(errors.contains("kuvzip.drives:")) << errors.constData();
}

TEST_F(NotifiedRun, ASuccessfulRequestIsNotNotified) {
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta");
    const QJsonObject record = RunWithServer(40);
    if (record.isEmpty()) GTEST_SKIP() << "no private session bus here (dbus-run-session)";
    EXPECT_TRUE(record.value("ended_by_itself").toBool()) << errors.constData();
    EXPECT_EQ(record.value("exit_code").toInt(-1), 0);
    EXPECT_TRUE(record.value("notifications").toArray().isEmpty());
    EXPECT_TRUE(QFile::exists(home + "/Bureau/Compta.zip"));
    EXPECT_EQ(Link("SAVAUT56"), "");
}

// No session bus (none given, or one that is not there): the failed request
// behaves as it always did: it stays open with its failure, keeps the
// request, and only the log says the notification could not be shown.
class WithoutSessionBus : public UnattendedRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(WithoutSessionBus, AFailedRequestStaysOnTheWindow) {
    ASSERT_TRUE(QDir(data).removeRecursively());
    SetLink("SAVAUT56", "NOSIG");
    SetLink("NOMFICATO", "Compta{D}X");
    const std::string address = GetParam();
    adjustEnvironment = [&address](QProcessEnvironment& env) {
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        if (!address.empty()) env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(address));
    };
    EXPECT_EQ(Run(7000), -1);  // still open, showing the failure
    EXPECT_TRUE(errors.contains("kuvzip.notify: notification not shown")) << errors.constData();
    EXPECT_TRUE(errors.contains("kuvzip.backup: backup failed: Le r\xC3\xA9pertoire")) << errors.constData();
    EXPECT_EQ(Link("SAVAUT56"), "NOSIG");
    EXPECT_EQ(Read(work + "/Kuv-Zip.ini"), ini);
}

INSTANTIATE_TEST_SUITE_P(Buses, WithoutSessionBus,
                         ::testing::Values("", "unix:path=/nonexistent/kuvzip-test-bus"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return info.index == 0 ? std::string("Unset") : std::string("NotThere");
                         });

}  // namespace
