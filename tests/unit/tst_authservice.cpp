#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <tuple>

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

    // At least eight characters of password, a name and a full name that are not blank.
    void registrationRules()
    {
        for (const auto &[user, password, full, accepted] :
             {std::tuple{"anna", "1234567", "Anna", false}, std::tuple{"   ", "12345678", "Anna", false},
              std::tuple{"anna", "12345678", "  \t", false}, std::tuple{"anna", "12345678", "Anna", true}}) {
            QCOMPARE(m_auth->registerUser(user, password, full), accepted);
            QCOMPARE(m_auth->login(user, password), accepted);
        }
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

    // A ratio, not a time: the machine's speed and load cancel out.
    void unknownNameTakesAsLongAsWrongPassword()
    {
        QVERIFY(m_auth->registerUser("known", "password123", "Known"));
        qint64 elapsed[2] = {0, 0}; // unknown name, wrong password
        QElapsedTimer timer;
        for (int attempt = 0; attempt < 40; ++attempt) {
            timer.start();
            QVERIFY(!m_auth->login(attempt % 2 ? "known" : "nobody", "password124"));
            elapsed[attempt % 2] += timer.nsecsElapsed();
        }
        QVERIFY(2 * elapsed[0] >= elapsed[1]);
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
