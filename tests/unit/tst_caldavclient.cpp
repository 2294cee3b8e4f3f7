#include "CalDavTestServer.h"

#include "sync/CalDavClient.h"

#include <QNetworkAccessManager>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using Error = CalDavClient::Error;

namespace {

QByteArray todo(const QString &uid, const QString &summary)
{
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Duevia//Test//EN\r\nBEGIN:VTODO\r\n"
               "UID:%1\r\nDTSTAMP:20260101T000000Z\r\nSUMMARY:%2\r\nEND:VTODO\r\nEND:VCALENDAR\r\n")
        .arg(uid, summary)
        .toUtf8();
}

QStringList hrefsOf(const QList<CalDavClient::Resource> &resources)
{
    QStringList hrefs;
    for (const auto &resource : resources)
        hrefs.append(resource.href);
    return hrefs;
}

#define VERIFY_OK(call)                                                                                      \
    do {                                                                                                     \
        const CalDavClient::Status status_ = (call);                                                         \
        QVERIFY2(status_.ok(), qPrintable(status_.text));                                                    \
    } while (false)

} // namespace

class TestCalDavClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void discoverFindsCreatedList();
    void conditionalPut();
    void syncReportsChangesAndRemovals();
    void invalidSyncToken();
    void failures_data();
    void failures();
    void untrustedCertificate();

private:
    QString href(const QString &name) const { return m_list.url.path() + name; }

    CalDavTestServer m_server = calDavTestServer();
    QNetworkAccessManager m_network;
    CalDavClient m_client{&m_network};
    CalDavClient::Collection m_list;
    QByteArray m_etag; // of a.ics after conditionalPut
};

void TestCalDavClient::initTestCase()
{
    if (m_server.url.isEmpty())
        QSKIP("DUEVIA_TEST_CALDAV_STATE names no CalDAV test server");
    // The bare address, without a path: discovery starts at /.well-known/caldav.
    const QString bare = m_server.url.toString(QUrl::StripTrailingSlash);
    m_client.setAccount(CalDavClient::serverUrl(bare), m_server.user, m_server.password);
    m_client.setTimeout(20000);
}

void TestCalDavClient::discoverFindsCreatedList()
{
    QList<CalDavClient::Collection> found;
    CalDavClient::Status status = m_client.discover(found);
    QVERIFY2(status.ok() || status.error == Error::NoTaskList, qPrintable(status.text));
    QVERIFY(m_client.calendarHome().path().startsWith(m_server.principal));

    VERIFY_OK(m_client.makeCalendar(QStringLiteral("Customer tasks"), m_list));
    VERIFY_OK(m_client.discover(found));
    const auto created =
        std::find_if(found.cbegin(), found.cend(),
                     [this](const CalDavClient::Collection &c) { return c.url == m_list.url; });
    QVERIFY(created != found.cend());
    QCOMPARE(created->displayName, QStringLiteral("Customer tasks"));
    QVERIFY(created->holdsTasks);
}

void TestCalDavClient::conditionalPut()
{
    QVERIFY(m_list.url.isValid());
    QByteArray first, ignored;
    VERIFY_OK(m_client.put(href("a.ics"), todo("a", "First"), {}, first));
    QVERIFY(first.startsWith('"') || first.startsWith("W/"));
    QCOMPARE(m_client.put(href("a.ics"), todo("a", "Again"), {}, ignored).error, Error::Precondition);

    VERIFY_OK(m_client.put(href("a.ics"), todo("a", "Second"), first, m_etag));
    QVERIFY(m_etag != first);
    QCOMPARE(m_client.put(href("a.ics"), todo("a", "Stale"), first, ignored).error, Error::Precondition);
    QCOMPARE(m_client.remove(href("a.ics"), first).error, Error::Precondition);

    CalDavClient::Resource resource;
    VERIFY_OK(m_client.get(href("a.ics"), resource));
    QCOMPARE(resource.etag, m_etag);
    QVERIFY(resource.data.contains("SUMMARY:Second\r\n"));
}

