#include "services/TaskCalendarStore.h"

#include "services/TaskPageQuery.h"
#include "storage/DbManager.h"
#include "storage/SchemaExtras.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QDateTime>
#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <limits>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

// The columns of a task in the calendar (tasks t, customers c) and the map the calendar shows.
const QString kDayTaskColumns = QStringLiteral("t.name AS title, t.expire_at_epoch, t.id, t.active,"
                                               " c.name AS customer_name, t.level");

QVariantMap dayTask(const QSqlQuery &query)
{
    const QDateTime expireAt =
        QDateTime::fromSecsSinceEpoch(query.value(QStringLiteral("expire_at_epoch")).toLongLong());
    const QString title = query.value(QStringLiteral("title")).toString();
    const QString customerName = query.value(QStringLiteral("customer_name")).toString();
    const QString time = expireAt.toString(QStringLiteral("HH:mm"));
    QString label = time + QStringLiteral(" - ");
    if (!customerName.isEmpty())
        label += QStringLiteral("[") + customerName + QStringLiteral("] ");
    label += title;
    return {
        {QStringLiteral("title"), title},
        {QStringLiteral("time"), time},
        {QStringLiteral("label"), label},
        {QStringLiteral("dueDate"), expireAt.toString(kDayFormat)},
        {QStringLiteral("id"), query.value(QStringLiteral("id")).toInt()},
        {QStringLiteral("active"), query.value(QStringLiteral("active")).toInt() != 0 ? 1 : 0},
        {QStringLiteral("customerName"), customerName},
        {QStringLiteral("level"), query.value(QStringLiteral("level")).toInt()},
    };
}

// A day written exactly as "yyyy-MM-dd"; invalid for any other text.
QDate dayFromText(const QString &text)
{
    return text.size() == 10 ? QDate::fromString(text, kDayFormat) : QDate();
}

qint64 startOfLocalDay(const QDate &day)
{
    return day.startOfDay().toSecsSinceEpoch();
}

// A stretch of one local day: whole buckets of span seconds, or (span 0) seconds no bucket covers.
struct Piece
{
    int span;
    qint64 from;
    qint64 to;
};

qint64 floorTo(qint64 value, qint64 span)
{
    return value - ((value % span) + span) % span;
}

qint64 ceilTo(qint64 value, qint64 span)
{
    return -floorTo(-value, span);
}

// Covers [from, to) with the largest buckets that fit and leaves the rest to the task rows.
void appendPieces(QList<Piece> &pieces, const QList<int> &spans, qint64 from, qint64 to, int level = 0)
{
    if (from >= to)
        return;
    if (level == spans.size()) {
        pieces.append({0, from, to});
        return;
    }
    const qint64 span = spans.at(level);
    const qint64 first = ceilTo(from, span);
    const qint64 last = floorTo(to, span);
    if (first >= last) {
        appendPieces(pieces, spans, from, to, level + 1);
        return;
    }
    appendPieces(pieces, spans, from, first, level + 1);
    pieces.append({int(span), first, last});
    appendPieces(pieces, spans, last, to, level + 1);
}

QString piecesAsJson(const QList<Piece> &pieces)
{
    QString json = QStringLiteral("[");
    for (const Piece &piece : pieces) {
        if (json.size() > 1)
            json += QLatin1Char(',');
        json += QLatin1Char('[') + QString::number(piece.span) + QLatin1Char(',') +
                QString::number(piece.from) + QLatin1Char(',') + QString::number(piece.to) + QLatin1Char(']');
    }
    return json + QLatin1Char(']');
}

