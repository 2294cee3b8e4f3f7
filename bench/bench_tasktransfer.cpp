// Time of the task transfers over 100,000 tasks of the signed-in user (set DUEVIA_BENCH_TASKS to
// change the size): iCalendar and CSV export of all tasks, import of an exported file into a second
// account, and a backup of the file. Each case runs the whole job on the worker thread, as the
// settings dialog does, and waits for its end. The floors beside them: libical parsing the exported
// file, the same rows inserted in one transaction, and the exported text written to a file.
#include "BenchDatabase.h"
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <QSqlDatabase>

#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <algorithm>
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
    // An export of all tasks, made once.
    QString exported()
    {
        const QUrl url = file(QStringLiteral("import.ics"));
        if (!QFile::exists(url.toLocalFile()))
            run([&](TaskTransferService &t) { return t.exportCalendar(url); });
        return url.toLocalFile();
    }
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

// Import into a second account that holds none of the tasks yet. On Linux also the growth of the
// peak resident memory over the import, against the file's size.
void BM_ImportCalendar(benchmark::State &state)
{
    TransferFixture &f = fixture();
    const QUrl source = QUrl::fromLocalFile(f.exported());
    AuthService *auth = &f.auth();
    auth->registerUser(QStringLiteral("second"), QStringLiteral("password123"), QStringLiteral("Second"));
    auth->login(QStringLiteral("second"), QStringLiteral("password123"));
    for (auto _ : state) {
        state.PauseTiming();
        // Every run imports into the file as the first one found it: the deleted rows of the run
        // before leave neither free pages nor deletion marks in the search index behind.
        QSqlQuery reset(f.db().database());
        reset.exec(QStringLiteral("DELETE FROM tasks WHERE user_id = %1").arg(auth->userId()));
        if (!reset.exec(QStringLiteral("INSERT INTO task_search (task_search) VALUES ('optimize')")) ||
            !reset.exec(QStringLiteral("VACUUM")))
            state.SkipWithError("the file could not be compacted");
#ifdef Q_OS_LINUX
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const qint64 before = memoryKiB("VmRSS:");
#endif
        state.ResumeTiming();
        report(state, f.run([&](TaskTransferService &t) { return t.importCalendar(source); }));
#ifdef Q_OS_LINUX
        state.counters["rss_growth_mb"] = double(memoryKiB("VmHWM:") - before) / 1024;
        state.counters["file_mb"] = double(QFileInfo(source.toLocalFile()).size()) / (1 << 20);
#endif
    }
    auth->login(QStringLiteral("bench"), QStringLiteral("password123"));
}
BENCHMARK(BM_ImportCalendar)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Floor of the import's reading: libical parsing the exported file as one tree.
void BM_ParseOnly(benchmark::State &state)
{
    TransferFixture &f = fixture();
    QFile file(f.exported());
    for (auto _ : state) {
        file.open(QIODevice::ReadOnly);
        const QByteArray text = file.readAll();
        file.close();
        icalcomponent *root = icalparser_parse_string(text.constData());
        state.counters["tasks"] = root ? icalcomponent_count_components(root, ICAL_VTODO_COMPONENT) : 0;
        icalcomponent_free(root);
    }
}
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Floors of the import's writing: the same rows and columns inserted in one transaction through one
// prepared statement, into the tasks of a new account (with the schema's indexes and triggers) or into
// a table of the same columns without either.
void insertRows(benchmark::State &state, bool plain)
{
    TransferFixture &f = fixture();
    QSqlDatabase db = f.db().database();
    QList<QVariantList> rows;
    QSqlQuery read(db);
    read.setForwardOnly(true);
    read.exec(QStringLiteral("SELECT name, active, notes, expire_at, expire_at_epoch, level, customer_id"
                             " FROM tasks WHERE user_id = 1 ORDER BY id"));
    while (read.next())
        rows.append({read.value(0), read.value(1), read.value(2), read.value(3), read.value(4), read.value(5),
                     read.value(6)});
    read.finish();
    // Made by the first of the two cases.
    f.auth().registerUser(QStringLiteral("floor"), QStringLiteral("password123"), QStringLiteral("Floor"));
    QSqlQuery user(db);
    user.exec(QStringLiteral("SELECT id FROM users WHERE username = 'floor'"));
    const int owner = user.next() ? user.value(0).toInt() : -1;
    user.finish();
    const QString table = plain ? QStringLiteral("plain_tasks") : QStringLiteral("tasks");
    if (plain)
        QSqlQuery(db).exec(QStringLiteral("CREATE TABLE IF NOT EXISTS plain_tasks (id INTEGER PRIMARY KEY,"
                                          " user_id INTEGER, name TEXT, active INTEGER, notes TEXT,"
                                          " expire_at TEXT, expire_at_epoch INTEGER, level INTEGER,"
                                          " customer_id INTEGER)"));
    constexpr int batch = 500;
    const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?)");
    const QString statement = QStringLiteral("INSERT INTO %1 (user_id, name, active, notes, expire_at,"
                                             " expire_at_epoch, level, customer_id) VALUES ")
                                  .arg(table);
    for (auto _ : state) {
        state.PauseTiming();
        QSqlQuery(db).exec(QStringLiteral("DELETE FROM %1 WHERE user_id = %2").arg(table).arg(owner));
        state.ResumeTiming();
        if (!QSqlQuery(db).exec(QStringLiteral("BEGIN IMMEDIATE")))
            state.SkipWithError("no transaction");
        QSqlQuery insert(db);
        insert.prepare(statement + QStringList(batch, row).join(QStringLiteral(", ")));
        for (qsizetype from = 0; from < rows.size(); from += batch) {
            const qsizetype count = std::min<qsizetype>(batch, rows.size() - from);
            if (count < batch)
                insert.prepare(statement + QStringList(int(count), row).join(QStringLiteral(", ")));
            int value = 0;
            for (qsizetype i = from; i < from + count; ++i) {
                insert.bindValue(value++, owner);
                for (const QVariant &cell : rows.at(i))
                    insert.bindValue(value++, cell);
            }
            if (!insert.exec())
                state.SkipWithError("insert failed");
        }
        QSqlQuery(db).exec(QStringLiteral("COMMIT"));
        state.counters["tasks"] = double(rows.size());
    }
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM %1 WHERE user_id = %2").arg(table).arg(owner));
}

