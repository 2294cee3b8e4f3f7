#include "services/TaskService.h"

#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/InputLimits.h"
#include "storage/DbManager.h"
#include "storage/SqlSupport.h"

#include <QDate>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

constexpr int kDefaultSortColumn = 5;
constexpr qint64 kSecondsPerDay = 86400;

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
    m_pageSize = std::max(1, m_settings.value(QStringLiteral("taskPageSize"), m_pageSize).toInt());
    const int sortColumn = m_settings.value(QStringLiteral("taskSortColumn"), m_sortColumn).toInt();
    m_sortColumn = sortColumn >= 0 && sortColumn < kSortColumnCount ? sortColumn : kDefaultSortColumn;
    m_sortOrder = m_settings.value(QStringLiteral("taskSortOrder"), m_sortOrder).toInt() != 0 ? 1 : 0;
    m_filterName =
        InputLimits::searchText(m_settings.value(QStringLiteral("taskFilterName"), m_filterName).toString());
    m_filterExpireFrom =
        m_settings.value(QStringLiteral("taskFilterExpireFrom"), m_filterExpireFrom).toString();
    m_filterExpireTo = m_settings.value(QStringLiteral("taskFilterExpireTo"), m_filterExpireTo).toString();
    m_filterActive =
        normalizedActiveFilter(m_settings.value(QStringLiteral("taskFilterActive"), m_filterActive).toInt());
    m_filterLevel =
        normalizedLevelFilter(m_settings.value(QStringLiteral("taskFilterLevel"), m_filterLevel).toInt());
    if (m_auth)
        connect(m_auth, &AuthService::loggedOut, this, &TaskService::forgetUser);
}

TaskService::~TaskService() = default;

void TaskService::setPageSize(int size)
{
    const int normalized = std::max(1, size);
    if (normalized == m_pageSize)
        return;
    m_pageSize = normalized;
    m_settings.setValue(QStringLiteral("taskPageSize"), normalized);
    emit pageSizeChanged();
}

void TaskService::setFilterName(const QString &text)
{
    const QString normalized = InputLimits::searchText(text);
    if (normalized == m_filterName)
        return;
    m_filterName = normalized;
    m_settings.setValue(QStringLiteral("taskFilterName"), normalized);
    emit filterNameChanged();
    loadPage(1);
}

void TaskService::setFilterActive(int value)
{
    const int normalized = normalizedActiveFilter(value);
    if (normalized == m_filterActive)
        return;
    m_filterActive = normalized;
    m_settings.setValue(QStringLiteral("taskFilterActive"), normalized);
    emit filterActiveChanged();
    loadPage(1);
}

void TaskService::setFilterExpireFrom(const QString &text)
{
    if (text == m_filterExpireFrom)
        return;
    m_filterExpireFrom = text;
    m_settings.setValue(QStringLiteral("taskFilterExpireFrom"), text);
    emit filterExpireFromChanged();
    loadPage(1);
}

void TaskService::setFilterExpireTo(const QString &text)
{
    if (text == m_filterExpireTo)
        return;
    m_filterExpireTo = text;
    m_settings.setValue(QStringLiteral("taskFilterExpireTo"), text);
    emit filterExpireToChanged();
    loadPage(1);
}

void TaskService::setFilterLevel(int value)
{
    const int normalized = normalizedLevelFilter(value);
    if (normalized == m_filterLevel)
        return;
    m_filterLevel = normalized;
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
    m_countedView.clear();
    m_shown = {};
    loadPage(m_currentPage);
    emit tasksChanged();
    emit changedElsewhere();
}

void TaskService::forgetUser()
{
    if (m_model)
        m_model->setTasks({});
    m_taskCountByDate.clear();
    m_firstTasksByDate.clear();
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

std::optional<qint64> TaskService::boundEpoch(const QString &text, bool upper)
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

void TaskService::sort(int column, int order)
{
    if (column < 0 || column >= kSortColumnCount)
        return;
    const int sortOrder = order == Qt::DescendingOrder ? 1 : 0;
    const bool changed = column != m_sortColumn || sortOrder != m_sortOrder;
    m_sortColumn = column;
    m_sortOrder = sortOrder;
    m_settings.setValue(QStringLiteral("taskSortColumn"), column);
    m_settings.setValue(QStringLiteral("taskSortOrder"), sortOrder);
    if (changed)
        emit sortChanged();
    loadPage(m_currentPage);
}

bool TaskService::execChange(QSqlQuery &query, int taskId, bool mustMatch)
{
    const int uid = m_auth->userId();
    const bool wasBefore = taskId > 0 && isBeforeFirstShown(uid, taskId);
    const bool shownNow = m_shown.version.isValid() && m_shown.version == dataVersion();
    if (!query.exec() || (mustMatch && query.numRowsAffected() < 1))
        return false;
    // A change of one row moves the first row shown by at most one place; the page then continues
    // from it. Other changes make the next load count from an end.
    const int changed = taskId != 0 ? taskId : query.next() ? query.value(0).toInt() : 0;
    query.finish();
    if (shownNow && taskId >= 0) {
        m_shown.shift += int(isBeforeFirstShown(uid, changed)) - int(wasBefore);
        m_shown.version = dataVersion();
    }
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
    Selection selection{filterClauses(), {}};
    const QString sql =
        QStringLiteral("SELECT 1 FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                       " WHERE tasks.user_id = :uid") +
        selection.clauses;
    // The page's own binder fills a probe of the statement; the values are read back by name.
    QSqlQuery probe = SqlSupport::prepare(m_db, sql);
    bindFilters(probe, m_auth->userId());
    static const QRegularExpression placeholder(QStringLiteral(":[A-Za-z_][A-Za-z0-9_]*"));
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(sql))
        selection.bindings.insert(match.captured(), probe.boundValue(match.captured()));
    return selection;
}
