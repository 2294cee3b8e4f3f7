#include "services/TaskSearchPlanner.h"

#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

TaskSearchPlanner::TaskSearchPlanner(DbManager *db, TaskPageQuery *query)
    : m_db(db), m_query(query), m_matches(db, query), m_statistics(db), m_blockPlan(db, query)
{
}

int TaskSearchPlanner::count(int userId, const QString &dataVersion)
{
    const TaskView &view = m_query->view();
    const QString counting = m_query->filterKey(userId) + QChar(0) + dataVersion;
    if (counting != m_countedView) {
        m_counted = countTasks(userId);
        m_countedView = counting;
    } else if (m_listed && !m_matches.holdsOrderOf(view)) {
        if (m_matches.complete()) {
            m_counted = listMatches(userId) ? int(m_matches.rows().size()) : 0;
        } else {
            // The first matches of another order are others: the pages walk again, under the same count.
            m_listed = false;
            m_matches.start();
        }
    }
    return m_counted;
}

void TaskSearchPlanner::reset()
{
    m_listed = false;
    m_blockPlan.leaveOrder();
    m_countedView.clear();
}

bool TaskSearchPlanner::capped() const
{
    // Only a search counts up to the cap; a range alone is counted exactly.
    return (!m_listed || !m_matches.complete()) && !m_query->view().name.isEmpty() && m_counted > m_countCap;
}

void TaskSearchPlanner::setLimits(int countCap, int listPages)
{
    m_countCap = std::max(1, countCap);
    m_listPages = std::max(1, listPages);
    m_countedView.clear();
}