void TestCalDavClient::syncReportsChangesAndRemovals()
{
    QVERIFY(!m_etag.isEmpty());
    CalDavClient::Changes all;
    VERIFY_OK(m_client.syncCollection(m_list.url, {}, all));
    QCOMPARE(hrefsOf(all.changed), QStringList{href("a.ics")});
    QCOMPARE(all.changed.first().etag, m_etag);
    QVERIFY(all.removed.isEmpty());
    QVERIFY(!all.syncToken.isEmpty());

    QByteArray etagB;
    VERIFY_OK(m_client.put(href("b.ics"), todo("b", "Other"), {}, etagB));
    VERIFY_OK(m_client.remove(href("a.ics"), m_etag));
    CalDavClient::Changes delta;
    VERIFY_OK(m_client.syncCollection(m_list.url, all.syncToken, delta));
    QCOMPARE(hrefsOf(delta.changed), QStringList{href("b.ics")});
    QCOMPARE(delta.changed.first().etag, etagB);
    QCOMPARE(delta.removed, QStringList{href("a.ics")});
    QVERIFY(delta.syncToken != all.syncToken);

    QList<CalDavClient::Resource> resources;
    VERIFY_OK(m_client.listEtags(m_list.url, resources));
    QCOMPARE(hrefsOf(resources), QStringList{href("b.ics")});
    QCOMPARE(resources.first().etag, etagB);
    VERIFY_OK(m_client.multiget(m_list.url, {href("b.ics"), href("gone.ics")}, resources));
    QCOMPARE(hrefsOf(resources), QStringList{href("b.ics")});
    QCOMPARE(resources.first().etag, etagB);
    // Both servers reorder the properties; the lines keep their CRLF.
    QVERIFY(resources.first().data.contains("\r\nUID:b\r\n"));
    QVERIFY(resources.first().data.contains("\r\nSUMMARY:Other\r\n"));
    VERIFY_OK(m_client.remove(href("b.ics"), etagB));
}

void TestCalDavClient::invalidSyncToken()
{
    QVERIFY(m_list.url.isValid());
    CalDavClient::Changes changes;
    const auto status = m_client.syncCollection(m_list.url, "http://127.0.0.1/unknown-token", changes);
    QCOMPARE(status.error, Error::InvalidSyncToken);
}

void TestCalDavClient::failures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("password");
    QTest::addColumn<Error>("expected");

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString nobody = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();

    QTest::newRow("wrong password") << m_server.url.toString() << "wrong" << Error::Authentication;
    QTest::newRow("nobody listening") << nobody << m_server.password << Error::Network;
    QTest::newRow("plain http elsewhere")
        << "http://example.invalid/" << m_server.password << Error::Insecure;
}

void TestCalDavClient::failures()
{
    QFETCH(QString, url);
    QFETCH(QString, password);
    QFETCH(Error, expected);
    if (expected == Error::Authentication && m_server.name == QLatin1String("xandikos"))
        QSKIP("Xandikos has no authentication");

    CalDavClient client(&m_network);
    client.setAccount(CalDavClient::serverUrl(url), m_server.user, password);
    QList<CalDavClient::Collection> found;
    const auto status = client.discover(found);
    QCOMPARE(status.error, expected);
    QVERIFY(!status.text.isEmpty());
}

// A server whose certificate the system does not trust is refused with the reason, never used.
void TestCalDavClient::untrustedCertificate()
{
    if (m_server.name != QLatin1String("radicale"))
        QSKIP("one server with TLS is enough");
    QTemporaryDir dir;
    QCOMPARE(QProcess::execute("openssl",
                               {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                                "-days", "1", "-keyout", dir.filePath("key"), "-out", dir.filePath("cert")}),
             0);
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcess server;
    server.start("radicale",
                 {"--config", "", "--storage-filesystem-folder", dir.filePath("data"), "--server-hosts",
                  "127.0.0.1:" + port, "--auth-type", "none", "--server-ssl", "True", "--server-certificate",
                  dir.filePath("cert"), "--server-key", dir.filePath("key")});
    const auto listening = [&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
        return socket.waitForConnected(200);
    };
    QTRY_VERIFY_WITH_TIMEOUT(listening(), 10000);
    QNetworkAccessManager network;
    CalDavClient client(&network);
    client.setAccount(QUrl("https://127.0.0.1:" + port + "/"), "anna", "x");
    QList<CalDavClient::Collection> lists;
    const CalDavClient::Status status = client.discover(lists);
    QCOMPARE(status.error, CalDavClient::Error::Tls);
    QVERIFY(!status.text.isEmpty());
    server.kill();
    server.waitForFinished();
}

QTEST_GUILESS_MAIN(TestCalDavClient)
#include "tst_caldavclient.moc"
