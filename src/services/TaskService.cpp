#include "services/TaskService.h"

#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/InputLimits.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kDefaultSortColumn = 5;

constexpr int kSortColumnCount = 6; // the columns of the task table

// Deleting every done task: rows in the first chunk, and the time each chunk should take.
constexpr int kFirstDeleteChunk = 500;
constexpr qint64 kDeleteChunkMs = 50;

int normalizedActiveFilter(int value)
{
    return value == 0 || value == 1 ? value : -1;
}

int normalizedLevelFilter(int value)
{
    return value == 20 || value == 50 || value == 51 ? value : -1;
}

// Name and notes as they will be stored, and an expiry that has a text form.
bool taskFieldsFit(const QString &name, const QDateTime &expireAt, const QString &notes)
{
    return name.trimmed().size() <= InputLimits::kNameLength &&
           notes.trimmed().size() <= InputLimits::kNotesLength && InputLimits::expiryFits(expireAt);
}

void bindTaskFields(QSqlQuery &query, const QString &name, bool active, const QDateTime &expireAt, int level,
                    int customerId, const QString &notes)
{
    query.bindValue(QStringLiteral(":name"), name.trimmed());
    query.bindValue(QStringLiteral(":active"), active ? 1 : 0);
    query.bindValue(QStringLiteral(":notes"), notes.trimmed());
    // Stored as UTC text ("...Z") beside the same instant in epoch seconds.
    query.bindValue(QStringLiteral(":expire"), SqlSupport::utcValue(expireAt));
    query.bindValue(QStringLiteral(":expire_at_epoch"), SqlSupport::epochValue(expireAt));
    query.bindValue(QStringLiteral(":level"), level);
    query.bindValue(QStringLiteral(":customerId"), customerId);
}

} // namespace

TaskService::TaskService(DbManager *db, AuthService *auth, TaskTableModel *model, QObject *parent)
    : QObject(parent), m_db(db), m_auth(auth), m_model(model)
{
    m_view.pageSize = std::max(1, m_settings.value(QStringLiteral("taskPageSize"), m_view.pageSize).toInt());
    const int sortColumn = m_settings.value(QStringLiteral("taskSortColumn"), m_view.sortColumn).toInt();
    m_view.sortColumn = sortColumn >= 0 && sortColumn < kSortColumnCount ? sortColumn : kDefaultSortColumn;
    m_view.sortOrder =
        m_settings.value(QStringLiteral("taskSortOrder"), m_view.sortOrder).toInt() != 0 ? 1 : 0;
    m_view.name =
        InputLimits::searchText(m_settings.value(QStringLiteral("taskFilterName"), m_view.name).toString());
    m_view.expireFrom =
        m_settings.value(QStringLiteral("taskFilterExpireFrom"), m_view.expireFrom).toString();
    m_view.expireTo = m_settings.value(QStringLiteral("taskFilterExpireTo"), m_view.expireTo).toString();
    m_view.active =
        normalizedActiveFilter(m_settings.value(QStringLiteral("taskFilterActive"), m_view.active).toInt());
    m_view.level =
        normalizedLevelFilter(m_settings.value(QStringLiteral("taskFilterLevel"), m_view.level).toInt());
    if (m_auth)
        connect(m_auth, &AuthService::loggedOut, this, &TaskService::forgetUser);
}

TaskService::~TaskService() = default;

void TaskService::setPageSize(int size)
{
    const int normalized = std::max(1, size);
    if (normalized == m_view.pageSize)
        return;
    m_view.pageSize = normalized;
    m_settings.setValue(QStringLiteral("taskPageSize"), normalized);
    emit pageSizeChanged();
}

void TaskService::setFilterName(const QString &text)
{
    const QString normalized = InputLimits::searchText(text);
    if (normalized == m_view.name)
        return;
    m_view.name = normalized;
    m_settings.setValue(QStringLiteral("taskFilterName"), normalized);
    emit filterNameChanged();
    loadPage(1);
}

