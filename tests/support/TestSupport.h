#pragma once

#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The connection string of the test server when the suite runs as its PostgreSQL variant (from the
// file the fixture writes); empty for SQLite. A missing file gives a server no one listens at.
inline QString testServer()
{
    QFile file(qEnvironmentVariable("DUEVIA_TEST_SERVER_FILE"));
    if (file.fileName().isEmpty())
        return {};
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : "host=/nonexistent";
}

// Ends a test that is about the SQLite file itself (its bytes, pragmas, planner) on the server.
#define SKIP_ON_SERVER(reason)                                                                               \
    if (!testServer().isEmpty())                                                                             \
    QSKIP(reason)

// A private folder for one test: its own settings store and its own database, a file in the folder
// or, on the PostgreSQL variant, a database of its own on the test server, dropped with the sandbox.
class TestSandbox
{
public:
    TestSandbox()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
    }
    ~TestSandbox()
    {
        if (!m_serverDatabase.isEmpty())
            onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_serverDatabase));
    }

    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString databaseFile() const { return filePath(QStringLiteral("test.db")); }

    // Opens the sandbox database on db with the schema and its extras; with copyOf, the database
    // starts as a copy of that sandbox's one, which must not be open.
    bool openDatabase(DbManager &db, const TestSandbox *copyOf = nullptr)
    {
        const QString server = testServer();
        if (server.isEmpty()) {
            if (copyOf && !QFile::copy(copyOf->databaseFile(), databaseFile()))
                return false;
            if (!db.open(databaseFile()))
                return false;
        } else {
            static int count = 0;
            const QString name =
                QStringLiteral("duevia_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
            const QString from = copyOf ? QStringLiteral(" TEMPLATE ") + copyOf->m_serverDatabase : QString();
            if (!onServer(QStringLiteral("CREATE DATABASE %1%2").arg(name, from)))
                return false;
            m_serverDatabase = name;
            if (!db.openServer(server + QStringLiteral(" dbname=") + name))
                return false;
        }
        // The documented way: a new database is usable once ensureSchema() accepts it.
        if (!db.ensureSchema()) {
            qWarning().noquote() << "schema:" << db.errorText();
            return false;
        }
        return db.isPrepared();
    }

    // Opens the database of openDatabase() once more, on another connection, as another window would.
    bool openAgain(DbManager &db) const
    {
        const bool opened = m_serverDatabase.isEmpty()
                                ? db.open(databaseFile())
                                : db.openServer(testServer() + QStringLiteral(" dbname=") + m_serverDatabase);
        return opened && db.ensureSchema();
    }

private:
    // Runs one statement on the server's maintenance database, on a connection of its own.
    static bool onServer(const QString &sql)
    {
        const QString connection = QStringLiteral("duevia-test-maintenance");
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setConnectOptions(testServer());
            QSqlQuery query(db);
            ok = db.open() && query.exec(sql);
            if (!ok)
                qWarning().noquote() << sql << db.lastError().text() << query.lastError().text();
        }
        QSqlDatabase::removeDatabase(connection);
        return ok;
    }

    QTemporaryDir m_dir;
    QString m_serverDatabase;
};

// A temporary database with the task and customer services over it (open it with sandbox).
struct ServiceFixture
{
    TestSandbox sandbox;
    DbManager db;
    AuthService auth{&db};
    TaskTableModel model;
    TaskService tasks{&db, &auth, &model};
    CustomerService customers{&db, &auth, nullptr};
};

// Registers the account when it does not exist yet and signs it in; returns the user id (-1 on failure).
inline int signInTestUser(AuthService &auth, const QString &username,
                          const QString &password = QStringLiteral("password123"))
{
    auth.registerUser(username, password, username + QStringLiteral(" Full"));
    return auth.login(username, password) ? auth.userId() : -1;
}

// Opens the sandbox's database with one account signed in; returns its id (-1 on failure).
inline int openWithTestUser(TestSandbox &sandbox, DbManager &db, const QString &username)
{
    if (!sandbox.openDatabase(db))
        return -1;
    AuthService auth(&db);
    return signInTestUser(auth, username);
}

// Runs one statement on the default connection; for arranging rows the services cannot write.
inline bool execSql(const DbManager &db, const QString &sql)
{
    QSqlQuery query(db.database());
    return query.exec(sql);
}

