#include "tst_taskservice.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

// Days on which the clocks change in the zones the tests run in (and ordinary days in the others).
const QList<QDate> kDstChangeDays = {QDate(2026, 3, 8), QDate(2026, 4, 5), QDate(2026, 9, 27),
                                     QDate(2026, 11, 1)};

QDateTime lastSecondOf(const QDate &day)
{
    return day.addDays(1).startOfDay().addSecs(-1);
}

QStringList dayTexts(const QList<QDate> &days)
{
    QStringList texts;
    for (const QDate &day : days)
        texts.append(day.toString(QStringLiteral("yyyy-MM-dd")));
    return texts;
}

} // namespace

void TstTaskService::taskById()
{
    insertCustomer(QStringLiteral("Acme"), 4);
    const int own = insertTask(m_alice, QStringLiteral("Call back"), local(2026, 6, 1, 9, 30), true, 42, 4);
    const int plain = insertTask(m_alice, QStringLiteral("Plain"), QDateTime());
    const int bobs = insertTask(m_bob, QStringLiteral("bob's"), QDateTime());
    const QVariantMap task = m_service->taskById(own);
    QCOMPARE(task.keys(),
             (QStringList{QStringLiteral("active"), QStringLiteral("customerId"),
                          QStringLiteral("customerName"), QStringLiteral("expireAt"), QStringLiteral("level"),
                          QStringLiteral("name"), QStringLiteral("notes"), QStringLiteral("taskId")}));
    QCOMPARE(task.value(QStringLiteral("taskId")).toInt(), own);
    QCOMPARE(task.value(QStringLiteral("name")).toString(), QStringLiteral("Call back"));
    QCOMPARE(task.value(QStringLiteral("active")).toBool(), true);
    QCOMPARE(task.value(QStringLiteral("expireAt")).toDateTime(), local(2026, 6, 1, 9, 30));
    QCOMPARE(task.value(QStringLiteral("level")).toInt(), 42);
    QCOMPARE(task.value(QStringLiteral("customerId")).toInt(), 4);
    QCOMPARE(task.value(QStringLiteral("customerName")).toString(), QStringLiteral("Acme"));
    const QVariantMap other = m_service->taskById(plain);
    QVERIFY(!other.value(QStringLiteral("expireAt")).toDateTime().isValid());
    QCOMPARE(other.value(QStringLiteral("customerName")).toString(), QString());
    QVERIFY(m_service->taskById(bobs).isEmpty());
    QVERIFY(m_service->taskById(999).isEmpty());
    QVERIFY(m_service->taskById(0).isEmpty());
}

void TstTaskService::tasksForCustomer()
{
    const int later = insertTask(m_alice, QStringLiteral("later"), local(2026, 6, 2, 9, 0), false, 1, 4);
    const int none = insertTask(m_alice, QStringLiteral("none"), QDateTime(), true, 1, 4);
    const int first = insertTask(m_alice, QStringLiteral("first"), local(2026, 6, 1, 9, 0), false, 1, 4);
    const int tie = insertTask(m_alice, QStringLiteral("tie"), local(2026, 6, 1, 9, 0), false, 1, 4);
    insertTask(m_alice, QStringLiteral("other customer"), local(2026, 6, 1, 9, 0), false, 1, 5);
    insertTask(m_bob, QStringLiteral("bob's"), local(2026, 6, 1, 9, 0), false, 1, 4);
    const QVariantList tasks = m_service->tasksForCustomer(4);
    QList<int> ids;
    for (const QVariant &task : tasks)
        ids.append(task.toMap().value(QStringLiteral("taskId")).toInt());
    QCOMPARE(ids, (QList<int>{none, first, tie, later}));
    const QVariantMap map = tasks.at(1).toMap();
    QCOMPARE(map.keys(), (QStringList{QStringLiteral("active"), QStringLiteral("expireAt"),
                                      QStringLiteral("name"), QStringLiteral("taskId")}));
    QCOMPARE(map.value(QStringLiteral("expireAt")).toDateTime(), local(2026, 6, 1, 9, 0));
    QCOMPARE(tasks.at(0).toMap().value(QStringLiteral("active")).toBool(), true);
    QVERIFY(m_service->tasksForCustomer(0).isEmpty());
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
    QTest::newRow("zero minutes, due next second") << 1 << false << 0 << false;
    QTest::newRow("negative window") << 0 << false << -1 << false;
}