int TaskSearchPlanner::countTasks(int userId)
{
    const TaskView &view = m_query->view();
    const SqlDialect &dialect = m_query->dialect();
    m_listed = false;
    m_matches.start();
    m_fewOwn = false;
    m_ownFirst = false;
    m_namedRead = false;
    m_inBlocks = false;
    m_blockPlan.clear();
    m_ownedByCustomers = std::numeric_limits<qint64>::max();
    m_ownProbed = -1;
    m_share = -1;
    m_indexed = false;
    m_ownApart = false;
    m_firstTried = false;
    m_probedAll = false;
    const auto count = [&](const QString &from, const QString &where, int limit) {
        // Without the join when nothing reads the customer, so that the name index alone answers.
        const bool joined = where.isEmpty() || where.contains(QStringLiteral("customers."));
        const QString matches = from + (joined ? m_query->customerJoin() : QString()) +
                                QStringLiteral(" WHERE tasks.user_id = :uid") + where +
                                m_query->filterClauses(where.isEmpty());
        // The limit is bound, so that the statement is kept for the next count whatever its limit.
        StatementCache::Lease query = SqlSupport::reuse(
            m_db, limit > 0
                      ? QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 %1 LIMIT :countLimit) AS matches")
                            .arg(matches)
                      : QStringLiteral("SELECT COUNT(*) ") + matches);
        m_query->bindFilters(*query, userId);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":countLimit"), limit);
        TaskMatchList::bindBlocks(*query, m_blockPlan.blocks());
        return query.exec() && query->next() ? query->value(0).toInt() : 0;
    };
    if (view.name.isEmpty())
        return count(QStringLiteral("FROM tasks"), QString(), 0);
    if (!view.hasIndexedSearch()) {
        if (listShort(userId))
            return int(m_matches.rows().size());
        // In id order the table's pages are read one after the other; the planner's pick, the index of
        // the customers, seeks a page for each row ("42" typed at 100k of a million: 20 ms instead of 10).
        const QString byId =
            view.hasRange() ? QString() : dialect.readIndex(QStringLiteral("idx_tasks_user"));
        return count(QStringLiteral("FROM tasks") + byId, QString(), m_countCap + 1);
    }
    StatementCache::Lease sizes =
        SqlSupport::reuse(m_db, QStringLiteral("SELECT (SELECT total FROM task_counts WHERE user_id = :uid),"
                                               " (SELECT SUM(total) FROM task_counts)"));
    sizes->bindValue(QStringLiteral(":uid"), userId);
    const bool sized = sizes.exec() && sizes->next();
    const qint64 own = m_own = sized ? sizes->value(0).toLongLong() : 0;
    const qint64 all = m_all = sized ? sizes->value(1).toLongLong() : 0;
    sizes->finish();
    const bool fewOwn = holdsFew();
    m_ownFirst = fewOwn && dialect.ownCandidatesApart() && ownFirst();
    m_listed = planListed(userId) && listMatches(userId, m_namedRead);
    if (m_listed)
        return int(m_matches.rows().size());
    m_matches.start();
    // A match by the task's own name or id is among the hits of the search index, read in its order so
    // that counting stops at the cap; the others match by their customer only.
    // In a file of many users most candidates are other users' tasks: they are left out through the
    // user's id index, or the user's own rows are read from the name index, which holds the name and
    // the id. A row of the name index costs about a fifth of a candidate's seek.
    m_fewOwn = !dialect.readIndex(QString()).isEmpty() && fewOwn;
    const auto passed = [&](qint64 rows, qint64 share) { // rows read until the cap is reached
        return std::min(rows, share > 0 ? (m_countCap + 1) * all / share : rows);
    };
    const bool byNameIndex = m_fewOwn && passed(own, m_candidates) < 5 * passed(m_candidates, own);
    // The probe's own matches answer when it read every candidate, or found more than the cap.
    const bool probed = m_ownProbed >= 0 && (m_namedRead || m_query->filterClauses(false).isEmpty()) &&
                        (m_probedAll || m_ownProbed > m_countCap);
    // Where the word lies in some stretches of ids, the table read in its order passes the rows before
    // them: the blocks that may hold it are read instead.
    const QString candidates = m_fewOwn || m_ownFirst ? dialect.ownTaskCandidateRows()
                               : m_blockPlan.inOrder() && !m_blockPlan.blocks().isEmpty()
                                   ? dialect.taskCandidateRowsInOrder(true)
                                   : dialect.taskCandidateRows();
    int matches = probed ? int(std::min<qint64>(m_ownProbed, m_countCap + 1))
                         : count(byNameIndex ? QStringLiteral("FROM tasks") +
                                                   dialect.readIndex(QStringLiteral("idx_tasks_name_asc"))
                                             : QStringLiteral("FROM ") + candidates,
                                 QStringLiteral(" AND (%1 OR %2)")
                                     .arg(m_query->nameLike(QStringLiteral("tasks.name")), m_query->idLike()),
                                 m_countCap + 1);
    if (matches <= m_countCap)
        matches += count(QStringLiteral("FROM tasks"),
                         QStringLiteral(" AND tasks.customer_id IN (%1) AND %2 AND NOT %3")
                             .arg(m_query->matchingCustomers(),
                                  m_query->nameLike(QStringLiteral("customers.name")), m_query->ownMatch()),
                         m_countCap + 1 - matches);
    return matches;
}

