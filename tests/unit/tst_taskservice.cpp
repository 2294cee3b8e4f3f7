#include "tst_taskservice.h"

#include "storage/SqlSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Records, in order, the names of the signals it is attached to.
class Recorder : public QObject
{
public:
    template<typename Sender, typename Signal> void attach(Sender *sender, Signal signal, const char *name)
    {
        connect(sender, signal, this, [this, name] { names.append(QString::fromLatin1(name)); });
    }
    QStringList names;
};

} // namespace

void TstTaskService::initTestCase()
{
    DbManager db;
    QVERIFY(db.open(m_templateDir.filePath(u"template.db"_s)));
    db.ensureSchema();
    AuthService auth(&db);
    m_bob = signInTestUser(auth, u"bob"_s);
    m_alice = signInTestUser(auth, u"alice"_s);
    QVERIFY(m_bob > 0 && m_alice > 0 && m_alice != m_bob);
}

void TstTaskService::init()
{
    m_sandbox = std::make_unique<TestSandbox>();
    QVERIFY(QFile::copy(m_templateDir.filePath(u"template.db"_s), m_sandbox->databaseFile()));
    m_db = std::make_unique<DbManager>();
    QVERIFY(m_sandbox->openDatabase(*m_db));
    // Every write waits for the disk otherwise; the tests need no durability.
    QVERIFY(execSql(*m_db, u"PRAGMA synchronous = OFF"_s));
    m_auth = std::make_unique<AuthService>(m_db.get());
    QVERIFY(m_auth->login(u"alice"_s, u"password123"_s));
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
                               int level, int customerId, int id)
{
    QSqlQuery query(m_db->database());
    query.prepare(u"INSERT INTO tasks (id, user_id, customer_id, name, notes, level, active, expire_at,"
                  " expire_at_epoch) VALUES (?, ?, ?, ?, '', ?, ?, ?, ?)"_s);
    for (const QVariant &value : {id > 0 ? QVariant(id) : QVariant(), QVariant(userId), QVariant(customerId),
                                  QVariant(name), QVariant(level), QVariant(done ? 1 : 0),
                                  SqlSupport::utcValue(expireAt), SqlSupport::epochValue(expireAt)})
        query.addBindValue(value);
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
    for (int row = 0; row < m_model->rowCount(); ++row)
        ids.append(m_model->taskIdAt(row));
    return ids;
}

void TstTaskService::signedOutDoesNothing()
{
    const int id = insertTask(m_alice, u"a"_s, local(2026, 6, 1, 10, 0));
    m_service->now = local(2026, 6, 1, 9, 0);
    m_auth->logout();
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    m_service->loadPage(1);
    QVERIFY(!m_service->createTask(u"b"_s, QDateTime()));
    QVERIFY(!m_service->updateTask(id, u"b"_s, true, QDateTime(), 1));
    QVERIFY(!m_service->updateTaskDone(id, true));
    QVERIFY(!m_service->deleteTask(id));
    QVERIFY(!m_service->deleteAllInactive());
    QVERIFY(m_service->taskById(id).isEmpty());
    QVERIFY(m_service->nextDueTask(120).isEmpty());
    m_service->loadStatistics(u"2026-01-01 00:00"_s);
    QCOMPARE(resets.count() + changed.count(), 0);
    QCOMPARE(m_service->totalCount(), 0);
    QCOMPARE(scalar(u"SELECT group_concat(name || active) FROM tasks"_s).toString(), u"a0"_s);
    QVERIFY(!store().contains(u"statsExpireFrom"_s));
}