void TstTaskService::nextDueTaskWindow()
{
    QFETCH(int, offset);
    QFETCH(bool, done);
    QFETCH(int, minutes);
    QFETCH(bool, found);
    const QDateTime now(QDate(2026, 3, 22), QTime(12, 0), Qt::UTC);
    m_service->now = now;
    const int id = insertTask(m_alice, QStringLiteral("due"), now.addSecs(offset), done);
    insertTask(m_bob, QStringLiteral("bob's"), now, false);
    const QVariantMap task = m_service->nextDueTask(minutes);
    QCOMPARE(task.value(QStringLiteral("id")).toInt(), found ? id : 0);
    QCOMPARE(task.isEmpty(), !found);
}

void TstTaskService::nextDueTaskFormatsLocalTime()
{
    const QDateTime expiry = QDateTime::fromSecsSinceEpoch(1774201800, Qt::UTC);
    m_service->now = expiry.addSecs(-300);
    const int later = insertTask(m_alice, QStringLiteral("later"), expiry.addSecs(60));
    const int earliest = insertTask(m_alice, QStringLiteral("earliest"), expiry);
    QVERIFY(later > 0);
    const QVariantMap task = m_service->nextDueTask(10);
    QCOMPARE(task.keys(), (QStringList{QStringLiteral("expire_at_epoch"), QStringLiteral("expire_at_text"),
                                       QStringLiteral("id"), QStringLiteral("name")}));
    QCOMPARE(task.value(QStringLiteral("id")).toInt(), earliest);
    QCOMPARE(task.value(QStringLiteral("name")).toString(), QStringLiteral("earliest"));
    QCOMPARE(task.value(QStringLiteral("expire_at_epoch")).toLongLong(), 1774201800);
    const QHash<QByteArray, QString> byZone = {
        {"UTC", QStringLiteral("2026-03-22 17:50")},
        {"Pacific/Auckland", QStringLiteral("2026-03-23 06:50")},
        {"America/Los_Angeles", QStringLiteral("2026-03-22 10:50")},
    };
    const QString expected =
        byZone.value(qgetenv("TZ"), expiry.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    QCOMPARE(task.value(QStringLiteral("expire_at_text")).toString(), expected);
}

void TstTaskService::statisticsDefaultWindow()
{
    // Ten days back from 28 March reach over no change, thirty ahead over Auckland's of 5 April.
    const QDate today(2026, 3, 28);
    m_service->now = QDateTime(today, QTime(23, 30));
    const QDate first = today.addDays(-10);
    const QDate end = today.addDays(30);
    insertTask(m_alice, QStringLiteral("first second"), first.startOfDay(), false);
    insertTask(m_alice, QStringLiteral("just before"), first.startOfDay().addSecs(-1));
    insertTask(m_alice, QStringLiteral("last second"), end.startOfDay().addSecs(-1), true);
    insertTask(m_alice, QStringLiteral("just after"), end.startOfDay());
    insertTask(m_bob, QStringLiteral("bob's"), QDateTime(today, QTime(9, 0)));
    store().setValue(QStringLiteral("statsExpireFrom"), QStringLiteral("2020-01-01 00:00"));

    QSignalSpy changed(m_service.get(), &TaskService::statisticsChanged);
    m_service->loadStatistics();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_service->dailyLabels(), dayTexts({first, end.addDays(-1)}));
    QCOMPARE(m_service->dailyTotals(), (QVariantList{1, 1}));
    QCOMPARE(m_service->dailyCompleted(), (QVariantList{0, 1}));
    QCOMPARE(m_service->statsExpireFrom(), QString());
    QCOMPARE(m_service->statsExpireTo(), QString());
    QVERIFY(store().contains(QStringLiteral("statsExpireTo")));

    // An upper bound alone narrows the window but keeps its lower end.
    m_service->loadStatistics(QString(), QStringLiteral("2026-04-01 00:00"));
    QCOMPARE(m_service->dailyLabels(), dayTexts({first}));
    QCOMPARE(m_service->statsExpireTo(), QStringLiteral("2026-04-01 00:00"));
}

