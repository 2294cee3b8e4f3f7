#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantList>

class QSystemTrayIcon;
class SettingsService;

// Carries a due-soon warning outside the window: to the desktop's notification service where one
// answers (Linux, over D-Bus), else as a message of a tray icon where the desktop has a tray, else
// nowhere (the window's own toast still shows it). Callers only see `activated` when the user asks to
// see the task.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifier(SettingsService *settings, QObject *parent = nullptr);
    ~DesktopNotifier() override;

    // Announces tasks that fall due soon (entries as NotificationService gives them) in one
    // notification, unless the user turned desktop notifications off. "Show" opens the first.
    Q_INVOKABLE void notifyTasksDueSoon(const QVariantList &tasks);

signals:
    // The user chose "Show" on the notification of this task.
    void activated(int taskId);

private slots:
    void onActionInvoked(uint notificationId, const QString &actionKey);
    void onNotificationClosed(uint notificationId, uint reason);

private:
#ifdef DUEVIA_WITH_DBUS
    void sendToNotificationService(int taskId, const QString &title, const QString &body);
    void sendNotify(int taskId, const QString &title, const QString &body, bool markup);
#endif
    void showTrayMessage(int taskId, const QString &title, const QString &body);

    SettingsService *m_settings = nullptr;
    QHash<uint, int> m_taskByNotification; // notification id given by the service -> task id
    bool m_listening = false;
    QSystemTrayIcon *m_tray = nullptr;
    int m_trayTaskId = -1;
};