void TstTaskService::loadPageNotificationOrder()
{
    insertTask(m_alice, u"a"_s, QDateTime());
    insertTask(m_alice, u"b"_s, QDateTime());
    m_service->setPageSize(1);
    m_service->loadPage(1);
    Recorder recorder;
    recorder.attach(m_service.get(), &TaskService::countsChanged, "counts");
    recorder.attach(m_service.get(), &TaskService::totalPagesChanged, "totalPages");
    recorder.attach(m_service.get(), &TaskService::currentPageChanged, "currentPage");
    recorder.attach(m_service.get(), &TaskService::countsLevelChanged, "levels");
    recorder.attach(m_service.get(), &TaskService::tasksChanged, "tasks");
    recorder.attach(m_model.get(), &TaskTableModel::modelAboutToBeReset, "aboutToReset");
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, "reset");
    m_service->loadPage(2);
    QCOMPARE(recorder.names.join(' '), u"counts totalPages currentPage levels aboutToReset reset"_s);
    recorder.names.clear();
    m_service->loadPage(2); // the same page: no page change
    QCOMPARE(recorder.names.join(' '), u"counts totalPages levels aboutToReset reset"_s);
}

void TstTaskService::filters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("active");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QList<int>>("ids");
    const QString no;
    QTest::newRow("no filter") << no << -1 << -1 << no << no << QList<int>{1, 2, 3, 12, 112, 120, 200};
    QTest::newRow("name matches id, name and customer")
        << u"12"_s << -1 << -1 << no << no << QList<int>{3, 12, 112, 120, 200};
    QTest::newRow("name ignores ASCII case") << u"ACME"_s << -1 << -1 << no << no << QList<int>{1, 2};
    QTest::newRow("open") << no << 0 << -1 << no << no << QList<int>{1, 3, 112, 120};
    QTest::newRow("low") << no << -1 << 20 << no << no << QList<int>{1, 12};
    QTest::newRow("medium") << no << -1 << 50 << no << no << QList<int>{2, 112, 120};
    QTest::newRow("high") << no << -1 << 51 << no << no << QList<int>{3, 200};
    QTest::newRow("from takes its whole minute")
        << no << -1 << -1 << u"2026-06-09 23:59"_s << no << QList<int>{1, 2, 3, 112, 120, 200};
    QTest::newRow("one day, to takes its whole minute")
        << no << -1 << -1 << u"2026-06-10 00:00"_s << u"2026-06-10 23:59"_s << QList<int>{1, 2, 200};
    QTest::newRow("other text compares as text, from")
        << no << -1 << -1 << u"2026"_s << no << QList<int>{1, 2, 3, 112, 120, 200};
    QTest::newRow("other text compares as text, to") << no << -1 << -1 << no << u"2026"_s << QList<int>{};
    QTest::newRow("all four") << u"a"_s << 1 << 50 << no << u"2026-06-10 23:59"_s << QList<int>{2};
}

void TstTaskService::filters()
{
    QFETCH(QString, name);
    QFETCH(int, active);
    QFETCH(int, level);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QList<int>, ids);
    QVERIFY(execSql(*m_db,
                    u"INSERT INTO customers (id, user_id, name) VALUES (1, 1, 'Acme'), (2, 1, 'Zeta 12')"_s));
    insertTask(m_alice, u"Write report"_s, local(2026, 6, 10, 9, 0), false, 10, 1, 1);
    insertTask(m_alice, u"call acme"_s, local(2026, 6, 10, 23, 59, 30), true, 30, 0, 2);
    insertTask(m_alice, u"Review"_s, local(2026, 6, 11, 0, 0), false, 60, 2, 3);
    insertTask(m_alice, u"Plan"_s, QDateTime(), true, 20, 0, 12);
    insertTask(m_alice, u"Budget"_s, local(2026, 6, 9, 23, 59, 59), false, 21, 0, 112);
    insertTask(m_alice, u"Audit"_s, local(2026, 6, 12, 10, 0), false, 50, 0, 120);
    insertTask(m_alice, u"x12y"_s, local(2026, 6, 10, 0, 0), true, 51, 0, 200);
    insertTask(m_bob, u"Write report 12 acme"_s, local(2026, 6, 10, 9, 0), false, 10, 1, 300);

    m_service->setPageSize(100);
    m_service->sort(0, Qt::AscendingOrder);
    m_service->setFilterName(name);
    m_service->setFilterActive(active);
    m_service->setFilterLevel(level);
    m_service->setFilterExpireFrom(from);
    m_service->setFilterExpireTo(to);
    QCOMPARE(shownIds(), ids);
    // One task a page: as many pages as matches, and requests outside them clamp to the first or last.
    m_service->setPageSize(1);
    m_service->loadPage(0);
    QCOMPARE(m_service->currentPage(), 1);
    QCOMPARE(m_service->totalPages(), std::max<int>(1, int(ids.size())));
    m_service->loadPage(99);
    QCOMPARE(shownIds(), ids.mid(ids.size() - 1));
    // The counters ignore every filter; the level counters count open tasks.
    const QList<int> counters = {m_service->totalCount(),    m_service->activeCount(),
                                 m_service->inactiveCount(), m_service->lowLevelCount(),
                                 m_service->midLevelCount(), m_service->highLevelCount()};
    QCOMPARE(counters, (QList<int>{7, 3, 4, 1, 2, 1}));
}

