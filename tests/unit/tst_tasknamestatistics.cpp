#include "TestSupport.h"
#include "services/TaskNameStatistics.h"
#include "storage/DbManager.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The estimates from the server's statistics of 1,000 names: three common ones and 50 others that the
// histogram stands for. The file keeps none.
class TstTaskNameStatistics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_user = openWithTestUser(m_sandbox, m_db, u"alice"_s);
        QVERIFY(m_user > 0);
        insert(500, u"'Alpha report'"_s);
        insert(300, u"'beta_x'"_s);
        insert(150, u"'Gamma (1.5)'"_s);
        insert(50, u"'task ' || n"_s);
        QVERIFY(execSql(m_db, u"ANALYZE tasks"_s));
    }

    void estimate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("share");
        QTest::addRow("case folded") << u"ALPHA"_s << 0.5;
        QTest::addRow("one character") << u"a_x"_s << 0.3;
        QTest::addRow("any characters") << u"a%t"_s << 0.5;
        QTest::addRow("no pattern in the text") << u"(1.5)"_s << 0.15;
        QTest::addRow("a wildcard for a dot") << u"1_5"_s << 0.15;
        QTest::addRow("the histogram's names") << u"task"_s << 0.05;
        QTest::addRow("none") << u"zebra"_s << 0.0;
    }

    void estimate()
    {
        QFETCH(QString, text);
        QFETCH(double, share);
        TaskNameStatistics statistics(&m_db);
        const TaskNameStatistics::Estimate estimate = statistics.estimate(text);
        if (!m_db.isServer()) {
            QCOMPARE(estimate.share, 0.0);
            QVERIFY(!estimate.indexed);
            return;
        }
        QVERIFY2(qAbs(estimate.share - share) < 1e-6, qPrintable(QString::number(estimate.share)));
        QVERIFY(estimate.cautious <= estimate.share);
    }

    // Kept while the connection stays, read again for a new one.
    void readAgainForAConnection()
    {
        if (!m_db.isServer())
            QSKIP("the file keeps no statistics of names");
        TaskNameStatistics statistics(&m_db);
        QVERIFY(qAbs(statistics.estimate(u"Alpha"_s).share - 0.5) < 1e-6);
        insert(1000, u"'Alpha again'"_s);
        QVERIFY(execSql(m_db, u"ANALYZE tasks"_s));
        QVERIFY(qAbs(statistics.estimate(u"Alpha"_s).share - 0.5) < 1e-6);
        m_db.statements().clear();
        QVERIFY(qAbs(statistics.estimate(u"Alpha"_s).share - 0.75) < 1e-6);
    }

private:
    void insert(int rows, const QString &name)
    {
        const QString numbers = m_db.isServer() ? u"SELECT generate_series(1, %1) AS n"_s.arg(rows)
                                                : u"WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1"
                                                  " FROM s WHERE n < %1) SELECT n FROM s"_s.arg(rows);
        QVERIFY(
            execSql(m_db, u"INSERT INTO tasks (user_id, name, notes, level, active) SELECT %1, %2, '', 1, 1"
                          " FROM (%3) AS numbers"_s.arg(m_user)
                              .arg(name, numbers)));
    }

    TestSandbox m_sandbox;
    DbManager m_db;
    int m_user = -1;
};

QTEST_GUILESS_MAIN(TstTaskNameStatistics)
#include "tst_tasknamestatistics.moc"
