#include "storage/DbManager.h"

#include "storage/SchemaExtras.h"

#include <QDebug>
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

template<std::size_t N> void runStatements(const QSqlDatabase &db, const char *const (&statements)[N])
{
    QSqlQuery query(db);
    for (const char *statement : statements) {
        const QString sql = QString::fromUtf8(statement);
        if (!query.exec(sql))
            qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << sql;
    }
}

} // namespace

DbManager::DbManager(QObject *parent) : QObject(parent) {}

DbManager::~DbManager()
{
    if (!m_db.isValid())
        return;
    const QString name = m_db.connectionName();
    if (m_db.isOpen())
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA optimize"));
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

bool DbManager::open(const QString &path)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    m_db.setDatabaseName(path);
    if (!m_db.open())
        return false;
    // Keeps the planner statistics current for this long-lived connection (again at close).
    QSqlQuery(m_db).exec(QStringLiteral("PRAGMA optimize"));
    return true;
}

void DbManager::ensureSchema()
{
    runStatements(m_db, schemaStatements);
}

bool DbManager::ensureIndexes()
{
    return SchemaExtras::isCurrent(m_db) || SchemaExtras::build(m_db);
}
