#pragma once

#include "services/AuthService.h"
#include "services/SettingsService.h"
#include "storage/DbManager.h"

#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

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
        if (!db.open(databaseFile()))
            return false;
        db.ensureSchema();
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
