// Time of sync passes against a local CalDAV server (scripts/bench-sync.sh starts Radicale and names
// it in DUEVIA_BENCH_CALDAV, its storage folder in DUEVIA_BENCH_CALDAV_STORAGE): a pass with nothing
// changed, a pass with one change each way, and first syncs of DUEVIA_BENCH_SYNC_TASKS tasks
// (default 10,000) from the server and of DUEVIA_BENCH_SYNC_PUSH tasks (default 1,000) to it. Each
// pass is the whole job of the sync thread: its own connection, its own network access.
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"
#include "sync/CalDavClient.h"
#include "sync/SyncEngine.h"
#include "sync/VTodoText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QString server()
{
    return qEnvironmentVariable("DUEVIA_BENCH_CALDAV");
}

int envCount(const char *name, int fallback)
{
    const int count = qEnvironmentVariableIntValue(name);
    return count > 0 ? count : fallback;
}

// A fresh task list on the server, named by a new UUID; empty on failure.
QString makeList()
{
    QNetworkAccessManager network;
    CalDavClient client(&network);
    client.setAccount(QUrl(server()), QStringLiteral("bench"), QStringLiteral("bench"));
    QList<CalDavClient::Collection> lists;
    client.discover(lists);
    CalDavClient::Collection created;
    return client.makeCalendar(QUuid::createUuid().toString(QUuid::WithoutBraces), created).ok()
               ? created.url.toString()
               : QString();
}

// A list written straight into the server's storage (the server's own PUT takes time in proportion
// to the size of the list, so a benchmark cannot fill it that way).
QString seededList(int count)
{
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString dir =
        qEnvironmentVariable("DUEVIA_BENCH_CALDAV_STORAGE") + "/collection-root/bench/" + name;
    QDir().mkpath(dir);
    QFile props(dir + "/.Radicale.props");
    props.open(QIODevice::WriteOnly);
    props.write(R"({"tag": "VCALENDAR"})");
    for (int i = 0; i < count; ++i) {
        QFile file(QStringLiteral("%1/t%2.ics").arg(dir).arg(i));
        file.open(QIODevice::WriteOnly);
        SyncTaskFields fields;
        fields.name = QStringLiteral("Task %1 for the quarterly review").arg(i);
        fields.expireAt = QDateTime::currentDateTimeUtc().addSecs(qint64(i) * 900);
        fields.level = i % 100 + 1;
        file.write(VTodoText::create(QStringLiteral("t%1").arg(i), fields, QDateTime::currentDateTimeUtc()));
    }
    return QUrl(server()).resolved(QUrl("/bench/" + name + "/")).toString();
}

class Device
{
public:
    explicit Device(const QString &list) : m_db(QUuid::createUuid().toString())
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("config"));
        m_db.open(m_dir.filePath("bench.db"));
        m_db.ensureSchema();
        m_db.ensureIndexes();
        m_auth.registerUser("bench", "password123", "Bench");
        m_auth.login("bench", "password123");
        SyncStore(m_db.database(), m_auth.userId()).saveAccount({server(), "bench", list, "Bench", {}, {}});
    }
    QVariantMap sync()
    {
        SyncEngine engine({SyncEngine::Operation::Sync,
                           m_db.target(),
                           m_auth.userId(),
                           server(),
                           "bench",
                           "bench",
                           {},
                           600000});
        return engine.execute();
    }
    void addTasks(int count)
    {
        QSqlDatabase db = m_db.database();
        db.transaction();
        for (int i = 0; i < count; ++i)
            m_tasks.createTask(QStringLiteral("Local %1").arg(i), QDateTime::currentDateTimeUtc(), false, 30);
        db.commit();
    }
    TaskService &tasks() { return m_tasks; }
    SyncStore store() { return SyncStore(m_db.database(), m_auth.userId()); }

private:
    QTemporaryDir m_dir;
    DbManager m_db;
    AuthService m_auth{&m_db};
    TaskTableModel m_model;
    TaskService m_tasks{&m_db, &m_auth, &m_model};
};

bool report(benchmark::State &state, const QVariantMap &result)
{
    if (!result.value("error").toString().isEmpty()) {
        state.SkipWithError(result.value("text").toString().toUtf8().constData());
        return false;
    }
    state.counters["requests"] = result.value("requests").toDouble();
    state.counters["pulled"] = result.value("pulled").toDouble();
    state.counters["pushed"] = result.value("pushed").toDouble();
    return true;
}

void BM_SyncNothingChanged(benchmark::State &state)
{
    Device device(makeList());
    device.addTasks(100);
    device.sync();
    device.sync();
    for (auto _ : state)
        report(state, device.sync());
}
BENCHMARK(BM_SyncNothingChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SyncOneChangeEachWay(benchmark::State &state)
{
    const QString list = makeList();
    Device device(list);
    Device other(list);
    device.addTasks(100);
    device.sync();
    other.sync();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // One task changed here, another one by the other device and sent to the server.
        device.tasks().createTask(QStringLiteral("Here %1").arg(round), QDateTime::currentDateTimeUtc());
        other.tasks().createTask(QStringLiteral("There %1").arg(round++), QDateTime::currentDateTimeUtc());
        other.sync();
        state.ResumeTiming();
        report(state, device.sync());
    }
}
BENCHMARK(BM_SyncOneChangeEachWay)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FirstSyncFromServer(benchmark::State &state)
{
    const int count = envCount("DUEVIA_BENCH_SYNC_TASKS", 10000);
    const QString list = seededList(count);
    // The server reads a list it has never served once, for every reader alike.
    Device(list).sync();
    for (auto _ : state) {
        state.PauseTiming();
        auto device = std::make_unique<Device>(list);
        state.ResumeTiming();
        report(state, device->sync());
    }
}
BENCHMARK(BM_FirstSyncFromServer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(1);

void BM_FirstSyncToServer(benchmark::State &state)
{
    const int count = envCount("DUEVIA_BENCH_SYNC_PUSH", 1000);
    for (auto _ : state) {
        state.PauseTiming();
        auto device = std::make_unique<Device>(makeList());
        device->addTasks(count);
        state.ResumeTiming();
        report(state, device->sync());
    }
}
BENCHMARK(BM_FirstSyncToServer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (server().isEmpty()) {
        fprintf(stderr, "DUEVIA_BENCH_CALDAV is not set: run scripts/bench-sync.sh\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
