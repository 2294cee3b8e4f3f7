#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/TaskService.h"
#include "storage/SchemaExtras.h"
#include "storage/SqlSupport.h"

#include <QAbstractItemModelTester>
#include <QDebug>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// A task service whose present moment a test can fix.
class ClockedTaskService : public TaskService
{
public:
    using TaskService::TaskService;
    QDateTime now;

protected:
    QDateTime currentDateTime() const override
    {
        return now.isValid() ? now : TaskService::currentDateTime();
    }
};

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

// Days on which the clocks change in the zones the tests run in (and ordinary days in the others).
const QList<QDate> kDstChangeDays = {QDate(2026, 3, 8), QDate(2026, 4, 5), QDate(2026, 9, 27),
                                     QDate(2026, 11, 1)};

constexpr unsigned kSeed = 20260322;
constexpr int kSteps = 1500;

struct RefTask
{
    int id, userId, level, customerId;
    QString name, createAt;
    bool done;
    QDateTime expiry;
};

// A bound that reads as a local minute takes that whole minute; other text compares with the stored text.
bool withinBound(const QDateTime &expiry, const QString &bound, bool upper)
{
    if (bound.isEmpty() || !expiry.isValid())
        return bound.isEmpty();
    const QDateTime minute = QDateTime::fromString(bound, u"yyyy-MM-dd HH:mm"_s);
    const QString text = expiry.toUTC().toString(Qt::ISODateWithMs);
    if (!minute.isValid())
        return upper ? text <= bound : text >= bound;
    return upper ? expiry < minute.addSecs(60) : expiry >= minute;
}

QString sortKey(const RefTask &t, int column)
{
    const QString keys[] = {u"%1"_s.arg(t.id, 8, 10, QLatin1Char('0')),
                            t.name.toLower(),
                            u"%1"_s.arg(t.level, 3, 10, QLatin1Char('0')),
                            QString::number(t.done),
                            t.expiry.isValid() ? QString::number(t.expiry.toSecsSinceEpoch()) : QString(),
                            t.createAt};
    return keys[column];
}

} // namespace

