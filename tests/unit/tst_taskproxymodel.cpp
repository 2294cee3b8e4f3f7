#include "models/TaskProxyModel.h"
#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TaskRow row(int id, int customerId, const QDateTime &expireAt)
{
    return TaskRow{id, u"task %1"_s.arg(id), {}, 0, false, customerId, {}, expireAt, {}};
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
    }

    void rootIdFilters()
    {
        QFETCH(int, rootId);
        QFETCH(QList<int>, ids);
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy changed(&m_proxy, &TaskProxyModel::rootIdChanged);
        m_proxy.setRootId(rootId);
        m_proxy.setRootId(rootId);
        QCOMPARE(changed.count(), rootId == -1 ? 0 : 1);
        QCOMPARE(shown(), ids);
        m_source.setTasks({row(8, 0, QDateTime()), row(9, 4, QDateTime())}); // the next page
        QCOMPARE(shown(), (rootId == -1 ? QList<int>{8, 9} : QList<int>{rootId == 0 ? 8 : 9}));
    }

    void sortsExpiryByInstantAndMapsRows()
    {
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::DescendingOrder);
        QCOMPARE(shown(), (QList<int>{1, 4, 3, 5, 2}));
        m_proxy.setRootId(4);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        QCOMPARE(shown(), (QList<int>{3, 1}));
        QCOMPARE(m_proxy.nameAt(0), u"task 3"_s);
        QCOMPARE(m_proxy.expireAt(1), m_source.expireAt(0));
        // Rows filtered out are out of reach even though the source has them.
        QCOMPARE(m_proxy.taskIdAt(2), -1);
    }

private:
    QList<int> shown() const
    {
        QList<int> ids;
        for (int i = 0; i < m_proxy.rowCount(); ++i)
            ids.append(m_proxy.taskIdAt(i));
        return ids;
    }

    TaskTableModel m_source;
    TaskProxyModel m_proxy;
};

QTEST_GUILESS_MAIN(TstTaskProxyModel)
#include "tst_taskproxymodel.moc"
