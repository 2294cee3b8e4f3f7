#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/NotificationService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"

#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

class TstNotificationService : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_f = std::make_unique<Fixture>();
        QVERIFY(m_f->sandbox.openDatabase(m_f->db));
        QVERIFY(signInTestUser(m_f->auth, u"ada"_s) > 0);
        connect(&m_f->auth, &AuthService::loggedOut, &m_f->notifier, &NotificationService::clearNotified);
    }

    void cleanup() { m_f.reset(); }

    // Every task in the window is announced once per expiry, in expiry order, those entering
    // together in one announcement.
    void announcesEachTaskOncePerExpiryUntilSignOut()
    {
        QSignalSpy due(&m_f->notifier, &NotificationService::tasksDueSoon);
        m_f->settings.setSoundFile(m_f->sandbox.filePath(u"alarm.wav"_s));
        const int later = addTask(u"later"_s, 9);
        const int id = addTask(u"Call back"_s, 5);
        const int sameMinute = addTask(u"Same minute"_s, 5);
        addTask(u"outside"_s, 11);
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(m_f->notifier.findChild<QMediaPlayer *>()->source().fileName(), u"alarm.wav"_s);
        QCOMPARE(announcedIds(due.at(0)), (QList<int>{id, sameMinute, later}));
        QCOMPARE(due.at(0).at(0).toList().at(0).toMap().value(u"expire_at_text"_s),
                 m_f->tasks.nextDueTask(10).value(u"expire_at_text"_s));

        // Postponed within the window: a new expiry is a new announcement; a new task joins in.
        QVERIFY(m_f->tasks.updateTask(id, u"Call back"_s, false, minutesFromNow(8), 1));
        const int added = addTask(u"added"_s, 7);
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 2);
        QCOMPARE(announcedIds(due.at(1)), (QList<int>{added, id}));

        // Signing out forgets what was announced.
        m_f->auth.logout();
        QVERIFY(m_f->auth.login(u"ada"_s, u"password123"_s));
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 3);
        QCOMPARE(announcedIds(due.at(2)).size(), 4);
    }

private:
    static QList<int> announcedIds(const QList<QVariant> &signal)
    {
        QList<int> ids;
        for (const QVariant &task : signal.at(0).toList())
            ids.append(task.toMap().value(u"id"_s).toInt());
        return ids;
    }

    QDateTime minutesFromNow(int minutes) const { return QDateTime::currentDateTime().addSecs(minutes * 60); }

    int addTask(const QString &name, int minutesAhead)
    {
        return m_f->tasks.createTask(name, minutesFromNow(minutesAhead), false)
                   ? queryValue(m_f->db, u"SELECT MAX(id) FROM tasks"_s).toInt()
                   : -1;
    }

    struct Fixture
    {
        TestSandbox sandbox;
        DbManager db;
        SettingsService settings;
        TaskTableModel model;
        AuthService auth{&db};
        TaskService tasks{&db, &auth, &model};
        NotificationService notifier{&tasks, &settings};
    };
    std::unique_ptr<Fixture> m_f;
};

QTEST_GUILESS_MAIN(TstNotificationService)
#include "tst_notificationservice.moc"
