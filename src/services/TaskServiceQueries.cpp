// The read operations of the task service: lookups, the due-soon query, statistics and calendar.
#include "services/TaskService.h"

#include "services/AuthService.h"
#include "storage/DbManager.h"
#include "storage/SchemaExtras.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QDebug>
#include <QSqlError>

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
std::optional<QList<TaskService::DayCount>> countsPerLocalDay(const DbManager *db, int uid, qint64 from,
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
    QList<TaskService::DayCount> days;
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
        TaskService::DayCount &day = days[dayOfPiece.at(piece)];
        day.all += query.value(1).toInt();
        day.withText += query.value(2).toInt();
        day.done += query.value(3).toInt();
    }
    return days;
}

} // namespace

QVariantMap TaskService::taskById(int taskId) const
{
    if (taskId < 1 || !canQuery())
        return {};
    QSqlQuery query = SqlSupport::prepare(
        m_db,
        QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.expire_at, tasks.level,"
                       " tasks.customer_id, customers.name AS customer_name"
                       " FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                       " WHERE tasks.user_id = :uid AND tasks.id = :taskId LIMIT 1"));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    query.bindValue(QStringLiteral(":taskId"), taskId);
    if (!query.exec() || !query.next())
        return {};
    return {
        {QStringLiteral("taskId"), query.value(QStringLiteral("id")).toInt()},
        {QStringLiteral("name"), query.value(QStringLiteral("name")).toString()},
        {QStringLiteral("notes"), query.value(QStringLiteral("notes")).toString()},
        {QStringLiteral("active"), query.value(QStringLiteral("active")).toBool()},
        {QStringLiteral("expireAt"), SqlSupport::localFromUtcText(query.value(QStringLiteral("expire_at")))},
        {QStringLiteral("level"), query.value(QStringLiteral("level")).toInt()},
        {QStringLiteral("customerId"), query.value(QStringLiteral("customer_id")).toInt()},
        {QStringLiteral("customerName"), query.value(QStringLiteral("customer_name")).toString()},
    };
}

QVariantList TaskService::tasksForCustomer(int customerId) const
{
    if (customerId < 1 || !canQuery())
        return {};
    QSqlQuery query =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT id, name, active, expire_at FROM tasks"
                                                 " WHERE user_id = :uid AND customer_id = :customerId"
                                                 " ORDER BY expire_at_epoch ASC%1, id ASC")
                                      .arg(m_db->dialect().nullsLow(true)));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    query.bindValue(QStringLiteral(":customerId"), customerId);
    QVariantList tasks;
    if (!query.exec())
        return tasks;
    while (query.next()) {
        tasks.append(QVariantMap{
            {QStringLiteral("taskId"), query.value(QStringLiteral("id")).toInt()},
            {QStringLiteral("name"), query.value(QStringLiteral("name")).toString()},
            {QStringLiteral("expireAt"),
             SqlSupport::localFromUtcText(query.value(QStringLiteral("expire_at")))},
            {QStringLiteral("active"), query.value(QStringLiteral("active")).toBool()},
        });
    }
    return tasks;
}