void TaskService::setFilterActive(int value)
{
    const int normalized = normalizedActiveFilter(value);
    if (normalized == m_view.active)
        return;
    m_view.active = normalized;
    m_settings.setValue(QStringLiteral("taskFilterActive"), normalized);
    emit filterActiveChanged();
    loadPage(1);
}

void TaskService::setFilterExpireFrom(const QString &text)
{
    if (text == m_view.expireFrom)
        return;
    m_view.expireFrom = text;
    m_settings.setValue(QStringLiteral("taskFilterExpireFrom"), text);
    emit filterExpireFromChanged();
    loadPage(1);
}

void TaskService::setFilterExpireTo(const QString &text)
{
    if (text == m_view.expireTo)
        return;
    m_view.expireTo = text;
    m_settings.setValue(QStringLiteral("taskFilterExpireTo"), text);
    emit filterExpireToChanged();
    loadPage(1);
}

void TaskService::setFilterLevel(int value)
{
    const int normalized = normalizedLevelFilter(value);
    if (normalized == m_view.level)
        return;
    m_view.level = normalized;
    m_settings.setValue(QStringLiteral("taskFilterLevel"), normalized);
    emit filterLevelChanged();
    loadPage(1);
}

void TaskService::onTasksChanged()
{
    loadPage(m_currentPage);
}

void TaskService::onChangedElsewhere()
{
    if (!canQuery())
        return;
    // A server advances its change stamp before the commit becomes visible, so a count or page edges
    // read in between carry the new stamp with the old data: neither is trusted after a change made
    // elsewhere.
    m_planner.forget();
    m_reader.forget();
    loadPage(m_currentPage);
    emit tasksChanged();
    emit changedElsewhere();
}

void TaskService::forgetUser()
{
    if (m_model)
        m_model->setTasks({});
    m_calendar.clear();
    m_currentPage = 1;
    m_totalPages = 1;
    m_totalCount = m_activeCount = m_inactiveCount = 0;
    m_lowLevelCount = m_midLevelCount = m_highLevelCount = 0;
    m_dailyTotals.clear();
    m_dailyCompleted.clear();
    m_dailyLabels.clear();
    emit currentPageChanged();
    emit totalPagesChanged();
    emit countsChanged();
    emit countsLevelChanged();
    emit statisticsChanged();
}

QDateTime TaskService::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

bool TaskService::canQuery() const
{
    return m_db && m_db->isPrepared() && m_auth && m_auth->loggedIn();
}

void TaskService::sort(int column, int order)
{
    if (column < 0 || column >= kSortColumnCount)
        return;
    const int sortOrder = order == Qt::DescendingOrder ? 1 : 0;
    const bool changed = column != m_view.sortColumn || sortOrder != m_view.sortOrder;
    m_view.sortColumn = column;
    m_view.sortOrder = sortOrder;
    m_settings.setValue(QStringLiteral("taskSortColumn"), column);
    m_settings.setValue(QStringLiteral("taskSortOrder"), sortOrder);
    if (changed)
        emit sortChanged();
    loadPage(m_currentPage);
}

bool TaskService::execChange(QSqlQuery &query, int taskId, bool mustMatch)
{
    const int uid = m_auth->userId();
    const TaskPageReader::Change change = m_reader.beforeChange(uid, taskId);
    if (!query.exec() || (mustMatch && query.numRowsAffected() < 1))
        return false;
    const int changed = taskId != 0 ? taskId : query.next() ? query.value(0).toInt() : 0;
    query.finish();
    m_reader.afterChange(change, uid, changed);
    loadPage(m_currentPage);
    emit tasksChanged();
    return true;
}

bool TaskService::createTask(const QString &name, const QDateTime &expireAt, bool active, int level,
                             int customerId, const QString &notes)
{
    if (!canQuery() || name.trimmed().isEmpty() || !taskFieldsFit(name, expireAt, notes))
        return false;
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral(
                  "INSERT INTO tasks (user_id, name, active, notes, expire_at, expire_at_epoch, level,"
                  " customer_id)"
                  " VALUES (:uid, :name, :active, :notes, :expire, :expire_at_epoch, :level, :customerId)"
                  " RETURNING id"));
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    bindTaskFields(query, name, active, expireAt, level, customerId, notes);
    return execChange(query, 0);
}

