#include "TestSupport.h"

#include "app/DatabaseStartup.h"
#include "storage/SchemaExtras.h"

#include <QFileInfo>
#include <QSqlQuery>

#include <QRegularExpression>
#include <QTest>

class TstDbManager : public QObject
{
    Q_OBJECT

private slots:
    // A new file gets the four tables; running the set-up again keeps the data and logs nothing.
    void schemaKeepsDataAndRerunIsQuiet()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(sandbox.openDatabase(db));
        for (const char *table : {"customer_contacts", "customers", "tasks", "users"})
            QVERIFY2(db.database().tables().contains(QLatin1String(table)), table);
        // Foreign keys stay unenforced: customer 0 stands for "no customer" and matches no row.
        QVERIFY(execSql(
            db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (42, 0, 'x')")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        db.ensureSchema();
        QVERIFY(db.ensureIndexes());
        QCOMPARE(queryValue(db, QStringLiteral("SELECT COUNT(*) FROM tasks")).toInt(), 1);
    }

    void handMadeFiles_data();
    void handMadeFiles();

    // A file with tasks but without its extras reads nothing until they are built, and says so; a
    // build stopped half-way leaves nothing behind and the next one starts afresh.
    void fileWithTasksWaitsForItsExtras()
    {
        ServiceFixture f;
        QVERIFY(runOnSqliteFile(f.sandbox.databaseFile(), firstVersionFile()).isValid());
        QVERIFY(f.db.open(f.sandbox.databaseFile()) && f.db.ensureSchema());
        QCOMPARE(signInTestUser(f.auth, QStringLiteral("anna")), 1);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("lacks its indexes")));
        QVERIFY(!f.db.isPrepared());
        f.tasks.loadPage(1);
        QVERIFY(!f.tasks.deleteAllInactive());
        QCOMPARE(f.model.rowCount(), 0);

        QVERIFY(!SchemaExtras::build(f.db.database(), [](int done, int) { return done < 2; }));
        QVERIFY(!SchemaExtras::isCurrent(f.db.database()));
        QCOMPARE(
            queryValue(f.db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index'"))
                .toInt(),
            queryValue(f.db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                            "name LIKE 'sqlite_autoindex%'"))
                .toInt());
        QVERIFY(f.db.ensureIndexes() && f.db.isPrepared());
        f.tasks.loadPage(1);
        QCOMPARE(f.model.rowCount(), 1);
    }

    // The program's data folder, the database and its companions are the owner's alone; a file found
    // readable by others is tightened on the next start.
    void filesArePrivate()
    {
        TestSandbox sandbox;
        const QString path = sandbox.filePath(QStringLiteral("data/duevia.db"));
        for (int start = 0; start < 2; ++start) {
            DbManager db;
            SettingsService settings;
            QVERIFY(DatabaseStartup(&db, &settings, path).prepare({}));
            QVERIFY(db.ensureIndexes()); // the write-ahead log from here on
            queryValue(db, QStringLiteral("SELECT COUNT(*) FROM tasks"));
            const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                               QFileDevice::WriteUser;
            for (const char *suffix : {"", "-wal", "-shm"})
                QVERIFY2(QFileInfo(path + QLatin1String(suffix)).permissions() == owner, suffix);
            QCOMPARE(QFileInfo(sandbox.filePath(QStringLiteral("data"))).permissions(),
                     owner | QFileDevice::ExeOwner | QFileDevice::ExeUser);
            db.close();
            QFile::setPermissions(path, owner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        }
    }

    void openFailsWhenFolderIsMissing()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(!db.open(sandbox.filePath(QStringLiteral("missing/folder/test.db"))));
    }
};

void TstDbManager::handMadeFiles_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QString>("refusal"); // empty: the file is accepted and brought up to date

    const QString users = QStringLiteral("CREATE TABLE users (id, username, password_hash, salt, name, role, "
                                         "active, created_at)");
    QTest::newRow("new") << QStringList() << false << QString();
    QTest::newRow("first version") << firstVersionFile() << false << QString();
    QTest::newRow("creation interrupted") << QStringList({users}) << false << QString();
    QTest::newRow("other tables beside ours")
        << QStringList({users, QStringLiteral("CREATE TABLE x (y)")}) << false << QString();
    QTest::newRow("another program") << QStringList({QStringLiteral("CREATE TABLE notes (id, body)")})
                                     << false << QStringLiteral("another program");
    QTest::newRow("our name, other columns")
        << QStringList({users, QStringLiteral("CREATE TABLE tasks (id, title)")}) << false
        << QStringLiteral("another program");
    QTest::newRow("newer version") << QStringList({users, QStringLiteral("PRAGMA user_version = 2")}) << false
                                   << QStringLiteral("newer version");
    QTest::newRow("locked elsewhere") << QStringList() << true << QStringLiteral("locked");
}

void TstDbManager::handMadeFiles()
{
    QFETCH(QStringList, statements);
    QFETCH(bool, locked);
    QFETCH(QString, refusal);
    TestSandbox sandbox;
    const QString path = sandbox.databaseFile();
    QVERIFY(runOnSqliteFile(path, statements).isValid());
    const QByteArray before = fileBytes(path);
    if (locked) { // another connection holds the file until the end of the test
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(path);
        QVERIFY(holder.open() && QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }

    DbManager db;
    QVERIFY(db.open(path));
    if (locked)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^SQL failed:")));
    QCOMPARE(db.ensureSchema(), refusal.isEmpty());
    QVERIFY2(db.errorText().contains(refusal), qPrintable(db.errorText()));
    if (!refusal.isEmpty()) {
        db.close();
        QCOMPARE(fileBytes(path), before);
        return;
    }
    QCOMPARE(queryValue(db, QStringLiteral("PRAGMA user_version")).toInt(), DbManager::kLatestVersion);
    // Only a file with tasks waits for the one-time build that shows its progress.
    QCOMPARE(db.hasIndexes(), statements != firstVersionFile());
    // Missing tables and columns are there, and the old task sorts and falls due by its stored expiry.
    QVERIFY(execSql(
        db, QStringLiteral("SELECT level, expire_at_epoch, label FROM tasks, customers, customer_contacts")));
    QCOMPARE(queryValue(db, QStringLiteral("SELECT COUNT(*) FROM tasks WHERE level = 1"
                                           " AND expire_at_epoch = 1774201800"))
                 .toInt(),
             statements == firstVersionFile() ? 1 : 0);
}

QTEST_GUILESS_MAIN(TstDbManager)
#include "tst_dbmanager.moc"
