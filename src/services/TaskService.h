#pragma once

#include "services/SettingsService.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <limits>
#include <optional>

class AuthService;
class DbManager;
class SqlDialect;
class QSqlQuery;
class TaskTableModel;
struct TaskRow;

// The signed-in user's tasks: the paged, filtered and sorted table page, the changes to tasks, the
// lookups, the due-soon query, the daily statistics and the calendar store.
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

    int pageSize() const { return m_pageSize; }
    int currentPage() const { return m_currentPage; }
    int totalPages() const { return m_totalPages; }
    bool countCapped() const { return m_countCapped; }
    QString filterName() const { return m_filterName; }
    int filterActive() const { return m_filterActive; }
    QString filterExpireFrom() const { return m_filterExpireFrom; }
    QString filterExpireTo() const { return m_filterExpireTo; }
    int filterLevel() const { return m_filterLevel; }
    int totalCount() const { return m_totalCount; }
    int activeCount() const { return m_activeCount; }
    int inactiveCount() const { return m_inactiveCount; }
    int sortColumn() const { return m_sortColumn; }
    int sortOrder() const { return m_sortOrder; }
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

public:
    // Tasks of one local day; all counts only tasks with an expiry instant, withText those with the
    // expiry text as well, done those of withText that are done.
    struct DayCount
    {
        QDate date;
        int all = 0;
        int withText = 0;
        int done = 0;
    };

private:
    // Where a page starts or ends: the sort key and id of a row (the key is null for a NULL value).
    struct PageEdge
    {
        QVariant key;
        int id = 0;
    };
    // The rows shown and what they were read under, so that the next, previous or same page can
    // continue from them instead of counting rows from the start.
    struct ShownPage
    {
        QString view;
        QVariant version;
        int page = 0;
        PageEdge first;
        PageEdge last;
        // Rows that a change of this service moved in front of the first row (or out, when negative).
        int shift = 0;
    };

    // How the pages of a search of three characters or more are read: by walking the index of the
    // order (or the search index in id order), or from the list of its matches in display order, read
    // once per count and order from the candidates of the search index (Listed).
    enum class SearchPlan {
        Walk,
        Listed,
    };
    struct MatchList
    {
        int column = -1;
        int order = -1;
        // Every match, or with more than the count cap the first cap + 1 of them.
        QList<PageEdge> rows;
    };

    bool canQuery() const;
    std::optional<QList<DayCount>> countsPerLocalDayByText(const QString &from, const QString &to) const;
    // Calendar task maps of the day in query order.
    std::optional<QVariantList> tasksOfLocalDay(int uid, const QDate &day, QString *error) const;
    int countTasks(int userId);
    SearchPlan planSearch(int userId);
    bool listMatches(int userId);
    void sortMatches();
    QList<TaskRow> readRows(const QList<PageEdge> &edges);
    QString filterClauses(bool withName = true) const;
    QString sortIndex() const;
    QString nullsOrder(bool ascending) const;
    QString customerJoin() const;
    QString sortKey() const;
    QString nameLike(const QString &expr) const;
    QString matchingCustomers() const;
    const SqlDialect &dialect() const;
    void bindFilters(QSqlQuery &query, int userId) const;
    QString viewKey(int userId) const;
    QVariant dataVersion() const;
    QList<TaskRow> readPage(int userId, int matching);
    TaskRow rowOf(const QSqlQuery &query) const;
    // Up to limit rows from edge (or from one end when edge is null) in display order, or in the
    // reverse order when backward is set; inclusive takes the edge row itself. Without withRows only
    // the edges are read (the rows stay empty).
    QList<TaskRow> walk(int userId, const PageEdge *edge, bool inclusive, bool backward, int limit,
                        QList<PageEdge> *edges, bool withRows = true);
    std::optional<PageEdge> edgeAt(int userId, qint64 offset, bool fromEnd);
    bool readsKeyGroups() const;
    bool readsCandidatesInOrder(int userId) const;
    // A range of ids, both ends included.
    struct IdSpan
    {
        qint64 from = std::numeric_limits<qint64>::min();
        qint64 to = std::numeric_limits<qint64>::max();
    };
    // The user's ids of one creation time (NULL for none) while creation follows id.
    std::optional<IdSpan> creationSpan(int userId, const QVariant &key) const;
    bool isBeforeFirstShown(int userId, int taskId);
    // Runs a prepared change of the user's rows; on success reloads the page and emits tasksChanged.
    // taskId names the one row it changes, 0 a row it inserts, -1 any number of rows. With mustMatch,
    // a statement that matched no row (a task deleted meanwhile, another user's task) is a failure:
    // the edit was not saved.
    bool execChange(QSqlQuery &query, int taskId, bool mustMatch = false);
    // Signed out: the previous user's rows, counts, statistics and calendar days are dropped at once.
    void forgetUser();
    bool deleteDoneChunk();

    // A bound entered as local "yyyy-MM-dd HH:mm", as seconds since the epoch: the first second of that
    // minute, or with upper set its last second. Empty when the text does not read as such a bound.
    static std::optional<qint64> boundEpoch(const QString &text, bool upper);

    int m_sortColumn = 5;
    int m_sortOrder = 1;
    QString m_filterName;
    int m_filterActive = -1;
    QString m_filterExpireFrom;
    QString m_filterExpireTo;
    int m_filterLevel = -1;
    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    TaskTableModel *m_model = nullptr;
    int m_pageSize = 25;
    int m_currentPage = 1;
    int m_totalPages = 1;
    bool m_countCapped = false;
    SearchPlan m_searchPlan = SearchPlan::Walk;
    MatchList m_matches;
    // A search that is not listed is counted up to m_countCap matches: beyond, the pages cover the first
    // of them in display order ("Page 1 / 40+"). Each match counted or listed costs up to a read of a
    // table page, about 7 us on a file of a million tasks whose pages are not in the cache: both limits
    // keep a search as it is typed within a frame (see bench/RESULTS.md).
    int m_countCap = 1000;
    int m_listPages = 1200;
    bool m_rangeByOrder = false;
    // The user's tasks of customers that match the search, counted up to a few hundred: read beside the
    // search index's candidates by customer, which sorts them.
    qint64 m_ownedByCustomers = 0;
    // The search index's candidates of every user, counted up to the probe's limit, and whether the
    // user holds less than a quarter of the tasks.
    qint64 m_candidates = 0;
    bool m_fewOwn = false;
    // The matching count and the filters and data it was counted for.
    int m_counted = 0;
    QString m_countedView;
    ShownPage m_shown;
    int m_totalCount = 0;
    int m_activeCount = 0;
    int m_inactiveCount = 0;
    int m_highLevelCount = 0;
    int m_midLevelCount = 0;
    int m_lowLevelCount = 0;
    QVariantList m_dailyTotals;
    QVariantList m_dailyCompleted;
    QStringList m_dailyLabels;
    // The last calendar range: each day's number of tasks and its first two tasks.
    QHash<QString, int> m_taskCountByDate;
    QHash<QString, QVariantList> m_firstTasksByDate;
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
