#include "ui/DesktopNotifier_qt.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <algorithm>

#include "ui/LogCategories.h"

namespace kuv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kApplicationName = QStringLiteral("Kuv-Zip");
const QString kApplicationId = QStringLiteral("fr.kuvzip.KuvZip");  // the icon and the menu entry

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent), timeoutMs_(kNotificationTimeoutMs) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, int timeoutMs, QObject* parent)
    : QObject(parent), bus_(bus), timeoutMs_(std::clamp(timeoutMs, 1, kNotificationTimeoutMs)) {}

DesktopNotifier::~DesktopNotifier() {
    // The event loop may be gone: the answers are collected here directly.
    if (markup_ == Markup::Asking) {
        capabilities_->waitForFinished();
        CapabilitiesAnswered(*capabilities_);
    }
    for (QDBusPendingCall& call : pending_) call.waitForFinished();
}

QDBusConnection& DesktopNotifier::Bus() {
    if (!bus_) bus_ = QDBusConnection::sessionBus();
    return *bus_;
}

void DesktopNotifier::Notify(const std::string& summary, const std::string& body) {
    const QString summaryText = QString::fromStdString(summary);
    const QString bodyText = QString::fromStdString(NotificationBody(body));
    qCInfo(lcNotify).noquote() << "notification:" << summaryText << "|" << bodyText;
    if (!Bus().isConnected()) {
        Fail(QStringLiteral("no session bus (%1)").arg(Bus().lastError().message()));
        return;
    }
    switch (markup_) {
        case Markup::Unknown:
            waiting_.append({summaryText, bodyText});
            AskCapabilities();
            break;
        case Markup::Asking:
            waiting_.append({summaryText, bodyText});
            break;
        case Markup::Plain:
        case Markup::Escaped:
            Send(summaryText, bodyText);
            break;
    }
}

void DesktopNotifier::AskCapabilities() {
    markup_ = Markup::Asking;
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities");
    capabilities_ = Bus().asyncCall(ask, timeoutMs_);
    auto* watcher = new QDBusPendingCallWatcher(*capabilities_, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (markup_ == Markup::Asking) CapabilitiesAnswered(*done);
    });
}

void DesktopNotifier::CapabilitiesAnswered(const QDBusPendingCall& call) {
    const QDBusPendingReply<QStringList> reply(call);
    capabilities_.reset();
    if (reply.isError()) {
        // No server (or one that does not answer): what was waiting is lost,
        // and the next notification asks again.
        markup_ = Markup::Unknown;
        const QString why = reply.error().message();
        const auto lost = std::exchange(waiting_, {});
        for (int i = 0; i < lost.size(); ++i) Fail(QStringLiteral("no notification server (%1)").arg(why));
        return;
    }
    markup_ = reply.value().contains(QStringLiteral("body-markup")) ? Markup::Escaped : Markup::Plain;
    const auto ready = std::exchange(waiting_, {});
    for (const auto& [summary, body] : ready) Send(summary, body);
}

void DesktopNotifier::Send(const QString& summary, const QString& body) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), kApplicationId);
    // Critical: it stays on screen until the user has seen it.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(2));
    message << kApplicationName << uint(0) << kApplicationId << summary
            << (markup_ == Markup::Escaped ? body.toHtmlEscaped() : body) << QStringList() << hints << int(-1);
    const QDBusPendingCall call = Bus().asyncCall(message, timeoutMs_);
    pending_.append(call);
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        Sent(*done);
    });
}

void DesktopNotifier::Sent(const QDBusPendingCall& call) {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const QDBusPendingCall& other) { return other.isFinished(); }),
                   pending_.end());
    const QDBusPendingReply<uint> reply(call);
    if (reply.isError()) {
        Fail(reply.error().message());
        return;
    }
    ++delivered_;
    qCDebug(lcNotify) << "notification shown, id" << reply.value();
    emit Finished(true);
}

void DesktopNotifier::Fail(const QString& why) {
    ++failed_;
    qCWarning(lcNotify).noquote() << "notification not shown:" << why;
    emit Finished(false);
}

}  // namespace kuv
