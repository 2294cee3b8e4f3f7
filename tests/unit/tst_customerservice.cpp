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
    return {
        {QStringLiteral("type"), type}, {QStringLiteral("value"), value}, {QStringLiteral("label"), label}};
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

    void emptyDirectory();
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
    void createTrimsAndRoundTripsContacts();
    void updateRewritesContacts();
    void failedSaveStoresNothing_data();
    void failedSaveStoresNothing();
    void largePageGetsEveryContact();
    void deleteRemovesContactsAndDetachesTasks();
    void failedDeleteChangesNothing();
    void notSignedInDoesNothing();
    void createdAtShowsTheLocalDate();

private:
    int addCustomer(const QString &name, const QString &createAt = QStringLiteral("2026-01-01 10:00:00"),
                    int id = 0);
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

int TstCustomerService::addCustomer(const QString &name, const QString &createAt, int id)
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral("INSERT INTO customers (id, user_id, name, notes, create_at) "
                                 "VALUES (:id, 1, :name, '', :create_at)"));
    query.bindValue(QStringLiteral(":id"), id > 0 ? QVariant(id) : QVariant());
    query.bindValue(QStringLiteral(":name"), name);
    query.bindValue(QStringLiteral(":create_at"), createAt);
    if (!query.exec())
        return -1;
    return query.lastInsertId().toInt();
}

void TstCustomerService::addContact(int customerId, const QString &type, const QString &value)
{
    QSqlQuery query(m_db->database());
    query.prepare(
        QStringLiteral("INSERT INTO customer_contacts (customer_id, type, value) VALUES (:c, :t, :v)"));
    query.bindValue(QStringLiteral(":c"), customerId);
    query.bindValue(QStringLiteral(":t"), type);
    query.bindValue(QStringLiteral(":v"), value);
    QVERIFY(query.exec());
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

void TstCustomerService::emptyDirectory()
{
    QSignalSpy counts(m_service.get(), &CustomerService::countsChanged);
    QSignalSpy pages(m_service.get(), &CustomerService::totalPagesChanged);
    m_service->loadPage(1);
    QCOMPARE(counts.size(), 1);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(m_service->totalCount(), 0);
    QCOMPARE(m_service->totalPages(), 1);
    QCOMPARE(m_service->currentPage(), 1);
    QCOMPARE(m_model->rowCount(), 0);
}

void TstCustomerService::paging_data()
{
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("rows");

    QTest::newRow("second page") << 2 << 2 << 10;
    QTest::newRow("beyond the last page") << 7 << 3 << 5;
    QTest::newRow("zero") << 0 << 1 << 10;
    QTest::newRow("negative") << -2 << 1 << 10;
}

void TstCustomerService::paging()
{
    QFETCH(int, requested);
    QFETCH(int, shown);
    QFETCH(int, rows);
    for (int i = 1; i <= 25; ++i)
        addCustomer(QStringLiteral("Customer %1").arg(i));
    m_service->sort(0, 0);

    m_service->loadPage(requested);

    QCOMPARE(m_service->totalCount(), 25);
    QCOMPARE(m_service->totalPages(), 3);
    QCOMPARE(m_service->currentPage(), shown);
    QCOMPARE(m_model->rowCount(), rows);
    QCOMPARE(m_model->customerIdAt(0), (shown - 1) * 10 + 1);
}

void TstCustomerService::deletingTheLastRowMovesToTheNewLastPage()
{
    for (int i = 1; i <= 21; ++i)
        addCustomer(QStringLiteral("Customer %1").arg(i));
    m_service->sort(0, 0);
    m_service->loadPage(3);
    QCOMPARE(shownIds(), QList<int>{21});

    QSignalSpy pageChanged(m_service.get(), &CustomerService::currentPageChanged);
    QVERIFY(m_service->deleteCustomer(21));
    QCOMPARE(pageChanged.size(), 1);
    QCOMPARE(m_service->currentPage(), 2);
    QCOMPARE(m_service->totalPages(), 2);
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
    addCustomer(QStringLiteral("Acme 12 Ltd"), QStringLiteral("2026-01-01 10:00:00"), 5);
    addCustomer(QStringLiteral("Phone owner"), QStringLiteral("2026-01-01 10:00:00"), 7);
    addContact(7, QStringLiteral("phone"), QStringLiteral("+64 0123"));
    addCustomer(QStringLiteral("Twelve"), QStringLiteral("2026-01-01 10:00:00"), 12);
    addCustomer(QStringLiteral("Bob"), QStringLiteral("2026-01-01 10:00:00"), 21);
    addContact(21, QStringLiteral("address"), QStringLiteral("1 Main St"));
    addCustomer(QStringLiteral("Hundred"), QStringLiteral("2026-01-01 10:00:00"), 112);
    addCustomer(QStringLiteral("Another"), QStringLiteral("2026-01-01 10:00:00"), 120);
    addCustomer(QStringLiteral("Mail"), QStringLiteral("2026-01-01 10:00:00"), 200);
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
    QTest::newRow("created ascending") << 4 << 0 << QList<int>{2, 3, 1};
    QTest::newRow("created descending") << 4 << 1 << QList<int>{1, 3, 2};
    QTest::newRow("any other order is ascending") << 4 << 7 << QList<int>{2, 3, 1};
}

void TstCustomerService::sortOrdersThePage()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QList<int>, expected);
    addCustomer(QStringLiteral("beta"), QStringLiteral("2026-01-03 10:00:00"));
    addCustomer(QStringLiteral("Alpha"), QStringLiteral("2026-01-01 10:00:00"));
    addCustomer(QStringLiteral("gamma"), QStringLiteral("2026-01-02 10:00:00"));

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
    QTest::addColumn<QVariant>("storedPageSize");
    QTest::addColumn<QVariant>("storedColumn");
    QTest::addColumn<QVariant>("storedOrder");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");

    QTest::newRow("nothing stored") << QVariant() << QVariant() << QVariant() << 10 << 4 << 1;
    QTest::newRow("valid values") << QVariant(25) << QVariant(1) << QVariant(0) << 25 << 1 << 0;
    QTest::newRow("out of range") << QVariant(0) << QVariant(5) << QVariant(-3) << 1 << 4 << 1;
    QTest::newRow("negative column") << QVariant(-4) << QVariant(-1) << QVariant(2) << 1 << 4 << 1;
}

