#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

// The transaction in which a schema is brought up to date: statements run one by one on one query,
// a failing one is logged with its text, and a failure rolls everything back and says why.
class SchemaTransaction
{
public:
    explicit SchemaTransaction(const QSqlDatabase &db, QString &error) : m_query(db), m_error(error) {}

    // Whether the table's single row holds version (one cheap query, which fails while it is missing).
    static bool hasVersion(const QSqlDatabase &db, const char *table, int version);

    bool run(const QString &sql);
    // Rolls back, records reason and returns false.
    bool fail(const QString &reason);
    // fail() with the reason of the statement that failed last.
    bool failed() { return fail(m_query.lastError().text()); }
    // Runs every statement in turn; failed() at the first that fails.
    bool runAll(const QStringList &statements);
    QSqlQuery &query() { return m_query; }

private:
    QSqlQuery m_query;
    QString &m_error;
};
