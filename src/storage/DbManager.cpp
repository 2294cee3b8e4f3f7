#include "storage/DbManager.h"

#include "storage/DatabaseTarget.h"
#include "storage/PostgresSchema.h"
#include "storage/PrivateFiles.h"
#include "storage/SchemaExtras.h"
#include "storage/ServerAccess.h"
#include "storage/SqlDialect.h"
#include "storage/SyncSchema.h"

#include <QDebug>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Foreign-key enforcement stays off on purpose: a task without a customer stores customer_id 0,
// which matches no customer row.
const char *const schemaStatements[] = {
    "CREATE TABLE IF NOT EXISTS users (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    username TEXT NOT NULL UNIQUE,\n"
    "    password_hash BLOB NOT NULL,\n"
    "    salt BLOB NOT NULL,\n"
    "    name TEXT NOT NULL,\n"
    "    role TEXT NOT NULL DEFAULT 'user',\n"
    "    active INTEGER NOT NULL DEFAULT 1,\n"
    "    created_at TEXT DEFAULT CURRENT_TIMESTAMP\n"
    "    );",
    "CREATE TABLE IF NOT EXISTS tasks (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    user_id INTEGER NOT NULL,\n"
    "    customer_id INTEGER,\n"
    "    name TEXT,\n"
    "    notes TEXT,\n"
    "    level INTEGER NOT NULL DEFAULT 1,\n"
    "    active INTEGER DEFAULT 0,\n"
    "    expire_at TEXT,\n"
    "    expire_at_epoch INTEGER,\n"
    "    create_at TEXT DEFAULT CURRENT_TIMESTAMP,\n"
    "    FOREIGN KEY (user_id) REFERENCES users(id)\n"
    "    FOREIGN KEY (customer_id) REFERENCES customers(id) ON DELETE SET NULL\n"
    "    );",
    "CREATE TABLE IF NOT EXISTS customers (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    user_id INTEGER NOT NULL,\n"
    "    name TEXT,\n"
    "    notes TEXT,\n"
    "    create_at TEXT DEFAULT CURRENT_TIMESTAMP,\n"
    "    FOREIGN KEY (user_id) REFERENCES users(id)\n"
    "    );",
    "CREATE TABLE IF NOT EXISTS customer_contacts (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    customer_id INTEGER NOT NULL,\n"
    "    type TEXT NOT NULL,\n"
    "    value TEXT NOT NULL,\n"
    "    label TEXT,\n"
    "    create_at TEXT DEFAULT CURRENT_TIMESTAMP,\n"
    "    FOREIGN KEY (customer_id) REFERENCES customers(id) ON DELETE CASCADE\n"
    "    );",
};

// A column a later version added to a table of the first version, with what fills it in old rows.
struct AddedColumn
{
    const char *name;
    const char *definition;
    const char *fill;
};

// Per table, in the order of schemaStatements: the columns the first version of the file gave it and
// the columns added since.
struct TableShape
{
    const char *name;
    QStringList firstColumns;
    QList<AddedColumn> added;
};

const QList<TableShape> &tableShapes()
{
    static const QList<TableShape> shapes = {
        {"users", {"id", "username", "password_hash", "salt", "name", "role", "active", "created_at"}, {}},
        {"tasks",
         {"id", "user_id", "customer_id", "name", "notes", "active", "expire_at", "create_at"},
         {{"level", "INTEGER NOT NULL DEFAULT 1", nullptr},
          // Old tasks get their epoch from the stored text so that they sort, fall due and show in
          // the calendar like new ones; text SQLite cannot read stays NULL.
          {"expire_at_epoch", "INTEGER",
           "UPDATE tasks SET expire_at_epoch = CAST(strftime('%s', expire_at) AS INTEGER)"}}},
        {"customers", {"id", "user_id", "name", "notes", "create_at"}, {}},
        {"customer_contacts",
         {"id", "customer_id", "type", "value", "create_at"},
         {{"label", "TEXT", nullptr}}},
    };
    return shapes;
}

enum class Verdict { Current, Upgrade, Foreign, Newer, Unreadable };

