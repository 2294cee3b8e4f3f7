#include "models/TaskProxyModel.h"
#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TstTaskProxyModel : public QObject
{
    Q_OBJECT

    QList<int> shown() const
    {
        QList<int> ids;
        for (int i = 0; i < m_proxy.rowCount(); ++i)
            ids.append(m_proxy.taskIdAt(i));
        return ids;
    }

    static TaskRow row(int id, int customerId, const QDateTime &expireAt)
    {
        return TaskRow{id, u"task %1"_s.arg(id), {}, 0, false, customerId, {}, expireAt, {}};
    }

    TaskTableModel m_source;
    TaskProxyModel m_proxy;

private slots:
    // A customer's tasks (0: those without one), sorted by the instant of their expiry, no expiry first.
    void filtersByCustomerAndSortsByExpiry()
    {
        QAbstractItemModelTester tester(&m_proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QDateTime base(QDate(2026, 6, 1), QTime(9, 0));
        m_source.setTasks({row(1, 4, base.addDays(3)), row(2, 0, QDateTime()), row(3, 4, base),
                           row(4, 0, base.addDays(1)), row(5, 7, base.addDays(-2))});
        m_proxy.setSourceModel(&m_source);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::DescendingOrder);
        QCOMPARE(shown(), (QList<int>{1, 4, 3, 5, 2}));
        QSignalSpy changed(&m_proxy, &TaskProxyModel::rootIdChanged);
        m_proxy.setRootId(4);
        m_proxy.setRootId(4);
        QCOMPARE(changed.count(), 1);
        m_proxy.sort(TaskTableModel::ExpireAtColumn, Qt::AscendingOrder);
        QCOMPARE(shown(), (QList<int>{3, 1}));
        QCOMPARE(m_proxy.expireAt(1), m_source.expireAt(0));
        QCOMPARE(m_proxy.taskIdAt(2), -1); // filtered out, though the source has it
        m_proxy.setRootId(0);
        QCOMPARE(shown(), (QList<int>{2, 4}));
        m_source.setTasks({row(8, 0, QDateTime()), row(9, 4, QDateTime())}); // the next page
        QCOMPARE(shown(), QList<int>{8});
    }
};

QTEST_GUILESS_MAIN(TstTaskProxyModel)
#include "tst_taskproxymodel.moc"
