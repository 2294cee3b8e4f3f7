#include "TestSupport.h"

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
    void storedAccountAndExactSignIn();
    void signalsComeInOrder();
    void unknownNameTakesAsLongAsWrongPassword();
    void refusedWithoutOpenDatabase();

private:
    QVariant stored(const QString &username, const QString &column) const;

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

QVariant TstAuthService::stored(const QString &username, const QString &column) const
{
    QSqlQuery query(m_db->database());
    query.prepare(QStringLiteral("SELECT %1 FROM users WHERE username = :u").arg(column));
    query.bindValue(QStringLiteral(":u"), username);
    return query.exec() && query.next() ? query.value(0) : QVariant();
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
    QTest::newRow("stored password hash") << QByteArray("password") << QByteArray("salt") << 100000
                                          << QByteArray("0394a2ede332c9a13eb82e9b24631604"
                                                        "c31df978b4e2f0fbd2c549944f9d79a5");
}

void TstAuthService::deriveKeyMatchesPbkdf2Vectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, expectedHex);

    QCOMPARE(AuthService::deriveKey(password, salt, iterations, int(expectedHex.size() / 2)).toHex(),
             expectedHex);
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
    QCOMPARE(m_auth->login(username, password), accepted);
}

void TstAuthService::storedAccountAndExactSignIn()
{
    const QString bob = QStringLiteral("bob");
    QVERIFY(m_auth->registerUser(QStringLiteral("  bob  "), QStringLiteral(" pass word "),
                                 QStringLiteral(" Bob S ")));
    QCOMPARE(stored(bob, QStringLiteral("name")).toString(), QStringLiteral("Bob S"));
    const QByteArray salt = stored(bob, QStringLiteral("salt")).toByteArray();
    const QByteArray hash = stored(bob, QStringLiteral("password_hash")).toByteArray();
    QCOMPARE(salt.size(), 32);
    QCOMPARE(hash, AuthService::deriveKey(" pass word ", salt));

    // A taken name is refused and the stored account stays as it was.
    QVERIFY(!m_auth->registerUser(bob, QStringLiteral("other-password"), QStringLiteral("Other")));
    QCOMPARE(stored(bob, QStringLiteral("password_hash")).toByteArray(), hash);
    // Same password, another account: a fresh salt and so another hash. Names are case-sensitive.
    QVERIFY(m_auth->registerUser(QStringLiteral("Bob"), QStringLiteral(" pass word "),
                                 QStringLiteral("Bob Two")));
    QVERIFY(stored(QStringLiteral("Bob"), QStringLiteral("salt")).toByteArray() != salt);
    QVERIFY(stored(QStringLiteral("Bob"), QStringLiteral("password_hash")).toByteArray() != hash);

    QVERIFY(!m_auth->login(QStringLiteral("  bob  "), QStringLiteral(" pass word ")));
    QVERIFY(!m_auth->login(bob, QStringLiteral("pass word")));
    QVERIFY(m_auth->login(bob, QStringLiteral(" pass word ")));
    QCOMPARE(m_auth->userName(), QStringLiteral("Bob S"));
    const int bobId = m_auth->userId();

    // A failed attempt leaves the signed-in user as it was; an inactive account cannot sign in.
    QVERIFY(!m_auth->login(bob, QStringLiteral("wrong password")));
    QVERIFY(m_auth->loggedIn());
    QCOMPARE(m_auth->userId(), bobId);
    QVERIFY(execSql(*m_db, QStringLiteral("UPDATE users SET active = 0 WHERE username = 'Bob'")));
    QVERIFY(!m_auth->login(QStringLiteral("Bob"), QStringLiteral(" pass word ")));
    QCOMPARE(m_auth->userId(), bobId);
}

void TstAuthService::signalsComeInOrder()
{
    QStringList order;
    connect(m_auth.get(), &AuthService::loggedInChanged, this, [&] { order << QStringLiteral("loggedIn"); });
    connect(m_auth.get(), &AuthService::userIdChanged, this, [&] { order << QStringLiteral("userId"); });
    connect(m_auth.get(), &AuthService::userNameChanged, this, [&] { order << QStringLiteral("userName"); });
    connect(m_auth.get(), &AuthService::loggedOut, this, [&] { order << QStringLiteral("loggedOut"); });

    QVERIFY(signInTestUser(*m_auth, QStringLiteral("fred")) > 0);
    QCOMPARE(order, QStringList({"loggedIn", "userId", "userName"}));

    for (int round = 0; round < 2; ++round) { // also while nobody is signed in
        order.clear();
        m_auth->logout();
        QCOMPARE(order, QStringList({"loggedIn", "userId", "userName", "loggedOut"}));
        QVERIFY(!m_auth->loggedIn());
        QCOMPARE(m_auth->userId(), -1);
        QCOMPARE(m_auth->userName(), QString());
    }
}

// A ratio, not a time: the machine's speed and load cancel out.
void TstAuthService::unknownNameTakesAsLongAsWrongPassword()
{
    QVERIFY(m_auth->registerUser("known", "password123", "Known"));
    qint64 elapsed[2] = {0, 0}; // unknown name, wrong password
    QElapsedTimer timer;
    for (int attempt = 0; attempt < 40; ++attempt) {
        timer.start();
        QVERIFY(!m_auth->login(attempt % 2 ? "known" : "nobody", "password124"));
        elapsed[attempt % 2] += timer.nsecsElapsed();
    }
    qInfo("unknown name / wrong password: %.3f", double(elapsed[0]) / double(elapsed[1]));
    QVERIFY(2 * elapsed[0] >= elapsed[1]);
}

void TstAuthService::refusedWithoutOpenDatabase()
{
    DbManager closed;
    for (DbManager *db : {static_cast<DbManager *>(nullptr), &closed}) {
        AuthService auth(db);
        QVERIFY(
            !auth.registerUser(QStringLiteral("hank"), QStringLiteral("password1"), QStringLiteral("Hank")));
        QVERIFY(!auth.login(QStringLiteral("hank"), QStringLiteral("password1")));
    }
}

QTEST_GUILESS_MAIN(TstAuthService)
#include "tst_authservice.moc"
