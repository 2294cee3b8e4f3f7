#include "tst_taskservice.h"

#include "storage/SqlSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

namespace {

// Records the names of the signals it is attached to, in order, and repeats each as one signal.
class Recorder : public QObject
{
    Q_OBJECT

public:
    template<typename Sender, typename Signal> void attach(Sender *sender, Signal signal, const QString &name)
    {
        connect(sender, signal, this, [this, name] {
            names.append(name);
            emit recorded(name);
        });
    }

    QStringList names;

signals:
    void recorded(const QString &name);
};

} // namespace

void TstTaskService::initTestCase()
{
    DbManager db;
    QVERIFY(db.open(m_templateDir.filePath(QStringLiteral("template.db"))));
    db.ensureSchema();
    AuthService auth(&db);
    m_bob = signInTestUser(auth, QStringLiteral("bob"));
    m_alice = signInTestUser(auth, QStringLiteral("alice"));
    QVERIFY(m_bob > 0 && m_alice > 0 && m_alice != m_bob);
}

void TstTaskService::init()
{
    m_sandbox = std::make_unique<TestSandbox>();
    QVERIFY(QFile::copy(m_templateDir.filePath(QStringLiteral("template.db")), m_sandbox->databaseFile()));
    m_db = std::make_unique<DbManager>();
    QVERIFY(m_sandbox->openDatabase(*m_db));
    // Every write waits for the disk otherwise; the tests need no durability.
    QVERIFY(execSql(*m_db, QStringLiteral("PRAGMA synchronous = OFF")));
    m_auth = std::make_unique<AuthService>(m_db.get());
    QVERIFY(m_auth->login(QStringLiteral("alice"), QStringLiteral("password123")));
    m_model = std::make_unique<TaskTableModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_service = makeService();
}

void TstTaskService::cleanup()
{
    m_service.reset();
    m_tester.reset();
    m_model.reset();
    m_auth.reset();
    m_db.reset();
    m_sandbox.reset();
}

std::unique_ptr<ClockedTaskService> TstTaskService::makeService() const
{
    return std::make_unique<ClockedTaskService>(m_db.get(), m_auth.get(), m_model.get());
}

int TstTaskService::insertTask(int userId, const QString &name, const QDateTime &expireAt, bool done,
                               int level, int customerId, const QString &createAt, int id)
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral(
        "INSERT INTO tasks (id, user_id, customer_id, name, notes, level, active, expire_at, expire_at_epoch,"
        " create_at) VALUES (:id, :uid, :customer, :name, '', :level, :active, :expire, :epoch, :create)"));
    query.bindValue(QStringLiteral(":id"), id > 0 ? QVariant(id) : QVariant());
    query.bindValue(QStringLiteral(":uid"), userId);
    query.bindValue(QStringLiteral(":customer"), customerId);
    query.bindValue(QStringLiteral(":name"), name);
    query.bindValue(QStringLiteral(":level"), level);
    query.bindValue(QStringLiteral(":active"), done ? 1 : 0);
    query.bindValue(QStringLiteral(":expire"), SqlSupport::utcValue(expireAt));
    query.bindValue(QStringLiteral(":epoch"), SqlSupport::epochValue(expireAt));
    query.bindValue(QStringLiteral(":create"), createAt);
    if (!query.exec())
        return -1;
    return query.lastInsertId().toInt();
}

int TstTaskService::insertCustomer(const QString &name, int id)
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral("INSERT INTO customers (id, user_id, name) VALUES (:id, 1, :name)"));
    query.bindValue(QStringLiteral(":id"), id > 0 ? QVariant(id) : QVariant());
    query.bindValue(QStringLiteral(":name"), name);
    return query.exec() ? query.lastInsertId().toInt() : -1;
}

