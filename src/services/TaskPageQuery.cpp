#include "services/TaskPageQuery.h"

#include "models/TaskTableModel.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace {

constexpr qint64 kSecondsPerDay = 86400;

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

int localOffsetAt(qint64 epoch)
{
    return QDateTime::fromSecsSinceEpoch(epoch).offsetFromUtc();
}

// The instant at which the local clock reads wall (a wall-clock reading counted as if it were UTC
// seconds). A reading repeated when the clocks go back has two instants: latest picks the later one.
// A reading skipped when the clocks go forward has none: the moment of the change stands in for it.
qint64 epochOfLocalReading(qint64 wall, bool latest)
{
    const int offsetBefore = localOffsetAt(wall - kSecondsPerDay);
    const int offsetAfter = localOffsetAt(wall + kSecondsPerDay);
    std::optional<qint64> found;
    for (const int offset : {offsetBefore, offsetAfter}) {
        const qint64 candidate = wall - offset;
        if (localOffsetAt(candidate) != offset)
            continue;
        if (!found)
            found = candidate;
        else
            found = latest ? std::max(*found, candidate) : std::min(*found, candidate);
    }
    if (found)
        return *found;
    qint64 beforeChange = wall - offsetAfter;
    qint64 afterChange = wall - offsetBefore;
    while (afterChange - beforeChange > 1) {
        const qint64 middle = beforeChange + (afterChange - beforeChange) / 2;
        if (localOffsetAt(middle) == offsetBefore)
            beforeChange = middle;
        else
            afterChange = middle;
    }
    return afterChange;
}

} // namespace

bool TaskView::hasIndexedSearch() const
{
    return !name.isEmpty() && !SqlSupport::likeTrigrams(name).isEmpty();
}

TaskPageQuery::TaskPageQuery(DbManager *db, const TaskView *view) : m_db(db), m_view(view) {}

const SqlDialect &TaskPageQuery::dialect() const
{
    return m_db->dialect();
}

QString TaskPageQuery::sortKey() const
{
    const SortColumn &sort = kSortColumns[m_view->sortColumn];
    const QString column = QLatin1String(sort.column);
    return sort.caseless ? dialect().caseless(column) : column;
}

bool TaskPageQuery::sortNullable() const
{
    return kSortColumns[m_view->sortColumn].nullable;
}

bool TaskPageQuery::sortCaseless() const
{
    return kSortColumns[m_view->sortColumn].caseless;
}

// Without the join, a count or a jump over many rows reads the index alone on PostgreSQL too.
QString TaskPageQuery::customerJoin() const
{
    return m_view->name.isEmpty()
               ? QString()
               : QStringLiteral(" LEFT JOIN customers ON tasks.customer_id = customers.id");
}

// Keys that are never NULL say nothing, like their indexes.
QString TaskPageQuery::nullsOrder(bool ascending) const
{
    return sortNullable() ? dialect().nullsLow(ascending) : QString();
}

QString TaskPageQuery::sortIndex() const
{
    // A page near the rows shown, or near either end, of a dense expiry range walks the index of the
    // order; other pages of a range leave the choice to the planner, which reads the expiry index and
    // sorts. Otherwise the index of the order is read, which also covers the state and level filters,
    // and the dense matches of a search are found by walking it (a listed search reads its rows by id).
    if (m_view->hasRange() && !m_rangeByOrder)
        return QString();
    const char *const suffix = m_view->sortColumn == 0 ? "" : "_asc";
    return dialect().readIndex(QLatin1String(kSortColumns[m_view->sortColumn].index) + QLatin1String(suffix));
}

// Whether a descending page reads the ascending index of its order (see sortIndex()) backwards. That
// gives equal keys in descending id, while the page shows them in ascending id: the page reader turns
// each key's rows round and finds a row among its key's rows by id.
bool TaskPageQuery::readsKeyGroups() const
{
    return m_view->sortColumn != 0 && m_view->sortOrder == 1 && (!m_view->hasRange() || m_rangeByOrder) &&
           !dialect().indexPerDirection();
}

