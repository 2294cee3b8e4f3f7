#include "services/TaskPageReader.h"

#include "models/TaskTableModel.h"
#include "services/TaskSearchPlanner.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QHash>
#include <QSqlQuery>

#include <algorithm>

TaskPageReader::TaskPageReader(DbManager *db, TaskPageQuery *query, TaskSearchPlanner *planner)
    : m_db(db), m_query(query), m_planner(planner)
{
}

TaskPageReader::Change TaskPageReader::beforeChange(int userId, int taskId)
{
    const bool shownNow = m_shown.version.isValid() && m_shown.version == dataVersion();
    return {shownNow && taskId >= 0, taskId > 0 && isBeforeFirstShown(userId, taskId)};
}

void TaskPageReader::afterChange(const Change &change, int userId, int changedId)
{
    if (!change.tracked)
        return;
    m_shown.shift += int(isBeforeFirstShown(userId, changedId)) - int(change.wasBefore);
    m_shown.version = dataVersion();
}

// The rows of the given edges, in their order.
QList<TaskRow> TaskPageReader::readRows(int userId, const QList<TaskPageEdge> &edges)
{
    QStringList ids;
    for (const TaskPageEdge &edge : edges)
        ids.append(QString::number(edge.id));
    QList<TaskRow> rows;
    if (ids.isEmpty())
        return rows;
    QSqlQuery query = SqlSupport::prepare(
        m_db, TaskPageQuery::pageSelect().arg(m_query->sortKey(),
                                              QStringLiteral("tasks") + m_query->dialect().readById()) +
                  QStringLiteral(" AND tasks.id IN (%1)").arg(ids.join(QLatin1Char(','))));
    query.bindValue(QStringLiteral(":uid"), userId);
    if (!query.exec())
        return rows;
    QHash<int, TaskRow> byId;
    while (query.next()) {
        TaskRow row = TaskPageQuery::rowOf(query);
        byId.insert(row.id, std::move(row));
    }
    for (const TaskPageEdge &edge : edges) {
        if (byId.contains(edge.id))
            rows.append(byId.take(edge.id));
    }
    return rows;
}

// Changes on this connection (also those of other services and of triggers) and commits of others.
QVariant TaskPageReader::dataVersion() const
{
    StatementCache::Lease query = SqlSupport::reuse(m_db, m_query->dialect().changeStamp());
    if (!query.exec() || !query->next())
        return {};
    return query->value(0).toString();
}

QList<TaskRow> TaskPageReader::read(int userId, const Request &request)
{
    const int matching = request.matching;
    const bool capped = m_planner->capped();
    const QString view = m_query->viewKey(userId);
    const QVariant &version = request.version;
    const int target = request.page;
    const qint64 offset = qint64(target - 1) * m_query->view().pageSize;
    const bool continues =
        m_shown.first.id > 0 && m_shown.view == view && version.isValid() && m_shown.version == version;
    const int shift = m_shown.shift;
    // A jump into a capped search may cost less from the first matches, listed once.
    const bool stepped = target == 1 || (continues && std::abs(target - m_shown.page) <= 1);
    if (capped && !stepped && !readsCandidatesInOrder())
        m_planner->listFirstMatches(userId, offset + m_query->view().pageSize);
    if (m_planner->listed()) {
        const QList<TaskPageEdge> edges = m_planner->matches().mid(offset, m_query->view().pageSize);
        m_shown = {view, version, target, edges.value(0), edges.value(edges.size() - 1), 0};
        return readRows(userId, edges);
    }

    // A walk of the order's index passes about all / matching rows for each one it keeps; reading the
    // range and sorting it costs about matching.
    const bool near = stepped || target == request.totalPages;
    const qint64 passed = near ? 0 : std::min<qint64>(offset, matching - offset);
    m_query->setRangeByOrder((passed + m_query->view().pageSize) * request.allTasks <=
                             qint64(matching) * matching);

    QList<TaskRow> rows;
    QList<TaskPageEdge> edges;
    const auto fromEdge = [&](const TaskPageEdge &edge, int skip) {
        rows = walk(userId, &edge, true, false, m_query->view().pageSize + skip, &edges);
        rows.remove(0, std::min<qsizetype>(skip, rows.size()));
        edges.remove(0, std::min<qsizetype>(skip, edges.size()));
    };
    const auto backward = [&](const TaskPageEdge *edge, int limit) {
        rows = walk(userId, edge, false, true, limit, &edges);
        std::reverse(rows.begin(), rows.end());
        std::reverse(edges.begin(), edges.end());
    };
    if (target == 1) {
        rows = walk(userId, nullptr, false, false, m_query->view().pageSize, &edges);
    } else if (!capped && target == request.totalPages) {
        backward(nullptr, int(matching - offset));
    } else if (continues && shift == 0 && target == m_shown.page + 1) {
        rows = walk(userId, &m_shown.last, false, false, m_query->view().pageSize, &edges);
    } else if (continues && shift == 0 && target == m_shown.page - 1) {
        backward(&m_shown.first, m_query->view().pageSize);
    } else if (continues && target == m_shown.page && shift <= 0) {
        fromEdge(m_shown.first, -shift);
    } else {
        // One row came in front of the first row shown: the page starts a row earlier. Otherwise a
        // direct jump counts rows over the index from the nearer end.
        std::optional<TaskPageEdge> edge;
        if (continues && target == m_shown.page && shift == 1) {
            QList<TaskPageEdge> before;
            walk(userId, &m_shown.first, false, true, 1, &before);
            if (!before.isEmpty())
                edge = before.first();
        }
        if (!edge) {
            const bool fromEnd = !capped && offset >= matching / 2;
            edge = edgeAt(userId, fromEnd ? matching - 1 - offset : offset, fromEnd);
        }
        if (edge)
            fromEdge(*edge, 0);
    }
    m_shown = {view, version, target, edges.value(0), edges.value(edges.size() - 1), 0};
    return rows;
}

