#pragma once

#include "services/TaskPageQuery.h"

#include <QList>
#include <QString>

class DbManager;
class QSqlQuery;

// The matches of a search with their keys, in display order: read from the statements of the matches
// by name or id and of those by customer alone, and sorted here (the statements' sorter costs more).
class TaskMatchList
{
public:
    // Where the matches by name or id are read from: the table through the search index, the user's
    // own candidates, or the blocks of ids listed in blocks (SqlDialect::taskRowsOfBlocks()).
    struct Source
    {
        enum Kind { Table, OwnCandidates, Blocks };
        Kind kind = Table;
        QString blocks;
        int blockWidth = 1024;
    };

    explicit TaskMatchList(DbManager *db, TaskPageQuery *query);

    // Empties the list for the order of the view: one that will hold every match, until read() fails.
    void start();
    bool holdsOrderOf(const TaskView &view) const;
    // Whether the list holds every match, or only the first of them (readFirst()).
    bool complete() const { return m_complete; }
    const QList<TaskPageEdge> &rows() const { return m_rows; }

    // Appends the matches by name or id (named) or those by customer alone, at most limit (0: all).
    bool read(int userId, bool named, const Source &source, int limit = 0);
    // Replaces the list with the first wanted matches of both parts, each part read up to bound rows
    // and sorted by the database; false, leaving the list as it was, where a part reaches its bound.
    bool readFirst(int userId, const Source &source, qint64 bound, int wanted);
    void sort();

    // Binds the ids and blocks of a read of the blocks in order: every id of the blocks.
    static void bindBlocks(QSqlQuery &query, const QString &blocks);

private:
    QString statement(bool named, const Source &source) const;

    DbManager *m_db = nullptr;
    TaskPageQuery *m_query = nullptr;
    int m_column = -1;
    int m_order = -1;
    QList<TaskPageEdge> m_rows;
    bool m_complete = true;
};