// Reads what the file holds, without writing, and lists in work what brings it up to date.
Verdict inspect(const QSqlDatabase &db, QStringList &work, int &version, QSqlError &error, bool &fresh)
{
    work.clear();
    QSqlQuery query(db);
    auto unreadable = [&] {
        error = query.lastError();
        qWarning().noquote() << "SQL failed:" << error.text() << "\n" << query.lastQuery();
        return Verdict::Unreadable;
    };
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return unreadable();
    version = query.value(0).toInt();
    if (!query.exec(QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type = 'table'"
                                   " AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")))
        return unreadable();
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString();

    fresh = tables.isEmpty();
    bool holdsOurs = false;
    for (qsizetype i = 0; i < tableShapes().size(); ++i) {
        const TableShape &shape = tableShapes().at(i);
        const QString table = QLatin1String(shape.name);
        if (!tables.contains(table)) {
            work << QString::fromUtf8(schemaStatements[i]);
            continue;
        }
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            return unreadable();
        QStringList columns;
        while (query.next())
            columns << query.value(1).toString().toLower();
        for (const QString &column : shape.firstColumns) {
            if (!columns.contains(column))
                return Verdict::Foreign;
        }
        holdsOurs = true;
        for (const AddedColumn &added : shape.added) {
            if (columns.contains(QLatin1String(added.name)))
                continue;
            work << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                        .arg(table, QLatin1String(added.name), QLatin1String(added.definition));
            if (added.fill)
                work << QString::fromUtf8(added.fill);
        }
    }
    if (!holdsOurs && !tables.isEmpty())
        return Verdict::Foreign;
    if (version > DbManager::kLatestVersion)
        return Verdict::Newer;
    return work.isEmpty() && version == DbManager::kLatestVersion ? Verdict::Current : Verdict::Upgrade;
}

// Only the owner may open the database file and the companions SQLite keeps beside it (which it
// creates with the file's mode); with note, a mode found looser is logged.
void keepPrivate(const QString &path, bool note)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (PrivateFiles::makePrivateFile(path + suffix) && note)
            qInfo().noquote() << path + suffix << "could be read by others; now only its owner can open it.";
    }
}

} // namespace

DbManager::DbManager(QObject *parent) : QObject(parent) {}

DbManager::DbManager(const QString &connectionName, QObject *parent)
    : QObject(parent), m_connectionName(connectionName)
{
}

DbManager::~DbManager()
{
    close();
}

bool DbManager::open(const QString &path)
{
    close();
    m_server = false;
    const bool existed = QFileInfo::exists(path);
    m_db = DatabaseTarget{false, path}.add(m_connectionName);
    const bool opened = m_db.open() || fail(m_db.lastError().text());
    if (opened) {
        // A file found here is tightened only once ensureSchema() accepts it as this program's.
        if (!existed)
            keepPrivate(path, false);
        // Settings of this connection only; the file is not written before ensureSchema() accepts it.
        // FULL: a commit is on disk before the call returns, in either journal mode. A bulk change can
        // grow the write-ahead log; it is cut back to this size once its pages are in the file.
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("PRAGMA synchronous = FULL"));
        query.exec(QStringLiteral("PRAGMA journal_size_limit = 33554432"));
    }
    emit connectionChanged();
    return opened;
}

bool DbManager::openServer(const QString &connection)
{
    close();
    m_server = true;
    m_connection = connection;
    m_db = DatabaseTarget{true, connection}.add(m_connectionName);
    const bool opened = m_db.open() || fail(m_db.lastError().text());
    // The server compiles statements it estimates as costly (the statistics' per-piece joins) to
    // machine code first, which takes 20 ms or more each time, and starts parallel workers for them,
    // which takes as long again before the first row; every statement here reads little.
    if (opened) {
        QSqlQuery settings(m_db);
        settings.exec(QStringLiteral("SET jit = off"));
        settings.exec(QStringLiteral("SET max_parallel_workers_per_gather = 0"));
        // A statement kept prepared is planned for its values each time, as a new one is: a plan for
        // any value of a search pattern would walk what the pattern's own plan leaves out.
        settings.exec(QStringLiteral("SET plan_cache_mode = force_custom_plan"));
    }
    emit connectionChanged();
    return opened;
}

DatabaseTarget DbManager::target() const
{
    return m_server ? DatabaseTarget{true, m_connection} : DatabaseTarget{false, m_db.databaseName()};
}

const SqlDialect &DbManager::dialect() const
{
    return m_server ? SqlDialect::postgres() : SqlDialect::sqlite();
}

bool DbManager::hasIndexes() const
{
    return (m_server ? PostgresSchema::isCurrent(m_db) && ServerAccess::isCurrent(m_db)
                     : SchemaExtras::isCurrent(m_db)) &&
           SyncSchema::isCurrent(m_db);
}

