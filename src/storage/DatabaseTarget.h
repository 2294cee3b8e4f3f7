#pragma once

#include <QSqlDatabase>
#include <QString>

// Where the program's data lives: an SQLite file or a PostgreSQL database on a server. It holds what
// another thread needs to open a connection of its own there (connections belong to the thread that
// made them).
struct DatabaseTarget
{
    bool server = false;
    // The file's path, or a libpq connection string without a password.
    QString location;

    // Adds and opens a connection named name on the calling thread. A file must exist already; readOnly
    // opens it for reading only. On failure the connection is closed and error says why.
    QSqlDatabase open(const QString &name, bool readOnly, QString &error) const;
    // Adds the connection without opening it.
    QSqlDatabase add(const QString &name) const;
    // Whether path names this target's own file (never true for a server).
    bool isFile(const QString &path) const;
    // The same text for every connection to this database: the absolute path or the connection string.
    QString identity() const;

    // Why a connection string must not be kept in the settings (it holds a password or names a
    // password file, it is a URI, or libpq could not read it), or empty.
    static QString passwordProblem(const QString &connection);
    // Why a connection to a host on the network can be read or changed on the way (sslmode weaker than
    // verify-full), or empty. Not a reason to refuse the string.
    static QString securityWarning(const QString &connection);
    // The connection string to show: its pairs with any secret replaced by "***", or a fixed text
    // for a string that cannot be read.
    static QString displayText(const QString &connection);
};
