#include "models/TaskProxyModel.h"
#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

namespace {

TaskRow row(int id, int customerId, const QDateTime &expireAt)
{
    TaskRow task;
    task.id = id;
    task.name = QStringLiteral("task %1").arg(id);
    task.customerId = customerId;
    task.expireAt = expireAt;
    return task;
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
        QTest::newRow("every customer") << -1 << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("no customer") << 0 << QList<int>{2, 4};
        QTest::newRow("one customer") << 4 << QList<int>{1, 3};
        QTest::newRow("unknown customer") << 99 << QList<int>{};
    }

    void rootIdFilters()
    {
        QFETCH(int, rootId);
        QFETCH(QList<int>, ids);
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&m_proxy, &TaskProxyModel::rootIdChanged);
        m_proxy.setRootId(rootId);
        QCOMPARE(changed.count(), rootId == -1 ? 0 : 1);
        QCOMPARE(proxyIds(m_proxy), ids);
        m_proxy.setRootId(rootId);
        QCOMPARE(changed.count(), rootId == -1 ? 0 : 1);
    }

    void filterFollowsSourceResets()
    {
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_proxy.setRootId(0);
        m_source.setTasks({row(8, 0, QDateTime()), row(9, 3, QDateTime())});
        QCOMPARE(proxyIds(m_proxy), QList<int>{8});
        QCOMPARE(m_proxy.rootId(), 0);
    }

    void sortsExpiryByDateTime()
    {
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        // Display texts would order by their day names' neighbours; date-times order by instant.
        QCOMPARE(proxyIds(m_proxy), (QList<int>{2, 5, 3, 4, 1}));
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::DescendingOrder);
        QCOMPARE(proxyIds(m_proxy), (QList<int>{1, 4, 3, 5, 2}));
        m_proxy.sort(TaskTableModel::IdColumn, Qt::DescendingOrder);
        QCOMPARE(proxyIds(m_proxy), (QList<int>{5, 4, 3, 2, 1}));
    }

    void accessorsMapProxyRows()
    {
        m_proxy.setRootId(4);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        QCOMPARE(m_proxy.taskIdAt(0), 3);
        QCOMPARE(m_proxy.nameAt(0), QStringLiteral("task 3"));
        QCOMPARE(m_proxy.expireAt(1), m_source.expireAt(0));
        // Rows filtered out are out of reach even though the source has them.
        QCOMPARE(m_proxy.taskIdAt(2), -1);
        QCOMPARE(m_proxy.nameAt(-1), QString());
        QVERIFY(!m_proxy.expireAt(2).isValid());
    }

    void otherSourceModels()
    {
        QStandardItemModel other(3, 6);
        TaskProxyModel proxy;
        proxy.setSourceModel(&other);
        proxy.setRootId(4);
        QCOMPARE(proxy.rowCount(), 3);
        QCOMPARE(proxy.taskIdAt(0), -1);
        QCOMPARE(proxy.nameAt(0), QString());
        QVERIFY(!proxy.expireAt(0).isValid());
    }

private:
    TaskTableModel m_source;
    TaskProxyModel m_proxy;
};

QTEST_GUILESS_MAIN(TstTaskProxyModel)
#include "tst_taskproxymodel.moc"
