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
        m_f = std::make_unique<Fixture>();
        QVERIFY(m_f->sandbox.openDatabase(m_f->db));
        QVERIFY(signInTestUser(m_f->auth, u"ada"_s) > 0);
        connect(&m_f->auth, &AuthService::loggedOut, &m_f->notifier, &NotificationService::clearNotified);
    }

    void cleanup() { m_f.reset(); }

    void announcesOncePerExpiryUntilSignOut()
    {
        QSignalSpy due(&m_f->notifier, &NotificationService::taskDueSoon);
        const int id = addTask(u"Call back"_s, 5);
        const int later = addTask(u"later"_s, 9);
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 1);
        QCOMPARE(due.at(0),
                 (QVariantList{id, u"Call back"_s, m_f->tasks.nextDueTask(10).value(u"expire_at_text"_s)}));

        // Postponed within the window: a new expiry is a new announcement.
        QVERIFY(m_f->tasks.updateTask(id, u"Call back"_s, false, minutesFromNow(8), 1));
        m_f->notifier.checkDueTasks();
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 2);
        QCOMPARE(due.at(1).at(0).toInt(), id);
        QVERIFY(due.at(1).at(2) != due.at(0).at(2));

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
        const QString path = file.isEmpty() ? QString() : m_f->sandbox.filePath(file);
        QVERIFY(!playable || writeSilentWav(path));
        m_f->settings.setSoundFile(path);
        QCOMPARE(player()->audioOutput()->volume(), 0.8f);
        QSignalSpy due(&m_f->notifier, &NotificationService::taskDueSoon);
        addTask(u"t"_s, 5);
        m_f->notifier.checkDueTasks();
        QCOMPARE(due.count(), 1); // the warning comes whatever the sound does
        QCOMPARE(player()->source(), path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path));
        // Without a sound card the platform plays into a silent sink; a missing file fails on its own.
        if (playable)
            QTRY_VERIFY(player()->mediaStatus() == QMediaPlayer::EndOfMedia ||
                        player()->playbackState() == QMediaPlayer::PlayingState);
        else if (!path.isEmpty())
            QTRY_COMPARE(player()->mediaStatus(), QMediaPlayer::InvalidMedia);
        m_f->auth.logout(); // stops the sound
        QCOMPARE(player()->playbackState(), QMediaPlayer::StoppedState);
    }

private:
    QDateTime minutesFromNow(int minutes) const { return QDateTime::currentDateTime().addSecs(minutes * 60); }

    int addTask(const QString &name, int minutesAhead)
    {
        if (!m_f->tasks.createTask(name, minutesFromNow(minutesAhead), false))
            return -1;
        QSqlQuery query(u"SELECT MAX(id) FROM tasks"_s, m_f->db.database());
        return query.next() ? query.value(0).toInt() : -1;
    }

    QMediaPlayer *player() const { return m_f->notifier.findChild<QMediaPlayer *>(); }

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