// The first column of the first row a query returns, or an invalid value.
inline QVariant queryValue(const DbManager &db, const QString &sql)
{
    QSqlQuery query(db.database());
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

// The first column of every row a query returns, joined by commas.
inline QString queryList(const DbManager &db, const QString &sql)
{
    QSqlQuery query(db.database());
    QStringList values;
    for (query.exec(sql); query.next();)
        values << query.value(0).toString();
    return values.join(QLatin1Char(','));
}

// Each task's and customer's characters and pairs of characters (as "id:text", "customer id:text") that
// the statements of a short search do not find in their blocks (and a task's in its span): empty while
// the blocks hold every name.
// Of the newest tasks only where newest is positive.
inline QStringList shortPairsMissing(const DbManager &db, int newest = 0)
{
    QStringList missing;
    QSqlQuery rows(db.database());
    QSqlQuery taskBlocks(db.database());
    taskBlocks.prepare(db.dialect().taskShortBlocks(1));
    QSqlQuery taskSpans(db.database());
    taskSpans.prepare(db.dialect().taskShortBlocks(1, true));
    QSqlQuery customer(db.database());
    customer.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE customers.id = :id")
                         .arg(db.dialect().customersOfShortGrams(1)));
    const QString limit = newest > 0 ? QStringLiteral(" LIMIT %1").arg(newest) : QString();
    for (const bool tasks : {true, false}) {
        rows.exec(tasks ? QStringLiteral(
                              "SELECT id, user_id, name FROM tasks WHERE name IS NOT NULL ORDER BY id DESC") +
                              limit
                        : QStringLiteral("SELECT id, user_id, name FROM customers WHERE name IS NOT NULL"));
        while (rows.next()) {
            const QList<uint> codes = rows.value(2).toString().toUcs4();
            for (qsizetype at = 0; at < codes.size(); ++at) {
                for (const qsizetype width : {1, 2}) {
                    if (at + width > codes.size())
                        continue;
                    const QString text =
                        QString::fromUcs4(reinterpret_cast<const char32_t *>(codes.constData() + at), width);
                    QSqlQuery &lookup = tasks ? taskBlocks : customer;
                    lookup.bindValue(QStringLiteral(":gram0"), text);
                    if (tasks)
                        lookup.bindValue(QStringLiteral(":uid"), rows.value(1));
                    else
                        lookup.bindValue(QStringLiteral(":id"), rows.value(0));
                    const bool read = lookup.exec() && lookup.next();
                    const QString found = read ? lookup.value(0).toString() : QString();
                    const auto holds = [](const QString &list, qint64 block) {
                        return list.mid(1, list.size() - 2)
                            .split(QLatin1Char(','))
                            .contains(QString::number(block));
                    };
                    bool spanFound = !tasks;
                    if (tasks) {
                        SqlSupport::bindIfUsed(taskSpans, QStringLiteral(":uid"), rows.value(1));
                        taskSpans.bindValue(QStringLiteral(":gram0"), text);
                        taskSpans.bindValue(QStringLiteral(":blocks"), found);
                        spanFound = taskSpans.exec() && taskSpans.next() &&
                                    holds(taskSpans.value(0).toString(), rows.value(0).toLongLong() >> 6);
                    }
                    if (tasks ? !holds(found, rows.value(0).toLongLong() >> 10) || !spanFound : !read)
                        missing << (tasks ? QString() : QStringLiteral("customer ")) +
                                       rows.value(0).toString() + QLatin1Char(':') + text;
                }
            }
        }
    }
    return missing;
}

// The settings store the program's components open (inside the sandbox's folder).
inline QSettings settingsStore()
{
    return QSettings(kSettingsOrganization, kSettingsApplication);
}

// Runs statements on an SQLite file, one after the other, on a connection of its own (for files made
// by hand). Returns the first value of the last statement's first row, true when it returns no row,
// and an invalid value when a statement fails.
inline QVariant runOnSqliteFile(const QString &path, const QStringList &statements)
{
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("handmade"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        result = db.open() ? QVariant(true) : QVariant();
        for (const QString &sql : statements)
            result =
                result.isValid() && query.exec(sql) ? (query.next() ? query.value(0) : true) : QVariant();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("handmade"));
    return result;
}

// A file of the first version: no level and expire_at_epoch in tasks, no label in customer_contacts,
// one task whose expiry is stored as text only.
inline QStringList firstVersionFile()
{
    return {
        QStringLiteral(
            "CREATE TABLE users (id INTEGER PRIMARY KEY AUTOINCREMENT, username TEXT, "
            "password_hash BLOB, salt BLOB, name TEXT, role TEXT DEFAULT 'user', active INTEGER DEFAULT 1, "
            "created_at TEXT)"),
        QStringLiteral(
            "CREATE TABLE tasks (id INTEGER PRIMARY KEY AUTOINCREMENT, user_id INTEGER, "
            "customer_id INTEGER, name TEXT, notes TEXT, active INTEGER, expire_at TEXT, create_at TEXT)"),
        QStringLiteral(
            "CREATE TABLE customer_contacts (id INTEGER PRIMARY KEY, customer_id INTEGER, type TEXT, "
            "value TEXT, create_at TEXT)"),
        QStringLiteral(
            "INSERT INTO tasks (user_id, name, expire_at) VALUES (1, 'old', '2026-03-22T17:50:00.000Z')")};
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