QVariant TstTaskService::scalar(const QString &sql) const
{
    QSqlQuery query(m_db->database());
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

QList<int> TstTaskService::shownIds() const
{
    QList<int> ids;
    for (int row = 0; row < m_model->rowCountQml(); ++row)
        ids.append(m_model->taskIdAt(row));
    return ids;
}

void TstTaskService::precondition()
{
    insertTask(m_alice, QStringLiteral("a"), local(2026, 6, 1, 10, 0));
    m_auth->logout();
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    m_service->loadPage(1);
    QVERIFY(!m_service->createTask(QStringLiteral("b"), local(2026, 6, 1, 10, 0)));
    QVERIFY(!m_service->updateTaskDone(1, true));
    QVERIFY(!m_service->deleteTask(1));
    QVERIFY(!m_service->deleteAllInactive());
    QVERIFY(m_service->taskById(1).isEmpty());
    QVERIFY(m_service->nextDueTask(60 * 24 * 365).isEmpty());
    m_service->loadStatistics(QStringLiteral("2026-01-01 00:00"));
    QCOMPARE(resets.count(), 0);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_service->totalCount(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks")).toInt(), 1);
    QVERIFY(!store().contains(QStringLiteral("statsExpireFrom")));

    // The setters store and signal in any state.
    QSignalSpy filterChanged(m_service.get(), &TaskService::filterNameChanged);
    m_service->setFilterName(QStringLiteral("x"));
    QCOMPARE(filterChanged.count(), 1);
    QCOMPARE(store().value(QStringLiteral("taskFilterName")).toString(), QStringLiteral("x"));
}

void TstTaskService::emptyUser()
{
    insertTask(m_bob, QStringLiteral("bob's"), local(2026, 6, 1, 10, 0));
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    m_service->loadPage(1);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(m_service->totalPages(), 1);
    QCOMPARE(m_service->currentPage(), 1);
    QCOMPARE(m_service->totalCount(), 0);
    QCOMPARE(m_service->activeCount(), 0);
    QCOMPARE(m_service->inactiveCount(), 0);
    QCOMPARE(m_service->lowLevelCount() + m_service->midLevelCount() + m_service->highLevelCount(), 0);
    QCOMPARE(m_model->rowCount(), 0);
}

void TstTaskService::paging_data()
{
    QTest::addColumn<int>("tasks");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("rows");
    QTest::newRow("one over a page") << 26 << 25 << 2 << 2 << 2 << 1;
    QTest::newRow("exactly one page") << 25 << 25 << 1 << 1 << 1 << 25;
    QTest::newRow("page 0 clamps to 1") << 7 << 3 << 0 << 1 << 3 << 3;
    QTest::newRow("negative page clamps to 1") << 7 << 3 << -3 << 1 << 3 << 3;
    QTest::newRow("page past the end clamps to last") << 7 << 3 << 99 << 3 << 3 << 1;
    QTest::newRow("no tasks") << 0 << 10 << 5 << 1 << 1 << 0;
    QTest::newRow("page size 1") << 4 << 1 << 4 << 4 << 4 << 1;
}

void TstTaskService::paging()
{
    QFETCH(int, tasks);
    QFETCH(int, pageSize);
    QFETCH(int, requested);
    QFETCH(int, page);
    QFETCH(int, pages);
    QFETCH(int, rows);
    for (int i = 0; i < tasks; ++i)
        insertTask(m_alice, QStringLiteral("t%1").arg(i), local(2026, 6, 1, 10, 0));
    insertTask(m_bob, QStringLiteral("bob"), local(2026, 6, 1, 10, 0));
    m_service->setPageSize(pageSize);
    m_service->sort(0, Qt::AscendingOrder);
    m_service->loadPage(requested);
    QCOMPARE(m_service->currentPage(), page);
    QCOMPARE(m_service->totalPages(), pages);
    QCOMPARE(m_model->rowCount(), rows);
    if (rows > 0)
        QCOMPARE(m_model->taskIdAt(0), (page - 1) * pageSize + 1);
}

void TstTaskService::loadPageNotificationOrder()
{
    insertTask(m_alice, QStringLiteral("a"), local(2026, 6, 1, 10, 0));
    insertTask(m_alice, QStringLiteral("b"), local(2026, 6, 1, 10, 0));
    m_service->setPageSize(1);
    m_service->loadPage(1);

    Recorder recorder;
    recorder.attach(m_service.get(), &TaskService::countsChanged, QStringLiteral("counts"));
    recorder.attach(m_service.get(), &TaskService::totalPagesChanged, QStringLiteral("totalPages"));
    recorder.attach(m_service.get(), &TaskService::currentPageChanged, QStringLiteral("currentPage"));
    recorder.attach(m_service.get(), &TaskService::countsLevelChanged, QStringLiteral("levels"));
    recorder.attach(m_service.get(), &TaskService::tasksChanged, QStringLiteral("tasks"));
    recorder.attach(m_model.get(), &TaskTableModel::modelAboutToBeReset, QStringLiteral("aboutToReset"));
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, QStringLiteral("reset"));
    QSignalSpy spy(&recorder, &Recorder::recorded);

    m_service->loadPage(2);
    QCOMPARE(recorder.names, (QStringList{QStringLiteral("counts"), QStringLiteral("totalPages"),
                                          QStringLiteral("currentPage"), QStringLiteral("levels"),
                                          QStringLiteral("aboutToReset"), QStringLiteral("reset")}));
    QCOMPARE(spy.count(), 6);

    recorder.names.clear();
    m_service->loadPage(2); // same page: no page change signal
    QCOMPARE(recorder.names,
             (QStringList{QStringLiteral("counts"), QStringLiteral("totalPages"), QStringLiteral("levels"),
                          QStringLiteral("aboutToReset"), QStringLiteral("reset")}));
}

void TstTaskService::filters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("active");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QList<int>>("ids");
    const QString none;
    QTest::newRow("no filter") << none << -1 << -1 << none << none << QList<int>{1, 2, 3, 12, 112, 120, 200};
    QTest::newRow("name matches id, name and customer")
        << QStringLiteral("12") << -1 << -1 << none << none << QList<int>{3, 12, 112, 120, 200};
    QTest::newRow("name ignores ASCII case")
        << QStringLiteral("ACME") << -1 << -1 << none << none << QList<int>{1, 2};
    QTest::newRow("done only") << none << 1 << -1 << none << none << QList<int>{2, 12, 200};
    QTest::newRow("open only") << none << 0 << -1 << none << none << QList<int>{1, 3, 112, 120};
    QTest::newRow("low") << none << -1 << 20 << none << none << QList<int>{1, 12};
    QTest::newRow("medium") << none << -1 << 50 << none << none << QList<int>{2, 112, 120};
    QTest::newRow("high") << none << -1 << 51 << none << none << QList<int>{3, 200};
    QTest::newRow("from the start of a day")
        << none << -1 << -1 << QStringLiteral("2026-06-10 00:00") << none << QList<int>{1, 2, 3, 120, 200};
    QTest::newRow("from takes its whole minute") << none << -1 << -1 << QStringLiteral("2026-06-09 23:59")
                                                 << none << QList<int>{1, 2, 3, 112, 120, 200};
    QTest::newRow("to takes its whole minute")
        << none << -1 << -1 << none << QStringLiteral("2026-06-10 23:59") << QList<int>{1, 2, 112, 200};
    QTest::newRow("one day") << none << -1 << -1 << QStringLiteral("2026-06-10 00:00")
                             << QStringLiteral("2026-06-10 23:59") << QList<int>{1, 2, 200};
    QTest::newRow("other text compares as text, from")
        << none << -1 << -1 << QStringLiteral("2026") << none << QList<int>{1, 2, 3, 112, 120, 200};
    QTest::newRow("other text compares as text, to")
        << none << -1 << -1 << none << QStringLiteral("2026") << QList<int>{};
    QTest::newRow("name and open") << QStringLiteral("12") << 0 << -1 << none << none
                                   << QList<int>{3, 112, 120};
    QTest::newRow("medium from a day")
        << none << -1 << 50 << QStringLiteral("2026-06-10 00:00") << none << QList<int>{2, 120};
    QTest::newRow("all four") << QStringLiteral("a") << 1 << 20 << none << QStringLiteral("2099-01-01 00:00")
                              << QList<int>{};
    QTest::newRow("name, done, low") << QStringLiteral("a") << 1 << 20 << none << none << QList<int>{12};
}

