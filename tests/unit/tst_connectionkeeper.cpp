#include "TestSupport.h"

#include "storage/ChangeWatcher.h"
#include "storage/ConnectionKeeper.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

class TstConnectionKeeper : public QObject
{
    Q_OBJECT

private slots:
    void savesFailWhileAwayAndSucceedOnceBack_data();
    void savesFailWhileAwayAndSucceedOnceBack();

private:
    // Stops the test server (mode "fast" or "immediate") or, for the file, moves its folder away;
    // "up" brings it back.
    static bool server(const QString &command, const QString &mode = QString())
    {
        const QString state = QFileInfo(qEnvironmentVariable("DUEVIA_TEST_SERVER_FILE")).absolutePath();
        QStringList arguments = {command, state};
        if (!mode.isEmpty())
            arguments << mode;
        return QProcess::execute(QStringLiteral(DUEVIA_PG_SCRIPT), arguments) == 0;
    }
};

void TstConnectionKeeper::savesFailWhileAwayAndSucceedOnceBack_data()
{
    QTest::addColumn<QString>("mode");
    if (testServer().isEmpty()) {
        QTest::newRow("file's folder gone") << QString();
    } else {
        QTest::newRow("server stopped") << u"fast"_s;
        QTest::newRow("server crashed") << u"immediate"_s;
    }
}

void TstConnectionKeeper::savesFailWhileAwayAndSucceedOnceBack()
{
    QFETCH(QString, mode);
    ServiceFixture fx;
    QVERIFY(fx.sandbox.openDatabase(fx.db));
    QVERIFY(signInTestUser(fx.auth, u"anna"_s) > 0);
    ConnectionKeeper keeper(&fx.db);
    keeper.setIntervals(200, 100, 1000);
    ChangeWatcher watcher(&fx.db);
    QSignalSpy reconnected(&keeper, &ConnectionKeeper::reconnected);
    QSignalSpy changes(&watcher, &ChangeWatcher::changedElsewhere);
    const QDateTime due = QDateTime::currentDateTime().addDays(1);
    // The test server does not wait for its log at commit, which a crash would then lose.
    if (!mode.isEmpty())
        QVERIFY(execSql(fx.db, u"SET synchronous_commit = on"_s));
    QVERIFY(fx.tasks.createTask(u"Before"_s, due));

    const QString folder = QFileInfo(fx.sandbox.databaseFile()).absolutePath();
    const QString away = folder + u"-away"_s;
    QVERIFY(mode.isEmpty() ? QDir().rename(folder, away) : server(u"down"_s, mode));
    QTRY_VERIFY(keeper.isLost());
    QVERIFY(!fx.tasks.createTask(u"During"_s, due));
    QVERIFY(!keeper.whyFailed().isEmpty());
    QTest::qWait(500); // attempts while it is away fail and are tried again
    QVERIFY(keeper.isLost());
    QVERIFY(mode.isEmpty() ? QDir().rename(away, folder) : server(u"up"_s));

    // The same objects carry on: the save that failed succeeds, and other clients' changes show.
    QTRY_COMPARE_WITH_TIMEOUT(reconnected.count(), 1, 20000);
    QVERIFY(!keeper.isLost() && keeper.isRestored());
    QVERIFY(fx.tasks.createTask(u"During"_s, due));
    QCOMPARE(queryList(fx.db, u"SELECT name FROM tasks ORDER BY id"_s), u"Before,During"_s);
    DbManager other(u"other"_s);
    QVERIFY(fx.sandbox.openAgain(other));
    QVERIFY(execSql(other, u"INSERT INTO customers (user_id, name) VALUES (1, 'Acme')"_s));
    QTRY_VERIFY(changes.count() > 0);
}

QTEST_GUILESS_MAIN(TstConnectionKeeper)
#include "tst_connectionkeeper.moc"
