#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The CalDAV sync's bookkeeping on either engine: the account of each user who syncs (sync_accounts),
// the link of each of their tasks to its resource on the server (sync_links), the deletes still to
// be sent (sync_deletes), and the triggers that mark every change of a task, from whichever write
// path, in the links. Users without an account cost the triggers one lookup and write nothing.
// The tables hold state that exists nowhere else: a new version recreates indexes and triggers but
// never drops or empties a table. The version is stamped in sync_schema.
namespace SyncSchema {

// Raised whenever a statement below changes.
int currentVersion();

// True when the database holds the current version or a newer program's (one cheap query).
bool isCurrent(const QSqlDatabase &db);

// Creates whatever is missing in one transaction that a second program starting at the same time
// waits for (and then finds the work done). On false, error says why and nothing was changed.
bool ensure(const QSqlDatabase &db, QString &error);

// What ensure() runs inside its transaction when the tables are missing or older.
QStringList statements(bool server);

} // namespace SyncSchema
