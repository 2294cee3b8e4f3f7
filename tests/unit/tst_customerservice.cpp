#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "services/CustomerService.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QVariantMap contact(const QString &type, const QString &value, const QString &label = {})
{
    return {{"type", type}, {"value", value}, {"label", label}};
}

// What the settings store holds for key; -1 when it holds nothing.
QVariant stored(const QString &key)
{
    return settingsStore().value(key, -1);
}

struct Fixture
{
    TestSandbox sandbox;
    DbManager db;
    AuthService auth{&db};
    CustomerTableModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    CustomerService service{&db, &auth, &model};
};

} // namespace

class TstCustomerService : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> m_fx;

    void sql(const QString &statement) { QVERIFY2(execSql(m_fx->db, statement), qPrintable(statement)); }

    int scalar(const QString &statement) const { return queryValue(m_fx->db, statement).toInt(); }

    // Customers 1 to count named "Customer <id>", created a day apart in the order of their ids.
    void addCustomers(int count)
    {
        sql(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO customers (id, user_id, name, create_at) SELECT i, 1, 'Customer ' || i, "
                "datetime('2026-01-01', '+' || i || ' days') FROM n WHERE i <= %1")
                .arg(count));
    }

    QList<int> shownIds() const
    {
        QList<int> ids;
        for (int row = 0; row < m_fx->model.rowCount(); ++row)
            ids.append(m_fx->model.customerIdAt(row));
        return ids;
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<Fixture>();
        QVERIFY(m_fx->sandbox.openDatabase(m_fx->db));
        QCOMPARE(signInTestUser(m_fx->auth, "ada"), 1);
    }

    void cleanup() { m_fx.reset(); }

    void paging_data()
    {
        QTest::addColumn<int>("customers");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("firstId");

        QTest::newRow("no customers") << 0 << 1 << 1 << 1 << -1;
        QTest::newRow("second page") << 25 << 2 << 3 << 2 << 11;
        QTest::newRow("beyond the last page") << 25 << 7 << 3 << 3 << 21;
        QTest::newRow("zero") << 25 << 0 << 3 << 1 << 1;
    }

    void paging()
    {
        QFETCH(int, customers);
        QFETCH(int, requested);
        QFETCH(int, pages);
        QFETCH(int, shown);
        QFETCH(int, firstId);
        addCustomers(customers);
        m_fx->service.sort(0, 0);
        QSignalSpy counts(&m_fx->service, &CustomerService::countsChanged);
        QSignalSpy totalPages(&m_fx->service, &CustomerService::totalPagesChanged);

        m_fx->service.loadPage(requested);

        QCOMPARE(counts.size(), 1);
        QCOMPARE(totalPages.size(), 1);
        QCOMPARE(m_fx->service.totalCount(), customers);
        QCOMPARE(m_fx->service.totalPages(), pages);
        QCOMPARE(m_fx->service.currentPage(), shown);
        QCOMPARE(m_fx->model.rowCount(), std::clamp(customers - (shown - 1) * 10, 0, 10));
        QCOMPARE(m_fx->model.customerIdAt(0), firstId);
    }

    void filter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<QString>("kept");

        QTest::newRow("digits in id, name and contact") << "12" << QList<int>{5, 7, 12, 112, 120} << "12";
        QTest::newRow("name, any letter case") << "ACME" << QList<int>{5} << "ACME";
        QTest::newRow("percent wildcard") << "ac%ltd" << QList<int>{5} << "ac%ltd";
        QTest::newRow("underscore wildcard") << "B_b" << QList<int>{21} << "B_b";
        QTest::newRow("e-mail value") << "example.org" << QList<int>{200} << "example.org";
        QTest::newRow("trimmed") << "  Bob  " << QList<int>{21} << "Bob";
        QTest::newRow("spaces only show all") << "   " << QList<int>{5, 7, 12, 21, 112, 120, 200} << "";
    }

    void filter()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        QFETCH(QString, kept);
        sql("INSERT INTO customers (id, user_id, name) VALUES (5, 1, 'Acme 12 Ltd'), (7, 1, 'Phone owner'), "
            "(12, 1, 'Twelve'), (21, 1, 'Bob'), (112, 1, 'Hundred'), (120, 1, 'Another'), (200, 1, 'Mail')");
        // Two matching contacts still show their customer once.
        sql("INSERT INTO customer_contacts (customer_id, type, value) VALUES (7, 'phone', '+64 0123'), "
            "(7, 'phone', '0120'), (200, 'email', 'info@example.org')");
        m_fx->service.setPageSize(50);
        m_fx->service.sort(0, 0);
        m_fx->service.setFilterName("x");
        QSignalSpy changed(&m_fx->service, &CustomerService::filterNameChanged);

        m_fx->service.setFilterName(text);

        QCOMPARE(changed.size(), 1);
        QCOMPARE(m_fx->service.filterName(), kept);
        QCOMPARE(shownIds(), expected);
        QCOMPARE(m_fx->service.totalCount(), expected.size());
        QCOMPARE(stored("customerFilterName").toString(), kept);
    }

    void sort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<int>("changes");

        // 1 "beta" created third, 2 "Alpha" first, 3 "gamma" second. The service starts on column 4
        // descending, with nothing loaded.
        QTest::newRow("id descending") << 0 << 1 << QList<int>{3, 2, 1} << 1;
        QTest::newRow("name ascending") << 1 << 0 << QList<int>{2, 1, 3} << 1;
        QTest::newRow("name descending") << 1 << 1 << QList<int>{3, 1, 2} << 1;
        QTest::newRow("phone by creation") << 2 << 0 << QList<int>{2, 3, 1} << 1;
        QTest::newRow("email by creation, descending") << 3 << 1 << QList<int>{1, 3, 2} << 1;
        QTest::newRow("any other order is ascending") << 4 << 7 << QList<int>{2, 3, 1} << 1;
        QTest::newRow("the current sort reloads") << 4 << 1 << QList<int>{1, 3, 2} << 0;
        QTest::newRow("column 5 is ignored") << 5 << 0 << QList<int>{} << 0;
    }

    void sort()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, expected);
        QFETCH(int, changes);
        sql("INSERT INTO customers (id, user_id, name, create_at) VALUES "
            "(1, 1, 'beta', '2026-01-03 10:00:00'), (2, 1, 'Alpha', '2026-01-01 10:00:00'), "
            "(3, 1, 'gamma', '2026-01-02 10:00:00')");
        QSignalSpy changed(&m_fx->service, &CustomerService::sortChanged);

        m_fx->service.sort(column, order);

        const bool known = column >= 0 && column < 5;
        QCOMPARE(shownIds(), expected);
        QCOMPARE(changed.size(), changes);
        QCOMPARE(m_fx->service.sortColumn(), known ? column : 4);
        QCOMPARE(m_fx->service.sortOrder(), known && order != 1 ? 0 : 1);
        QCOMPARE(stored("customerSortColumn").toInt(), known ? column : -1);
        QCOMPARE(stored("customerSortOrder").toInt(), known ? m_fx->service.sortOrder() : -1);
    }

    void viewStateIsReadBack()
    {
        QCOMPARE((QVariantList{m_fx->service.pageSize(), m_fx->service.sortColumn(),
                               m_fx->service.sortOrder(), m_fx->service.filterName()}),
                 (QVariantList{10, 4, 1, ""}));
        const auto load = [this](const QVariantList &values) {
            QSettings settings = settingsStore();
            const QStringList keys{"customerPageSize", "customerSortColumn", "customerSortOrder",
                                   "customerFilterName"};
            for (int i = 0; i < keys.size(); ++i)
                settings.setValue(keys.at(i), values.at(i));
            CustomerService service(&m_fx->db, &m_fx->auth, &m_fx->model);
            return QVariantList{service.pageSize(), service.sortColumn(), service.sortOrder(),
                                service.filterName()};
        };
        QCOMPARE(load({25, 1, 0, "acme"}), (QVariantList{25, 1, 0, "acme"}));
        QCOMPARE(load({0, 5, -3, ""}), (QVariantList{1, 4, 1, ""}));
        QCOMPARE(load({-4, -1, 2, ""}), (QVariantList{1, 4, 1, ""}));

        m_fx->service.setPageSize(-5);
        QCOMPARE(m_fx->service.pageSize(), 1);
        m_fx->service.setPageSize(40);
        QCOMPARE(stored("customerPageSize").toInt(), 40);
    }

    void saveTrimsAndRoundTripsContacts()
    {
        CustomerService &service = m_fx->service;
        QVERIFY(!service.createCustomer("   ", {}, {}));
        const QVariantList contacts{contact("phone", " 111 ", "old"), contact("email", "ann@old.org"),
                                    contact("phone", "222", "mobile"), contact("email", "ann@example.org"),
                                    contact("other", "x")};
        QSignalSpy reset(&m_fx->model, &QAbstractItemModel::modelReset);
        QVERIFY(service.createCustomer("  Ann  ", " vip ", contacts));
        QVERIFY(service.createCustomer("Bob", {}, {contact("email", "bob@example.org")}));
        QCOMPARE(reset.size(), 2);
        QCOMPARE(scalar("SELECT COUNT(*) FROM customers"), 2);

        const int ann = scalar("SELECT id FROM customers WHERE name = 'Ann' AND user_id = 1");
        QVariantMap customer = service.customerById(ann);
        QCOMPARE(customer.value("id").toInt(), ann);
        QCOMPARE(customer.value("notes").toString(), "vip");
        QCOMPARE(customer.value("contacts").toList(), contacts);
        // The table shows the last phone and the last e-mail of each customer.
        const int row = m_fx->model.rowForId(ann);
        QCOMPARE(m_fx->model.phoneAt(row), "222");
        QCOMPARE(m_fx->model.emailAt(row), "ann@example.org");
        QCOMPARE(m_fx->model.emailAt(1 - row), "bob@example.org");

        const QVariantList rewritten{contact("website", "ann.example.org"),
                                     contact("email", "anna@example.org")};
        QVERIFY(service.updateCustomer(ann, " Anna ", " gold ", rewritten));
        customer = service.customerById(ann);
        QCOMPARE(customer.value("name").toString(), "Anna");
        QCOMPARE(customer.value("notes").toString(), "gold");
        QCOMPARE(customer.value("contacts").toList(), rewritten);
        QCOMPARE(m_fx->model.phoneAt(m_fx->model.rowForId(ann)), QString());
        QCOMPARE(scalar("SELECT COUNT(*) FROM customer_contacts"), 3);

        QVERIFY(!service.updateCustomer(ann, " ", {}, {}));
        QCOMPARE(service.customerById(ann + 100), QVariantMap());
        // A customer deleted meanwhile is not saved again, and gets no contacts.
        QVERIFY(!service.updateCustomer(ann + 100, "Ghost", {}, rewritten));
        QCOMPARE(scalar("SELECT COUNT(*) FROM customer_contacts"), 3);
    }

    void failedWriteChangesNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("create") << "create";
        QTest::newRow("update") << "update";
        QTest::newRow("delete") << "delete";
    }

    void failedWriteChangesNothing()
    {
        QFETCH(QString, operation);
        CustomerService &service = m_fx->service;
        const QVariantList oldContacts{contact("phone", "111")};
        QVERIFY(service.createCustomer("Ann", "old", oldContacts));
        const int ann = scalar("SELECT id FROM customers");
        sql(QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (1, %1, 'a')").arg(ann));
        // Detaching the tasks, the last statement of a delete, fails.
        sql("CREATE TRIGGER refuse BEFORE UPDATE ON tasks BEGIN SELECT RAISE(ABORT, 'refused'); END");
        QSignalSpy tasksChanged(&service, &CustomerService::tasksChanged);
        QSignalSpy reset(&m_fx->model, &QAbstractItemModel::modelReset);

        // The second contact has no value, which the NOT NULL column refuses.
        const QVariantList contacts{contact("email", "ann@example.org"), QVariantMap{{"type", "phone"}}};
        QVERIFY(!(operation == "create"   ? service.createCustomer("Bob", {}, contacts)
                  : operation == "update" ? service.updateCustomer(ann, "Anna", "new", contacts)
                                          : service.deleteCustomer(ann)));

        QCOMPARE(reset.size(), 0);
        QCOMPARE(tasksChanged.size(), 0);
        QCOMPARE(scalar("SELECT COUNT(*) FROM customers"), 1);
        QCOMPARE(scalar("SELECT COUNT(*) FROM customer_contacts"), 1);
        QCOMPARE(scalar("SELECT customer_id FROM tasks"), ann);
        const QVariantMap customer = service.customerById(ann);
        QCOMPARE(customer.value("name").toString(), "Ann");
        QCOMPARE(customer.value("notes").toString(), "old");
        QCOMPARE(customer.value("contacts").toList(), oldContacts);
        // Nothing is left open on the connection.
        QVERIFY(service.createCustomer("Bob", {}, {}));
    }

    void limitsRefuseAndStoreNothing()
    {
        const QString longest(1000, 'x'), tooLong(1001, 'x');
        const QVariantList most(100, contact(longest, longest, longest));
        QVERIFY(m_fx->service.createCustomer(longest, QString(100000, 'o'), most));
        const int id = scalar("SELECT id FROM customers");
        // One past any limit: refused, and nothing of the save is stored.
        QVERIFY(!m_fx->service.createCustomer(tooLong, {}, {}));
        QVERIFY(!m_fx->service.updateCustomer(id, "Ann", QString(100001, 'o'), {}));
        QVERIFY(!m_fx->service.updateCustomer(id, "Ann", {}, QVariantList(most) << contact("", "")));
        QVERIFY(!m_fx->service.updateCustomer(id, "Ann", {}, {contact("", "1", tooLong)}));
        QCOMPARE(scalar("SELECT COUNT(*) FROM customers WHERE length(name) = 1000"), 1);
        QCOMPARE(scalar("SELECT COUNT(*) FROM customer_contacts"), 100);
    }

    void signOutEmptiesTheTable()
    {
        addCustomers(3);
        m_fx->service.loadPage(1);
        m_fx->auth.logout();
        QCOMPARE((QList<int>{m_fx->model.rowCount(), m_fx->service.totalCount()}), (QList<int>{0, 0}));
    }

    void deleteDetachesTasksOfEveryUser()
    {
        addCustomers(2);
        sql("INSERT INTO customer_contacts (customer_id, type, value) VALUES (1, 'phone', '1'), (2, 'phone', "
            "'2')");
        // Tasks of two accounts point at customer 2, one at customer 1.
        sql("INSERT INTO tasks (user_id, customer_id, name) VALUES (1, 2, 'a'), (99, 2, 'b'), (1, 1, 'c')");
        m_fx->service.setPageSize(1);
        m_fx->service.sort(0, 0);
        m_fx->service.loadPage(2);
        QSignalSpy tasksChanged(&m_fx->service, &CustomerService::tasksChanged);
        QSignalSpy reset(&m_fx->model, &QAbstractItemModel::modelReset);

        QVERIFY(!m_fx->service.deleteCustomer(0));
        QVERIFY(m_fx->service.deleteCustomer(2));

        QCOMPARE(tasksChanged.size(), 1);
        QCOMPARE(reset.size(), 1);
        // The emptied last page gives way to the new last page.
        QCOMPARE(m_fx->service.currentPage(), 1);
        QCOMPARE(shownIds(), QList<int>{1});
        QCOMPARE(scalar("SELECT COUNT(*) FROM tasks WHERE customer_id = 0"), 2);
        QCOMPARE(scalar("SELECT COUNT(*) FROM tasks WHERE customer_id = 1"), 1);
        QCOMPARE(scalar("SELECT group_concat(customer_id) FROM customer_contacts"), 1);
    }

    void createdAtShowsTheLocalDate()
    {
        // 23:30 UTC on 21 March is already 22 March in Auckland (UTC+13 then).
        sql("INSERT INTO customers (id, user_id, name, create_at) VALUES (1, 1, 'Late', '2026-03-21 "
            "23:30:00')");
        m_fx->service.loadPage(1);

        const QDateTime utc(QDate(2026, 3, 21), QTime(23, 30), Qt::UTC);
        const bool auckland = utc.toLocalTime().offsetFromUtc() == 13 * 3600;
        QCOMPARE(m_fx->model.data(m_fx->model.index(0, 4)).toString(),
                 auckland ? "2026-03-22" : "2026-03-21");
        QCOMPARE(m_fx->model.createAt(0), utc);
    }
};

QTEST_GUILESS_MAIN(TstCustomerService)
#include "tst_customerservice.moc"
