// The desktop notifier against a notification server of the test's own, on
// a private session bus (a dbus-daemon the test starts), and against no bus
// at all.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>
#include <QMutex>
#include <QThread>
#include <QVariantMap>

#include "QtTestApp.h"
#include "ui/DesktopNotifier_qt.h"
#include "ui/Notifications.h"

namespace {

// What the server received.
struct Received {
    QString appName, icon, summary, body;
    QVariantMap hints;
    int expire = 0;
};

// org.freedesktop.Notifications as the test plays it: records each call,
// answers with the capabilities it is given, or never answers. It lives in a
// thread of its own, as a server lives in a process of its own, so that it
// answers while the test's thread waits.
class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    void Configure(const QStringList& capabilities, bool silent) {
        QMutexLocker lock(&mutex_);
        capabilities_ = capabilities;
        silent_ = silent;
    }
    QVector<Received> Calls() const {
        QMutexLocker lock(&mutex_);
        return received_;
    }
    void Clear() {
        QMutexLocker lock(&mutex_);
        received_.clear();
    }

public slots:
    QStringList GetCapabilities(const QDBusMessage& message) {
        QMutexLocker lock(&mutex_);
        if (silent_) message.setDelayedReply(true);
        return capabilities_;
    }
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire,
                const QDBusMessage& message) {
        (void)replacesId;
        (void)actions;
        QMutexLocker lock(&mutex_);
        if (silent_) message.setDelayedReply(true);
        received_.append({appName, icon, summary, body, hints, expire});
        return uint(received_.size());
    }

private:
    mutable QMutex mutex_;
    QStringList capabilities_{"body"};
    bool silent_ = false;  // keeps every call unanswered
    QVector<Received> received_;
};

// A session bus of the test's own: started once, ended with the suite.
class PrivateBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        kuv::testing::EnsureApp();
        daemon = new QProcess();
        daemon->start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (daemon->waitForStarted(5000) && daemon->waitForReadyRead(5000))
            address = QString::fromUtf8(daemon->readLine()).trimmed();
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("server");
        QDBusConnection::disconnectFromBus("program");
        daemon->terminate();
        daemon->waitForFinished(5000);
        delete daemon;
    }

    void SetUp() override {
        ASSERT_FALSE(address.isEmpty()) << "dbus-daemon did not start";
        server = std::make_unique<FakeServer>();
        serverThread.start();
        server->moveToThread(&serverThread);
        QDBusConnection serverBus = QDBusConnection::connectToBus(address, "server");
        ASSERT_TRUE(serverBus.isConnected());
        ASSERT_TRUE(serverBus.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(serverBus.registerObject("/org/freedesktop/Notifications", server.get(),
                                             QDBusConnection::ExportAllSlots));
    }
    void TearDown() override {
        QDBusConnection serverBus = QDBusConnection::connectToBus(address, "server");
        serverBus.unregisterObject("/org/freedesktop/Notifications");
        serverBus.unregisterService("org.freedesktop.Notifications");
        serverThread.quit();
        serverThread.wait();
    }

    static QDBusConnection ProgramBus() { return QDBusConnection::connectToBus(address, "program"); }

    // Runs the event loop until count notifications have a fate, at most limitMs.
    static bool WaitFinished(QSignalSpy& spy, int count, int limitMs = 5000) {
        QElapsedTimer clock;
        clock.start();
        while (spy.count() < count && clock.elapsed() < limitMs) spy.wait(50);
        return spy.count() >= count;
    }

    static QProcess* daemon;
    static QString address;
    QThread serverThread;
    std::unique_ptr<FakeServer> server;
};
QProcess* PrivateBus::daemon = nullptr;
QString PrivateBus::address;

TEST_F(PrivateBus, SendsTheProgramsNameTheSummaryAndTheBodyWithPlainLineBreaks) {
    kuv::DesktopNotifier notifier(ProgramBus(), 1000);
    QSignalSpy finished(&notifier, &kuv::DesktopNotifier::Finished);
    notifier.Notify(kuv::kNotifyBackupFailed, "Le répertoire des données est introuvable : \n\rC:\\Compta\\Données");
    ASSERT_TRUE(WaitFinished(finished, 1));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_EQ(notifier.Delivered(), 1);
    const QVector<Received> calls = server->Calls();
    ASSERT_EQ(calls.size(), 1);
    const Received& got = calls.first();
    EXPECT_EQ(got.appName, "Kuv-Zip");
    EXPECT_EQ(got.summary, QString::fromUtf8("Sauvegarde automatique impossible"));
    EXPECT_EQ(got.body, QString::fromUtf8("Le répertoire des données est introuvable : \nC:\\Compta\\Données"));
    EXPECT_EQ(got.icon, "fr.kuvzip.KuvZip");
    EXPECT_EQ(got.hints.value("desktop-entry").toString(), "fr.kuvzip.KuvZip");
    EXPECT_EQ(got.expire, -1);
}

