#pragma once
// The desktop's notifications: org.freedesktop.Notifications on the session
// bus, through Qt D-Bus. Every call is asynchronous and bounded by a timeout
// of at most one second; without a session bus or a notification server the
// notification is logged (kuvzip.notify) and dropped, and the program goes
// on as if it had been shown.
//
// The server is asked once for its capabilities: a server that reads markup
// in the body gets the body's "&", "<" and ">" escaped, so that a folder
// named "Compta & Paie" shows as it is written.

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QVector>
#include <optional>
#include <utility>

#include "ui/Notifications.h"

namespace kuv {

inline constexpr int kNotificationTimeoutMs = 1000;

class DesktopNotifier : public QObject, public Notifier {
    Q_OBJECT

public:
    // On the session bus of the desktop, reached at the first notification
    // only: a run with nothing to tell never touches the bus.
    explicit DesktopNotifier(QObject* parent = nullptr);
    // On a given connection (tests use a bus of their own). REQUIRES:
    // 0 < timeoutMs <= kNotificationTimeoutMs.
    DesktopNotifier(const QDBusConnection& bus, int timeoutMs, QObject* parent = nullptr);
    // Waits, at most the timeout per call, for the notifications still on
    // their way, so that one sent just before the program ends is not lost.
    ~DesktopNotifier() override;

    void Notify(const std::string& summary, const std::string& body) override;

    // Notifications the server accepted / that could not be delivered so far.
    int Delivered() const { return delivered_; }
    int Failed() const { return failed_; }

signals:
    // One notification's fate is known (delivered or not).
    void Finished(bool delivered);

private:
    enum class Markup { Unknown, Asking, Plain, Escaped };
    void AskCapabilities();
    void CapabilitiesAnswered(const QDBusPendingCall& call);
    void Send(const QString& summary, const QString& body);
    void Sent(const QDBusPendingCall& call);
    void Fail(const QString& why);

    QDBusConnection& Bus();

    std::optional<QDBusConnection> bus_;
    int timeoutMs_;
    Markup markup_ = Markup::Unknown;
    std::optional<QDBusPendingCall> capabilities_;  // while asking
    QVector<std::pair<QString, QString>> waiting_;  // sent once the capabilities are known
    QVector<QDBusPendingCall> pending_;
    int delivered_ = 0;
    int failed_ = 0;
};

}  // namespace kuv
