#include "models/CustomerTableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

CustomerRow makeRow(int id, const QString &name, const QDateTime &createAt, const QString &phone = {},
                    const QString &email = {})
{
    CustomerRow row;
    row.id = id;
    row.name = name;
    row.notes = name + QStringLiteral(" notes");
    row.phone = phone;
    row.email = email;
    row.createAt = createAt;
    row.contacts = {QVariantMap{{QStringLiteral("type"), QStringLiteral("phone")},
                                {QStringLiteral("value"), phone},
                                {QStringLiteral("label"), QString()}}};
    return row;
}

QDateTime day(int d)
{
    return QDateTime(QDate(2026, 3, d), QTime(9, 15));
}

QList<int> ids(const CustomerTableModel &model)
{
    QList<int> result;
    for (int row = 0; row < model.rowCount(); ++row)
        result.append(model.customerIdAt(row));
    return result;
}

} // namespace

class TstCustomerTableModel : public QObject
{
    Q_OBJECT

private slots:
    void emptyModelAnswersNeutralValues();
    void cellsAndAccessors();
    void sortInMemory_data();
    void sortInMemory();
};

void TstCustomerTableModel::emptyModelAnswersNeutralValues()
{
    CustomerTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.rowCountQml(), 0);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.rowForId(1), -1);
    QCOMPARE(model.customerIdAt(0), -1);

    const QStringList headers{"ID", "Name", "Phone", "Email", "Created at"};
    for (int section = 0; section < headers.size(); ++section)
        QCOMPARE(model.headerData(section, Qt::Horizontal).toString(), headers.at(section));
    QVERIFY(!model.headerData(5, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    // Sorting an empty table is harmless.
    model.sort(0, Qt::DescendingOrder);
    QCOMPARE(model.rowCount(), 0);
}

void TstCustomerTableModel::cellsAndAccessors()
{
    CustomerTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setCustomers(
        {makeRow(7, QStringLiteral("Acme"), day(4), QStringLiteral("555"), QStringLiteral("a@b.c")),
         makeRow(9, QStringLiteral("Bare"), QDateTime())});

    QCOMPARE(model.rowCountQml(), 2);
    QCOMPARE(model.data(model.index(0, 0)).toInt(), 7);
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("Acme"));
    QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("555"));
    QCOMPARE(model.data(model.index(0, 3)).toString(), QStringLiteral("a@b.c"));
    QCOMPARE(model.data(model.index(0, 4)).toString(), QStringLiteral("2026-03-04"));
    QVERIFY(!model.data(model.index(0, 1), Qt::EditRole).isValid());
    QVERIFY(!model.data(model.index(0, 5)).isValid());

    // Without contacts or creation time the cells are empty.
    QCOMPARE(model.data(model.index(1, 2)).toString(), QString());
    QCOMPARE(model.data(model.index(1, 3)).toString(), QString());
    QCOMPARE(model.data(model.index(1, 4)).toString(), QString());

    QCOMPARE(model.nameAt(1), QStringLiteral("Bare"));
    QCOMPARE(model.notesAt(0), QStringLiteral("Acme notes"));
    QCOMPARE(model.phoneAt(0), QStringLiteral("555"));
    QCOMPARE(model.emailAt(0), QStringLiteral("a@b.c"));
    QCOMPARE(model.createAt(0), day(4));
    QCOMPARE(model.contactsAt(0).size(), 1);
    QCOMPARE(model.rowForId(9), 1);
    QCOMPARE(model.rowForId(8), -1);

    for (int row : {-1, 2, 1000}) {
        QCOMPARE(model.customerIdAt(row), -1);
        QCOMPARE(model.nameAt(row) + model.notesAt(row) + model.phoneAt(row) + model.emailAt(row), QString());
        QCOMPARE(model.contactsAt(row), QVariantList());
        QVERIFY(!model.createAt(row).isValid());
    }
}

void TstCustomerTableModel::sortInMemory_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QList<int>>("expected");

    // Rows: 2 "abe" day 3, 5 "Zed" day 1, 1 "mia" no date, 4 "Abe" day 2.
    QTest::newRow("id ascending") << 0 << Qt::AscendingOrder << QList<int>{1, 2, 4, 5};
    QTest::newRow("id descending") << 0 << Qt::DescendingOrder << QList<int>{5, 4, 2, 1};
    QTest::newRow("name ascending, capitals first") << 1 << Qt::AscendingOrder << QList<int>{4, 5, 2, 1};
    QTest::newRow("name descending") << 1 << Qt::DescendingOrder << QList<int>{1, 2, 5, 4};
    QTest::newRow("created ascending, invalid first") << 4 << Qt::AscendingOrder << QList<int>{1, 5, 4, 2};
    QTest::newRow("created descending") << 4 << Qt::DescendingOrder << QList<int>{2, 4, 5, 1};
}

void TstCustomerTableModel::sortInMemory()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QList<int>, expected);

    CustomerTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setCustomers({makeRow(2, QStringLiteral("abe"), day(3)), makeRow(5, QStringLiteral("Zed"), day(1)),
                        makeRow(1, QStringLiteral("mia"), QDateTime()),
                        makeRow(4, QStringLiteral("Abe"), day(2))});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.sort(column, order);

    QCOMPARE(ids(model), expected);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(3, 4));
    QCOMPARE(reset.size(), 0);
    QCOMPARE(model.nameAt(model.rowForId(5)), QStringLiteral("Zed"));
}

QTEST_GUILESS_MAIN(TstCustomerTableModel)
#include "tst_customertablemodel.moc"