void TstTaskService::filters()
{
    QFETCH(QString, name);
    QFETCH(int, active);
    QFETCH(int, level);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QList<int>, ids);
    insertCustomer(QStringLiteral("Acme"), 1);
    insertCustomer(QStringLiteral("Zeta 12"), 2);
    insertTask(m_alice, QStringLiteral("Write report"), local(2026, 6, 10, 9, 0), false, 10, 1, {}, 1);
    insertTask(m_alice, QStringLiteral("call acme"), local(2026, 6, 10, 23, 59, 30), true, 30, 0, {}, 2);
    insertTask(m_alice, QStringLiteral("Review"), local(2026, 6, 11, 0, 0), false, 60, 2, {}, 3);
    insertTask(m_alice, QStringLiteral("Plan"), QDateTime(), true, 20, 0, {}, 12);
    insertTask(m_alice, QStringLiteral("Budget"), local(2026, 6, 9, 23, 59, 59), false, 21, 0, {}, 112);
    insertTask(m_alice, QStringLiteral("Audit"), local(2026, 6, 12, 10, 0), false, 50, 0, {}, 120);
    insertTask(m_alice, QStringLiteral("x12y"), local(2026, 6, 10, 0, 0), true, 51, 0, {}, 200);
    insertTask(m_bob, QStringLiteral("Write report 12 acme"), local(2026, 6, 10, 9, 0), false, 10, 1, {},
               300);

    m_service->setPageSize(100);
    m_service->sort(0, Qt::AscendingOrder);
    m_service->setFilterName(name);
    m_service->setFilterActive(active);
    m_service->setFilterLevel(level);
    m_service->setFilterExpireFrom(from);
    m_service->setFilterExpireTo(to);
    QCOMPARE(shownIds(), ids);
    m_service->setPageSize(1);
    m_service->loadPage(1);
    QCOMPARE(m_service->totalPages(), std::max<int>(1, int(ids.size())));
    // The counters ignore every filter.
    QCOMPARE(m_service->totalCount(), 7);
    QCOMPARE(m_service->activeCount(), 3);
    QCOMPARE(m_service->inactiveCount(), 4);
    QCOMPARE(m_service->lowLevelCount(), 1);
    QCOMPARE(m_service->midLevelCount(), 2);
    QCOMPARE(m_service->highLevelCount(), 1);
}