// A fresh database and settings store per test, two accounts, the first one (alice) signed in.
class TstTaskService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        DbManager db;
        QVERIFY(db.open(m_templateDir.filePath(u"template.db"_s)));
        db.ensureSchema();
        AuthService auth(&db);
        m_bob = signInTestUser(auth, u"bob"_s);
        m_alice = signInTestUser(auth, u"alice"_s);
        QVERIFY(m_bob > 0 && m_alice > 0 && m_alice != m_bob);
    }

    void init()
    {
        m_sandbox = std::make_unique<TestSandbox>();
        QVERIFY(QFile::copy(m_templateDir.filePath(u"template.db"_s), m_sandbox->databaseFile()));
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db));
        QVERIFY(execSql(*m_db, u"PRAGMA synchronous = OFF"_s)); // the tests need no durability
        m_auth = std::make_unique<AuthService>(m_db.get());
        QVERIFY(m_auth->login(u"alice"_s, u"password123"_s));
        m_model = std::make_unique<TaskTableModel>();
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_service = makeService();
    }

    void cleanup()
    {
        m_service.reset();
        m_tester.reset();
        m_model.reset();
        m_auth.reset();
        m_db.reset();
        m_sandbox.reset();
    }

    // Each filter and sort rule once; the random sequence test covers their combinations.
    void filterSortAndPages_data()
    {
        QTest::addColumn<QVariantMap>("filters"); // property name: value
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("ids");
        const auto row = [](const char *name, const QVariantMap &filters, int column, int order,
                            const QList<int> &ids) {
            QTest::newRow(name) << filters << column << order << ids;
        };
        row("default: created desc, ties by id", {}, 5, 1, {1, 2, 3, 12, 112, 120, 200});
        row("name asc, case ignored", {}, 1, 0, {120, 112, 2, 12, 3, 1, 200});
        row("expiry asc, none first", {}, 4, 0, {12, 112, 200, 1, 2, 3, 120});
        row("name matches id, name and customer", {{u"filterName"_s, u"12"_s}}, 0, 0, {3, 12, 112, 120, 200});
        row("open, medium", {{u"filterActive"_s, 0}, {u"filterLevel"_s, 50}}, 0, 0, {112, 120});
        row("one day, bounds take whole minutes",
            {{u"filterExpireFrom"_s, u"2026-06-10 00:00"_s}, {u"filterExpireTo"_s, u"2026-06-10 23:59"_s}}, 0,
            0, {1, 2, 200});
        row("other text compares as text", {{u"filterExpireFrom"_s, u"2026"_s}}, 0, 0,
            {1, 2, 3, 112, 120, 200});
    }

    void filterSortAndPages()
    {
        QFETCH(QVariantMap, filters);
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, ids);
        QVERIFY(execSql(
            *m_db, u"INSERT INTO customers (id, user_id, name) VALUES (1, 1, 'Acme'), (2, 1, 'Zeta 12')"_s));
        insertTask(m_alice, u"Write report"_s, local(2026, 6, 10, 9, 0), false, 10, 1, 1);
        insertTask(m_alice, u"call acme"_s, local(2026, 6, 10, 23, 59, 30), true, 30, 0, 2);
        insertTask(m_alice, u"Review"_s, local(2026, 6, 11, 0, 0), false, 60, 2, 3);
        insertTask(m_alice, u"Plan"_s, QDateTime(), true, 20, 0, 12);
        insertTask(m_alice, u"Budget"_s, local(2026, 6, 9, 23, 59, 59), false, 21, 0, 112);
        insertTask(m_alice, u"Audit"_s, local(2026, 6, 12, 10, 0), false, 50, 0, 120);
        insertTask(m_alice, u"x12y"_s, local(2026, 6, 10, 0, 0), true, 51, 0, 200);
        insertTask(m_bob, u"Write report 12 acme"_s, local(2026, 6, 10, 9, 0), false, 10, 1, 300);
        QVERIFY(execSql(*m_db, u"UPDATE tasks SET create_at = '2026-01-01 10:00:00'"_s)); // all alike

        m_service->setPageSize(100);
        m_service->sort(column, order);
        for (auto filter = filters.cbegin(); filter != filters.cend(); ++filter)
            QVERIFY(m_service->setProperty(filter.key().toLatin1(), filter.value()));
        QCOMPARE(shownIds(), ids);
        // One task a page: as many pages as matches, and requests outside them clamp to the first or last.
        m_service->setPageSize(1);
        m_service->loadPage(0);
        QCOMPARE(m_service->currentPage(), 1);
        QCOMPARE(m_service->totalPages(), std::max<int>(1, int(ids.size())));
        Recorder recorder;
        recorder.attach(m_service.get(), &TaskService::countsChanged, "counts");
        recorder.attach(m_service.get(), &TaskService::totalPagesChanged, "totalPages");
        recorder.attach(m_service.get(), &TaskService::currentPageChanged, "currentPage");
        recorder.attach(m_service.get(), &TaskService::countsLevelChanged, "levels");
        recorder.attach(m_service.get(), &TaskService::tasksChanged, "tasks");
        recorder.attach(m_model.get(), &TaskTableModel::modelAboutToBeReset, "aboutToReset");
        recorder.attach(m_model.get(), &TaskTableModel::modelReset, "reset");
        m_service->loadPage(99);
        QCOMPARE(shownIds(), ids.mid(ids.size() - 1));
        QCOMPARE(recorder.names.join(' '), u"counts totalPages currentPage levels aboutToReset reset"_s);
        // The counters ignore every filter; the level counters count open tasks.
        const QList<int> counters = {m_service->totalCount(),    m_service->activeCount(),
                                     m_service->inactiveCount(), m_service->lowLevelCount(),
                                     m_service->midLevelCount(), m_service->highLevelCount()};
        QCOMPARE(counters, (QList<int>{7, 3, 4, 1, 2, 1}));
        QCOMPARE(makeService()->sortOrder(), order); // read back by a second instance
    }

    void viewStateIsNormalisedAndStored_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<bool>("stored"); // found in the store rather than set
        const auto row = [](const char *name, const char *property, const QVariant &value,
                            const QVariant &expected, bool stored) {
            QTest::newRow(name) << QByteArray(property) << value << expected << stored;
        };
        const QVariant bound = u" 2026-06-01 10:00"_s; // kept as entered
        row("name is trimmed", "filterName", u" a "_s, u"a"_s, false);
        row("name is cut at 200", "filterName", QString(201, u'x'), QString(200, u'x'), false);
        row("unknown done is all", "filterActive", 7, -1, false);
        row("bound", "filterExpireTo", bound, bound, false);
        row("page size at least 1", "pageSize", 0, 1, false);
        row("stored sort column past the end", "sortColumn", 6, 5, true);
        row("stored unknown done", "filterActive", 5, -1, true);
        row("stored unknown level", "filterLevel", 30, -1, true);
    }

    void viewStateIsNormalisedAndStored()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        QFETCH(bool, stored);
        const QString key =
            u"task"_s + QChar(property.at(0)).toUpper() + QString::fromLatin1(property.mid(1));
        insertTask(m_alice, u"a"_s, QDateTime());
        if (stored) {
            settingsStore().setValue(key, value);
            const auto service = makeService();
            QCOMPARE(service->property(property).toInt(), expected.toInt());
            service->loadPage(1);
            QCOMPARE(m_model->rowCount(), 1); // a stored unknown filter must not empty the table
            return;
        }
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
            QCOMPARE(settingsStore().value(key).toString(),
                     changes && round == 0 ? expected.toString() : QString());
            if (round == 0)
                QCOMPARE(makeService()->property(property), expected); // read back by a second instance
            settingsStore().remove(key);                               // an equal value is not stored again
        }
    }

    void mutations()
    {
        const int bobs = insertTask(m_bob, u"bob's"_s, local(2026, 6, 1, 10, 0), true, 5);
        Recorder recorder;
        recorder.attach(m_model.get(), &TaskTableModel::modelReset, "reset");
        recorder.attach(m_service.get(), &TaskService::tasksChanged, "tasks");
        const auto rowOf = [this](int id) {
            return scalar(
                       u"SELECT printf('%d|%s|%d|%d|%d|%s|%s|%s', user_id, name, active, level, customer_id,"
                       " ifnull(notes, ''), quote(expire_at), quote(expire_at_epoch)) FROM tasks WHERE id = %1"_s
                           .arg(id))
                .toString();
        };
        const QString bobsRow = rowOf(bobs);
        // A local expiry is stored as UTC text beside its epoch seconds. Defaults: done, level 1.
        const QDateTime expiry = QDateTime(QDate(2026, 3, 22), QTime(17, 50), Qt::UTC).toLocalTime();
        QVERIFY(m_service->createTask(u"  Call  back "_s, expiry));
        const int id = scalar(u"SELECT MAX(id) FROM tasks"_s).toInt();
        QCOMPARE(rowOf(id), u"%1|Call  back|1|1|-1||'2026-03-22T17:50:00.000Z'|1774201800"_s.arg(m_alice));
        QCOMPARE(m_model->expireAt(0), expiry);
        QVERIFY(m_service->updateTask(id, u" renamed "_s, false, QDateTime(), 60, 3, u" n "_s));
        QCOMPARE(rowOf(id), u"%1|renamed|0|60|3|n|NULL|NULL"_s.arg(m_alice));
        QVERIFY(m_service->updateTaskDone(id, true));
        QCOMPARE(rowOf(id), u"%1|renamed|1|60|3|n|NULL|NULL"_s.arg(m_alice));
        // Another user's or a missing row: an edit is not saved and says so; the wish of a delete holds.
        for (const int other : {bobs, 999}) {
            QVERIFY(!m_service->updateTask(other, u"x"_s, false, QDateTime(), 1));
            QVERIFY(!m_service->updateTaskDone(other, false));
            QVERIFY(m_service->deleteTask(other));
        }
        QCOMPARE(rowOf(bobs), bobsRow);
        QCOMPARE(recorder.names.join(' '), QStringList(5, u"reset tasks"_s).join(' '));
        recorder.names.clear();
        // An empty name and id 0 never run.
        QVERIFY(!m_service->createTask(u"   "_s, QDateTime()));
        QVERIFY(!m_service->updateTaskDone(0, false));
        QVERIFY(recorder.names.isEmpty());
        QVERIFY(m_service->deleteTask(insertTask(m_alice, u"gone"_s, QDateTime())));
        insertTask(m_alice, u"open"_s, QDateTime(), false);
        recorder.names.clear();
        QVERIFY(m_service->deleteAllInactive());
        QCOMPARE(recorder.names.join(' '), u"reset tasks"_s);
        const QString rows = u"SELECT group_concat(name) FROM tasks"_s;
        QCOMPARE(scalar(rows).toString(), u"bob's,open"_s);

        // Signed out, or when the statements fail, nothing runs, reloads or is reported done.
        const int open = scalar(u"SELECT MAX(id) FROM tasks"_s).toInt();
        const auto refusesAll = [&] {
            recorder.names.clear();
            return !m_service->createTask(u"b"_s, QDateTime()) &&
                   !m_service->updateTask(open, u"b"_s, true, QDateTime(), 1) &&
                   !m_service->updateTaskDone(open, true) && !m_service->deleteTask(open) &&
                   !m_service->deleteAllInactive() && m_service->taskById(open).isEmpty() &&
                   recorder.names.isEmpty();
        };
        m_auth->logout(); // forgets the user's rows and counts at once
        QCOMPARE(m_model->rowCount() + m_service->inactiveCount() + m_service->lowLevelCount(), 0);
        QVERIFY(refusesAll());
        QCOMPARE(scalar(rows).toString(), u"bob's,open"_s);
        QVERIFY(m_auth->login(u"alice"_s, u"password123"_s));
        m_service->loadPage(1);
        QVERIFY(execSql(*m_db, u"ALTER TABLE tasks RENAME TO away"_s));
        QVERIFY(refusesAll());
        m_service->loadPage(1); // a failing page load keeps the counters and empties the table
        QCOMPARE(m_service->totalCount(), 1);
        QCOMPARE(m_model->rowCount(), 0);
    }

    void limitsRefuseAndStoreNothing_data()
    {
        QTest::addColumn<int>("nameLength");
        QTest::addColumn<int>("notesLength");
        QTest::addColumn<int>("year");
        QTest::addColumn<bool>("saved");
        QTest::newRow("longest name and notes, year 9999") << 1000 << 100000 << 9999 << true;
        QTest::newRow("year 1") << 1 << 0 << 1 << true;
        QTest::newRow("name too long") << 1001 << 0 << 2026 << false;
        QTest::newRow("notes too long") << 1 << 100001 << 2026 << false;
        QTest::newRow("year before 1") << 1 << 0 << -1 << false; // there is no year 0
        QTest::newRow("year 10000") << 1 << 0 << 10000 << false;
    }

    void limitsRefuseAndStoreNothing()
    {
        QFETCH(int, nameLength);
        QFETCH(int, notesLength);
        QFETCH(int, year);
        QFETCH(bool, saved);
        const int id = insertTask(m_alice, u"before"_s, QDateTime());
        const QString name(nameLength, u'n'), notes(notesLength, u'o');
        const QDateTime expiry(QDate(year, 6, 1), QTime(12, 0));
        QCOMPARE(m_service->createTask(name, expiry, false, 1, -1, notes), saved);
        QCOMPARE(m_service->updateTask(id, name, false, expiry, 1, -1, notes), saved);
        const QString stored = u"SELECT group_concat(length(name) || ':' || length(expire_at)) FROM tasks"_s;
        QCOMPARE(scalar(stored).toString(), saved ? u"%1:24,%1:24"_s.arg(nameLength) : QString());
    }

    void lookups()
    {
        QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (4, 1, 'Acme')"_s));
        const int later = insertTask(m_alice, u"later"_s, local(2026, 6, 2, 9, 0), false, 1, 4);
        const int none = insertTask(m_alice, u"none"_s, QDateTime(), true, 1, 4);
        const int first = insertTask(m_alice, u"first"_s, local(2026, 6, 1, 9, 30), true, 42, 4);
        const int tie = insertTask(m_alice, u"tie"_s, local(2026, 6, 1, 9, 30), false, 1, 4);
        insertTask(m_alice, u"other customer"_s, QDateTime(), false, 1, 5);
        const int bobs = insertTask(m_bob, u"bob's"_s, local(2026, 6, 1, 9, 0), false, 1, 4);
        const QVariantMap task = m_service->taskById(first);
        QCOMPARE(task.keys().join(' '), u"active customerId customerName expireAt level name notes taskId"_s);
        QCOMPARE(task.values(), (QVariantList{true, 4, u"Acme"_s, local(2026, 6, 1, 9, 30), 42, u"first"_s,
                                              QString(), first}));
        QVERIFY(m_service->taskById(bobs).isEmpty());
        // A customer's tasks: no expiry first, then by expiry, ties by id; not another user's.
        QList<int> ids;
        for (const QVariant &task : m_service->tasksForCustomer(4))
            ids.append(task.toMap().value(u"taskId"_s).toInt());
        QCOMPARE(ids, (QList<int>{none, first, tie, later}));
    }

    void nextDueTaskWindow_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("found");
        QTest::newRow("at the window's end") << 600 << 10 << true;
        QTest::newRow("a second past the end") << 601 << 10 << false;
        QTest::newRow("expired a second ago") << -1 << 10 << false;
        QTest::newRow("zero minutes, due this second") << 0 << 0 << true;
    }

    void nextDueTaskWindow()
    {
        QFETCH(int, offset);
        QFETCH(int, minutes);
        QFETCH(bool, found);
        m_service->now = QDateTime(QDate(2026, 3, 22), QTime(17, 40), Qt::UTC);
        const QDateTime expiry = m_service->now.addSecs(offset);
        if (found)
            insertTask(m_alice, u"later"_s, expiry.addSecs(1));
        const int id = insertTask(m_alice, u"due"_s, expiry);
        insertTask(m_bob, u"bob's"_s, m_service->now);
        const QVariantMap due = {{u"id"_s, id},
                                 {u"name"_s, u"due"_s},
                                 {u"expire_at_text"_s, expiry.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s)},
                                 {u"expire_at_epoch"_s, expiry.toSecsSinceEpoch()}};
        QCOMPARE(m_service->nextDueTask(minutes), found ? due : QVariantMap());
    }

    void statisticsWindowAndBounds()
    {
        // Ten days back from 28 March reach over no change, thirty ahead over Auckland's of 5 April.
        const QDate today(2026, 3, 28);
        m_service->now = QDateTime(today, QTime(23, 30));
        const QDate first = today.addDays(-10);
        const QDate end = today.addDays(30);
        insertTask(m_alice, u"first second"_s, first.startOfDay(), false);
        insertTask(m_alice, u"just before"_s, first.startOfDay().addSecs(-1));
        insertTask(m_alice, u"last second"_s, end.startOfDay().addSecs(-1), true);
        insertTask(m_alice, u"just after"_s, end.startOfDay());
        insertTask(m_bob, u"bob's"_s, QDateTime(today, QTime(9, 0)));
        settingsStore().setValue(u"statsExpireFrom"_s, u"2020-01-01 00:00"_s);

        QSignalSpy changed(m_service.get(), &TaskService::statisticsChanged);
        m_service->loadStatistics();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_service->dailyLabels(), (QStringList{dayText(first), dayText(end.addDays(-1))}));
        QCOMPARE(m_service->dailyTotals(), (QVariantList{1, 1}));
        QCOMPARE(m_service->dailyCompleted(), (QVariantList{0, 1}));
        QCOMPARE(m_service->statsExpireFrom(), QString());
        // An upper bound alone narrows the window but keeps its lower end.
        m_service->loadStatistics(QString(), u"2026-04-01 00:00"_s);
        QCOMPARE(m_service->dailyLabels(), QStringList{dayText(first)});
        QCOMPARE(m_service->statsExpireTo(), u"2026-04-01 00:00"_s);
        // Bounds that read as minutes take their whole minute; other text compares as text.
        for (const QStringList &bounds :
             {QStringList{u"2026-03-17 23:59"_s, u"2026-04-27 00:00"_s}, QStringList{u"2026"_s, QString()}}) {
            m_service->loadStatistics(bounds.at(0), bounds.at(1));
            QCOMPARE(m_service->dailyLabels(),
                     (QStringList{u"2026-03-17"_s, u"2026-03-18"_s, u"2026-04-26"_s, u"2026-04-27"_s}));
            QCOMPARE(m_service->dailyTotals(), (QVariantList{1, 1, 1, 1}));
            QCOMPARE(m_service->dailyCompleted(), (QVariantList{0, 0, 1, 0}));
            QCOMPARE(m_service->statsExpireTo(), bounds.at(1));
        }
        m_auth->logout();
        QCOMPARE(m_service->dailyTotals(), QVariantList());
    }

    void calendarRange()
    {
        QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (4, 1, 'Acme')"_s));
        insertTask(m_alice, u"first"_s, QDate(2026, 3, 1).startOfDay());
        const int withCustomer = insertTask(m_alice, u"Call back"_s, local(2026, 3, 15, 9, 30), true, 7, 4);
        insertTask(m_alice, u"Call back"_s, local(2026, 3, 15, 9, 30), false, 8, 0);
        insertTask(m_alice, u"after"_s, QDate(2026, 4, 1).startOfDay());
        insertTask(m_alice, u"no expiry"_s, QDateTime());
        insertTask(m_bob, u"bob's"_s, local(2026, 3, 15, 9, 0));
        QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
        m_service->loadTasksForRange(u"2026-03-01"_s, u"2026-03-31"_s);
        QCOMPARE(changed.count(), 1);
        QList<int> counts;
        for (const QString &day : {u"2026-03-01"_s, u"2026-03-15"_s, u"2026-3-15"_s, u"2026-04-01"_s})
            counts.append(m_service->taskCountForDate(day));
        QCOMPARE(counts, (QList<int>{1, 2, 0, 0}));
        const QVariantList day = m_service->tasksForDate(u"2026-03-15"_s);
        QCOMPARE(day.at(0).toMap().keys().join(' '),
                 u"active customerName dueDate id label level time title"_s);
        QCOMPARE(day.at(0).toMap().values(),
                 (QVariantList{1, u"Acme"_s, u"2026-03-15"_s, withCustomer, u"09:30 - [Acme] Call back"_s, 7,
                               u"09:30"_s, u"Call back"_s}));
        QCOMPARE(day.at(0).toMap().value(u"active"_s).typeId(), QMetaType::Int);
        QCOMPARE(day.at(1).toMap().value(u"label"_s).toString(), u"09:30 - Call back"_s);
        // Each load replaces the store; signed out, it finds nothing.
        m_auth->logout();
        QCOMPARE(m_service->taskCountForDate(u"2026-03-15"_s), 0);
        m_service->loadTasksForRange(u"2026-03-01"_s, u"2026-03-31"_s);
        QCOMPARE(m_service->taskCountForDate(u"2026-03-15"_s), 0);
    }

    void localDaysAcrossDst()
    {
        QStringList labels;
        for (const QDate &day : kDstChangeDays) {
            insertTask(m_alice, u"start"_s, day.startOfDay(), true);
            insertTask(m_alice, u"noon"_s, QDateTime(day, QTime(12, 0)));
            insertTask(m_alice, u"end"_s, day.addDays(1).startOfDay().addSecs(-1));
            insertTask(m_alice, u"next"_s, day.addDays(1).startOfDay());
            labels += {dayText(day), dayText(day.addDays(1))};
        }
        m_service->loadStatistics(u"2026-01-01 00:00"_s, u"2026-12-31 23:59"_s);
        QCOMPARE(m_service->dailyLabels(), labels);
        QCOMPARE(m_service->dailyTotals(), (QVariantList{3, 1, 3, 1, 3, 1, 3, 1}));
        QCOMPARE(m_service->dailyCompleted(), (QVariantList{1, 0, 1, 0, 1, 0, 1, 0}));
        for (const QDate &day : kDstChangeDays) {
            m_service->loadTasksForRange(dayText(day), dayText(day));
            QCOMPARE(m_service->taskCountForDate(dayText(day)), 3);
            QCOMPARE(m_service->firstTasksForDate(dayText(day)),
                     m_service->tasksForDate(dayText(day)).mid(0, 2));
            QCOMPARE(m_service->tasksForDate(dayText(day)).at(2).toMap().value(u"time"_s).toString(),
                     u"23:59"_s);
            QCOMPARE(m_service->taskCountForDate(dayText(day.addDays(1))), 0);
        }
    }

    // Expiry bounds on readings that a clock change skips or repeats.
    void boundsOnClockChanges()
    {
        const auto utc = [](int month, int day, int hour, int minute) {
            return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
        };
        struct Change
        {
            QString skipped; // a reading the clocks jump over, at the instant jump
            qint64 jump;
            QString repeated; // "yyyy-MM-dd HH:" of an hour the clocks run twice, first at firstHalf
            qint64 firstHalf;
        };
        const QHash<QByteArray, Change> zones = {
            {"America/Los_Angeles",
             {u"2026-03-08 02:30"_s, utc(3, 8, 10, 0), u"2026-11-01 01:"_s, utc(11, 1, 8, 30)}},
            {"Pacific/Auckland",
             {u"2026-09-27 02:30"_s, utc(9, 26, 14, 0), u"2026-04-05 02:"_s, utc(4, 4, 13, 30)}},
        };
        if (!zones.contains(qgetenv("TZ")))
            QSKIP("the local zone has no daylight-saving time");
        const Change change = zones.value(qgetenv("TZ"));
        const int before =
            insertTask(m_alice, u"skip before"_s, QDateTime::fromSecsSinceEpoch(change.jump - 1));
        const int after = insertTask(m_alice, u"skip after"_s, QDateTime::fromSecsSinceEpoch(change.jump));
        const int first =
            insertTask(m_alice, u"twice first"_s, QDateTime::fromSecsSinceEpoch(change.firstHalf));
        const int second =
            insertTask(m_alice, u"twice second"_s, QDateTime::fromSecsSinceEpoch(change.firstHalf + 3600));
        m_service->sort(0, 0);
        const auto shownFor = [this](const QString &name, const QString &from, const QString &to) {
            m_service->setFilterName(name);
            m_service->setFilterExpireFrom(from);
            m_service->setFilterExpireTo(to);
            return shownIds();
        };
        // A skipped reading stands for the moment of the jump.
        QCOMPARE(shownFor(u"skip"_s, change.skipped, QString()), QList<int>{after});
        QCOMPARE(shownFor(u"skip"_s, QString(), change.skipped), QList<int>{before});
        // A lower bound starts at the first run of a repeated minute, an upper one ends after the second.
        QCOMPARE(shownFor(u"twice"_s, change.repeated + u"30"_s, QString()), (QList<int>{first, second}));
        QCOMPARE(shownFor(u"twice"_s, change.repeated + u"31"_s, QString()), QList<int>{second});
        QCOMPARE(shownFor(u"twice"_s, QString(), change.repeated + u"30"_s), (QList<int>{first, second}));
        QCOMPARE(shownFor(u"twice"_s, QString(), change.repeated + u"29"_s), QList<int>{first});
    }

    void randomSequenceMatchesReference()
    {
        std::mt19937 random(kSeed);
        const auto pick = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        const auto pickOf = [&](const QStringList &texts) {
            return texts.at(pick(0, int(texts.size()) - 1));
        };

        // The reference: every task, the view state and the page it should show.
        QList<RefTask> tasks;
        const QHash<int, QString> customers = {{1, u"Acme"_s}, {2, u"beta co"_s}, {3, u"Zed 1"_s}};
        QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name)"
                               " VALUES (1, 1, 'Acme'), (2, 1, 'beta co'), (3, 1, 'Zed 1')"_s));
        QString nameFilter, fromFilter, toFilter;
        int activeFilter = -1, levelFilter = -1, sortColumn = 5, sortOrder = 1, pageSize = 25, page = 1,
            pages = 1;
        QList<int> shown;
        const auto matches = [&](const RefTask &t) {
            const auto has = [&](const QString &text) {
                return text.contains(nameFilter, Qt::CaseInsensitive);
            };
            const int bucket = t.level <= 20 ? 20 : t.level <= 50 ? 50 : 51;
            return t.userId == m_alice && (activeFilter == -1 || int(t.done) == activeFilter) &&
                   (levelFilter == -1 || bucket == levelFilter) &&
                   (has(t.name) || has(customers.value(t.customerId)) || has(QString::number(t.id))) &&
                   withinBound(t.expiry, fromFilter, false) && withinBound(t.expiry, toFilter, true);
        };
        const auto reload = [&](int requested) {
            QList<RefTask> matching;
            std::copy_if(tasks.cbegin(), tasks.cend(), std::back_inserter(matching), matches);
            std::sort(matching.begin(), matching.end(), [&](const RefTask &a, const RefTask &b) {
                const QString ka = sortKey(a, sortColumn), kb = sortKey(b, sortColumn);
                return ka != kb ? (ka < kb) != bool(sortOrder) : a.id < b.id;
            });
            pages = std::max(1, int((matching.size() + pageSize - 1) / pageSize));
            page = std::clamp(requested, 1, pages);
            shown.clear();
            for (const RefTask &t : matching.mid(qsizetype(page - 1) * pageSize, pageSize))
                shown.append(t.id);
        };
        // Coarse times, so that bounds and expiries often meet on the same minute.
        const auto randomExpiry = [&]() -> QDateTime {
            if (pick(0, 9) == 0)
                return {};
            const int hour = QList<int>{0, 9, 23}.at(pick(0, 2));
            return QDateTime(QDate(2026, 6, pick(1, 4)), QTime(hour, pick(0, 1) * 59, pick(0, 1) * 59));
        };
        const auto randomBound = [&]() -> QString {
            const int kind = pick(0, 5);
            if (kind < 2)
                return kind == 0 ? QString() : pickOf({u"2026-06-02"_s, u"2026-06-03T0"_s, u"2026"_s});
            const QString hour = pickOf({u"00"_s, u"09"_s, u"23"_s});
            return u"2026-06-0%1 %2:%3"_s.arg(pick(1, 4)).arg(hour, pickOf({u"00"_s, u"59"_s}));
        };
        const QStringList names = {u"alpha"_s,    u"Alpha"_s, u"beta"_s, u"Call 12"_s,
                                   u" spaced "_s, u"zulu"_s,  u"  "_s};
        for (int i = 0; i < 6; ++i) { // bob's tasks, which alice must never see nor change
            const QDateTime expiry = randomExpiry();
            const int id = insertTask(m_bob, names.at(i), expiry, i % 2, 10 * i, i % 4);
            tasks.append({id, m_bob, 10 * i, i % 4, names.at(i).trimmed(), QString(), bool(i % 2), expiry});
        }

        for (int step = 0; step < kSteps; ++step) {
            const int operation = pick(0, 11);
            // An existing task (sometimes bob's), a missing one or id 0.
            const bool existing = !tasks.isEmpty() && pick(0, 9) != 0;
            const int id = existing ? tasks.at(pick(0, int(tasks.size()) - 1)).id : pick(0, 1) * 99999;
            const QString name = pickOf(names);
            const QDateTime expiry = randomExpiry();
            const bool done = pick(0, 1);
            const int level = pick(1, 100), customer = pick(-1, 3);
            const auto own = std::find_if(tasks.begin(), tasks.end(), [&](const RefTask &t) {
                return t.id == id && t.userId == m_alice;
            });
            if (operation <= 1) {
                QCOMPARE(m_service->createTask(name, expiry, done, level, customer),
                         !name.trimmed().isEmpty());
                if (!name.trimmed().isEmpty()) {
                    // Creation times days apart, so that sorting by them is more than the id tie-break.
                    const int newId = scalar(u"SELECT MAX(id) FROM tasks"_s).toInt();
                    const QString createAt = u"2026-01-0%1 10:00:00"_s.arg(pick(1, 3));
                    execSql(*m_db,
                            u"UPDATE tasks SET create_at = '%1' WHERE id = %2"_s.arg(createAt).arg(newId));
                    tasks.append({newId, m_alice, level, customer, name.trimmed(), createAt, done, expiry});
                    m_service->onTasksChanged();
                    reload(page);
                }
            } else if (operation <= 4) {
                const bool ok = operation == 2
                                    ? m_service->updateTask(id, name, done, expiry, level, customer)
                                : operation == 3 ? m_service->updateTaskDone(id, done)
                                                 : m_service->deleteTask(id);
                QCOMPARE(ok, id >= 1 && (operation == 4 || own != tasks.end()));
                if (own != tasks.end() && operation == 2)
                    *own = {id, m_alice, level, customer, name.trimmed(), own->createAt, done, expiry};
                else if (own != tasks.end() && operation == 3)
                    own->done = done;
                else if (own != tasks.end())
                    tasks.erase(own);
                if (ok)
                    reload(page);
            } else if (operation == 5) {
                if (pick(0, 9) != 0)
                    continue;
                QVERIFY(m_service->deleteAllInactive());
                tasks.removeIf([&](const RefTask &t) { return t.done && t.userId == m_alice; });
                reload(page);
            } else if (operation <= 8) {
                const QList<QVariant> before = {nameFilter, activeFilter, levelFilter, fromFilter, toFilter};
                if (operation == 6) {
                    const QString text =
                        pickOf({QString(), u"a"_s, u"B"_s, u"1"_s, u" co "_s, u"12"_s, u"zz"_s});
                    m_service->setFilterName(text);
                    nameFilter = text.trimmed();
                } else if (operation == 7) {
                    const int active = pick(-1, 2), bucket = QList<int>{-1, 20, 50, 51, 30}.at(pick(0, 4));
                    m_service->setFilterActive(active);
                    m_service->setFilterLevel(bucket);
                    activeFilter = active == 2 ? -1 : active;
                    levelFilter = bucket == 30 ? -1 : bucket;
                } else {
                    fromFilter = randomBound();
                    toFilter = pick(0, 2) ? randomBound() : QString();
                    m_service->setFilterExpireFrom(fromFilter);
                    m_service->setFilterExpireTo(toFilter);
                }
                const QList<QVariant> after = {nameFilter, activeFilter, levelFilter, fromFilter, toFilter};
                if (before != after)
                    reload(1);
            } else if (operation == 9) {
                const int column = pick(-1, 6), order = pick(0, 2);
                m_service->sort(column, order);
                if (column >= 0 && column <= 5) {
                    sortColumn = column;
                    sortOrder = order == 1 ? 1 : 0;
                    reload(page);
                }
            } else if (operation == 10) {
                const int requested = pick(-1, pages + 1);
                m_service->loadPage(requested);
                reload(requested);
            } else {
                const int size = QList<int>{0, 1, 2, 3, 5, 10}.at(pick(0, 5));
                m_service->setPageSize(size); // takes effect at the next load
                pageSize = std::max(1, size);
            }
            const QList<int> expected = QList<int>(shown) << -1 << page << pages;
            const QList<int> actual = shownIds() << -1 << m_service->currentPage() << m_service->totalPages();
            QString lists; // ids, -1, page, pages
            QDebug(&lists) << "seed" << kSeed << "step" << step << ":" << actual << "instead of" << expected;
            QVERIFY2(actual == expected, qPrintable(lists));
        }
        // The expiry buckets kept by the triggers, and those a fresh build computes.
        QCOMPARE(expiryBuckets(), expiryBucketsOfTasks());
        QVERIFY(SchemaExtras::build(m_db->database()));
        QCOMPARE(expiryBuckets(), expiryBucketsOfTasks());
    }

