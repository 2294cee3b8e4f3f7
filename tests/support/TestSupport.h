#pragma once

#include "services/AuthService.h"
#include "services/SettingsService.h"
#include "storage/DbManager.h"

#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// A private folder for one test: its own settings store and its own database file.
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

    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QString databaseFile() const { return filePath(QStringLiteral("test.db")); }

    // Opens the sandbox database on db with the schema and its extras.
    bool openDatabase(DbManager &db) const
    {
        if (!db.open(databaseFile()) || !db.ensureSchema())
            return false;
        db.ensureIndexes();
        return true;
    }

private:
    QTemporaryDir m_dir;
};

// Registers the account when it does not exist yet and signs it in; returns the user id (-1 on failure).
inline int signInTestUser(AuthService &auth, const QString &username,
                          const QString &password = QStringLiteral("password123"))
{
    auth.registerUser(username, password, username + QStringLiteral(" Full"));
    return auth.login(username, password) ? auth.userId() : -1;
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
            "password_hash BLOB, salt BLOB, name TEXT, role TEXT, active INTEGER, created_at TEXT)"),
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