void TstTaskService::settersNormaliseAndSkipEqualValues()
{
    insertTask(m_alice, QStringLiteral("a"), QDateTime());
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy nameChanged(m_service.get(), &TaskService::filterNameChanged);
    m_service->setFilterName(QStringLiteral("  a  "));
    QCOMPARE(m_service->filterName(), QStringLiteral("a"));
    QCOMPARE(nameChanged.count(), 1);
    QCOMPARE(resets.count(), 1);
    store().remove(QStringLiteral("taskFilterName"));
    m_service->setFilterName(QStringLiteral("a"));
    QCOMPARE(nameChanged.count(), 1);
    QCOMPARE(resets.count(), 1);
    QVERIFY(!store().contains(QStringLiteral("taskFilterName")));

    QSignalSpy activeChanged(m_service.get(), &TaskService::filterActiveChanged);
    m_service->setFilterActive(2);
    QCOMPARE(activeChanged.count(), 0);
    QCOMPARE(m_service->filterActive(), -1);
    m_service->setFilterActive(1);
    m_service->setFilterActive(7);
    QCOMPARE(m_service->filterActive(), -1);
    QCOMPARE(activeChanged.count(), 2);

    QSignalSpy levelChanged(m_service.get(), &TaskService::filterLevelChanged);
    m_service->setFilterLevel(30);
    QCOMPARE(levelChanged.count(), 0);
    m_service->setFilterLevel(51);
    QCOMPARE(m_service->filterLevel(), 51);
    QCOMPARE(store().value(QStringLiteral("taskFilterLevel")).toInt(), 51);

    QSignalSpy fromChanged(m_service.get(), &TaskService::filterExpireFromChanged);
    m_service->setFilterExpireFrom(QStringLiteral(" 2026-06-01 10:00"));
    m_service->setFilterExpireFrom(QStringLiteral(" 2026-06-01 10:00"));
    QCOMPARE(fromChanged.count(), 1);
    QCOMPARE(store().value(QStringLiteral("taskFilterExpireFrom")).toString(),
             QStringLiteral(" 2026-06-01 10:00"));

    const int resetsBefore = int(resets.count());
    QSignalSpy sizeChanged(m_service.get(), &TaskService::pageSizeChanged);
    m_service->setPageSize(0);
    QCOMPARE(m_service->pageSize(), 1);
    QCOMPARE(store().value(QStringLiteral("taskPageSize")).toInt(), 1);
    m_service->setPageSize(-5);
    QCOMPARE(sizeChanged.count(), 1);
    QCOMPARE(resets.count(), resetsBefore); // a new page size waits for the page to ask
}

