#include "services/TaskMatchList.h"

#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QSqlQuery>

#include <algorithm>
#include <limits>

TaskMatchList::TaskMatchList(DbManager *db, TaskPageQuery *query) : m_db(db), m_query(query) {}

void TaskMatchList::start()
{
    m_column = m_query->view().sortColumn;
    m_order = m_query->view().sortOrder;
    m_rows.clear();
    m_complete = true;
}

bool TaskMatchList::holdsOrderOf(const TaskView &view) const
{
    return m_column == view.sortColumn && m_order == view.sortOrder;
}

bool TaskMatchList::read(int userId, bool named, const Source &source, int limit)
{
    QString sql = statement(named, source);
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    QSqlQuery query = SqlSupport::prepare(m_db, sql, true);
    m_query->bindFilters(query, userId);
    bindBlocks(query, source.blocks);
    if (!query.exec())
        return false;
    while (query.next())
        m_rows.append({query.value(1), query.value(0).toInt()});
    return true;
}

bool TaskMatchList::readFirst(int userId, const Source &source, qint64 bound, int wanted)
{
    const TaskView &view = m_query->view();
    const QString order = QStringLiteral(" ORDER BY sort_key %1%2, id ASC LIMIT %3")
                              .arg(view.sortOrder == 0 ? QStringLiteral("ASC") : QStringLiteral("DESC"),
                                   m_query->nullsOrder(view.sortOrder == 0))
                              .arg(wanted);
    QList<TaskPageEdge> first;
    for (const bool named : {true, false}) {
        QSqlQuery query = SqlSupport::prepare(
            m_db,
            QStringLiteral("SELECT id, sort_key, COUNT(*) OVER () FROM (%1 LIMIT %2) AS matches")
                    .arg(statement(named, source))
                    .arg(bound) +
                order,
            true);
        m_query->bindFilters(query, userId);
        bindBlocks(query, source.blocks);
        if (!query.exec())
            return false;
        while (query.next()) {
            if (query.value(2).toLongLong() >= bound)
                return false;
            first.append({query.value(1), query.value(0).toInt()});
        }
    }
    start();
    m_rows = std::move(first);
    m_complete = false;
    sort();
    m_rows.resize(std::min<qsizetype>(m_rows.size(), wanted));
    return true;
}

void TaskMatchList::bindBlocks(QSqlQuery &query, const QString &blocks)
{
    SqlSupport::bindIfUsed(query, QStringLiteral(":idFrom"), std::numeric_limits<qint64>::min());
    SqlSupport::bindIfUsed(query, QStringLiteral(":idTo"), std::numeric_limits<qint64>::max());
    SqlSupport::bindIfUsed(query, QStringLiteral(":blocks"), blocks);
}

QString TaskMatchList::statement(bool named, const Source &source) const
{
    const SqlDialect &dialect = m_query->dialect();
    const bool blocks = source.kind == Source::Blocks;
    const QString from = !named   ? QStringLiteral("tasks")
                         : blocks ? dialect.taskRowsOfBlocks(source.blockWidth)
                         : source.kind == Source::OwnCandidates
                             ? dialect.ownTaskCandidateRows()
                             : QStringLiteral("tasks") + dialect.readById();
    // The blocks hold every match, and a text of one or two characters has no search index to read.
    const QString condition = named ? (blocks ? m_query->ownMatch() : dialect.taskMatches())
                                    : QStringLiteral("tasks.customer_id IN (%1) AND NOT %2")
                                          .arg(m_query->matchingCustomers(), m_query->ownMatch());
    return QStringLiteral("SELECT tasks.id, %1 AS sort_key FROM %2 WHERE tasks.user_id = :uid AND %3")
               .arg(m_query->sortKey(), from, condition) +
           m_query->filterClauses(false);
}

// The display order of the statements: NULL keys first when ascending, text by its UTF-8 bytes (a
// caseless key with ASCII letters folded), equal keys in ascending id.
void TaskMatchList::sort()
{
    struct Sorted
    {
        bool null;
        qint64 number;
        QByteArray text;
        TaskPageEdge edge;
    };
    const TaskView &view = m_query->view();
    const bool text = view.sortColumn == 1 || view.sortColumn == 5;
    const bool caseless = m_query->sortCaseless();
    QList<Sorted> sorted;
    sorted.reserve(m_rows.size());
    for (const TaskPageEdge &edge : std::as_const(m_rows)) {
        QByteArray bytes = text ? edge.key.toString().toUtf8() : QByteArray();
        if (caseless) {
            for (char &c : bytes)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
        sorted.append({edge.key.isNull(), text ? 0 : edge.key.toLongLong(), bytes, edge});
    }
    const bool descending = view.sortOrder == 1;
    std::sort(sorted.begin(), sorted.end(), [&](const Sorted &a, const Sorted &b) {
        int order = int(b.null) - int(a.null);
        if (order == 0 && !a.null)
            order = text ? a.text.compare(b.text) : (a.number > b.number) - (a.number < b.number);
        if (order != 0)
            return descending ? order > 0 : order < 0;
        return a.edge.id < b.edge.id;
    });
    for (qsizetype i = 0; i < sorted.size(); ++i)
        m_rows[i] = sorted.at(i).edge;
}
