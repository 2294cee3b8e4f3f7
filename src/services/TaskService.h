#pragma once

#include "services/SettingsService.h"
#include "services/TaskCalendarStore.h"
#include "services/TaskPageQuery.h"
#include "services/TaskPageReader.h"
#include "services/TaskSearchPlanner.h"

#include <QDateTime>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

class AuthService;
class DbManager;
class QSqlQuery;
class TaskTableModel;

// The signed-in user's tasks: the paged, filtered and sorted table page, the changes to tasks, the
// lookups and the due-soon query; the daily statistics and the calendar's days for the window.
class TaskService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int pageSize READ pageSize WRITE setPageSize NOTIFY pageSizeChanged)
    Q_PROPERTY(int currentPage READ currentPage NOTIFY currentPageChanged)
    Q_PROPERTY(int totalPages READ totalPages NOTIFY totalPagesChanged)
    // True while a search of one or two characters matches more tasks than are counted; the pages
    // then cover the first of them.
    Q_PROPERTY(bool countCapped READ countCapped NOTIFY totalPagesChanged)
    Q_PROPERTY(QString filterName READ filterName WRITE setFilterName NOTIFY filterNameChanged)
    Q_PROPERTY(int filterActive READ filterActive WRITE setFilterActive NOTIFY filterActiveChanged)
    Q_PROPERTY(QString filterExpireFrom READ filterExpireFrom WRITE setFilterExpireFrom NOTIFY
                   filterExpireFromChanged)
    Q_PROPERTY(
        QString filterExpireTo READ filterExpireTo WRITE setFilterExpireTo NOTIFY filterExpireToChanged)
    Q_PROPERTY(int filterLevel READ filterLevel WRITE setFilterLevel NOTIFY filterLevelChanged)
    Q_PROPERTY(int totalCount READ totalCount NOTIFY countsChanged)
    Q_PROPERTY(int activeCount READ activeCount NOTIFY countsChanged)
    Q_PROPERTY(int inactiveCount READ inactiveCount NOTIFY countsChanged)
    Q_PROPERTY(int sortColumn READ sortColumn NOTIFY sortChanged)
    Q_PROPERTY(int sortOrder READ sortOrder NOTIFY sortChanged)
    Q_PROPERTY(int highLevelCount READ highLevelCount NOTIFY countsLevelChanged)
    Q_PROPERTY(int midLevelCount READ midLevelCount NOTIFY countsLevelChanged)
    Q_PROPERTY(int lowLevelCount READ lowLevelCount NOTIFY countsLevelChanged)
    Q_PROPERTY(QVariantList dailyTotals READ dailyTotals NOTIFY statisticsChanged)
    Q_PROPERTY(QVariantList dailyCompleted READ dailyCompleted NOTIFY statisticsChanged)
    Q_PROPERTY(QStringList dailyLabels READ dailyLabels NOTIFY statisticsChanged)
    // While deleteAllInactive() works through the done tasks, and how far it got (0 to 1).
    Q_PROPERTY(bool deletingDone READ deletingDone NOTIFY deletingDoneChanged)
    Q_PROPERTY(double deleteProgress READ deleteProgress NOTIFY deletingDoneChanged)

