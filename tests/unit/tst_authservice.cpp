#include "TestSupport.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

class TstAuthService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deriveKeyMatchesPbkdf2Vectors_data();
    void deriveKeyMatchesPbkdf2Vectors();
    void registrationRules_data();
    void registrationRules();
    void namesAreStoredTrimmed();
    void duplicateNameIsRefusedAndLeftUntouched();
    void saltsDifferPerRegistration();
    void loginChecksPasswordExactly();
    void inactiveAccountCannotSignIn();
    void signalsComeInOrder();
    void failedLoginKeepsCurrentUser();
    void refusesWithoutOpenDatabase();

private:
    QByteArray storedColumn(const QString &username, const QString &column);

    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;
};

void TstAuthService::init()
{
    m_sandbox = std::make_unique<TestSandbox>();
    m_db = std::make_unique<DbManager>();
    QVERIFY(m_sandbox->openDatabase(*m_db));
    m_auth = std::make_unique<AuthService>(m_db.get());
}

void TstAuthService::cleanup()
{
    m_auth.reset();
    m_db.reset();
    m_sandbox.reset();
}

QByteArray TstAuthService::storedColumn(const QString &username, const QString &column)
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral("SELECT %1 FROM users WHERE username = :u").arg(column));
    query.bindValue(QStringLiteral(":u"), username);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0).toByteArray();
}

void TstAuthService::deriveKeyMatchesPbkdf2Vectors_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("expectedHex");

    QTest::newRow("rfc7914 one iteration")
        << QByteArray("passwd") << QByteArray("salt") << 1
        << QByteArray("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                      "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    QTest::newRow("rfc7914 80000 iterations")
        << QByteArray("Password") << QByteArray("NaCl") << 80000
        << QByteArray("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
                      "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
    QTest::newRow("stored password hash")
        << QByteArray("password") << QByteArray("salt") << 100000
        << QByteArray("0394a2ede332c9a13eb82e9b24631604c31df978b4e2f0fbd2c549944f9d79a5");
}

void TstAuthService::deriveKeyMatchesPbkdf2Vectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, expectedHex);

    const QByteArray expected = QByteArray::fromHex(expectedHex);
    QCOMPARE(AuthService::deriveKey(password, salt, iterations, int(expected.size())).toHex(), expectedHex);
}

void TstAuthService::registrationRules_data()
{
    QTest::addColumn<QString>("username");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("eight characters") << "anna"
                                      << "12345678"
                                      << "Anna" << true;
    QTest::newRow("seven characters") << "anna"
                                      << "1234567"
                                      << "Anna" << false;
    QTest::newRow("eight blanks") << "anna"
                                  << "        "
                                  << "Anna" << true;
    QTest::newRow("blank username") << "   "
                                    << "12345678"
                                    << "Anna" << false;
    QTest::newRow("blank full name") << "anna"
                                     << "12345678"
                                     << "  \t" << false;
}

void TstAuthService::registrationRules()
{
    QFETCH(QString, username);
    QFETCH(QString, password);
    QFETCH(QString, fullName);
    QFETCH(bool, accepted);

    QCOMPARE(m_auth->registerUser(username, password, fullName), accepted);
    if (accepted)
        QVERIFY(m_auth->login(username, password));
}

void TstAuthService::namesAreStoredTrimmed()
{
    QVERIFY(m_auth->registerUser(QStringLiteral("  bob  "), QStringLiteral("secret12"),
                                 QStringLiteral("  Bob Smith ")));
    QCOMPARE(storedColumn(QStringLiteral("bob"), QStringLiteral("name")), QByteArray("Bob Smith"));

    QVERIFY(!m_auth->login(QStringLiteral("  bob  "), QStringLiteral("secret12")));
    QVERIFY(!m_auth->login(QStringLiteral("Bob"), QStringLiteral("secret12")));
    QVERIFY(m_auth->login(QStringLiteral("bob"), QStringLiteral("secret12")));
    QCOMPARE(m_auth->userName(), QStringLiteral("Bob Smith"));
}

void TstAuthService::duplicateNameIsRefusedAndLeftUntouched()
{
    QVERIFY(
        m_auth->registerUser(QStringLiteral("carol"), QStringLiteral("first-pass"), QStringLiteral("Carol")));
    const QByteArray hash = storedColumn(QStringLiteral("carol"), QStringLiteral("password_hash"));

    QVERIFY(!m_auth->registerUser(QStringLiteral(" carol "), QStringLiteral("second-pass"),
                                  QStringLiteral("Other")));
    QCOMPARE(storedColumn(QStringLiteral("carol"), QStringLiteral("password_hash")), hash);
    QCOMPARE(storedColumn(QStringLiteral("carol"), QStringLiteral("name")), QByteArray("Carol"));
    QVERIFY(m_auth->login(QStringLiteral("carol"), QStringLiteral("first-pass")));

    // Names differing only in letter case are distinct accounts.
    QVERIFY(m_auth->registerUser(QStringLiteral("Carol"), QStringLiteral("second-pass"),
                                 QStringLiteral("Other")));
}

