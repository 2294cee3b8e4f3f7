#include "storage/ServerAccess.h"

#include "storage/SchemaTransaction.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QStringList>

namespace ServerAccess {

namespace {

constexpr qint64 kAccessLock = 7305871202468353;

// The salt spent on a name that no account of the signed-in role has, as on the file.
constexpr const char *kDummySalt = "duevia-unknown-account-salt-0000";

// Only the rows of the accounts bound to the role signed in to PostgreSQL. Tasks an import has
// not published yet belong to the negative of their account's id.
constexpr const char *kOwnRows = "abs(user_id) IN (SELECT id FROM users WHERE db_role = session_user)";

const char *const kOwnTables[] = {"tasks",
                                  "task_counts",
                                  "task_buckets",
                                  "task_search_blocks",
                                  "task_short_blocks",
                                  "task_short_spans",
                                  "task_creation_order",
                                  "sync_accounts",
                                  "sync_links",
                                  "sync_deletes"};

// The triggers keep the counters, buckets, sync links and change stamp for every user: they run as
// the owner, whom row-level security does not restrict. Recreating one of these functions (a new
// version of its schema) resets this, so a change there raises currentVersion() here too.
const char *const kTriggerFunctions[] = {
    "tasks_derived_insert",          "tasks_derived_delete",         "tasks_derived_update",
    "duevia_data_changed",           "duevia_sync_tasks_insert",     "duevia_sync_tasks_update",
    "duevia_sync_tasks_delete",      "duevia_sync_customers_update", "tasks_search_blocks_insert",
    "tasks_search_blocks_update",    "tasks_creation_order_insert",  "tasks_creation_order_update",
    "tasks_short_blocks_insert",     "tasks_short_blocks_update",    "customers_short_blocks_insert",
    "customers_short_blocks_update", "tasks_short_spans_insert",     "tasks_short_spans_update"};

// Built-in functions of the task pages' and searches' conditions that tell nothing of a row but
// their result, which PostgreSQL does not mark as such: until they are, row-level security keeps
// those conditions out of the indexes for members, and pages by name and searches read every row.
// The last is the program's own (each user's trigrams): it exists once the database is prepared, and
// is marked again after each version that prepares it anew.
const char *const kRowSafeFunctions[] = {"lower(text)",
                                         "textlike(text, text)",
                                         "texticlike(text, text)",
                                         "int4out(integer)",
                                         "textin(cstring)",
                                         "arraycontains(anyarray, anyarray)",
                                         "duevia_user_trigrams(integer, text)"};

QStringList rules(const QString &searchPath)
{
    QStringList statements = {
        // Accounts made before are bound to the role that prepares this version: the owner, who
        // signed in for everyone while the team shared one role.
        QStringLiteral("ALTER TABLE users ADD COLUMN IF NOT EXISTS db_role TEXT COLLATE \"C\""),
        QStringLiteral("UPDATE users SET db_role = session_user WHERE db_role IS NULL"),
        QStringLiteral("ALTER TABLE users ALTER COLUMN db_role SET DEFAULT session_user,"
                       " ALTER COLUMN db_role SET NOT NULL"),
        QStringLiteral("CREATE OR REPLACE FUNCTION duevia_account_salt(account TEXT) RETURNS BYTEA"
                       " LANGUAGE sql STABLE SECURITY DEFINER SET search_path = %1 AS $body$"
                       " SELECT COALESCE((SELECT salt FROM users WHERE username = account"
                       " AND db_role = session_user), convert_to('%2', 'UTF8')) $body$")
            .arg(searchPath, QLatin1String(kDummySalt)),
        // Digests are compared, so that the time taken tells nothing about the stored key; a missing
        // account costs the same two digests.
        QStringLiteral("CREATE OR REPLACE FUNCTION duevia_account_check(account TEXT, derived BYTEA)"
                       " RETURNS TABLE (account_id INTEGER, account_name TEXT)"
                       " LANGUAGE sql STABLE SECURITY DEFINER SET search_path = %1 AS $body$"
                       " SELECT u.id, u.name FROM (SELECT 1) AS one LEFT JOIN users u"
                       " ON u.username = account AND u.db_role = session_user"
                       " WHERE sha256(COALESCE(u.password_hash, '\\x00'::bytea)) = sha256(derived)"
                       " AND u.active = 1 $body$")
            .arg(searchPath),
        QStringLiteral("REVOKE ALL ON FUNCTION duevia_account_salt(TEXT), duevia_account_check(TEXT, BYTEA)"
                       " FROM PUBLIC"),
        QStringLiteral("ALTER TABLE users ENABLE ROW LEVEL SECURITY"),
        QStringLiteral("DROP POLICY IF EXISTS users_read ON users"),
        QStringLiteral("CREATE POLICY users_read ON users FOR SELECT USING (true)"),
        QStringLiteral("DROP POLICY IF EXISTS users_register ON users"),
        QStringLiteral(
            "CREATE POLICY users_register ON users FOR INSERT WITH CHECK (db_role = session_user)"),
    };
    for (const char *table : kOwnTables) {
        const QString name = QLatin1String(table);
        statements
            << QStringLiteral("ALTER TABLE %1 ENABLE ROW LEVEL SECURITY").arg(name)
            << QStringLiteral("DROP POLICY IF EXISTS own_rows ON %1").arg(name)
            << QStringLiteral("CREATE POLICY own_rows ON %1 USING (%2)").arg(name, QLatin1String(kOwnRows));
    }
    for (const char *function : kTriggerFunctions)
        statements << QStringLiteral("ALTER FUNCTION %1() SECURITY DEFINER SET search_path = %2")
                          .arg(QLatin1String(function), searchPath);
    // The team: every role that may connect, apart from PUBLIC and the owner.
    statements << QStringLiteral(
        "DO $do$ DECLARE member TEXT; BEGIN"
        " FOR member IN SELECT a.grantee::regrole::text FROM pg_database d, aclexplode(d.datacl) a"
        " WHERE d.datname = current_database() AND a.privilege_type = 'CONNECT' AND a.grantee <> 0"
        " AND a.grantee <> d.datdba LOOP"
        " EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON tasks, customers, customer_contacts,"
        " sync_accounts, sync_links, sync_deletes TO %1$s', member);"
        " EXECUTE format('GRANT SELECT ON task_counts, task_buckets, task_search_blocks, task_short_blocks,"
        " task_short_spans, customer_short_blocks, task_creation_order, duevia_schema, sync_schema, "
        "duevia_access TO %1$s', "
        "member);"
        " EXECUTE format('GRANT SELECT (id, username, name, role, active, created_at, db_role),"
        " INSERT (username, password_hash, salt, name) ON users TO %1$s', member);"
        " EXECUTE format('GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA %2$I TO %1$s', member,"
        " current_schema());"
        " EXECUTE format('GRANT EXECUTE ON FUNCTION duevia_account_salt(TEXT),"
        " duevia_account_check(TEXT, BYTEA) TO %1$s', member);"
        " END LOOP; END $do$");
    return statements;
}

} // namespace

QString rowSafeFunctionsStatement()
{
    QStringList statements;
    for (const char *function : kRowSafeFunctions)
        statements << QStringLiteral("ALTER FUNCTION %1 LEAKPROOF").arg(QLatin1String(function));
    return statements.join(QStringLiteral("; "));
}

bool hasRowSafeFunctions(const QSqlDatabase &db)
{
    QStringList names;
    for (const char *function : kRowSafeFunctions)
        names << QStringLiteral("'%1'::regprocedure").arg(QLatin1String(function));
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT bool_and(proleakproof) FROM pg_proc WHERE oid IN (%1)")
                          .arg(names.join(QStringLiteral(", ")))) &&
           query.next() && query.value(0).toBool();
}

