#pragma once

#include <QString>

class DbManager;
class TaskPageQuery;

// Where a search's matches may lie among the user's ids: the blocks of ids whose filters may hold the
// text, or the short spans that hold a text of one or two characters, and whether the pages of a walked
// search read the candidates in id order from them.
class TaskBlockPlanner
{
public:
    static constexpr int kBlockIds = 1024;
    static constexpr int kSpanIds = 64;

    explicit TaskBlockPlanner(DbManager *db, TaskPageQuery *query);

    // Nothing planned: the pages walk the order's index.
    void clear();
    // Whether a walk reads the candidates in id order; fewCandidates, when not negative, counts all the
    // candidates the probe read.
    void planOrder(int userId, qint64 fewCandidates);
    // Plans the spans that hold a short text where the blocks that may hold it are at most fewBlocks;
    // false where they are more.
    bool planShortSpans(int userId, qint64 fewBlocks);
    // The blocks stay, for a list read from them; the pages no longer walk them.
    void leaveOrder() { m_inOrder = false; }

    bool inOrder() const { return m_inOrder; }
    // Whether the user's creation times followed their ids when planned (task_creation_order), so that
    // the creation order reads in id order too.
    bool creationFollowsIds() const { return m_creationFollowsIds; }
    // As the dialect lists them; they change with the data.
    const QString &blocks() const { return m_blocks; }
    int width() const { return m_width; } // ids per entry of blocks()
    // The blocks that may hold the text, where all of them were tested.
    qint64 hits() const { return m_hits; }

private:
    void planBlocks(int userId, qint64 fewCandidates);

    DbManager *m_db = nullptr;
    TaskPageQuery *m_query = nullptr;
    bool m_inOrder = false;
    bool m_creationFollowsIds = false;
    QString m_blocks;
    int m_width = kBlockIds;
    qint64 m_hits = 0;
};
