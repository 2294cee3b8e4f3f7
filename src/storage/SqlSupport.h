#pragma once

#include "storage/StatementCache.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <functional>

class DbManager;

// Small helpers shared by every service that runs SQL on the manager's connection.
namespace SqlSupport {

// True when there is a manager and its connection is open.
bool isOpen(const DbManager *db);

// A fresh query object on the manager's connection, prepared with sql. A failed prepare makes the
// following exec() fail, so callers only look at the result of exec(). A query read once, front to
// back (forwardOnly), keeps no copy of the rows passed.
QSqlQuery prepare(const DbManager *db, const QString &sql, bool forwardOnly = false);
// The same, kept prepared on the connection for the next use of the same text: for the reads that run
// again and again with other values (the task table's pages and searches).
StatementCache::Lease reuse(const DbManager *db, const QString &sql);

// Binds value to placeholder when the query's statement uses it (engines differ in the placeholders
// a shared fragment needs).
void bindIfUsed(QSqlQuery &query, const QString &placeholder, const QVariant &value);

// Runs work as one writing transaction on the manager's connection: commits when it succeeds,
// otherwise rolls everything back. The queries of work must be gone when it returns, or COMMIT fails.
bool runInTransaction(const DbManager *db, const std::function<bool()> &work);

// Date-times are stored as UTC text ("2026-03-22T17:50:00.000Z" or CURRENT_TIMESTAMP's
// "2026-03-22 17:50:00"). Text without a zone is taken as UTC; the result is local time, or an
// invalid date-time for NULL and unreadable text.
QDateTime localFromUtcText(const QVariant &value);
// The same instant left in UTC, for readers that do not show it.
QDateTime utcFromText(const QVariant &value);

// The value to bind for a date-time column: the UTC text "yyyy-MM-ddTHH:mm:ss.zzzZ" (bound as text,
// so that every engine stores the same characters); a null text when dateTime is invalid.
QVariant utcValue(const QDateTime &dateTime);

// The instant as whole seconds since the epoch, or a null integer when dateTime is invalid.
QVariant epochValue(const QDateTime &dateTime);

// The trigrams that every text matching the LIKE pattern (% and _ as wildcards) contains, as the
// query of a trigram full-text index; empty when no run of literal characters is three long. The
// index only narrows the rows down: LIKE still decides.
QString likeTrigrams(const QString &pattern);

// For a pattern without such a run: texts of one or two characters (in code points) that every text
// matching it contains, at most limit of them, each a single character or two that follow each other
// there (a block of tasks holds them in task_short_grams, lowered). Empty when the pattern has no
// literal character.
QStringList likeGrams(const QString &pattern, int limit);

} // namespace SqlSupport
