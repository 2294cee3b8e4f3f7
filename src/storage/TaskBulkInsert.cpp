#include "storage/TaskBulkInsert.h"

#include "storage/SchemaExtras.h"
#include "storage/SqlDialect.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

TaskBulkInsert::TaskBulkInsert(const QSqlDatabase &db) : m_db(db) {}

TaskBulkInsert::~TaskBulkInsert()
{
    if (m_cacheSize.isValid())
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size = %1").arg(m_cacheSize.toLongLong()));
}

bool TaskBulkInsert::run(const QString &sql, qint64 after)
{
    QSqlQuery query(m_db);
    if (!query.prepare(sql))
        return false;
    if (after >= 0)
        query.bindValue(QStringLiteral(":after"), after);
    if (query.exec())
        return true;
    qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << sql;
    return false;
}

bool TaskBulkInsert::begin()
{
    if (&SqlDialect::of(m_db) != &SqlDialect::sqlite())
        return true;
    QSqlQuery query(m_db);
    // New rows get ids above every id the table ever gave out.
    if (!query.exec(QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM tasks")) || !query.next())
        return false;
    m_lastId = query.value(0).toLongLong();
    // The pages the new rows change stay in memory until the commit: in SQLite's default of 2 MiB the
    // transaction spilled the indexes' pages and read them back, which made an import half as long again.
    if (query.exec(QStringLiteral("PRAGMA cache_size")) && query.next()) {
        m_cacheSize = query.value(0);
        query.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(kCacheKiB));
    }
    const QStringList names = SchemaExtras::bulkInsertTriggers();
    if (!query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger'")))
        return false;
    QStringList found;
    while (query.next()) {
        if (names.contains(query.value(0).toString())) {
            found.append(query.value(0).toString());
            m_creations.append(query.value(1).toString());
        }
    }
    query.finish();
    // A file without its derived tables is written row by row, as before.
    if (found.size() != names.size()) {
        m_creations.clear();
        return true;
    }
    for (const QString &name : std::as_const(found)) {
        if (!run(QStringLiteral("DROP TRIGGER ") + name))
            return false;
    }
    m_suspended = true;
    return true;
}

bool TaskBulkInsert::finish()
{
    if (!m_suspended)
        return true;
    for (const QString &sql : SchemaExtras::addedTasksStatements()) {
        if (!run(sql, m_lastId))
            return false;
    }
    if (!SchemaExtras::addShortPairs(m_db, m_lastId))
        return false;
    for (const QString &sql : std::as_const(m_creations)) {
        if (!run(sql))
            return false;
    }
    m_suspended = false;
    return true;
}
