#pragma once

#include "services/TaskPageQuery.h"

#include <QList>
#include <QVariant>

#include <limits>
#include <optional>

class DbManager;
class TaskSearchPlanner;
struct TaskRow;

// Reads the rows of one page of the task table's view: from the rows shown before where the page is
// next to them, else from the nearer end, walking the index of the order (or the search index in id
// order) in keyset steps, or by id from a listed search.
class TaskPageReader
{
public:
    explicit TaskPageReader(DbManager *db, TaskPageQuery *query, TaskSearchPlanner *planner);

    struct Request
    {
        int page = 1;
        int totalPages = 1;
        // The tasks the view matches (up to the count cap) and all the user's tasks.
        int matching = 0;
        qint64 allTasks = 0;
        // dataVersion() as the count was read.
        QVariant version;
    };
    QList<TaskRow> read(int userId, const Request &request);

    // A change of this program to one row (taskId, 0 for a row it inserts, -1 for any number of rows)
    // moves the first row shown by at most one place, so that the same page continues from it.
    struct Change
    {
        bool tracked = false;
        bool wasBefore = false;
    };
    Change beforeChange(int userId, int taskId);
    void afterChange(const Change &change, int userId, int changedId);
    // The next read starts from an end.
    void forget() { m_shown = {}; }

    // Changes on this connection (also those of other services and of triggers) and commits of others.
    QVariant dataVersion() const;

private:
    // The rows shown and what they were read under, so that the next, previous or same page can
    // continue from them instead of counting rows from the start.
    struct ShownPage
    {
        QString view;
        QVariant version;
        int page = 0;
        TaskPageEdge first;
        TaskPageEdge last;
        // Rows that a change of this program moved in front of the first row (or out, when negative).
        int shift = 0;
    };
    // A range of ids, both ends included.
    struct IdSpan
    {
        qint64 from = std::numeric_limits<qint64>::min();
        qint64 to = std::numeric_limits<qint64>::max();
    };

    QList<TaskRow> readRows(int userId, const QList<TaskPageEdge> &edges);
    // Up to limit rows from edge (or from one end when edge is null) in display order, or in the
    // reverse order when backward is set; inclusive takes the edge row itself. Without withRows only
    // the edges are read (the rows stay empty).
    QList<TaskRow> walk(int userId, const TaskPageEdge *edge, bool inclusive, bool backward, int limit,
                        QList<TaskPageEdge> *edges, bool withRows = true);
    std::optional<TaskPageEdge> edgeAt(int userId, qint64 offset, bool fromEnd);
    bool readsCandidatesInOrder() const;
    // The user's ids of one creation time (NULL for none) while creation follows id.
    std::optional<IdSpan> creationSpan(int userId, const QVariant &key) const;
    bool isBeforeFirstShown(int userId, int taskId);

    DbManager *m_db = nullptr;
    TaskPageQuery *m_query = nullptr;
    TaskSearchPlanner *m_planner = nullptr;
    ShownPage m_shown;
};
