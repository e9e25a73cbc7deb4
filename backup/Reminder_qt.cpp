#include "backup/Reminder_qt.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QVariantMap>

#include "ui/QtEnvironment.h"

namespace kuv::backup {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kActionKey = QStringLiteral("sauvegarder");
}  // namespace

DBusReminderDesktop::DBusReminderDesktop(QObject* parent) : QObject(parent) {}

ReminderDesktop::Answer DBusReminderDesktop::NotifyAndWait(const std::string& summary, const std::string& body,
                                                           const std::string& action, int waitMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return Answer::NoDesktop;
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(ActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(NotificationClosed(uint, uint)));
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kuvzip"));
    hints.insert(QStringLiteral("resident"), true);
    message << QStringLiteral("Kuv-Zip") << uint(0) << QStringLiteral("kuvzip") << QString::fromStdString(summary)
            << QString::fromStdString(body) << QStringList{kActionKey, QString::fromStdString(action)} << hints
            << int(0);
    const QDBusReply<uint> reply = bus.call(message, QDBus::Block, 5000);
    if (!reply.isValid()) return Answer::NoDesktop;
    id_ = reply.value();
    QTimer::singleShot(waitMs, &loop_, [this] {
        answer_ = Answer::TimedOut;
        loop_.quit();
    });
    loop_.exec();
    return answer_;
}

void DBusReminderDesktop::ActionInvoked(uint id, const QString& key) {
    if (id != id_ || key != kActionKey) return;
    answer_ = Answer::Action;
    loop_.quit();
}

void DBusReminderDesktop::NotificationClosed(uint id, uint) {
    if (id != id_) return;
    answer_ = Answer::Closed;
    loop_.quit();
}

int RunReminder(const QString& folder) {
    QtClock clock;
    QtProgramLauncher launcher;
    DBusReminderDesktop desktop;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    ReminderContext context{clock, desktop, launcher, QCoreApplication::applicationFilePath().toStdString(),
                            QDir(config).filePath(QStringLiteral("autostart")).toStdString()};
    RunReminderFor(QDir(folder).absolutePath().toStdString(), context);
    return 0;
}

// The autostart entry of the working folder, written when the program runs
// interactively there.
bool RefreshReminderEntry(const QString& workingFolder) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return WriteAutostartEntry(QDir(config).filePath(QStringLiteral("autostart")).toStdString(),
                               QCoreApplication::applicationFilePath().toStdString(),
                               QDir(workingFolder).absolutePath().toStdString());
}

}  // namespace kuv::backup
