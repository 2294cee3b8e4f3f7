// The task page: counts, filters, search and paging of the signed-in user's tasks.
#include "services/TaskService.h"

#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QSet>

#include <algorithm>

namespace {

// Indexed by sort column, which is the column of the task table. Every page reads an index of
// (user_id, key) in its direction, in which equal keys follow in ascending id.
struct SortColumn
{
    const char *column;
    const char *index; // without its direction
    bool nullable;
    bool caseless = false;
};
const SortColumn kSortColumns[] = {
    {"tasks.id", "idx_tasks_user", false},
    {"tasks.name", "idx_tasks_name", true, true},
    {"tasks.level", "idx_tasks_level", false},
    {"tasks.active", "idx_tasks_active", true},
    {"tasks.expire_at_epoch", "idx_tasks_expire", true},
    {"tasks.create_at", "idx_tasks_created", true},
};

// Beyond this many of the user's tasks of matching customers, reading a search in id order leaves them
// to the walk of the order's index.
constexpr int kOwnedByCustomers = 400;

const QString kPageSelect =
    QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.expire_at,"
                   " tasks.create_at, tasks.level, tasks.customer_id, customers.name AS customer_name,"
                   " %1 AS sort_key"
                   " FROM %2 LEFT JOIN customers ON tasks.customer_id = customers.id"
                   " WHERE tasks.user_id = :uid");

} // namespace

const SqlDialect &TaskService::dialect() const
{
    return m_db->dialect();
}

// The order key of the sort column; also read back as each row's sort_key, so that keyset bounds
// compare like with like.
QString TaskService::sortKey() const
{
    const SortColumn &sort = kSortColumns[m_sortColumn];
    const QString column = QLatin1String(sort.column);
    return sort.caseless ? dialect().caseless(column) : column;
}

// Only the name filter reads the customer. Without the join, a count or a jump over many rows reads the
// index alone on PostgreSQL too.
QString TaskService::customerJoin() const
{
    return m_filterName.isEmpty()
               ? QString()
               : QStringLiteral(" LEFT JOIN customers ON tasks.customer_id = customers.id");
}

// NULL keys sort first; keys that are never NULL say nothing, like their indexes.
QString TaskService::nullsOrder(bool ascending) const
{
    return kSortColumns[m_sortColumn].nullable ? dialect().nullsLow(ascending) : QString();
}

QString TaskService::sortIndex() const
{
    // A page near the rows shown, or near either end, of a dense expiry range walks the index of the
    // order; other pages of a range leave the choice to the planner, which reads the expiry index and
    // sorts. Otherwise the index of the order is read, which also covers the state and level filters,
    // and the dense matches of a search are found by walking it (a listed search reads its rows by id).
    if ((!m_filterExpireFrom.isEmpty() || !m_filterExpireTo.isEmpty()) && !m_rangeByOrder)
        return QString();
    const char *const suffix = m_sortColumn == 0 ? "" : "_asc";
    return dialect().readIndex(QLatin1String(kSortColumns[m_sortColumn].index) + QLatin1String(suffix));
}

// Whether a descending page reads the ascending index of its order (see sortIndex()) backwards. That
// gives equal keys in descending id, while the page shows them in ascending id: walk() turns each key's
// rows round and edgeAt() finds a row among its key's rows by id.
bool TaskService::readsKeyGroups() const
{
    const bool ranged = !m_filterExpireFrom.isEmpty() || !m_filterExpireTo.isEmpty();
    return m_sortColumn != 0 && m_sortOrder == 1 && (!ranged || m_rangeByOrder) &&
           !dialect().indexPerDirection();
}

QString TaskService::filterClauses(bool withName) const
{
    QString clauses;
    switch (m_filterLevel) {
    case 20:
        clauses += QStringLiteral(" AND tasks.level <= 20");
        break;
    case 50:
        clauses += QStringLiteral(" AND tasks.level > 20 AND tasks.level <= 50");
        break;
    case 51:
        clauses += QStringLiteral(" AND tasks.level > 50");
        break;
    default:
        break;
    }
    // Bounds entered as local date and time compare as instants; any other text compares as text.
    if (!m_filterExpireFrom.isEmpty()) {
        clauses += boundEpoch(m_filterExpireFrom, false)
                       ? QStringLiteral(" AND tasks.expire_at_epoch >= :expireFrom")
                       : QStringLiteral(" AND tasks.expire_at >= :expireFrom");
    }
    if (!m_filterExpireTo.isEmpty()) {
        clauses += boundEpoch(m_filterExpireTo, true)
                       ? QStringLiteral(" AND tasks.expire_at_epoch <= :expireTo")
                       : QStringLiteral(" AND tasks.expire_at <= :expireTo");
    }
    // With the customers' search index, the customers whose name matches are found once per statement
    // instead of joined to every row passed; a short text matches too many customers for that.
    if (withName && !m_filterName.isEmpty()) {
        const QString customer = SqlSupport::likeTrigrams(m_filterName).isEmpty()
                                     ? nameLike(QStringLiteral("customers.name"))
                                     : QStringLiteral("tasks.customer_id IN (%1)").arg(matchingCustomers());
        clauses += QStringLiteral(" AND (%1 OR %2 OR %3)")
                       .arg(nameLike(QStringLiteral("tasks.name")),
                            nameLike(QStringLiteral("CAST(tasks.id AS TEXT)")), customer);
    }
    if (m_filterActive != -1)
        clauses += QStringLiteral(" AND tasks.active = :active");
    return clauses;
}