QList<TaskRow> TaskPageReader::walk(int userId, const TaskPageEdge *edge, bool inclusive, bool backward,
                                    int limit, QList<TaskPageEdge> *edges, bool withRows)
{
    const QString key = m_query->sortKey();
    const bool keyAscending = (m_query->view().sortOrder == 0) != backward;
    const QString idOrder = backward ? QStringLiteral("tasks.id DESC") : QStringLiteral("tasks.id ASC");
    // The NULL order is stated although the parts below leave NULL out: an index serves an order only
    // when it sorts NULL the same way.
    const QString keyOrder = key + (keyAscending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")) +
                             m_query->nullsOrder(keyAscending) + QStringLiteral(", ") + idOrder;
    // A search whose order follows id reads the search index's candidates in id order instead of the
    // order's index, and every part below then also holds the ids its keys span.
    const bool inIdOrder = readsCandidatesInOrder();
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
    const bool nullable = m_query->sortNullable();
    const std::optional<IdSpan> nullSpan =
        m_query->view().sortColumn != 0 && nullable ? spanOf(QVariant()) : std::nullopt;
    const Part nulls{key + QStringLiteral(" IS NULL"), idOrder, false,
                     nullSpan ? *nullSpan : (inIdOrder ? IdSpan{1, 0} : IdSpan())};
    const Part values{nullable ? key + QStringLiteral(" IS NOT NULL") : QStringLiteral("1 = 1"), keyOrder,
                      true, above(nullSpan)};
    QList<Part> parts;
    if (m_query->view().sortColumn == 0) { // ids are unique and never NULL
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
    const qsizetype firstEdge = edges->size();
    // Runs one statement, appending its rows; read in id order, only the edges and empty rows.
    const auto collect = [&](const QString &sql, const QVariant &groupKey, const IdSpan &span, int wanted,
                             QList<TaskRow> &into, QList<TaskPageEdge> &intoEdges) {
        StatementCache::Lease query = SqlSupport::reuse(m_db, sql);
        m_query->bindFilters(*query, userId);
        if (sql.contains(QStringLiteral(":key")))
            query->bindValue(QStringLiteral(":key"), edge->key);
        if (sql.contains(QStringLiteral(":edgeId")))
            query->bindValue(QStringLiteral(":edgeId"), edge->id);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":groupKey"), groupKey);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":idFrom"), span.from);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":idTo"), span.to);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":blocks"), m_planner->candidateBlocks());
        query->bindValue(QStringLiteral(":lim"), wanted);
        if (!query.exec())
            return;
        while (query->next()) {
            intoEdges.append(
                {query->value(QStringLiteral("sort_key")), query->value(QStringLiteral("id")).toInt()});
            into.append(withRows && !inIdOrder ? TaskPageQuery::rowOf(*query) : TaskRow());
        }
    };
    // Appends the rows of one part, at most limit - rows.size() of them.
    const auto read = [&](const QString &condition, const QString &order, const QVariant &groupKey,
                          const IdSpan &span, QList<TaskRow> &into, QList<TaskPageEdge> &intoEdges) {
        const int wanted = int(limit - rows.size());
        if (!inIdOrder) {
            collect(TaskPageQuery::pageSelect().arg(key, QStringLiteral("tasks") + m_query->sortIndex()) +
                        m_query->filterClauses() + QStringLiteral(" AND ") + condition +
                        QStringLiteral("\nORDER BY ") + order + QStringLiteral("\nLIMIT :lim"),
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
        const QString own = m_query->ownMatch();
        const QString rest = m_query->filterClauses(false) + QStringLiteral(" AND ") + condition;
        const QString within =
            QStringLiteral(" AND %1 BETWEEN CAST(:idFrom AS BIGINT) AND CAST(:idTo AS BIGINT)");
        const SqlDialect &dialect = m_query->dialect();
        // Only the edges: the rows are read by id at the end, so that the planner keeps the candidates'
        // order instead of joining every candidate with its customer first.
        const QString edgesFrom =
            QStringLiteral("SELECT tasks.id, %1 AS sort_key FROM %2 WHERE tasks.user_id = :uid");
        const QString byName =
            edgesFrom.arg(key, m_planner->fewOwn() ? dialect.ownTaskCandidateRows()
                                                   : dialect.taskCandidateRowsInOrder(ascending)) +
            QStringLiteral(" AND ") + own + rest + within.arg(dialect.taskCandidateOrder()) +
            QStringLiteral("\nORDER BY ") + dialect.taskCandidateOrderBy(ascending) +
            QStringLiteral("\nLIMIT :lim");
        const QString byCustomer =
            edgesFrom.arg(key, QStringLiteral("tasks") +
                                   dialect.readIndex(QStringLiteral("idx_tasks_user_customer"))) +
            QStringLiteral(" AND tasks.customer_id IN (%1) AND NOT %2")
                .arg(m_query->matchingCustomers(), own) +
            rest + within.arg(QStringLiteral("tasks.id")) + QStringLiteral("\nORDER BY tasks.id") +
            direction + QStringLiteral("\nLIMIT :lim");
        QList<TaskRow> named, owned;
        QList<TaskPageEdge> namedEdges, ownedEdges;
        collect(byName, groupKey, span, wanted, named, namedEdges);
        if (m_planner->ownedByCustomers() > 0)
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
    const bool caseless = m_query->sortCaseless();
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
    // Read in id order, a descending key gives its equal keys in descending id too.
    const bool groups = m_query->readsKeyGroups() ||
                        (inIdOrder && m_query->view().sortColumn != 0 && m_query->view().sortOrder == 1);
    const QString sameOrder = key + (keyAscending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")) +
                              m_query->nullsOrder(keyAscending) + QStringLiteral(", tasks.id ") +
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
            QList<TaskPageEdge> batchEdges;
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
    if (inIdOrder && withRows)
        rows = readRows(userId, edges->mid(firstEdge));
    return rows;
}

// A search of three characters or more in the id order, or in the creation order while the user's
// creation times follow their ids, where the planner reads its candidates in id order.
bool TaskPageReader::readsCandidatesInOrder() const
{
    const TaskView &view = m_query->view();
    if (!m_planner->readsInOrder() || !view.hasIndexedSearch() || view.hasRange() ||
        m_planner->ownedByCustomers() > TaskSearchPlanner::kOwnedByCustomers)
        return false;
    return view.sortColumn == 0 || (view.sortColumn == 5 && m_planner->creationFollowsIds());
}

std::optional<TaskPageReader::IdSpan> TaskPageReader::creationSpan(int userId, const QVariant &key) const
{
    const QString rows =
        QStringLiteral("SELECT id FROM tasks%1 WHERE user_id = :uid AND create_at %2 ORDER BY id")
            .arg(m_query->dialect().readIndex(QStringLiteral("idx_tasks_created_asc")),
                 key.isNull() ? QStringLiteral("IS NULL") : QStringLiteral("= :key"));
    StatementCache::Lease query =
        SqlSupport::reuse(m_db, QStringLiteral("SELECT (%1 LIMIT 1), (%1 DESC LIMIT 1)").arg(rows));
    query->bindValue(QStringLiteral(":uid"), userId);
    SqlSupport::bindIfUsed(*query, QStringLiteral(":key"), key);
    if (!query.exec() || !query->next() || query->value(0).isNull())
        return std::nullopt;
    return IdSpan{query->value(0).toLongLong(), query->value(1).toLongLong()};
}

std::optional<TaskPageEdge> TaskPageReader::edgeAt(int userId, qint64 offset, bool fromEnd)
{
    if (readsCandidatesInOrder()) {
        QList<TaskPageEdge> edges;
        walk(userId, nullptr, false, fromEnd, int(offset + 1), &edges, false);
        return offset < edges.size() ? std::optional(edges.at(offset)) : std::nullopt;
    }
    const bool keyAscending = (m_query->view().sortOrder == 0) != fromEnd;
    const QString idOrder = fromEnd ? QStringLiteral("DESC") : QStringLiteral("ASC");
    const QString from = QStringLiteral(" FROM tasks%1%2 WHERE tasks.user_id = :uid")
                             .arg(m_query->sortIndex(), m_query->customerJoin()) +
                         m_query->filterClauses();
    const auto query = [&](const QString &sql, const QVariant &key, qint64 skip) {
        StatementCache::Lease query = SqlSupport::reuse(m_db, sql);
        m_query->bindFilters(*query, userId);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":key"), key);
        SqlSupport::bindIfUsed(*query, QStringLiteral(":off"), skip);
        return query;
    };
    const QString key = m_query->sortKey();
    const QString keyOrder =
        QStringLiteral("%1 %2%3").arg(key, keyAscending ? QStringLiteral("ASC") : QStringLiteral("DESC"),
                                      m_query->nullsOrder(keyAscending));
    // Reading backwards, equal keys come in descending id: the row at the offset then has the right
    // key but not the right place among that key's rows, so the rows before its key are counted and
    // it is looked up among its key's rows by id.
    const bool groups = m_query->readsKeyGroups();
    auto row =
        query(QStringLiteral("SELECT %1 AS sort_key, tasks.id").arg(key) + from +
                  QStringLiteral("\nORDER BY %1, tasks.id %2 LIMIT 1 OFFSET :off")
                      .arg(keyOrder, groups ? (keyAscending ? QStringLiteral("ASC") : QStringLiteral("DESC"))
                                            : idOrder),
              QVariant(), offset);
    if (!row.exec() || !row->next())
        return std::nullopt;
    TaskPageEdge edge{row->value(0), row->value(1).toInt()};
    if (!groups)
        return edge;
    const bool nullKey = edge.key.isNull();
    QString before;
    if (keyAscending)
        before = nullKey ? QStringLiteral("1 = 0") : QStringLiteral("(%1 IS NULL OR %1 < :key)").arg(key);
    else
        before = nullKey ? QStringLiteral("%1 IS NOT NULL").arg(key) : QStringLiteral("%1 > :key").arg(key);
    auto count =
        query(QStringLiteral("SELECT COUNT(*)") + from + QStringLiteral(" AND ") + before, edge.key, 0);
    if (!count.exec() || !count->next())
        return std::nullopt;
    const QString same =
        nullKey ? QStringLiteral("%1 IS NULL").arg(key) : QStringLiteral("%1 = :key").arg(key);
    auto inGroup =
        query(QStringLiteral("SELECT %1 AS sort_key, tasks.id").arg(key) + from + QStringLiteral(" AND ") +
                  same + QStringLiteral("\nORDER BY tasks.id %1 LIMIT 1 OFFSET :off").arg(idOrder),
              edge.key, offset - count->value(0).toLongLong());
    if (!inGroup.exec() || !inGroup->next())
        return std::nullopt;
    return TaskPageEdge{inGroup->value(0), inGroup->value(1).toInt()};
}

bool TaskPageReader::isBeforeFirstShown(int userId, int taskId)
{
    if (m_shown.first.id <= 0)
        return false;
    const QString key = m_query->sortKey();
    const bool nullKey = m_shown.first.key.isNull();
    QString before;
    if (m_query->view().sortOrder == 0)
        before = nullKey ? QStringLiteral("(%1 IS NULL AND tasks.id < :edgeId)")
                         : QStringLiteral("(%1 IS NULL OR %1 < :key OR (%1 = :key AND tasks.id < :edgeId))");
    else
        before = nullKey ? QStringLiteral("(%1 IS NOT NULL OR tasks.id < :edgeId)")
                         : QStringLiteral("(%1 > :key OR (%1 = :key AND tasks.id < :edgeId))");
    StatementCache::Lease query = SqlSupport::reuse(
        m_db,
        QStringLiteral("SELECT COUNT(*) FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                       " WHERE tasks.user_id = :uid AND tasks.id = :taskId") +
            m_query->filterClauses() + QStringLiteral(" AND ") + before.arg(key));
    m_query->bindFilters(*query, userId);
    query->bindValue(QStringLiteral(":taskId"), taskId);
    if (!nullKey)
        query->bindValue(QStringLiteral(":key"), m_shown.first.key);
    query->bindValue(QStringLiteral(":edgeId"), m_shown.first.id);
    return query.exec() && query->next() && query->value(0).toInt() > 0;
}
