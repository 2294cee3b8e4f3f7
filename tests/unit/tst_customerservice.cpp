#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "services/CustomerService.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <memory>

namespace {

QVariantMap contact(const QString &type, const QString &value, const QString &label = {})
{
    return {{"type", type}, {"value", value}, {"label", label}};
}

QVariant storedValue(const QString &key)
{
    return QSettings(QString::fromLatin1(kSettingsOrganization), QString::fromLatin1(kSettingsApplication))
        .value(key);
}

} // namespace

class TstCustomerService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void paging_data();
    void paging();
    void deletingTheLastRowMovesToTheNewLastPage();
    void filter_data();
    void filter();
    void sortOrdersThePage_data();
    void sortOrdersThePage();
    void sortIgnoresUnknownColumnsAndReloadsOnRepeat();
    void viewStateIsReadBack_data();
    void viewStateIsReadBack();
    void saveTrimsAndRoundTripsContacts();
    void failedSaveStoresNothing_data();
    void failedSaveStoresNothing();
    void largePageGetsEveryContact();
    void deleteRemovesContactsAndDetachesTasks();
    void failedDeleteChangesNothing();
    void notSignedInDoesNothing();
    void createdAtShowsTheLocalDate();

private:
    void add(int id, const QString &name, const QString &createAt = QStringLiteral("2026-01-01 10:00:00"));
    void addContact(int customerId, const QString &type, const QString &value);
    int scalar(const QString &sql) const;
    QList<int> shownIds() const;
    std::unique_ptr<CustomerService> makeService() const;

    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<CustomerTableModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<CustomerService> m_service;
};

void TstCustomerService::init()
{
    m_sandbox = std::make_unique<TestSandbox>();
    m_db = std::make_unique<DbManager>();
    QVERIFY(m_sandbox->openDatabase(*m_db));
    m_auth = std::make_unique<AuthService>(m_db.get());
    QVERIFY(signInTestUser(*m_auth, QStringLiteral("ada")) > 0);
    m_model = std::make_unique<CustomerTableModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_service = makeService();
}

void TstCustomerService::cleanup()
{
    m_service.reset();
    m_tester.reset();
    m_model.reset();
    m_auth.reset();
    m_db.reset();
    m_sandbox.reset();
}

std::unique_ptr<CustomerService> TstCustomerService::makeService() const
{
    return std::make_unique<CustomerService>(m_db.get(), m_auth.get(), m_model.get());
}

void TstCustomerService::add(int id, const QString &name, const QString &createAt)
{
    QVERIFY(execSql(*m_db, QStringLiteral("INSERT INTO customers (id, user_id, name, create_at) "
                                          "VALUES (%1, 1, '%2', '%3')")
                               .arg(id)
                               .arg(name, createAt)));
}

void TstCustomerService::addContact(int customerId, const QString &type, const QString &value)
{
    QVERIFY(execSql(
        *m_db,
        QStringLiteral("INSERT INTO customer_contacts (customer_id, type, value) VALUES (%1, '%2', '%3')")
            .arg(customerId)
            .arg(type, value)));
}

int TstCustomerService::scalar(const QString &sql) const
{
    QSqlQuery query(m_db->database());
    return query.exec(sql) && query.next() ? query.value(0).toInt() : -1;
}

QList<int> TstCustomerService::shownIds() const
{
    QList<int> ids;
    for (int row = 0; row < m_model->rowCountQml(); ++row)
        ids.append(m_model->customerIdAt(row));
    return ids;
}

void TstCustomerService::paging_data()
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
    QTest::newRow("negative") << 25 << -2 << 3 << 1 << 1;
}