void TstTaskService::viewStateIsReadBack()
{
    m_service->setPageSize(50);
    m_service->setFilterName(QStringLiteral("report"));
    m_service->setFilterActive(0);
    m_service->setFilterExpireFrom(QStringLiteral("2026-06-01 00:00"));
    m_service->setFilterExpireTo(QStringLiteral("2026-06-30 23:59"));
    m_service->setFilterLevel(50);
    m_service->sort(2, Qt::AscendingOrder);
    m_service->loadPage(1);

    const auto second = makeService();
    QCOMPARE(second->pageSize(), 50);
    QCOMPARE(second->filterName(), QStringLiteral("report"));
    QCOMPARE(second->filterActive(), 0);
    QCOMPARE(second->filterExpireFrom(), QStringLiteral("2026-06-01 00:00"));
    QCOMPARE(second->filterExpireTo(), QStringLiteral("2026-06-30 23:59"));
    QCOMPARE(second->filterLevel(), 50);
    QCOMPARE(second->sortColumn(), 2);
    QCOMPARE(second->sortOrder(), 0);
    QCOMPARE(second->currentPage(), 1);
}

void TstTaskService::storedViewStateIsNormalised_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("page size below 1")
        << QStringLiteral("taskPageSize") << QVariant(0) << QByteArray("pageSize") << QVariant(1);
    QTest::newRow("sort column out of range")
        << QStringLiteral("taskSortColumn") << QVariant(6) << QByteArray("sortColumn") << QVariant(5);
    QTest::newRow("sort column in range")
        << QStringLiteral("taskSortColumn") << QVariant(0) << QByteArray("sortColumn") << QVariant(0);
    QTest::newRow("any non-zero order is descending")
        << QStringLiteral("taskSortOrder") << QVariant(7) << QByteArray("sortOrder") << QVariant(1);
    QTest::newRow("zero order is ascending")
        << QStringLiteral("taskSortOrder") << QVariant(0) << QByteArray("sortOrder") << QVariant(0);
    QTest::newRow("unknown done filter")
        << QStringLiteral("taskFilterActive") << QVariant(5) << QByteArray("filterActive") << QVariant(-1);
    QTest::newRow("unknown level filter")
        << QStringLiteral("taskFilterLevel") << QVariant(30) << QByteArray("filterLevel") << QVariant(-1);
}

void TstTaskService::storedViewStateIsNormalised()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);
    store().setValue(key, stored);
    const auto service = makeService();
    QCOMPARE(service->property(property.constData()).toInt(), expected.toInt());

    // A stored unknown filter must not empty the table.
    insertTask(m_alice, QStringLiteral("a"), QDateTime());
    service->loadPage(1);
    QCOMPARE(m_model->rowCount(), 1);
}

void TstTaskService::sortOrdersWithIdTieBreak_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QList<int>>("ids");
    QTest::newRow("id asc") << 0 << 0 << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("id desc") << 0 << 1 << QList<int>{5, 4, 3, 2, 1};
    QTest::newRow("name asc, case ignored") << 1 << 0 << QList<int>{2, 3, 1, 4, 5};
    QTest::newRow("name desc") << 1 << 1 << QList<int>{5, 1, 4, 2, 3};
    QTest::newRow("level asc") << 2 << 0 << QList<int>{2, 4, 1, 3, 5};
    QTest::newRow("level desc") << 2 << 1 << QList<int>{5, 1, 3, 2, 4};
    QTest::newRow("done asc") << 3 << 0 << QList<int>{1, 3, 5, 2, 4};
    QTest::newRow("done desc") << 3 << 1 << QList<int>{2, 4, 1, 3, 5};
    QTest::newRow("expiry asc, none first") << 4 << 0 << QList<int>{2, 5, 3, 1, 4};
    QTest::newRow("expiry desc") << 4 << 1 << QList<int>{1, 4, 3, 2, 5};
    QTest::newRow("created asc") << 5 << 0 << QList<int>{2, 5, 1, 3, 4};
    QTest::newRow("created desc") << 5 << 1 << QList<int>{4, 1, 3, 2, 5};
}

