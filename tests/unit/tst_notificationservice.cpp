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

    void announcesOncePerExpiryUntilSignOut()
    {
        QSignalSpy due(&m_f->notifier, &NotificationService::taskDueSoon);
        m_f->settings.setSoundFile(m_f->sandbox.filePath(u"alarm.wav"_s));
        const int id = addTask(u"Call back"_s, 5);
        const int later = addTask(u"later"_s, 9);
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(m_f->notifier.findChild<QMediaPlayer *>()->source().fileName(), u"alarm.wav"_s);
        QCOMPARE(due.at(0),
                 (QVariantList{id, u"Call back"_s, m_f->tasks.nextDueTask(10).value(u"expire_at_text"_s)}));

        // Postponed within the window: a new expiry is a new announcement.
        QVERIFY(m_f->tasks.updateTask(id, u"Call back"_s, false, minutesFromNow(8), 1));
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 2);
        QCOMPARE(due.at(1).at(0).toInt(), id);

        // A done task is not announced: the next one has its turn.
        QVERIFY(m_f->tasks.updateTaskDone(id, true));
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 3);
        QCOMPARE(due.at(2).at(0).toInt(), later);

        // Signing out forgets what was announced.
        m_f->auth.logout();
        QVERIFY(m_f->auth.login(u"ada"_s, u"password123"_s));
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 4);
    }

private:
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
