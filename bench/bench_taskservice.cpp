// The task page, search, due-soon poll, statistics, calendar, saves and sign-in, as the window runs
// them. Every case leaves the view and the file as it found them.
#include "BenchDatabase.h"

#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

namespace {

// The page the program shows when nothing is set: newest first, 25 rows.
constexpr int kDefaultSortColumn = 5;
constexpr int kDeepPage = 2000;

const char *const kSortNames[] = {"id", "name", "level", "state", "expiry", "creation"};

struct Search
{
    const char *label;
    const char *text;
};

// The texts depend on scripts/bench-data.py: one task holds "quetzal", one customer of the account
// is "Halvorsen Marine". Texts of one or two characters that few tasks hold ("z" is only in
// "quetzal", "zz" in none) have no trigram: they are listed from the few blocks of 1024 ids whose
// names hold their characters (task_short_blocks), where a walk of the order's index would read
// every name. "xo" is only in "axolotl": 100 tasks in 94 blocks, more than are listed, so it walks.
const Search kSearches[] = {
    {"1char", "7"},       {"2chars", "42"},        {"3chars", "inv"},
    {"6chars", "contra"}, {"rareWord", "quetzal"}, {"customerName", "Halvorsen"},
    {"1charRare", "z"},   {"2charsRare", "zz"},    {"2charsFew", "xo"},
};

// Words that scripts/bench-data.py gives to these shares of each user's tasks, at random or in one
// stretch of creation (and so of ids and, mostly, of expiry).
struct Density
{
    const char *share;
    const char *spread;
    const char *clustered;
};
const Density kDensities[] = {
    {"0.01%", "axolotl", "falcon"}, {"0.1%", "bison", "gecko"}, {"1%", "caribou", "heron"},
    {"10%", "dingo", "iguana"},     {"50%", "egret", "jackal"},
};

QString localMinute(const QDateTime &dateTime)
{
    return dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The page a user reaches by typing its number: page 2000, or the middle of a shorter list.
int deepPage(const TaskService &tasks)
{
    return std::max(1, std::min(kDeepPage, tasks.totalPages() / 2));
}

QList<BenchCase> pageCases(BenchDatabase &bench)
{
    TaskService &tasks = bench.tasks();
    QList<BenchCase> cases;
    // The last of them is the default order, so together they leave the view as they found it.
    static_assert(kDefaultSortColumn == int(std::size(kSortNames)) - 1);
    for (int column = 0; column < int(std::size(kSortNames)); ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            cases.append(
                {QStringLiteral("tasks/page1/sort:%1/%2")
                     .arg(QLatin1String(kSortNames[column]),
                          order == Qt::AscendingOrder ? QStringLiteral("asc") : QStringLiteral("desc")),
                 [&tasks] { tasks.loadPage(1); },
                 [&tasks, column, order] {
                     tasks.sort(column, order);
                 }});
        }
    }
    auto firstPage = [&tasks] {
        tasks.loadPage(1);
    };
    cases.append({QStringLiteral("tasks/nextPage"), [&tasks] { tasks.loadPage(tasks.currentPage() + 1); },
                  firstPage, firstPage,
                  [&tasks] {
                      if (tasks.currentPage() >= tasks.totalPages())
                          tasks.loadPage(1);
                  }});
    cases.append({QStringLiteral("tasks/previousPage"), [&tasks] { tasks.loadPage(tasks.currentPage() - 1); },
                  [&tasks] { tasks.loadPage(deepPage(tasks)); }, firstPage,
                  [&tasks] {
                      if (tasks.currentPage() <= 1)
                          tasks.loadPage(deepPage(tasks));
                  }});
    cases.append({QStringLiteral("tasks/lastPage"),
                  [&tasks] { tasks.loadPage(tasks.totalPages()); },
                  {},
                  firstPage,
                  firstPage});
    cases.append({QStringLiteral("tasks/deepPage"),
                  [&tasks] { tasks.loadPage(deepPage(tasks)); },
                  {},
                  firstPage,
                  firstPage});
    return cases;
}

// Page 1 with one filter set, as the filter controls load it.
QList<BenchCase> filterCases(BenchDatabase &bench)
{
    TaskService &tasks = bench.tasks();
    QList<BenchCase> cases;
    auto firstPage = [&tasks] {
        tasks.loadPage(1);
    };
    for (const int level : {20, 50, 51}) {
        cases.append({QStringLiteral("tasks/filter/level:%1").arg(level), firstPage,
                      [&tasks, level] { tasks.setFilterLevel(level); },
                      [&tasks] {
                          tasks.setFilterLevel(-1);
                      }});
    }
    for (const int state : {0, 1}) {
        cases.append(
            {state == 1 ? QStringLiteral("tasks/filter/done") : QStringLiteral("tasks/filter/pending"),
             firstPage, [&tasks, state] { tasks.setFilterActive(state); },
             [&tasks] {
                 tasks.setFilterActive(-1);
             }});
    }
    cases.append({QStringLiteral("tasks/filter/expiry:2months"), firstPage,
                  [&tasks] {
                      const QDateTime now = QDateTime::currentDateTime();
                      tasks.setFilterExpireFrom(localMinute(now.addMonths(-1)));
                      tasks.setFilterExpireTo(localMinute(now.addMonths(1)));
                  },
                  [&tasks] {
                      tasks.setFilterExpireFrom(QString());
                      tasks.setFilterExpireTo(QString());
                  }});
    const auto clearName = [&tasks] {
        tasks.setFilterName(QString());
    };
    for (const Search &search : kSearches) {
        const QString text = QString::fromUtf8(search.text);
        const auto setName = [&tasks, text] {
            tasks.setFilterName(text);
        };
        const QString name = QStringLiteral("tasks/search/%1").arg(QLatin1String(search.label));
        cases.append({name, firstPage, setName, clearName});
        // As the user types it after a cleared field: counted anew, then the first page.
        cases.append({name + QStringLiteral("/typed"), setName, {}, clearName, clearName});
    }
    return cases;
}

// Each density word as typed (the count read anew: the text before it is another one) and the pages
// that follow with the count known, in the default order.
//
// Typed, every share: the candidates of the search index are counted (up to 32 per table page a list
// may read) with their lowest and highest id, and the user's tasks of matching customers:
//   file:   SCALAR SUBQUERY: SCAN task_search VIRTUAL TABLE INDEX 0:M2 (64:M2, 192:M2 for the ends);
//           SEARCH tasks USING COVERING INDEX idx_tasks_user_customer (user_id=? AND customer_id=?)
//   server: for a user who holds under a quarter of the tasks, the statistics of the names (pg_stats)
//           estimate the word's share first; unless it is in a large share of the user's tasks, the
//           user's own matches are read with their keys, up to the list's limit: Limit -> Append -> Subquery
//           Scan -> Bitmap Heap Scan on tasks
//           -> Bitmap Index Scan on idx_tasks_user_trigrams (each user's trigrams), and Bitmap Heap
//           Scan on tasks -> Bitmap Index Scan on idx_tasks_id_trgm (id text); below the limit they are
//           the list, otherwise the count. Else every user's candidates are probed, planned as if all
//           were read: Limit -> CTE Scan on c, CTE c -> Bitmap Heap Scan -> BitmapOr
//           (idx_tasks_name_trgm, idx_tasks_id_trgm), or Seq Scan on tasks (Filter: ILIKE) for a word
//           the statistics put in a large share; it also counts the user's rows among them
// Few table pages (0.01 %, 0.1 %, 1 % clustered on the file): every match is listed once, sorted here,
// and each page reads its 25 rows by id:
//   file:   SEARCH tasks USING INTEGER PRIMARY KEY (rowid=?) + LIST SUBQUERY: SCAN task_search ...
//           UNION ALL SEARCH tasks USING INDEX idx_tasks_user_customer; pages: SEARCH tasks USING
//           INTEGER PRIMARY KEY (rowid=?)
//   server: the user's matches above, or Bitmap Heap Scan on tasks (Filter: user_id) -> BitmapOr of
//           both trigram indexes
// Otherwise the count stops at the cap (300) and the pages walk the index of the order:
//   file:   count: SCAN task_search VIRTUAL TABLE + SEARCH tasks USING INTEGER PRIMARY KEY, or in a
//           file of many users SEARCH own USING COVERING INDEX idx_tasks_user (user_id=? AND id=?)
//           before the table, or SEARCH tasks USING COVERING INDEX idx_tasks_name_asc (user_id=?)
//           where the cap comes sooner there;
//           page: the creation times follow the ids (task_creation_order), so the search index is
//           read in id order from the ids of the page's edge, found by SEARCH tasks USING COVERING
//           INDEX idx_tasks_created_asc (user_id=? AND create_at=?): SCAN task_search VIRTUAL TABLE
//           INDEX 192:M2>< (rowid bounds, ORDER BY rowid) + SEARCH tasks USING INTEGER PRIMARY KEY
//           (in a file of many users after SEARCH own USING COVERING INDEX idx_tasks_user), and the
//           tasks of matching customers apart: SEARCH tasks USING COVERING INDEX
//           idx_tasks_user_customer (user_id=? AND customer_id=? AND rowid>? AND rowid<?), sorted;
//           without that order: SEARCH tasks USING INDEX idx_tasks_created_asc (user_id=? AND
//           create_at>?) read backwards + SEARCH customers USING INTEGER PRIMARY KEY LEFT-JOIN
//   server: the blocks of 1024 ids whose Bloom filter may hold the word are listed once, after a
//           sample of about 128 blocks: Seq Scan on task_search_blocks (Filter: user_id, block % n),
//           each of the word's bits (at most 16) read by get_bit. The count reads the user's matches
//           above, or Limit -> Seq Scan on tasks (Filter: user_id, ILIKE), or the bitmap of both
//           trigram indexes for rarer words. Where the blocks leave out a quarter and the creation
//           times follow the ids (task_creation_order), the pages read the edges block by block in
//           order, stopping at the page (Limit -> Nested Loop -> Function Scan on unnest, Index Scan
//           using tasks_pkey for the block's ids), and the rows by id; otherwise Limit -> Nested Loop
//           Left Join -> Index Scan using idx_tasks_created_desc, Index Scan using customers_pkey. A jump
//           far into such a search (the last page), where the statistics of the names make its word
//           rare, lists the first 301 matches once instead: Limit -> Sort (top-N heapsort) -> WindowAgg
//           -> Limit -> Bitmap Heap Scan on tasks -> BitmapOr of both trigram indexes (of the user's
//           trigrams for a user of few tasks), and the user's tasks of matching customers by
//           idx_tasks_user_customer; each page then reads its rows by id
// Typed with a mark ("dingo~", which nothing matches): the search index holds the word without the mark,
// so that every task of the word is a candidate; the file's index holds the mark and has none.
//   server: the blocks above are tested first, for any text with a character other than a letter or
//           digit (unless the user's own candidates are read: their index holds the mark); where at most 8
//           may hold it, the user's matches are read from those blocks (Nested Loop -> Function Scan on
//           unnest, Index Scan using tasks_pkey) and listed
// A member of the team reads the same plans only once lower, textlike, texticlike, int4out, textin,
// arraycontains and duevia_user_trigrams are LEAKPROOF (ServerAccess::rowSafeFunctionsStatement());
// before, row-level security turns the search into a Parallel Seq Scan on tasks, and the user's
// matches are not read apart.
QList<BenchCase> densityCases(BenchDatabase &bench)
{
    TaskService &tasks = bench.tasks();
    QList<BenchCase> cases;
    const auto clear = [&tasks] {
        tasks.setFilterName(QString());
    };
    for (const Density &density : kDensities) {
        for (const bool clustered : {false, true}) {
            const QString word = QString::fromLatin1(clustered ? density.clustered : density.spread);
            const QString name = QStringLiteral("tasks/search/%1:%2/")
                                     .arg(clustered ? QStringLiteral("clustered") : QStringLiteral("spread"),
                                          QLatin1String(density.share));
            const auto search = [&tasks, word] {
                tasks.setFilterName(word);
            };
            cases.append({name + QStringLiteral("typed"), search, {}, clear, [&tasks, word] {
                              tasks.setFilterName(word + QStringLiteral("~"));
                          }});
            // The word and a mark that no task holds after it: the trigram indexes leave the mark out.
            cases.append({name + QStringLiteral("typedMark"),
                          [&tasks, word] { tasks.setFilterName(word + QStringLiteral("~")); },
                          {},
                          clear,
                          search});
            cases.append({name + QStringLiteral("nextPage"),
                          [&tasks] { tasks.loadPage(tasks.currentPage() + 1); }, search, clear,
                          [&tasks] {
                              if (tasks.currentPage() >= std::min(tasks.totalPages(), 50))
                                  tasks.loadPage(1);
                          }});
            cases.append({name + QStringLiteral("previousPage"),
                          [&tasks] { tasks.loadPage(tasks.currentPage() - 1); },
                          [&tasks, word] {
                              tasks.setFilterName(word);
                              tasks.loadPage(std::min(tasks.totalPages(), 50));
                          },
                          clear,
                          [&tasks] {
                              if (tasks.currentPage() <= 1)
                                  tasks.loadPage(std::min(tasks.totalPages(), 50));
                          }});
            // The first jump after the search was typed: what the planner keeps of one jump serves
            // the next ones.
            cases.append({name + QStringLiteral("lastPage"), [&tasks] { tasks.loadPage(tasks.totalPages()); },
                          search, clear,
                          [&tasks, word] {
                              tasks.setFilterName(word + QStringLiteral("~"));
                              tasks.setFilterName(word);
                          }});
        }
    }
    return cases;
}

QList<BenchCase> insightCases(BenchDatabase &bench)
{
    TaskService &tasks = bench.tasks();
    const QDateTime now = QDateTime::currentDateTime();
    const QString yearFrom = localMinute(now.addMonths(-6));
    const QString yearTo = localMinute(now.addMonths(6));
    const QDate today = now.date();
    // The six weeks a month grid shows.
    const QString gridFrom = today.addDays(1 - today.day()).toString(QStringLiteral("yyyy-MM-dd"));
    const QString gridTo = today.addDays(42 - today.day()).toString(QStringLiteral("yyyy-MM-dd"));
    return {
        {QStringLiteral("tasks/nextDueTask"),
         [&tasks] {
             benchmark::DoNotOptimize(tasks.nextDueTask(10));
         }},
        {QStringLiteral("tasks/statistics/default"),
         [&tasks] {
             tasks.loadStatistics();
         }},
        {QStringLiteral("tasks/statistics/oneYear"),
         [&tasks, yearFrom, yearTo] {
             tasks.loadStatistics(yearFrom, yearTo);
         }},
        {QStringLiteral("tasks/calendar/sixWeeks"),
         [&tasks, gridFrom, gridTo] {
             tasks.loadTasksForRange(gridFrom, gridTo);
         }},
    };
}

// Each save with the reload it causes, on the first page of the default view; the file ends as it was.
QList<BenchCase> saveCases(BenchDatabase &bench)
{
    TaskService &tasks = bench.tasks();
    const QDateTime due = QDateTime::currentDateTime().addDays(3);
    auto create = [&tasks, due] {
        tasks.createTask(QStringLiteral("Benchmark task"), due, false, 40, 1);
    };
    auto created = std::make_shared<int>(0);
    // The newest row of the file is the one just created.
    auto createNew = [&bench, create, created] {
        create();
        *created = bench.scalar(QStringLiteral("SELECT MAX(id) FROM tasks")).toInt();
    };
    auto shown = std::make_shared<QVariantMap>();
    auto showFirst = [&tasks, &bench, shown] {
        tasks.loadPage(1);
        *shown = tasks.taskById(bench.taskModel().taskIdAt(0));
    };
    auto dropCreated = [&tasks, created] {
        if (*created)
            tasks.deleteTask(std::exchange(*created, 0));
    };
    auto restoreShown = [&tasks, shown] {
        const QVariantMap &t = *shown;
        tasks.updateTask(t[QStringLiteral("taskId")].toInt(), t[QStringLiteral("name")].toString(),
                         t[QStringLiteral("active")].toBool(), t[QStringLiteral("expireAt")].toDateTime(),
                         t[QStringLiteral("level")].toInt(), t[QStringLiteral("customerId")].toInt(),
                         t[QStringLiteral("notes")].toString());
    };
    return {
        {QStringLiteral("save/create"), createNew, [&tasks] { tasks.loadPage(1); }, dropCreated, dropCreated},
        {QStringLiteral("save/update"),
         [&tasks, shown] {
             const QVariantMap &t = *shown;
             static int round = 0;
             tasks.updateTask(t[QStringLiteral("taskId")].toInt(),
                              t[QStringLiteral("name")].toString() + QString::number(++round % 2),
                              t[QStringLiteral("active")].toBool(),
                              t[QStringLiteral("expireAt")].toDateTime(), t[QStringLiteral("level")].toInt(),
                              t[QStringLiteral("customerId")].toInt(), t[QStringLiteral("notes")].toString());
         },
         showFirst, restoreShown},
        {QStringLiteral("save/done"),
         [&tasks, &bench] {
             tasks.updateTaskDone(bench.taskModel().taskIdAt(0), !bench.taskModel().activeAt(0));
         },
         showFirst, restoreShown},
        {QStringLiteral("save/delete"), [&tasks, created] { tasks.deleteTask(std::exchange(*created, 0)); },
         [&tasks] { tasks.loadPage(1); }, dropCreated, createNew},
    };
}

} // namespace

QList<BenchCase> taskCases(BenchDatabase &bench)
{
    QList<BenchCase> cases =
        pageCases(bench) + filterCases(bench) + densityCases(bench) + insightCases(bench) + saveCases(bench);
    DbManager *db = bench.db();
    cases.append({QStringLiteral("login"), [db] {
                      AuthService auth(db);
                      benchmark::DoNotOptimize(
                          auth.login(QStringLiteral("bench"), QStringLiteral("password123")));
                  }});
    return cases;
}