void TstTaskService::sortOrdersWithIdTieBreak()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QList<int>, ids);
    insertTask(m_alice, QStringLiteral("beta"), local(2026, 6, 2, 10, 0), false, 30, 0,
               QStringLiteral("2026-01-02 10:00:00"));
    insertTask(m_alice, QStringLiteral("Alpha"), QDateTime(), true, 10, 0,
               QStringLiteral("2026-01-01 10:00:00"));
    insertTask(m_alice, QStringLiteral("alpha"), local(2026, 6, 1, 10, 0), false, 30, 0,
               QStringLiteral("2026-01-02 10:00:00"));
    insertTask(m_alice, QStringLiteral("Beta"), local(2026, 6, 2, 10, 0), true, 10, 0,
               QStringLiteral("2026-01-03 10:00:00"));
    insertTask(m_alice, QStringLiteral("gamma"), QDateTime(), false, 50, 0,
               QStringLiteral("2026-01-01 10:00:00"));
    m_service->sort(column, order);
    QCOMPARE(shownIds(), ids);
    // The same order holds across pages.
    m_service->setPageSize(2);
    QList<int> paged;
    for (int page = 1; page <= 3; ++page) {
        m_service->loadPage(page);
        paged += shownIds();
    }
    QCOMPARE(paged, ids);
}

void TstTaskService::sortValidatesAndAlwaysReloads()
{
    QSignalSpy sortChanged(m_service.get(), &TaskService::sortChanged);
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    m_service->sort(6, 0);
    m_service->sort(-1, 0);
    QCOMPARE(sortChanged.count(), 0);
    QCOMPARE(resets.count(), 0);
    QVERIFY(!store().contains(QStringLiteral("taskSortColumn")));

    m_service->sort(2);
    QCOMPARE(m_service->sortColumn(), 2);
    QCOMPARE(m_service->sortOrder(), 0);
    QCOMPARE(sortChanged.count(), 1);
    QCOMPARE(resets.count(), 1);
    m_service->sort(2, 2); // anything but descending is ascending
    QCOMPARE(m_service->sortOrder(), 0);
    QCOMPARE(sortChanged.count(), 1);
    QCOMPARE(resets.count(), 2);
    QCOMPARE(store().value(QStringLiteral("taskSortColumn")).toInt(), 2);
    QCOMPARE(store().value(QStringLiteral("taskSortOrder")).toInt(), 0);
    m_service->sort(2, Qt::DescendingOrder);
    QCOMPARE(sortChanged.count(), 2);
    QCOMPARE(store().value(QStringLiteral("taskSortOrder")).toInt(), 1);
}

void TstTaskService::createTask()
{
    Recorder recorder;
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, QStringLiteral("reset"));
    recorder.attach(m_service.get(), &TaskService::tasksChanged, QStringLiteral("tasks"));
    QVERIFY(m_service->createTask(QStringLiteral("  Call  back "), local(2026, 6, 1, 10, 0)));
    QCOMPARE(recorder.names, (QStringList{QStringLiteral("reset"), QStringLiteral("tasks")}));
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->nameAt(0), QStringLiteral("Call  back"));
    // Defaults: done, level 1, no customer (-1), no notes.
    QSqlQuery query(m_db->database());
    QVERIFY(query.exec(QStringLiteral("SELECT user_id, active, level, customer_id, notes FROM tasks")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), m_alice);
    QCOMPARE(query.value(1).toInt(), 1);
    QCOMPARE(query.value(2).toInt(), 1);
    QCOMPARE(query.value(3).toInt(), -1);
    QCOMPARE(query.value(4).toString(), QString());

    QVERIFY(m_service->createTask(QStringLiteral("x"), QDateTime(), false, 70, 4,
                                  QStringLiteral("  some notes ")));
    QCOMPARE(scalar(QStringLiteral("SELECT notes FROM tasks WHERE name = 'x'")).toString(),
             QStringLiteral("some notes"));

    recorder.names.clear();
    QVERIFY(!m_service->createTask(QStringLiteral("   "), local(2026, 6, 1, 10, 0)));
    QVERIFY(recorder.names.isEmpty());
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks")).toInt(), 2);
}

