#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TstTaskTableModel : public QObject
{
    Q_OBJECT

private slots:
    void cellsAndHeaders()
    {
        TaskTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QDateTime expiry(QDate(2020, 6, 3), QTime(12, 0)); // long past: no time left
        const QDateTime created(QDate(2026, 1, 4), QTime(8, 15));
        model.setTasks({TaskRow{3, u"beta"_s, u"notes"_s, 40, true, 7, u"Acme"_s, expiry, created},
                        TaskRow{1, u"Alpha"_s, {}, 10, false, 0, {}, {}, {}}});
        QStringList headers, cells;
        for (int column = 0; column <= model.columnCount(); ++column) {
            headers.append(model.headerData(column, Qt::Horizontal).toString());
            cells.append(model.data(model.index(0, column)).toString());
        }
        QCOMPARE(headers.join('|'), u"ID|Name|Level|Done|Expire at|Created at|"_s);
        QCOMPARE(cells.join('|'), u"3|[Acme] - beta|40|true|2020-06-03 12:00 Wed |2026-01-04 08:15|"_s);
        // No customer, no prefix; no expiry, no text.
        QCOMPARE(model.data(model.index(1, 1)).toString() + model.data(model.index(1, 4)).toString(),
                 u"Alpha"_s);
        QCOMPARE((QVariantList{model.customerNameAt(0), model.rowForId(1), model.taskIdAt(2)}),
                 (QVariantList{u"Acme"_s, 1, -1}));
    }

    // The view's rows follow every reload as rows added or removed at the end and the rest changed.
    void pageRowsFollowReloads()
    {
        TaskTableModel model;
        QAbstractItemModel *rows = model.pageRows();
        QAbstractItemModelTester tester(rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(rows, &QAbstractItemModel::modelReset);
        const auto page = [](int count) {
            QList<TaskRow> tasks;
            for (int i = 1; i <= count; ++i)
                tasks.append(TaskRow{i, u"Task %1"_s.arg(i), {}, 10, false, 0, {}, {}, {}});
            return tasks;
        };
        const QDateTime past = QDateTime::currentDateTime().addSecs(-120);
        QList<int> counts;
        for (const int count : {3, 5, 2, 0, 4}) {
            model.setTasks(page(count));
            counts.append(rows->rowCount());
        }
        QCOMPARE(counts, (QList<int>{3, 5, 2, 0, 4}));
        QCOMPARE(reset.size(), 0);
        QList<TaskRow> tasks = page(2);
        tasks[1].expireAt = past;
        model.setTasks(tasks);
        const int overdue = rows->roleNames().key("overdue");
        QCOMPARE((QVariantList{rows->data(rows->index(0, 4), overdue), rows->data(rows->index(1, 4), overdue),
                               rows->data(rows->index(1, 1)).toString()}),
                 (QVariantList{false, true, model.data(model.index(1, 1)).toString()}));
    }

    void expiryText_data()
    {
        QTest::addColumn<qint64>("secondsAhead");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("two days five hours") << qint64(2 * 86400 + 5 * 3600 + 59) << u"2d 5h"_s;
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
};

QTEST_GUILESS_MAIN(TstTaskTableModel)
#include "tst_tasktablemodel.moc"
