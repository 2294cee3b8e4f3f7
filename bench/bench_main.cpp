// Times the program's interactions through its real classes on a generated database file.
//
// Usage: duevia-bench --data=FILE [--facts=FILE] [--keep=FILE] [Google Benchmark flags]
//        duevia-bench --server=CONNINFO [--create-only=yes] [--facts=FILE] [Google Benchmark flags]
// --data names a file from scripts/bench-data.py (or DUEVIA_BENCH_FILE does); --server a PostgreSQL
// database that scripts/bench-postgres.sh loaded with the same data (--create-only=yes makes its tables). The
// facts file gets the one-time preparation time, the file sizes and the peak resident memory after the cases;
// --keep saves the prepared copy (to time the program's start-up on it).
#include "BenchDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSqlQuery>

#include <benchmark/benchmark.h>

namespace {

// Lets the peak count again from the present size (Linux: writing 5 to clear_refs).
void resetPeakMemory()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void runCase(benchmark::State &state, const BenchCase &benchCase)
{
    if (benchCase.setup)
        benchCase.setup();
    for (auto _ : state) {
        if (benchCase.before) {
            state.PauseTiming();
            benchCase.before();
            state.ResumeTiming();
        }
        benchCase.run();
    }
    if (benchCase.teardown)
        benchCase.teardown();
    // Whatever the interaction handed to other threads reports back now, as the window would see it.
    QCoreApplication::processEvents();
}

QString takeOption(int &argc, char **argv, const char *name)
{
    QString value;
    for (int i = 1; i < argc; ++i) {
        if (qstrncmp(argv[i], name, qstrlen(name)) == 0) {
            value = QString::fromLocal8Bit(argv[i] + qstrlen(name));
            for (int j = i; j < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            break;
        }
    }
    return value;
}

} // namespace

BenchDatabase::BenchDatabase(const QString &source, const QString &keep)
    : m_dir(QFileInfo(source).absolutePath() + QStringLiteral("/run-XXXXXX"))
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       m_dir.filePath(QStringLiteral("config")));
    const QString copy = m_dir.filePath(QStringLiteral("bench.db"));
    if (!m_dir.isValid() || !prepareCopy(source, copy, keep) || !m_db.open(copy))
        return;
    // The start-up of a file that is already prepared.
    m_db.ensureSchema();
    m_db.ensureIndexes();
    m_ready = signIn();
}

std::unique_ptr<BenchDatabase> BenchDatabase::onServer(const QString &server)
{
    std::unique_ptr<BenchDatabase> bench(new BenchDatabase);
    QElapsedTimer timer;
    timer.start();
    if (bench->m_db.openServer(server) && bench->m_db.ensureSchema() && bench->m_db.ensureIndexes()) {
        bench->m_prepareMilliseconds = timer.nsecsElapsed() / 1e6;
        bench->m_ready = bench->signIn();
    }
    return bench;
}

bool BenchDatabase::signIn()
{
    if (!m_auth.login(QStringLiteral("bench"), QStringLiteral("password123")))
        return false;
    m_tasks = std::make_unique<TaskService>(&m_db, &m_auth, &m_taskModel);
    m_customers = std::make_unique<CustomerService>(&m_db, &m_auth, &m_customerModel);
    m_tasks->setPageSize(25);
    m_customers->setPageSize(100);
    return true;
}

bool BenchDatabase::prepareCopy(const QString &source, const QString &copy, const QString &keep)
{
    m_sourceBytes = QFileInfo(source).size();
    if (!QFile::copy(source, copy))
        return false;
    resetPeakMemory();
    {
        // Its own connection, closed afterwards as at the end of the program's first run.
        DbManager first;
        QElapsedTimer timer;
        timer.start();
        if (!first.open(copy))
            return false;
        first.ensureSchema();
        if (!first.ensureIndexes())
            return false;
        m_prepareMilliseconds = timer.nsecsElapsed() / 1e6;
        // Planner statistics gathered once, as a file in use for a while holds them;
        // DUEVIA_BENCH_NO_ANALYZE=1 times the file without them.
        if (!qEnvironmentVariableIsSet("DUEVIA_BENCH_NO_ANALYZE"))
            QSqlQuery(first.database()).exec(QStringLiteral("ANALYZE"));
    }
    m_prepareMemoryKiB = memoryKiB("VmHWM:");
    m_preparedBytes = QFileInfo(copy).size();
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        return QFile::copy(copy, keep);
    }
    return true;
}

QVariant BenchDatabase::scalar(const QString &sql)
{
    QSqlQuery query(m_db.database());
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString data = takeOption(argc, argv, "--data=");
    if (data.isEmpty())
        data = qEnvironmentVariable("DUEVIA_BENCH_FILE");
    const QString factsPath = takeOption(argc, argv, "--facts=");
    const QString keepPath = takeOption(argc, argv, "--keep=");
    const QString server = takeOption(argc, argv, "--server=");
    const bool createOnly = takeOption(argc, argv, "--create-only=") == QLatin1String("yes");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (createOnly) {
        DbManager db;
        const bool created = db.openServer(server) && db.ensureSchema() && db.ensureIndexes();
        if (!created)
            qCritical().noquote() << "The tables could not be made:" << db.errorText();
        return created ? 0 : 1;
    }
    if (server.isEmpty() && (data.isEmpty() || !QFileInfo::exists(data))) {
        qCritical(
            "Name a database file made by scripts/bench-data.py with --data=FILE, or --server=CONNINFO.");
        return 1;
    }

    std::unique_ptr<BenchDatabase> owned =
        server.isEmpty() ? std::make_unique<BenchDatabase>(data, keepPath) : BenchDatabase::onServer(server);
    BenchDatabase &bench = *owned;
    if (!bench.isReady()) {
        qCritical("The database could not be prepared or the account \"bench\" could not sign in.");
        return 1;
    }
    resetPeakMemory();
    for (const BenchCase &benchCase : taskCases(bench) + customerCases(bench)) {
        benchmark::RegisterBenchmark(benchCase.name.toStdString().c_str(),
                                     [benchCase](benchmark::State &state) { runCase(state, benchCase); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (!factsPath.isEmpty()) {
        QFile facts(factsPath);
        if (!facts.open(QIODevice::WriteOnly))
            return 1;
        const QJsonObject object{
            {QStringLiteral("prepare_ms"), bench.prepareMilliseconds()},
            {QStringLiteral("prepare_peak_kib"), bench.prepareMemoryKiB()},
            {QStringLiteral("source_bytes"), bench.sourceBytes()},
            {QStringLiteral("file_bytes"), bench.preparedBytes()},
            {QStringLiteral("peak_kib"), memoryKiB("VmHWM:")},
        };
        facts.write(QJsonDocument(object).toJson());
    }
    return 0;
}
