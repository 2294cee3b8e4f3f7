#pragma once

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

// VmHWM (the peak since the last reset) or VmRSS of this process, in KiB.
inline qint64 memoryKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// A working copy of a generated database file, prepared as the program's start-up prepares it, with
// the services over it and the account "bench" signed in; or a PostgreSQL database loaded with the same
// data (scripts/bench-postgres.sh), used in place.
class BenchDatabase
{
public:
    // keep, when set, receives a copy of the prepared file.
    explicit BenchDatabase(const QString &source, const QString &keep = QString());
    // server: a libpq connection string.
    static std::unique_ptr<BenchDatabase> onServer(const QString &server);

    bool isReady() const { return m_ready; }
    // The one-time build of what the file holds beside the four tables, on the fresh copy.
    double prepareMilliseconds() const { return m_prepareMilliseconds; }
    qint64 prepareMemoryKiB() const { return m_prepareMemoryKiB; }
    qint64 sourceBytes() const { return m_sourceBytes; }
    qint64 preparedBytes() const { return m_preparedBytes; }

    DbManager *db() { return &m_db; }
    TaskService &tasks() { return *m_tasks; }
    TaskTableModel &taskModel() { return m_taskModel; }
    CustomerService &customers() { return *m_customers; }
    CustomerTableModel &customerModel() { return m_customerModel; }
    // A scalar of a statement without parameters, for the cases' bookkeeping.
    QVariant scalar(const QString &sql);

private:
    BenchDatabase() = default;
    bool signIn();
    bool prepareCopy(const QString &source, const QString &copy, const QString &keep);

    QTemporaryDir m_dir;
    bool m_ready = false;
    double m_prepareMilliseconds = 0;
    qint64 m_prepareMemoryKiB = 0;
    qint64 m_sourceBytes = 0;
    qint64 m_preparedBytes = 0;
    DbManager m_db;
    AuthService m_auth{&m_db};
    TaskTableModel m_taskModel;
    CustomerTableModel m_customerModel;
    std::unique_ptr<TaskService> m_tasks;
    std::unique_ptr<CustomerService> m_customers;
};

// One timed interaction. setup and teardown run around the timing loop; before runs untimed ahead of
// every timed call (to put the view back where the interaction starts).
struct BenchCase
{
    QString name;
    std::function<void()> run;
    std::function<void()> setup = {};
    std::function<void()> teardown = {};
    std::function<void()> before = {};
};

QList<BenchCase> taskCases(BenchDatabase &bench);
QList<BenchCase> customerCases(BenchDatabase &bench);
