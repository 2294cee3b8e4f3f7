#include "models/TaskTableModel.h"

#include <QAbstractItemModelTester>
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
