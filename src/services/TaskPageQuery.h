#pragma once

#include <QString>
#include <QVariant>

#include <optional>

class DbManager;
class QSqlQuery;
class SqlDialect;
struct TaskRow;

// What the task table shows: its order, its filters and the size of its pages.
struct TaskView
{
    int sortColumn = 5;
    int sortOrder = 1; // 0 ascending, 1 descending
    QString name;
    int active = -1;
    QString expireFrom;
    QString expireTo;
    int level = -1;
    int pageSize = 25;

    bool hasRange() const { return !expireFrom.isEmpty() || !expireTo.isEmpty(); }
    // A search of three characters or more, which the search index answers.
    bool hasIndexedSearch() const;
};

// Where a page starts or ends: the sort key and id of a row (the key is null for a NULL value).
struct TaskPageEdge
{
    QVariant key;
    int id = 0;
};

// The task table's view as parts of statements: its conditions, its order key and the index that
// serves the order, and the values those parts bind.
class TaskPageQuery
{
public:
    explicit TaskPageQuery(DbManager *db, const TaskView *view);

    const SqlDialect &dialect() const;
    const TaskView &view() const { return *m_view; }

    // The order key of the sort column; also read back as each row's sort_key, so that keyset bounds
    // compare like with like.
    QString sortKey() const;
    bool sortNullable() const;
    bool sortCaseless() const;
    // What follows an ORDER BY of the key so that NULL keys sort first.
    QString nullsOrder(bool ascending) const;
    QString sortIndex() const;
    bool readsKeyGroups() const;
    // Only the name filter reads the customer.
    QString customerJoin() const;
    QString filterClauses(bool withName = true) const;
    void bindFilters(QSqlQuery &query, int userId) const;
    QString nameLike(const QString &expr) const;
    // Whether the search could match an id's text (digits, "-" and wildcards only).
    bool matchesIdText() const;
    // The condition that the task's id text matches: false at once where the search holds a character
    // that no id's text holds, so that a row passed costs one comparison less.
    QString idLike() const;
    // The condition that the task's own name or id text matches.
    QString ownMatch() const;
    // The ids of the customers whose name matches; for a search without a trigram, of those whose
    // block holds its characters (shortGrams()).
    QString matchingCustomers() const;
    // A search's first characters and pairs of characters, bound as :gram0 on.
    QStringList shortGrams() const;
    void bindShortGrams(QSqlQuery &query) const;
    // The user and the filters, as one text; viewKey() adds the order and the page size.
    QString filterKey(int userId) const;
    QString viewKey(int userId) const;

    // Whether a page of an expiry range walks the index of the order instead of the expiry index.
    void setRangeByOrder(bool byOrder) { m_rangeByOrder = byOrder; }

    // The columns of a page row read by rowOf(), from the FROM item given as %2, with the key as %1.
    static QString pageSelect();
    static TaskRow rowOf(const QSqlQuery &query);

    // A bound entered as local "yyyy-MM-dd HH:mm", as seconds since the epoch: the first second of that
    // minute, or with upper set its last second. Empty when the text does not read as such a bound.
    static std::optional<qint64> boundEpoch(const QString &text, bool upper);

private:
    DbManager *m_db = nullptr;
    const TaskView *m_view = nullptr;
    bool m_rangeByOrder = false;
};
