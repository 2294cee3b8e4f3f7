// Cost of the task service's queries over years of tasks: a page load, the due-soon poll, the
// statistics and a calendar month. The program's indexes are created as at start-up; to compare
// without them, set DUEVIA_BENCH_NO_INDEXES=1.
#include "BenchDatabase.h"

#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kTasks = 50000;
constexpr int kOtherUserTasks = 10000;
constexpr int kYears = 5;

// Five years of tasks around today for the signed-in user, and fewer for a second account.
class TaskArchive
{
public:
    TaskArchive()
    {
        fill(m_bench.auth()->userId(), kTasks);
        fill(m_bench.otherUserId(), kOtherUserTasks);
        m_bench.finishLoading();
        m_service = std::make_unique<TaskService>(m_bench.db(), m_bench.auth(), &m_model);
    }

    TaskService &service() { return *m_service; }

private:
    void fill(int userId, int count)
    {
        QSqlDatabase connection = m_bench.db()->database();
        connection.transaction();
        QSqlQuery insert(connection);
        insert.prepare(QStringLiteral(
            "INSERT INTO tasks (user_id, customer_id, name, notes, level, active, expire_at, expire_at_epoch,"
            " create_at) VALUES (:uid, :customer, :name, 'notes', :level, :active, :expire, :epoch, "
            ":create)"));
        QRandomGenerator random(userId);
        const QDateTime start = QDateTime::currentDateTimeUtc().addYears(-kYears / 2 - 1);
        const qint64 span = qint64(kYears) * 365 * 86400;
        for (int i = 0; i < count; ++i) {
            const QDateTime expiry = start.addSecs(span * i / count);
            insert.bindValue(QStringLiteral(":uid"), userId);
            insert.bindValue(QStringLiteral(":customer"), int(random.bounded(200)));
            insert.bindValue(QStringLiteral(":name"), QStringLiteral("Task %1").arg(i));
            insert.bindValue(QStringLiteral(":level"), int(random.bounded(1, 101)));
            insert.bindValue(QStringLiteral(":active"), expiry < QDateTime::currentDateTimeUtc() ? 1 : 0);
            insert.bindValue(QStringLiteral(":expire"), expiry);
            insert.bindValue(QStringLiteral(":epoch"), expiry.toSecsSinceEpoch());
            insert.bindValue(QStringLiteral(":create"),
                             expiry.addDays(-7).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            insert.exec();
        }
        insert.finish();
        connection.commit();
    }

    BenchDatabase m_bench;
    TaskTableModel m_model;
    std::unique_ptr<TaskService> m_service;
};

TaskArchive &archive()
{
    static TaskArchive instance;
    return instance;
}

// Arguments: the sort column, and whether a name filter is set.
void BM_LoadPage(benchmark::State &state)
{
    TaskService &service = archive().service();
    service.setPageSize(25);
    service.setFilterName(state.range(1) ? QStringLiteral("7") : QString());
    service.sort(int(state.range(0)), Qt::DescendingOrder);
    for (auto _ : state)
        service.loadPage(10);
    service.setFilterName(QString());
}
BENCHMARK(BM_LoadPage)->Args({5, 0})->Args({4, 0})->Args({1, 0})->Args({4, 1})->Unit(benchmark::kMillisecond);

void BM_NextDueTask(benchmark::State &state)
{
    TaskService &service = archive().service();
    for (auto _ : state)
        benchmark::DoNotOptimize(service.nextDueTask(10));
}
BENCHMARK(BM_NextDueTask)->Unit(benchmark::kMicrosecond);

void BM_LoadStatisticsDefaultWindow(benchmark::State &state)
{
    TaskService &service = archive().service();
    for (auto _ : state)
        service.loadStatistics();
}
BENCHMARK(BM_LoadStatisticsDefaultWindow)->Unit(benchmark::kMillisecond);

void BM_LoadStatisticsOneYear(benchmark::State &state)
{
    TaskService &service = archive().service();
    const QDateTime now = QDateTime::currentDateTime();
    const QString from = now.addMonths(-6).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QString to = now.addMonths(6).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    for (auto _ : state)
        service.loadStatistics(from, to);
}
BENCHMARK(BM_LoadStatisticsOneYear)->Unit(benchmark::kMillisecond);

// The six weeks a month grid shows.
void BM_LoadTasksForRange(benchmark::State &state)
{
    TaskService &service = archive().service();
    const QDate today = QDate::currentDate();
    const QString from = today.addDays(-today.day()).toString(QStringLiteral("yyyy-MM-dd"));
    const QString to = today.addDays(42 - today.day()).toString(QStringLiteral("yyyy-MM-dd"));
    for (auto _ : state)
        service.loadTasksForRange(from, to);
}
BENCHMARK(BM_LoadTasksForRange)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
