#include "QmlTestSetup.h"

#include <QApplication>
#include <QDBusConnection>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTest>

Q_IMPORT_QML_PLUGIN(QuilloQmlPlugin)

// Stands in for the desktop's notification service on a private session bus.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QStringList> calls; // summary, body and actions of every Notify

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        calls.append(QStringList{summary, body} + actions);
        return calls.size();
    }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
};

// The window of the program over the real services, with desktop notifications on a private bus.
class TstDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { QProcess::execute(QStringLiteral("kill"), {m_busPid}); }
    void notifiesOnlyWhenTheToastIsUnseen_data();
    void notifiesOnlyWhenTheToastIsUnseen();

private:
    template<typename T> T *service(const char *name)
    {
        return m_engine.rootContext()->contextProperty(QLatin1String(name)).value<T *>();
    }

    QString m_busPid;
    FakeNotificationService m_fake;
    QmlTestSetup m_setup;
    QQmlApplicationEngine m_engine;
    QQuickWindow *m_window = nullptr;
    QWindow m_otherWindow;
};

void TstDesktopNotifier::initTestCase()
{
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--print-address=1", "--print-pid=1", "--fork"});
    QVERIFY(bus.waitForFinished() && bus.exitCode() == 0);
    const QStringList lines = QString::fromUtf8(bus.readAllStandardOutput()).split(QLatin1Char('\n'));
    m_busPid = lines.value(1);
    qputenv("DBUS_SESSION_BUS_ADDRESS", lines.value(0).toUtf8());
    QDBusConnection fakeBus = QDBusConnection::connectToBus(lines.value(0), QStringLiteral("fake"));
    QVERIFY(fakeBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(fakeBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_fake,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));

    QQuickStyle::setStyle(QStringLiteral("Universal"));
    m_setup.qmlEngineAvailable(&m_engine);
    m_engine.load(QUrl(QStringLiteral("qrc:/qt/qml/QuilloQml/Main.qml")));
    m_window = qobject_cast<QQuickWindow *>(m_engine.rootObjects().value(0));
    QVERIFY(m_window);
    QVERIFY(m_setup.signIn(QStringLiteral("notified")) > 0);
    QVERIFY(
        service<TaskService>("taskService")
            ->createTask(QStringLiteral("Call <back>"), QDateTime::currentDateTime().addSecs(300), false));
}

void TstDesktopNotifier::notifiesOnlyWhenTheToastIsUnseen_data()
{
    QTest::addColumn<bool>("windowActive");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("window active") << true << true;
    QTest::newRow("setting off") << false << false;
    QTest::newRow("another window active") << false << true;
}

void TstDesktopNotifier::notifiesOnlyWhenTheToastIsUnseen()
{
    QFETCH(bool, windowActive);
    QFETCH(bool, enabled);
    service<SettingsService>("settings")->setDesktopNotifications(enabled);
    // Another window in front stands for another program (minimising does not deactivate here).
    m_otherWindow.show();
    (windowActive ? static_cast<QWindow *>(m_window) : &m_otherWindow)->requestActivate();
    QTRY_COMPARE(m_window->isActive(), windowActive);

    auto *notifier = service<NotificationService>("notifier");
    const QVariantMap task = service<TaskService>("taskService")->nextDueTask(10);
    notifier->clearNotified();
    m_fake.calls.clear();
    notifier->checkDueTasks();
    if (windowActive || !enabled) {
        QTest::qWait(300);
        QVERIFY(m_fake.calls.isEmpty());
        return;
    }
    QTRY_COMPARE(m_fake.calls.size(), 1);
    QCOMPARE(m_fake.calls.first(),
             (QStringList{"Task due soon", "Call <back>\nExpire at: " + task["expire_at_text"].toString(),
                          "default", "Show", "show", "Show"}));

    emit m_fake.ActionInvoked(1, QStringLiteral("show"));
    QTRY_VERIFY(m_window->isActive());
    QObject *dialog = nullptr;
    QTRY_VERIFY((dialog = m_window->findChild<QObject *>(QStringLiteral("taskDialog"))) &&
                dialog->property("visible").toBool());
    QCOMPARE(dialog->property("editingId"), task["id"]);
}

QTEST_MAIN(TstDesktopNotifier)
#include "tst_desktopnotifier.moc"
