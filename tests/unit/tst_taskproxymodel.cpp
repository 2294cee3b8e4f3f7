#include "models/TaskProxyModel.h"
#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TaskRow row(int id, int customerId, const QDateTime &expireAt)
{
    return TaskRow{id, u"task %1"_s.arg(id), {}, 0, false, customerId, {}, expireAt, {}};
}

QList<int> proxyIds(const TaskProxyModel &proxy)
{
    QList<int> ids;
    for (int i = 0; i < proxy.rowCount(); ++i)
        ids.append(proxy.taskIdAt(i));
    return ids;
}

} // namespace

class TstTaskProxyModel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        const QDateTime base(QDate(2026, 6, 1), QTime(9, 0));
        m_source.setTasks({row(1, 4, base.addDays(3)), row(2, 0, QDateTime()), row(3, 4, base),
                           row(4, 0, base.addDays(1)), row(5, 7, base.addDays(-2))});
        m_proxy.setSourceModel(&m_source);
        m_proxy.setRootId(-1);
        m_proxy.sort(-1);
    }

    void rootIdFilters_data()
    {
        QTest::addColumn<int>("rootId");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QList<int>>("nextIds"); // of the rows 8 (no customer) and 9 (customer 4)
        QTest::newRow("every customer") << -1 << QList<int>{1, 2, 3, 4, 5} << QList<int>{8, 9};
        QTest::newRow("no customer") << 0 << QList<int>{2, 4} << QList<int>{8};
        QTest::newRow("one customer") << 4 << QList<int>{1, 3} << QList<int>{9};
        QTest::newRow("unknown customer") << 99 << QList<int>{} << QList<int>{};
    }

    void rootIdFilters()
    {
        QFETCH(int, rootId);
        QFETCH(QList<int>, ids);
        QFETCH(QList<int>, nextIds);
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&m_proxy, &TaskProxyModel::rootIdChanged);
        m_proxy.setRootId(rootId);
        m_proxy.setRootId(rootId);
        QCOMPARE(changed.count(), rootId == -1 ? 0 : 1);
        QCOMPARE(proxyIds(m_proxy), ids);
        // The filter holds for the rows of the next page.
        m_source.setTasks({row(8, 0, QDateTime()), row(9, 4, QDateTime())});
        QCOMPARE(proxyIds(m_proxy), nextIds);
    }

    void sortsExpiryByDateTime()
    {
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // By instant, tasks without an expiry first.
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        QCOMPARE(proxyIds(m_proxy), (QList<int>{2, 5, 3, 4, 1}));
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::DescendingOrder);
        QCOMPARE(proxyIds(m_proxy), (QList<int>{1, 4, 3, 5, 2}));
    }

    void accessorsMapProxyRows()
    {
        m_proxy.setRootId(4);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        QCOMPARE(m_proxy.taskIdAt(0), 3);
        QCOMPARE(m_proxy.nameAt(0), u"task 3"_s);
        QCOMPARE(m_proxy.expireAt(1), m_source.expireAt(0));
        // Rows filtered out are out of reach even though the source has them.
        QCOMPARE(m_proxy.taskIdAt(2), -1);
        QCOMPARE(m_proxy.nameAt(-1), QString());
        QVERIFY(!m_proxy.expireAt(2).isValid());
        // Over another kind of model the accessors answer their neutral values.
        QStandardItemModel other(3, 6);
        TaskProxyModel proxy;
        proxy.setSourceModel(&other);
        QCOMPARE(proxy.taskIdAt(0), -1);
        QCOMPARE(proxy.nameAt(0), QString());
    }

private:
    TaskTableModel m_source;
    TaskProxyModel m_proxy;
};

QTEST_GUILESS_MAIN(TstTaskProxyModel)
#include "tst_taskproxymodel.moc"