void DbManager::close()
{
    if (!m_db.isValid())
        return;
    const QString name = m_db.connectionName();
    // Keeps the planner statistics current; never on a file that was refused, which stays untouched.
    if (m_ready && !m_server && m_db.isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA optimize"));
    m_statements.clear();
    m_ready = false;
    m_prepared = false;
    m_unpreparedNoted = false;
    m_server = false;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    emit connectionChanged();
}

bool DbManager::fail(const QString &reason)
{
    m_error = reason;
    return false;
}

bool DbManager::ready()
{
    m_ready = true;
    if (m_server)
        return true;
    keepPrivate(m_db.databaseName(), true);
    m_prepared = hasIndexes();
    // Without tasks the one-time build takes no time; only a file with tasks waits for
    // ensureIndexes(), which shows its progress.
    if (!m_prepared && !holdsTasks() && !ensureIndexes())
        return false;
    if (m_prepared)
        useWriteAheadLog();
    // Keeps the planner statistics current for this long-lived connection (again at close).
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA optimize"));
    return true;
}

bool DbManager::ensureSchema()
{
    m_statements.clear(); // the statements kept may read what this changes
    m_error.clear();
    if (!isOpen())
        return fail(tr("the database is not open"));
    // A server database gets its extras at once: building them on an empty database takes no time,
    // and every client relies on the change notifications.
    if (m_server)
        return ensureIndexes() && ready();
    QSqlQuery query(m_db);
    QStringList work;
    int version = 0;
    QSqlError error;
    bool fresh = false;
    // Inspected once to decide, and again under the write lock: another start of the program may
    // have prepared the file meanwhile.
    for (const bool locked : {false, true}) {
        const Verdict verdict = inspect(m_db, work, version, error, fresh);
        if (verdict != Verdict::Upgrade && locked)
            query.exec(QStringLiteral("ROLLBACK"));
        switch (verdict) {
        case Verdict::Current:
            return ready();
        case Verdict::Foreign:
            return fail(tr("the file belongs to another program; it was left unchanged"));
        case Verdict::Newer:
            return fail(tr("the file was written by a newer version of this program (file version %1, "
                           "this program knows up to %2); it was left unchanged")
                            .arg(version)
                            .arg(kLatestVersion));
        case Verdict::Unreadable:
            return fail(error.text());
        case Verdict::Upgrade:
            break;
        }
        if (!locked && !query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return fail(query.lastError().text());
    }
    // A new file gets everything in the transaction that creates its tables.
    if (fresh)
        work << SchemaExtras::statements() << SyncSchema::statements(false);
    work << QStringLiteral("PRAGMA user_version = %1").arg(kLatestVersion) << QStringLiteral("COMMIT");
    for (const QString &sql : work) {
        if (!query.exec(sql)) {
            qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << sql;
            const QString reason = query.lastError().text();
            query.exec(QStringLiteral("ROLLBACK"));
            return fail(reason);
        }
    }
    return ready();
}

bool DbManager::ensureIndexes()
{
    m_statements.clear(); // the statements kept may read what this changes
    if (m_server)
        return m_prepared = PostgresSchema::ensure(m_db, m_error) && SyncSchema::ensure(m_db, m_error) &&
                            ServerAccess::ensure(m_db, m_error);
    if (!SchemaExtras::isCurrent(m_db) && !SchemaExtras::build(m_db))
        return fail(tr("its indexes and counters could not be built"));
    if (!SyncSchema::ensure(m_db, m_error))
        return false;
    m_prepared = true;
    useWriteAheadLog();
    return true;
}

bool DbManager::isPrepared() const
{
    if (!isOpen())
        return false;
    if (!m_prepared && !m_unpreparedNoted) {
        m_unpreparedNoted = true;
        qCritical().noquote()
            << tr("The database %1 lacks its indexes and counters, so its tasks and customers "
                  "cannot be read; ensureIndexes() builds them.")
                   .arg(m_server ? DatabaseTarget::displayText(m_connection) : m_db.databaseName());
    }
    return m_prepared;
}

bool DbManager::holdsTasks() const
{
    QSqlQuery query(m_db);
    return !query.exec(QStringLiteral("SELECT 1 FROM tasks LIMIT 1")) || query.next();
}

void DbManager::useWriteAheadLog()
{
    // A commit then syncs the log once instead of the rollback journal, the file and the folder
    // several times, and readers no longer wait for a writer. The mode stays in the file: its
    // -wal and -shm companions belong to it while a program has it open. Where the file system
    // cannot share the log's memory map the file keeps its rollback journal.
    if (!m_server && m_ready)
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA journal_mode = WAL"));
}
