#include "services/DesktopNotifier.h"

#include "services/SettingsService.h"

#include <algorithm>

#include <QApplication>
#include <QStringList>
#include <QSystemTrayIcon>

#ifdef DUEVIA_WITH_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace {

const QString kAppName = QStringLiteral("Duevia");
// Several tasks due together are listed by name up to this many.
constexpr int kListedTasks = 5;

#ifdef DUEVIA_WITH_DBUS
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that does not answer within this time counts as absent.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage notificationCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}
#endif

} // namespace

DesktopNotifier::DesktopNotifier(SettingsService *settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notifyTasksDueSoon(const QVariantList &tasks)
{
    if (tasks.isEmpty() || !m_settings || !m_settings->desktopNotifications())
        return;
    const auto field = [&tasks](int i, const char *key) {
        return tasks.at(i).toMap().value(QLatin1String(key)).toString();
    };
    const int taskId = tasks.first().toMap().value(QStringLiteral("id")).toInt();
    QString title = tr("Task due soon");
    QString body = field(0, "name") + QLatin1Char('\n') + tr("Expire at: ") + field(0, "expire_at_text");
    if (tasks.size() > 1) {
        title = tr("%n tasks due soon", nullptr, int(tasks.size()));
        QStringList lines;
        const int shown = std::min<int>(int(tasks.size()), kListedTasks);
        for (int i = 0; i < shown; ++i)
            lines.append(tr("%1, expire at %2").arg(field(i, "name"), field(i, "expire_at_text")));
        if (tasks.size() > shown)
            lines.append(tr("and %n more", nullptr, int(tasks.size()) - shown));
        body = lines.join(QLatin1Char('\n'));
    }
#ifdef DUEVIA_WITH_DBUS
    sendToNotificationService(taskId, title, body);
#else
    showTrayMessage(taskId, title, body);
#endif
}

#ifdef DUEVIA_WITH_DBUS

void DesktopNotifier::sendToNotificationService(int taskId, const QString &title, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        showTrayMessage(taskId, title, body);
        return;
    }
    if (!m_listening) {
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(onNotificationClosed(uint, uint)));
        m_listening = true;
    }
    // Asked first because the service's answer also tells whether one runs at all; every call is
    // asynchronous so that a slow service never holds the window.
    auto *watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(notificationCall(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [=](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *call;
        if (capabilities.isError())
            showTrayMessage(taskId, title, body);
        else
            sendNotify(taskId, title, body, capabilities.value().contains(QStringLiteral("body-markup")));
    });
}

void DesktopNotifier::sendNotify(int taskId, const QString &title, const QString &body, bool markup)
{
    const QString desktopEntry = QGuiApplication::desktopFileName();
    // "default" is what most services invoke when the notification itself is clicked.
    const QStringList actions{QStringLiteral("default"), tr("Show"), QStringLiteral("show"), tr("Show")};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry},
                            {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}};
    QDBusMessage notify = notificationCall(QStringLiteral("Notify"));
    notify << kAppName << uint(0) << desktopEntry << title << (markup ? body.toHtmlEscaped() : body)
           << actions << hints << int(-1);
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [=](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<uint> id = *call;
        if (id.isError())
            showTrayMessage(taskId, title, body);
        else
            m_taskByNotification.insert(id.value(), taskId);
    });
}

#endif

void DesktopNotifier::onActionInvoked(uint notificationId, const QString &actionKey)
{
    const auto task = m_taskByNotification.constFind(notificationId);
    if (task == m_taskByNotification.cend())
        return; // another program's notification
    if (actionKey != QLatin1String("show") && actionKey != QLatin1String("default"))
        return;
    emit activated(*task);
#ifdef DUEVIA_WITH_DBUS
    // Some services leave a notification up after its action; it has done its job.
    QDBusConnection::sessionBus().asyncCall(notificationCall(QStringLiteral("CloseNotification"))
                                            << notificationId);
#endif
}

void DesktopNotifier::onNotificationClosed(uint notificationId, uint reason)
{
    // An expired notification can live on in the desktop's history, where "Show" still works.
    constexpr uint kExpired = 1;
    if (reason != kExpired)
        m_taskByNotification.remove(notificationId);
}

void DesktopNotifier::showTrayMessage(int taskId, const QString &title, const QString &body)
{
    // A tray icon needs the widgets application; without a tray the toast is the only notice.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(QGuiApplication::windowIcon(), this);
        m_tray->setToolTip(kAppName);
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] { emit activated(m_trayTaskId); });
    }
    m_trayTaskId = taskId;
    m_tray->show();
    m_tray->showMessage(title, body, QSystemTrayIcon::Information);
}
