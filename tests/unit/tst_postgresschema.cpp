#include "TestSupport.h"

#include "storage/PostgresSchema.h"
#include "storage/SqlDialect.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlDriver>

#include <thread>

// The schema on a PostgreSQL server: what the suites that run on both engines cannot show. Only the
// PostgreSQL variant of this suite runs it.
class TstPostgresSchema : public QObject
{
    Q_OBJECT

    // Leaves the sandbox's database without any table, as a new database is.
    static bool emptyDatabase(const DbManager &db)
    {
        return execSql(db, QStringLiteral("DROP SCHEMA public CASCADE")) &&
               execSql(db, QStringLiteral("CREATE SCHEMA public"));
    }

private slots:
    void init()
    {
        if (testServer().isEmpty())
            QSKIP("needs the PostgreSQL test server");
    }

    // A prepared database costs one query and is not written again; every change of the data
    // advances the stamp and is announced to the clients that listen.
    void preparedDatabaseStaysAndAnnouncesChanges()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(sandbox.openDatabase(db));
        const QString stamp = SqlDialect::postgres().changeStamp();
        const qint64 before = queryValue(db, stamp).toLongLong();
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        QVERIFY(db.ensureSchema());
        QVERIFY(db.ensureIndexes());
        QVERIFY(db.hasIndexes());
        QCOMPARE(queryValue(db, stamp).toLongLong(), before);

        QSqlDriver *driver = db.database().driver();
        QVERIFY(driver->subscribeToNotification(QStringLiteral("duevia_changes")));
        QSignalSpy announced(driver,
                             qOverload<const QString &, QSqlDriver::NotificationSource, const QVariant &>(
                                 &QSqlDriver::notification));
        QVERIFY(execSql(db, QStringLiteral("INSERT INTO customers (user_id, name) VALUES (1, 'x')")));
        QCOMPARE(queryValue(db, stamp).toLongLong(), before + 1);
        QTRY_COMPARE(announced.size(), 1);
        QCOMPARE(announced.first().at(2).toString(), QStringLiteral("customers"));
        QVERIFY(QDateTime::fromString(
                    queryValue(db, QStringLiteral("SELECT create_at FROM customers")).toString(),
                    QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                    .isValid());
    }

    void foreignDatabaseIsRefused_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("tasks of another program")
            << QStringList{QStringLiteral("CREATE TABLE tasks (id INTEGER, title TEXT)")}
            << QStringLiteral("another program");
        QTest::newRow("counters without our version")
            << QStringList{QStringLiteral("CREATE TABLE task_counts (user_id INTEGER)")}
            << QStringLiteral("another program");
        QTest::newRow("newer version")
            << QStringList{QStringLiteral("CREATE TABLE duevia_schema (version INTEGER)"),
                           QStringLiteral("INSERT INTO duevia_schema VALUES (99)")}
            << QStringLiteral("newer version");
    }

    // Refused with the reason, and left exactly as it was.
    void foreignDatabaseIsRefused()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, refusal);
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(sandbox.openDatabase(db));
        QVERIFY(emptyDatabase(db));
        for (const QString &sql : std::as_const(statements))
            QVERIFY2(execSql(db, sql), qPrintable(sql));
        const QString objects = QStringLiteral("SELECT relname FROM pg_class WHERE relnamespace = "
                                               "'public'::regnamespace ORDER BY relname");
        const QString before = queryList(db, objects);
        QVERIFY(!db.ensureSchema());
        QVERIFY2(db.errorText().contains(refusal), qPrintable(db.errorText()));
        QCOMPARE(queryList(db, objects), before);
    }

    // A database of the version before turns off its indexes' pending changes, writes those it holds
    // into them, and keeps the rest as it is.
    void previousVersionKeepsItsIndexes()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(sandbox.openDatabase(db));
        const QString oid = QStringLiteral("SELECT oid FROM pg_class WHERE relname = 'idx_tasks_name_trgm'");
        const qint64 index = queryValue(db, oid).toLongLong();
        QVERIFY(execSql(db, QStringLiteral("ALTER INDEX idx_tasks_name_trgm SET (fastupdate = on)")));
        QVERIFY(execSql(db, QStringLiteral("INSERT INTO tasks (user_id, name, notes, level, active)"
                                           " VALUES (1, 'heron', '', 1, 1)")));
        QVERIFY(execSql(db, QStringLiteral("UPDATE duevia_schema SET version = 8")));
        QVERIFY(db.ensureSchema());
        QCOMPARE(queryValue(db, oid).toLongLong(), index);
        QCOMPARE(queryValue(db, QStringLiteral("SELECT reloptions FROM pg_class WHERE oid = %1").arg(index))
                     .toString(),
                 QStringLiteral("{fastupdate=off}"));
        QCOMPARE(queryValue(db, QStringLiteral("SELECT version FROM duevia_schema")).toInt(),
                 PostgresSchema::currentVersion());
        QCOMPARE(
            queryValue(db, QStringLiteral("SELECT COUNT(*) FROM tasks WHERE name ILIKE '%eron%'")).toInt(),
            1);
    }

    // Two programs starting at once on an empty database: one prepares it, the other waits for it.
    void simultaneousStartsPrepareOnce()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(sandbox.openDatabase(db));
        QVERIFY(emptyDatabase(db));
        const QString options = db.database().connectOptions();
        bool prepared[2] = {};
        const auto start = [&](int i) {
            const QString name = QStringLiteral("start%1").arg(i);
            {
                QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
                connection.setConnectOptions(options);
                QString error;
                prepared[i] = connection.open() && PostgresSchema::ensure(connection, error);
            }
            QSqlDatabase::removeDatabase(name);
        };
        std::thread first(start, 0), second(start, 1);
        first.join();
        second.join();
        QVERIFY(prepared[0] && prepared[1]);
        QCOMPARE(queryValue(db, QStringLiteral("SELECT COUNT(*) FROM duevia_schema")).toInt(), 1);
    }
};

QTEST_GUILESS_MAIN(TstPostgresSchema)
#include "tst_postgresschema.moc"