void TaskService::bindFilters(QSqlQuery &query, int userId) const
{
    query.bindValue(QStringLiteral(":uid"), userId);
    if (!m_filterName.isEmpty()) {
        query.bindValue(QStringLiteral(":name"), QStringLiteral("%") + m_filterName + QStringLiteral("%"));
        SqlSupport::bindIfUsed(query, QStringLiteral(":trigrams"), SqlSupport::likeTrigrams(m_filterName));
    }
    if (m_filterActive != -1)
        query.bindValue(QStringLiteral(":active"), m_filterActive);
    if (!m_filterExpireFrom.isEmpty()) {
        const std::optional<qint64> epoch = boundEpoch(m_filterExpireFrom, false);
        query.bindValue(QStringLiteral(":expireFrom"),
                        epoch ? QVariant(*epoch) : QVariant(m_filterExpireFrom));
    }
    if (!m_filterExpireTo.isEmpty()) {
        const std::optional<qint64> epoch = boundEpoch(m_filterExpireTo, true);
        query.bindValue(QStringLiteral(":expireTo"), epoch ? QVariant(*epoch) : QVariant(m_filterExpireTo));
    }
}

void TaskService::setSearchLimits(int countCap, int listPages)
{
    m_countCap = std::max(1, countCap);
    m_listPages = std::max(1, listPages);
    m_countedView.clear();
}

// A search whose candidates fill few table pages is listed from them: spread candidates take a page
// each, candidates in a short stretch of ids share pages. Others walk the index of the order, which
// finds dense matches spread over the tasks quickly. Every user's tasks are candidates; the user's
// tasks of matching customers are read by customer.
TaskService::SearchPlan TaskService::planSearch(int userId)
{
    constexpr int kRowsPerPage = 32;
    const int probed = m_listPages * kRowsPerPage;
    const auto prepared = [&](const QString &sql) {
        QSqlQuery query = SqlSupport::prepare(m_db, sql);
        SqlSupport::bindIfUsed(query, QStringLiteral(":uid"), userId);
        SqlSupport::bindIfUsed(query, QStringLiteral(":name"),
                               QStringLiteral("%") + m_filterName + QStringLiteral("%"));
        SqlSupport::bindIfUsed(query, QStringLiteral(":trigrams"), SqlSupport::likeTrigrams(m_filterName));
        SqlSupport::bindIfUsed(query, QStringLiteral(":cap"), probed + 1);
        SqlSupport::bindIfUsed(query, QStringLiteral(":pages"), m_listPages + 1);
        SqlSupport::bindIfUsed(query, QStringLiteral(":owned"), std::max(m_listPages, kOwnedByCustomers) + 1);
        return query;
    };
    QSqlQuery span = prepared(dialect().taskCandidateSpan());
    m_candidates = std::numeric_limits<qint64>::max();
    if (!span.exec() || !span.next())
        return SearchPlan::Walk;
    const qint64 candidates = span.value(0).toLongLong();
    m_candidates = candidates;
    const bool ends = !span.value(1).isNull();
    const qint64 stretch = ends ? span.value(2).toLongLong() - span.value(1).toLongLong() + 1 : candidates;
    span.finish();
    // A walk in id order needs them too (readsCandidatesInOrder()).
    const bool listable = candidates <= (ends ? probed : m_listPages);
    if (!listable && dialect().taskCandidateOrder().isEmpty())
        return SearchPlan::Walk;
    QSqlQuery owned =
        prepared(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM tasks WHERE tasks.user_id = :uid"
                                " AND tasks.customer_id IN (%1) LIMIT :owned) AS owned")
                     .arg(matchingCustomers()));
    if (!owned.exec() || !owned.next())
        return SearchPlan::Walk;
    m_ownedByCustomers = owned.value(0).toLongLong();
    const qint64 pages = std::min(candidates, stretch / kRowsPerPage + 1) + m_ownedByCustomers;
    return listable && pages <= m_listPages ? SearchPlan::Listed : SearchPlan::Walk;
}

// Every match of the search with its key: those by name or id among the candidates, the others by
// customer. The statement does not sort: its sorter costs more than the sort here.
bool TaskService::listMatches(int userId)
{
    m_matches = {m_sortColumn, m_sortOrder, {}};
    const QString own = QStringLiteral("(%1 OR %2)")
                            .arg(nameLike(QStringLiteral("COALESCE(tasks.name, '')")),
                                 nameLike(QStringLiteral("CAST(tasks.id AS TEXT)")));
    const QString select =
        QStringLiteral("SELECT tasks.id, %1 AS sort_key FROM tasks%2 WHERE tasks.user_id = :uid AND ")
            .arg(sortKey(), QStringLiteral("%1"));
    const QString others = filterClauses(false);
    const QString sql = select.arg(dialect().readById()) + dialect().taskMatches() + others +
                        QStringLiteral(" UNION ALL ") + select.arg(QString()) +
                        QStringLiteral("tasks.customer_id IN (%1) AND NOT %2").arg(matchingCustomers(), own) +
                        others;
    QSqlQuery query(m_db->database());
    query.setForwardOnly(true);
    query.prepare(sql);
    bindFilters(query, userId);
    if (!query.exec())
        return false;
    while (query.next())
        m_matches.rows.append({query.value(1), query.value(0).toInt()});
    sortMatches();
    return true;
}