// Per piece (its index in the array): the tasks with an expiry instant, those with the expiry text as
// well, and those of them that are done.
QString rawPieceCounts(const SqlDialect &dialect)
{
    return dialect.perPiece(
        QStringLiteral("COUNT(*), SUM(CASE WHEN t.expire_at IS NOT NULL THEN 1 ELSE 0 END),"
                       " SUM(CASE WHEN t.expire_at IS NOT NULL AND t.active = 1 THEN 1 ELSE 0 END)"),
        QStringLiteral("tasks t"),
        QStringLiteral("p.span = 0 AND t.user_id = :uid AND t.expire_at_epoch >= p.lo"
                       " AND t.expire_at_epoch < p.hi"));
}
QString bucketPieceCounts(const SqlDialect &dialect)
{
    return dialect.perPiece(QStringLiteral("SUM(b.n), SUM(b.s), SUM(b.d)"), QStringLiteral("task_buckets b"),
                            QStringLiteral("b.user_id = :uid AND b.span = p.span AND b.start_epoch >= p.lo"
                                           " AND b.start_epoch < p.hi")) +
           QStringLiteral(" UNION ALL ");
}
// The user's tasks with an expiry instant in [from, to), counted per local day, only for the days
// between the first and the last such task. Whole hours and quarters come from the expiry buckets.
std::optional<QList<TaskCalendarStore::DayCount>> countsPerLocalDay(const DbManager *db, int uid, qint64 from,
                                                                    qint64 to)
{
    QSqlQuery extent = SqlSupport::prepare(
        db, QStringLiteral("SELECT (SELECT MIN(expire_at_epoch) FROM tasks WHERE user_id = :uid"
                           " AND expire_at_epoch >= :from AND expire_at_epoch < :to),"
                           " (SELECT MAX(expire_at_epoch) FROM tasks WHERE user_id = :uid"
                           " AND expire_at_epoch >= :from AND expire_at_epoch < :to)"));
    extent.bindValue(QStringLiteral(":uid"), uid);
    extent.bindValue(QStringLiteral(":from"), from);
    extent.bindValue(QStringLiteral(":to"), to);
    if (!extent.exec() || !extent.next())
        return std::nullopt;
    QList<TaskCalendarStore::DayCount> days;
    if (extent.value(0).isNull())
        return days;
    const qint64 begin = std::max(from, qint64(std::floor(extent.value(0).toDouble())));
    const qint64 end = std::min(to, qint64(std::floor(extent.value(1).toDouble())) + 1);
    extent.finish();

    // A file whose preparation failed has no buckets; it is counted row by row.
    const bool withBuckets = db->hasIndexes();
    const QList<int> spans = withBuckets ? SchemaExtras::expiryBucketSpans() : QList<int>();
    QList<Piece> pieces;
    QList<int> dayOfPiece;
    QDate date = QDateTime::fromSecsSinceEpoch(begin).date();
    for (qint64 start = begin; start < end; date = date.addDays(1)) {
        const qint64 next = std::min(end, startOfLocalDay(date.addDays(1)));
        if (next > start) {
            appendPieces(pieces, spans, start, next);
            dayOfPiece.resize(pieces.size(), int(days.size()));
            days.append({date});
        }
        start = std::max(start, next);
    }

    QSqlQuery query = SqlSupport::prepare(db, (withBuckets ? bucketPieceCounts(db->dialect()) : QString()) +
                                                  rawPieceCounts(db->dialect()));
    query.bindValue(QStringLiteral(":pieces"), piecesAsJson(pieces));
    query.bindValue(QStringLiteral(":uid"), uid);
    if (!query.exec())
        return std::nullopt;
    while (query.next()) {
        const int piece = query.value(0).toInt();
        if (piece < 0 || piece >= dayOfPiece.size())
            continue;
        TaskCalendarStore::DayCount &day = days[dayOfPiece.at(piece)];
        day.all += query.value(1).toInt();
        day.withText += query.value(2).toInt();
        day.done += query.value(3).toInt();
    }
    return days;
}

} // namespace

TaskCalendarStore::TaskCalendarStore(DbManager *db) : m_db(db) {}

