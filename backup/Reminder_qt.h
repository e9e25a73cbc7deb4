#pragma once
// The reminder's desktop: one notification with an action on the session
// bus (org.freedesktop.Notifications), and the waiting for the action or the
// closing. RunReminder is what "kuvzip --rappel FOLDER" does.

#include <QDBusConnection>
#include <QEventLoop>
#include <QObject>
#include <QString>

#include "backup/Reminder.h"

namespace kuv::backup {

class DBusReminderDesktop : public QObject, public ReminderDesktop {
    Q_OBJECT

public:
    explicit DBusReminderDesktop(QObject* parent = nullptr);
    Answer NotifyAndWait(const std::string& summary, const std::string& body, const std::string& action,
                         int waitMs) override;

private slots:
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    uint id_ = 0;
    Answer answer_ = Answer::TimedOut;
    QEventLoop loop_;
};

// The reminder for the working folder; the program's exit status (0).
int RunReminder(const QString& folder);

// Writes or refreshes the working folder's autostart entry.
bool RefreshReminderEntry(const QString& workingFolder);

}  // namespace kuv::backup