void TstCustomerService::viewStateIsReadBack()
{
    QFETCH(QVariant, storedPageSize);
    QFETCH(QVariant, storedColumn);
    QFETCH(QVariant, storedOrder);
    QFETCH(int, pageSize);
    QFETCH(int, column);
    QFETCH(int, order);
    {
        QSettings settings(QString::fromLatin1(kSettingsOrganization),
                           QString::fromLatin1(kSettingsApplication));
        if (storedPageSize.isValid())
            settings.setValue(QStringLiteral("customerPageSize"), storedPageSize);
        if (storedColumn.isValid())
            settings.setValue(QStringLiteral("customerSortColumn"), storedColumn);
        if (storedOrder.isValid())
            settings.setValue(QStringLiteral("customerSortOrder"), storedOrder);
    }

    auto service = makeService();
    QCOMPARE(service->pageSize(), pageSize);
    QCOMPARE(service->sortColumn(), column);
    QCOMPARE(service->sortOrder(), order);

    // What one instance writes, the next one reads.
    service->setPageSize(-5);
    QCOMPARE(service->pageSize(), 1);
    service->setPageSize(40);
    service->setFilterName(QStringLiteral(" acme "));
    service->sort(1, 1);
    service.reset();
    auto second = makeService();
    QCOMPARE(second->pageSize(), 40);
    QCOMPARE(second->filterName(), QStringLiteral("acme"));
    QCOMPARE(second->sortColumn(), 1);
    QCOMPARE(second->sortOrder(), 1);
    QCOMPARE(second->currentPage(), 1);
}