std::optional<TaskCalendarStore::DailySeries>
TaskCalendarStore::dailySeries(int userId, const QString &from, const QString &to, const QDate &today) const
{
    const std::optional<qint64> fromEpoch =
        from.isEmpty() ? std::nullopt : TaskPageQuery::boundEpoch(from, false);
    const std::optional<qint64> toEpoch = to.isEmpty() ? std::nullopt : TaskPageQuery::boundEpoch(to, true);
    // Days are the user's local days. Bounds that read as local minutes are instants and are
    // answered from the expiry buckets; other text compares with the stored text row by row.
    std::optional<QList<DayCount>> days;
    if ((from.isEmpty() || fromEpoch) && (to.isEmpty() || toEpoch)) {
        qint64 begin = std::numeric_limits<qint64>::min() / 2;
        qint64 end = std::numeric_limits<qint64>::max() / 2;
        if (from.isEmpty()) {
            begin = startOfLocalDay(today.addDays(-10));
            end = startOfLocalDay(today.addDays(30));
        } else {
            begin = *fromEpoch;
        }
        if (toEpoch)
            end = std::min(end, *toEpoch + 1);
        days = countsPerLocalDay(m_db, userId, begin, end);
    } else {
        days = countsByText(userId, from, to, today);
    }
    if (!days)
        return std::nullopt;
    DailySeries series;
    for (const DayCount &day : std::as_const(*days)) {
        if (day.withText == 0)
            continue;
        series.labels.append(day.date.toString(kDayFormat));
        series.totals.append(day.withText);
        series.completed.append(day.done);
    }
    return series;
}

// The statistics under a bound that is not a local minute: the rows themselves, grouped here.
std::optional<QList<TaskCalendarStore::DayCount>>
TaskCalendarStore::countsByText(int userId, const QString &from, const QString &to, const QDate &today) const
{
    QString sql =
        QStringLiteral("SELECT expire_at_epoch, active FROM tasks"
                       " WHERE user_id = :uid AND expire_at IS NOT NULL AND expire_at_epoch IS NOT NULL");
    const std::optional<qint64> fromEpoch =
        from.isEmpty() ? std::nullopt : TaskPageQuery::boundEpoch(from, false);
    const std::optional<qint64> toEpoch = to.isEmpty() ? std::nullopt : TaskPageQuery::boundEpoch(to, true);
    if (from.isEmpty())
        sql += QStringLiteral(" AND expire_at_epoch >= :windowStart AND expire_at_epoch < :windowEnd");
    else if (fromEpoch)
        sql += QStringLiteral(" AND expire_at_epoch >= :expireFrom");
    else
        sql += QStringLiteral(" AND expire_at >= :expireFrom");
    if (toEpoch)
        sql += QStringLiteral(" AND expire_at_epoch <= :expireTo");
    else if (!to.isEmpty())
        sql += QStringLiteral(" AND expire_at <= :expireTo");
    sql += QStringLiteral("\nORDER BY expire_at_epoch ASC") + m_db->dialect().nullsLow(true);

    QSqlQuery query = SqlSupport::prepare(m_db, sql);
    query.bindValue(QStringLiteral(":uid"), userId);
    if (from.isEmpty()) {
        query.bindValue(QStringLiteral(":windowStart"), startOfLocalDay(today.addDays(-10)));
        query.bindValue(QStringLiteral(":windowEnd"), startOfLocalDay(today.addDays(30)));
    } else {
        query.bindValue(QStringLiteral(":expireFrom"), fromEpoch ? QVariant(*fromEpoch) : QVariant(from));
    }
    if (!to.isEmpty())
        query.bindValue(QStringLiteral(":expireTo"), toEpoch ? QVariant(*toEpoch) : QVariant(to));
    if (!query.exec())
        return std::nullopt;

    QList<DayCount> days;
    qint64 dayEnd = 0;
    while (query.next()) {
        const qint64 epoch = query.value(0).toLongLong();
        if (days.isEmpty() || epoch >= dayEnd) {
            const QDate day = QDateTime::fromSecsSinceEpoch(epoch).date();
            days.append({day});
            dayEnd = startOfLocalDay(day.addDays(1));
        }
        ++days.last().all;
        ++days.last().withText;
        if (query.value(1).toInt() == 1)
            ++days.last().done;
    }
    return days;
}

