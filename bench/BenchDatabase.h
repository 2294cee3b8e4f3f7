#pragma once

#include "services/AuthService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// A throw-away database and settings store with a signed-in account "bench" for the benchmarks.
class BenchDatabase
{
public:
    BenchDatabase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           m_dir.filePath(QStringLiteral("config")));
        m_db.open(m_dir.filePath(QStringLiteral("bench.db")));
        m_db.ensureSchema();
        m_auth.registerUser(QStringLiteral("other"), QStringLiteral("password123"), QStringLiteral("Other"));
        m_auth.registerUser(QStringLiteral("bench"), QStringLiteral("password123"), QStringLiteral("Bench"));
        m_auth.login(QStringLiteral("bench"), QStringLiteral("password123"));
    }

    // After the rows are in: the program's indexes (unless DUEVIA_BENCH_NO_INDEXES is set, to compare)
    // and fresh planner statistics.
    void finishLoading()
    {
        if (!qEnvironmentVariableIsSet("DUEVIA_BENCH_NO_INDEXES"))
            m_db.ensureIndexes();
        QSqlQuery(m_db.database()).exec(QStringLiteral("ANALYZE"));
    }

    DbManager *db() { return &m_db; }
    AuthService *auth() { return &m_auth; }
    int otherUserId() const { return m_auth.userId() == 1 ? 2 : 1; }

private:
    QTemporaryDir m_dir;
    DbManager m_db;
    AuthService m_auth{&m_db};
};

// The benchmarks' main: Qt's SQL driver wants an application object, then Google Benchmark runs.
inline int runBenchmarks(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
