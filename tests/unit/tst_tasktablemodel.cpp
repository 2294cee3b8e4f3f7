#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
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
        model.setTasks(sampleRows());
        QCOMPARE(resets.count(), 1);
        QStringList headers, cells;
        for (int column = 0; column <= model.columnCount(); ++column) {
            headers.append(model.headerData(column, Qt::Horizontal).toString());
            cells.append(model.data(model.index(0, column)).toString());
        }
        QCOMPARE(headers.join('|'), u"ID|Name|Level|Done|Expire at|Created at|"_s);
        QCOMPARE(cells.join('|'), u"3|[Acme] - beta|40|true|2020-06-03 12:00 Wed |2026-01-04 08:15|"_s);
        QCOMPARE(model.data(model.index(1, 1)).toString(), u"Alpha"_s); // no customer, no prefix
        QCOMPARE(model.data(model.index(1, 4)).toString(), QString());  // no expiry
        QCOMPARE((QVariantList{model.nameAt(0), model.customerNameAt(0), model.customerIdAt(0),
                               model.notesAt(2), model.levelAt(2), model.rowForId(4), model.rowForId(99)}),
                 (QVariantList{u"beta"_s, u"Acme"_s, 7, u"notes 2"_s, 90, 3, -1}));
        for (const int row : {-1, 4}) {
            QCOMPARE((QVariantList{model.taskIdAt(row), model.levelAt(row), model.customerIdAt(row),
                                   model.nameAt(row), model.activeAt(row), model.expireAt(row)}),
                     (QVariantList{-1, -1, -1, QString(), false, QDateTime()}));
        }
    }

    void expiryText_data()
    {
        QTest::addColumn<qint64>("secondsAhead");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("two days five hours") << qint64(2 * 86400 + 5 * 3600 + 59) << u"2d 5h"_s;
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

    // The page sorts through the service; the model's own sort is checked on one column.
    void sortByName()
    {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTasks(sampleRows());
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QTest::ignoreMessage(QtDebugMsg, "Sorting by column 1 order Qt::DescendingOrder");
        model.sort(TaskTableModel::NameColumn, Qt::DescendingOrder);
        QCOMPARE((QList<int>{model.taskIdAt(0), model.taskIdAt(1), model.taskIdAt(2), model.taskIdAt(3)}),
                 (QList<int>{3, 2, 4, 1})); // case-sensitive
        // One change over the whole table, not a reset.
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(1).value<QModelIndex>(), model.index(3, 5));
        QCOMPARE(resets.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TstTaskTableModel)
#include "tst_tasktablemodel.moc"
