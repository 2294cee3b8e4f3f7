#include "TestSupport.h"
#include "storage/SchemaExtras.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

// Starts the real executable headless with a home of its own.
class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void createsDatabaseInDataFolder();
    void unusableDatabasePathIsFatal();
    void existingFileGainsExtras();

private:
    static QProcessEnvironment environmentFor(const QTemporaryDir &home);
};

QProcessEnvironment TstStartup::environmentFor(const QTemporaryDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
    return env;
}

void TstStartup::createsDatabaseInDataFolder()
{
    QTemporaryDir home;
    const QString expectedPath = home.filePath(QStringLiteral("data/appQuilloQml3/duevia2.db"));

    QProcess app;
    app.setProcessEnvironment(environmentFor(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(DUEVIA_APP_PATH), QStringList());
    QVERIFY(app.waitForStarted());

    // The window is up once the database exists and the log names it; then close the program.
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += app.readAll(), output.contains("DBPATH:")), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(expectedPath), 20000);
    QTest::qWait(500);
    QCOMPARE(app.state(), QProcess::Running);
    app.kill();
    app.waitForFinished();
    output += app.readAll();
    QVERIFY2(output.contains(QStringLiteral("DBPATH: %1").arg(expectedPath).toUtf8()), output.constData());

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(expectedPath);
        QVERIFY(db.open());
        QStringList tables = db.tables();
        for (const char *table : {"customer_contacts", "customers", "tasks", "users"})
            QVERIFY2(tables.contains(QLatin1String(table)), table);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

void TstStartup::unusableDatabasePathIsFatal()
{
    QTemporaryDir home;
    // A regular file where the database folder should be: the folder cannot be created.
    QFile blocker(home.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    {
        QSettings store(home.filePath(QStringLiteral("config/Brenwick/QuilloQtQml3.conf")),
                        QSettings::IniFormat);
        store.setValue(QStringLiteral("dbPath"), home.filePath(QStringLiteral("blocker/sub/tasks.db")));
    }

    QProcess app;
    app.setProcessEnvironment(environmentFor(home));
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(DUEVIA_APP_PATH), QStringList());
    QVERIFY(app.waitForFinished(20000));
    const QByteArray output = app.readAll();
    QVERIFY2(output.contains("Cannot open SQLite database"), output.constData());
    QVERIFY(app.exitStatus() == QProcess::CrashExit || app.exitCode() != 0);
}

// A file of an earlier version (the four tables only, with tasks) gets everything else at start-up.
void TstStartup::existingFileGainsExtras()
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("data/appQuilloQml3/duevia2.db"));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
        DbManager db;
        QVERIFY(db.open(path));
        db.ensureSchema();
        QVERIFY(execSql(db, QStringLiteral("INSERT INTO tasks (user_id, name, expire_at, expire_at_epoch)"
                                           " VALUES (1, 'a', '2026-03-22T17:50:00.000Z', 1774201800),"
                                           " (1, 'b', '2026-03-22T18:50:00.000Z', 1774205400)")));
    }

    QProcess app;
    app.setProcessEnvironment(environmentFor(home));
    app.start(QStringLiteral(DUEVIA_APP_PATH), QStringList());
    QVERIFY(app.waitForStarted());
    DbManager db;
    QVERIFY(db.open(path));
    QTRY_VERIFY_WITH_TIMEOUT(SchemaExtras::isCurrent(db.database()), 20000);
    QTest::qWait(500);
    QCOMPARE(app.state(), QProcess::Running);
    app.kill();
    app.waitForFinished();
    QCOMPARE(queryValue(db, QStringLiteral("SELECT group_concat(n) FROM task_buckets WHERE span = 3600")),
             QVariant(QStringLiteral("1,1")));
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
