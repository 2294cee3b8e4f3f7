#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {

QStringList tableNames(const DbManager &db)
{
    QStringList names = db.database().tables();
    names.removeAll(QStringLiteral("sqlite_sequence"));
    names.sort();
    return names;
}

int rowCount(const DbManager &db, const QString &table)
{
    QSqlQuery query(db.database());
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table) || !query.next())
        return -1;
    return query.value(0).toInt();
}

// Fails the test on any warning logged while it is alive.
class WarningGuard
{
public:
    WarningGuard()
    {
        s_warnings.clear();
        m_previous = qInstallMessageHandler(&WarningGuard::handler);
    }
    ~WarningGuard() { qInstallMessageHandler(m_previous); }
    QStringList warnings() const { return s_warnings; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtWarningMsg)
            s_warnings << message;
    }
    static inline QStringList s_warnings;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

class TstDbManager : public QObject
{
    Q_OBJECT

private slots:
    void newFileGetsFourEmptyTables();
    void secondEnsureSchemaKeepsDataAndStaysQuiet();
    void taskWithoutCustomerIsAccepted();
    void nonDatabaseFileLogsEachStatement();
    void openFailsWhenFolderIsMissing();
};

void TstDbManager::newFileGetsFourEmptyTables()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(!QFile::exists(sandbox.databaseFile()));
    QVERIFY(sandbox.openDatabase(db));

    QVERIFY(QFile::exists(sandbox.databaseFile()));
    QCOMPARE(db.database().connectionName(), QStringLiteral("qt_sql_default_connection"));
    QCOMPARE(tableNames(db), QStringList({"customer_contacts", "customers", "tasks", "users"}));
    for (const QString &table : tableNames(db))
        QCOMPARE(rowCount(db, table), 0);

    const QSqlRecord tasks = db.database().record(QStringLiteral("tasks"));
    for (const char *column : {"id", "user_id", "customer_id", "name", "notes", "level", "active",
                               "expire_at", "expire_at_epoch", "create_at"})
        QVERIFY2(tasks.contains(QLatin1String(column)), column);
}

void TstDbManager::secondEnsureSchemaKeepsDataAndStaysQuiet()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(sandbox.openDatabase(db));
    QVERIFY(execSql(db, QStringLiteral("INSERT INTO customers (user_id, name) VALUES (1, 'Acme')")));

    WarningGuard guard;
    db.ensureSchema();
    db.ensureIndexes();
    QCOMPARE(guard.warnings(), QStringList());
    QCOMPARE(rowCount(db, QStringLiteral("customers")), 1);
}

void TstDbManager::taskWithoutCustomerIsAccepted()
{
    TestSandbox sandbox;
    DbManager db;
    QVERIFY(sandbox.openDatabase(db));
    // Foreign keys are not enforced: 0 stands for "no customer" and matches no row.
    QVERIFY(
        execSql(db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (42, 0, 'x')")));
    QCOMPARE(rowCount(db, QStringLiteral("tasks")), 1);
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
    const QRegularExpression failure(QStringLiteral("^SQL failed:"));
    for (int i = 0; i < 4; ++i)
        QTest::ignoreMessage(QtWarningMsg, failure);
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
