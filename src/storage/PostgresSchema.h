#pragma once

#include <QSqlDatabase>
#include <QString>

// The schema on a PostgreSQL server: the four tables in PostgreSQL's terms and everything the file
// holds beside them (page indexes, counters, expiry buckets, trigram search indexes), plus the change
// stamp and notifications that the other clients of the database follow. All of it is built in one
// transaction and stamped with a version in duevia_schema.
namespace PostgresSchema {

// Raised whenever a statement below changes; a database of an earlier version is brought up to date.
int currentVersion();

// True when the database holds the current version (one cheap query).
bool isCurrent(const QSqlDatabase &db);

// Creates whatever is missing, under a lock that makes a second program starting at the same time
// wait and then find the work done. A database whose tables have another shape, or that a newer
// version prepared, is refused and left unchanged. On false, error says why.
bool ensure(const QSqlDatabase &db, QString &error);

} // namespace PostgresSchema