void TstCustomerService::paging()
{
    QFETCH(int, customers);
    QFETCH(int, requested);
    QFETCH(int, pages);
    QFETCH(int, shown);
    QFETCH(int, firstId);
    for (int id = 1; id <= customers; ++id)
        add(id, QStringLiteral("Customer %1").arg(id));
    m_service->sort(0, 0);
    QSignalSpy counts(m_service.get(), &CustomerService::countsChanged);
    QSignalSpy totalPages(m_service.get(), &CustomerService::totalPagesChanged);

    m_service->loadPage(requested);

    QCOMPARE(counts.size(), 1);
    QCOMPARE(totalPages.size(), 1);
    QCOMPARE(m_service->totalCount(), customers);
    QCOMPARE(m_service->totalPages(), pages);
    QCOMPARE(m_service->currentPage(), shown);
    QCOMPARE(m_model->rowCount(), std::clamp(customers - (shown - 1) * 10, 0, 10));
    QCOMPARE(m_model->customerIdAt(0), firstId);
}

void TstCustomerService::deletingTheLastRowMovesToTheNewLastPage()
{
    for (int id = 1; id <= 21; ++id)
        add(id, QStringLiteral("Customer %1").arg(id));
    m_service->sort(0, 0);
    m_service->loadPage(3);
    QCOMPARE(shownIds(), QList<int>{21});

    QSignalSpy pageChanged(m_service.get(), &CustomerService::currentPageChanged);
    QVERIFY(m_service->deleteCustomer(21));
    QCOMPARE(pageChanged.size(), 1);
    QCOMPARE(m_service->currentPage(), 2);
    QCOMPARE(m_model->rowCount(), 10);
}

void TstCustomerService::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("digits in id, name and contact") << "12"
                                                    << "12" << QList<int>{5, 7, 12, 112, 120};
    QTest::newRow("name, any letter case") << "ACME"
                                           << "ACME" << QList<int>{5};
    QTest::newRow("percent wildcard") << "ac%ltd"
                                      << "ac%ltd" << QList<int>{5};
    QTest::newRow("underscore wildcard") << "B_b"
                                         << "B_b" << QList<int>{21};
    QTest::newRow("e-mail value") << "example.org"
                                  << "example.org" << QList<int>{200};
    QTest::newRow("trimmed") << "  Bob  "
                             << "Bob" << QList<int>{21};
    QTest::newRow("spaces only show all") << "   "
                                          << "" << QList<int>{5, 7, 12, 21, 112, 120, 200};
}

void TstCustomerService::filter()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QFETCH(QList<int>, expected);
    add(5, QStringLiteral("Acme 12 Ltd"));
    add(7, QStringLiteral("Phone owner"));
    addContact(7, QStringLiteral("phone"), QStringLiteral("+64 0123"));
    add(12, QStringLiteral("Twelve"));
    add(21, QStringLiteral("Bob"));
    addContact(21, QStringLiteral("address"), QStringLiteral("1 Main St"));
    add(112, QStringLiteral("Hundred"));
    add(120, QStringLiteral("Another"));
    add(200, QStringLiteral("Mail"));
    addContact(200, QStringLiteral("email"), QStringLiteral("info@example.org"));
    m_service->setPageSize(50);
    m_service->sort(0, 0);
    m_service->setFilterName(QStringLiteral("x"));
    QSignalSpy changed(m_service.get(), &CustomerService::filterNameChanged);

    m_service->setFilterName(text);

    QCOMPARE(changed.size(), 1);
    QCOMPARE(m_service->filterName(), stored);
    QCOMPARE(shownIds(), expected);
    QCOMPARE(m_service->totalCount(), expected.size());
    QCOMPARE(storedValue(QStringLiteral("customerFilterName")).toString(), stored);
}

void TstCustomerService::sortOrdersThePage_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QList<int>>("expected");

    // Customers: 1 "beta" created third, 2 "Alpha" created first, 3 "gamma" created second.
    QTest::newRow("id ascending") << 0 << 0 << QList<int>{1, 2, 3};
    QTest::newRow("id descending") << 0 << 1 << QList<int>{3, 2, 1};
    QTest::newRow("name ascending") << 1 << 0 << QList<int>{2, 1, 3};
    QTest::newRow("name descending") << 1 << 1 << QList<int>{3, 1, 2};
    QTest::newRow("phone by creation") << 2 << 0 << QList<int>{2, 3, 1};
    QTest::newRow("email by creation, descending") << 3 << 1 << QList<int>{1, 3, 2};
    QTest::newRow("created descending") << 4 << 1 << QList<int>{1, 3, 2};
    QTest::newRow("any other order is ascending") << 4 << 7 << QList<int>{2, 3, 1};
}

