#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "services/CustomerService.h"
#include "storage/SqlDialect.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QVariantMap contact(const QString &type, const QString &value, const QString &label = {})
{
    return {{"type", type}, {"value", value}, {"label", label}};
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

    // Customers 1 to count (up to 30) named "Customer <id>", created a day apart in the order of their ids.
    void addCustomers(int count)
    {
        QStringList rows;
        for (int i = 1; i <= count; ++i)
            rows << QStringLiteral("(%1, 1, 'Customer %1', '2026-01-%2 00:00:00')")
                        .arg(i)
                        .arg(i + 1, 2, 10, QChar('0'));
        sql("INSERT INTO customers (id, user_id, name, create_at) VALUES " + rows.join(", "));
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

    // 25 customers, 10 a page: page 2 starts at 11; a page past the end shows the last one.
    void paging()
    {
        addCustomers(25);
        m_fx->service.sort(0, 0);
        m_fx->service.loadPage(2);
        QCOMPARE(m_fx->model.customerIdAt(0), 11);
        m_fx->service.loadPage(7);
        QCOMPARE(
            (QList<int>{m_fx->service.totalCount(), m_fx->service.totalPages(), m_fx->service.currentPage(),
                        m_fx->model.rowCount(), m_fx->model.customerIdAt(0)}),
            (QList<int>{25, 3, 3, 5, 21}));
    }

    // A filter of one or two characters counts up to 1,000 matches; below that it counts exactly.
    void shortFilterCountIsCapped()
    {
        addCustomers(1200);
        m_fx->service.sort(0, 0);
        m_fx->service.setFilterName(QStringLiteral("c"));
        QCOMPARE((QVariantList{m_fx->service.totalCount(), m_fx->service.countCapped(),
                               m_fx->service.totalPages(), m_fx->model.customerIdAt(0)}),
                 (QVariantList{1000, true, 100, 1}));
        m_fx->service.setFilterName(QStringLiteral("11"));
        QCOMPARE((QVariantList{m_fx->service.totalCount(), m_fx->service.countCapped()}),
                 (QVariantList{scalar(QStringLiteral("SELECT COUNT(*) FROM customers WHERE CAST(id AS TEXT) LIKE '%11%'")),
                               false}));
    }

    void filterAndSort_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("digits in id, name and contact") << "12" << 0 << 0 << QList<int>{5, 7, 12, 112, 120};
        QTest::newRow("e-mail value") << "example.org" << 0 << 0 << QList<int>{200};
        QTest::newRow("trimmed") << "  Bob  " << 0 << 0 << QList<int>{21};
        QTest::newRow("id descending") << "" << 0 << 1 << QList<int>{200, 120, 112, 21, 12, 7, 5};
        QTest::newRow("name ascending") << "" << 1 << 0 << QList<int>{5, 120, 21, 112, 200, 7, 12};
        QTest::newRow("e-mail by creation, descending")
            << "" << 3 << 1 << QList<int>{120, 5, 21, 7, 12, 200, 112};
        QTest::newRow("column 5 is ignored") << "" << 5 << 0 << QList<int>{};
    }

    void filterAndSort()
    {
        QFETCH(QString, text);
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QList<int>, expected);
        sql("INSERT INTO customers (id, user_id, name, create_at) VALUES"
            " (5, 1, 'Acme 12 Ltd', '2026-01-01 01:24:00'), (7, 1, 'Phone owner', '2026-01-01 00:57:00'), "
            "(12, 1, 'Twelve', '2026-01-01 00:40:00'),"
            " (21, 1, 'Bob', '2026-01-01 01:10:00'), (112, 1, 'Hundred', '2026-01-01 00:03:00'),"
            " (120, 1, 'Another', '2026-01-01 01:37:00'), (200, 1, 'Mail', '2026-01-01 00:27:00')");
        // Two matching contacts still show their customer once.
        sql("INSERT INTO customer_contacts (customer_id, type, value) VALUES (7, 'phone', '+64 0123'), "
            "(7, 'phone', '0120'), (200, 'email', 'info@example.org')");
        m_fx->service.setPageSize(50);
        m_fx->service.sort(column, order);
        m_fx->service.setFilterName(text);
        QCOMPARE(shownIds(), expected);
        QCOMPARE(m_fx->service.totalCount(), expected.size());
        // The view state is kept for the next start.
        CustomerService next(&m_fx->db, &m_fx->auth, nullptr);
        QCOMPARE((QVariantList{next.filterName(), next.sortColumn()}),
                 (QVariantList{text.trimmed(), column < 5 ? column : 4}));
    }

    // The search index only narrows the rows down: after creates, updates and deletes every pattern
    // shows exactly the customers of the plain LIKE, wildcards, case and non-ASCII letters included.
    void filterMatchesPlainLike()
    {
        QRandomGenerator random(9);
        const QString letters = QStringLiteral("aAbBéÉ1@cC%_");
        // Names and contacts share only é and É, so that the index has customers to leave out.
        const auto text = [&](int length, int from, int to) {
            QString result;
            for (int i = 0; i < length; ++i)
                result += letters.at(random.bounded(from, to));
            return result;
        };
        const auto contacts = [&] {
            QVariantList list;
            for (int i = random.bounded(4); i > 0; --i)
                list.append(contact("phone", text(random.bounded(3, 9), 4, 10)));
            return list;
        };
        for (int i = 0; i < 60; ++i)
            QVERIFY(m_fx->service.createCustomer(text(random.bounded(3, 9), 0, 6), {}, contacts()));
        for (int id = 1; id <= 60; id += 3)
            QVERIFY(m_fx->service.updateCustomer(id, text(6, 0, 6), {}, contacts()));
        for (int id = 2; id <= 60; id += 5)
            QVERIFY(m_fx->service.deleteCustomer(id));
        m_fx->service.setPageSize(100);
        m_fx->service.sort(0, 0);
        for (int i = 0; i < 80; ++i) {
            const QString pattern = text(random.bounded(3, 6), 0, letters.size());
            m_fx->service.setFilterName(pattern);
            const SqlDialect &dialect = m_fx->db.dialect();
            const QString like = '\'' + ('%' + pattern + '%') + '\'';
            const QString ids = queryList(
                m_fx->db,
                QStringLiteral("SELECT id FROM customers WHERE %1 OR %2 OR id IN (SELECT customer_id"
                               " FROM customer_contacts WHERE %3) ORDER BY id")
                    .arg(dialect.like("name", like), dialect.like("CAST(id AS TEXT)", like),
                         dialect.like("value", like)));
            QStringList shown;
            for (const int id : shownIds())
                shown.append(QString::number(id));
            QCOMPARE(shown.join(','), ids);
            QCOMPARE(m_fx->service.totalCount(), shown.size());
        }
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
        const int ann = scalar("SELECT id FROM customers WHERE name = 'Ann' AND user_id = 1");
        QVariantMap customer = service.customerById(ann);
        QCOMPARE(customer.value("notes").toString(), "vip");
        QCOMPARE(customer.value("contacts").toList(), contacts);
        // The table shows the last phone and the last e-mail of each customer.
        const QModelIndex phone = m_fx->model.index(m_fx->model.rowForId(ann), 2);
        QCOMPARE(phone.data().toString() + phone.siblingAtColumn(3).data().toString(), "222ann@example.org");

        const QVariantList rewritten{contact("website", "ann.example.org"),
                                     contact("email", "anna@example.org")};
        QVERIFY(service.updateCustomer(ann, " Anna ", " gold ", rewritten));
        customer = service.customerById(ann);
        QCOMPARE(customer.value("name").toString() + customer.value("notes").toString(), "Annagold");
        QCOMPARE(customer.value("contacts").toList(), rewritten);
        // A customer deleted meanwhile is not saved again, and gets no contacts.
        QVERIFY(!service.updateCustomer(ann + 100, "Ghost", {}, rewritten));
        QCOMPARE(scalar("SELECT COUNT(*) FROM customer_contacts"), 3);
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
        m_fx->auth.logout(); // empties the table at once
        QCOMPARE((QList<int>{m_fx->model.rowCount(), m_fx->service.totalCount()}), (QList<int>{0, 0}));
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
        if (m_fx->db.isServer()) {
            sql("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN RAISE 'refused'; "
                "END$$");
            sql("CREATE TRIGGER refuse BEFORE UPDATE ON tasks FOR EACH ROW EXECUTE FUNCTION refuse()");
        } else {
            sql("CREATE TRIGGER refuse BEFORE UPDATE ON tasks BEGIN SELECT RAISE(ABORT, 'refused'); END");
        }
        QSignalSpy tasksChanged(&service, &CustomerService::tasksChanged);
        QSignalSpy reset(&m_fx->model, &QAbstractItemModel::modelReset);

        // The second contact has no value, which the NOT NULL column refuses.
        const QVariantList contacts{contact("email", "ann@example.org"), QVariantMap{{"type", "phone"}}};
        QVERIFY(!(operation == "create"   ? service.createCustomer("Bob", {}, contacts)
                  : operation == "update" ? service.updateCustomer(ann, "Anna", "new", contacts)
                                          : service.deleteCustomer(ann)));

        QCOMPARE(reset.size() + tasksChanged.size() + scalar("SELECT COUNT(*) FROM customers"), 1);
        QCOMPARE(scalar("SELECT customer_id FROM tasks"), ann);
        const QVariantMap customer = service.customerById(ann);
        QCOMPARE(customer.value("name").toString() + customer.value("notes").toString(), "Annold");
        QCOMPARE(customer.value("contacts").toList(), oldContacts);
        // Nothing is left open on the connection.
        QVERIFY(service.createCustomer("Bob", {}, {}));
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
        QVERIFY(!m_fx->service.deleteCustomer(0));
        QVERIFY(m_fx->service.deleteCustomer(2));
        QCOMPARE(tasksChanged.size(), 1);
        // The emptied last page gives way to the new last page.
        QCOMPARE(shownIds(), QList<int>{1});
        QCOMPARE(queryList(m_fx->db, "SELECT customer_id FROM tasks ORDER BY id"), "0,0,1");
        QCOMPARE(queryList(m_fx->db, "SELECT customer_id FROM customer_contacts"), "1");
    }
};

QTEST_GUILESS_MAIN(TstCustomerService)
#include "tst_customerservice.moc"
