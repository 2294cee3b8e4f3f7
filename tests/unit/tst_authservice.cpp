#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TstAuthService : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;

    QVariant stored(const QString &column) const
    {
        return queryValue(*m_db, u"SELECT %1 FROM users WHERE username = 'bob'"_s.arg(column));
    }

private slots:
    void init()
    {
        m_auth.reset(), m_db.reset();
        m_sandbox = std::make_unique<TestSandbox>();
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db));
        m_auth = std::make_unique<AuthService>(m_db.get());
    }

    void deriveKeyMatchesPbkdf2()
    {
        QCOMPARE(AuthService::deriveKey("password", "salt").toHex(),
                 QByteArray("0394a2ede332c9a13eb82e9b24631604c31df978b4e2f0fbd2c549944f9d79a5"));
    }

    void registrationRules_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<bool>("accepted");
        const auto row = [](const char *name, const char *user, const char *password, const char *full,
                            bool accepted) {
            QTest::newRow(name) << user << password << full << accepted;
        };
        row("eight characters", "anna", "12345678", "Anna", true);
        row("seven characters", "anna", "1234567", "Anna", false);
        row("blank username", "   ", "12345678", "Anna", false);
        row("blank full name", "anna", "12345678", "  \t", false);
    }

    void registrationRules()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(QString, fullName);
        QFETCH(bool, accepted);
        QCOMPARE(m_auth->registerUser(username, password, fullName), accepted);
        QCOMPARE(m_auth->login(username, password), accepted);
    }

    // Names are trimmed, passwords are not; a taken name is refused; a failed or inactive sign-in
    // leaves the signed-in user as it was.
    void storedAccountAndExactSignIn()
    {
        QVERIFY(m_auth->registerUser(u"  bob  "_s, u" pass word "_s, u" Bob S "_s));
        QCOMPARE(stored(u"name"_s).toString(), u"Bob S"_s);
        const QByteArray hash = stored(u"password_hash"_s).toByteArray();
        QCOMPARE(hash, AuthService::deriveKey(" pass word ", stored(u"salt"_s).toByteArray()));
        QVERIFY(!m_auth->registerUser(u"bob"_s, u"other-password"_s, u"O"_s));
        QCOMPARE(stored(u"password_hash"_s).toByteArray(), hash);
        QVERIFY(!m_auth->login(u"bob"_s, u"pass word"_s));
        QVERIFY(m_auth->login(u"bob"_s, u" pass word "_s));
        QCOMPARE(m_auth->userName(), u"Bob S"_s);
        const int bobId = m_auth->userId();
        QVERIFY(!m_auth->login(u"bob"_s, u"wrong password"_s));
        QVERIFY(execSql(*m_db, u"UPDATE users SET active = 0"_s));
        QVERIFY(!m_auth->login(u"bob"_s, u" pass word "_s));
        QVERIFY(m_auth->loggedIn());
        QCOMPARE(m_auth->userId(), bobId);
    }

    void signalsComeInOrder()
    {
        QStringList order;
        connect(m_auth.get(), &AuthService::loggedInChanged, this, [&] { order << u"loggedIn"_s; });
        connect(m_auth.get(), &AuthService::userIdChanged, this, [&] { order << u"userId"_s; });
        connect(m_auth.get(), &AuthService::userNameChanged, this, [&] { order << u"userName"_s; });
        connect(m_auth.get(), &AuthService::loggedOut, this, [&] { order << u"loggedOut"_s; });
        QVERIFY(signInTestUser(*m_auth, u"fred"_s) > 0);
        m_auth->logout();
        QCOMPARE(order.join(' '), u"loggedIn userId userName loggedIn userId userName loggedOut"_s);
        QCOMPARE(m_auth->userId(), -1);
    }
};

QTEST_GUILESS_MAIN(TstAuthService)
#include "tst_authservice.moc"
