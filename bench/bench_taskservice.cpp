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
// is "Halvorsen Marine".
const Search kSearches[] = {
    {"1char", "7"},       {"2chars", "42"},        {"3chars", "inv"},
    {"6chars", "contra"}, {"rareWord", "quetzal"}, {"customerName", "Halvorsen"},
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
    for (const Search &search : kSearches) {
        const QString text = QString::fromUtf8(search.text);
        cases.append({QStringLiteral("tasks/search/%1").arg(QLatin1String(search.label)), firstPage,
                      [&tasks, text] { tasks.setFilterName(text); },
                      [&tasks] {
                          tasks.setFilterName(QString());
                      }});
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
    QList<BenchCase> cases = pageCases(bench) + filterCases(bench) + insightCases(bench) + saveCases(bench);
    DbManager *db = bench.db();
    cases.append({QStringLiteral("login"), [db] {
                      AuthService auth(db);
                      benchmark::DoNotOptimize(
                          auth.login(QStringLiteral("bench"), QStringLiteral("password123")));
                  }});
    return cases;
}