void TstCustomerService::createTrimsAndRoundTripsContacts()
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
    QCOMPARE(reset.size(), 1);

    const int id = scalar(QStringLiteral("SELECT id FROM customers"));
    QCOMPARE(scalar(QStringLiteral("SELECT user_id FROM customers")), m_auth->userId());
    const QVariantMap customer = m_service->customerById(id);
    QCOMPARE(customer.value(QStringLiteral("id")).toInt(), id);
    QCOMPARE(customer.value(QStringLiteral("name")).toString(), QStringLiteral("Ann"));
    QCOMPARE(customer.value(QStringLiteral("notes")).toString(), QStringLiteral("vip"));
    QCOMPARE(customer.value(QStringLiteral("contacts")).toList(), contacts);

    // The table shows the last phone and the last e-mail.
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->phoneAt(0), QStringLiteral("222"));
    QCOMPARE(m_model->emailAt(0), QStringLiteral("ann@example.org"));
    QCOMPARE(m_model->contactsAt(0), contacts);

    QCOMPARE(m_service->customerById(id + 1), QVariantMap());
    QCOMPARE(m_service->customerById(0), QVariantMap());
}

void TstCustomerService::updateRewritesContacts()
{
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QString(),
                                      {contact(QStringLiteral("phone"), QStringLiteral("111"))}));
    QVERIFY(m_service->createCustomer(QStringLiteral("Bob"), QString(),
                                      {contact(QStringLiteral("email"), QStringLiteral("bob@example.org"))}));
    const int ann = scalar(QStringLiteral("SELECT id FROM customers WHERE name = 'Ann'"));

    const QVariantList contacts{contact(QStringLiteral("email"), QStringLiteral("ann@example.org")),
                                contact(QStringLiteral("website"), QStringLiteral("ann.example.org"))};
    QVERIFY(m_service->updateCustomer(ann, QStringLiteral(" Anna "), QStringLiteral("n"), contacts));

    const QVariantMap customer = m_service->customerById(ann);
    QCOMPARE(customer.value(QStringLiteral("name")).toString(), QStringLiteral("Anna"));
    QCOMPARE(customer.value(QStringLiteral("contacts")).toList(), contacts);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts")), 3);
    const int row = m_model->rowForId(ann);
    QCOMPARE(m_model->phoneAt(row), QString());
    QCOMPARE(m_model->emailAt(row), QStringLiteral("ann@example.org"));
    QCOMPARE(m_model->emailAt(1 - row), QStringLiteral("bob@example.org"));

    QVERIFY(!m_service->updateCustomer(ann, QStringLiteral(" "), QString(), {}));
    QCOMPARE(m_service->customerById(ann).value(QStringLiteral("name")).toString(), QStringLiteral("Anna"));
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
                                QVariantMap{{QStringLiteral("type"), QStringLiteral("phone")}},
                                contact(QStringLiteral("other"), QStringLiteral("x"))};
    const bool saved =
        update ? m_service->updateCustomer(ann, QStringLiteral("Anna"), QStringLiteral("new"), contacts)
               : m_service->createCustomer(QStringLiteral("Bob"), QString(), contacts);

    QVERIFY(!saved);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customers")), 1);
    const QVariantMap customer = m_service->customerById(ann);
    QCOMPARE(customer.value(QStringLiteral("name")).toString(), QStringLiteral("Ann"));
    QCOMPARE(customer.value(QStringLiteral("notes")).toString(), QStringLiteral("old"));
    QCOMPARE(customer.value(QStringLiteral("contacts")).toList(), oldContacts);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts")), 1);

    // The connection is usable again afterwards.
    QVERIFY(m_service->createCustomer(QStringLiteral("Bob"), QString(), {}));
}

void TstCustomerService::largePageGetsEveryContact()
{
    // More customers on one page than the contacts of one statement can name.
    QVERIFY(execSql(
        *m_db,
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1100) "
                       "INSERT INTO customers (id, user_id, name) SELECT i, 1, 'c' || i FROM n")));
    QVERIFY(execSql(*m_db, QStringLiteral("INSERT INTO customer_contacts (customer_id, type, value) "
                                          "SELECT id, 'email', 'mail' || id FROM customers")));
    m_service->setPageSize(1100);
    m_service->sort(0, 0);

    QCOMPARE(m_model->rowCount(), 1100);
    for (int row : {0, 499, 500, 999, 1000, 1099}) {
        const int id = m_model->customerIdAt(row);
        QCOMPARE(m_model->emailAt(row), QStringLiteral("mail%1").arg(id));
        QCOMPARE(m_model->contactsAt(row).size(), 1);
    }
}