void TstTaskService::statisticsBounds_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QVariantList>("totals");
    QTest::addColumn<QVariantList>("completed");
    QTest::newRow("one day") << QStringLiteral("2026-06-10 00:00") << QStringLiteral("2026-06-10 23:59")
                             << QStringList{QStringLiteral("2026-06-10")} << QVariantList{2}
                             << QVariantList{1};
    QTest::newRow("bounds take whole minutes")
        << QStringLiteral("2026-06-09 23:59") << QStringLiteral("2026-06-11 00:00")
        << QStringList{QStringLiteral("2026-06-09"), QStringLiteral("2026-06-10"),
                       QStringLiteral("2026-06-11")}
        << QVariantList{1, 2, 1} << QVariantList{0, 1, 1};
    QTest::newRow("bounds are trimmed")
        << QStringLiteral("  2026-06-10 00:00 ") << QString()
        << QStringList{QStringLiteral("2026-06-10"), QStringLiteral("2026-06-11")} << QVariantList{2, 1}
        << QVariantList{1, 1};
    QTest::newRow("other text compares as text")
        << QStringLiteral("2026") << QString()
        << QStringList{QStringLiteral("2026-06-09"), QStringLiteral("2026-06-10"),
                       QStringLiteral("2026-06-11")}
        << QVariantList{1, 2, 1} << QVariantList{0, 1, 1};
    QTest::newRow("nothing in range") << QStringLiteral("2027-01-01 00:00") << QString() << QStringList{}
                                      << QVariantList{} << QVariantList{};
}

void TstTaskService::statisticsBounds()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, labels);
    QFETCH(QVariantList, totals);
    QFETCH(QVariantList, completed);
    insertTask(m_alice, QStringLiteral("a"), local(2026, 6, 9, 23, 59, 59), false);
    insertTask(m_alice, QStringLiteral("b"), local(2026, 6, 10, 0, 0), true);
    insertTask(m_alice, QStringLiteral("c"), local(2026, 6, 10, 23, 59, 30), false);
    insertTask(m_alice, QStringLiteral("d"), local(2026, 6, 11, 0, 0), true);
    insertTask(m_alice, QStringLiteral("no expiry"), QDateTime(), true);
    insertTask(m_bob, QStringLiteral("bob's"), local(2026, 6, 10, 12, 0));
    QSignalSpy changed(m_service.get(), &TaskService::statisticsChanged);
    m_service->loadStatistics(from, to);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_service->dailyLabels(), labels);
    QCOMPARE(m_service->dailyTotals(), totals);
    QCOMPARE(m_service->dailyCompleted(), completed);
    QCOMPARE(m_service->statsExpireFrom(), from.trimmed());
    QCOMPARE(m_service->statsExpireTo(), to.trimmed());
}

void TstTaskService::statisticsGroupByLocalDayAcrossDst()
{
    QStringList labels;
    for (const QDate &day : kDstChangeDays) {
        insertTask(m_alice, QStringLiteral("start"), day.startOfDay(), true);
        insertTask(m_alice, QStringLiteral("noon"), QDateTime(day, QTime(12, 0)));
        insertTask(m_alice, QStringLiteral("end"), lastSecondOf(day));
        insertTask(m_alice, QStringLiteral("next"), day.addDays(1).startOfDay());
        labels += dayTexts({day, day.addDays(1)});
    }
    m_service->loadStatistics(QStringLiteral("2026-01-01 00:00"), QStringLiteral("2026-12-31 23:59"));
    QCOMPARE(m_service->dailyLabels(), labels);
    QCOMPARE(m_service->dailyTotals(), (QVariantList{3, 1, 3, 1, 3, 1, 3, 1}));
    QCOMPARE(m_service->dailyCompleted(), (QVariantList{1, 0, 1, 0, 1, 0, 1, 0}));
}