void TstTaskService::createTaskStoresExpiryAsUtc_data()
{
    QTest::addColumn<QDateTime>("expireAt");
    QTest::addColumn<QVariant>("text");
    QTest::addColumn<QVariant>("epoch");
    const QDateTime utc(QDate(2026, 3, 22), QTime(17, 50), Qt::UTC);
    QTest::newRow("given as UTC") << utc << QVariant(QStringLiteral("2026-03-22T17:50:00.000Z"))
                                  << QVariant(qint64(1774201800));
    QTest::newRow("given as local time")
        << utc.toLocalTime() << QVariant(QStringLiteral("2026-03-22T17:50:00.000Z"))
        << QVariant(qint64(1774201800));
    QTest::newRow("invalid") << QDateTime() << QVariant() << QVariant();
}

void TstTaskService::createTaskStoresExpiryAsUtc()
{
    QFETCH(QDateTime, expireAt);
    QFETCH(QVariant, text);
    QFETCH(QVariant, epoch);
    QVERIFY(m_service->createTask(QStringLiteral("t"), expireAt));
    QCOMPARE(scalar(QStringLiteral("SELECT expire_at FROM tasks")).toString(), text.toString());
    QCOMPARE(scalar(QStringLiteral("SELECT expire_at IS NULL FROM tasks")).toBool(), text.isNull());
    QCOMPARE(scalar(QStringLiteral("SELECT expire_at_epoch FROM tasks")).toLongLong(), epoch.toLongLong());
    QCOMPARE(scalar(QStringLiteral("SELECT expire_at_epoch IS NULL FROM tasks")).toBool(), epoch.isNull());
    // It reads back as the same instant.
    QCOMPARE(m_model->expireAt(0), expireAt.isValid() ? expireAt.toLocalTime() : QDateTime());
}

void TstTaskService::changesOfOneTask_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("changesTarget");
    for (const QString &operation :
         {QStringLiteral("update"), QStringLiteral("done"), QStringLiteral("delete")}) {
        QTest::addRow("%s own", qPrintable(operation)) << operation << QStringLiteral("own") << true << true;
        QTest::addRow("%s another user's", qPrintable(operation))
            << operation << QStringLiteral("bob") << true << false;
        QTest::addRow("%s missing", qPrintable(operation))
            << operation << QStringLiteral("missing") << true << false;
        QTest::addRow("%s id 0", qPrintable(operation))
            << operation << QStringLiteral("zero") << false << false;
    }
}

void TstTaskService::changesOfOneTask()
{
    QFETCH(QString, operation);
    QFETCH(QString, target);
    QFETCH(bool, result);
    QFETCH(bool, changesTarget);
    const int own = insertTask(m_alice, QStringLiteral("mine"), local(2026, 6, 1, 10, 0), true, 5);
    const int bobs = insertTask(m_bob, QStringLiteral("bob's"), local(2026, 6, 1, 10, 0), true, 5);
    const int id = target == QStringLiteral("own")       ? own
                   : target == QStringLiteral("bob")     ? bobs
                   : target == QStringLiteral("missing") ? 999
                                                         : 0;
    m_service->loadPage(1);
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    bool ok = false;
    if (operation == QStringLiteral("update"))
        ok = m_service->updateTask(id, QStringLiteral(" renamed "), false, local(2026, 7, 1, 9, 0), 60, 3,
                                   QStringLiteral(" n "));
    else if (operation == QStringLiteral("done"))
        ok = m_service->updateTaskDone(id, false);
    else
        ok = m_service->deleteTask(id);
    QCOMPARE(ok, result);
    QCOMPARE(changed.count(), result ? 1 : 0);
    QCOMPARE(resets.count(), result ? 1 : 0);

    const QString rowOf =
        QStringLiteral("SELECT name || '|' || active || '|' || level || '|' || customer_id || '|' "
                       "|| notes || '|' || expire_at_epoch FROM tasks WHERE id = %1");
    const QString bobBefore =
        QStringLiteral("bob's|1|5|0||%1").arg(local(2026, 6, 1, 10, 0).toSecsSinceEpoch());
    QCOMPARE(scalar(rowOf.arg(bobs)).toString(), bobBefore);
    QString expected = QStringLiteral("mine|1|5|0||%1").arg(local(2026, 6, 1, 10, 0).toSecsSinceEpoch());
    if (changesTarget && operation == QStringLiteral("update"))
        expected = QStringLiteral("renamed|0|60|3|n|%1").arg(local(2026, 7, 1, 9, 0).toSecsSinceEpoch());
    else if (changesTarget && operation == QStringLiteral("done"))
        expected = QStringLiteral("mine|0|5|0||%1").arg(local(2026, 6, 1, 10, 0).toSecsSinceEpoch());
    else if (changesTarget)
        expected = QString();
    QCOMPARE(scalar(rowOf.arg(own)).toString(), expected);
    if (changesTarget && operation == QStringLiteral("done")) {
        QCOMPARE(m_service->inactiveCount(), 1);
        QCOMPARE(m_service->lowLevelCount(), 1);
    }
}