void TstAuthService::saltsDifferPerRegistration()
{
    QVERIFY(
        m_auth->registerUser(QStringLiteral("u1"), QStringLiteral("same-password"), QStringLiteral("One")));
    QVERIFY(
        m_auth->registerUser(QStringLiteral("u2"), QStringLiteral("same-password"), QStringLiteral("Two")));

    const QByteArray salt1 = storedColumn(QStringLiteral("u1"), QStringLiteral("salt"));
    const QByteArray salt2 = storedColumn(QStringLiteral("u2"), QStringLiteral("salt"));
    QCOMPARE(salt1.size(), 32);
    QCOMPARE(storedColumn(QStringLiteral("u1"), QStringLiteral("password_hash")).size(), 32);
    QVERIFY(salt1 != salt2);
    QVERIFY(storedColumn(QStringLiteral("u1"), QStringLiteral("password_hash")) !=
            storedColumn(QStringLiteral("u2"), QStringLiteral("password_hash")));
}

void TstAuthService::loginChecksPasswordExactly()
{
    QVERIFY(m_auth->registerUser(QStringLiteral("dora"), QStringLiteral(" padded pass "),
                                 QStringLiteral("Dora")));
    QVERIFY(!m_auth->login(QStringLiteral("dora"), QStringLiteral("padded pass")));
    QVERIFY(!m_auth->login(QStringLiteral("nobody"), QStringLiteral(" padded pass ")));
    QVERIFY(!m_auth->login(QString(), QString()));
    QVERIFY(m_auth->login(QStringLiteral("dora"), QStringLiteral(" padded pass ")));
}

void TstAuthService::inactiveAccountCannotSignIn()
{
    QVERIFY(m_auth->registerUser(QStringLiteral("eve"), QStringLiteral("password1"), QStringLiteral("Eve")));
    QVERIFY(execSql(*m_db, QStringLiteral("UPDATE users SET active = 0 WHERE username = 'eve'")));
    QVERIFY(!m_auth->login(QStringLiteral("eve"), QStringLiteral("password1")));
    QVERIFY(!m_auth->loggedIn());
}

void TstAuthService::signalsComeInOrder()
{
    QVERIFY(
        m_auth->registerUser(QStringLiteral("fred"), QStringLiteral("password1"), QStringLiteral("Fred F")));

    QStringList order;
    connect(m_auth.get(), &AuthService::loggedInChanged, this, [&] { order << QStringLiteral("loggedIn"); });
    connect(m_auth.get(), &AuthService::userIdChanged, this, [&] { order << QStringLiteral("userId"); });
    connect(m_auth.get(), &AuthService::userNameChanged, this, [&] { order << QStringLiteral("userName"); });
    connect(m_auth.get(), &AuthService::loggedOut, this, [&] { order << QStringLiteral("loggedOut"); });

    QVERIFY(m_auth->login(QStringLiteral("fred"), QStringLiteral("password1")));
    QCOMPARE(order, QStringList({"loggedIn", "userId", "userName"}));
    QVERIFY(m_auth->loggedIn());
    QVERIFY(m_auth->userId() > 0);
    QCOMPARE(m_auth->userName(), QStringLiteral("Fred F"));

    order.clear();
    m_auth->logout();
    QCOMPARE(order, QStringList({"loggedIn", "userId", "userName", "loggedOut"}));
    QVERIFY(!m_auth->loggedIn());
    QCOMPARE(m_auth->userId(), -1);
    QCOMPARE(m_auth->userName(), QString());

    // Signing out while nobody is signed in still announces everything.
    order.clear();
    m_auth->logout();
    QCOMPARE(order, QStringList({"loggedIn", "userId", "userName", "loggedOut"}));
}

void TstAuthService::failedLoginKeepsCurrentUser()
{
    const int id = signInTestUser(*m_auth, QStringLiteral("gina"));
    QVERIFY(id > 0);
    QSignalSpy changes(m_auth.get(), &AuthService::userIdChanged);

    QVERIFY(!m_auth->login(QStringLiteral("gina"), QStringLiteral("wrong password")));
    QVERIFY(m_auth->loggedIn());
    QCOMPARE(m_auth->userId(), id);
    QCOMPARE(changes.count(), 0);
}

void TstAuthService::refusesWithoutOpenDatabase()
{
    AuthService withoutDb(nullptr);
    QVERIFY(
        !withoutDb.registerUser(QStringLiteral("hank"), QStringLiteral("password1"), QStringLiteral("Hank")));
    QVERIFY(!withoutDb.login(QStringLiteral("hank"), QStringLiteral("password1")));

    DbManager closed;
    AuthService withClosedDb(&closed);
    QVERIFY(!withClosedDb.registerUser(QStringLiteral("hank"), QStringLiteral("password1"),
                                       QStringLiteral("Hank")));
}

QTEST_GUILESS_MAIN(TstAuthService)
#include "tst_authservice.moc"
