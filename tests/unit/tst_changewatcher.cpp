#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "storage/ChangeWatcher.h"

#include <QThread>

namespace {

// One window on a connection of its own, wired as the program wires it; its statistics follow the
// tasks as the chart page's do.
struct Client
{
    explicit Client(const QString &name) : db(name)
    {
        QObject::connect(&watcher, &ChangeWatcher::changedElsewhere, &tasks,
                         &TaskService::onChangedElsewhere);
        QObject::connect(&watcher, &ChangeWatcher::changedElsewhere, &customers,
                         &CustomerService::onChangedElsewhere);
        QObject::connect(&tasks, &TaskService::tasksChanged, &tasks, [this] { tasks.loadStatistics(); });
    }
    DbManager db;
    AuthService auth{&db};
    TaskTableModel taskRows;
    CustomerTableModel customerRows;
    TaskService tasks{&db, &auth, &taskRows};
    CustomerService customers{&db, &auth, &customerRows};
    ChangeWatcher watcher{&db};
};

// One save stores its tag as the name, the notes and the value of three contacts.
QVariantList contacts(const QString &tag)
{
    QVariantList list;
    for (const char *type : {"phone", "email", "other"})
        list << QVariantMap{{"type", type}, {"value", tag}, {"label", QString()}};
    return list;
}

// The tag of the one save a customer holds as a whole, or "mixed".
QString wholeSave(const QVariantMap &customer)
{
    const QString tag = customer.value("name").toString();
    return customer.value("notes") == tag && customer.value("contacts") == contacts(tag) ? tag : "mixed";
}

} // namespace

class TstChangeWatcher : public QObject
{
    Q_OBJECT

    TestSandbox m_sandbox;
    Client m_first{QStringLiteral("first")};

    bool open(Client &client) const
    {
        return m_sandbox.openAgain(client.db) && signInTestUser(client.auth, "anna") > 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sandbox.openDatabase(m_first.db) && open(m_first));
        QVERIFY(m_first.customers.createCustomer("start", "start", contacts("start")));
    }

    // A task and a customer saved in one window show in the other's page, counts, search and
    // statistics without a click there.
    void changesShowElsewhere()
    {
        Client second(QStringLiteral("second"));
        QVERIFY(open(second));
        second.tasks.setFilterName(QStringLiteral("report"));
        second.customers.loadPage(1);
        QVERIFY(
            m_first.tasks.createTask("Monthly report", QDateTime::currentDateTime().addDays(1), false, 51));
        QVERIFY(m_first.customers.updateCustomer(1, "renamed", "renamed", contacts("renamed")));
        QTRY_VERIFY_WITH_TIMEOUT(
            second.taskRows.rowCount() == 1 && second.customerRows.nameAt(0) == "renamed", 2000);
        QCOMPARE(second.tasks.highLevelCount(), 1);
        QCOMPARE(second.tasks.dailyTotals(), QVariantList{1});
    }

    // Two people saving one customer again and again at once, and a third reading it meanwhile: every
    // read and the end show one save as a whole, never the name of one with the contacts of another.
    void simultaneousSavesKeepOneVersion()
    {
        QAtomicInt writing = 2, failures = 0;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int client = 0; client < 3; ++client) {
            threads.emplace_back(QThread::create([&, client] {
                Client own(QStringLiteral("client%1").arg(client));
                failures.fetchAndAddRelaxed(!open(own));
                for (int round = 0; client < 2 && round < 25; ++round) {
                    const QString tag = QStringLiteral("%1-%2").arg(client).arg(round);
                    failures.fetchAndAddRelaxed(!own.customers.updateCustomer(1, tag, tag, contacts(tag)));
                }
                if (client < 2)
                    writing.deref();
                while (client == 2 && writing.loadAcquire() > 0)
                    failures.fetchAndAddRelaxed(wholeSave(own.customers.customerById(1)) == "mixed");
            }));
            threads.back()->start();
        }
        for (const auto &thread : threads)
            QVERIFY(thread->wait(120000));
        QCOMPARE(failures.loadRelaxed(), 0);
        const QString last = wholeSave(m_first.customers.customerById(1));
        QVERIFY2(last == "0-24" || last == "1-24", qPrintable(last));
    }
};

QTEST_MAIN(TstChangeWatcher)
#include "tst_changewatcher.moc"
