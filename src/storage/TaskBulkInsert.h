#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

// Many tasks inserted in one write transaction. On a file the triggers that keep the counters, the
// search indexes and the expiry buckets row by row are set aside for it, and those tables are brought
// up to date from all new rows at once at the end; a rollback brings the triggers back with the rest.
// The file keeps more of its pages in memory meanwhile. Elsewhere it changes nothing.
class TaskBulkInsert
{
public:
    explicit TaskBulkInsert(const QSqlDatabase &db);
    ~TaskBulkInsert();
    TaskBulkInsert(const TaskBulkInsert &) = delete;
    TaskBulkInsert &operator=(const TaskBulkInsert &) = delete;

    // Inside the transaction, before the first insert.
    bool begin();
    // After the last insert, before the commit.
    bool finish();

private:
    bool run(const QString &sql, qint64 after = -1);

    static constexpr int kCacheKiB = 16384;

    QSqlDatabase m_db;
    bool m_suspended = false;
    qint64 m_lastId = 0;
    QStringList m_creations; // of the triggers set aside
    QVariant m_cacheSize;    // the connection's own, given back at the end
};