public:
    explicit TaskService(DbManager *db, AuthService *auth, TaskTableModel *model, QObject *parent = nullptr);
    ~TaskService() override;

    int pageSize() const { return m_view.pageSize; }
    int currentPage() const { return m_currentPage; }
    int totalPages() const { return m_totalPages; }
    bool countCapped() const { return m_countCapped; }
    QString filterName() const { return m_view.name; }
    int filterActive() const { return m_view.active; }
    QString filterExpireFrom() const { return m_view.expireFrom; }
    QString filterExpireTo() const { return m_view.expireTo; }
    int filterLevel() const { return m_view.level; }
    int totalCount() const { return m_totalCount; }
    int activeCount() const { return m_activeCount; }
    int inactiveCount() const { return m_inactiveCount; }
    int sortColumn() const { return m_view.sortColumn; }
    int sortOrder() const { return m_view.sortOrder; }
    int highLevelCount() const { return m_highLevelCount; }
    int midLevelCount() const { return m_midLevelCount; }
    int lowLevelCount() const { return m_lowLevelCount; }
    QVariantList dailyTotals() const { return m_dailyTotals; }
    QVariantList dailyCompleted() const { return m_dailyCompleted; }
    QStringList dailyLabels() const { return m_dailyLabels; }
    bool deletingDone() const { return m_deletingDone; }
    double deleteProgress() const { return m_deleteProgress; }

    void setPageSize(int size);
    void setFilterName(const QString &text);
    void setFilterActive(int value);
    void setFilterExpireFrom(const QString &text);
    void setFilterExpireTo(const QString &text);
    void setFilterLevel(int value);

    Q_INVOKABLE void loadPage(int page);
    Q_INVOKABLE bool createTask(const QString &name, const QDateTime &expireAt, bool active = true,
                                int level = 1, int customerId = -1, const QString &notes = QString());
    Q_INVOKABLE bool updateTask(int id, const QString &name, bool active, const QDateTime &expireAt,
                                int level, int customerId = -1, const QString &notes = QString());
    Q_INVOKABLE bool updateTaskDone(int id, bool active);
    Q_INVOKABLE bool deleteTask(int id);
    Q_INVOKABLE QVariantMap nextDueTask(int withinMinutes);
    // All done tasks of the signed-in user, whatever the filters: what "Delete Done" removes.
    Q_INVOKABLE int doneTaskCount() const;
    // Open tasks expiring from now to now plus the minutes, by expiry and id, after the given one.
    QVariantList dueSoonTasks(int withinMinutes, qint64 afterEpoch = -1, int afterId = 0, int limit = 1);
    Q_INVOKABLE void loadStatistics(const QString &expireFrom = QString(),
                                    const QString &expireTo = QString());
    Q_INVOKABLE QVariantMap taskById(int taskId) const;
    Q_INVOKABLE QVariantList tasksForCustomer(int customerId) const;
    Q_INVOKABLE QString statsExpireFrom() const;
    Q_INVOKABLE QString statsExpireTo() const;
    Q_INVOKABLE void loadTasksForRange(const QString &fromDate, const QString &toDate);
    Q_INVOKABLE int taskCountForDate(const QString &date) const;
    Q_INVOKABLE QVariantList tasksForDate(const QString &date) const;
    // The first two tasks of a day of the last range, for the calendar's cells.
    Q_INVOKABLE QVariantList firstTasksForDate(const QString &date) const;
    Q_INVOKABLE void sort(int column, int order = 0);
    // Deletes the user's done tasks in chunks, the first at once and the rest from the event loop
    // (deletingDone while it lasts); the page reloads and tasksChanged() follows at the end. False
    // when it could not start or the first chunk failed.
    Q_INVOKABLE bool deleteAllInactive();

    // The tasks page's current filter, for readers of the same selection beyond one page (export):
    // conditions to append to "FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id
    // WHERE tasks.user_id = :uid", and the values of every placeholder, ":uid" included. Empty while
    // nobody is signed in.
    struct Selection
    {
        QString clauses;
        QVariantMap bindings;
    };
    Selection currentSelection() const;

signals:
    void pageSizeChanged();
    void currentPageChanged();
    void totalPagesChanged();
    void filterNameChanged();
    void filterActiveChanged();
    void filterExpireFromChanged();
    void filterExpireToChanged();
    void filterLevelChanged();
    void statisticsChanged();
    void countsChanged();
    void countsLevelChanged();
    void sortChanged();
    void tasksChanged();
    // The tasks were read again after a change made elsewhere (after tasksChanged).
    void changedElsewhere();
    void deletingDoneChanged();

public slots:
    void onTasksChanged();
    // Another connection committed changes: the page, its counts and every view of the tasks are
    // read again, as after a change of this service. Nothing happens while nobody is signed in.
    void onChangedElsewhere();

protected:
    // The present moment; the due-soon window and the default statistics window start from it.
    virtual QDateTime currentDateTime() const;
    // Lowers the limits of a search (small data sets then reach every way of reading one): the matches
    // counted and the table pages a list of the matches of three characters or more may read.
    void setSearchLimits(int countCap, int listPages);

private:
    bool canQuery() const;
    // Runs a prepared change of the user's rows; on success reloads the page and emits tasksChanged.
    // taskId names the one row it changes, 0 a row it inserts, -1 any number of rows. With mustMatch,
    // a statement that matched no row (a task deleted meanwhile, another user's task) is a failure:
    // the edit was not saved.
    bool execChange(QSqlQuery &query, int taskId, bool mustMatch = false);
    // Signed out: the previous user's rows, counts, statistics and calendar days are dropped at once.
    void forgetUser();
    bool deleteDoneChunk();

    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    TaskTableModel *m_model = nullptr;
    TaskView m_view;
    TaskPageQuery m_query{m_db, &m_view};
    TaskSearchPlanner m_planner{m_db, &m_query};
    TaskPageReader m_reader{m_db, &m_query, &m_planner};
    TaskCalendarStore m_calendar{m_db};
    int m_currentPage = 1;
    int m_totalPages = 1;
    bool m_countCapped = false;
    int m_totalCount = 0;
    int m_activeCount = 0;
    int m_inactiveCount = 0;
    int m_highLevelCount = 0;
    int m_midLevelCount = 0;
    int m_lowLevelCount = 0;
    QVariantList m_dailyTotals;
    QVariantList m_dailyCompleted;
    QStringList m_dailyLabels;
    // The deletion of done tasks in progress.
    struct DeleteDone
    {
        int userId = 0;
        int total = 0;
        int deleted = 0;
        int chunk = 0;
    };
    DeleteDone m_deleteDone;
    bool m_deletingDone = false;
    double m_deleteProgress = 0;
    QSettings m_settings{QString::fromLatin1(kSettingsOrganization),
                         QString::fromLatin1(kSettingsApplication)};
};
