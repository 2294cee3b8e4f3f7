#include "models/CustomerTableModel.h"

#include <QAbstractItemModelTester>
#include <QTest>

class TstCustomerTableModel : public QObject
{
    Q_OBJECT

private slots:
    void cellsAndNeutralValues()
    {
        CustomerTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.sort(0, Qt::DescendingOrder); // harmless on an empty table
        model.setCustomers(
            {{7, "Acme", "Acme notes", "555", "a@b.c", QDateTime(QDate(2026, 3, 4), QTime(9, 15))},
             {9, "Bare"}});

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
};

QTEST_GUILESS_MAIN(TstCustomerTableModel)
#include "tst_customertablemodel.moc"
