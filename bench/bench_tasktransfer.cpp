// Time of the task transfers over 100,000 tasks of the signed-in user (set DUEVIA_BENCH_TASKS to
// change the size): iCalendar and CSV export of all tasks, import of an exported file into a second
// account, and a backup of the file. Each case runs the whole job on the worker thread, as the
// settings dialog does, and waits for its end.
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

int taskCount()
{
    const int count = qEnvironmentVariableIntValue("DUEVIA_BENCH_TASKS");
    return count > 0 ? count : 100000;
}

class TransferFixture
{
public:
    TransferFixture()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        m_db.open(m_dir.filePath(QStringLiteral("bench.db")));
        m_db.ensureSchema();
        m_db.ensureIndexes();
        m_auth.registerUser(QStringLiteral("bench"), QStringLiteral("password123"), QStringLiteral("Bench"));
        m_auth.login(QStringLiteral("bench"), QStringLiteral("password123"));
        QSqlDatabase connection = m_db.database();
        connection.transaction();
        QSqlQuery(connection)
            .exec(QStringLiteral("INSERT INTO customers (user_id, name) VALUES (1, 'Acme, Inc.')"));
        QSqlQuery insert(connection);
        insert.prepare(QStringLiteral(
            "INSERT INTO tasks (user_id, customer_id, name, notes, level, active, expire_at, expire_at_epoch)"
            " VALUES (:uid, :customer, :name, :notes, :level, :active, :expire, :epoch)"));
        const QDateTime start = QDateTime::currentDateTimeUtc().addYears(-2);
        for (int i = 0; i < taskCount(); ++i) {
            const QDateTime expiry = start.addSecs(qint64(i) * 900);
            insert.bindValue(QStringLiteral(":uid"), m_auth.userId());
            insert.bindValue(QStringLiteral(":customer"), i % 3 == 0 ? 1 : 0);
            insert.bindValue(QStringLiteral(":name"),
                             QStringLiteral("Task %1 for the quarterly review").arg(i));
            insert.bindValue(QStringLiteral(":notes"),
                             QStringLiteral("Notes, with a comma; line one\nline two"));
            insert.bindValue(QStringLiteral(":level"), i % 100 + 1);
            insert.bindValue(QStringLiteral(":active"), i % 2);
            insert.bindValue(QStringLiteral(":expire"), expiry);
            insert.bindValue(QStringLiteral(":epoch"), expiry.toSecsSinceEpoch());
            insert.exec();
        }
        connection.commit();
        QSqlQuery(connection).exec(QStringLiteral("ANALYZE"));
        m_tasks = std::make_unique<TaskService>(&m_db, &m_auth, &m_model);
        m_transfer = std::make_unique<TaskTransferService>(&m_db, &m_auth, m_tasks.get());
    }

    // Starts a job through start and waits for its end; returns its result.
    template<typename Start> QVariantMap run(Start start)
    {
        QVariantMap result;
        QEventLoop loop;
        const auto connection =
            QObject::connect(m_transfer.get(), &TaskTransferService::finished, [&](const QVariantMap &r) {
                result = r;
                loop.quit();
            });
        if (start(*m_transfer))
            loop.exec();
        QObject::disconnect(connection);
        return result;
    }

    QUrl file(const QString &name) const { return QUrl::fromLocalFile(m_dir.filePath(name)); }
    DbManager &db() { return m_db; }
    AuthService &auth() { return m_auth; }

private:
    QTemporaryDir m_dir;
    DbManager m_db;
    AuthService m_auth{&m_db};
    TaskTableModel m_model;
    std::unique_ptr<TaskService> m_tasks;
    std::unique_ptr<TaskTransferService> m_transfer;
};

TransferFixture &fixture()
{
    static TransferFixture instance;
    return instance;
}

void report(benchmark::State &state, const QVariantMap &result)
{
    if (!result.value(QStringLiteral("error")).toString().isEmpty())
        state.SkipWithError(result.value(QStringLiteral("error")).toString().toUtf8().constData());
    state.counters["tasks"] =
        result.value(QStringLiteral("exported")).toInt() + result.value(QStringLiteral("imported")).toInt();
}

void BM_ExportCalendar(benchmark::State &state)
{
    TransferFixture &f = fixture();
    for (auto _ : state)
        report(state, f.run([&](TaskTransferService &t) {
            return t.exportCalendar(f.file(QStringLiteral("all.ics")));
        }));
}
BENCHMARK(BM_ExportCalendar)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_ExportCsv(benchmark::State &state)
{
    TransferFixture &f = fixture();
    for (auto _ : state)
        report(state,
               f.run([&](TaskTransferService &t) { return t.exportCsv(f.file(QStringLiteral("all.csv"))); }));
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Import into a second account that holds none of the tasks yet.
void BM_ImportCalendar(benchmark::State &state)
{
    TransferFixture &f = fixture();
    const QUrl source = f.file(QStringLiteral("import.ics"));
    f.run([&](TaskTransferService &t) { return t.exportCalendar(source); });
    AuthService *auth = &f.auth();
    auth->registerUser(QStringLiteral("second"), QStringLiteral("password123"), QStringLiteral("Second"));
    auth->login(QStringLiteral("second"), QStringLiteral("password123"));
    for (auto _ : state) {
        state.PauseTiming();
        QSqlQuery(f.db().database())
            .exec(QStringLiteral("DELETE FROM tasks WHERE user_id = %1").arg(auth->userId()));
        state.ResumeTiming();
        report(state, f.run([&](TaskTransferService &t) { return t.importCalendar(source); }));
    }
    auth->login(QStringLiteral("bench"), QStringLiteral("password123"));
}
BENCHMARK(BM_ImportCalendar)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_Backup(benchmark::State &state)
{
    TransferFixture &f = fixture();
    for (auto _ : state)
        report(state, f.run([&](TaskTransferService &t) {
            return t.backupDatabase(f.file(QStringLiteral("copy.db")));
        }));
}
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
