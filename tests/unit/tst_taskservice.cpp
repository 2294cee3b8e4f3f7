#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/TaskService.h"
#include "storage/SchemaExtras.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QAbstractItemModelTester>
#include <QDebug>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>

#include <sqlite3.h>

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
    using TaskService::setSearchLimits;
    using TaskService::TaskService;
    QDateTime now;

protected:
    QDateTime currentDateTime() const override
    {
        return now.isValid() ? now : TaskService::currentDateTime();
    }
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

// The page orders as plain statements read them: every sort expression, then ascending id.
const QStringList kOrders = {
    u"tasks.id"_s,       u"tasks.name"_s, u"tasks.level"_s, u"tasks.active"_s, u"tasks.expire_at_epoch"_s,
    u"tasks.create_at"_s};

// Every statement an SQLite connection runs while run() runs, with its values filled in.
QStringList statementsRunBy(const DbManager &db, const std::function<void()> &run)
{
    if (db.isServer()) {
        run();
        return {};
    }
    const QVariant handle = db.database().driver()->handle();
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    QStringList statements;
    const auto record = [](unsigned, void *context, void *statement, void *) {
        char *sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt *>(statement));
        static_cast<QStringList *>(context)->append(QString::fromUtf8(sql));
        sqlite3_free(sql);
        return 0;
    };
    sqlite3_trace_v2(connection, SQLITE_TRACE_STMT, record, &statements);
    run();
    sqlite3_trace_v2(connection, 0, nullptr, nullptr);
    return statements;
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
        QVERIFY(m_template.openDatabase(db));
        AuthService auth(&db);
        m_bob = signInTestUser(auth, u"bob"_s);
        m_alice = signInTestUser(auth, u"alice"_s);
        QVERIFY(m_bob > 0 && m_alice > 0 && m_alice != m_bob);
    }

    void init()
    {
        m_sandbox = std::make_unique<TestSandbox>();
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db, &m_template));
        QVERIFY(m_db->isServer() || execSql(*m_db, u"PRAGMA synchronous = OFF"_s)); // no durability needed
        m_auth = std::make_unique<AuthService>(m_db.get());
        QVERIFY(m_auth->login(u"alice"_s, u"password123"_s));
        m_model = std::make_unique<TaskTableModel>();
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_service = makeService();
    }

    void cleanup() { m_service.reset(), m_tester.reset(), m_model.reset(), m_db.reset(); }

    // Stored forms, signal order and sign-out; which rows a change reaches is left to the reference below.
    void storedFormsAndSignalOrder()
    {
        QStringList order;
        connect(m_model.get(), &TaskTableModel::modelReset, this, [&] { order << u"reset"_s; });
        connect(m_service.get(), &TaskService::tasksChanged, this, [&] { order << u"tasks"_s; });
        const QDateTime expiry = QDateTime(QDate(2026, 3, 22), QTime(17, 50), Qt::UTC).toLocalTime();
        QVERIFY(m_service->createTask(u"  Call  back "_s, expiry, true, 1, -1, u" n "_s));
        const QString row =
            u"SELECT name || '|' || COALESCE(notes, '') || '|' || COALESCE(expire_at, 'NULL') || '|'"
            " || COALESCE(CAST(expire_at_epoch AS TEXT), 'NULL') FROM tasks"_s;
        QCOMPARE(scalar(row).toString(), u"Call  back|n|2026-03-22T17:50:00.000Z|1774201800"_s);
        QCOMPARE(m_model->expireAt(0), expiry);
        QVERIFY(m_service->updateTask(m_model->taskIdAt(0), u"x"_s, false, QDateTime(), 1));
        QCOMPARE(scalar(row).toString(), u"x||NULL|NULL"_s);
        QCOMPARE(order.join(' '), u"reset tasks reset tasks"_s);
        QVERIFY(execSql(*m_db, u"UPDATE tasks SET create_at = '2026-03-21 23:30:00'"_s)); // SQLite's UTC form
        m_service->loadPage(1);
        QCOMPARE(m_model->createAt(0), QDateTime(QDate(2026, 3, 21), QTime(23, 30), Qt::UTC));
        m_service->setFilterName(QString(201, u'x'));
        QCOMPARE(m_service->filterName().size(), 200); // a search is cut
        order.clear();
        m_auth->logout(); // forgets the user's rows and counts at once
        QCOMPARE(m_model->rowCount() + m_service->totalCount() + m_service->lowLevelCount(), 0);
        QVERIFY(!m_service->createTask(u"b"_s, QDateTime()) && !m_service->deleteAllInactive());
        QCOMPARE(order.size(), 1); // the emptied table
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
        const QString stored = u"SELECT length(name) || ':' || length(expire_at) FROM tasks ORDER BY id"_s;
        QCOMPARE(queryList(*m_db, stored), saved ? u"%1:24,%1:24"_s.arg(nameLength) : QString());
    }

    // The window runs from now to now plus the minutes, both ends included; bob's and done tasks never come.
    void nextDueTaskWindow()
    {
        m_service->now = QDateTime(QDate(2026, 3, 22), QTime(17, 40), Qt::UTC);
        insertTask(m_bob, u"bob's"_s, m_service->now);
        insertTask(m_alice, u"done"_s, m_service->now, true);
        insertTask(m_alice, u"past"_s, m_service->now.addSecs(-1));
        insertTask(m_alice, u"later"_s, m_service->now.addSecs(601));
        QCOMPARE(m_service->nextDueTask(10), QVariantMap());
        const QDateTime expiry = m_service->now.addSecs(600);
        const int id = insertTask(m_alice, u"due"_s, expiry);
        const QVariantMap due = {{u"id"_s, id},
                                 {u"name"_s, u"due"_s},
                                 {u"expire_at_text"_s, expiry.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s)},
                                 {u"expire_at_epoch"_s, expiry.toSecsSinceEpoch()}};
        QCOMPARE(m_service->nextDueTask(10), due);
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
        // A range of many days reads every day's first tasks at once: each lands on its own day.
        m_service->loadTasksForRange(dayText(kDstChangeDays.first()),
                                     dayText(kDstChangeDays.last().addDays(1)));
        for (const QString &day : std::as_const(labels))
            QCOMPARE(m_service->firstTasksForDate(day), m_service->tasksForDate(day).mid(0, 2));
        m_auth->logout(); // forgets the statistics and the calendar at once
        QCOMPARE(
            m_service->dailyTotals().size() + m_service->taskCountForDate(dayText(kDstChangeDays.last())), 0);
    }

    // Expiry bounds on readings that a clock change skips (a reading at the instant of the jump) or repeats
    // (an hour the clocks run twice, the first run starting at an instant).
    void boundsOnClockChanges()
    {
        const auto utc = [](int month, int day, int hour, int minute) {
            return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
        };
        const QHash<QByteArray, std::tuple<QString, qint64, QString, qint64>> zones = {
            {"America/Los_Angeles",
             {u"2026-03-08 02:30"_s, utc(3, 8, 10, 0), u"2026-11-01 01:"_s, utc(11, 1, 8, 30)}},
            {"Pacific/Auckland",
             {u"2026-09-27 02:30"_s, utc(9, 26, 14, 0), u"2026-04-05 02:"_s, utc(4, 4, 13, 30)}},
        };
        if (!zones.contains(qgetenv("TZ")))
            QSKIP("the local zone has no daylight-saving time");
        const auto [skipped, jump, repeated, firstHalf] = zones.value(qgetenv("TZ"));
        const auto add = [this](const QString &name, qint64 epoch) {
            return insertTask(m_alice, name, QDateTime::fromSecsSinceEpoch(epoch));
        };
        const int before = add(u"skip before"_s, jump - 1), after = add(u"skip after"_s, jump);
        const int first = add(u"twice first"_s, firstHalf), second = add(u"twice second"_s, firstHalf + 3600);
        m_service->sort(0, 0);
        const auto shownFor = [this](const QString &name, const QString &from, const QString &to) {
            m_service->setFilterName(name);
            m_service->setFilterExpireFrom(from);
            m_service->setFilterExpireTo(to);
            return shownIds();
        };
        // A skipped reading stands for the moment of the jump.
        QCOMPARE(shownFor(u"skip"_s, skipped, QString()), QList<int>{after});
        QCOMPARE(shownFor(u"skip"_s, QString(), skipped), QList<int>{before});
        // A lower bound starts at the first run of a repeated minute, an upper one ends after the second.
        QCOMPARE(shownFor(u"twice"_s, repeated + u"31"_s, QString()), QList<int>{second});
        QCOMPARE(shownFor(u"twice"_s, QString(), repeated + u"30"_s), (QList<int>{first, second}));
        QCOMPARE(shownFor(u"twice"_s, QString(), repeated + u"29"_s), QList<int>{first});
    }

    // Next, previous, last and jumps continue from the rows shown, yet every page is the one OFFSET
    // gives, ties and NULL keys included; and no page statement sorts the user's rows.
    void pagesMatchOffsetWithoutSorting_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        for (int column = 0; column < 6; ++column) {
            QTest::addRow("%s asc", qPrintable(kOrders.at(column))) << column << 0;
            QTest::addRow("%s desc", qPrintable(kOrders.at(column))) << column << 1;
        }
    }

    void pagesMatchOffsetWithoutSorting()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        const QStringList names = {u"alpha"_s, u"Alpha"_s, u"beta"_s, QString()};
        const QList<QDateTime> expiries = {QDateTime(), local(2026, 6, 1, 9, 0), local(2026, 6, 2, 9, 0)};
        for (int i = 0; i < 60; ++i)
            insertTask(i % 7 == 3 ? m_bob : m_alice, names.at(i % 4), expiries.at(i % 3), i % 5 < 2,
                       20 + i % 4 * 10);
        QVERIFY(execSql(*m_db, u"UPDATE tasks SET create_at = CASE id % 3 WHEN 0 THEN NULL"
                               " WHEN 1 THEN '2026-01-01 10:00:00' ELSE '2026-01-02 10:00:00' END"_s));
        const QString filter = column % 2 ? u" AND tasks.active = 1"_s : QString();
        m_service->setPageSize(4);
        m_service->sort(column, order);
        m_service->setFilterActive(column % 2 ? 1 : -1);
        const auto offsetPage = [&](int page) {
            QSqlQuery query(m_db->database());
            const SqlDialect &dialect = m_db->dialect();
            const QString key = column == 1 ? dialect.caseless(kOrders.at(column)) : kOrders.at(column);
            query.exec(u"SELECT id FROM tasks WHERE user_id = %1%2 ORDER BY %3 %4%5, tasks.id ASC"
                       " LIMIT 4 OFFSET %6"_s.arg(m_alice)
                           .arg(filter, key, order ? u"DESC"_s : u"ASC"_s, dialect.nullsLow(!order))
                           .arg((page - 1) * 4));
            QList<int> ids;
            while (query.next())
                ids.append(query.value(0).toInt());
            return ids;
        };
        const int pages = m_service->totalPages();
        QList<int> visits;
        for (int page = 1; page <= pages; ++page)
            visits << page;
        for (int page = pages; page >= 1; --page)
            visits << page;
        visits << 3 << pages - 2 << 2;
        QList<QList<int>> expected;
        for (const int page : visits)
            expected << offsetPage(page);
        const QStringList statements = statementsRunBy(*m_db, [&] {
            for (qsizetype i = 0; i < visits.size(); ++i) {
                m_service->loadPage(visits.at(i));
                QCOMPARE(shownIds(), expected.at(i));
            }
        });
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(pages > 5);
        for (const QString &sql : statements.filter(u"ORDER BY"_s)) {
            QSqlQuery plan(m_db->database());
            QVERIFY(plan.exec(u"EXPLAIN QUERY PLAN "_s + sql));
            while (plan.next())
                QVERIFY2(!plan.value(3).toString().contains(u"TEMP B-TREE"_s), qPrintable(sql));
        }
    }

    void searchInIdOrderPagesLikeStatement_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("cap");
        QTest::addColumn<bool>("fewOwn"); // most tasks are bob's
        for (const int column : {0, 5}) {
            for (const int cap : {10000, 10}) {
                QTest::addRow("%s asc, cap %d", qPrintable(kOrders.at(column)), cap)
                    << column << 0 << cap << (cap < 100);
                QTest::addRow("%s desc, cap %d", qPrintable(kOrders.at(column)), cap)
                    << column << 1 << cap << (cap < 100);
            }
        }
    }

    // Creation times that follow the ids (NULL first, many equal) let a search read its candidates in
    // id order: a word in one stretch of ids, bob's tasks in between, and tasks that match by their
    // customer alone. On the server the ids lie apart, so that the stretch covers a few of the blocks
    // a search reads.
    void searchInIdOrderPagesLikeStatement()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(int, cap);
        QFETCH(bool, fewOwn);
        const int step = m_db->isServer() ? 200 : 1;
        QVERIFY(!m_db->isServer() ||
                execSql(*m_db, u"ALTER TABLE tasks ALTER COLUMN id SET INCREMENT BY %1"_s.arg(step)));
        QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (1, 1, 'Heronsgate')"_s));
        QList<int> ids;
        for (int i = 0; i < 400; ++i) {
            const QString name = i >= 40 && i < 110 ? u"Task %1 heron"_s.arg(i) : u"Task %1"_s.arg(i);
            const bool bobs = fewOwn ? i % 5 != 0 : i % 6 == 5;
            ids << insertTask(bobs ? m_bob : m_alice, name, QDateTime(), i % 3 == 0, 1, i % 11 == 0 ? 1 : 0);
        }
        QVERIFY(execSql(*m_db, u"UPDATE tasks SET create_at = CASE WHEN id <= %1 THEN NULL"
                               " ELSE '2026-01-01 ' || CAST(100000 + id / %2 AS TEXT) END"_s.arg(ids.at(9))
                                   .arg(10 * step)));
        // With the names' statistics the server probes every user's candidates where alice holds most.
        QVERIFY(!m_db->isServer() || execSql(*m_db, u"ANALYZE tasks"_s));
        m_service->setSearchLimits(cap, 1);
        m_service->setPageSize(7);
        m_service->sort(column, order);
        m_service->setFilterName(u"heron"_s);
        const auto offsetPage = [&](int page) {
            QSqlQuery query(m_db->database());
            const SqlDialect &dialect = m_db->dialect();
            query.prepare(
                u"SELECT tasks.id FROM tasks LEFT JOIN customers ON customers.id = tasks.customer_id"
                " WHERE tasks.user_id = :uid AND (%1 OR %2) ORDER BY %3 %4%5, tasks.id ASC"
                " LIMIT 7 OFFSET %6"_s
                    .arg(dialect.like(u"tasks.name"_s, u":p"_s), dialect.like(u"customers.name"_s, u":p"_s),
                         kOrders.at(column), order ? u"DESC"_s : u"ASC"_s, dialect.nullsLow(!order))
                    .arg((page - 1) * 7));
            query.bindValue(u":uid"_s, m_alice);
            query.bindValue(u":p"_s, u"%heron%"_s);
            QList<int> ids;
            for (query.exec(); query.next();)
                ids.append(query.value(0).toInt());
            return ids;
        };
        m_service->loadPage(1);
        const int pages = m_service->totalPages();
        QCOMPARE(m_service->countCapped(), cap < 100);
        QList<int> visits;
        for (int page = 1; page <= pages; ++page)
            visits << page;
        for (int page = pages; page >= 1; --page)
            visits << page;
        visits << 3 << pages << pages - 2 << 1 << pages;
        const QStringList statements = statementsRunBy(*m_db, [&] {
            for (const int page : std::as_const(visits)) {
                m_service->loadPage(page);
                QCOMPARE(shownIds(), offsetPage(m_service->currentPage()));
            }
        });
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(m_db->isServer() || !statements.filter(u"ORDER BY task_search.rowid"_s).isEmpty());
        QVERIFY(m_db->isServer() || statements.filter(u"tasks AS own"_s).isEmpty() != fewOwn);
        if (m_db->isServer()) { // the pages read the blocks: without them only customers match
            QVERIFY(execSql(*m_db, u"UPDATE task_search_blocks SET bloom = B'0'::BIT(16384)"_s));
            m_service->setFilterName(QString());
            m_service->setFilterName(u"heron"_s);
            // Counted from the index of the user's trigrams where alice holds few, else through the blocks.
            const int byCustomer = scalar(u"SELECT COUNT(*) FROM tasks WHERE user_id = %1 AND customer_id = 1"
                                          " AND name NOT LIKE '%heron%'"_s.arg(m_alice))
                                       .toInt();
            QCOMPARE(m_service->totalPages(), fewOwn || byCustomer > cap ? pages : (byCustomer + 6) / 7);
            QStringList shown;
            for (const int id : shownIds())
                shown << QString::number(id);
            QVERIFY(!shown.isEmpty());
            QCOMPARE(scalar(u"SELECT COUNT(*) FROM tasks WHERE id IN (%1) AND customer_id = 1"
                            " AND name NOT LIKE '%heron%'"_s.arg(shown.join(u',')))
                         .toInt(),
                     shown.size());
        }
    }

    void searchMatchesLike_data()
    {
        QTest::addColumn<bool>("fewOwn"); // most tasks are bob's
        QTest::addRow("alice holds most") << false;
        QTest::addRow("alice holds few") << true;
    }

    // The search index only narrows the candidates down: every pattern finds what LIKE finds.
    void searchMatchesLike()
    {
        QFETCH(bool, fewOwn);
        std::mt19937 random(kSeed);
        const QStringList letters = {u"a"_s,      u"A"_s,      u"b"_s,          u"\u00e9"_s, u"\u00c9"_s,
                                     u"\u00df"_s, u"\u212a"_s, u"k"_s,          u"1"_s,      u" "_s,
                                     u"%"_s,      u"_"_s,      u"\U0001f600"_s, u"~"_s,      u"|"_s};
        const auto text = [&](int from, int to, const QStringList &extra) {
            QString result;
            for (int i = std::uniform_int_distribution<int>(from, to)(random); i > 0; --i) {
                const QStringList all = letters + extra;
                result += all.at(std::uniform_int_distribution<int>(0, int(all.size()) - 1)(random));
            }
            return result;
        };
        for (int id = 1; id <= 3; ++id)
            QVERIFY(execSql(*m_db,
                            u"INSERT INTO customers (id, user_id, name) VALUES (%1, 1, '%2')"_s.arg(id).arg(
                                text(3, 6, {}))));
        // Ids of four digits, so that patterns match by the id text, by the name, or by both.
        QVERIFY(m_db->isServer()
                    ? execSql(*m_db, u"SELECT setval(pg_get_serial_sequence('tasks', 'id'), 1100)"_s)
                    : execSql(*m_db, u"INSERT INTO tasks (id, user_id, name, notes, level, active)"
                                     " VALUES (1100, %1, '', '', 1, 0)"_s.arg(m_bob)));
        for (int i = 0; i < 80; ++i)
            insertTask((i % 9 != 0) != fewOwn ? m_alice : m_bob, text(0, 9, {u"11"_s}), QDateTime(), false, 1,
                       i % 4);
        m_service->setPageSize(1000);
        m_service->sort(0, 0);
        for (int round = 0; round < 300; ++round) {
            const QString pattern =
                text(1, 6, {u"%"_s, u"_"_s, u"ab"_s, u"\u00e9"_s, u"11"_s, u"0"_s}).trimmed();
            QSqlQuery query(m_db->database());
            const SqlDialect &dialect = m_db->dialect();
            query.prepare(
                u"SELECT tasks.id FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                " WHERE tasks.user_id = :uid AND (%1 OR %2 OR %3) ORDER BY tasks.id"_s.arg(
                    dialect.like(u"tasks.name"_s, u":p"_s), dialect.like(u"customers.name"_s, u":p"_s),
                    dialect.like(u"CAST(tasks.id AS TEXT)"_s, u":p"_s)));
            query.bindValue(u":uid"_s, m_alice);
            query.bindValue(u":p"_s, u"%"_s + pattern + u"%"_s);
            QList<int> expected;
            QVERIFY(query.exec());
            while (query.next())
                expected.append(query.value(0).toInt());
            m_service->setFilterName(pattern);
            m_service->loadPage(1); // also when the pattern repeats
            QVERIFY2(shownIds() == expected, qPrintable(pattern));
            m_service->setPageSize(1);
            m_service->loadPage(1);
            QCOMPARE(m_service->totalPages(), std::max(1, int(expected.size())));
            m_service->setPageSize(1000);
        }
    }

    // Only a search stops counting at the cap: a range is counted exactly, however many it holds.
    void onlySearchesCountToTheCap()
    {
        m_service->setSearchLimits(3, 1);
        for (int i = 0; i < 8; ++i)
            insertTask(m_alice, u"alpha"_s, local(2026, 6, 1, 9, 0));
        m_service->setPageSize(2);
        m_service->setFilterExpireFrom(u"2026-05-01"_s);
        m_service->loadPage(1);
        QCOMPARE((QList<int>{m_service->totalPages(), m_service->countCapped()}), (QList<int>{4, false}));
        m_service->setFilterName(u"a"_s);
        m_service->loadPage(1);
        QCOMPARE((QList<int>{m_service->totalPages(), m_service->countCapped()}), (QList<int>{2, true}));
    }

    // The probe reads every candidate, bob's too, yet the customer's tasks are too many to list: the
    // count is exact, with no cap.
    void searchOfEveryCandidateProbedCountsExactly()
    {
        QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (1, 1, 'Kestrel Ltd')"_s));
        for (int i = 0; i < 15; ++i)
            insertTask(i < 2 ? m_bob : m_alice, i < 7 ? u"kestrel %1"_s.arg(i) : u"other"_s, QDateTime(),
                       false, 1, i < 7 ? 0 : 1);
        m_service->setSearchLimits(10000, 7);
        m_service->setPageSize(1);
        m_service->setFilterName(u"kestrel"_s);
        m_service->loadPage(1);
        QCOMPARE((QList<int>{m_service->totalPages(), m_service->countCapped()}), (QList<int>{13, false}));
    }

    void searchOfFewOwnSpreadWord_data()
    {
        QTest::addColumn<int>("cap");
        QTest::addColumn<int>("listPages");
        QTest::addColumn<int>("pages");
        QTest::addRow("listed below the cap") << 30 << 50 << 4;
        QTest::addRow("walked, capped") << 10 << 1 << 2;
    }

    // Alice holds a fifth of the tasks and the word is in each of them, spread over many blocks of ids:
    // her matches alone decide the list and the count, as the LIKE statement gives them, whatever
    // bob's are.
    void searchOfFewOwnSpreadWord()
    {
        QFETCH(int, cap);
        QFETCH(int, listPages);
        QFETCH(int, pages);
        QVERIFY(!m_db->isServer() ||
                execSql(*m_db, u"ALTER TABLE tasks ALTER COLUMN id SET INCREMENT BY 200"_s));
        for (int i = 0; i < 100; ++i)
            insertTask(i % 5 ? m_bob : m_alice, u"kestrel %1"_s.arg(i), QDateTime(), false, i % 7 + 1);
        m_service->setSearchLimits(cap, listPages);
        m_service->setPageSize(5);
        m_service->sort(2, 1);
        m_service->setFilterName(u"kestrel"_s);
        m_service->loadPage(1);
        QCOMPARE((QList<int>{m_service->totalPages(), m_service->countCapped()}),
                 (QList<int>{pages, cap < 20}));
        QList<int> shown;
        for (int page = 1; page <= pages; ++page) {
            m_service->loadPage(page);
            shown += shownIds();
        }
        QList<int> expected;
        QSqlQuery query(m_db->database());
        QVERIFY(query.exec(u"SELECT id FROM tasks WHERE user_id = %1 AND name LIKE '%kestrel%'"
                           " ORDER BY level DESC, id ASC LIMIT %2"_s.arg(m_alice)
                               .arg(pages * 5)));
        while (query.next())
            expected.append(query.value(0).toInt());
        QCOMPARE(shown, expected);
    }

    // More done tasks than one chunk: the rest goes from the event loop with rising progress, only
    // the user's done tasks go, and the counters end exact.
    void deleteDoneInChunks()
    {
        QVERIFY(
            execSql(*m_db, u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1300)"
                           " INSERT INTO tasks (user_id, name, active, level) SELECT CASE WHEN i % 13 = 0"
                           " THEN %1 ELSE %2 END, 't' || i, CASE WHEN i % 5 > 0 THEN 1 ELSE 0 END, i % 90 + 1"
                           " FROM n"_s.arg(m_bob)
                               .arg(m_alice)));
        const QVariant bobsDone =
            scalar(u"SELECT COUNT(*) FROM tasks WHERE active = 1 AND user_id = %1"_s.arg(m_bob));
        QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
        QList<double> progress;
        connect(m_service.get(), &TaskService::deletingDoneChanged, this,
                [&] { progress << m_service->deleteProgress(); });
        QVERIFY(m_service->deleteAllInactive());
        QVERIFY(m_service->deletingDone() && changed.isEmpty());
        QTRY_VERIFY(!m_service->deletingDone());
        QCOMPARE(changed.size(), 1);
        QVERIFY2(progress.size() >= 3 && std::is_sorted(progress.begin(), progress.end()) &&
                     progress.last() == 1.0,
                 qPrintable(QString::number(progress.size())));
        QCOMPARE(scalar(u"SELECT COUNT(*) FROM tasks WHERE active = 1 AND user_id = %1"_s.arg(m_bob)),
                 bobsDone);
        const QString fresh =
            u"SELECT COUNT(*) || '/' || SUM(CASE WHEN active = 1 THEN 1 ELSE 0 END) FROM tasks WHERE user_id = %1"_s
                .arg(m_alice);
        QCOMPARE(scalar(fresh), QVariant(u"%1/0"_s.arg(m_service->totalCount())));
        QCOMPARE(scalar(u"SELECT total || '/' || done FROM task_counts WHERE user_id = %1"_s.arg(m_alice)),
                 scalar(fresh));

        // Nothing left to delete: the table is still read again, and nothing announces a change.
        QSignalSpy reset(m_model.get(), &TaskTableModel::modelReset);
        QVERIFY(m_service->deleteAllInactive());
        QTRY_VERIFY(!m_service->deletingDone());
        QCOMPARE(reset.size(), 1);
        QCOMPARE(changed.size(), 1);
    }

    void randomSequenceMatchesReference()
    {
        std::mt19937 random(kSeed);
        const auto pick = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        m_service->setSearchLimits(10000, 1); // a search of few table pages is listed, others walked
        const auto pickOf = [&](const QStringList &texts) {
            return texts.at(pick(0, int(texts.size()) - 1));
        };

        // The reference: every task, the view state and the page it should show.
        QList<RefTask> tasks;
        QHash<int, QString> customers = {{1, u"Acme"_s}, {2, u"beta co"_s}, {3, u"Zed 1"_s}};
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
        // On the server the ids lie apart, over several of the blocks a search reads.
        QVERIFY(!m_db->isServer() ||
                execSql(*m_db, u"ALTER TABLE tasks ALTER COLUMN id SET INCREMENT BY 50"_s));
        const QString bobsRowsSql =
            u"SELECT name || active || level FROM tasks WHERE user_id = %1 ORDER BY id"_s.arg(m_bob);
        const QString bobsRows = queryList(*m_db, bobsRowsSql);

        for (int step = 0; step < kSteps; ++step) {
            const int operation = pick(0, 11);
            // An existing task (sometimes bob's), a missing one or id 0.
            const bool existing = !tasks.isEmpty() && pick(0, 9) != 0;
            const int id = existing ? tasks.at(pick(0, int(tasks.size()) - 1)).id : pick(0, 1) * 99999;
            const QString name = pickOf(names);
            const QDateTime expiry = randomExpiry();
            const bool done = pick(0, 1);
            const int level = QList<int>{1, 20, 21, 50, 51, 100}.at(pick(0, 5)), customer = pick(-1, 3);
            const auto own = std::find_if(tasks.begin(), tasks.end(), [&](const RefTask &t) {
                return t.id == id && t.userId == m_alice;
            });
            if (operation <= 1) {
                QCOMPARE(m_service->createTask(name, expiry, done, level, customer),
                         !name.trimmed().isEmpty());
                if (!name.trimmed().isEmpty()) {
                    // Creation times that follow the ids with ties, later days apart, so that sorting by
                    // them is more than the id tie-break.
                    const int newId = scalar(u"SELECT MAX(id) FROM tasks"_s).toInt();
                    const QString createAt =
                        step < kSteps / 2
                            ? u"2026-01-01 10:%1:00"_s.arg(std::min(59, step / 20), 2, 10, QChar(u'0'))
                            : u"2026-01-0%1 10:00:00"_s.arg(pick(1, 3));
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
                // An edit of another user's or a missing task is refused; a delete's wish holds for any id.
                QCOMPARE(ok, operation == 4 ? id >= 1 : own != tasks.end());
                if (own != tasks.end() && operation == 2)
                    *own = {id, m_alice, level, customer, name.trimmed(), own->createAt, done, expiry};
                else if (own != tasks.end() && operation == 3)
                    own->done = done;
                else if (own != tasks.end())
                    tasks.erase(own);
                if (ok)
                    reload(page);
            } else if (operation == 5) {
                const int rare = pick(0, 19);
                if (rare == 0) {
                    QVERIFY(m_service->deleteAllInactive());
                    tasks.removeIf([&](const RefTask &t) { return t.done && t.userId == m_alice; });
                } else if (rare == 1 && !customers.isEmpty()) { // as the customer service deletes one
                    const int gone = customers.keys().at(pick(0, int(customers.size()) - 1));
                    execSql(*m_db, u"UPDATE tasks SET customer_id = 0 WHERE customer_id = %1"_s.arg(gone));
                    execSql(*m_db, u"DELETE FROM customers WHERE id = %1"_s.arg(gone));
                    m_service->onTasksChanged();
                    customers.remove(gone);
                    for (RefTask &t : tasks)
                        t.customerId = t.customerId == gone ? 0 : t.customerId;
                } else if (rare == 2 && !customers.isEmpty()) { // renamed in the customer directory
                    const int renamed = customers.keys().at(pick(0, int(customers.size()) - 1));
                    customers[renamed] = pickOf({u"Zulu Ltd"_s, u"Call Co"_s, u"b"_s, u"QZ"_s});
                    QVERIFY(execSql(*m_db, u"UPDATE customers SET name = '%1' WHERE id = %2"_s
                                               .arg(customers.value(renamed))
                                               .arg(renamed)));
                    m_service->onTasksChanged();
                } else {
                    continue;
                }
                reload(page);
            } else if (operation <= 8) {
                const QList<QVariant> before = {nameFilter, activeFilter, levelFilter, fromFilter, toFilter};
                if (operation == 6) {
                    const QString text =
                        pickOf({QString(), u"a"_s, u"B"_s, u"1"_s, u" co "_s, u"12"_s, u"zz"_s, u"alp"_s,
                                u"eta"_s, u"Zed"_s, u"100"_s, u"ll 1"_s, u"qz"_s});
                    // Few table pages to list: short texts walk; more: those in a block or two are listed.
                    m_service->setSearchLimits(10000, pick(0, 1) ? 1 : 64);
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
            if (step == kSteps / 2) // the first half reads searches in id order
                QCOMPARE(
                    scalar(u"SELECT out_of_order FROM task_creation_order WHERE user_id = %1"_s.arg(m_alice)),
                    QVariant(0));
            const QList<int> expected = QList<int>(shown) << -1 << page << pages;
            const QList<int> actual = shownIds() << -1 << m_service->currentPage() << m_service->totalPages();
            QString lists; // ids, -1, page, pages
            QDebug(&lists) << "seed" << kSeed << "step" << step << ":" << actual << "instead of" << expected;
            QVERIFY2(actual == expected, qPrintable(lists));
        }
        // The counters ignore every filter, the level counters count open tasks only; bob's rows are
        // as they were; the view state is read back by a second instance.
        QList<int> counts(6);
        for (const RefTask &t : std::as_const(tasks)) {
            if (t.userId != m_alice)
                continue;
            ++counts[0];
            ++counts[t.done ? 1 : 2];
            counts[3 + (t.level > 20) + (t.level > 50)] += t.done ? 0 : 1;
        }
        QCOMPARE(
            (QList<int>{m_service->totalCount(), m_service->activeCount(), m_service->inactiveCount(),
                        m_service->lowLevelCount(), m_service->midLevelCount(), m_service->highLevelCount()}),
            counts);
        QCOMPARE(queryList(*m_db, bobsRowsSql), bobsRows);
        QVERIFY(m_service->taskById(tasks.first().id).isEmpty()); // bob's
        const auto second = makeService();
        QCOMPARE((QList<int>{second->sortColumn(), second->sortOrder(), second->filterLevel()}),
                 (QList<int>{sortColumn, sortOrder, levelFilter}));

        // The counters, the search index and the expiry buckets that the triggers kept equal a fresh build.
        const auto kept = [&] {
            QStringList rows;
            QSqlQuery query(m_db->database());
            for (query.exec(u"SELECT * FROM task_counts WHERE total > 0 ORDER BY user_id"_s); query.next();)
                for (int i = 0; i < 13; ++i)
                    rows << query.value(i).toString();
            for (const RefTask &t : std::as_const(tasks)) {
                for (const QString &text : {t.name, QString::number(t.id)}) {
                    for (int i = 0; i + 3 <= text.size(); ++i) {
                        query.prepare(
                            u"SELECT group_concat(rowid) FROM task_search WHERE task_search MATCH ?"_s);
                        query.addBindValue(u"\""_s + text.mid(i, 3) + u"\""_s);
                        rows << (query.exec() && query.next() ? query.value(0).toString() : u"failed"_s);
                    }
                }
            }
            return rows;
        };
        QCOMPARE(expiryBuckets(), expiryBucketsOfTasks());
        QCOMPARE(shortPairsMissing(*m_db), QStringList());
        if (m_db->isServer()) {
            // Every block's filter holds the bits of its tasks as they are now.
            QCOMPARE(
                scalar(
                    u"SELECT COUNT(*) FROM (SELECT user_id, id >> 10 AS block, bit_or(B'1'::BIT(16384) >> b)"
                    " AS bloom FROM tasks, LATERAL (SELECT duevia_search_bits(COALESCE(name, '')) UNION ALL"
                    " SELECT duevia_search_bits(CAST(id AS TEXT))) AS g (b) GROUP BY 1, 2) AS fresh LEFT JOIN"
                    " task_search_blocks s USING (user_id, block) WHERE s.bloom IS NULL"
                    " OR fresh.bloom & s.bloom <> fresh.bloom"_s),
                QVariant(0));
            return; // the rebuild and the search index below are the SQLite file's
        }
        const QStringList before = kept();
        const QString order =
            u"SELECT user_id || ':' || out_of_order FROM task_creation_order ORDER BY user_id"_s;
        const QString keptOrder = queryList(*m_db, order);
        QVERIFY(execSql(*m_db, u"DELETE FROM schema_extras"_s)); // else the build finds the file current
        QVERIFY(SchemaExtras::build(m_db->database()));
        QCOMPARE(kept(), before);
        QCOMPARE(shortPairsMissing(*m_db), QStringList());
        // Kept by the triggers, the creation order may be given up too early, never too late; here the
        // two agree.
        QCOMPARE(queryList(*m_db, order), keptOrder);
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
                   int level = 1, int customerId = 0)
    {
        QSqlQuery query(m_db->database());
        query.prepare(u"INSERT INTO tasks (user_id, customer_id, name, notes, level, active, expire_at,"
                      " expire_at_epoch) VALUES (?, ?, ?, '', ?, ?, ?, ?) RETURNING id"_s);
        for (const QVariant &value :
             {QVariant(userId), QVariant(customerId), QVariant(name), QVariant(level), QVariant(done ? 1 : 0),
              SqlSupport::utcValue(expireAt), SqlSupport::epochValue(expireAt)})
            query.addBindValue(value);
        return query.exec() && query.next() ? query.value(0).toInt() : -1;
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

    TestSandbox m_template; // both accounts registered once: hashing passwords is slow
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