// The display order of the statements: NULL keys first when ascending, text by its UTF-8 bytes (a
// caseless key with ASCII letters folded), equal keys in ascending id.
void TaskService::sortMatches()
{
    struct Sorted
    {
        bool null;
        qint64 number;
        QByteArray text;
        PageEdge edge;
    };
    const bool text = m_sortColumn == 1 || m_sortColumn == 5;
    const bool caseless = kSortColumns[m_sortColumn].caseless;
    QList<Sorted> sorted;
    sorted.reserve(m_matches.rows.size());
    for (const PageEdge &edge : std::as_const(m_matches.rows)) {
        QByteArray bytes = text ? edge.key.toString().toUtf8() : QByteArray();
        if (caseless) {
            for (char &c : bytes)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        sorted.append({edge.key.isNull(), text ? 0 : edge.key.toLongLong(), bytes, edge});
    }
    const bool descending = m_sortOrder == 1;
    std::sort(sorted.begin(), sorted.end(), [&](const Sorted &a, const Sorted &b) {
        int order = int(b.null) - int(a.null);
        if (order == 0 && !a.null)
            order = text ? a.text.compare(b.text) : (a.number > b.number) - (a.number < b.number);
        if (order != 0)
            return descending ? order > 0 : order < 0;
        return a.edge.id < b.edge.id;
    });
    for (qsizetype i = 0; i < sorted.size(); ++i)
        m_matches.rows[i] = sorted.at(i).edge;
}

// The rows of the given edges, in their order.
QList<TaskRow> TaskService::readRows(const QList<PageEdge> &edges)
{
    QStringList ids;
    for (const PageEdge &edge : edges)
        ids.append(QString::number(edge.id));
    QList<TaskRow> rows;
    if (ids.isEmpty())
        return rows;
    QSqlQuery query = SqlSupport::prepare(
        m_db, kPageSelect.arg(sortKey(), QStringLiteral("tasks") + dialect().readById()) +
                  QStringLiteral(" AND tasks.id IN (%1)").arg(ids.join(QLatin1Char(','))));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    if (!query.exec())
        return rows;
    QHash<int, TaskRow> byId;
    while (query.next()) {
        TaskRow row = rowOf(query);
        byId.insert(row.id, std::move(row));
    }
    for (const PageEdge &edge : edges) {
        if (byId.contains(edge.id))
            rows.append(byId.take(edge.id));
    }
    return rows;
}

TaskRow TaskService::rowOf(const QSqlQuery &query) const
{
    TaskRow row;
    row.id = query.value(QStringLiteral("id")).toInt();
    row.name = query.value(QStringLiteral("name")).toString();
    row.notes = query.value(QStringLiteral("notes")).toString();
    row.active = query.value(QStringLiteral("active")).toBool();
    row.level = query.value(QStringLiteral("level")).toInt();
    row.expireAt = SqlSupport::localFromUtcText(query.value(QStringLiteral("expire_at")));
    row.createAt = SqlSupport::localFromUtcText(query.value(QStringLiteral("create_at")));
    row.customerId = query.value(QStringLiteral("customer_id")).toInt();
    row.customerName = query.value(QStringLiteral("customer_name")).toString();
    return row;
}

int TaskService::countTasks(int userId)
{
    m_searchPlan = SearchPlan::Walk;
    m_matches = {};
    m_fewOwn = false;
    const QString trigrams = m_filterName.isEmpty() ? QString() : SqlSupport::likeTrigrams(m_filterName);
    m_ownedByCustomers = std::numeric_limits<qint64>::max();
    if (!trigrams.isEmpty()) {
        m_searchPlan = planSearch(userId);
        if (m_searchPlan != SearchPlan::Walk && listMatches(userId))
            return int(m_matches.rows.size());
        m_searchPlan = SearchPlan::Walk;
    }
    const auto count = [&](const QString &from, const QString &where, int limit) {
        // Without the join when nothing reads the customer, so that the name index alone answers.
        const bool joined = where.isEmpty() || where.contains(QStringLiteral("customers."));
        const QString matches = from + (joined ? customerJoin() : QString()) +
                                QStringLiteral(" WHERE tasks.user_id = :uid") + where +
                                filterClauses(where.isEmpty());
        QSqlQuery query = SqlSupport::prepare(
            m_db, limit > 0 ? QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 %1 LIMIT %2) AS matches")
                                  .arg(matches)
                                  .arg(limit)
                            : QStringLiteral("SELECT COUNT(*) ") + matches);
        bindFilters(query, userId);
        return query.exec() && query.next() ? query.value(0).toInt() : 0;
    };
    int matches = 0;
    if (m_filterName.isEmpty()) {
        matches = count(QStringLiteral("FROM tasks"), QString(), 0);
    } else if (trigrams.isEmpty()) {
        matches = count(QStringLiteral("FROM tasks"), QString(), m_countCap + 1);
    } else {
        // A match by the task's own name or id is among the hits of the search index, read in its
        // order so that counting stops at the cap; the others match by their customer only.
        // In a file of many users most candidates are other users' tasks: they are left out through
        // the user's id index, or the user's own rows are read from the name index, which holds the
        // name and the id. A row of the name index costs about a fifth of a candidate's seek.
        QSqlQuery sizes = SqlSupport::prepare(
            m_db, QStringLiteral("SELECT (SELECT total FROM task_counts WHERE user_id = :uid),"
                                 " (SELECT SUM(total) FROM task_counts)"));
        sizes.bindValue(QStringLiteral(":uid"), userId);
        const bool sized = sizes.exec() && sizes.next();
        const qint64 own = sized ? sizes.value(0).toLongLong() : 0;
        const qint64 all = sized ? sizes.value(1).toLongLong() : 0;
        sizes.finish();
        m_fewOwn = !dialect().readIndex(QString()).isEmpty() && own * 4 < all;
        const auto passed = [&](qint64 rows, qint64 share) { // rows read until the cap is reached
            return std::min(rows, share > 0 ? (m_countCap + 1) * all / share : rows);
        };
        const bool byNameIndex = m_fewOwn && passed(own, m_candidates) < 5 * passed(m_candidates, own);
        matches = count(byNameIndex ? QStringLiteral("FROM tasks") +
                                          dialect().readIndex(QStringLiteral("idx_tasks_name_asc"))
                        : m_fewOwn ? QStringLiteral("FROM ") + dialect().ownTaskCandidateRows()
                                   : QStringLiteral("FROM ") + dialect().taskCandidateRows(),
                        QStringLiteral(" AND (%1 OR %2)")
                            .arg(nameLike(QStringLiteral("tasks.name")),
                                 nameLike(QStringLiteral("CAST(tasks.id AS TEXT)"))),
                        m_countCap + 1);
        if (matches <= m_countCap)
            matches += count(QStringLiteral("FROM tasks"),
                             QStringLiteral(" AND tasks.customer_id IN (%1) AND %2 AND NOT (%3 OR %4)")
                                 .arg(matchingCustomers(), nameLike(QStringLiteral("customers.name")),
                                      nameLike(QStringLiteral("COALESCE(tasks.name, '')")),
                                      nameLike(QStringLiteral("CAST(tasks.id AS TEXT)"))),
                             m_countCap + 1 - matches);
    }
    return matches;
}

