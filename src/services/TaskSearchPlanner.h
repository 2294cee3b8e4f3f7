#pragma once

#include "services/TaskBlockPlanner.h"
#include "services/TaskMatchList.h"
#include "services/TaskNameStatistics.h"
#include "services/TaskPageQuery.h"

#include <QList>
#include <QString>

#include <limits>

class DbManager;

// Counts the tasks of the table's view and decides how the pages of a search of three characters or
// more are read: by walking the index of the order (or the search index in id order), or from the
// list of its matches in display order, read once per count and order from the candidates of the
// search index.
class TaskSearchPlanner
{
public:
    // Beyond this many of the user's tasks of matching customers, reading a search in id order leaves
    // them to the walk of the order's index.
    static constexpr int kOwnedByCustomers = 400;

    explicit TaskSearchPlanner(DbManager *db, TaskPageQuery *query);

    // The number of tasks the view matches, counted again only when the view's filters or the data
    // (dataVersion) changed; a search that is not listed is counted up to countCap() + 1.
    int count(int userId, const QString &dataVersion);
    // The view has no filter that needs counting: its count comes from the counters.
    void reset();
    // The next count reads the data again.
    void forget() { m_countedView.clear(); }

    bool listed() const { return m_listed; }
    // Every match in display order, while listed(); of a capped search, the first countCap() + 1.
    const QList<TaskPageEdge> &matches() const { return m_matches.rows(); }
    // Lists the first matches of a capped search where reading them from the search index costs less
    // than walking the order's index to the reach-th of them; false where it does not (or cannot).
    bool listFirstMatches(int userId, qint64 reach);
    // True while the search matches more tasks than are counted; the pages then cover the first of them.
    bool capped() const;
    int countCap() const { return m_countCap; }
    // The user's tasks of matching customers, counted up to a few hundred by the last count of a search.
    qint64 ownedByCustomers() const { return m_ownedByCustomers; }
    // Whether the user holds less than a quarter of the tasks that the search index holds.
    bool fewOwn() const { return m_fewOwn; }
    // Whether a walked search reads the candidates in id order (SqlDialect::taskCandidateRowsInOrder()),
    // and the blocks it reads them from where it reads blocks.
    bool readsInOrder() const { return m_blockPlan.inOrder(); }
    bool creationFollowsIds() const { return m_blockPlan.creationFollowsIds(); }
    const QString &candidateBlocks() const { return m_blockPlan.blocks(); }

    // Lowers the limits of a search: the matches counted and the table pages a list may read.
    void setLimits(int countCap, int listPages);

private:
    int countTasks(int userId);
    // Whether the user held under a quarter of the tasks when the search was last counted.
    bool holdsFew() const { return m_own * 4 < m_all; }
    bool planListed(int userId);
    // Whether the probe reads only the candidates of a user of own tasks (SqlDialect::ownCandidatesApart()).
    bool ownFirst();
    // The share of all tasks whose name matches, as the statistics of the names estimate it (0 where
    // none do), and whether the user's candidates are read apart; read once per count.
    void estimateShare();
    // Whether the blocks that may hold a text the search index does not hold whole are few: their tasks
    // are then read instead of the index's candidates.
    bool fewBlocks(int userId);
    // Lists a search of one or two characters from the few blocks that may hold it; false where they are
    // not few.
    bool listShort(int userId);
    qint64 countOwnedByCustomers(int userId, int limit);
    // Whether the estimate puts the word in so many tasks that no list of them could be read.
    bool denseWord();
    bool listMatches(int userId, bool namedRead = false);
    // Where the user's matches by name or id are read from.
    TaskMatchList::Source namedSource(bool ownCandidates) const;

    DbManager *m_db = nullptr;
    TaskPageQuery *m_query = nullptr;
    bool m_listed = false;
    TaskMatchList m_matches;
    TaskNameStatistics m_statistics;
    TaskBlockPlanner m_blockPlan;
    // Each match counted or listed costs up to a read of a table page, about 7 us on a file of a
    // million tasks whose pages are not in the cache: both limits keep a search as it is typed within
    // a frame (see bench/RESULTS.md). The last page of a capped search needs the first countCap() + 1
    // matches in display order: on the server a word in 1 % of a million tasks passes 100 rows of the
    // order's index for each (about 0.3 us apiece), or lists all its matches (about 2 us each), so
    // that a cap of 1000 took 38 ms there and one of 300 took 14-20 ms; 200 (eight pages) takes 11.
    int m_countCap = 200;
    int m_listPages = 1200;
    qint64 m_ownedByCustomers = 0;
    // The user's tasks and all tasks, when a search was last counted.
    qint64 m_own = 0;
    qint64 m_all = 0;
    // Of the statistics of the names (estimateShare()): negative until read. Indexed: this session
    // reads the search indexes (row-level security lets it).
    double m_share = -1;
    // Seldom above the word's share: what decides that the probe is left out.
    double m_cautiousShare = 0;
    bool m_indexed = false;
    bool m_ownApart = false;
    // The first matches were read once this count and reached their bound: the pages walk.
    bool m_firstTried = false;
    // The search index's candidates, counted up to the probe's limit: those of every user, or the
    // user's own only where planListed() probed those. Where the candidates are exact matches, the
    // user's among them (else -1); all of them if the limit was not reached.
    qint64 m_candidates = 0;
    qint64 m_ownProbed = -1;
    bool m_probedAll = false;
    bool m_fewOwn = false;
    // The probe read the user's own candidates: the list and the count read those too.
    bool m_ownFirst = false;
    // The user's matches by name or id were read with their keys (of their own candidates, or of the
    // few blocks that may hold them: m_inBlocks).
    bool m_namedRead = false;
    bool m_inBlocks = false;
    // fewBlocks() planned the order for this count.
    bool m_blocksTested = false;
    // The count and the filters and data it was counted for.
    int m_counted = 0;
    QString m_countedView;
};
