#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

TaskRow makeRow(int id, const QString &name, int level, bool done, const QDateTime &expireAt,
                const QString &customerName = QString())
{
    const QDateTime created(QDate(2026, 1, id % 28 + 1), QTime(8, 15));
    return TaskRow{id,           name,     u"notes %1"_s.arg(id),
                   level,        done,     customerName.isEmpty() ? 0 : 7,
                   customerName, expireAt, created};
}

// Ids 3, 1, 2, 4: names differ in case, levels and expiries are distinct, created follows the id.
QList<TaskRow> sampleRows()
{
    const QDateTime base(QDate(2020, 6, 1), QTime(12, 0)); // long past: no time left
    return {makeRow(3, u"beta"_s, 40, true, base.addDays(2), u"Acme"_s),
            makeRow(1, u"Alpha"_s, 10, false, {}), makeRow(2, u"alpha"_s, 90, false, base.addDays(-1)),
            makeRow(4, u"Gamma"_s, 45, true, base)};
}

} // namespace

class TstTaskTableModel : public QObject
{
    Q_OBJECT

private slots:
    void rowsHeadersAndNeutralValues()
    {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QList<TaskRow> rows = sampleRows();
        const QDateTime soon = QDateTime::currentDateTime().addSecs(3 * 3600 + 600);
        rows[1].expireAt = soon;
        rows[1].createAt = QDateTime();
        model.setTasks(rows);
        QCOMPARE(resets.count(), 1);
        QStringList headers, cells;
        for (int column = 0; column <= model.columnCount(); ++column) {
            headers.append(model.headerData(column, Qt::Horizontal).toString());
            cells.append(model.data(model.index(0, column)).toString());
        }
        QCOMPARE(headers.join('|'), u"ID|Name|Level|Done|Expire at|Created at|"_s);
        QCOMPARE(cells.join('|'), u"3|[Acme] - beta|40|true|2020-06-03 12:00 Wed |2026-01-04 08:15|"_s);
        QCOMPARE(model.data(model.index(1, 1)).toString(), u"Alpha"_s);
        QCOMPARE(model.data(model.index(1, 4)).toString(),
                 QLocale::c().toString(soon, u"yyyy-MM-dd HH:mm ddd"_s) + u" 0d 3h"_s);
        QCOMPARE(model.data(model.index(1, 5)).toString(), QString());
        QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
        QCOMPARE(model.nameAt(0), u"beta"_s);
        QCOMPARE(model.customerNameAt(0), u"Acme"_s);
        QCOMPARE(model.customerIdAt(0), 7);
        QCOMPARE(model.notesAt(2), u"notes 2"_s);
        QCOMPARE(model.levelAt(2), 90);
        QCOMPARE(model.rowForId(4), 3);
        QCOMPARE(model.rowForId(99), -1);
        for (const int row : {-1, 4}) {
            QCOMPARE(model.taskIdAt(row), -1);
            QCOMPARE(model.levelAt(row), -1);
            QCOMPARE(model.customerIdAt(row), -1);
            QCOMPARE(model.nameAt(row), QString());
            QCOMPARE(model.activeAt(row), false);
            QVERIFY(!model.expireAt(row).isValid());
        }
    }

    void expiryText_data()
    {
        QTest::addColumn<qint64>("secondsAhead");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("two days five hours") << qint64(2 * 86400 + 5 * 3600 + 59) << u"2d 5h"_s;
        QTest::newRow("ninety minutes") << qint64(90 * 60) << u"0d 1h"_s;
        QTest::newRow("due now") << qint64(0) << u"0d 0h"_s;
        QTest::newRow("one minute overdue") << qint64(-60) << QString();
    }

    void expiryText()
    {
        QFETCH(qint64, secondsAhead);
        QFETCH(QString, remaining);
        const QDateTime expireAt(QDate(2026, 3, 22), QTime(18, 50)); // a Sunday, local time
        QCOMPARE(TaskTableModel::expiryText(expireAt, expireAt.addSecs(-secondsAhead)),
                 u"2026-03-22 18:50 Sun "_s + remaining);
        QCOMPARE(TaskTableModel::expiryText(QDateTime(), expireAt), QString());
    }

    void sort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("keys"); // ids, or done flags for the done column
        QTest::newRow("id asc") << 0 << int(Qt::AscendingOrder) << QList<int>{1, 2, 3, 4};
        QTest::newRow("id desc") << 0 << int(Qt::DescendingOrder) << QList<int>{4, 3, 2, 1};
        QTest::newRow("name asc, case-sensitive") << 1 << int(Qt::AscendingOrder) << QList<int>{1, 4, 2, 3};
        QTest::newRow("name desc") << 1 << int(Qt::DescendingOrder) << QList<int>{3, 2, 4, 1};
        QTest::newRow("level asc") << 2 << int(Qt::AscendingOrder) << QList<int>{1, 3, 4, 2};
        QTest::newRow("level desc") << 2 << int(Qt::DescendingOrder) << QList<int>{2, 4, 3, 1};
        QTest::newRow("pending first") << 3 << int(Qt::AscendingOrder) << QList<int>{0, 0, 1, 1};
        QTest::newRow("done first") << 3 << int(Qt::DescendingOrder) << QList<int>{1, 1, 0, 0};
        QTest::newRow("expiry asc, none first") << 4 << int(Qt::AscendingOrder) << QList<int>{1, 2, 4, 3};
        QTest::newRow("expiry desc") << 4 << int(Qt::DescendingOrder) << QList<int>{3, 4, 2, 1};
        QTest::newRow("created asc") << 5 << int(Qt::AscendingOrder) << QList<int>{1, 2, 3, 4};
        QTest::newRow("created desc") << 5 << int(Qt::DescendingOrder) << QList<int>{4, 3, 2, 1};
    }

    void sort()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, keys);
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTasks(sampleRows());
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(u"Sorting by column %1 order Qt::%2"_s.arg(column).arg(
                                 order == Qt::AscendingOrder ? "AscendingOrder" : "DescendingOrder")));
        model.sort(column, Qt::SortOrder(order));
        QList<int> sorted;
        for (int row = 0; row < model.rowCount(); ++row)
            sorted.append(column == TaskTableModel::DoneColumn ? int(model.activeAt(row))
                                                               : model.taskIdAt(row));
        QCOMPARE(sorted, keys);
        // One change over the whole table, not a reset.
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
        QCOMPARE(changes.at(0).at(1).value<QModelIndex>(), model.index(3, 5));
        QCOMPARE(resets.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TstTaskTableModel)
#include "tst_tasktablemodel.moc"