void TaskService::loadPage(int page)
{
    if (!canQuery())
        return;
    const int uid = m_auth->userId();

    // The counters are kept by the database on every write; a user without tasks has no row.
    QSqlQuery counters =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT * FROM task_counts WHERE user_id = :uid"));
    counters.bindValue(QStringLiteral(":uid"), uid);
    const bool counted = counters.exec();
    const bool hasRow = counted && counters.next();
    const auto counter = [&](const QString &column) {
        return hasRow ? counters.value(column).toInt() : 0;
    };

    int matching = 0;
    if (counted && m_filterName.isEmpty() && m_filterExpireFrom.isEmpty() && m_filterExpireTo.isEmpty()) {
        const QString level = m_filterLevel == 20   ? QStringLiteral("low")
                              : m_filterLevel == 50 ? QStringLiteral("mid")
                              : m_filterLevel == 51 ? QStringLiteral("high")
                                                    : QString();
        const QString state = m_filterActive == 0   ? QStringLiteral("open")
                              : m_filterActive == 1 ? QStringLiteral("done")
                                                    : QString();
        const QString column = state.isEmpty() ? (level.isEmpty() ? QStringLiteral("total") : level)
                                               : (level.isEmpty() ? state : state + QLatin1Char('_') + level);
        matching = counter(column);
        m_countCapped = false;
        // The plan of a search goes with its count.
        m_searchPlan = SearchPlan::Walk;
        m_countedView.clear();
    } else {
        // Paging through a search or a range does not count it again while nothing changed.
        const QString counting = QStringList{QString::number(uid),
                                             QString::number(m_filterActive),
                                             QString::number(m_filterLevel),
                                             m_filterName,
                                             m_filterExpireFrom,
                                             m_filterExpireTo,
                                             dataVersion().toString()}
                                     .join(QChar(0));
        if (counting != m_countedView) {
            m_counted = countTasks(uid);
            m_countedView = counting;
        } else if (m_searchPlan != SearchPlan::Walk &&
                   (m_matches.column != m_sortColumn || m_matches.order != m_sortOrder)) {
            m_counted = listMatches(uid) ? int(m_matches.rows.size()) : 0;
        }
        // Only a search counts up to the cap; a range alone is counted exactly.
        m_countCapped = m_searchPlan == SearchPlan::Walk && !m_filterName.isEmpty() && m_counted > m_countCap;
        matching = m_countCapped ? m_countCap : m_counted;
    }

    if (counted) {
        m_totalCount = counter(QStringLiteral("total"));
        m_activeCount = counter(QStringLiteral("done"));
        m_inactiveCount = counter(QStringLiteral("open"));
        emit countsChanged();
    }

    m_totalPages = int(std::max<qint64>(1, (qint64(matching) + m_pageSize - 1) / m_pageSize));
    emit totalPagesChanged();
    const int target = std::max(1, std::min(page, m_totalPages));
    if (target != m_currentPage) {
        m_currentPage = target;
        emit currentPageChanged();
    }

    if (counted) {
        m_lowLevelCount = counter(QStringLiteral("open_low"));
        m_midLevelCount = counter(QStringLiteral("open_mid"));
        m_highLevelCount = counter(QStringLiteral("open_high"));
        emit countsLevelChanged();
    }

    QList<TaskRow> rows = readPage(uid, matching);
    if (m_model)
        m_model->setTasks(std::move(rows));
}

QString TaskService::viewKey(int userId) const
{
    return QStringList{QString::number(userId),
                       QString::number(m_sortColumn),
                       QString::number(m_sortOrder),
                       QString::number(m_pageSize),
                       QString::number(m_filterActive),
                       QString::number(m_filterLevel),
                       m_filterName,
                       m_filterExpireFrom,
                       m_filterExpireTo}
        .join(QChar(0));
}