QString TaskPageQuery::filterClauses(bool withName) const
{
    QString clauses;
    switch (m_view->level) {
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
    if (!m_view->expireFrom.isEmpty()) {
        clauses += boundEpoch(m_view->expireFrom, false)
                       ? QStringLiteral(" AND tasks.expire_at_epoch >= :expireFrom")
                       : QStringLiteral(" AND tasks.expire_at >= :expireFrom");
    }
    if (!m_view->expireTo.isEmpty()) {
        clauses += boundEpoch(m_view->expireTo, true)
                       ? QStringLiteral(" AND tasks.expire_at_epoch <= :expireTo")
                       : QStringLiteral(" AND tasks.expire_at <= :expireTo");
    }
    // With the customers' search index, the customers whose name matches are found once per statement
    // instead of joined to every row passed; a short text matches too many customers for that.
    if (withName && !m_view->name.isEmpty()) {
        const QString customer = m_view->hasIndexedSearch()
                                     ? QStringLiteral("tasks.customer_id IN (%1)").arg(matchingCustomers())
                                     : nameLike(QStringLiteral("customers.name"));
        clauses += QStringLiteral(" AND (%1 OR %2 OR %3)")
                       .arg(nameLike(QStringLiteral("tasks.name")), idLike(), customer);
    }
    if (m_view->active != -1)
        clauses += QStringLiteral(" AND tasks.active = :active");
    return clauses;
}

void TaskPageQuery::bindFilters(QSqlQuery &query, int userId) const
{
    query.bindValue(QStringLiteral(":uid"), userId);
    if (!m_view->name.isEmpty()) {
        query.bindValue(QStringLiteral(":name"), QStringLiteral("%") + m_view->name + QStringLiteral("%"));
        SqlSupport::bindIfUsed(query, QStringLiteral(":trigrams"), SqlSupport::likeTrigrams(m_view->name));
        if (!m_view->hasIndexedSearch())
            bindShortGrams(query);
    }
    if (m_view->active != -1)
        query.bindValue(QStringLiteral(":active"), m_view->active);
    if (!m_view->expireFrom.isEmpty()) {
        const std::optional<qint64> epoch = boundEpoch(m_view->expireFrom, false);
        query.bindValue(QStringLiteral(":expireFrom"),
                        epoch ? QVariant(*epoch) : QVariant(m_view->expireFrom));
    }
    if (!m_view->expireTo.isEmpty()) {
        const std::optional<qint64> epoch = boundEpoch(m_view->expireTo, true);
        query.bindValue(QStringLiteral(":expireTo"), epoch ? QVariant(*epoch) : QVariant(m_view->expireTo));
    }
}

QString TaskPageQuery::nameLike(const QString &expr) const
{
    return dialect().like(expr, QStringLiteral(":name"));
}

bool TaskPageQuery::matchesIdText() const
{
    const QString &name = m_view->name;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
               c == QLatin1Char('%') || c == QLatin1Char('_');
    });
}

QString TaskPageQuery::idLike() const
{
    return matchesIdText() ? nameLike(QStringLiteral("CAST(tasks.id AS TEXT)")) : QStringLiteral("1 = 0");
}

QString TaskPageQuery::ownMatch() const
{
    return QStringLiteral("(%1 OR %2)").arg(nameLike(QStringLiteral("COALESCE(tasks.name, '')")), idLike());
}

// The ids of the customers whose name matches: for a search of three characters or more the
// customers' search index narrows them down (it also holds ids and contacts), LIKE decides. A shorter
// one reads every name.
QString TaskPageQuery::matchingCustomers() const
{
    if (!m_view->hasIndexedSearch()) {
        const int grams = int(shortGrams().size());
        return QStringLiteral("SELECT id FROM %1 WHERE %2")
            .arg(grams > 0 ? dialect().customersOfShortGrams(grams) : QStringLiteral("customers"),
                 nameLike(QStringLiteral("name")));
    }
    return QStringLiteral("SELECT id FROM customers WHERE id IN (%1) AND %2")
        .arg(dialect().customerCandidates(), nameLike(QStringLiteral("name")));
}

QStringList TaskPageQuery::shortGrams() const
{
    constexpr int kGrams = 4;
    return SqlSupport::likeGrams(m_view->name, kGrams);
}

void TaskPageQuery::bindShortGrams(QSqlQuery &query) const
{
    const QStringList grams = shortGrams();
    for (qsizetype gram = 0; gram < grams.size(); ++gram)
        SqlSupport::bindIfUsed(query, QStringLiteral(":gram%1").arg(gram), grams.at(gram));
}

QString TaskPageQuery::filterKey(int userId) const
{
    return QStringList{QString::number(userId),
                       QString::number(m_view->active),
                       QString::number(m_view->level),
                       m_view->name,
                       m_view->expireFrom,
                       m_view->expireTo}
        .join(QChar(0));
}

QString TaskPageQuery::viewKey(int userId) const
{
    return QStringList{filterKey(userId), QString::number(m_view->sortColumn),
                       QString::number(m_view->sortOrder), QString::number(m_view->pageSize)}
        .join(QChar(0));
}

QString TaskPageQuery::pageSelect()
{
    return QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.expire_at,"
                          " tasks.create_at, tasks.level, tasks.customer_id, customers.name AS customer_name,"
                          " %1 AS sort_key"
                          " FROM %2 LEFT JOIN customers ON tasks.customer_id = customers.id"
                          " WHERE tasks.user_id = :uid");
}

TaskRow TaskPageQuery::rowOf(const QSqlQuery &query)
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

std::optional<qint64> TaskPageQuery::boundEpoch(const QString &text, bool upper)
{
    const QString bound = text.trimmed();
    if (bound.size() != 16 || bound.at(10) != QLatin1Char(' '))
        return std::nullopt;
    const QDate date = QDate::fromString(bound.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(bound.mid(11), QStringLiteral("HH:mm"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    // An upper bound takes its whole minute: everything before the next minute begins.
    return upper ? epochOfLocalReading(wall + 60, true) - 1 : epochOfLocalReading(wall, false);
}
