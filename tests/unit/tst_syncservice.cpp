#include "CalDavTestServer.h"
#include "TestSupport.h"

#include "sync/SyncService.h"
#include "sync/SyncStore.h"

#include <QSignalSpy>
#include <QUuid>

// The service's timing and its words, on the real server; the passes themselves are the engine's test.
class SyncServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_sandbox = std::make_unique<TestSandbox>();
        QVERIFY(m_sandbox->openDatabase(m_db));
        signInTestUser(m_auth, QStringLiteral("anna"));
        m_service = std::make_unique<SyncService>(&m_db, &m_auth, nullptr);
        m_service->setDelays(50, 60000, 200);
        m_service->setRequestTimeout(5000);
        m_server = calDavTestServer();
    }
    void cleanup()
    {
        m_service.reset();
        m_db.close();
    }

    void connectsAndSyncsAfterChanges()
    {
        m_service->findLists(m_server.url.toString(), m_server.user, m_server.password);
        QTRY_VERIFY(!m_service->busy());
        QVERIFY2(m_service->error().isEmpty(), qPrintable(m_service->error()));
        QSignalSpy connected(m_service.get(), &SyncService::connectFinished);
        m_service->connectAccount(m_server.url.toString(), m_server.user, m_server.password, QString(),
                                  QUuid::createUuid().toString());
        QTRY_COMPARE(connected.size(), 1);
        QVERIFY(connected.first().at(0).toBool());
        QVERIFY(m_service->configured());
        QTRY_VERIFY(m_service->lastSync().isValid());
        QVERIFY(m_service->status().startsWith(QLatin1String("Last synced")));

        // A local change is sent a moment later without being asked.
        SyncStore store(m_db.database(), m_auth.userId());
        QVERIFY(execSql(
            m_db,
            QStringLiteral("INSERT INTO tasks (user_id, name) VALUES (%1, 'Call')").arg(m_auth.userId())));
        QCOMPARE(store.dirtyCount(), 1);
        m_service->onLocalChange();
        QTRY_COMPARE(store.dirtyCount(), 0);
        QVERIFY(m_service->error().isEmpty());
    }

    void failuresInWords_data()
    {
        QTest::addColumn<bool>("wrongPassword");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("retries");
        QTest::newRow("unreachable") << false << "network" << true;
        QTest::newRow("wrong password") << true << "auth" << false;
    }
    void failuresInWords()
    {
        QFETCH(bool, wrongPassword);
        QFETCH(QString, kind);
        QFETCH(bool, retries);
        if (wrongPassword && m_server.name != QLatin1String("radicale"))
            QSKIP("this server runs without accounts");
        const QString server =
            wrongPassword ? m_server.url.toString() : QStringLiteral("http://127.0.0.1:9/");
        QVERIFY(
            SyncStore(m_db.database(), m_auth.userId())
                .saveAccount({server, m_server.user, server + "anna/x/", QStringLiteral("Tasks"), {}, {}}));
        m_service->disconnectAccount();
        m_service->connectAccount(server, m_server.user, QStringLiteral("wrong"), server + "anna/x/",
                                  QStringLiteral("Tasks"));
        QTRY_VERIFY(!m_service->errorKind().isEmpty());
        QCOMPARE(m_service->errorKind(), kind);
        QVERIFY(m_service->status().contains(QLatin1String("Not synced")));
        QCOMPARE(m_service->status().contains(QLatin1String("Trying again")), retries);
    }

private:
    std::unique_ptr<TestSandbox> m_sandbox;
    DbManager m_db;
    AuthService m_auth{&m_db};
    std::unique_ptr<SyncService> m_service;
    CalDavTestServer m_server;
};

QTEST_GUILESS_MAIN(SyncServiceTest)
#include "tst_syncservice.moc"
