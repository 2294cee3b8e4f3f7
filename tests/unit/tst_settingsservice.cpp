#include "TestSupport.h"

#include "services/SettingsService.h"
#include "storage/DatabaseTarget.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TstSettingsService : public QObject
{
    Q_OBJECT

private slots:
    // Each change is announced once and read back by the next instance; an equal value does nothing.
    void changesAreAnnouncedAndKept()
    {
        TestSandbox sandbox;
        {
            SettingsService settings;
            QCOMPARE(settings.notifyMinutes(), 10);
            QVERIFY(settings.desktopNotifications());
            QSignalSpy minutes(&settings, &SettingsService::notifyMinutesChanged);
            QSignalSpy db(&settings, &SettingsService::dbPathChanged);
            settings.setNotifyMinutes(10);
            settings.setDbPath(u"   "_s);
            settings.setNotifyMinutes(0); // no range check here: the settings dialog limits the value
            settings.setSoundFile(u"/sounds/bell.wav"_s);
            settings.setDbPath(u"/data/tasks.db"_s);
            settings.setDbPath(u"file:///data/tasks.db"_s); // the same file
            QCOMPARE(minutes.count() + db.count(), 2);
            // A "file:" URL becomes its local path; a database path is trimmed first, a sound path is not.
            settings.setSoundFile(u"file:///home/u/my%20bell.wav"_s);
            QCOMPARE(settings.soundFile(), u"/home/u/my bell.wav"_s);
            settings.setSoundFile(u" FILE:///data/x.db"_s);
            settings.setDbPath(u" FILE:///data/x.db"_s);
            QCOMPARE(settings.soundFile() + settings.dbPath(), u" FILE:///data/x.db/data/x.db"_s);
            settings.setSoundFile(u"/sounds/bell.wav"_s);
            settings.setDbPath(u"/data/tasks.db"_s);
        }
        SettingsService reread;
        QCOMPARE((QVariantList{reread.notifyMinutes(), reread.soundFile(), reread.dbPath()}),
                 (QVariantList{0, u"/sounds/bell.wav"_s, u"/data/tasks.db"_s}));
        // The file stays the owner's alone however often it is written again.
        QCOMPARE(
            QFileInfo(QSettings(QLatin1String(kSettingsOrganization), QLatin1String(kSettingsApplication))
                          .fileName())
                .permissions(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                QFileDevice::WriteUser);
    }

    void dbServer_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("stored"); // empty: refused, the old value stays

        QTest::newRow("trimmed") << u"  host=db.example dbname=duevia user=anna "_s
                                 << u"host=db.example dbname=duevia user=anna"_s;
        QTest::newRow("quoted value")
            << u"host=db application_name='password=x'"_s << u"host=db application_name='password=x'"_s;
        QTest::newRow("password") << u"host=db user=anna password=secret"_s << QString();
        QTest::newRow("spaced, quoted") << u"host=db PASSWORD = 'se cret'"_s << QString();
        QTest::newRow("URI") << u"postgresql://anna:secret@db/duevia"_s << QString();
    }

    // A connection string is stored trimmed; one that holds a password is refused with a reason.
    void dbServer()
    {
        QFETCH(QString, given);
        QFETCH(QString, stored);
        TestSandbox sandbox;
        {
            SettingsService settings;
            settings.setDbServer(u"host=old"_s);
            QSignalSpy changed(&settings, &SettingsService::dbServerChanged);
            QSignalSpy refused(&settings, &SettingsService::dbServerRefused);
            settings.setDbServer(given);
            QCOMPARE(changed.count(), stored.isEmpty() ? 0 : 1);
            QCOMPARE(refused.count(), stored.isEmpty() ? 1 : 0);
        }
        QCOMPARE(SettingsService().dbServer(), stored.isEmpty() ? u"host=old"_s : stored);
    }

    void connectionStrings_data()
    {
        QTest::addColumn<QString>("connection");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("warning"); // a part of the warning, or empty for none
        QTest::addColumn<QString>("shown");

        QTest::newRow("';' before a password")
            << u"host=x dbname=duevia user=team;password=secret"_s << true
            << u"x is not verified (sslmode=prefer)"_s << u"host=x dbname=duevia user=team password=***"_s;
        QTest::newRow("quoted, escaped quote")
            << u"host = /run/pg application_name='it\\'s; a password=x'"_s << false << QString()
            << u"host=/run/pg application_name='it\\'s  a password=x'"_s;
        QTest::newRow("quoted password") << u"host=localhost PASSWORD = 'se cret'"_s << true << QString()
                                         << u"host=localhost PASSWORD=***"_s;
        QTest::newRow("password file") << u"host=localhost passfile=/home/a/pw"_s << true << QString()
                                       << u"host=localhost passfile=***"_s;
        QTest::newRow("options") << u"host=::1 options='-c password=x'"_s << true << QString()
                                 << u"host=::1 options=***"_s;
        QTest::newRow("unclosed quote")
            << u"host=x password='secret"_s << true << QString() << u"(the setting \"dbServer\")"_s;
        QTest::newRow("network, required")
            << u"host=/tmp,db.example sslmode=require"_s << false
            << u"db.example is not verified (sslmode=require)"_s << u"host=/tmp,db.example sslmode=require"_s;
        QTest::newRow("address") << u"hostaddr=10.0.0.5"_s << false
                                 << u"10.0.0.5 is not verified (sslmode=prefer)"_s << u"hostaddr=10.0.0.5"_s;
        QTest::newRow("verified") << u"host=db.example sslmode=verify-full"_s << false << QString()
                                  << u"host=db.example sslmode=verify-full"_s;
    }

    // A string is read as libpq reads it after Qt's driver: secrets are refused and never shown.
    void connectionStrings()
    {
        QFETCH(QString, connection);
        QFETCH(bool, refused);
        QFETCH(QString, warning);
        QFETCH(QString, shown);
        QCOMPARE(!DatabaseTarget::passwordProblem(connection).isEmpty(), refused);
        const QString given = DatabaseTarget::securityWarning(connection);
        QVERIFY2(warning.isEmpty() ? given.isEmpty() : given.contains(warning), qPrintable(given));
        QCOMPARE(DatabaseTarget::displayText(connection), shown);
    }
};

QTEST_GUILESS_MAIN(TstSettingsService)
#include "tst_settingsservice.moc"
