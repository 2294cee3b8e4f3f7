#include "TestSupport.h"

#include "services/SettingsService.h"

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
    }
};

QTEST_GUILESS_MAIN(TstSettingsService)
#include "tst_settingsservice.moc"