void TstTaskService::statisticsFailureKeepsLists()
{
    insertTask(m_alice, QStringLiteral("a"), local(2026, 6, 10, 9, 0));
    m_service->loadStatistics(QStringLiteral("2026-06-01 00:00"));
    QCOMPARE(m_service->dailyLabels().size(), 1);
    QVERIFY(execSql(*m_db, QStringLiteral("ALTER TABLE tasks RENAME TO tasks_away")));
    QSignalSpy changed(m_service.get(), &TaskService::statisticsChanged);
    m_service->loadStatistics(QStringLiteral("2026-05-01 00:00"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_service->dailyLabels(), QStringList{QStringLiteral("2026-06-10")});
    QCOMPARE(m_service->statsExpireFrom(), QStringLiteral("2026-05-01 00:00"));
}

void TstTaskService::rangeFilesTasksUnderLocalDays()
{
    insertCustomer(QStringLiteral("Acme"), 4);
    insertTask(m_alice, QStringLiteral("before"), lastSecondOf(QDate(2026, 2, 28)));
    const int first = insertTask(m_alice, QStringLiteral("first"), QDate(2026, 3, 1).startOfDay());
    const int withCustomer =
        insertTask(m_alice, QStringLiteral("Call back"), local(2026, 3, 15, 9, 30), true, 7, 4);
    const int plain =
        insertTask(m_alice, QStringLiteral("Call back"), local(2026, 3, 15, 9, 30), false, 8, 0);
    insertTask(m_alice, QStringLiteral("last"), lastSecondOf(QDate(2026, 3, 31)));
    insertTask(m_alice, QStringLiteral("after"), QDate(2026, 4, 1).startOfDay());
    insertTask(m_alice, QStringLiteral("no expiry"), QDateTime());
    insertTask(m_bob, QStringLiteral("bob's"), local(2026, 3, 15, 9, 0));

    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    m_service->loadTasksForRange(QStringLiteral("2026-03-01"), QStringLiteral("2026-03-31"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-02-28")), 0);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-01")), 1);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-15")), 2);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-3-15")), 0);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-31")), 1);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-04-01")), 0);
    QVERIFY(m_service->tasksForDate(QStringLiteral("2026-04-10")).isEmpty());
    QCOMPARE(m_service->tasksForDate(QStringLiteral("2026-03-01"))
                 .at(0)
                 .toMap()
                 .value(QStringLiteral("id"))
                 .toInt(),
             first);

    const QVariantList day = m_service->tasksForDate(QStringLiteral("2026-03-15"));
    const QVariantMap customer = day.at(0).toMap();
    QCOMPARE(customer.keys(),
             (QStringList{QStringLiteral("active"), QStringLiteral("customerName"), QStringLiteral("dueDate"),
                          QStringLiteral("id"), QStringLiteral("label"), QStringLiteral("level"),
                          QStringLiteral("time"), QStringLiteral("title")}));
    QCOMPARE(customer.value(QStringLiteral("id")).toInt(), withCustomer);
    QCOMPARE(customer.value(QStringLiteral("label")).toString(), QStringLiteral("09:30 - [Acme] Call back"));
    QCOMPARE(customer.value(QStringLiteral("time")).toString(), QStringLiteral("09:30"));
    QCOMPARE(customer.value(QStringLiteral("dueDate")).toString(), QStringLiteral("2026-03-15"));
    QCOMPARE(customer.value(QStringLiteral("active")).typeId(), QMetaType::Int);
    QCOMPARE(customer.value(QStringLiteral("active")).toInt(), 1);
    QCOMPARE(customer.value(QStringLiteral("customerName")).toString(), QStringLiteral("Acme"));
    QCOMPARE(customer.value(QStringLiteral("level")).toInt(), 7);
    QCOMPARE(customer.value(QStringLiteral("title")).toString(), QStringLiteral("Call back"));
    const QVariantMap noCustomer = day.at(1).toMap();
    QCOMPARE(noCustomer.value(QStringLiteral("id")).toInt(), plain);
    QCOMPARE(noCustomer.value(QStringLiteral("label")).toString(), QStringLiteral("09:30 - Call back"));
    QCOMPARE(noCustomer.value(QStringLiteral("active")).toInt(), 0);

    // Each load replaces the store; signed out, it finds nothing.
    m_auth->logout();
    m_service->loadTasksForRange(QStringLiteral("2026-03-01"), QStringLiteral("2026-03-31"));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-15")), 0);
}