void TstCustomerService::sortOrdersThePage()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QList<int>, expected);
    add(1, QStringLiteral("beta"), QStringLiteral("2026-01-03 10:00:00"));
    add(2, QStringLiteral("Alpha"), QStringLiteral("2026-01-01 10:00:00"));
    add(3, QStringLiteral("gamma"), QStringLiteral("2026-01-02 10:00:00"));

    m_service->sort(column, order);

    QCOMPARE(shownIds(), expected);
    QCOMPARE(m_service->sortColumn(), column);
    QCOMPARE(m_service->sortOrder(), order == 1 ? 1 : 0);
}

void TstCustomerService::sortIgnoresUnknownColumnsAndReloadsOnRepeat()
{
    QSignalSpy sortChanged(m_service.get(), &CustomerService::sortChanged);
    QSignalSpy reloads(m_service.get(), &CustomerService::countsChanged);

    m_service->sort(5, 0);
    m_service->sort(-1, 1);
    QCOMPARE(sortChanged.size(), 0);
    QCOMPARE(reloads.size(), 0);
    QVERIFY(!storedValue(QStringLiteral("customerSortColumn")).isValid());

    // The current column and order (4, descending) reload and write both keys, without a change signal.
    m_service->sort(4, 1);
    QCOMPARE(sortChanged.size(), 0);
    QCOMPARE(reloads.size(), 1);
    QCOMPARE(storedValue(QStringLiteral("customerSortColumn")).toInt(), 4);
    QCOMPARE(storedValue(QStringLiteral("customerSortOrder")).toInt(), 1);

    m_service->sort(1, 0);
    QCOMPARE(sortChanged.size(), 1);
    QCOMPARE(reloads.size(), 2);
}

void TstCustomerService::viewStateIsReadBack_data()
{
    QTest::addColumn<QVariantList>("stored"); // page size, sort column, sort order; invalid: absent
    QTest::addColumn<QList<int>>("loaded");

    QTest::newRow("nothing stored") << QVariantList{{}, {}, {}} << QList<int>{10, 4, 1};
    QTest::newRow("valid values") << QVariantList{25, 1, 0} << QList<int>{25, 1, 0};
    QTest::newRow("out of range") << QVariantList{0, 5, -3} << QList<int>{1, 4, 1};
    QTest::newRow("negative") << QVariantList{-4, -1, 2} << QList<int>{1, 4, 1};
}

void TstCustomerService::viewStateIsReadBack()
{
    QFETCH(QVariantList, stored);
    QFETCH(QList<int>, loaded);
    const QStringList keys{"customerPageSize", "customerSortColumn", "customerSortOrder"};
    {
        QSettings settings(QString::fromLatin1(kSettingsOrganization),
                           QString::fromLatin1(kSettingsApplication));
        for (int i = 0; i < keys.size(); ++i) {
            if (stored.at(i).isValid())
                settings.setValue(keys.at(i), stored.at(i));
        }
    }

    auto service = makeService();
    QCOMPARE((QList<int>{service->pageSize(), service->sortColumn(), service->sortOrder()}), loaded);

    // What one instance writes, the next one reads.
    service->setPageSize(-5);
    QCOMPARE(service->pageSize(), 1);
    service->setPageSize(40);
    service->setFilterName(QStringLiteral(" acme "));
    service->sort(1, 1);
    service.reset();
    auto second = makeService();
    QCOMPARE((QList<int>{second->pageSize(), second->sortColumn(), second->sortOrder()}),
             (QList<int>{40, 1, 1}));
    QCOMPARE(second->filterName(), QStringLiteral("acme"));
}

