#include "TestSupport.h"

#include "storage/SchemaExtras.h"

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

    // A build stopped half-way leaves nothing behind and the next one starts afresh.
    void stoppedExtrasBuildIsRolledBack()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(db.open(sandbox.databaseFile()));
        db.ensureSchema();
        QVERIFY(!SchemaExtras::build(db.database(), [](int done, int) { return done < 2; }));
        QVERIFY(!SchemaExtras::isCurrent(db.database()));
        QCOMPARE(
            queryValue(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index'")).toInt(),
            queryValue(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                          "name LIKE 'sqlite_autoindex%'"))
                .toInt());
        QVERIFY(SchemaExtras::build(db.database()));
        QVERIFY(SchemaExtras::isCurrent(db.database()));
    }

    void openFailsWhenFolderIsMissing()
    {
        TestSandbox sandbox;
        DbManager db;
        QVERIFY(!db.open(sandbox.filePath(QStringLiteral("missing/folder/test.db"))));
    }
};

QTEST_GUILESS_MAIN(TstDbManager)
#include "tst_dbmanager.moc"
