// The read operations of the task service: lookups, the due-soon query, statistics and calendar.
#include "services/TaskService.h"

#include "services/AuthService.h"
#include "storage/SqlSupport.h"

#include <QDebug>
#include <QSqlError>

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

// A day written exactly as "yyyy-MM-dd"; invalid for any other text.
QDate dayFromText(const QString &text)
{
    return text.size() == 10 ? QDate::fromString(text, kDayFormat) : QDate();
}

qint64 startOfLocalDay(const QDate &day)
{
    return day.startOfDay().toSecsSinceEpoch();
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
                                                 " ORDER BY expire_at_epoch ASC, id ASC"));
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

QVariantMap TaskService::nextDueTask(int withinMinutes)
{
    if (!canQuery())
        return {};
    const qint64 now = currentDateTime().toSecsSinceEpoch();
    const qint64 limit = now + qint64(withinMinutes) * 60;
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("SELECT id, name, expire_at_epoch FROM tasks"
                             " WHERE user_id = :uid AND active = 0 AND expire_at_epoch IS NOT NULL"
                             " AND expire_at_epoch BETWEEN :now AND :lim"
                             " ORDER BY expire_at_epoch ASC LIMIT 1"));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    query.bindValue(QStringLiteral(":now"), now);
    query.bindValue(QStringLiteral(":lim"), limit);
    if (!query.exec() || !query.next())
        return {};
    const qint64 epoch = query.value(QStringLiteral("expire_at_epoch")).toLongLong();
    return {
        {QStringLiteral("id"), query.value(QStringLiteral("id")).toInt()},
        {QStringLiteral("name"), query.value(QStringLiteral("name")).toString()},
        {QStringLiteral("expire_at_text"),
         QDateTime::fromSecsSinceEpoch(epoch).toString(QStringLiteral("yyyy-MM-dd HH:mm"))},
        {QStringLiteral("expire_at_epoch"), epoch},
    };
}

void TaskService::loadStatistics(const QString &expireFrom, const QString &expireTo)
{
    if (!canQuery())
        return;
    const QString from = expireFrom.trimmed();
    const QString to = expireTo.trimmed();

    // Days are the user's local days; SQLite knows nothing of the local zone, so the rows are
    // selected by instant and grouped here.
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
    sql += QStringLiteral("\nORDER BY expire_at_epoch ASC");

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

    m_settings.setValue(QStringLiteral("statsExpireFrom"), from);
    m_settings.setValue(QStringLiteral("statsExpireTo"), to);
    if (!query.exec())
        return;

    QStringList labels;
    QVariantList totals;
    QVariantList completed;
    qint64 dayEnd = 0;
    int dayTotal = 0;
    int dayCompleted = 0;
    while (query.next()) {
        const qint64 epoch = query.value(0).toLongLong();
        if (labels.isEmpty() || epoch >= dayEnd) {
            if (!labels.isEmpty()) {
                totals.append(dayTotal);
                completed.append(dayCompleted);
            }
            const QDate day = QDateTime::fromSecsSinceEpoch(epoch).date();
            labels.append(day.toString(kDayFormat));
            dayEnd = startOfLocalDay(day.addDays(1));
            dayTotal = 0;
            dayCompleted = 0;
        }
        ++dayTotal;
        if (query.value(1).toInt() == 1)
            ++dayCompleted;
    }
    if (!labels.isEmpty()) {
        totals.append(dayTotal);
        completed.append(dayCompleted);
    }
    m_dailyLabels = labels;
    m_dailyTotals = totals;
    m_dailyCompleted = completed;
    emit statisticsChanged();
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
    m_tasksByDate.clear();
    const QDate first = dayFromText(fromDate);
    const QDate last = dayFromText(toDate);
    if (!SqlSupport::isOpen(m_db)) {
        qWarning() << "Loading the tasks of the calendar range failed: the database is not open";
    } else if (first.isValid() && last.isValid()) {
        // Selected by the instants that bound the local days, so each task is filed under the local
        // day that selected it.
        QSqlQuery query = SqlSupport::prepare(
            m_db, QStringLiteral("SELECT t.name AS title, t.expire_at_epoch, t.id, t.active,"
                                 " c.name AS customer_name, t.level"
                                 " FROM tasks t LEFT JOIN customers c ON t.customer_id = c.id"
                                 " WHERE t.user_id = :uid AND t.expire_at_epoch >= :fromEpoch"
                                 " AND t.expire_at_epoch < :toEpoch"
                                 " ORDER BY t.expire_at_epoch, t.id"));
        // A failed prepare shows up at exec as a parameter mismatch; its own error says more.
        const QSqlError prepareError = query.lastError();
        query.bindValue(QStringLiteral(":uid"), m_auth ? m_auth->userId() : -1);
        query.bindValue(QStringLiteral(":fromEpoch"), startOfLocalDay(first));
        query.bindValue(QStringLiteral(":toEpoch"), startOfLocalDay(last.addDays(1)));
        if (!query.exec()) {
            qWarning().noquote() << "Loading the tasks of the calendar range failed:"

                                 << (prepareError.isValid() ? prepareError : query.lastError()).text();
        } else {
            while (query.next()) {
                const QDateTime expireAt = QDateTime::fromSecsSinceEpoch(query.value(1).toLongLong());
                const QString title = query.value(QStringLiteral("title")).toString();
                const QString customerName = query.value(QStringLiteral("customer_name")).toString();
                const QString time = expireAt.toString(QStringLiteral("HH:mm"));
                const QString dueDate = expireAt.toString(kDayFormat);
                QString label = time + QStringLiteral(" - ");
                if (!customerName.isEmpty())
                    label += QStringLiteral("[") + customerName + QStringLiteral("] ");
                label += title;
                m_tasksByDate[dueDate].append(QVariantMap{
                    {QStringLiteral("title"), title},
                    {QStringLiteral("time"), time},
                    {QStringLiteral("label"), label},
                    {QStringLiteral("dueDate"), dueDate},
                    {QStringLiteral("id"), query.value(QStringLiteral("id")).toInt()},
                    {QStringLiteral("active"), query.value(QStringLiteral("active")).toInt() != 0 ? 1 : 0},
                    {QStringLiteral("customerName"), customerName},
                    {QStringLiteral("level"), query.value(QStringLiteral("level")).toInt()},
                });
            }
        }
    }
    emit tasksChanged();
}

int TaskService::taskCountForDate(const QString &date) const
{
    const auto it = m_tasksByDate.constFind(date);
    return it == m_tasksByDate.cend() ? 0 : int(it->size());
}

QVariantList TaskService::tasksForDate(const QString &date) const
{
    return m_tasksByDate.value(date);
}