int TaskService::doneTaskCount() const
{
    if (!canQuery())
        return 0;
    QSqlQuery query =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT done FROM task_counts WHERE user_id = :uid"));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

QVariantMap TaskService::nextDueTask(int withinMinutes)
{
    return dueSoonTasks(withinMinutes).value(0).toMap();
}

QVariantList TaskService::dueSoonTasks(int withinMinutes, qint64 afterEpoch, int afterId, int limit)
{
    QVariantList tasks;
    if (!canQuery())
        return tasks;
    const qint64 now = currentDateTime().toSecsSinceEpoch();
    const qint64 limitEpoch = now + qint64(withinMinutes) * 60;
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral(
                  "SELECT id, name, expire_at_epoch FROM tasks"
                  " WHERE user_id = :uid AND active = 0 AND expire_at_epoch IS NOT NULL"
                  " AND expire_at_epoch BETWEEN :now AND :lim"
                  " AND (expire_at_epoch > :afterEpoch OR (expire_at_epoch = :sameEpoch AND id > :afterId))"
                  " ORDER BY expire_at_epoch ASC%1, id ASC LIMIT :count")
                  .arg(m_db->dialect().nullsLow(true)));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    query.bindValue(QStringLiteral(":now"), now);
    query.bindValue(QStringLiteral(":lim"), limitEpoch);
    query.bindValue(QStringLiteral(":afterEpoch"), afterEpoch);
    query.bindValue(QStringLiteral(":sameEpoch"), afterEpoch);
    query.bindValue(QStringLiteral(":afterId"), afterId);
    query.bindValue(QStringLiteral(":count"), limit);
    if (!query.exec())
        return tasks;
    while (query.next()) {
        const qint64 epoch = query.value(QStringLiteral("expire_at_epoch")).toLongLong();
        tasks.append(QVariantMap{
            {QStringLiteral("id"), query.value(QStringLiteral("id")).toInt()},
            {QStringLiteral("name"), query.value(QStringLiteral("name")).toString()},
            {QStringLiteral("expire_at_text"),
             QDateTime::fromSecsSinceEpoch(epoch).toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
            {QStringLiteral("expire_at_epoch"), epoch},
        });
    }
    return tasks;
}

void TaskService::loadStatistics(const QString &expireFrom, const QString &expireTo)
{
    if (!canQuery())
        return;
    const QString from = expireFrom.trimmed();
    const QString to = expireTo.trimmed();
    const std::optional<qint64> fromEpoch = from.isEmpty() ? std::nullopt : boundEpoch(from, false);
    const std::optional<qint64> toEpoch = to.isEmpty() ? std::nullopt : boundEpoch(to, true);
    m_settings.setValue(QStringLiteral("statsExpireFrom"), from);
    m_settings.setValue(QStringLiteral("statsExpireTo"), to);

    // Days are the user's local days. Bounds that read as local minutes are instants and are
    // answered from the expiry buckets; other text compares with the stored text row by row.
    std::optional<QList<DayCount>> days;
    if ((from.isEmpty() || fromEpoch) && (to.isEmpty() || toEpoch)) {
        qint64 begin = std::numeric_limits<qint64>::min() / 2;
        qint64 end = std::numeric_limits<qint64>::max() / 2;
        if (from.isEmpty()) {
            const QDate today = currentDateTime().date();
            begin = startOfLocalDay(today.addDays(-10));
            end = startOfLocalDay(today.addDays(30));
        } else {
            begin = *fromEpoch;
        }
        if (toEpoch)
            end = std::min(end, *toEpoch + 1);
        days = countsPerLocalDay(m_db, m_auth->userId(), begin, end);
    } else {
        days = countsPerLocalDayByText(from, to);
    }
    if (!days)
        return;

    QStringList labels;
    QVariantList totals;
    QVariantList completed;
    for (const DayCount &day : std::as_const(*days)) {
        if (day.withText == 0)
            continue;
        labels.append(day.date.toString(kDayFormat));
        totals.append(day.withText);
        completed.append(day.done);
    }
    m_dailyLabels = labels;
    m_dailyTotals = totals;
    m_dailyCompleted = completed;
    emit statisticsChanged();
}

// The statistics under a bound that is not a local minute: the rows themselves, grouped here.
std::optional<QList<TaskService::DayCount>> TaskService::countsPerLocalDayByText(const QString &from,
                                                                                 const QString &to) const
{
    QString sql =
        QStringLiteral("SELECT expire_at_epoch, active FROM tasks"
                       " WHERE user_id = :uid AND expire_at IS NOT NULL AND expire_at_epoch IS NOT NULL");
    const std::optional<qint64> fromEpoch = from.isEmpty() ? std::nullopt : boundEpoch(from, false);
    const std::optional<qint64> toEpoch = to.isEmpty() ? std::nullopt : boundEpoch(to, true);
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
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    if (from.isEmpty()) {
        const QDate today = currentDateTime().date();
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

QString TaskService::statsExpireFrom() const
{
    return m_settings.value(QStringLiteral("statsExpireFrom"), QString()).toString();
}

QString TaskService::statsExpireTo() const
{
    return m_settings.value(QStringLiteral("statsExpireTo"), QString()).toString();
}

void TaskService::loadTasksForRange(const QString &fromDate, const QString &toDate)
{
    m_taskCountByDate.clear();
    m_firstTasksByDate.clear();
    const QDate first = dayFromText(fromDate);
    const QDate last = dayFromText(toDate);
    if (!SqlSupport::isOpen(m_db)) {
        qWarning() << "Loading the tasks of the calendar range failed: the database is not open";
    } else if (first.isValid() && last.isValid()) {
        // Only the count and the first two tasks of each day are kept; a day's full list is read when
        // it is asked for.
        const int uid = m_auth ? m_auth->userId() : -1;
        const std::optional<QList<DayCount>> days =
            countsPerLocalDay(m_db, uid, startOfLocalDay(first), startOfLocalDay(last.addDays(1)));
        QString error;
        if (days) {
            QList<Piece> counted;
            QStringList keys;
            for (const DayCount &day : *days) {
                if (day.all == 0)
                    continue;
                const QString key = day.date.toString(kDayFormat);
                m_taskCountByDate.insert(key, day.all);
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
                query.bindValue(QStringLiteral(":uid"), uid);
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
            m_taskCountByDate.clear();
            m_firstTasksByDate.clear();
            qWarning().noquote() << "Loading the tasks of the calendar range failed:" << error;
        }
    }
    emit tasksChanged();
}

std::optional<QVariantList> TaskService::tasksOfLocalDay(int uid, const QDate &day, QString *error) const
{
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("SELECT %1 FROM tasks t LEFT JOIN customers c ON t.customer_id = c.id"
                             " WHERE t.user_id = :uid AND t.expire_at_epoch >= :fromEpoch"
                             " AND t.expire_at_epoch < :toEpoch ORDER BY t.expire_at_epoch%2, t.id")
                  .arg(kDayTaskColumns, m_db->dialect().nullsLow(true)));
    // A failed prepare shows up at exec as a parameter mismatch; its own error says more.
    const QSqlError prepareError = query.lastError();
    query.bindValue(QStringLiteral(":uid"), uid);
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

int TaskService::taskCountForDate(const QString &date) const
{
    return m_taskCountByDate.value(date, 0);
}

QVariantList TaskService::firstTasksForDate(const QString &date) const
{
    return m_firstTasksByDate.value(date);
}

QVariantList TaskService::tasksForDate(const QString &date) const
{
    if (!m_taskCountByDate.contains(date) || !SqlSupport::isOpen(m_db))
        return {};
    QString error;
    const std::optional<QVariantList> tasks =
        tasksOfLocalDay(m_auth ? m_auth->userId() : -1, dayFromText(date), &error);
    if (!tasks)
        qWarning().noquote() << "Reading the tasks of" << date << "failed:" << error;
    return tasks.value_or(QVariantList());
}
