#include "services/TaskBlockPlanner.h"

#include "services/TaskPageQuery.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QSqlQuery>
#include <QStringList>

#include <limits>

TaskBlockPlanner::TaskBlockPlanner(DbManager *db, TaskPageQuery *query) : m_db(db), m_query(query) {}

void TaskBlockPlanner::clear()
{
    m_inOrder = false;
    m_creationFollowsIds = false;
    m_blocks.clear();
    m_width = kBlockIds;
    m_hits = 0;
}

// Candidates read in blocks of ids pass over every task of a block, where the order's index passes
// over the tasks in front of the matches: the blocks serve the pages where they leave a quarter of the
// user's blocks out (the matches lie in some stretches of ids).
void TaskBlockPlanner::planOrder(int userId, qint64 fewCandidates)
{
    const SqlDialect &dialect = m_query->dialect();
    m_inOrder = !dialect.taskCandidateOrder().isEmpty();
    m_creationFollowsIds = false;
    m_blocks.clear();
    m_hits = std::numeric_limits<qint64>::max();
    if (m_inOrder && !dialect.taskSearchBits().isEmpty())
        planBlocks(userId, fewCandidates);
    if (!m_inOrder)
        return;
    StatementCache::Lease order = SqlSupport::reuse(
        m_db, QStringLiteral("SELECT out_of_order FROM task_creation_order WHERE user_id = :uid"));
    order->bindValue(QStringLiteral(":uid"), userId);
    m_creationFollowsIds = order.exec() && order->next() && order->value(0).toInt() == 0;
}

void TaskBlockPlanner::planBlocks(int userId, qint64 fewCandidates)
{
    const SqlDialect &dialect = m_query->dialect();
    StatementCache::Lease bits = SqlSupport::reuse(m_db, dialect.taskSearchBits());
    m_query->bindFilters(*bits, userId);
    const bool bitsRead = bits.exec();
    QVariantList values;
    while (bitsRead && bits->next())
        values.append(bits->value(0));
    // A sample first: a word spread over the blocks is left to the index at the cost of a few of them.
    for (const bool sample : {true, false}) {
        if (!m_inOrder)
            break;
        StatementCache::Lease blocks =
            SqlSupport::reuse(m_db, dialect.taskCandidateBlocks(int(values.size()), sample));
        blocks->bindValue(QStringLiteral(":uid"), userId);
        for (int bit = 0; bit < values.size(); ++bit)
            blocks->bindValue(QStringLiteral(":bit%1").arg(bit), values.at(bit));
        const bool read = bitsRead && blocks.exec() && blocks->next();
        m_blocks = read ? blocks->value(0).toString() : QString();
        const qint64 candidates = read ? blocks->value(1).toLongLong() : 0;
        const qint64 all = read ? blocks->value(2).toLongLong() : 0;
        const qint64 blocksOfUser = read ? blocks->value(3).toLongLong() : 0;
        const qint64 estimated = all > 0 ? candidates * blocksOfUser / all : 0;
        if (read && (!sample || all == blocksOfUser))
            m_hits = candidates;
        // A word of few tasks, about one to a block, is as quick to find on the order's index.
        m_inOrder = read && candidates * 4 <= all * 3 && (fewCandidates < 0 || estimated * 2 < fewCandidates);
    }
}

// A block of ids whose names hold the text's characters is looked up span by span: the spans that
// hold them all are those a list of the text reads.
bool TaskBlockPlanner::planShortSpans(int userId, qint64 fewBlocks)
{
    const QStringList grams = m_query->shortGrams();
    const SqlDialect &dialect = m_query->dialect();
    StatementCache::Lease blocks = SqlSupport::reuse(m_db, dialect.taskShortBlocks(int(grams.size())));
    blocks->bindValue(QStringLiteral(":uid"), userId);
    m_query->bindShortGrams(*blocks);
    if (!blocks.exec() || !blocks->next() || blocks->value(1).toLongLong() > fewBlocks)
        return false;
    const QString hitBlocks = blocks->value(0).toString();
    blocks->finish();
    StatementCache::Lease spans = SqlSupport::reuse(m_db, dialect.taskShortBlocks(int(grams.size()), true));
    SqlSupport::bindIfUsed(*spans, QStringLiteral(":uid"), userId);
    spans->bindValue(QStringLiteral(":blocks"), hitBlocks);
    m_query->bindShortGrams(*spans);
    if (!spans.exec() || !spans->next())
        return false;
    m_blocks = spans->value(0).toString();
    m_width = kSpanIds;
    return true;
}