void BM_InsertOnly(benchmark::State &state)
{
    insertRows(state, false);
}
BENCHMARK(BM_InsertOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_InsertPlain(benchmark::State &state)
{
    insertRows(state, true);
}
BENCHMARK(BM_InsertPlain)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// What the export reads: the rows of all tasks through the same query, every value taken.
void BM_ReadOnly(benchmark::State &state)
{
    TransferFixture &f = fixture();
    for (auto _ : state) {
        QSqlQuery query(f.db().database());
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.level,"
                                  " tasks.expire_at_epoch, tasks.expire_at, tasks.create_at, customers.name"
                                  " FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                                  " WHERE tasks.user_id = 1 ORDER BY tasks.id"));
        qint64 size = 0;
        while (query.next()) {
            for (int i = 0; i < 9; ++i)
                size += query.value(i).toString().size();
        }
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Floor of the export: the exported text written to a file of its own.
void BM_WriteOnly(benchmark::State &state)
{
    TransferFixture &f = fixture();
    QFile source(f.exported());
    source.open(QIODevice::ReadOnly);
    const QByteArray text = source.readAll();
    for (auto _ : state) {
        QFile file(f.file(QStringLiteral("copy.ics")).toLocalFile());
        file.open(QIODevice::WriteOnly);
        file.write(text);
        file.close();
    }
}
BENCHMARK(BM_WriteOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

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
