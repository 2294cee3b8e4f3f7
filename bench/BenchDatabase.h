#pragma once

#include "services/AuthService.h"
#include "storage/DbManager.h"

#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

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
