#include "QmlTestSetup.h"

#include <QDBusConnection>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QQuickWindow>

Q_IMPORT_QML_PLUGIN(QuilloQmlPlugin)

// Stands in for the desktop's notification service; records summary, body and actions of each Notify.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QStringList> calls;

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions")}; }
    uint Notify(QString, uint, QString, QString summary, QString body, QStringList actions, QVariantMap, int)
    {
        calls.append(QStringList{summary, body} + actions);
        return calls.size();
    }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
};

// The program's window over the real services, with the fake service on a private session bus.
class TstDesktopNotifier : public QObject
{
    Q_OBJECT
    QProcess m_bus; // a private session bus, ended with the test
    FakeNotificationService m_fake;
    QmlTestSetup m_setup;
    QQmlApplicationEngine m_engine;
    QWindow m_otherProgram;

    template<typename T> T *service(const char *name)
    {
        return m_engine.rootContext()->contextProperty(QLatin1String(name)).value<T *>();
    }

private slots:
    void initTestCase()
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead());
        const QString address = QString::fromUtf8(m_bus.readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        QDBusConnection fakeBus = QDBusConnection::connectToBus(address, QStringLiteral("fake"));
        QVERIFY(fakeBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(fakeBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_fake,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
        QQuickStyle::setStyle(QStringLiteral("Universal"));
        m_setup.qmlEngineAvailable(&m_engine);
        m_engine.load(QUrl(QStringLiteral("qrc:/qt/qml/QuilloQml/Main.qml")));
        QVERIFY(m_setup.signIn(QStringLiteral("notified")) > 0);
        QVERIFY(service<TaskService>("taskService")
                    ->createTask(QStringLiteral("Call <back>"), QDateTime::currentDateTime().addSecs(300),
                                 false));
    }

    void notifiesOnlyWhenTheToastIsUnseen_data()
    {
        QTest::addColumn<bool>("windowActive");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("window active") << true << true;
        QTest::newRow("setting off") << false << false;
        QTest::newRow("another program active") << false << true;
    }
    void notifiesOnlyWhenTheToastIsUnseen()
    {
        QFETCH(bool, windowActive);
        QFETCH(bool, enabled);
        auto *window = qobject_cast<QQuickWindow *>(m_engine.rootObjects().value(0));
        service<SettingsService>("settings")->setDesktopNotifications(enabled);
        m_otherProgram.show(); // minimising does not deactivate a window on the offscreen platform
        (windowActive ? static_cast<QWindow *>(window) : &m_otherProgram)->requestActivate();
        QTRY_COMPARE(window->isActive(), windowActive);

        const QVariantMap task = service<TaskService>("taskService")->nextDueTask(10);
        service<NotificationService>("notifier")->clearNotified();
        service<NotificationService>("notifier")->checkDueTasks();
        QTest::qWait(200);
        QCOMPARE(m_fake.calls.size(), windowActive || !enabled ? 0 : 1);
        if (m_fake.calls.isEmpty())
            return;
        QCOMPARE(m_fake.calls.first(),
                 (QStringList{"Task due soon", "Call <back>\nExpire at: " + task["expire_at_text"].toString(),
                              "default", "Show", "show", "Show"}));
        QVERIFY(window->findChild<QObject *>(QStringLiteral("toast"))->property("opened").toBool());
        emit m_fake.ActionInvoked(1, QStringLiteral("show"));
        QTRY_VERIFY(window->isActive());
        QObject *dialog = nullptr;
        QTRY_VERIFY((dialog = window->findChild<QObject *>(QStringLiteral("taskDialog"))) &&
                    dialog->property("visible").toBool());
        QCOMPARE(dialog->property("editingId"), task["id"]);
    }
};

QTEST_MAIN(TstDesktopNotifier)
#include "tst_desktopnotifier.moc"
