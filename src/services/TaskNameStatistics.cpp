#include "services/TaskNameStatistics.h"

#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QRegularExpression>

#include <cmath>
#include <numeric>

TaskNameStatistics::TaskNameStatistics(DbManager *db) : m_db(db) {}

TaskNameStatistics::Estimate TaskNameStatistics::estimate(const QString &text)
{
    if (!read())
        return {};
    QRegularExpression pattern;
    const bool plain = !text.contains(QLatin1Char('%')) && !text.contains(QLatin1Char('_'));
    if (!plain) {
        QString wildcards;
        for (const QChar c : text) {
            wildcards += c == QLatin1Char('%')   ? QStringLiteral(".*")
                         : c == QLatin1Char('_') ? QStringLiteral(".")
                                                 : QRegularExpression::escape(QString(c));
        }
        pattern.setPattern(wildcards);
        pattern.setPatternOptions(QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
    }
    const auto matches = [&](const QString &name) {
        return plain ? name.contains(text, Qt::CaseInsensitive) : pattern.match(name).hasMatch();
    };
    Estimate result;
    result.indexed = m_indexed;
    double common = 0;
    for (qsizetype i = 0; i < m_common.size(); ++i) {
        if (matches(m_common.at(i)))
            common += m_commonShares.at(i);
    }
    const double hits = double(std::count_if(m_bounds.cbegin(), m_bounds.cend(), matches));
    const double bounds = double(std::max<qsizetype>(1, m_bounds.size()));
    result.share = common + m_restShare * hits / bounds;
    result.cautious = common + m_restShare * std::max(0.0, hits - 2 * std::sqrt(hits)) / bounds;
    return result;
}

bool TaskNameStatistics::read()
{
    const int generation = m_db->statements().generation();
    if (generation == m_generation && m_read.isValid() && m_read.elapsed() < kKeptMs)
        return true;
    m_indexed = false;
    m_common.clear();
    m_commonShares.clear();
    m_bounds.clear();
    m_restShare = 1;
    const QString statement = m_db->dialect().taskNameStatistics();
    if (statement.isEmpty())
        return false;
    StatementCache::Lease rows = SqlSupport::reuse(m_db, statement);
    if (!rows.exec())
        return false;
    while (rows->next()) {
        const int kind = rows->value(0).toInt();
        if (kind == 0) {
            m_common.append(rows->value(1).toString());
            m_commonShares.append(rows->value(2).toDouble());
        } else if (kind == 1) {
            m_bounds.append(rows->value(1).toString());
        } else {
            m_indexed = rows->value(2).toInt() == 1;
        }
    }
    m_restShare = std::max(0.0, 1 - std::accumulate(m_commonShares.cbegin(), m_commonShares.cend(), 0.0));
    m_generation = generation;
    m_read.start();
    return true;
}
