#include "tst_taskservice.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Days on which the clocks change in the zones the tests run in (and ordinary days in the others).
const QList<QDate> kDstChangeDays = {QDate(2026, 3, 8), QDate(2026, 4, 5), QDate(2026, 9, 27),
                                     QDate(2026, 11, 1)};

QString dayText(const QDate &day)
{
    return day.toString(u"yyyy-MM-dd"_s);
}

QDateTime lastSecondOf(const QDate &day)
{
    return day.addDays(1).startOfDay().addSecs(-1);
}

} // namespace

void TstTaskService::lookups()
{
    QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (4, 1, 'Acme')"_s));
    const int later = insertTask(m_alice, u"later"_s, local(2026, 6, 2, 9, 0), false, 1, 4);
    const int none = insertTask(m_alice, u"none"_s, QDateTime(), true, 1, 4);
    const int first = insertTask(m_alice, u"first"_s, local(2026, 6, 1, 9, 30), true, 42, 4);
    const int tie = insertTask(m_alice, u"tie"_s, local(2026, 6, 1, 9, 30), false, 1, 4);
    const int plain = insertTask(m_alice, u"plain"_s, QDateTime(), false, 1, 5);
    const int bobs = insertTask(m_bob, u"bob's"_s, local(2026, 6, 1, 9, 0), false, 1, 4);
    const QVariantMap expected = {{u"taskId"_s, first},
                                  {u"name"_s, u"first"_s},
                                  {u"notes"_s, QString()},
                                  {u"active"_s, true},
                                  {u"expireAt"_s, local(2026, 6, 1, 9, 30)},
                                  {u"level"_s, 42},
                                  {u"customerId"_s, 4},
                                  {u"customerName"_s, u"Acme"_s}};
    QCOMPARE(m_service->taskById(first), expected);
    QVERIFY(!m_service->taskById(plain).value(u"expireAt"_s).toDateTime().isValid());
    QCOMPARE(m_service->taskById(plain).value(u"customerName"_s).toString(), QString());
    QVERIFY(m_service->taskById(bobs).isEmpty());
    QVERIFY(m_service->taskById(999).isEmpty());

    // A customer's tasks: no expiry first, then by expiry, ties by id; not another user's.
    const QVariantList tasks = m_service->tasksForCustomer(4);
    QList<int> ids;
    for (const QVariant &task : tasks)
        ids.append(task.toMap().value(u"taskId"_s).toInt());
    QCOMPARE(ids, (QList<int>{none, first, tie, later}));
    QCOMPARE(tasks.at(1).toMap(), (QVariantMap{{u"taskId"_s, first},
                                               {u"name"_s, u"first"_s},
                                               {u"expireAt"_s, local(2026, 6, 1, 9, 30)},
                                               {u"active"_s, true}}));
}

void TstTaskService::nextDueTaskWindow_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("done");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("found");
    QTest::newRow("at the window's end") << 600 << false << 10 << true;
    QTest::newRow("a second past the end") << 601 << false << 10 << false;
    QTest::newRow("expired a second ago") << -1 << false << 10 << false;
    QTest::newRow("done in the window") << 300 << true << 10 << false;
    QTest::newRow("zero minutes, due this second") << 0 << false << 0 << true;
    QTest::newRow("negative window") << 0 << false << -1 << false;
}

void TstTaskService::nextDueTaskWindow()
{
    QFETCH(int, offset);
    QFETCH(bool, done);
    QFETCH(int, minutes);
    QFETCH(bool, found);
    m_service->now = QDateTime(QDate(2026, 3, 22), QTime(12, 0), Qt::UTC);
    const int id = insertTask(m_alice, u"due"_s, m_service->now.addSecs(offset), done);
    insertTask(m_bob, u"bob's"_s, m_service->now);
    QCOMPARE(m_service->nextDueTask(minutes).value(u"id"_s).toInt(), found ? id : 0);
}

void TstTaskService::nextDueTaskIsEarliestInLocalTime()
{
    const QDateTime expiry = QDateTime::fromSecsSinceEpoch(1774201800, Qt::UTC);
    m_service->now = expiry.addSecs(-300);
    insertTask(m_alice, u"later"_s, expiry.addSecs(60));
    const int earliest = insertTask(m_alice, u"earliest"_s, expiry);
    const QHash<QByteArray, QString> byZone = {{"UTC", u"2026-03-22 17:50"_s},
                                               {"Pacific/Auckland", u"2026-03-23 06:50"_s},
                                               {"America/Los_Angeles", u"2026-03-22 10:50"_s}};
    const QString text = byZone.value(qgetenv("TZ"), expiry.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s));
    QCOMPARE(m_service->nextDueTask(10), (QVariantMap{{u"id"_s, earliest},
                                                      {u"name"_s, u"earliest"_s},
                                                      {u"expire_at_text"_s, text},
                                                      {u"expire_at_epoch"_s, qint64(1774201800)}}));
}

void TstTaskService::statisticsDefaultWindow()
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
    store().setValue(u"statsExpireFrom"_s, u"2020-01-01 00:00"_s);

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
}

void TstTaskService::statisticsBounds_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QVariantList>("totals");
    QTest::addColumn<QVariantList>("completed");
    const QStringList threeDays = {u"2026-06-09"_s, u"2026-06-10"_s, u"2026-06-11"_s};
    QTest::newRow("one day") << u"2026-06-10 00:00"_s << u"2026-06-10 23:59"_s << QStringList{u"2026-06-10"_s}
                             << QVariantList{2} << QVariantList{1};
    QTest::newRow("bounds take whole minutes") << u"2026-06-09 23:59"_s << u"2026-06-11 00:00"_s << threeDays
                                               << QVariantList{1, 2, 1} << QVariantList{0, 1, 1};
    QTest::newRow("other text compares as text")
        << u"2026"_s << QString() << threeDays << QVariantList{1, 2, 1} << QVariantList{0, 1, 1};
}

