#pragma once

#include <QSqlDatabase>
#include <QString>

// Who may read and change what on a server database that a team shares. Every person signs in to
// PostgreSQL as a role of their own; the team is the set of roles allowed to connect to the
// database (a group role, in practice). Each account of the program is bound to the role that
// registered it, and row-level security keeps every role to the task rows of its own accounts; the
// customer directory is shared. Password hashes and salts stay with the database's owner: members
// learn only a salt of their own accounts and whether a derived key is right.
namespace ServerAccess {

int currentVersion();
bool isCurrent(const QSqlDatabase &db);

// Sets the rules up (or brings them up to date) once the tables of PostgresSchema and SyncSchema
// exist, granting the team's roles what the program needs. Only the database's owner can do that;
// for anyone else a database whose rules are missing is refused with a reason saying so.
bool ensure(const QSqlDatabase &db, QString &error);

// Whether the built-in functions of the pages' conditions are marked as revealing nothing of a row
// (LEAKPROOF), without which members' pages by name and searches cannot use their indexes; and the
// statement with which a superuser marks them in the database.
bool hasRowSafeFunctions(const QSqlDatabase &db);
QString rowSafeFunctionsStatement();

} // namespace ServerAccess