void TstTaskService::rangeAcrossDst()
{
    for (const QDate &day : kDstChangeDays) {
        insertTask(m_alice, QStringLiteral("start"), day.startOfDay());
        insertTask(m_alice, QStringLiteral("end"), lastSecondOf(day));
        insertTask(m_alice, QStringLiteral("next"), day.addDays(1).startOfDay());
    }
    for (const QDate &day : kDstChangeDays) {
        const QString text = day.toString(QStringLiteral("yyyy-MM-dd"));
        m_service->loadTasksForRange(text, text);
        QCOMPARE(m_service->taskCountForDate(text), 2);
        const QVariantList tasks = m_service->tasksForDate(text);
        QCOMPARE(tasks.at(1).toMap().value(QStringLiteral("time")).toString(), QStringLiteral("23:59"));
        QCOMPARE(m_service->taskCountForDate(day.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))), 0);
    }
}

void TstTaskService::rangeFailureWarnsAndSignals()
{
    insertTask(m_alice, QStringLiteral("a"), local(2026, 3, 10, 9, 0));
    m_service->loadTasksForRange(QStringLiteral("2026-03-01"), QStringLiteral("2026-03-31"));
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-10")), 1);
    QVERIFY(execSql(*m_db, QStringLiteral("ALTER TABLE tasks RENAME TO tasks_away")));
    QSignalSpy changed(m_service.get(), &TaskService::tasksChanged);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^Loading the tasks of the calendar range "
                                                           "failed: .*no such table")));
    m_service->loadTasksForRange(QStringLiteral("2026-03-01"), QStringLiteral("2026-03-31"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_service->taskCountForDate(QStringLiteral("2026-03-10")), 0);
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
    const auto utc = [](int y, int m, int d, int h, int min) {
        return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC).toSecsSinceEpoch();
    };
    const QHash<QByteArray, Change> zones = {
        {"America/Los_Angeles",
         {QStringLiteral("2026-03-08 02:30"), utc(2026, 3, 8, 10, 0), QStringLiteral("2026-11-01 01:"),
          utc(2026, 11, 1, 8, 30)}},
        {"Pacific/Auckland",
         {QStringLiteral("2026-09-27 02:30"), utc(2026, 9, 26, 14, 0), QStringLiteral("2026-04-05 02:"),
          utc(2026, 4, 4, 13, 30)}},
    };
    if (!zones.contains(qgetenv("TZ")))
        QSKIP("the local zone has no daylight-saving time");
    const Change change = zones.value(qgetenv("TZ"));
    const auto at = [](qint64 epoch) {
        return QDateTime::fromSecsSinceEpoch(epoch);
    };
    const int before = insertTask(m_alice, QStringLiteral("skip before"), at(change.jump - 1));
    const int after = insertTask(m_alice, QStringLiteral("skip after"), at(change.jump));
    const int first = insertTask(m_alice, QStringLiteral("twice first"), at(change.firstHalf));
    const int second = insertTask(m_alice, QStringLiteral("twice second"), at(change.firstHalf + 3600));
    m_service->sort(0, 0);
    const auto shownFor = [this](const QString &name, const QString &from, const QString &to) {
        m_service->setFilterName(name);
        m_service->setFilterExpireFrom(from);
        m_service->setFilterExpireTo(to);
        return shownIds();
    };
    // A skipped reading stands for the moment of the jump.
    QCOMPARE(shownFor(QStringLiteral("skip"), change.skipped, QString()), QList<int>{after});
    QCOMPARE(shownFor(QStringLiteral("skip"), QString(), change.skipped), QList<int>{before});
    // A lower bound starts at the first run of a repeated minute, an upper one ends after the second.
    QCOMPARE(shownFor(QStringLiteral("twice"), change.repeated + QStringLiteral("30"), QString()),
             (QList<int>{first, second}));
    QCOMPARE(shownFor(QStringLiteral("twice"), change.repeated + QStringLiteral("31"), QString()),
             QList<int>{second});
    QCOMPARE(shownFor(QStringLiteral("twice"), QString(), change.repeated + QStringLiteral("30")),
             (QList<int>{first, second}));
    QCOMPARE(shownFor(QStringLiteral("twice"), QString(), change.repeated + QStringLiteral("29")),
             QList<int>{first});
}
