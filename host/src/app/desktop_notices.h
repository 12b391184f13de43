// What the desktop shows of a conversion outside the window: its progress on
// the program's launcher icon (the com.canonical.Unity.LauncherEntry signal,
// which KDE Plasma's task manager and GNOME's docks read) and a notification
// when a long one ends while the user is elsewhere (org.freedesktop.
// Notifications). Both go over the session bus without waiting for an
// answer, so a conversion never waits for the desktop; without a bus, a
// notification server or a dock, nothing happens.
#ifndef PIXBRIDGE_HOST_DESKTOP_NOTICES_H
#define PIXBRIDGE_HOST_DESKTOP_NOTICES_H

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class DesktopNotices : public QObject {
    Q_OBJECT
public:
    // `desktopId` names the program's desktop file, without ".desktop".
    explicit DesktopNotices(QString desktopId, QObject* parent = nullptr);
    ~DesktopNotices() override;

    // The launcher icon's progress bar at `done` of `total`; cleared by
    // ClearProgress (a total of 0 clears it too).
    void ShowProgress(qint64 done, qint64 total);
    void ClearProgress();

    // A notification whose one action, `actionLabel`, runs `onAction` on
    // this object's thread when the user picks it (or the notification).
    void Notify(const QString& summary, const QString& body, const QString& actionLabel,
                std::function<void()> onAction);

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    bool Connected();
    void SendLauncherUpdate(double progress, bool visible);

    QString desktopId_;
    QDBusConnection bus_;
    bool tried_ = false;
    bool progressShown_ = false;
    // Notifications still on screen with the work their action does.
    std::map<uint, std::function<void()>> actions_;
};

#endif  // PIXBRIDGE_HOST_DESKTOP_NOTICES_H