void TstTaskService::settersNormaliseStoreAndSkipEqualValues_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    const QVariant from = u" 2026-06-01 10:00"_s; // bounds are kept as entered
    QTest::newRow("name is trimmed") << QByteArray("filterName") << QVariant(u" a "_s) << QVariant(u"a"_s);
    QTest::newRow("done") << QByteArray("filterActive") << QVariant(1) << QVariant(1);
    QTest::newRow("unknown done is all") << QByteArray("filterActive") << QVariant(7) << QVariant(-1);
    QTest::newRow("level") << QByteArray("filterLevel") << QVariant(51) << QVariant(51);
    QTest::newRow("unknown level is all") << QByteArray("filterLevel") << QVariant(30) << QVariant(-1);
    QTest::newRow("from") << QByteArray("filterExpireFrom") << from << from;
    QTest::newRow("to") << QByteArray("filterExpireTo") << from << from;
    QTest::newRow("page size at least 1") << QByteArray("pageSize") << QVariant(0) << QVariant(1);
}

void TstTaskService::settersNormaliseStoreAndSkipEqualValues()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    const QString key = settingsKey(property);
    insertTask(m_alice, u"a"_s, QDateTime());
    const QMetaObject *meta = m_service->metaObject();
    QSignalSpy changed(m_service.get(), meta->property(meta->indexOfProperty(property)).notifySignal());
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    const bool changes = m_service->property(property) != expected;
    // A new page size waits for the page to ask; a new filter reloads page 1.
    const int reloads = changes && property != "pageSize" ? 1 : 0;
    for (int round = 0; round < 2; ++round) {
        QVERIFY(m_service->setProperty(property, value));
        QCOMPARE(m_service->property(property), expected);
        QCOMPARE(changed.count(), changes ? 1 : 0);
        QCOMPARE(resets.count(), reloads);
        QCOMPARE(store().value(key).toString(), changes && round == 0 ? expected.toString() : QString());
        if (round == 0)
            QCOMPARE(makeService()->property(property), expected); // read back by a second instance
        store().remove(key);                                       // an equal value is not stored again
    }
}

void TstTaskService::storedViewStateIsNormalised_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("page size below 1") << QByteArray("pageSize") << 0 << 1;
    QTest::newRow("sort column past the end") << QByteArray("sortColumn") << 6 << 5;
    QTest::newRow("sort column 0") << QByteArray("sortColumn") << 0 << 0;
    QTest::newRow("non-zero order is descending") << QByteArray("sortOrder") << 7 << 1;
    QTest::newRow("unknown done filter") << QByteArray("filterActive") << 5 << -1;
    QTest::newRow("unknown level filter") << QByteArray("filterLevel") << 30 << -1;
}

