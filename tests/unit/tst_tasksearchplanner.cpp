#include "TestSupport.h"
#include "services/TaskPageQuery.h"
#include "services/TaskSearchPlanner.h"
#include "storage/DbManager.h"
#include "storage/SqlDialect.h"

#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

// The planner over a database of 2,000 tasks, where "heron" names 3 % of them (all of them together
// in the order of the names), with NULL and equal keys in every order.
class TstTaskSearchPlanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_user = openWithTestUser(m_sandbox, m_db, u"alice"_s);
        QVERIFY(m_user > 0);
        const QString numbers = m_db.isServer() ? u"SELECT generate_series(1, 2000) AS n"_s
                                                : u"WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL"
                                                  " SELECT n + 1 FROM s WHERE n < 2000) SELECT n FROM s"_s;
        QVERIFY(execSql(m_db, u"INSERT INTO tasks (user_id, name, notes, level, active, create_at)"
                              " SELECT %1, CASE WHEN n % 33 = 0 THEN (CASE WHEN n % 2 = 0 THEN 'Heron ' ELSE"
                              " 'heron ' END) || (n % 7) ELSE 'task ' || n END, '', n % 3, n % 2, CASE WHEN"
                              " n % 5 = 0 THEN NULL ELSE '2026-01-0' || (n % 4 + 1) || 'T00:00:00.000Z' END"
                              " FROM (%2) AS numbers"_s.arg(m_user)
                                  .arg(numbers)));
        QVERIFY(execSql(m_db, u"ANALYZE"_s));
    }

    void firstMatchesFollowTheOrder_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("key");
        QTest::addRow("creation, descending") << 5 << 1 << u"tasks.create_at DESC"_s;
        QTest::addRow("creation, ascending") << 5 << 0 << u"tasks.create_at ASC"_s;
        QTest::addRow("name, descending") << 1 << 1 << u"lower(tasks.name) DESC"_s;
        QTest::addRow("level, ascending") << 2 << 0 << u"tasks.level ASC"_s;
    }

    // A jump into a capped search lists its first matches once, as the plain statement orders them,
    // and keeps the count capped; another order walks again.
    void firstMatchesFollowTheOrder()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QString, key);
        TaskView view;
        view.name = u"heron"_s;
        view.sortColumn = column;
        view.sortOrder = order;
        view.pageSize = 5;
        TaskPageQuery query(&m_db, &view);
        TaskSearchPlanner planner(&m_db, &query);
        planner.setLimits(20, 1);
        QCOMPARE(planner.count(m_user, u"v1"_s), 21);
        QVERIFY(planner.capped() && !planner.listed());
        // Near the first page the walk costs less.
        QVERIFY(!planner.listFirstMatches(m_user, 1));
        const bool server = m_db.isServer();
        QCOMPARE(planner.listFirstMatches(m_user, 20), server); // the file keeps no statistics of names
        if (!server)
            return;
        const QString nulls = order == 0 ? u" NULLS FIRST"_s : u" NULLS LAST"_s;
        QCOMPARE(ids(planner.matches()),
                 queryList(m_db, u"SELECT id FROM tasks WHERE user_id = %1 AND name ILIKE '%heron%'"
                                 " ORDER BY %2%3, id LIMIT 21"_s.arg(m_user)
                                     .arg(key, column == 2 ? QString() : nulls)));
        QVERIFY(planner.listed() && planner.capped());
        QCOMPARE(planner.count(m_user, u"v1"_s), 21);
        QVERIFY(planner.listed());
        view.sortOrder = 1 - order;
        QCOMPARE(planner.count(m_user, u"v1"_s), 21);
        QVERIFY(!planner.listed() && planner.capped());
    }

private:
    static QString ids(const QList<TaskPageEdge> &edges)
    {
        QStringList list;
        for (const TaskPageEdge &edge : edges)
            list << QString::number(edge.id);
        return list.join(u',');
    }

    TestSandbox m_sandbox;
    DbManager m_db;
    int m_user = -1;
};

QTEST_GUILESS_MAIN(TstTaskSearchPlanner)
#include "tst_tasksearchplanner.moc"