void TstCustomerService::deleteRemovesContactsAndDetachesTasks()
{
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QString(),
                                      {contact(QStringLiteral("phone"), QStringLiteral("111"))}));
    QVERIFY(m_service->createCustomer(QStringLiteral("Bob"), QString(),
                                      {contact(QStringLiteral("phone"), QStringLiteral("222"))}));
    const int ann = scalar(QStringLiteral("SELECT id FROM customers WHERE name = 'Ann'"));
    const int bob = scalar(QStringLiteral("SELECT id FROM customers WHERE name = 'Bob'"));
    // Tasks of two accounts point at Ann, one at Bob.
    QVERIFY(
        execSql(*m_db, QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (1, %1, 'a'), "
                                      "(99, %1, 'b'), (1, %2, 'c')")
                           .arg(ann)
                           .arg(bob)));
    QSignalSpy tasksChanged(m_service.get(), &CustomerService::tasksChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    QVERIFY(!m_service->deleteCustomer(0));
    QVERIFY(m_service->deleteCustomer(ann));

    QCOMPARE(tasksChanged.size(), 1);
    QCOMPARE(reset.size(), 1);
    QCOMPARE(shownIds(), QList<int>{bob});
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks WHERE customer_id = 0")), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM tasks WHERE customer_id = %1").arg(bob)), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts WHERE customer_id = %1").arg(ann)),
             0);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customer_contacts")), 1);
    QCOMPARE(m_service->customerById(ann), QVariantMap());
}

void TstCustomerService::failedDeleteChangesNothing()
{
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QString(),
                                      {contact(QStringLiteral("phone"), QStringLiteral("111"))}));
    const int ann = scalar(QStringLiteral("SELECT id FROM customers"));
    QVERIFY(execSql(
        *m_db,
        QStringLiteral("INSERT INTO tasks (user_id, customer_id, name) VALUES (1, %1, 'a')").arg(ann)));
    // Detaching the tasks, the last statement of a delete, fails.
    QVERIFY(execSql(*m_db, QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON tasks "
                                          "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QSignalSpy tasksChanged(m_service.get(), &CustomerService::tasksChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    QVERIFY(!m_service->deleteCustomer(ann));

    QCOMPARE(tasksChanged.size(), 0);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(m_service->customerById(ann).value(QStringLiteral("contacts")).toList().size(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT customer_id FROM tasks")), ann);
}

void TstCustomerService::notSignedInDoesNothing()
{
    QVERIFY(m_service->createCustomer(QStringLiteral("Ann"), QString(), {}));
    const int ann = scalar(QStringLiteral("SELECT id FROM customers"));
    m_auth->logout();
    QSignalSpy counts(m_service.get(), &CustomerService::countsChanged);
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);

    m_service->loadPage(1);
    m_service->sort(1, 0);
    QCOMPARE(m_service->customerById(ann), QVariantMap());
    QVERIFY(!m_service->createCustomer(QStringLiteral("Bob"), QString(), {}));
    QVERIFY(!m_service->updateCustomer(ann, QStringLiteral("Anna"), QString(), {}));
    QVERIFY(!m_service->deleteCustomer(ann));

    QCOMPARE(counts.size(), 0);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_service->sortColumn(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM customers WHERE name = 'Ann'")), 1);
}

void TstCustomerService::createdAtShowsTheLocalDate()
{
    // 23:30 UTC on 21 March is already 22 March in Auckland (UTC+13 then).
    addCustomer(QStringLiteral("Late"), QStringLiteral("2026-03-21 23:30:00"));
    m_service->loadPage(1);

    const QDateTime utc(QDate(2026, 3, 21), QTime(23, 30), Qt::UTC);
    const QString expected = utc.toLocalTime().offsetFromUtc() >= 3600 ? QStringLiteral("2026-03-22")
                                                                       : QStringLiteral("2026-03-21");
    QCOMPARE(m_model->data(m_model->index(0, 4)).toString(), expected);
    QCOMPARE(m_model->createAt(0), utc);
}

QTEST_GUILESS_MAIN(TstCustomerService)
#include "tst_customerservice.moc"