bool TaskService::updateTask(int id, const QString &name, bool active, const QDateTime &expireAt, int level,
                             int customerId, const QString &notes)
{
    if (!canQuery() || id < 1 || !taskFieldsFit(name, expireAt, notes))
        return false;
    QSqlQuery query = SqlSupport::prepare(
        m_db,
        QStringLiteral("UPDATE tasks SET name = :name, active = :active, notes = :notes, expire_at = :expire,"
                       " expire_at_epoch = :expire_at_epoch, level = :level, customer_id = :customerId"
                       " WHERE id = :id AND user_id = :uid"));
    bindTaskFields(query, name, active, expireAt, level, customerId, notes);
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    return execChange(query, id, true);
}

bool TaskService::updateTaskDone(int id, bool active)
{
    if (!canQuery() || id < 1)
        return false;
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("UPDATE tasks SET active = :active WHERE id = :id AND user_id = :uid"));
    query.bindValue(QStringLiteral(":active"), active ? 1 : 0);
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    return execChange(query, id, true);
}

bool TaskService::deleteTask(int id)
{
    if (!canQuery() || id < 1)
        return false;
    QSqlQuery query =
        SqlSupport::prepare(m_db, QStringLiteral("DELETE FROM tasks WHERE id = :id AND user_id = :uid"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":uid"), m_auth->userId());
    return execChange(query, id);
}

bool TaskService::deleteAllInactive()
{
    if (!canQuery() || m_deletingDone)
        return false;
    QSqlQuery count =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT done FROM task_counts WHERE user_id = :uid"));
    count.bindValue(QStringLiteral(":uid"), m_auth->userId());
    if (!count.exec())
        return false;
    m_deleteDone = {m_auth->userId(), count.next() ? count.value(0).toInt() : 0, 0, kFirstDeleteChunk};
    m_deletingDone = true;
    m_deleteProgress = 0;
    emit deletingDoneChanged();
    return deleteDoneChunk();
}

// One transaction of at most chunk done tasks, sized so that each takes about a frame or three:
// hundreds of thousands of them take a minute (every row updates the counters, buckets and search
// index), and the window shows the progress meanwhile. Each chunk leaves the file consistent.
bool TaskService::deleteDoneChunk()
{
    QElapsedTimer timer;
    timer.start();
    QSqlQuery query = SqlSupport::prepare(
        m_db, QStringLiteral("DELETE FROM tasks WHERE id IN (SELECT id FROM tasks WHERE user_id = :uid"
                             " AND active = 1 ORDER BY id LIMIT :chunk)"));
    query.bindValue(QStringLiteral(":uid"), m_deleteDone.userId);
    query.bindValue(QStringLiteral(":chunk"), m_deleteDone.chunk);
    const bool stillSignedIn = canQuery() && m_auth->userId() == m_deleteDone.userId;
    const bool deleted = stillSignedIn && query.exec();
    const int rows = deleted ? query.numRowsAffected() : 0;
    query.finish();
    m_deleteDone.deleted += rows;
    if (deleted && rows == m_deleteDone.chunk) {
        const qint64 spent = std::max<qint64>(1, timer.elapsed());
        m_deleteDone.chunk = int(std::clamp<qint64>(qint64(rows) * kDeleteChunkMs / spent, 50, 20000));
        m_deleteProgress =
            m_deleteDone.total > 0 ? std::min(1.0, double(m_deleteDone.deleted) / m_deleteDone.total) : 0.0;
        emit deletingDoneChanged();
        QTimer::singleShot(0, this, &TaskService::deleteDoneChunk);
        return true;
    }
    m_deletingDone = false;
    m_deleteProgress = 1;
    emit deletingDoneChanged();
    if (stillSignedIn && deleted)
        loadPage(m_currentPage); // also with nothing deleted: the table shows what is stored now
    // Like every other change it announces itself, so the calendar and chart drop the deleted tasks.
    if (stillSignedIn && m_deleteDone.deleted > 0)
        emit tasksChanged();
    return deleted;
}

