#pragma once

#include "storage/DatabaseTarget.h"
#include "storage/StatementCache.h"

#include <QObject>
#include <QSqlDatabase>

class SqlDialect;

// Owns one database connection (Qt's default connection unless named otherwise) and the schema of all
// tables: an SQLite file, or a PostgreSQL database that a team shares.
class DbManager : public QObject
{
    Q_OBJECT

public:
    explicit DbManager(QObject *parent = nullptr);
    // A connection of its own name, beside the program's (a second client in one process).
    explicit DbManager(const QString &connectionName, QObject *parent = nullptr);
    ~DbManager() override;

    // The file format this program writes, stamped in the file as its user_version. Raise it with every
    // change of the four tables and teach ensureSchema() how to bring the earlier format up to date.
    static constexpr int kLatestVersion = 1;

    bool open(const QString &path);
    // Opens a PostgreSQL database; connection is a libpq connection string without a password
    // ("host=db.example port=5432 dbname=duevia user=anna"), which libpq takes from ~/.pgpass,
    // PGPASSFILE or a service file.
    bool openServer(const QString &connection);
    void close();
    // What the services say differently on this connection's engine.
    const SqlDialect &dialect() const;
    bool isServer() const { return m_server; }
    // Where the open connection leads, for threads that open connections of their own.
    DatabaseTarget target() const;
    // Makes sure the file holds the four tables of the latest version: creates them in a new file and
    // brings a file of an earlier version up to date, each in one transaction. A file without tasks
    // also gets everything of ensureIndexes(), a new file in that same transaction; a file with tasks
    // that lacks it is usable only after ensureIndexes(). A file of another program or of a newer
    // version is refused and left as it is. On false, errorText() says why. A server database gets
    // everything at once.
    bool ensureSchema();
    QString errorText() const { return m_error; }
    // Everything the file holds beside the four tables (indexes, counters, search index), built in
    // one transaction when the file lacks it, and the sync's tables. Returns whether the file holds it now.
    bool ensureIndexes();
    // Whether the indexes, counters and buckets of ensureIndexes() and the sync's tables are in place.
    bool hasIndexes() const;
    // Whether the connection is open and ensureSchema() or ensureIndexes() left everything the
    // services read in place; the first false on an open connection logs why.
    bool isPrepared() const;
    // Switches an accepted file to the write-ahead log. Done once its extras are built: the one-time
    // build is a single large transaction, which the rollback journal writes once, the log twice.
    void useWriteAheadLog();
    QSqlDatabase database() const { return m_db; }
    // The connection's statements kept prepared (SqlSupport::reuse()).
    StatementCache &statements() const { return m_statements; }
    bool isOpen() const { return m_db.isValid() && m_db.isOpen(); }

signals:
    // The connection was opened, reopened or closed: whatever was set up on the previous one is gone.
    void connectionChanged();

private:
    bool fail(const QString &reason);
    bool ready();
    bool holdsTasks() const;

    QString m_connectionName = QString::fromLatin1(QSqlDatabase::defaultConnection);
    QSqlDatabase m_db;
    QString m_error;
    bool m_ready = false;                   // the schema was accepted: the file is ours
    bool m_prepared = false;                // everything of ensureIndexes() is in place
    mutable bool m_unpreparedNoted = false; // the lack of it was logged on this connection
    bool m_server = false;
    QString m_connection; // the server's connection string
    mutable StatementCache m_statements;
};