// A search whose candidates fill few table pages is listed from them: spread candidates take a page
// each, candidates in a short stretch of ids share pages. Others walk the index of the order, which
// finds dense matches spread over the tasks quickly. The candidates are every user's tasks, or the
// user's alone (ownFirst()); the user's tasks of matching customers are read by customer.
bool TaskSearchPlanner::planListed(int userId)
{
    constexpr int kRowsPerPage = 32;
    const TaskView &view = m_query->view();
    const SqlDialect &dialect = m_query->dialect();
    const int probed = m_listPages * kRowsPerPage;
    const auto prepared = [&](const QString &sql) {
        StatementCache::Lease query = SqlSupport::reuse(m_db, sql);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":uid"), userId);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":name"),
                               QStringLiteral("%") + view.name + QStringLiteral("%"));
        SqlSupport::bindIfUsed(*query, QStringLiteral(":trigrams"), SqlSupport::likeTrigrams(view.name));
        SqlSupport::bindIfUsed(*query, QStringLiteral(":cap"), probed + 1);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":pages"), m_listPages + 1);
        return query;
    };
    m_candidates = std::numeric_limits<qint64>::max();
    qint64 candidates = 0;
    bool ends = false;
    qint64 stretch = 0;
    // The user's own candidates come from an index of every three characters.
    m_blocksTested = false;
    m_inBlocks = !m_ownFirst && fewBlocks(userId);
    if (m_ownFirst || m_inBlocks) {
        // The user's matches with the list's keys: where they are few, they are the list's first part.
        m_matches.start();
        if (!m_matches.read(userId, true, namedSource(m_ownFirst), m_listPages + 1))
            return false;
        candidates = stretch = m_ownProbed = m_matches.rows().size();
        m_namedRead = true;
    } else if (denseWord()) {
        candidates = stretch = m_listPages + 1;
    } else {
        auto span = prepared(dialect.taskCandidateSpan());
        if (!span.exec() || !span->next())
            return false;
        candidates = span->value(0).toLongLong();
        ends = !span->value(1).isNull();
        stretch = ends ? span->value(2).toLongLong() - span->value(1).toLongLong() + 1 : candidates;
        m_ownProbed = span->value(3).isNull() ? -1 : span->value(3).toLongLong();
    }
    m_candidates = candidates;
    const qint64 limit = ends ? probed : m_listPages;
    m_probedAll = candidates <= limit;
    // A walk in id order needs the user's tasks of matching customers counted too
    // (TaskPageReader::readsCandidatesInOrder()).
    const bool listable = candidates <= limit;
    if (!listable) {
        if (!m_blocksTested)
            m_blockPlan.planOrder(userId, -1);
        if (!m_blockPlan.inOrder())
            return false;
    }
    m_ownedByCustomers = countOwnedByCustomers(userId, std::max(m_listPages, kOwnedByCustomers) + 1);
    if (m_ownedByCustomers < 0)
        return false;
    const qint64 pages = std::min(candidates, stretch / kRowsPerPage + 1) + m_ownedByCustomers;
    if (listable && pages <= m_listPages) {
        m_blockPlan.leaveOrder();
        return true;
    }
    if (listable)
        m_blockPlan.planOrder(userId, candidates);
    return false;
}

// For a user who holds under a quarter of the tasks, where their candidates are indexed apart: the
// user's own candidates cost an entry of their index each, a probe of every user's candidates a
// row of the table each until its limit, where a word found in a share of the tasks is found after
// limit / share rows. An entry costs about a fifth of a row. A member of the team reads the index only
// where its functions are marked as safe for row-level security.
bool TaskSearchPlanner::ownFirst()
{
    estimateShare();
    return m_ownApart && double(m_own) * m_share * m_share < 5.0 * (m_listPages + 1);
}

// The search index leaves out what is not a letter or a digit: "dingo~" has the candidates of "dingo",
// and the probe rechecks all of them however few match. The blocks' filters hold every three
// characters of the names and may leave few blocks to read.
bool TaskSearchPlanner::fewBlocks(int userId)
{
    constexpr int kFewBlocks = 8;
    const QString &name = m_query->view().name;
    const bool indexedWhole = std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('%') || c == QLatin1Char('_');
    });
    if (indexedWhole || m_query->dialect().taskSearchBits().isEmpty())
        return false;
    m_blockPlan.planOrder(userId, -1);
    m_blocksTested = true;
    return m_blockPlan.hits() <= kFewBlocks;
}

// A text of one or two characters has no trigram: the walk of the order's index finds a common one
// at once, and passes every task for a rare one. Where the blocks whose names hold its characters are
// few, the matches are listed from the spans of those blocks that hold them, each costing up to 64
// tasks; where they hold more matches than a list sorts quickly, the text is common there and the walk
// finds it.
bool TaskSearchPlanner::listShort(int userId)
{
    if (m_query->shortGrams().isEmpty() || m_query->matchesIdText())
        return false;
    const auto walked = [this] {
        m_inBlocks = false;
        m_blockPlan.clear();
        m_matches.start();
        return false;
    };
    // A block of 1024 ids for each eight pages the list may hold: the spans that hold the text are
    // looked up in each.
    if (!m_blockPlan.planShortSpans(userId, m_listPages / 8))
        return false;
    m_ownedByCustomers = countOwnedByCustomers(userId, m_listPages + 1);
    if (m_ownedByCustomers < 0 || m_ownedByCustomers > m_listPages)
        return walked();
    m_inBlocks = true;
    m_matches.start();
    const int listed = 4 * m_listPages;
    m_listed = m_matches.read(userId, true, namedSource(false), listed + 1) &&
               m_matches.rows().size() <= listed && listMatches(userId, true);
    return m_listed || walked();
}

