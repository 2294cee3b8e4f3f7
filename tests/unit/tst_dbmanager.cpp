#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

class TstDbManager : public QObject
{
    Q_OBJECT

private slots:
    void newFileGetsFourEmptyTables();
    void existingDataSurvivesAndRerunIsQuiet();
    void nonDatabaseFileLogsEachStatement();
    void openFailsWhenFolderIsMissing();

private:
    static int count(const DbManager &db, const QString &table);
};

int TstDbManager::count(const DbManager &db, const QString &table)
{
    const QVariant rows = queryValue(db, QStringLiteral("SELECT COUNT(*) FROM ") + table);
    return rows.isValid() ? rows.toInt() : -1;
}

void TstDbManager::newFileGetsFourEmptyTables()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(sandbox.openDatabase(db));

    QCOMPARE(db.database().connectionName(), QStringLiteral("qt_sql_default_connection"));
    QStringList tables = db.database().tables();
    for (const char *table : {"customer_contacts", "customers", "tasks", "users"})
        QVERIFY2(tables.contains(QLatin1String(table)), table);
    tables = QStringList({"customer_contacts", "customers", "tasks", "users"});
    for (const QString &table : tables)
        QCOMPARE(count(db, table), 0);
}

void TstDbManager::existingDataSurvivesAndRerunIsQuiet()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(sandbox.openDatabase(db));
    QVERIFY(execSql(db, QStringLiteral("INSERT INTO customers (user_id, name) VALUES (1, 'Acme')")));
    // Foreign keys stay unenforced: customer 0 stands for "no customer" and matches no row.
    QVERIFY(
        execSql(db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (42, 0, 'x')")));

    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    db.ensureSchema();
    db.ensureIndexes();
    QCOMPARE(count(db, QStringLiteral("customers")), 1);
    QCOMPARE(count(db, QStringLiteral("tasks")), 1);
}

void TstDbManager::nonDatabaseFileLogsEachStatement()
{
    TestSandbox sandbox;
    QFile file(sandbox.databaseFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();

    DbManager db;
    QVERIFY(db.open(sandbox.databaseFile()));
    for (int i = 0; i < 4; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^SQL failed:")));
    db.ensureSchema();
}

void TstDbManager::openFailsWhenFolderIsMissing()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(!db.open(sandbox.filePath(QStringLiteral("missing/folder/test.db"))));
    QVERIFY(!db.isOpen());
}

QTEST_GUILESS_MAIN(TstDbManager)
#include "tst_dbmanager.moc"