// Changes on this connection (also those of other services and of triggers) and commits of others.
QVariant TaskService::dataVersion() const
{
    QSqlQuery query = SqlSupport::prepare(m_db, dialect().changeStamp());
    if (!query.exec() || !query.next())
        return {};
    return query.value(0).toString();
}

QString TaskService::nameLike(const QString &expr) const
{
    return dialect().like(expr, QStringLiteral(":name"));
}

// The ids of the customers whose name matches a search of three characters or more: the customers'
// search index narrows them down (it also holds ids and contacts), LIKE decides.
QString TaskService::matchingCustomers() const
{
    return QStringLiteral("SELECT id FROM customers WHERE id IN (%1) AND %2")
        .arg(dialect().customerCandidates(), nameLike(QStringLiteral("name")));
}

QList<TaskRow> TaskService::readPage(int userId, int matching)
{
    const QString view = viewKey(userId);
    const QVariant version = dataVersion();
    const int target = m_currentPage;
    const qint64 offset = qint64(target - 1) * m_pageSize;
    const bool continues =
        m_shown.first.id > 0 && m_shown.view == view && version.isValid() && m_shown.version == version;
    const int shift = m_shown.shift;
    if (m_searchPlan != SearchPlan::Walk) {
        const QList<PageEdge> edges = m_matches.rows.mid(offset, m_pageSize);
        m_shown = {view, version, target, edges.value(0), edges.value(edges.size() - 1), 0};
        return readRows(edges);
    }

    // A walk of the order's index passes about all / matching rows for each one it keeps; reading the
    // range and sorting it costs about matching.
    const bool near =
        target == 1 || target == m_totalPages || (continues && std::abs(target - m_shown.page) <= 1);
    const qint64 passed = near ? 0 : std::min<qint64>(offset, matching - offset);
    m_rangeByOrder = (passed + m_pageSize) * m_totalCount <= qint64(matching) * matching;

    QList<TaskRow> rows;
    QList<PageEdge> edges;
    const auto fromEdge = [&](const PageEdge &edge, int skip) {
        rows = walk(userId, &edge, true, false, m_pageSize + skip, &edges);
        rows.remove(0, std::min<qsizetype>(skip, rows.size()));
        edges.remove(0, std::min<qsizetype>(skip, edges.size()));
    };
    const auto backward = [&](const PageEdge *edge, int limit) {
        rows = walk(userId, edge, false, true, limit, &edges);
        std::reverse(rows.begin(), rows.end());
        std::reverse(edges.begin(), edges.end());
    };
    if (target == 1) {
        rows = walk(userId, nullptr, false, false, m_pageSize, &edges);
    } else if (!m_countCapped && target == m_totalPages) {
        backward(nullptr, int(matching - offset));
    } else if (continues && shift == 0 && target == m_shown.page + 1) {
        rows = walk(userId, &m_shown.last, false, false, m_pageSize, &edges);
    } else if (continues && shift == 0 && target == m_shown.page - 1) {
        backward(&m_shown.first, m_pageSize);
    } else if (continues && target == m_shown.page && shift <= 0) {
        fromEdge(m_shown.first, -shift);
    } else {
        // One row came in front of the first row shown: the page starts a row earlier. Otherwise a
        // direct jump counts rows over the index from the nearer end.
        std::optional<PageEdge> edge;
        if (continues && target == m_shown.page && shift == 1) {
            QList<PageEdge> before;
            walk(userId, &m_shown.first, false, true, 1, &before);
            if (!before.isEmpty())
                edge = before.first();
        }
        if (!edge) {
            const bool fromEnd = !m_countCapped && offset >= matching / 2;
            edge = edgeAt(userId, fromEnd ? matching - 1 - offset : offset, fromEnd);
        }
        if (edge)
            fromEdge(*edge, 0);
    }
    m_shown = {view, version, target, edges.value(0), edges.value(edges.size() - 1), 0};
    return rows;
}

