#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <map>

// Prepared statements kept for one connection, so that a statement run again is neither parsed nor sent
// again: on the server that is one round trip instead of three (prepare, execute, deallocate). The
// statements' texts must not hold values; each use binds all of its own.
class StatementCache
{
public:
    // A statement taken from the cache, or prepared when none is idle (also while another use of the same
    // text runs); it goes back, finished, when the lease ends.
    class Lease
    {
    public:
        Lease(Lease &&other) noexcept;
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        Lease &operator=(Lease &&) = delete;
        ~Lease();

        QSqlQuery &operator*() { return m_query; }
        QSqlQuery *operator->() { return &m_query; }
        // Whether the statement was kept from an earlier use rather than prepared for this one.
        bool kept() const { return m_kept; }
        // Runs the statement. One kept from before that fails (its connection was closed and opened
        // again past the manager, which ends its statements) is prepared anew and run again, once.
        bool exec();

    private:
        friend class StatementCache;
        Lease(StatementCache *cache, const QSqlDatabase &db, const QString &sql, QSqlQuery query, bool kept);

        StatementCache *m_cache = nullptr;
        QSqlDatabase m_db;
        QString m_sql;
        QSqlQuery m_query;
        bool m_kept = false;
        int m_generation = 0;
    };

    Lease take(const QSqlDatabase &db, const QString &sql);
    // Drops every statement; before the connection closes, as its queries must be gone by then.
    void clear();
    // Counts the clears: what a caller keeps of the connection is stale once it changes.
    int generation() const { return m_generation; }

private:
    void giveBack(const QString &sql, QSqlQuery &&query, int generation);

    struct Idle
    {
        QSqlQuery query;
        quint64 lastUse = 0;
    };

    // Enough for the statements of the task table's pages and searches in every order and filter: past it
    // the statement used longest ago makes room.
    static constexpr std::size_t kStatements = 256;
    std::map<QString, Idle> m_idle;
    quint64 m_uses = 0;
    int m_generation = 0;
};
