#include "desktop_notices.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include <glog/logging.h>

#include <algorithm>
#include <utility>

namespace {

constexpr char kNotifyService[] = "org.freedesktop.Notifications";
constexpr char kNotifyPath[] = "/org/freedesktop/Notifications";
constexpr char kNotifyInterface[] = "org.freedesktop.Notifications";
constexpr char kLauncherInterface[] = "com.canonical.Unity.LauncherEntry";
// Any path of ours: docks match the signal by the desktop file it names.
constexpr char kLauncherPath[] = "/com/quillmarsh/PixBridge/LauncherEntry";
constexpr char kActionKey[] = "open";
// The notification stays until the user closes it, as the server decides
// for a notification without a timeout of its own (-1).
constexpr int kServerTimeout = -1;

// libdbus would otherwise try to autolaunch a bus of its own (dbus-launch)
// for a program started without one, which is no desktop to tell anything.
bool SessionBusExpected() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

}  // namespace

DesktopNotices::DesktopNotices(QString desktopId, QObject* parent)
    : QObject(parent), desktopId_(std::move(desktopId)), bus_(QString()) {}

DesktopNotices::~DesktopNotices() {
    if (progressShown_) ClearProgress();
}

bool DesktopNotices::Connected() {
    if (!tried_) {
        tried_ = true;
        if (!SessionBusExpected()) {
            LOG(INFO) << "no session bus: conversions show no notification or launcher progress";
            return false;
        }
        bus_ = QDBusConnection::sessionBus();
        if (!bus_.isConnected()) {
            LOG(WARNING) << "cannot reach the session bus: " << bus_.lastError().message().toStdString();
            return false;
        }
        bus_.connect(kNotifyService, kNotifyPath, kNotifyInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(ActionInvoked(uint, QString)));
        bus_.connect(kNotifyService, kNotifyPath, kNotifyInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(NotificationClosed(uint, uint)));
    }
    return bus_.isConnected();
}

void DesktopNotices::SendLauncherUpdate(double progress, bool visible) {
    if (!Connected()) return;
    QDBusMessage signal = QDBusMessage::createSignal(kLauncherPath, kLauncherInterface, QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), progress);
    properties.insert(QStringLiteral("progress-visible"), visible);
    signal << QStringLiteral("application://%1.desktop").arg(desktopId_) << properties;
    bus_.send(signal);
}

void DesktopNotices::ShowProgress(qint64 done, qint64 total) {
    if (total <= 0) {
        ClearProgress();
        return;
    }
    progressShown_ = true;
    SendLauncherUpdate(std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0), true);
}

void DesktopNotices::ClearProgress() {
    progressShown_ = false;
    SendLauncherUpdate(0.0, false);
}

void DesktopNotices::Notify(const QString& summary, const QString& body, const QString& actionLabel,
                            std::function<void()> onAction) {
    if (!Connected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifyService, kNotifyPath, kNotifyInterface,
                                                       QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), desktopId_);
    // "default" is a click on the notification itself.
    const QStringList actions{QStringLiteral("default"), actionLabel, QString::fromLatin1(kActionKey), actionLabel};
    call << QCoreApplication::applicationName() << uint{0} << desktopId_ << summary << body << actions << hints
         << kServerTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, action = std::move(onAction)](QDBusPendingCallWatcher* finished) mutable {
                QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                if (reply.isError()) {
                    LOG(INFO) << "no notification shown: " << reply.error().message().toStdString();
                    return;
                }
                actions_[reply.value()] = std::move(action);
            });
}

void DesktopNotices::ActionInvoked(uint id, const QString& action) {
    auto it = actions_.find(id);
    if (it == actions_.end()) return;  // another program's, or already used
    if (action == QLatin1String("default") || action == QLatin1String(kActionKey)) {
        std::function<void()> work = std::move(it->second);
        actions_.erase(it);
        if (work) work();
    }
}

void DesktopNotices::NotificationClosed(uint id, uint) { actions_.erase(id); }