int currentVersion()
{
    return 5;
}

bool isCurrent(const QSqlDatabase &db)
{
    return SchemaTransaction::hasVersion(db, "duevia_access", currentVersion());
}

bool ensure(const QSqlDatabase &db, QString &error)
{
    if (isCurrent(db))
        return true;
    SchemaTransaction work(db, error);
    QSqlQuery &query = work.query();
    if (!work.runAll({QStringLiteral("BEGIN"), QStringLiteral("SET LOCAL client_min_messages = warning"),
                      QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kAccessLock)}))
        return false;
    // Read under the lock: another program may have done the work meanwhile.
    if (!work.run(
            QStringLiteral("SELECT pg_has_role(session_user, (SELECT relowner FROM pg_class"
                           " WHERE oid = 'tasks'::regclass), 'USAGE'), quote_ident(current_schema())")) ||
        !query.next())
        return work.failed();
    const bool owner = query.value(0).toBool();
    const QString searchPath = query.value(1).toString() + QStringLiteral(", pg_temp");
    query.finish();
    if (!owner)
        return work.fail(QCoreApplication::translate(
            "ServerAccess", "the database's access rules are not set up yet: its owner has to start the "
                            "program once (or run it with --prepare-server) before anyone else signs in"));
    if (!work.run(QStringLiteral("CREATE TABLE IF NOT EXISTS duevia_access (version INTEGER NOT NULL)")) ||
        !work.run(QStringLiteral("SELECT MAX(version) FROM duevia_access")) || !query.next())
        return work.failed();
    const int version = query.value(0).toInt();
    query.finish();
    if (version == currentVersion())
        return work.runAll({QStringLiteral("COMMIT")});
    if (version > currentVersion())
        return work.fail(QCoreApplication::translate(
            "ServerAccess", "the database's access rules were set up by a newer version of this program; it "
                            "was left unchanged"));
    return work.runAll(
        rules(searchPath) +
        QStringList{
            QStringLiteral("DELETE FROM duevia_access"),
            QStringLiteral("INSERT INTO duevia_access (version) VALUES (%1)").arg(currentVersion()),
            QStringLiteral("COMMIT"),
        });
}

} // namespace ServerAccess