// The user's tasks whose customer matches, up to limit; -1 where the statement fails.
qint64 TaskSearchPlanner::countOwnedByCustomers(int userId, int limit)
{
    StatementCache::Lease owned = SqlSupport::reuse(
        m_db, QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM tasks WHERE tasks.user_id = :uid"
                             " AND tasks.customer_id IN (%1) LIMIT :owned) AS owned")
                  .arg(m_query->matchingCustomers()));
    owned->bindValue(QStringLiteral(":uid"), userId);
    owned->bindValue(QStringLiteral(":name"),
                     QStringLiteral("%") + m_query->view().name + QStringLiteral("%"));
    SqlSupport::bindIfUsed(*owned, QStringLiteral(":trigrams"),
                           SqlSupport::likeTrigrams(m_query->view().name));
    m_query->bindShortGrams(*owned);
    owned->bindValue(QStringLiteral(":owned"), limit);
    return owned.exec() && owned->next() ? owned->value(0).toLongLong() : -1;
}

// The probe of every user's candidates reads the table in its order until it has enough of them: a
// word in many tasks but in one stretch of them takes as long as the rows before that stretch, and any
// word in more than the list holds takes a read of as many rows as it holds. The statistics of the
// names tell such a word without reading a row: at a million tasks a word that a list could hold falls
// on about one of the thousand bounds, and on the nine that twice the list needs by a chance of a few
// in a million.
bool TaskSearchPlanner::denseWord()
{
    estimateShare();
    return m_cautiousShare * double(m_all) > 2.0 * (m_listPages + 1);
}

void TaskSearchPlanner::estimateShare()
{
    if (m_share >= 0)
        return;
    const TaskNameStatistics::Estimate estimate = m_statistics.estimate(m_query->view().name);
    m_share = estimate.share;
    m_cautiousShare = estimate.cautious;
    m_indexed = estimate.indexed;
    m_ownApart = m_indexed && m_query->dialect().ownCandidatesApart() && holdsFew();
}

// The walk to the reach-th match passes about reach / share of the user's tasks, where the search index
// gives the candidates at about four of those rows each, sorted by the database. Each part reads at most
// what the walk would cost: where it reaches that bound, the statistics were wrong and the pages walk.
bool TaskSearchPlanner::listFirstMatches(int userId, qint64 reach)
{
    const TaskView &view = m_query->view();
    if (m_listed || m_firstTried || !capped() || !view.hasIndexedSearch())
        return false;
    estimateShare();
    if (!m_indexed)
        return false;
    // The statistics miss many a word of a few percent; a capped count has more matches than the cap.
    const double share = std::max(m_share, double(m_countCap + 1) / double(std::max<qint64>(1, m_own)));
    const double walked = double(reach) / share;
    const double candidates = share * double(m_ownApart ? m_own : m_all);
    if (4 * candidates >= walked)
        return false;
    m_firstTried = true;
    const qint64 bound = qint64(walked / 4) + 1;
    if (!m_matches.readFirst(userId, namedSource(m_ownApart), bound, m_countCap + 1))
        return false;
    m_listed = true;
    return true;
}

// Every match of the search with its key: those by name or id among the candidates, the others by
// customer. Where the probe read the user's own candidates with their keys (namedRead), those are the
// first.
bool TaskSearchPlanner::listMatches(int userId, bool namedRead)
{
    if (!namedRead) {
        m_matches.start();
        // A probe that read every candidate and found none of the user's leaves only those by customer
        // (the search index also yields candidates that LIKE refuses, a word followed by "~" say).
        const bool noneNamed = m_probedAll && m_ownProbed == 0;
        if (!noneNamed && !m_matches.read(userId, true, namedSource(m_ownFirst)))
            return false;
    }
    if (!m_matches.read(userId, false, namedSource(m_ownFirst)))
        return false;
    m_matches.sort();
    return true;
}

TaskMatchList::Source TaskSearchPlanner::namedSource(bool ownCandidates) const
{
    using Source = TaskMatchList::Source;
    return {m_inBlocks      ? Source::Blocks
            : ownCandidates ? Source::OwnCandidates
                            : Source::Table,
            m_blockPlan.blocks(), m_blockPlan.width()};
}
