#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/NotificationService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"

#include <QAudioOutput>
#include <QDataStream>
#include <QFile>
#include <QMediaPlayer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A short silent 8 kHz mono 16-bit WAV file.
bool writeSilentWav(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const quint32 samples = 1600;
    const quint32 dataSize = samples * 2;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataSize);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << dataSize;
    for (quint32 i = 0; i < samples; ++i)
        out << qint16(0);
    return out.status() == QDataStream::Ok;
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
        QVERIFY(signInTestUser(*m_auth, QStringLiteral("ada")) > 0);
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

    void announcesOncePerExpiry()
    {
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        const int id = addTask(QStringLiteral("Call back"), 5);
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(due.at(0).at(0).toInt(), id);
        QCOMPARE(due.at(0).at(1).toString(), QStringLiteral("Call back"));
        QCOMPARE(due.at(0).at(2).toString(),
                 m_tasks->nextDueTask(10).value(QStringLiteral("expire_at_text")));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);

        // Postponed within the window: a new expiry is a new announcement.
        QVERIFY(m_tasks->updateTask(id, QStringLiteral("Call back"), false, minutesFromNow(8), 1));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
        QVERIFY(due.at(1).at(2).toString() != due.at(0).at(2).toString());
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
    }

    void laterTaskWaitsForTheEarlierOne()
    {
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        const int earlier = addTask(QStringLiteral("earlier"), 3);
        const int later = addTask(QStringLiteral("later"), 6);
        m_notifier->checkDueTasks();
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(due.at(0).at(0).toInt(), earlier);
        QVERIFY(m_tasks->updateTaskDone(earlier, true));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
        QCOMPARE(due.at(1).at(0).toInt(), later);
    }

    void nothingToAnnounce_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("minutesAhead");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("done task") << true << 5 << true;
        QTest::newRow("outside the window") << false << 11 << true;
        QTest::newRow("already expired") << false << -1 << true;
        QTest::newRow("nobody signed in") << false << 5 << false;
    }

    void nothingToAnnounce()
    {
        QFETCH(bool, done);
        QFETCH(int, minutesAhead);
        QFETCH(bool, signedIn);
        QVERIFY(m_tasks->createTask(QStringLiteral("t"), minutesFromNow(minutesAhead), done));
        if (!signedIn)
            m_auth->logout();
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 0);
    }

    void signOutForgetsAnnouncementsAndStopsSound()
    {
        QVERIFY(writeSilentWav(m_sandbox->filePath(QStringLiteral("alarm.wav"))));
        m_settings->setSoundFile(m_sandbox->filePath(QStringLiteral("alarm.wav")));
        QSignalSpy due(m_notifier.get(), &NotificationService::taskDueSoon);
        addTask(QStringLiteral("t"), 5);
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 1);
        m_auth->logout();
        QCOMPARE(player()->playbackState(), QMediaPlayer::StoppedState);
        QVERIFY(m_auth->login(QStringLiteral("ada"), QStringLiteral("password123")));
        m_notifier->checkDueTasks();
        QCOMPARE(due.count(), 2);
    }

    void sound_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("playable");
        QTest::newRow("no sound file") << QString() << false;
        QTest::newRow("missing sound file") << QStringLiteral("missing.wav") << false;
        QTest::newRow("sound file") << QStringLiteral("alarm.wav") << true;
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
        addTask(QStringLiteral("t"), 5);
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
        QSqlQuery query(m_db->database());
        return query.exec(QStringLiteral("SELECT MAX(id) FROM tasks")) && query.next()
                   ? query.value(0).toInt()
                   : -1;
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
