#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/NotificationService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"

#include <QAudioOutput>
#include <QFile>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A short silent WAV file: PCM, mono, 8 kHz, 16 bits, 3200 bytes of samples.
bool writeSilentWav(const QString &path)
{
    QFile file(path);
    const QByteArray header =
        QByteArray::fromHex("52494646a40c000057415645666d74201000000001000100401f0000803e0000"
                            "0200100064617461800c0000");
    return file.open(QIODevice::WriteOnly) && file.write(header + QByteArray(3200, '\0')) == 44 + 3200;
}

} // namespace

class TstNotificationService : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_sandbox = std::make_unique<TestSandbox>();
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db));
        m_settings = std::make_unique<SettingsService>();
        m_model = std::make_unique<TaskTableModel>();
        m_auth = std::make_unique<AuthService>(m_db.get());
        QVERIFY(signInTestUser(*m_auth, u"ada"_s) > 0);
        m_tasks = std::make_unique<TaskService>(m_db.get(), m_auth.get(), m_model.get());
        m_notifier = std::make_unique<NotificationService>(m_tasks.get(), m_settings.get());
        connect(m_auth.get(), &AuthService::loggedOut, m_notifier.get(), &NotificationService::clearNotified);
    }

    void cleanup()
    {
        m_notifier.reset();
        m_tasks.reset();
        m_auth.reset();
        m_model.reset();
        m_settings.reset();
        m_db.reset();
        m_sandbox.reset();
    }

    void announcesOncePerExpiryEarliestFirst()
    {
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        const int id = addTask(u"Call back"_s, 5);
        const int later = addTask(u"later"_s, 9);
        m_notifier->checkDueTasks();
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(due.at(0),
                 (QVariantList{id, u"Call back"_s, m_tasks->nextDueTask(10).value(u"expire_at_text"_s)}));

        // Postponed within the window: a new expiry is a new announcement.
        QVERIFY(m_tasks->updateTask(id, u"Call back"_s, false, minutesFromNow(8), 1));
        m_notifier->checkDueTasks();
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
        QCOMPARE(due.at(1).at(0).toInt(), id);
        QVERIFY(due.at(1).at(2) != due.at(0).at(2));

        // A done task is not announced: the next one has its turn.
        QVERIFY(m_tasks->updateTaskDone(id, true));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 3);
        QCOMPARE(due.at(2).at(0).toInt(), later);
    }

    void signOutForgetsAnnouncementsAndStopsSound()
    {
        QVERIFY(writeSilentWav(m_sandbox->filePath(u"alarm.wav"_s)));
        m_settings->setSoundFile(m_sandbox->filePath(u"alarm.wav"_s));
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        addTask(u"t"_s, 5);
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);
        m_auth->logout();
        QCOMPARE(player()->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(m_auth->login(u"ada"_s, u"password123"_s));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
    }

    void sound_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("playable");
        QTest::newRow("no sound file") << QString() << false;
        QTest::newRow("missing sound file") << u"missing.wav"_s << false;
        QTest::newRow("sound file") << u"alarm.wav"_s << true;
    }

    void sound()
    {
        QFETCH(QString, file);
        QFETCH(bool, playable);
        const QString path = file.isEmpty() ? QString() : m_sandbox->filePath(file);
        if (playable)
            QVERIFY(writeSilentWav(path));
        m_settings->setSoundFile(path);
        QCOMPARE(player()->audioOutput()->volume(), 0.8f);
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        addTask(u"t"_s, 5);
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1); // the warning comes whatever the sound does
        if (path.isEmpty()) {
            QVERIFY(player()->source().isEmpty());
            QCOMPARE(player()->playbackState(), QMediaPlayer::StoppedState);
            return;
        }
        QCOMPARE(player()->source(), QUrl::fromLocalFile(path));
        // Without a sound card the platform plays into a silent sink; a missing file fails on its own.
        if (playable)
            QTRY_VERIFY(player()->mediaStatus() == QMediaPlayer::EndOfMedia ||
                        player()->playbackState() == QMediaPlayer::PlayingState);
        else
            QTRY_COMPARE(player()->mediaStatus(), QMediaPlayer::InvalidMedia);
        m_notifier->stopSound();
        QCOMPARE(player()->playbackState(), QMediaPlayer::StoppedState);
    }

private:
    QDateTime minutesFromNow(int minutes) const { return QDateTime::currentDateTime().addSecs(minutes * 60); }

    int addTask(const QString &name, int minutesAhead)
    {
        if (!m_tasks->createTask(name, minutesFromNow(minutesAhead), false))
            return -1;
        QSqlQuery query(u"SELECT MAX(id) FROM tasks"_s, m_db->database());
        return query.next() ? query.value(0).toInt() : -1;
    }

    QMediaPlayer *player() const { return m_notifier->findChild<QMediaPlayer *>(); }

    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<SettingsService> m_settings;
    std::unique_ptr<TaskTableModel> m_model;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<TaskService> m_tasks;
    std::unique_ptr<NotificationService> m_notifier;
};

QTEST_GUILESS_MAIN(TstNotificationService)
#include "tst_notificationservice.moc"