TaskService::Selection TaskService::currentSelection() const
{
    if (!canQuery())
        return {};
    Selection selection{m_query.filterClauses(), {}};
    const QString sql =
        QStringLiteral("SELECT 1 FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                       " WHERE tasks.user_id = :uid") +
        selection.clauses;
    // The page's own binder fills a probe of the statement; the values are read back by name.
    QSqlQuery probe = SqlSupport::prepare(m_db, sql);
    m_query.bindFilters(probe, m_auth->userId());
    static const QRegularExpression placeholder(QStringLiteral(":[A-Za-z_][A-Za-z0-9_]*"));
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(sql))
        selection.bindings.insert(match.captured(), probe.boundValue(match.captured()));
    return selection;
}

void TaskService::loadPage(int page)
{
    if (!canQuery())
        return;
    const int uid = m_auth->userId();

    // The counters are kept by the database on every write; a user without tasks has no row.
    StatementCache::Lease counters =
        SqlSupport::reuse(m_db, QStringLiteral("SELECT * FROM task_counts WHERE user_id = :uid"));
    counters->bindValue(QStringLiteral(":uid"), uid);
    const bool counted = counters.exec();
    const bool hasRow = counted && counters->next();
    const auto counter = [&](const QString &column) {
        return hasRow ? counters->value(column).toInt() : 0;
    };

    const QVariant version = m_reader.dataVersion();
    int matching = 0;
    if (counted && m_view.name.isEmpty() && !m_view.hasRange()) {
        const QString level = m_view.level == 20   ? QStringLiteral("low")
                              : m_view.level == 50 ? QStringLiteral("mid")
                              : m_view.level == 51 ? QStringLiteral("high")
                                                   : QString();
        const QString state = m_view.active == 0   ? QStringLiteral("open")
                              : m_view.active == 1 ? QStringLiteral("done")
                                                   : QString();
        const QString column = state.isEmpty() ? (level.isEmpty() ? QStringLiteral("total") : level)
                                               : (level.isEmpty() ? state : state + QLatin1Char('_') + level);
        matching = counter(column);
        m_countCapped = false;
        // The plan of a search goes with its count.
        m_planner.reset();
    } else {
        // Paging through a search or a range does not count it again while nothing changed.
        const int counted = m_planner.count(uid, version.toString());
        m_countCapped = m_planner.capped();
        matching = m_countCapped ? m_planner.countCap() : counted;
    }

    if (counted) {
        m_totalCount = counter(QStringLiteral("total"));
        m_activeCount = counter(QStringLiteral("done"));
        m_inactiveCount = counter(QStringLiteral("open"));
        emit countsChanged();
    }

    m_totalPages = int(std::max<qint64>(1, (qint64(matching) + m_view.pageSize - 1) / m_view.pageSize));
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

    QList<TaskRow> rows = m_reader.read(uid, {m_currentPage, m_totalPages, matching, m_totalCount, version});
    if (m_model)
        m_model->setTasks(std::move(rows));
}

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
    m_settings.setValue(QStringLiteral("statsExpireFrom"), from);
    m_settings.setValue(QStringLiteral("statsExpireTo"), to);
    std::optional<TaskCalendarStore::DailySeries> series =
        m_calendar.dailySeries(m_auth->userId(), from, to, currentDateTime().date());
    if (!series)
        return;
    m_dailyLabels = std::move(series->labels);
    m_dailyTotals = std::move(series->totals);
    m_dailyCompleted = std::move(series->completed);
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
    m_calendar.loadRange(m_auth ? m_auth->userId() : -1, fromDate, toDate);
    emit tasksChanged();
}

int TaskService::taskCountForDate(const QString &date) const
{
    return m_calendar.countForDate(date);
}

QVariantList TaskService::firstTasksForDate(const QString &date) const
{
    return m_calendar.firstTasksForDate(date);
}

QVariantList TaskService::tasksForDate(const QString &date) const
{
    return m_calendar.tasksForDate(m_auth ? m_auth->userId() : -1, date);
}

void TaskService::setSearchLimits(int countCap, int listPages)
{
    m_planner.setLimits(countCap, listPages);
}