private:
    // "user/span/start" -> {n, s, d} as stored.
    QMap<QString, QList<int>> expiryBuckets() const
    {
        QMap<QString, QList<int>> buckets;
        QSqlQuery query(m_db->database());
        query.exec(u"SELECT user_id, span, start_epoch, n, s, d FROM task_buckets"_s);
        while (query.next()) {
            buckets[u"%1/%2/%3"_s.arg(query.value(0).toInt())
                        .arg(query.value(1).toInt())
                        .arg(query.value(2).toLongLong())] = {query.value(3).toInt(), query.value(4).toInt(),
                                                              query.value(5).toInt()};
        }
        return buckets;
    }

    // The same, counted from the task rows.
    QMap<QString, QList<int>> expiryBucketsOfTasks() const
    {
        QMap<QString, QList<int>> buckets;
        QSqlQuery query(m_db->database());
        query.exec(u"SELECT user_id, expire_at_epoch, expire_at IS NOT NULL, active FROM tasks"
                   " WHERE expire_at_epoch IS NOT NULL"_s);
        while (query.next()) {
            const qint64 epoch = query.value(1).toLongLong();
            const bool withText = query.value(2).toBool();
            for (const int span : SchemaExtras::expiryBucketSpans()) {
                const qint64 start = epoch - ((epoch % span) + span) % span;
                QList<int> &counts = buckets[u"%1/%2/%3"_s.arg(query.value(0).toInt()).arg(span).arg(start)];
                counts.resize(3);
                counts[0] += 1;
                counts[1] += withText;
                counts[2] += withText && query.value(3).toInt() == 1;
            }
        }
        return buckets;
    }

    std::unique_ptr<ClockedTaskService> makeService() const
    {
        return std::make_unique<ClockedTaskService>(m_db.get(), m_auth.get(), m_model.get());
    }

    // Writes a task row directly, its expiry stored the way the service stores it; returns the id.
    int insertTask(int userId, const QString &name, const QDateTime &expireAt, bool done = false,
                   int level = 1, int customerId = 0, int id = 0)
    {
        QSqlQuery query(m_db->database());
        query.prepare(u"INSERT INTO tasks (id, user_id, customer_id, name, notes, level, active, expire_at,"
                      " expire_at_epoch) VALUES (?, ?, ?, ?, '', ?, ?, ?, ?)"_s);
        for (const QVariant &value :
             {id > 0 ? QVariant(id) : QVariant(), QVariant(userId), QVariant(customerId), QVariant(name),
              QVariant(level), QVariant(done ? 1 : 0), SqlSupport::utcValue(expireAt),
              SqlSupport::epochValue(expireAt)})
            query.addBindValue(value);
        return query.exec() ? query.lastInsertId().toInt() : -1;
    }

    static QString dayText(const QDate &day) { return day.toString(u"yyyy-MM-dd"_s); }

    QVariant scalar(const QString &sql) const { return queryValue(*m_db, sql); }

    QList<int> shownIds() const
    {
        QList<int> ids;
        for (int row = 0; row < m_model->rowCount(); ++row)
            ids.append(m_model->taskIdAt(row));
        return ids;
    }

    QTemporaryDir m_templateDir; // both accounts registered once: hashing passwords is slow
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<TaskTableModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<ClockedTaskService> m_service;
    int m_alice = -1;
    int m_bob = -1;
};

QTEST_GUILESS_MAIN(TstTaskService)
#include "tst_taskservice.moc"