void TstCustomerService::saveTrimsAndRoundTripsContacts()
{
    QVERIFY(!m_service->createCustomer(QStringLiteral("   "), QString(), {}));
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customers")), 0);

    const QVariantList contacts{
        contact(QStringLiteral("phone"), QStringLiteral(" 111 "), QStringLiteral("old")),
        contact(QStringLiteral("email"), QStringLiteral("ann@example.org")),
        contact(QStringLiteral("phone"), QStringLiteral("222"), QStringLiteral("mobile")),
        contact(QStringLiteral("other"), QStringLiteral("x"))};
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    QVERIFY(m_service->createCustomer(QStringLiteral("  Ann  "), QStringLiteral(" vip "), contacts));
    QVERIFY(
        m_service->createCustomer(QStringLiteral("Bob"), QString(), {contact("email", "bob@example.org")}));
    QCOMPARE(reset.size(), 2);

    const int ann = scalar(QStringLiteral("SELECT id FROM customers WHERE name = 'Ann'"));
    QCOMPARE(scalar(QStringLiteral("SELECT user_id FROM customers WHERE id = %1").arg(ann)),
             m_auth->userId());
    QVariantMap customer = m_service->customerById(ann);
    QCOMPARE(customer.value("id").toInt(), ann);
    QCOMPARE(customer.value("notes").toString(), QStringLiteral("vip"));
    QCOMPARE(customer.value("contacts").toList(), contacts);
    // The table shows the last phone and the last e-mail of each customer.
    const int row = m_model->rowForId(ann);
    QCOMPARE(m_model->phoneAt(row), QStringLiteral("222"));
    QCOMPARE(m_model->emailAt(row), QStringLiteral("ann@example.org"));
    QCOMPARE(m_model->emailAt(1 - row), QStringLiteral("bob@example.org"));

    const QVariantList rewritten{contact(QStringLiteral("website"), QStringLiteral("ann.example.org")),
                                 contact(QStringLiteral("email"), QStringLiteral("anna@example.org"))};
    QVERIFY(m_service->updateCustomer(ann, QStringLiteral(" Anna "), QString(), rewritten));
    customer = m_service->customerById(ann);
    QCOMPARE(customer.value("name").toString(), QStringLiteral("Anna"));
    QCOMPARE(customer.value("contacts").toList(), rewritten);
    QCOMPARE(m_model->phoneAt(m_model->rowForId(ann)), QString());
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts")), 3);

    QVERIFY(!m_service->updateCustomer(ann, QStringLiteral(" "), QString(), {}));
    QCOMPARE(m_service->customerById(ann + 100), QVariantMap());
    QCOMPARE(m_service->customerById(0), QVariantMap());
}

void TstCustomerService::failedSaveStoresNothing_data()
{
    QTest::addColumn<bool>("update");
    QTest::newRow("create") << false;
    QTest::newRow("update") << true;
}

void TstCustomerService::failedSaveStoresNothing()
{
    QFETCH(bool, update);
    const QVariantList oldContacts{contact(QStringLiteral("phone"), QStringLiteral("111"))};
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QStringLiteral("old"), oldContacts));
    const int ann = scalar(QStringLiteral("SELECT id FROM customers"));
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    // The second contact has no value, which the NOT NULL column refuses.
    const QVariantList contacts{contact(QStringLiteral("email"), QStringLiteral("ann@example.org")),
                                QVariantMap{{"type", "phone"}},
                                contact(QStringLiteral("other"), QStringLiteral("x"))};
    QVERIFY(update ? !m_service->updateCustomer(ann, QStringLiteral("Anna"), QStringLiteral("new"), contacts)
                   : !m_service->createCustomer(QStringLiteral("Bob"), QString(), contacts));

    QCOMPARE(reset.size(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customers")), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts")), 1);
    const QVariantMap customer = m_service->customerById(ann);
    QCOMPARE(customer.value("name").toString(), QStringLiteral("Ann"));
    QCOMPARE(customer.value("notes").toString(), QStringLiteral("old"));
    QCOMPARE(customer.value("contacts").toList(), oldContacts);
    // Nothing is left open on the connection.
    QVERIFY(m_service->createCustomer(QStringLiteral("Bob"), QString(), {}));
}

