#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

TaskRow makeRow(int id, const QString &name, int level, bool done, const QDateTime &expireAt,
                const QString &customerName = QString(), int customerId = 0)
{
    TaskRow row;
    row.id = id;
    row.name = name;
    row.notes = QStringLiteral("notes %1").arg(id);
    row.level = level;
    row.active = done;
    row.customerId = customerId;
    row.customerName = customerName;
    row.expireAt = expireAt;
    row.createAt = QDateTime(QDate(2026, 1, id % 28 + 1), QTime(8, 15));
    return row;
}

QList<TaskRow> sampleRows()
{
    const QDateTime base(QDate(2026, 6, 1), QTime(12, 0));
    return {
        makeRow(3, QStringLiteral("beta"), 40, true, base.addDays(2), QStringLiteral("Acme"), 7),
        makeRow(1, QStringLiteral("Alpha"), 10, false, QDateTime()),
        makeRow(2, QStringLiteral("alpha"), 90, false, base.addDays(-1)),
        makeRow(4, QStringLiteral("Gamma"), 40, true, base),
    };
}

} // namespace

class TstTaskTableModel : public QObject
{
    Q_OBJECT

private slots:
    void emptyModel()
    {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.rowCountQml(), 0);
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.rowForId(1), -1);
        QCOMPARE(model.taskIdAt(0), -1);
        QCOMPARE(model.levelAt(0), -1);
        QCOMPARE(model.customerIdAt(0), -1);
        QCOMPARE(model.nameAt(0), QString());
        QCOMPARE(model.activeAt(0), false);
        QVERIFY(!model.expireAt(0).isValid());
        const QStringList headers{QStringLiteral("ID"),        QStringLiteral("Name"),
                                  QStringLiteral("Level"),     QStringLiteral("Done"),
                                  QStringLiteral("Expire at"), QStringLiteral("Created at")};
        for (int section = 0; section < headers.size(); ++section)
            QCOMPARE(model.headerData(section, Qt::Horizontal).toString(), headers.at(section));
        QVERIFY(!model.headerData(6, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    }

    void setTasksResetsAndServesRows()
    {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
        model.setTasks(sampleRows());
        QCOMPARE(resets.count(), 1);
        QCOMPARE(inserts.count(), 0);
        QCOMPARE(model.rowCount(), 4);

        QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("[Acme] - beta"));
        QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("Alpha"));
        QCOMPARE(model.nameAt(0), QStringLiteral("beta"));
        QCOMPARE(model.customerNameAt(0), QStringLiteral("Acme"));
        QCOMPARE(model.customerIdAt(0), 7);
        QCOMPARE(model.customerIdAt(1), 0);
        QCOMPARE(model.data(model.index(0, 0)).toInt(), 3);
        QCOMPARE(model.data(model.index(0, 2)).toInt(), 40);
        QCOMPARE(model.data(model.index(0, 3)).toBool(), true);
        QCOMPARE(model.data(model.index(1, 4)).toString(), QString());
        QCOMPARE(model.data(model.index(0, 5)).toString(), QStringLiteral("2026-01-04 08:15"));
        QCOMPARE(model.notesAt(2), QStringLiteral("notes 2"));
        QCOMPARE(model.levelAt(2), 90);
        QCOMPARE(model.rowForId(4), 3);
        QCOMPARE(model.rowForId(99), -1);
        QCOMPARE(model.taskIdAt(4), -1);
        QCOMPARE(model.taskIdAt(-1), -1);
        QVERIFY(!model.data(model.index(0, 0), Qt::EditRole).isValid());
        QVERIFY(!model.data(model.index(0, 6)).isValid());

        QList<TaskRow> noCreation = {makeRow(9, QStringLiteral("x"), 1, false, QDateTime())};
        noCreation[0].createAt = QDateTime();
        model.setTasks(noCreation);
        QCOMPARE(resets.count(), 2);
        QCOMPARE(model.data(model.index(0, 5)).toString(), QString());
        model.setTasks({});
        QCOMPARE(model.rowCount(), 0);
    }

    void duplicateIdsFindFirstRow()
    {
        TaskTableModel model;
        model.setTasks(
            {makeRow(5, QStringLiteral("a"), 1, false, {}), makeRow(5, QStringLiteral("b"), 1, false, {})});
        QCOMPARE(model.rowForId(5), 0);
    }

    void expiryText_data()
    {
        QTest::addColumn<qint64>("secondsAhead");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("two days five hours") << qint64(2 * 86400 + 5 * 3600 + 59) << QStringLiteral("2d 5h");
        QTest::newRow("ninety minutes") << qint64(90 * 60) << QStringLiteral("0d 1h");
        QTest::newRow("due now") << qint64(0) << QStringLiteral("0d 0h");
        QTest::newRow("one minute overdue") << qint64(-60) << QString();
    }

    void expiryText()
    {
        QFETCH(qint64, secondsAhead);
        QFETCH(QString, remaining);
        const QDateTime expireAt(QDate(2026, 3, 22), QTime(18, 50)); // a Sunday, local time
        const QDateTime now = expireAt.addSecs(-secondsAhead);
        QCOMPARE(TaskTableModel::expiryText(expireAt, now),
                 QStringLiteral("2026-03-22 18:50 Sun ") + remaining);
        QCOMPARE(TaskTableModel::expiryText(QDateTime(), now), QString());
    }

    void expiryCellStartsWithLocalMinute()
    {
        TaskTableModel model;
        const QDateTime soon = QDateTime::currentDateTime().addSecs(3 * 3600 + 600);
        model.setTasks({makeRow(1, QStringLiteral("a"), 1, false, soon)});
        const QString text = model.data(model.index(0, 4)).toString();
        QCOMPARE(text.left(16), soon.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
        QVERIFY2(text.endsWith(QStringLiteral(" 0d 3h")), qPrintable(text));
    }

    void sort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("ids");
        // Rows with equal keys have no defined order, so only unique-key orders are listed in full.
        QTest::newRow("id ascending") << 0 << int(Qt::AscendingOrder) << QList<int>{1, 2, 3, 4};
        QTest::newRow("id descending") << 0 << int(Qt::DescendingOrder) << QList<int>{4, 3, 2, 1};
        QTest::newRow("name is case-sensitive") << 1 << int(Qt::AscendingOrder) << QList<int>{1, 4, 2, 3};
        QTest::newRow("name descending") << 1 << int(Qt::DescendingOrder) << QList<int>{3, 2, 4, 1};
        QTest::newRow("expiry, none first") << 4 << int(Qt::AscendingOrder) << QList<int>{1, 2, 4, 3};
        QTest::newRow("expiry descending") << 4 << int(Qt::DescendingOrder) << QList<int>{3, 4, 2, 1};
        QTest::newRow("created ascending") << 5 << int(Qt::AscendingOrder) << QList<int>{1, 2, 3, 4};
        QTest::newRow("created descending") << 5 << int(Qt::DescendingOrder) << QList<int>{4, 3, 2, 1};
    }

    void sort()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, ids);
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTasks(sampleRows());
        QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
        QTest::ignoreMessage(
            QtDebugMsg,
            qPrintable(QStringLiteral("Sorting by column %1 order %2")
                           .arg(column)
                           .arg(order == Qt::AscendingOrder ? "Qt::AscendingOrder" : "Qt::DescendingOrder")));
        model.sort(column, Qt::SortOrder(order));
        QList<int> sorted;
        for (int row = 0; row < model.rowCount(); ++row)
            sorted.append(model.taskIdAt(row));
        QCOMPARE(sorted, ids);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
        QCOMPARE(changes.at(0).at(1).value<QModelIndex>(), model.index(3, 5));
        QVERIFY(changes.at(0).at(2).value<QList<int>>().isEmpty());
        QCOMPARE(resets.count(), 0);
        QCOMPARE(layouts.count(), 0);
    }

    void sortGroupsEqualKeys_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("keys");
        QTest::newRow("level ascending") << 2 << int(Qt::AscendingOrder) << QList<int>{10, 40, 40, 90};
        QTest::newRow("level descending") << 2 << int(Qt::DescendingOrder) << QList<int>{90, 40, 40, 10};
        QTest::newRow("pending first") << 3 << int(Qt::AscendingOrder) << QList<int>{0, 0, 1, 1};
        QTest::newRow("done first") << 3 << int(Qt::DescendingOrder) << QList<int>{1, 1, 0, 0};
    }

    void sortGroupsEqualKeys()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, keys);
        TaskTableModel model;
        model.setTasks(sampleRows());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Sorting by column")));
        model.sort(column, Qt::SortOrder(order));
        QList<int> sorted;
        for (int row = 0; row < model.rowCount(); ++row)
            sorted.append(column == 2 ? model.levelAt(row) : int(model.activeAt(row)));
        QCOMPARE(sorted, keys);
    }

    void sortByUnknownColumnKeepsRows()
    {
        TaskTableModel model;
        model.setTasks(sampleRows());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Sorting by column 9")));
        model.sort(9, Qt::AscendingOrder);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.rowForId(4) >= 0, true);
    }
};

QTEST_GUILESS_MAIN(TstTaskTableModel)
#include "tst_tasktablemodel.moc"
