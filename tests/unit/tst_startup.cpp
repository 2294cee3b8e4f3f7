#include "TestSupport.h"
#include "app/DatabaseStartup.h"
#include "storage/SchemaExtras.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
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
    void databaseFiles_data();
    void databaseFiles();
    void failedDatabaseFallsBack_data();
    void failedDatabaseFallsBack();
    void existingFileGainsExtras();
    void extrasThatCannotBeBuiltStopStartup();
    void unreachableServerStopsStartup();

private:
    // Starts the real program with its own home in home and, when chosenPath is set, that file as its
    // "dbPath" setting (or the setting named by key).
    static void start(QProcess &app, const QTemporaryDir &home, const QString &chosenPath = QString(),
                      const QString &key = QStringLiteral("dbPath"));
};

void TstStartup::start(QProcess &app, const QTemporaryDir &home, const QString &chosenPath,
                       const QString &key)
{
    if (!chosenPath.isEmpty())
        QSettings(home.filePath(QStringLiteral("config/Brenwick/QuilloQtQml3.conf")), QSettings::IniFormat)
            .setValue(key, chosenPath);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=true"));
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::MergedChannels);
    app.start(QStringLiteral(DUEVIA_APP_PATH), QStringList());
}

void TstStartup::createsDatabaseInDataFolder()
{
    QTemporaryDir home;
    const QString expectedPath = home.filePath(QStringLiteral("data/appQuilloQml3/duevia2.db"));

    QProcess app;
    start(app, home);
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

void TstStartup::databaseFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("refusal"); // empty: the program runs on the file

    // A regular file where the database folder should be: the folder cannot be created.
    QTest::newRow("unopenable path") << QStringLiteral("blocker/sub/tasks.db") << QStringList()
                                     << QStringLiteral("unable to open");
    QTest::newRow("another program") << QStringLiteral("tasks.db")
                                     << QStringList({QStringLiteral("CREATE TABLE notes (id, body)")})
                                     << QStringLiteral("another program");
    QTest::newRow("newer version") << QStringLiteral("tasks.db")
                                   << (firstVersionFile() << QStringLiteral("PRAGMA user_version = 9"))
                                   << QStringLiteral("newer version");
    QTest::newRow("first version") << QStringLiteral("tasks.db") << firstVersionFile() << QString();
}

void TstStartup::databaseFiles()
{
    QFETCH(QString, file);
    QFETCH(QStringList, statements);
    QFETCH(QString, refusal);
    QTemporaryDir home;
    QFile blocker(home.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = home.filePath(file);
    QVERIFY(statements.isEmpty() || runOnSqliteFile(path, statements).isValid());
    const QByteArray before = fileBytes(path);

    QProcess app;
    start(app, home, path);
    if (refusal.isEmpty()) {
        // Running on the migrated file: the format version in the file header turns 1, and the
        // transaction is over once its journal is gone.
        // Bounded by the clock: under load the polling loop of QTRY_ counted its 20 s in about 2.
        const auto migrated = [&] {
            return fileBytes(path).mid(60, 4) == QByteArray::fromHex("00000001") &&
                   !QFile::exists(path + QStringLiteral("-journal"));
        };
        // Seen once is enough: a later write of the program opens a journal again.
        QElapsedTimer waited;
        waited.start();
        bool done = false;
        while (!(done = migrated()) && waited.elapsed() < 20000)
            QTest::qWait(50);
        QVERIFY(done);
        app.kill();
        app.waitForFinished();
        QCOMPARE(runOnSqliteFile(path, {QStringLiteral("SELECT COUNT(*) FROM tasks WHERE level = 1"
                                                       " AND expire_at_epoch = 1774201800")}),
                 QVariant(1));
        return;
    }
    QVERIFY(app.waitForFinished(20000));
    const QString output = QString::fromUtf8(app.readAll());
    QVERIFY2(output.contains(QStringLiteral("Cannot open SQLite database \"%1\"").arg(path)) &&
                 output.contains(refusal),
             qPrintable(output));
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 1);
    QCOMPARE(fileBytes(path), before);
}

void TstStartup::failedDatabaseFallsBack_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("chosen file to the default one") << false;
    QTest::newRow("server to the local file this time") << true;
}

void TstStartup::failedDatabaseFallsBack()
{
    QFETCH(bool, server);
    TestSandbox sandbox;
    const QString foreign = sandbox.filePath(QStringLiteral("foreign.db"));
    QVERIFY(runOnSqliteFile(foreign, {QStringLiteral("CREATE TABLE notes (id)")}).isValid());
    const QString unreachable = QStringLiteral("host=/nonexistent dbname=duevia");
    SettingsService settings;
    server ? settings.setDbServer(unreachable) : settings.setDbPath(foreign);
    DbManager db;
    DatabaseStartup startup(&db, &settings, sandbox.databaseFile());
    // The server's message also says how to stop using it.
    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression(server ? QStringLiteral("clear \"Server\" in Settings")
                                                   : QStringLiteral("^Cannot open SQLite")));
    using Choice = DatabaseStartup::Choice;
    QList<Choice> offered;
    QVERIFY(startup.prepare([&](const QString &, Choice alternative) {
        offered << alternative;
        return alternative;
    }));
    QVERIFY(offered == QList<Choice>({server ? Choice::UseLocalFile : Choice::UseDefault}));
    QCOMPARE(settings.dbServer(), server ? unreachable : QString());
    QVERIFY(settings.dbPath().isEmpty());
    QCOMPARE(startup.path(), sandbox.databaseFile());
    QVERIFY(db.isOpen() && !db.isServer());
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
    start(app, home);
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

// The page statements rely on the counters and indexes: without them the program must not run.
void TstStartup::extrasThatCannotBeBuiltStopStartup()
{
    QTemporaryDir home;
    const QString path = home.filePath(QStringLiteral("tasks.db"));
    // A file with a task, and a view where a table of the extras goes: the build's DROP TABLE of it fails.
    QVERIFY(runOnSqliteFile(path, firstVersionFile() << QStringLiteral("CREATE VIEW task_counts AS SELECT 1"))
                .isValid());
    QProcess app;
    start(app, home, path);
    QVERIFY(app.waitForFinished(30000));
    const QString output = QString::fromUtf8(app.readAll());
    QVERIFY2(output.contains(QStringLiteral("could not be built")), qPrintable(output));
    QCOMPARE(app.exitCode(), 1);
}

// Unasked (without a window), the program never runs on a file of its own instead of the team's server.
void TstStartup::unreachableServerStopsStartup()
{
    QTemporaryDir home;
    const QString server = QStringLiteral("host=/nonexistent dbname=duevia");
    QProcess app;
    start(app, home, server, QStringLiteral("dbServer"));
    QVERIFY(app.waitForFinished(30000));
    const QString output = QString::fromUtf8(app.readAll());
    QVERIFY2(output.contains(QStringLiteral("Cannot open the database on the server \"%1\"").arg(server)) &&
                 output.contains(QStringLiteral("/nonexistent/.s.PGSQL.5432")),
             qPrintable(output));
    QCOMPARE(app.exitCode(), 1);
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral("data/appQuilloQml3/duevia2.db"))));
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