void TstTaskService::updateTaskStoresBlankName()
{
    const int id = insertTask(m_alice, QStringLiteral("named"), QDateTime());
    QVERIFY(m_service->updateTask(id, QStringLiteral("   "), true, QDateTime(), 1));
    QCOMPARE(scalar(QStringLiteral("SELECT name FROM tasks WHERE id = %1").arg(id)).toString(), QString());
    QVERIFY(!m_service->updateTask(-1, QStringLiteral("x"), true, QDateTime(), 1));
}

void TstTaskService::deleteAllInactive()
{
    insertTask(m_alice, QStringLiteral("done"), QDateTime(), true);
    insertTask(m_alice, QStringLiteral("open"), QDateTime(), false);
    insertTask(m_bob, QStringLiteral("bob done"), QDateTime(), true);
    m_service->loadPage(1);
    Recorder recorder;
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, QStringLiteral("reset"));
    recorder.attach(m_service.get(), &TaskService::tasksChanged, QStringLiteral("tasks"));
    QVERIFY(m_service->deleteAllInactive());
    QCOMPARE(recorder.names, (QStringList{QStringLiteral("reset"), QStringLiteral("tasks")}));
    QCOMPARE(scalar(QStringLiteral("SELECT group_concat(name, ',') FROM tasks")).toString(),
             QStringLiteral("open,bob done"));
    QCOMPARE(m_service->activeCount(), 0);
    // Nothing left to delete still succeeds.
    QVERIFY(m_service->deleteAllInactive());
}

void TstTaskService::failedStatementsChangeNothing()
{
    const int id = insertTask(m_alice, QStringLiteral("a"), QDateTime());
    m_service->loadPage(1);
    QVERIFY(execSql(*m_db, QStringLiteral("ALTER TABLE tasks RENAME TO tasks_away")));
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    QVERIFY(!m_service->createTask(QStringLiteral("b"), QDateTime()));
    QVERIFY(!m_service->updateTask(id, QStringLiteral("b"), true, QDateTime(), 1));
    QVERIFY(!m_service->updateTaskDone(id, true));
    QVERIFY(!m_service->deleteTask(id));
    QVERIFY(!m_service->deleteAllInactive());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(m_service->totalCount(), 1);

    // A failing page load leaves the counters and empties the table.
    QSignalSpy counts(m_service.get(), &TaskService::countsChanged);
    m_service->loadPage(1);
    QCOMPARE(counts.count(), 0);
    QCOMPARE(m_service->totalCount(), 1);
    QCOMPARE(m_service->totalPages(), 1);
    QCOMPARE(m_model->rowCount(), 0);
}

void TstTaskService::deletingTheLastRowMovesBack()
{
    for (int i = 0; i < 3; ++i)
        insertTask(m_alice, QStringLiteral("t%1").arg(i), QDateTime());
    m_service->setPageSize(2);
    m_service->sort(0, 0);
    m_service->loadPage(2);
    QCOMPARE(shownIds(), QList<int>{3});
    QSignalSpy pageChanged(m_service.get(), &TaskService::currentPageChanged);
    QVERIFY(m_service->deleteTask(3));
    QCOMPARE(m_service->currentPage(), 1);
    QCOMPARE(pageChanged.count(), 1);
    QCOMPARE(shownIds(), (QList<int>{1, 2}));
}

void TstTaskService::onTasksChangedReloads()
{
    insertTask(m_alice, QStringLiteral("a"), QDateTime());
    m_service->loadPage(1);
    insertTask(m_alice, QStringLiteral("b"), QDateTime());
    m_service->onTasksChanged();
    QCOMPARE(m_model->rowCount(), 2);
}

QTEST_GUILESS_MAIN(TstTaskService)
#include "tst_taskservice.moc"