QList<TaskRow> TaskService::walk(int userId, const PageEdge *edge, bool inclusive, bool backward, int limit,
                                 QList<PageEdge> *edges, bool withRows)
{
    const QString key = sortKey();
    const bool keyAscending = (m_sortOrder == 0) != backward;
    const QString idOrder = backward ? QStringLiteral("tasks.id DESC") : QStringLiteral("tasks.id ASC");
    // The NULL order is stated although the parts below leave NULL out: an index serves an order only
    // when it sorts NULL the same way.
    const QString keyOrder = key + (keyAscending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")) +
                             nullsOrder(keyAscending) + QStringLiteral(", ") + idOrder;
    // A search whose order follows id reads the search index's candidates in id order instead of the
    // order's index, and every part below then also holds the ids its keys span.
    const bool inIdOrder = readsCandidatesInOrder(userId);
    const auto spanOf = [&](const QVariant &k) -> std::optional<IdSpan> {
        return inIdOrder ? creationSpan(userId, k) : std::nullopt;
    };
    const auto above = [](const std::optional<IdSpan> &span) {
        return span ? IdSpan{span->to + 1, IdSpan().to} : IdSpan();
    };
    const auto below = [](const std::optional<IdSpan> &span) {
        return span ? IdSpan{IdSpan().from, span->from - 1} : IdSpan();
    };
    const auto beyond = [&](const std::optional<IdSpan> &span) {
        return keyAscending ? above(span) : below(span);
    };
    // NULL keys sort first; each part below reads one range of the index in order.
    struct Part
    {
        QString condition;
        QString order;
        bool byKey = false; // ordered by the key, not only by id
        IdSpan span;
    };
    const bool nullable = kSortColumns[m_sortColumn].nullable;
    const std::optional<IdSpan> nullSpan = m_sortColumn != 0 && nullable ? spanOf(QVariant()) : std::nullopt;
    const Part nulls{key + QStringLiteral(" IS NULL"), idOrder, false,
                     nullSpan ? *nullSpan : (inIdOrder ? IdSpan{1, 0} : IdSpan())};
    const Part values{nullable ? key + QStringLiteral(" IS NOT NULL") : QStringLiteral("1 = 1"), keyOrder,
                      true, above(nullSpan)};
    QList<Part> parts;
    if (m_sortColumn == 0) { // ids are unique and never NULL
        const QString bound = QStringLiteral("tasks.id ") +
                              (keyAscending ? QLatin1Char('>') : QLatin1Char('<')) +
                              (inclusive ? QStringLiteral("= :edgeId") : QStringLiteral(" :edgeId"));
        IdSpan span;
        if (edge)
            (keyAscending ? span.from : span.to) = edge->id + (inclusive ? 0 : keyAscending ? 1 : -1);
        parts.append({edge ? bound : QStringLiteral("1 = 1"),
                      keyAscending ? QStringLiteral("tasks.id ASC") : QStringLiteral("tasks.id DESC"), false,
                      span});
    } else if (!edge) {
        parts = keyAscending ? QList<Part>{nulls, values} : QList<Part>{values, nulls};
    } else {
        const bool nullKey = edge->key.isNull();
        const std::optional<IdSpan> edgeSpan = nullKey ? nullSpan : spanOf(edge->key);
        const QString ties = (nullKey ? nulls.condition : key + QStringLiteral(" = :key")) +
                             QStringLiteral(" AND tasks.id ") +
                             (backward ? QLatin1Char('<') : QLatin1Char('>')) +
                             (inclusive ? QStringLiteral("= :edgeId") : QStringLiteral(" :edgeId"));
        IdSpan tieSpan = edgeSpan.value_or(IdSpan());
        if (inIdOrder) {
            qint64 &end = backward ? tieSpan.to : tieSpan.from;
            const qint64 fromEdge = edge->id + (inclusive ? 0 : backward ? -1 : 1);
            end = backward ? std::min(end, fromEdge) : std::max(end, fromEdge);
        }
        parts.append({ties, idOrder, false, tieSpan});
        if (!nullKey)
            parts.append({key + (keyAscending ? QStringLiteral(" > :key") : QStringLiteral(" < :key")),
                          keyOrder, true, beyond(edgeSpan)});
        if (nullKey && keyAscending)
            parts.append(values);
        if (!nullKey && !keyAscending)
            parts.append(nulls);
    }
    if (!nullable)
        parts.removeIf([&](const Part &part) { return part.condition == nulls.condition; });

    QList<TaskRow> rows;
    // Runs one statement, appending its rows.
    const auto collect = [&](const QString &sql, const QVariant &groupKey, const IdSpan &span, int wanted,
                             QList<TaskRow> &into, QList<PageEdge> &intoEdges) {
        QSqlQuery query = SqlSupport::prepare(m_db, sql);
        bindFilters(query, userId);
        if (sql.contains(QStringLiteral(":key")))
            query.bindValue(QStringLiteral(":key"), edge->key);
        if (sql.contains(QStringLiteral(":edgeId")))
            query.bindValue(QStringLiteral(":edgeId"), edge->id);
        SqlSupport::bindIfUsed(query, QStringLiteral(":groupKey"), groupKey);
        SqlSupport::bindIfUsed(query, QStringLiteral(":idFrom"), span.from);
        SqlSupport::bindIfUsed(query, QStringLiteral(":idTo"), span.to);
        query.bindValue(QStringLiteral(":lim"), wanted);
        if (!query.exec())
            return;
        while (query.next()) {
            intoEdges.append(
                {query.value(QStringLiteral("sort_key")), query.value(QStringLiteral("id")).toInt()});
            into.append(withRows ? rowOf(query) : TaskRow());
        }
    };
    // Appends the rows of one part, at most limit - rows.size() of them.
    const auto read = [&](const QString &condition, const QString &order, const QVariant &groupKey,
                          const IdSpan &span, QList<TaskRow> &into, QList<PageEdge> &intoEdges) {
        const int wanted = int(limit - rows.size());
        if (!inIdOrder) {
            collect(kPageSelect.arg(key, QStringLiteral("tasks") + sortIndex()) + filterClauses() +
                        QStringLiteral(" AND ") + condition + QStringLiteral("\nORDER BY ") + order +
                        QStringLiteral("\nLIMIT :lim"),
                    groupKey, span, wanted, into, intoEdges);
            return;
        }
        if (span.from > span.to)
            return;
        // Every order read here ends in the direction of the ids, which it follows. The matches by
        // the task's own name or id are among the candidates; those by customer alone are read apart
        // and merged in by id.
        const bool ascending = order.endsWith(QLatin1String("ASC"));
        const QString direction = ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC");
        const QString own = QStringLiteral("(%1 OR %2)")
                                .arg(nameLike(QStringLiteral("COALESCE(tasks.name, '')")),
                                     nameLike(QStringLiteral("CAST(tasks.id AS TEXT)")));
        const QString rest = filterClauses(false) + QStringLiteral(" AND ") + condition;
        const QString within = QStringLiteral(" AND %1 BETWEEN :idFrom AND :idTo");
        const QString byName = kPageSelect.arg(key, m_fewOwn ? dialect().ownTaskCandidateRows()
                                                             : dialect().taskCandidateRows()) +
                               QStringLiteral(" AND ") + own + rest +
                               within.arg(dialect().taskCandidateOrder()) + QStringLiteral("\nORDER BY ") +
                               dialect().taskCandidateOrder() + direction + QStringLiteral("\nLIMIT :lim");
        const QString byCustomer =
            kPageSelect.arg(key, QStringLiteral("tasks") +
                                     dialect().readIndex(QStringLiteral("idx_tasks_user_customer"))) +
            QStringLiteral(" AND tasks.customer_id IN (%1) AND NOT %2").arg(matchingCustomers(), own) + rest +
            within.arg(QStringLiteral("tasks.id")) + QStringLiteral("\nORDER BY tasks.id") + direction +
            QStringLiteral("\nLIMIT :lim");
        QList<TaskRow> named, owned;
        QList<PageEdge> namedEdges, ownedEdges;
        collect(byName, groupKey, span, wanted, named, namedEdges);
        if (m_ownedByCustomers > 0)
            collect(byCustomer, groupKey, span, wanted, owned, ownedEdges);
        qsizetype n = 0, o = 0;
        while (n + o < wanted && (n < named.size() || o < owned.size())) {
            const bool takeNamed =
                o >= owned.size() ||
                (n < named.size() && (namedEdges.at(n).id < ownedEdges.at(o).id) == ascending);
            into.append(takeNamed ? named.at(n) : owned.at(o));
            intoEdges.append(takeNamed ? namedEdges.at(n++) : ownedEdges.at(o++));
        }
    };
    // Keys compare as the statement compares them: a caseless key folds ASCII letters only.
    const bool caseless = kSortColumns[m_sortColumn].caseless;
    const auto sameKey = [caseless](const QVariant &a, const QVariant &b) {
        if (!caseless)
            return a == b;
        const QString x = a.toString();
        const QString y = b.toString();
        const auto fold = [](QChar c) {
            return c.unicode() < 128 ? c.toLower() : c;
        };
        return x.size() == y.size() && std::equal(x.begin(), x.end(), y.begin(),
                                                  [&](QChar p, QChar q) { return fold(p) == fold(q); });
    };
    const bool groups = readsKeyGroups();
    const QString sameOrder = key + (keyAscending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")) +
                              nullsOrder(keyAscending) + QStringLiteral(", tasks.id ") +
                              (keyAscending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    const QString after =
        key + (keyAscending ? QStringLiteral(" > :groupKey") : QStringLiteral(" < :groupKey"));
    for (const Part &part : std::as_const(parts)) {
        if (rows.size() >= limit)
            break;
        if (!groups || !part.byKey) {
            read(part.condition, part.order, QVariant(), part.span, rows, *edges);
            continue;
        }
        // The index gives equal keys in the key's direction. Its rows are read in that order: every
        // key but the last one read is complete and turned round; the last key is read again by id.
        QString condition = part.condition;
        IdSpan span = part.span;
        QVariant groupKey;
        while (rows.size() < limit) {
            QList<TaskRow> batch;
            QList<PageEdge> batchEdges;
            const qsizetype wanted = limit - rows.size();
            read(condition, sameOrder, groupKey, span, batch, batchEdges);
            const bool complete = batch.size() < wanted;
            qsizetype end = batch.size();
            if (!complete)
                while (end > 0 && sameKey(batchEdges.at(end - 1).key, batchEdges.last().key))
                    --end;
            for (qsizetype first = 0; first < end;) {
                qsizetype last = first + 1;
                while (last < end && sameKey(batchEdges.at(last).key, batchEdges.at(first).key))
                    ++last;
                for (qsizetype i = last; i-- > first;) {
                    rows.append(batch.at(i));
                    edges->append(batchEdges.at(i));
                }
                first = last;
            }
            if (complete)
                break;
            groupKey = batchEdges.last().key;
            const std::optional<IdSpan> groupSpan = spanOf(groupKey);
            read(key + QStringLiteral(" = :groupKey"), idOrder, groupKey, groupSpan.value_or(IdSpan()), rows,
                 *edges);
            condition = after;
            span = beyond(groupSpan);
        }
    }
    return rows;
}

// A search of three characters or more in the id order, or in the creation order while the user's
// creation times follow their ids, where the search index gives its candidates in id order.
bool TaskService::readsCandidatesInOrder(int userId) const
{
    if (m_searchPlan != SearchPlan::Walk || dialect().taskCandidateOrder().isEmpty() ||
        !m_filterExpireFrom.isEmpty() || !m_filterExpireTo.isEmpty() ||
        SqlSupport::likeTrigrams(m_filterName).isEmpty() || m_ownedByCustomers > kOwnedByCustomers)
        return false;
    if (m_sortColumn != 5)
        return m_sortColumn == 0;
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("SELECT out_of_order FROM task_creation_order WHERE user_id = :uid"));
    query.bindValue(QStringLiteral(":uid"), userId);
    return query.exec() && query.next() && query.value(0).toInt() == 0;
}

std::optional<TaskService::IdSpan> TaskService::creationSpan(int userId, const QVariant &key) const
{
    const QString rows =
        QStringLiteral("SELECT id FROM tasks%1 WHERE user_id = :uid AND create_at %2 ORDER BY id")
            .arg(dialect().readIndex(QStringLiteral("idx_tasks_created_asc")),
                 key.isNull() ? QStringLiteral("IS NULL") : QStringLiteral("= :key"));
    QSqlQuery query =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT (%1 LIMIT 1), (%1 DESC LIMIT 1)").arg(rows));
    query.bindValue(QStringLiteral(":uid"), userId);
    SqlSupport::bindIfUsed(query, QStringLiteral(":key"), key);
    if (!query.exec() || !query.next() || query.value(0).isNull())
        return std::nullopt;
    return IdSpan{query.value(0).toLongLong(), query.value(1).toLongLong()};
}

std::optional<TaskService::PageEdge> TaskService::edgeAt(int userId, qint64 offset, bool fromEnd)
{
    if (readsCandidatesInOrder(userId)) {
        QList<PageEdge> edges;
        walk(userId, nullptr, false, fromEnd, int(offset + 1), &edges, false);
        return offset < edges.size() ? std::optional(edges.at(offset)) : std::nullopt;
    }
    const bool keyAscending = (m_sortOrder == 0) != fromEnd;
    const QString idOrder = fromEnd ? QStringLiteral("DESC") : QStringLiteral("ASC");
    const QString from =
        QStringLiteral(" FROM tasks%1%2 WHERE tasks.user_id = :uid").arg(sortIndex(), customerJoin()) +
        filterClauses();
    const auto query = [&](const QString &sql, const QVariant &key, qint64 skip) {
        QSqlQuery query = SqlSupport::prepare(m_db, sql);
        bindFilters(query, userId);
        SqlSupport::bindIfUsed(query, QStringLiteral(":key"), key);
        SqlSupport::bindIfUsed(query, QStringLiteral(":off"), skip);
        return query;
    };
    const QString key = sortKey();
    const QString keyOrder = QStringLiteral("%1 %2%3").arg(
        key, keyAscending ? QStringLiteral("ASC") : QStringLiteral("DESC"), nullsOrder(keyAscending));
    // Reading backwards, equal keys come in descending id: the row at the offset then has the right
    // key but not the right place among that key's rows, so the rows before its key are counted and
    // it is looked up among its key's rows by id.
    const bool groups = readsKeyGroups();
    QSqlQuery row =
        query(QStringLiteral("SELECT %1 AS sort_key, tasks.id").arg(key) + from +
                  QStringLiteral("\nORDER BY %1, tasks.id %2 LIMIT 1 OFFSET :off")
                      .arg(keyOrder, groups ? (keyAscending ? QStringLiteral("ASC") : QStringLiteral("DESC"))
                                            : idOrder),
              QVariant(), offset);
    if (!row.exec() || !row.next())
        return std::nullopt;
    PageEdge edge{row.value(0), row.value(1).toInt()};
    if (!groups)
        return edge;
    const bool nullKey = edge.key.isNull();
    QString before;
    if (keyAscending)
        before = nullKey ? QStringLiteral("1 = 0") : QStringLiteral("(%1 IS NULL OR %1 < :key)").arg(key);
    else
        before = nullKey ? QStringLiteral("%1 IS NOT NULL").arg(key) : QStringLiteral("%1 > :key").arg(key);
    QSqlQuery count =
        query(QStringLiteral("SELECT COUNT(*)") + from + QStringLiteral(" AND ") + before, edge.key, 0);
    if (!count.exec() || !count.next())
        return std::nullopt;
    const QString same =
        nullKey ? QStringLiteral("%1 IS NULL").arg(key) : QStringLiteral("%1 = :key").arg(key);
    QSqlQuery inGroup =
        query(QStringLiteral("SELECT %1 AS sort_key, tasks.id").arg(key) + from + QStringLiteral(" AND ") +
                  same + QStringLiteral("\nORDER BY tasks.id %1 LIMIT 1 OFFSET :off").arg(idOrder),
              edge.key, offset - count.value(0).toLongLong());
    if (!inGroup.exec() || !inGroup.next())
        return std::nullopt;
    return PageEdge{inGroup.value(0), inGroup.value(1).toInt()};
}

bool TaskService::isBeforeFirstShown(int userId, int taskId)
{
    if (m_shown.first.id <= 0)
        return false;
    const QString key = sortKey();
    const bool nullKey = m_shown.first.key.isNull();
    QString before;
    if (m_sortOrder == 0)
        before = nullKey ? QStringLiteral("(%1 IS NULL AND tasks.id < :edgeId)")
                         : QStringLiteral("(%1 IS NULL OR %1 < :key OR (%1 = :key AND tasks.id < :edgeId))");
    else
        before = nullKey ? QStringLiteral("(%1 IS NOT NULL OR tasks.id < :edgeId)")
                         : QStringLiteral("(%1 > :key OR (%1 = :key AND tasks.id < :edgeId))");
    QSqlQuery query = SqlSupport::prepare(
        m_db,
        QStringLiteral("SELECT COUNT(*) FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                       " WHERE tasks.user_id = :uid AND tasks.id = :taskId") +
            filterClauses() + QStringLiteral(" AND ") + before.arg(key));
    bindFilters(query, userId);
    query.bindValue(QStringLiteral(":taskId"), taskId);
    if (!nullKey)
        query.bindValue(QStringLiteral(":key"), m_shown.first.key);
    query.bindValue(QStringLiteral(":edgeId"), m_shown.first.id);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}
