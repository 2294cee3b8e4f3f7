// Cost of loading one page of the customer table over a directory of a realistic size.
#include "BenchDatabase.h"

#include "models/CustomerTableModel.h"
#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "storage/DbManager.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#ifdef DUEVIA_COUNT_STATEMENTS
#include <sqlite3.h>
#endif

#include <memory>

namespace {

constexpr int kCustomers = 5000;
constexpr int kPageSize = 100;

// One directory of customers, each with a phone, an e-mail, a second phone and an address.
class Directory
{
public:
    Directory()
    {
        fill();
        m_bench.finishLoading();
        countStatements();
        m_service = std::make_unique<CustomerService>(m_bench.db(), m_bench.auth(), &m_model);
        m_service->setPageSize(kPageSize);
    }

    CustomerService &service() { return *m_service; }
    const CustomerTableModel &model() const { return m_model; }
    int statements() const { return m_statements; }
    void resetStatements() { m_statements = 0; }

private:
    void fill()
    {
        QSqlDatabase connection = m_bench.db()->database();
        connection.transaction();
        QSqlQuery customer(connection);
        customer.prepare(QStringLiteral("INSERT INTO customers (user_id, name, notes, create_at) "
                                        "VALUES (1, :name, 'notes', :create_at)"));
        QSqlQuery contact(connection);
        contact.prepare(QStringLiteral(
            "INSERT INTO customer_contacts (customer_id, type, value) VALUES (:id, :type, :value)"));
        const QStringList types{"phone", "email", "phone", "address"};
        const QDateTime start(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
        for (int i = 1; i <= kCustomers; ++i) {
            customer.bindValue(QStringLiteral(":name"), QStringLiteral("Customer %1").arg(i));
            customer.bindValue(QStringLiteral(":create_at"),
                               start.addSecs(i * 600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            customer.exec();
            const int id = customer.lastInsertId().toInt();
            for (int c = 0; c < types.size(); ++c) {
                contact.bindValue(QStringLiteral(":id"), id);
                contact.bindValue(QStringLiteral(":type"), types.at(c));
                contact.bindValue(QStringLiteral(":value"),
                                  QStringLiteral("%1-%2").arg(types.at(c)).arg(i * 7 + c));
                contact.exec();
            }
        }
        customer.finish();
        contact.finish();
        connection.commit();
    }

    // Counts every statement the connection starts, when the SQLite headers were at hand.
    void countStatements()
    {
#ifdef DUEVIA_COUNT_STATEMENTS
        const QVariant handle = m_bench.db()->database().driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
            return;
        auto count = [](unsigned, void *counter, void *, void *) {
            ++*static_cast<int *>(counter);
            return 0;
        };
        sqlite3_trace_v2(*static_cast<sqlite3 *const *>(handle.constData()), SQLITE_TRACE_STMT, count,
                         &m_statements);
#endif
    }

    BenchDatabase m_bench;
    CustomerTableModel m_model;
    std::unique_ptr<CustomerService> m_service;
    int m_statements = 0;
};

Directory &directory()
{
    static Directory instance;
    return instance;
}

void runPages(benchmark::State &state, const QString &filter, int sortColumn)
{
    Directory &dir = directory();
    dir.service().setFilterName(filter);
    dir.service().sort(sortColumn, 1);
    int page = 1;
    int loads = 0;
    dir.resetStatements();
    for (auto _ : state) {
        dir.service().loadPage(page);
        page = page % dir.service().totalPages() + 1;
        ++loads;
    }
    if (dir.model().rowCount() == 0)
        state.SkipWithError("no rows loaded");
#ifdef DUEVIA_COUNT_STATEMENTS
    state.counters["statements_per_page"] = double(dir.statements()) / loads;
#endif
    state.counters["rows"] = dir.model().rowCount();
}

void BM_LoadPage(benchmark::State &state)
{
    runPages(state, QString(), int(state.range(0)));
}
BENCHMARK(BM_LoadPage)->ArgName("sortColumn")->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_LoadFilteredPage(benchmark::State &state)
{
    // "2" matches most ids and names, so the filtered pages are full.
    runPages(state, QStringLiteral("2"), 4);
}
BENCHMARK(BM_LoadFilteredPage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarks(argc, argv);
}
