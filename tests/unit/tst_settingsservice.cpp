#include "TestSupport.h"

#include "services/SettingsService.h"

#include <QSignalSpy>
#include <QTest>

class TstSettingsService : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_sandbox = std::make_unique<TestSandbox>(); }
    void cleanup() { m_sandbox.reset(); }

    void defaultsAndPersistence();
    void equalValuesDoNothing();
    void pathNormalisation_data();
    void pathNormalisation();

private:
    std::unique_ptr<TestSandbox> m_sandbox;
};

void TstSettingsService::defaultsAndPersistence()
{
    {
        SettingsService settings;
        QCOMPARE(settings.notifyMinutes(), 10);
        QCOMPARE(settings.soundFile(), QString());
        QCOMPARE(settings.dbPath(), QString());
        QVERIFY(settings.desktopNotifications());
        QCOMPARE(settingsStore().allKeys(), QStringList());

        settings.setNotifyMinutes(0); // no range check here: the settings dialog limits the value
        settings.setSoundFile(QStringLiteral("/sounds/bell.wav"));
        settings.setDbPath(QStringLiteral("/data/tasks.db"));
    }
    SettingsService reread;
    QCOMPARE(reread.notifyMinutes(), 0);
    QCOMPARE(reread.soundFile(), QStringLiteral("/sounds/bell.wav"));
    QCOMPARE(reread.dbPath(), QStringLiteral("/data/tasks.db"));
}

void TstSettingsService::equalValuesDoNothing()
{
    SettingsService settings;
    QSignalSpy minutes(&settings, &SettingsService::notifyMinutesChanged);
    QSignalSpy sound(&settings, &SettingsService::soundFileChanged);
    QSignalSpy db(&settings, &SettingsService::dbPathChanged);

    settings.setNotifyMinutes(10);
    settings.setSoundFile(QString());
    settings.setDbPath(QStringLiteral("   "));
    QCOMPARE(minutes.count() + sound.count() + db.count(), 0);
    QCOMPARE(settingsStore().allKeys(), QStringList());

    // The URL form of the current path is the same value.
    settings.setDbPath(QStringLiteral("/a.db"));
    settings.setDbPath(QStringLiteral("file:///a.db"));
    QCOMPARE(db.count(), 1);
    settings.setDbPath(QStringLiteral("  "));
    QCOMPARE(db.count(), 2);
    QCOMPARE(settingsStore().value(QStringLiteral("dbPath")).toString(), QString());
}

void TstSettingsService::pathNormalisation_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("soundFile");
    QTest::addColumn<QString>("dbPath");

    QTest::newRow("plain path") << "/home/u/bell.wav"
                                << "/home/u/bell.wav"
                                << "/home/u/bell.wav";
    QTest::newRow("file url") << "file:///home/u/my%20bell.wav"
                              << "/home/u/my bell.wav"
                              << "/home/u/my bell.wav";
    QTest::newRow("capital prefix") << "FILE:///data/x.db"
                                    << "/data/x.db"
                                    << "/data/x.db";
    QTest::newRow("leading blank") << " file:///data/x.db"
                                   << " file:///data/x.db"
                                   << "/data/x.db";
    QTest::newRow("network share") << "file://host/share/x.db"
                                   << "//host/share/x.db"
                                   << "//host/share/x.db";
    QTest::newRow("invalid url") << "file://[::1/x.db"
                                 << "file://[::1/x.db"
                                 << "file://[::1/x.db";
}

void TstSettingsService::pathNormalisation()
{
    QFETCH(QString, input);
    QFETCH(QString, soundFile);
    QFETCH(QString, dbPath);

    SettingsService settings;
    settings.setSoundFile(input);
    settings.setDbPath(input);
    QCOMPARE(settings.soundFile(), soundFile);
    QCOMPARE(settings.dbPath(), dbPath);
    QCOMPARE(settingsStore().value(QStringLiteral("dbPath")).toString(), dbPath);
}

QTEST_GUILESS_MAIN(TstSettingsService)
#include "tst_settingsservice.moc"
