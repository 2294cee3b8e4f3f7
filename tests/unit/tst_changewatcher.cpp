#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "storage/ChangeWatcher.h"

#include <QAtomicInt>
#include <QThread>

#include <memory>

namespace {

constexpr int kSaves = 25;

// One window of the program on its own connection, wired as the program wires it.
struct Client
{
    explicit Client(const QString &connection) : db(connection)
    {
        QObject::connect(&watcher, &ChangeWatcher::changedElsewhere, &tasks,
                         &TaskService::onChangedElsewhere);
        QObject::connect(&watcher, &ChangeWatcher::changedElsewhere, &customers,
                         [this] { customers.loadPage(customers.currentPage()); });
        // What the chart page does whenever the tasks change.
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

// Save i of writer w stores its tag "w-i" as name, notes and the value of all three contacts.
QVariantList contactsTagged(const QString &tag)
{
    QVariantList contacts;
    for (const char *type : {"phone", "email", "other"})
        contacts << QVariantMap{{"type", type}, {"value", tag}, {"label", QString()}};
    return contacts;
}

// The tag of a customer stored by one save as a whole; empty for a mix of saves.
QString wholeVersion(const QVariantMap &customer)
{
    const QString tag = customer.value("name").toString();
    return customer.value("notes").toString() == tag && customer.value("contacts") == contactsTagged(tag)
               ? tag
               : QString();
}

} // namespace

class TstChangeWatcher : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSandbox> m_sandbox;

    bool openSecond(DbManager &db) const { return db.open(m_sandbox->databaseFile()) && db.ensureSchema(); }

private slots:
    void init() { m_sandbox = std::make_unique<TestSandbox>(); }
    void cleanup() { m_sandbox.reset(); }

    // A task and a customer saved in one window show in the other's page, counts, statistics and
    // search without a click there.
    void changesShowElsewhere()
    {
        Client first(QStringLiteral("first")), second(QStringLiteral("second"));
        QVERIFY(m_sandbox->openDatabase(first.db));
        QVERIFY(openSecond(second.db));
        QCOMPARE(signInTestUser(first.auth, "anna"), signInTestUser(second.auth, "anna"));
        second.tasks.setFilterName(QStringLiteral("report"));
        second.customers.loadPage(1);
        QCOMPARE(second.taskRows.rowCount(), 0);

        const QDateTime tomorrow = QDateTime::currentDateTime().addDays(1);
        QVERIFY(first.tasks.createTask(QStringLiteral("Monthly report"), tomorrow, false, 51));
        QVERIFY(first.customers.createCustomer(QStringLiteral("Acme"), {}, contactsTagged("x")));
        QTRY_VERIFY_WITH_TIMEOUT(second.taskRows.rowCount() == 1 && second.customerRows.rowCount() == 1,
                                 2000);
        QCOMPARE(second.tasks.highLevelCount(), 1);
        QCOMPARE(second.tasks.dailyTotals(), QVariantList{1});
        QCOMPARE(second.customerRows.nameAt(0), QStringLiteral("Acme"));

        // Reopened, the watcher follows the new connection.
        QVERIFY(openSecond(second.db));
        QVERIFY(signInTestUser(second.auth, "anna") > 0);
        QVERIFY(first.tasks.deleteTask(first.taskRows.taskIdAt(0)));
        QTRY_COMPARE_WITH_TIMEOUT(second.taskRows.rowCount(), 0, 2000);
    }

    // Two people saving one customer over and over at the same time: every read and the end show
    // one save as a whole, never the name of one with the contacts of another.
    void simultaneousSavesKeepOneVersion()
    {
        Client owner(QStringLiteral("owner"));
        QVERIFY(m_sandbox->openDatabase(owner.db));
        QVERIFY(signInTestUser(owner.auth, "bert") > 0);
        QVERIFY(owner.customers.createCustomer("start", "start", contactsTagged("start")));
        const int id = 1;
        QCOMPARE(wholeVersion(owner.customers.customerById(id)), QStringLiteral("start"));

        QAtomicInt writing = 2, failedSaves = 0, mixedReads = 0, reads = 0;
        const auto client = [&](const QString &name, const std::function<void(CustomerService &)> &work) {
            return QThread::create([&, name, work] {
                DbManager db(name);
                AuthService auth(&db);
                CustomerService customers(&db, &auth, nullptr);
                if (!openSecond(db) || !auth.login("bert", "password123"))
                    qWarning() << "DEBUG open/login" << name << db.errorText(), failedSaves.ref();
                else
                    work(customers);
            });
        };
        std::vector<std::unique_ptr<QThread>> threads;
        for (int writer = 0; writer < 2; ++writer)
            threads.emplace_back(
                client(QStringLiteral("writer%1").arg(writer), [&, writer](CustomerService &c) {
                    for (int save = 0; save < kSaves; ++save) {
                        const QString tag = QStringLiteral("%1-%2").arg(writer).arg(save);
                        if (!c.updateCustomer(id, tag, tag, contactsTagged(tag)))
                            qWarning() << "DEBUG save" << tag, failedSaves.ref();
                    }
                    writing.deref();
                }));
        threads.emplace_back(client(QStringLiteral("reader"), [&](CustomerService &c) {
            while (writing.loadAcquire() > 0) {
                reads.ref();
                if (wholeVersion(c.customerById(id)).isEmpty())
                    mixedReads.ref();
            }
        }));
        for (const auto &thread : threads)
            thread->start();
        for (const auto &thread : threads)
            QVERIFY(thread->wait(120000));

        QCOMPARE(failedSaves.loadRelaxed(), 0);
        QCOMPARE(mixedReads.loadRelaxed(), 0);
        QVERIFY(reads.loadRelaxed() > 0);
        const QString last = wholeVersion(owner.customers.customerById(id));
        QVERIFY2(last == QStringLiteral("0-%1").arg(kSaves - 1) ||
                     last == QStringLiteral("1-%1").arg(kSaves - 1),
                 qPrintable(last));
    }
};

QTEST_MAIN(TstChangeWatcher)
#include "tst_changewatcher.moc"
