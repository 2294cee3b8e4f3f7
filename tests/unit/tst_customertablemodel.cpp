#include "models/CustomerTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

QDateTime day(int d)
{
    return QDateTime(QDate(2026, 3, d), QTime(9, 15));
}

} // namespace

class TstCustomerTableModel : public QObject
{
    Q_OBJECT

private slots:
    void cellsAndNeutralValues()
    {
        CustomerTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.sort(0, Qt::DescendingOrder); // harmless on an empty table
        model.setCustomers({{7, "Acme", "Acme notes", "555", "a@b.c", day(4)}, {9, "Bare"}});

        // Without contacts or creation time the cells are empty.
        const QStringList headers{"ID", "Name", "Phone", "Email", "Created at"};
        const QStringList cells{"7", "Acme", "555", "a@b.c", "2026-03-04", "9", "Bare", "", "", ""};
        QCOMPARE(model.columnCount(), 5);
        for (int i = 0; i < cells.size(); ++i) {
            QCOMPARE(model.headerData(i % 5, Qt::Horizontal).toString(), headers.at(i % 5));
            QCOMPARE(model.data(model.index(i / 5, i % 5)).toString(), cells.at(i));
        }
        QCOMPARE(model.rowForId(9), 1);
        QCOMPARE(model.rowForId(8), -1);
        for (int row : {-1, 2}) {
            QCOMPARE(model.customerIdAt(row), -1);
            QCOMPARE(model.nameAt(row) + model.notesAt(row) + model.phoneAt(row) + model.emailAt(row),
                     QString());
            QCOMPARE(model.contactsAt(row), QVariantList());
            QVERIFY(!model.createAt(row).isValid());
        }
    }

    void sortInMemory_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QList<int>>("ascending");

        // Rows: 2 "abe" day 3, 5 "Zed" day 1, 1 "mia" no date, 4 "Abe" day 2.
        QTest::newRow("id") << 0 << QList<int>{1, 2, 4, 5};
        QTest::newRow("name, capitals first") << 1 << QList<int>{4, 5, 2, 1};
        QTest::newRow("created, invalid first") << 4 << QList<int>{1, 5, 4, 2};
    }

    void sortInMemory()
    {
        QFETCH(int, column);
        QFETCH(QList<int>, ascending);
        CustomerTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setCustomers({{2, "abe", {}, {}, {}, day(3)},
                            {5, "Zed", {}, {}, {}, day(1)},
                            {1, "mia"},
                            {4, "Abe", {}, {}, {}, day(2)}});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        const auto ids = [&model] {
            QList<int> result;
            for (int row = 0; row < model.rowCount(); ++row)
                result.append(model.customerIdAt(row));
            return result;
        };

        model.sort(column, Qt::AscendingOrder);
        QCOMPARE(ids(), ascending);
        model.sort(column, Qt::DescendingOrder);
        std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(ids(), ascending);

        QCOMPARE(model.nameAt(model.rowForId(5)), "Zed");
        QCOMPARE(reset.size(), 0);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(3, 4));
    }
};

QTEST_GUILESS_MAIN(TstCustomerTableModel)
#include "tst_customertablemodel.moc"