void TstCustomerService::largePageGetsEveryContact()
{
    // More customers on one page than one contact statement names.
    QVERIFY(execSql(
        *m_db, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                              "i < 1100) INSERT INTO customers (id, user_id, name) SELECT i, 1, 'c' || i "
                              "FROM n")));
    QVERIFY(execSql(*m_db, QStringLiteral("INSERT INTO customer_contacts (customer_id, type, value) "
                                          "SELECT id, 'email', 'mail' || id FROM customers")));
    m_service->setPageSize(1100);
    m_service->sort(0, 0);

    QCOMPARE(m_model->rowCount(), 1100);
    for (int row : {0, 499, 500, 999, 1000, 1099}) {
        QCOMPARE(m_model->emailAt(row), QStringLiteral("mail%1").arg(m_model->customerIdAt(row)));
        QCOMPARE(m_model->contactsAt(row).size(), 1);
    }
}

void TstCustomerService::deleteRemovesContactsAndDetachesTasks()
{
    add(1, QStringLiteral("Ann"));
    addContact(1, QStringLiteral("phone"), QStringLiteral("111"));
    add(2, QStringLiteral("Bob"));
    addContact(2, QStringLiteral("phone"), QStringLiteral("222"));
    // Tasks of two accounts point at Ann, one at Bob.
    QVERIFY(execSql(*m_db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) "
                                          "VALUES (1, 1, 'a'), (99, 1, 'b'), (1, 2, 'c')")));
    QSignalSpy tasksChanged(m_service.get(), &CustomerService::tasksChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    QVERIFY(!m_service->deleteCustomer(0));
    QVERIFY(m_service->deleteCustomer(1));

    QCOMPARE(tasksChanged.size(), 1);
    QCOMPARE(reset.size(), 1);
    QCOMPARE(shownIds(), QList<int>{2});
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks WHERE customer_id = 0")), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks WHERE customer_id = 2")), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT group_concat(customer_id) FROM customer_contacts")), 2);
}

void TstCustomerService::failedDeleteChangesNothing()
{
    add(1, QStringLiteral("Ann"));
    addContact(1, QStringLiteral("phone"), QStringLiteral("111"));
    QVERIFY(
        execSql(*m_db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (1, 1, 'a')")));
    // Detaching the tasks, the last statement of a delete, fails.
    QVERIFY(execSql(*m_db, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON tasks "
                                          "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QSignalSpy tasksChanged(m_service.get(), &CustomerService::tasksChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    QVERIFY(!m_service->deleteCustomer(1));

    QCOMPARE(tasksChanged.size(), 0);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(m_service->customerById(1).value("contacts").toList().size(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT customer_id FROM tasks")), 1);
}

void TstCustomerService::notSignedInDoesNothing()
{
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QString(), {}));
    m_auth->logout();
    QSignalSpy counts(m_service.get(), &CustomerService::countsChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    m_service->loadPage(1);
    m_service->sort(1, 0);
    QCOMPARE(m_service->customerById(1), QVariantMap());
    QVERIFY(!m_service->createCustomer(QStringLiteral("Bob"), QString(), {}));
    QVERIFY(!m_service->updateCustomer(1, QStringLiteral("Anna"), QString(), {}));
    QVERIFY(!m_service->deleteCustomer(1));

    QCOMPARE(counts.size(), 0);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(m_service->sortColumn(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customers WHERE name = 'Ann'")), 1);
}

void TstCustomerService::createdAtShowsTheLocalDate()
{
    // 23:30 UTC on 21 March is already 22 March in Auckland (UTC+13 then).
    add(1, QStringLiteral("Late"), QStringLiteral("2026-03-21 23:30:00"));
    m_service->loadPage(1);

    const QDateTime utc(QDate(2026, 3, 21), QTime(23, 30), Qt::UTC);
    const bool auckland = utc.toLocalTime().offsetFromUtc() == 13 * 3600;
    QCOMPARE(m_model->data(m_model->index(0, 4)).toString(), auckland ? "2026-03-22" : "2026-03-21");
    QCOMPARE(m_model->createAt(0), utc);
}

QTEST_GUILESS_MAIN(TstCustomerService)
#include "tst_customerservice.moc"