void TstTaskService::storedViewStateIsNormalised()
{
    QFETCH(QByteArray, property);
    QFETCH(int, stored);
    QFETCH(int, expected);
    store().setValue(settingsKey(property), stored);
    const auto service = makeService();
    QCOMPARE(service->property(property).toInt(), expected);
    // A stored unknown filter must not empty the table.
    insertTask(m_alice, u"a"_s, QDateTime());
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
    insertTask(m_alice, u"beta"_s, local(2026, 6, 2, 10, 0), false, 30);
    insertTask(m_alice, u"Alpha"_s, QDateTime(), true, 10);
    insertTask(m_alice, u"alpha"_s, local(2026, 6, 1, 10, 0), false, 30);
    insertTask(m_alice, u"Beta"_s, local(2026, 6, 2, 10, 0), true, 10);
    insertTask(m_alice, u"gamma"_s, QDateTime(), false, 50);
    QVERIFY(execSql(*m_db,
                    u"UPDATE tasks SET create_at = '2026-01-0' || substr('21231', id, 1) || ' 10:00:00'"_s));
    QSignalSpy sortChanged(m_service.get(), &TaskService::sortChanged);
    m_service->sort(column, order);
    QCOMPARE(shownIds(), ids);
    QCOMPARE(sortChanged.count(), column == 5 && order == 1 ? 0 : 1); // created desc is the default
    QCOMPARE(makeService()->sortColumn(), column);                    // read back by a second instance
    QCOMPARE(makeService()->sortOrder(), order);
    // Unknown columns change nothing.
    m_service->sort(6, 0);
    m_service->sort(-1, 0);
    QCOMPARE(m_service->sortColumn(), column);
    QCOMPARE(shownIds(), ids);
}

void TstTaskService::createTask()
{
    Recorder recorder;
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, "reset");
    recorder.attach(m_service.get(), &TaskService::tasksChanged, "tasks");
    // An expiry given in local time is stored as UTC text, beside its epoch seconds.
    const QDateTime expiry = QDateTime(QDate(2026, 3, 22), QTime(17, 50), Qt::UTC).toLocalTime();
    QVERIFY(m_service->createTask(u"  Call  back "_s, expiry));
    QCOMPARE(recorder.names.join(' '), u"reset tasks"_s);
    QCOMPARE(m_model->nameAt(0), u"Call  back"_s);
    QCOMPARE(m_model->expireAt(0), expiry);
    QVERIFY(m_service->createTask(u"x"_s, QDateTime(), false, 70, 4, u"  some notes "_s));
    recorder.names.clear();
    QVERIFY(!m_service->createTask(u"   "_s, QDateTime()));
    QVERIFY(recorder.names.isEmpty());
    // Defaults: done, level 1, no customer (-1), no notes.
    QCOMPARE(
        scalar(u"SELECT group_concat(user_id || '|' || name || '|' || active || '|' || level || '|' ||"
               " customer_id || '|' || ifnull(notes, '') || '|' || quote(expire_at) || '|' ||"
               " quote(expire_at_epoch), ';') FROM tasks"_s)
            .toString(),
        u"%1|Call  back|1|1|-1||'2026-03-22T17:50:00.000Z'|1774201800;%1|x|0|70|4|some notes|NULL|NULL"_s.arg(
            m_alice));
}

void TstTaskService::changesOfOneTask_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("target");
    for (const char *operation : {"update", "done", "delete"}) {
        for (const char *target : {"own", "bob's", "missing", "id 0"})
            QTest::addRow("%s %s", operation, target)
                << QString::fromLatin1(operation) << QString::fromLatin1(target);
    }
}