// A server that reads markup gets the text escaped; one that does not gets
// it as it is. Several notifications sent before the server answered all
// arrive, in order.
TEST_F(PrivateBus, EscapesTheBodyOnlyForAServerThatReadsMarkup) {
    for (bool markup : {false, true}) {
        SCOPED_TRACE(markup);
        server->Clear();
        server->Configure(markup ? QStringList{"body", "body-markup"} : QStringList{"body"}, false);
        kuv::DesktopNotifier notifier(ProgramBus(), 1000);
        QSignalSpy finished(&notifier, &kuv::DesktopNotifier::Finished);
        notifier.Notify(kuv::kNotifyCopyFailed, "Compta & Paie <2024>");
        notifier.Notify(kuv::kNotifyBackupIncomplete, "2 fichiers écartés");
        ASSERT_TRUE(WaitFinished(finished, 2));
        const QVector<Received> calls = server->Calls();
        ASSERT_EQ(calls.size(), 2);
        EXPECT_EQ(calls[0].body, markup ? "Compta &amp; Paie &lt;2024&gt;" : "Compta & Paie <2024>");
        EXPECT_EQ(calls[0].summary, "Copie automatique impossible");
        EXPECT_EQ(calls[1].summary, QString::fromUtf8("Sauvegarde automatique incomplète"));
    }
}

// A server that never answers: Notify returns at once, and the call is given
// up after the timeout.
TEST_F(PrivateBus, AServerThatDoesNotAnswerCostsAtMostTheTimeout) {
    server->Configure({"body"}, true);
    kuv::DesktopNotifier notifier(ProgramBus(), 300);
    QSignalSpy finished(&notifier, &kuv::DesktopNotifier::Finished);
    QElapsedTimer clock;
    clock.start();
    notifier.Notify(kuv::kNotifyBackupFailed, "Clé pleine ou absente !");
    EXPECT_LT(clock.elapsed(), 200);
    ASSERT_TRUE(WaitFinished(finished, 1, 3000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_LT(clock.elapsed(), 1500);
    EXPECT_EQ(notifier.Failed(), 1);
}

// A notification sent just before the program ends still reaches the server:
// the notifier waits for it when it is destroyed, without an event loop.
TEST_F(PrivateBus, ANotificationSentJustBeforeTheEndIsDelivered) {
    {
        kuv::DesktopNotifier notifier(ProgramBus(), 1000);
        notifier.Notify(kuv::kNotifyBackupIncomplete, "1 fichier non sauvegardé");
    }
    // Delivered by the time the notifier is gone.
    const QVector<Received> calls = server->Calls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls.first().body, QString::fromUtf8("1 fichier non sauvegardé"));
}

// No server on the bus, then no bus at all: nothing is thrown, nothing
// waits, the failure is counted.
TEST(DesktopNotifierWithoutDesktop, NoBusOrNoServerIsNotAnError) {
    kuv::testing::EnsureApp();
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        kuv::DesktopNotifier notifier(QDBusConnection::connectToBus(address, "empty"), 1000);
        QSignalSpy finished(&notifier, &kuv::DesktopNotifier::Finished);
        notifier.Notify(kuv::kNotifyBackupFailed, "Support plein ou absent !");
        QElapsedTimer clock;
        clock.start();
        while (finished.isEmpty() && clock.elapsed() < 3000) finished.wait(50);
        ASSERT_EQ(finished.count(), 1);
        EXPECT_FALSE(finished.at(0).at(0).toBool());
        EXPECT_EQ(notifier.Failed(), 1);
    }
    QDBusConnection::disconnectFromBus("empty");
    daemon.terminate();
    daemon.waitForFinished(5000);

    const QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/kuvzip-bus", "none");
    ASSERT_FALSE(none.isConnected());
    kuv::DesktopNotifier notifier(none, 1000);
    QSignalSpy finished(&notifier, &kuv::DesktopNotifier::Finished);
    QElapsedTimer clock;
    clock.start();
    notifier.Notify(kuv::kNotifyBackupFailed, "Support plein ou absent !");
    EXPECT_LT(clock.elapsed(), 200);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(finished.at(0).at(0).toBool());
}

// The window's line breaks, LF CR as its messages write them, or CR LF, each
// become one line break of the notification.
struct BodyCase {
    const char* window;
    const char* shown;
};
class NotificationBodyTest : public ::testing::TestWithParam<BodyCase> {};
TEST_P(NotificationBodyTest, LineBreaks) { EXPECT_EQ(kuv::NotificationBody(GetParam().window), GetParam().shown); }
INSTANTIATE_TEST_SUITE_P(Texts, NotificationBodyTest,
                         ::testing::Values(BodyCase{"a\n\rb", "a\nb"}, BodyCase{"a\r\nb", "a\nb"},
                                           BodyCase{"a\n\r\n\rb", "a\n\nb"}, BodyCase{"a\rb", "a\nb"},
                                           BodyCase{"a\nb", "a\nb"}, BodyCase{"fin\n\r", "fin\n"},
                                           BodyCase{"", ""}, BodyCase{"é", "é"}));

}  // namespace

#include "DesktopNotifierTest.moc"