void TaskCalendarStore::loadRange(int userId, const QString &fromDate, const QString &toDate)
{
    m_countByDate.clear();
    m_firstTasksByDate.clear();
    const QDate first = dayFromText(fromDate);
    const QDate last = dayFromText(toDate);
    if (!SqlSupport::isOpen(m_db)) {
        qWarning() << "Loading the tasks of the calendar range failed: the database is not open";
    } else if (first.isValid() && last.isValid()) {
        // Only the count and the first two tasks of each day are kept; a day's full list is read when
        // it is asked for.
        const std::optional<QList<DayCount>> days =
            countsPerLocalDay(m_db, userId, startOfLocalDay(first), startOfLocalDay(last.addDays(1)));
        QString error;
        if (days) {
            QList<Piece> counted;
            QStringList keys;
            for (const DayCount &day : *days) {
                if (day.all == 0)
                    continue;
                const QString key = day.date.toString(kDayFormat);
                m_countByDate.insert(key, day.all);
                counted.append({0, startOfLocalDay(day.date), startOfLocalDay(day.date.addDays(1))});
                keys.append(key);
            }
            // The first two tasks of every day with tasks, in one statement.
            if (!counted.isEmpty()) {
                QSqlQuery query = SqlSupport::prepare(
                    m_db,
                    QStringLiteral(
                        "SELECT p.key AS piece, %1 FROM %2 LEFT JOIN customers c ON t.customer_id = c.id"
                        " ORDER BY p.key, t.expire_at_epoch, t.id")
                        .arg(kDayTaskColumns,
                             m_db->dialect().firstPerPiece(
                                 QStringLiteral("tasks"),
                                 QStringLiteral("user_id = :uid AND expire_at_epoch >= p.lo"
                                                " AND expire_at_epoch < p.hi"),
                                 // NULL placed as in the index, which then gives the order
                                 QStringLiteral("expire_at_epoch") + m_db->dialect().nullsLow(true) +
                                     QStringLiteral(", id"))));
                query.bindValue(QStringLiteral(":pieces"), piecesAsJson(counted));
                query.bindValue(QStringLiteral(":uid"), userId);
                query.bindValue(QStringLiteral(":lim"), 2);
                if (!query.exec())
                    error = query.lastError().text();
                while (query.next())
                    m_firstTasksByDate[keys.value(query.value(QStringLiteral("piece")).toInt())].append(
                        dayTask(query));
            }
        } else {
            error = QStringLiteral("the day counts could not be read");
        }
        if (!error.isEmpty()) {
            m_countByDate.clear();
            m_firstTasksByDate.clear();
            qWarning().noquote() << "Loading the tasks of the calendar range failed:" << error;
        }
    }
}

std::optional<QVariantList> TaskCalendarStore::tasksOfLocalDay(int userId, const QDate &day,
                                                               QString *error) const
{
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("SELECT %1 FROM tasks t LEFT JOIN customers c ON t.customer_id = c.id"
                             " WHERE t.user_id = :uid AND t.expire_at_epoch >= :fromEpoch"
                             " AND t.expire_at_epoch < :toEpoch ORDER BY t.expire_at_epoch%2, t.id")
                  .arg(kDayTaskColumns, m_db->dialect().nullsLow(true)));
    // A failed prepare shows up at exec as a parameter mismatch; its own error says more.
    const QSqlError prepareError = query.lastError();
    query.bindValue(QStringLiteral(":uid"), userId);
    query.bindValue(QStringLiteral(":fromEpoch"), startOfLocalDay(day));
    query.bindValue(QStringLiteral(":toEpoch"), startOfLocalDay(day.addDays(1)));
    if (!query.exec()) {
        if (error)
            *error = (prepareError.isValid() ? prepareError : query.lastError()).text();
        return std::nullopt;
    }
    QVariantList tasks;
    while (query.next())
        tasks.append(dayTask(query));
    return tasks;
}

QVariantList TaskCalendarStore::tasksForDate(int userId, const QString &date) const
{
    if (!m_countByDate.contains(date) || !SqlSupport::isOpen(m_db))
        return {};
    QString error;
    const std::optional<QVariantList> tasks = tasksOfLocalDay(userId, dayFromText(date), &error);
    if (!tasks)
        qWarning().noquote() << "Reading the tasks of" << date << "failed:" << error;
    return tasks.value_or(QVariantList());
}

void TaskCalendarStore::clear()
{
    m_countByDate.clear();
    m_firstTasksByDate.clear();
}