void TstTaskService::statisticsBounds()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, labels);
    QFETCH(QVariantList, totals);
    QFETCH(QVariantList, completed);
    insertTask(m_alice, u"a"_s, local(2026, 6, 9, 23, 59, 59), false);
    insertTask(m_alice, u"b"_s, local(2026, 6, 10, 0, 0), true);
    insertTask(m_alice, u"c"_s, local(2026, 6, 10, 23, 59, 30), false);
    insertTask(m_alice, u"d"_s, local(2026, 6, 11, 0, 0), true);
    insertTask(m_alice, u"no expiry"_s, QDateTime(), true);
    insertTask(m_bob, u"bob's"_s, local(2026, 6, 10, 12, 0));
    m_service->loadStatistics(from, to);
    QCOMPARE(m_service->dailyLabels(), labels);
    QCOMPARE(m_service->dailyTotals(), totals);
    QCOMPARE(m_service->dailyCompleted(), completed);
    QCOMPARE(m_service->statsExpireFrom(), from);
    QCOMPARE(m_service->statsExpireTo(), to);
}

void TstTaskService::calendarRange()
{
    QVERIFY(execSql(*m_db, u"INSERT INTO customers (id, user_id, name) VALUES (4, 1, 'Acme')"_s));
    insertTask(m_alice, u"before"_s, lastSecondOf(QDate(2026, 2, 28)));
    insertTask(m_alice, u"first"_s, QDate(2026, 3, 1).startOfDay());
    const int withCustomer = insertTask(m_alice, u"Call back"_s, local(2026, 3, 15, 9, 30), true, 7, 4);
    const int plain = insertTask(m_alice, u"Call back"_s, local(2026, 3, 15, 9, 30), false, 8, 0);
    insertTask(m_alice, u"last"_s, lastSecondOf(QDate(2026, 3, 31)));
    insertTask(m_alice, u"after"_s, QDate(2026, 4, 1).startOfDay());
    insertTask(m_alice, u"no expiry"_s, QDateTime());
    insertTask(m_bob, u"bob's"_s, local(2026, 3, 15, 9, 0));

    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    m_service->loadTasksForRange(u"2026-03-01"_s, u"2026-03-31"_s);
    QCOMPARE(changed.count(), 1);
    QList<int> counts;
    for (const QString &day : {u"2026-02-28"_s, u"2026-03-01"_s, u"2026-03-15"_s, u"2026-3-15"_s,
                               u"2026-03-31"_s, u"2026-04-01"_s})
        counts.append(m_service->taskCountForDate(day));
    QCOMPARE(counts, (QList<int>{0, 1, 2, 0, 1, 0}));
    const QVariantList day = m_service->tasksForDate(u"2026-03-15"_s);
    QCOMPARE(day.at(0).toMap(), (QVariantMap{{u"id"_s, withCustomer},
                                             {u"title"_s, u"Call back"_s},
                                             {u"time"_s, u"09:30"_s},
                                             {u"label"_s, u"09:30 - [Acme] Call back"_s},
                                             {u"dueDate"_s, u"2026-03-15"_s},
                                             {u"active"_s, 1},
                                             {u"customerName"_s, u"Acme"_s},
                                             {u"level"_s, 7}}));
    QCOMPARE(day.at(0).toMap().value(u"active"_s).typeId(), QMetaType::Int);
    QCOMPARE(day.at(1).toMap().value(u"id"_s).toInt(), plain);
    QCOMPARE(day.at(1).toMap().value(u"label"_s).toString(), u"09:30 - Call back"_s);
    QCOMPARE(day.at(1).toMap().value(u"active"_s).toInt(), 0);

    // Each load replaces the store; signed out, it finds nothing.
    m_auth->logout();
    m_service->loadTasksForRange(u"2026-03-01"_s, u"2026-03-31"_s);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_service->taskCountForDate(u"2026-03-15"_s), 0);
}

void TstTaskService::localDaysAcrossDst()
{
    QStringList labels;
    for (const QDate &day : kDstChangeDays) {
        insertTask(m_alice, u"start"_s, day.startOfDay(), true);
        insertTask(m_alice, u"noon"_s, QDateTime(day, QTime(12, 0)));
        insertTask(m_alice, u"end"_s, lastSecondOf(day));
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
        QCOMPARE(m_service->tasksForDate(dayText(day)).at(2).toMap().value(u"time"_s).toString(), u"23:59"_s);
        QCOMPARE(m_service->taskCountForDate(dayText(day.addDays(1))), 0);
    }
}

void TstTaskService::boundsOnClockChanges()
{
    struct Change
    {
        QString skipped;  // a reading the clocks jump over
        qint64 jump;      // when they jump
        QString repeated; // "yyyy-MM-dd HH:" of an hour the clocks run twice
        qint64 firstHalf; // the first instant that reads repeated + "30"
    };
    const auto utc = [](int month, int day, int hour, int minute) {
        return QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC).toSecsSinceEpoch();
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
    const auto at = [](qint64 epoch) {
        return QDateTime::fromSecsSinceEpoch(epoch);
    };
    const int before = insertTask(m_alice, u"skip before"_s, at(change.jump - 1));
    const int after = insertTask(m_alice, u"skip after"_s, at(change.jump));
    const int first = insertTask(m_alice, u"twice first"_s, at(change.firstHalf));
    const int second = insertTask(m_alice, u"twice second"_s, at(change.firstHalf + 3600));
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
