#include "storage/StatementCache.h"

#include <QSqlError>

#include <algorithm>
#include <utility>

StatementCache::Lease::Lease(StatementCache *cache, const QSqlDatabase &db, const QString &sql,
                             QSqlQuery query, bool kept)
    : m_cache(cache), m_db(db), m_sql(sql), m_query(std::move(query)), m_kept(kept),
      m_generation(cache->m_generation)
{
}

StatementCache::Lease::Lease(Lease &&other) noexcept
    : m_cache(std::exchange(other.m_cache, nullptr)), m_db(std::move(other.m_db)),
      m_sql(std::move(other.m_sql)), m_query(std::move(other.m_query)), m_kept(other.m_kept),
      m_generation(other.m_generation)
{
}

bool StatementCache::Lease::exec()
{
    // The driver forgets the values once it runs the statement.
    const QVariantList values = m_query.boundValues();
    const bool ran = m_query.exec();
    if (ran || !m_kept)
        return ran;
    m_kept = false;
    QSqlQuery fresh(m_db);
    fresh.setForwardOnly(true);
    fresh.prepare(m_sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        fresh.bindValue(int(i), values.at(i));
    m_query = std::move(fresh);
    return m_query.exec();
}

StatementCache::Lease::~Lease()
{
    if (m_cache)
        m_cache->giveBack(m_sql, std::move(m_query), m_generation);
}

StatementCache::Lease StatementCache::take(const QSqlDatabase &db, const QString &sql)
{
    const auto idle = m_idle.find(sql);
    if (idle != m_idle.end()) {
        QSqlQuery query = std::move(idle->second.query);
        m_idle.erase(idle);
        return Lease(this, db, sql, std::move(query), true);
    }
    // Read once, front to back: the driver then keeps no copy of the rows passed.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(sql);
    return Lease(this, db, sql, std::move(query), false);
}

void StatementCache::clear()
{
    m_idle.clear();
    ++m_generation;
}

void StatementCache::giveBack(const QString &sql, QSqlQuery &&query, int generation)
{
    // A statement of a connection since closed, or one that failed, is not kept.
    if (generation != m_generation || query.lastError().isValid())
        return;
    // Ends the reading: a file's statement holds its snapshot until it is reset.
    query.finish();
    // Two uses of one text at once: the one given back last is kept.
    m_idle.erase(sql);
    if (m_idle.size() >= kStatements) {
        const auto oldest = std::min_element(m_idle.begin(), m_idle.end(), [](const auto &a, const auto &b) {
            return a.second.lastUse < b.second.lastUse;
        });
        m_idle.erase(oldest);
    }
    m_idle.emplace(sql, Idle{std::move(query), ++m_uses});
}