void TstTaskService::changesOfOneTask()
{
    QFETCH(QString, operation);
    QFETCH(QString, target);
    const QDateTime expiry = local(2026, 6, 1, 10, 0);
    const int own = insertTask(m_alice, u"mine"_s, expiry, true, 5);
    const int bobs = insertTask(m_bob, u"bob's"_s, expiry, true, 5);
    const int id = target == "own" ? own : target == "bob's" ? bobs : target == "missing" ? 999 : 0;
    m_service->loadPage(1);
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    const QDateTime later = local(2026, 7, 1, 9, 0);
    const bool ok = operation == "update"
                        ? m_service->updateTask(id, u" renamed "_s, false, later, 60, 3, u" n "_s)
                    : operation == "done" ? m_service->updateTaskDone(id, false)
                                          : m_service->deleteTask(id);
    // A statement that runs succeeds and reloads, whether it finds the row or not; id 0 never runs.
    QCOMPARE(ok, id != 0);
    QCOMPARE(changed.count(), id != 0 ? 1 : 0);
    QCOMPARE(resets.count(), id != 0 ? 1 : 0);

    const QString rowOf =
        u"SELECT name || '|' || active || '|' || level || '|' || customer_id || '|' || notes"
        " || '|' || expire_at_epoch FROM tasks WHERE id = %1"_s;
    const QString unchanged = u"|1|5|0||%1"_s.arg(expiry.toSecsSinceEpoch());
    const QHash<QString, QString> ownAfter = {
        {u"update"_s, u"renamed|0|60|3|n|%1"_s.arg(later.toSecsSinceEpoch())},
        {u"done"_s, u"mine|0|5|0||%1"_s.arg(expiry.toSecsSinceEpoch())},
        {u"delete"_s, QString()}};
    QCOMPARE(scalar(rowOf.arg(own)).toString(),
             id == own ? ownAfter.value(operation) : u"mine"_s + unchanged);
    QCOMPARE(scalar(rowOf.arg(bobs)).toString(), u"bob's"_s + unchanged);
}

void TstTaskService::deleteAllInactive()
{
    insertTask(m_alice, u"done"_s, QDateTime(), true);
    insertTask(m_alice, u"open"_s, QDateTime(), false);
    insertTask(m_bob, u"bob done"_s, QDateTime(), true);
    m_service->loadPage(1);
    Recorder recorder;
    recorder.attach(m_model.get(), &TaskTableModel::modelReset, "reset");
    recorder.attach(m_service.get(), &TaskService::tasksChanged, "tasks");
    QVERIFY(m_service->deleteAllInactive());
    QCOMPARE(recorder.names.join(' '), u"reset tasks"_s);
    QCOMPARE(scalar(u"SELECT group_concat(name) FROM tasks"_s).toString(), u"open,bob done"_s);
    QCOMPARE(m_service->activeCount(), 0);
    QVERIFY(m_service->deleteAllInactive()); // nothing left to delete still succeeds
}

void TstTaskService::failedStatementsChangeNothing()
{
    const int id = insertTask(m_alice, u"a"_s, local(2026, 6, 10, 9, 0));
    m_service->loadPage(1);
    QVERIFY(execSql(*m_db, u"ALTER TABLE tasks RENAME TO tasks_away"_s));
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
    QSignalSpy counts(m_service.get(), &TaskService::countsChanged);
    QVERIFY(!m_service->createTask(u"b"_s, QDateTime()));
    QVERIFY(!m_service->updateTask(id, u"b"_s, true, QDateTime(), 1));
    QVERIFY(!m_service->updateTaskDone(id, true));
    QVERIFY(!m_service->deleteTask(id));
    QVERIFY(!m_service->deleteAllInactive());
    QCOMPARE(changed.count() + resets.count(), 0);
    // A failing page load keeps the counters and empties the table.
    m_service->loadPage(1);
    QCOMPARE(counts.count(), 0);
    QCOMPARE(m_service->totalCount(), 1);
    QCOMPARE(m_model->rowCount(), 0);
}

QTEST_GUILESS_MAIN(TstTaskService)
