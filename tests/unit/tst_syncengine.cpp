#include "CalDavTestServer.h"
#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/TaskService.h"
#include "sync/CalDavClient.h"
#include "sync/SyncEngine.h"
#include "sync/SyncStore.h"
#include "sync/VTodoText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QUuid>

namespace {

bool isRadicale()
{
    return calDavTestServer().name == QLatin1String("radicale");
}

// One computer's worth of Duevia: its own database and a signed-in user.
struct Device
{
    explicit Device(const QString &name) : db(name)
    {
        sandbox.openDatabase(db);
        userId = signInTestUser(auth, QStringLiteral("anna"));
    }
    TestSandbox sandbox;
    DbManager db;
    AuthService auth{&db};
    TaskTableModel model;
    TaskService tasks{&db, &auth, &model};
    int userId = -1;

    SyncStore store() { return SyncStore(db.database(), userId); }
    qint64 taskNamed(const QString &name)
    {
        return queryValue(db, QStringLiteral("SELECT id FROM tasks WHERE name = '%1'").arg(name))
            .toLongLong();
    }
};

// The other device: python3-caldav on the same list, one command per line.
class Peer
{
public:
    Peer(const QString &server, const QString &user, const QString &password, const QString &collection)
    {
        m_process.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(DUEVIA_TEST_SUPPORT_DIR "/caldav_peer.py"), server, user, password, collection});
    }
    ~Peer()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished();
    }
    QJsonObject run(const QJsonObject &command)
    {
        m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
        }
        const QByteArray line = m_process.readLine();
        if (line.isEmpty())
            qWarning().noquote() << m_process.readAllStandardError();
        return QJsonDocument::fromJson(line).object();
    }
    QMap<QString, VTodoText::Parsed> tasks()
    {
        QMap<QString, VTodoText::Parsed> parsed;
        const QJsonObject all = run({{"op", "list"}});
        for (auto it = all.begin(); it != all.end(); ++it)
            parsed.insert(it.key(),
                          VTodoText::parse(it.value().toObject().value("data").toString().toUtf8()));
        return parsed;
    }
    QByteArray text(const QString &uid)
    {
        return run({{"op", "list"}}).value(uid).toObject().value("data").toString().toUtf8();
    }

private:
    QProcess m_process;
};

// The lines another program added, as the server holds them.
QByteArrayList foreignLines(const QByteArray &text)
{
    QByteArrayList lines;
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith("CATEGORIES") || line.startsWith("RELATED-TO") || line.startsWith("X-OTHER") ||
            line.startsWith("TRIGGER") || line.startsWith(" "))
            lines.append(line);
    }
    return lines;
}

} // namespace

class SyncEngineTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void twoWay();
    void mergesEditsOfBothSides();
    void preconditionFailureMerges();
    void withoutSyncToken();
    void wrongPassword();
    void serverStoppedAndLargeFirstSync();
    void randomizedEdits();

private:
    // A fresh list on the shared server and an account for the device on it.
    void connect(Device &device);
    // onProgress sees every step of the pass, on this thread, while the pass waits.
    QVariantMap sync(Device &device,
                     const std::function<void(SyncEngine &, const QString &, int)> &onProgress = {});
    Peer peer() { return Peer(m_server, m_user, m_password, m_collection); }

    QString m_server;
    QString m_user;
    QString m_password;
    QString m_collection;
};

void SyncEngineTest::init()
{
    const CalDavTestServer server = calDavTestServer();
    // The bare address, as a user would type it.
    m_server = server.url.toString();
    m_user = server.user;
    m_password = server.password;
    QVERIFY2(!m_server.isEmpty(), "no CalDAV test server");
    QNetworkAccessManager network;
    CalDavClient client(&network);
    client.setAccount(CalDavClient::serverUrl(m_server), m_user, m_password);
    QList<CalDavClient::Collection> lists;
    const CalDavClient::Status found = client.discover(lists);
    QVERIFY2(found.ok() || found.error == CalDavClient::Error::NoTaskList, qPrintable(found.text));
    CalDavClient::Collection created;
    QVERIFY(client.makeCalendar(QStringLiteral("List %1").arg(QUuid::createUuid().toString()), created).ok());
    m_collection = created.url.toString();
}

void SyncEngineTest::connect(Device &device)
{
    QVERIFY(device.store().saveAccount({m_server, m_user, m_collection, QStringLiteral("Tasks"), {}, {}}));
}

QVariantMap SyncEngineTest::sync(Device &device,
                                 const std::function<void(SyncEngine &, const QString &, int)> &onProgress)
{
    // A server reads 10,000 resources it has never seen for a long time before it answers.
    SyncEngine engine({SyncEngine::Operation::Sync,
                       device.db.target(),
                       device.userId,
                       m_server,
                       m_user,
                       m_password,
                       {},
                       120000});
    if (onProgress)
        QObject::connect(&engine, &SyncEngine::progressChanged, &engine,
                         [&](const QString &phase, int done) { onProgress(engine, phase, done); });
    return engine.execute();
}

void SyncEngineTest::twoWay()
{
    Device anna(QStringLiteral("anna"));
    connect(anna);
    const QDateTime due = QDateTime::currentDateTimeUtc().addDays(2);
    QVERIFY(anna.tasks.createTask(QStringLiteral("Call Acme"), due, false, 30));
    QCOMPARE(sync(anna).value("error").toString(), QString());

    Peer other = peer();
    QMap<QString, VTodoText::Parsed> seen = other.tasks();
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen.first().fields.name, QStringLiteral("Call Acme"));
    QCOMPARE(seen.first().fields.level, 30);
    const QString annasUid = seen.firstKey();

    other.run({{"op", "create"}, {"uid", "peer-1"}, {"summary", "Send offer"}});
    other.run({{"op", "complete"}, {"uid", annasUid}});
    QCOMPARE(sync(anna).value("pulled").toInt(), 2);
    const qint64 offer = anna.taskNamed(QStringLiteral("Send offer"));
    QVERIFY(offer > 0);
    QCOMPARE(anna.store().task(anna.taskNamed(QStringLiteral("Call Acme")))->done, true);

    // Each side changes another property of the same task: both changes stay, and so does
    // everything of the other program.
    const QByteArrayList extras = foreignLines(other.text("peer-1"));
    QVERIFY(extras.size() >= 4);
    other.run({{"op", "set"}, {"uid", "peer-1"}, {"prop", "DESCRIPTION"}, {"value", "Price list attached"}});
    QVERIFY(anna.tasks.updateTask(offer, QStringLiteral("Send offer to Acme"), false, due, 60));
    QCOMPARE(sync(anna).value("error").toString(), QString());
    const QByteArray merged = other.text("peer-1");
    const VTodoText::Parsed parsed = VTodoText::parse(merged);
    QCOMPARE(parsed.fields.name, QStringLiteral("Send offer to Acme"));
    QCOMPARE(parsed.fields.notes, QStringLiteral("Price list attached"));
    QCOMPARE(anna.store().task(offer)->notes, QStringLiteral("Price list attached"));
    QCOMPARE(foreignLines(merged), extras);
    QVERIFY(anna.store().notice(offer).isEmpty());

    // Deletes travel both ways; a pass with nothing to do changes nothing.
    other.run({{"op", "delete"}, {"uid", annasUid}});
    QVERIFY(anna.tasks.deleteTask(offer));
    const QVariantMap result = sync(anna);
    QCOMPARE(result.value("deleted").toInt(), 1);
    QCOMPARE(queryValue(anna.db, "SELECT COUNT(*) FROM tasks").toInt(), 0);
    QVERIFY(other.tasks().isEmpty());
    const QVariantMap idle = sync(anna);
    QCOMPARE(idle.value("pulled").toInt() + idle.value("pushed").toInt(), 0);
}

void SyncEngineTest::mergesEditsOfBothSides()
{
    Device anna(QStringLiteral("anna"));
    connect(anna);
    Peer other = peer();
    other.run({{"op", "create"}, {"uid", "same"}, {"summary", "Quote"}});
    other.run({{"op", "create"}, {"uid", "gone"}, {"summary", "Visit"}});
    QCOMPARE(sync(anna).value("pulled").toInt(), 2);
    const qint64 quote = anna.taskNamed(QStringLiteral("Quote"));
    const qint64 visit = anna.taskNamed(QStringLiteral("Visit"));

    // The same property on both sides: the later change wins and the other is named.
    QVERIFY(anna.tasks.updateTask(quote, QStringLiteral("Quote for Anna"), false, {}, 1));
    other.run({{"op", "set"},
               {"uid", "same"},
               {"prop", "SUMMARY"},
               {"value", "Quote for Ben"},
               {"stamp", "20991231T000000Z"}});
    // Deleted here, changed there: kept, with a notice.
    QVERIFY(anna.tasks.deleteTask(visit));
    other.run({{"op", "set"}, {"uid", "gone"}, {"prop", "DESCRIPTION"}, {"value", "Bring samples"}});
    QCOMPARE(sync(anna).value("error").toString(), QString());

    QCOMPARE(anna.store().task(quote)->name, QStringLiteral("Quote for Ben"));
    QVERIFY(anna.store().notice(quote).contains(QStringLiteral("Quote for Anna")));
    const qint64 kept = anna.taskNamed(QStringLiteral("Visit"));
    QVERIFY(kept > 0);
    QCOMPARE(anna.store().task(kept)->notes, QStringLiteral("Bring samples"));
    QVERIFY(!anna.store().notice(kept).isEmpty());
    QCOMPARE(other.tasks().size(), 2);
}

void SyncEngineTest::preconditionFailureMerges()
{
    Device anna(QStringLiteral("anna"));
    connect(anna);
    QVERIFY(anna.tasks.createTask(QStringLiteral("Invoice"), QDateTime::currentDateTimeUtc(), false, 10));
    QCOMPARE(sync(anna).value("error").toString(), QString());
    Peer other = peer();
    const QString uid = other.tasks().firstKey();
    const qint64 id = anna.taskNamed(QStringLiteral("Invoice"));

    // The other device writes between this pass's look at the server and its PUT.
    QVERIFY(anna.tasks.updateTaskDone(id, true));
    bool written = false;
    const QVariantMap result = sync(anna, [&](SyncEngine &, const QString &phase, int) {
        if (phase.startsWith(QLatin1String("Sending changes")) && !std::exchange(written, true))
            other.run({{"op", "set"}, {"uid", uid}, {"prop", "DESCRIPTION"}, {"value", "Paid by card"}});
    });
    QCOMPARE(result.value("error").toString(), QString());
    const VTodoText::Parsed parsed = other.tasks().value(uid);
    QVERIFY(parsed.fields.done);
    QCOMPARE(parsed.fields.notes, QStringLiteral("Paid by card"));
    QCOMPARE(anna.store().task(id)->notes, QStringLiteral("Paid by card"));
    QCOMPARE(anna.store().dirtyCount(), 0);
}

void SyncEngineTest::withoutSyncToken()
{
    Device anna(QStringLiteral("anna"));
    connect(anna);
    Peer other = peer();
    other.run({{"op", "create"}, {"uid", "a"}, {"summary", "First"}});
    QCOMPARE(sync(anna).value("pulled").toInt(), 1);
    // A token the server does not know: every ETag is compared instead, and only changes fetched.
    QVERIFY(anna.store().setSyncToken("http://example.invalid/sync/unknown"));
    other.run({{"op", "create"}, {"uid", "b"}, {"summary", "Second"}});
    other.run({{"op", "delete"}, {"uid", "a"}});
    const QVariantMap result = sync(anna);
    QCOMPARE(result.value("error").toString(), QString());
    QCOMPARE(result.value("pulled").toInt(), 2);
    QCOMPARE(queryValue(anna.db, "SELECT group_concat(name) FROM tasks").toString(),
             QStringLiteral("Second"));
}

void SyncEngineTest::wrongPassword()
{
    if (!isRadicale())
        QSKIP("this server runs without accounts");
    Device anna(QStringLiteral("anna"));
    connect(anna);
    QVERIFY(anna.tasks.createTask(QStringLiteral("Kept"), {}, false, 1));
    SyncEngine engine({SyncEngine::Operation::Sync,
                       anna.db.target(),
                       anna.userId,
                       m_server,
                       m_user,
                       QStringLiteral("wrong"),
                       {},
                       10000});
    QCOMPARE(engine.execute().value("error").toString(), QStringLiteral("auth"));
    QCOMPARE(anna.store().dirtyCount(), 1);
}

// A private server of the same kind, stopped and started on the same port and storage.
class PrivateServer
{
public:
    explicit PrivateServer(const QString &folder) : m_folder(folder)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
    }
    ~PrivateServer() { stop(); }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    QString collection() const { return url() + (isRadicale() ? "anna/big/" : "user/calendars/big/"); }
    bool start()
    {
        const QString port = QString::number(m_port);
        if (isRadicale())
            m_process.start("radicale", {"--storage-filesystem-folder", m_folder, "--server-hosts",
                                         "127.0.0.1:" + port, "--auth-type", "none"});
        else
            m_process.start("xandikos",
                            {"--defaults", "-d", m_folder, "--port", port, "--listen-address", "127.0.0.1"});
        for (int i = 0; i < 100; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(100))
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Writes tasks straight into the server's storage: no server takes 10,000 PUTs in a test's time.
    bool seed(int count)
    {
        const QString dir =
            isRadicale() ? m_folder + "/collection-root/anna/big" : m_folder + "/user/calendars/big";
        QDir().mkpath(dir);
        QFile props(dir + (isRadicale() ? "/.Radicale.props" : "/.xandikos"));
        props.open(QIODevice::WriteOnly);
        props.write(isRadicale() ? R"({"tag": "VCALENDAR"})" : "[DEFAULT]\ntype = calendar\n");
        props.close();
        for (int i = 0; i < count; ++i) {
            QFile file(QStringLiteral("%1/t%2.ics").arg(dir).arg(i));
            file.open(QIODevice::WriteOnly);
            file.write(VTodoText::create(QStringLiteral("t%1").arg(i), {QStringLiteral("Task %1").arg(i)},
                                         QDateTime::currentDateTimeUtc()));
        }
        if (isRadicale())
            return true;
        return QProcess::execute("git", {"-C", dir, "init", "-q"}) == 0 &&
               QProcess::execute("git", {"-C", dir, "add", "-A"}) == 0 &&
               QProcess::execute("git", {"-C", dir, "-c", "user.name=t", "-c", "user.email=t@t", "commit",
                                         "-qm", "seed"}) == 0;
    }

private:
    QString m_folder;
    quint16 m_port = 0;
    QProcess m_process;
};

void SyncEngineTest::serverStoppedAndLargeFirstSync()
{
    QTemporaryDir folder;
    PrivateServer server(folder.filePath("storage"));
    QVERIFY(server.seed(10000));
    QVERIFY(server.start());
    m_server = server.url();
    m_collection = server.collection();
    Device anna(QStringLiteral("anna"));
    connect(anna);
    for (int i = 0; i < 5; ++i)
        QVERIFY(anna.tasks.createTask(QStringLiteral("Local %1").arg(i), {}, false, 1));

    // A first pass cancelled halfway leaves whole tasks only; the next one goes on where it stopped.
    const QVariantMap cancelled = sync(anna, [&](SyncEngine &engine, const QString &, int done) {
        if (done >= 3000)
            engine.cancel();
    });
    QCOMPARE(cancelled.value("error").toString(), QStringLiteral("cancelled"));
    const int halfway = queryValue(anna.db, "SELECT COUNT(*) FROM tasks").toInt();
    QVERIFY(halfway > 5 && halfway < 10005);
    QCOMPARE(queryValue(anna.db, "SELECT COUNT(*) FROM sync_links WHERE etag IS NULL").toInt(), 5);
    // The server goes away while the pass sends, and comes back.
    const QVariantMap cut = sync(anna, [&](SyncEngine &, const QString &phase, int) {
        if (phase.startsWith(QLatin1String("Sending changes")))
            server.stop();
    });
    QCOMPARE(cut.value("error").toString(), QStringLiteral("network"));
    QCOMPARE(queryValue(anna.db, "SELECT COUNT(*) FROM tasks").toInt(), 10005);
    QVERIFY(server.start());
    QCOMPARE(sync(anna).value("error").toString(), QString());
    QCOMPARE(queryValue(anna.db, "SELECT COUNT(*) FROM tasks").toInt(), 10005);
    QCOMPARE(anna.store().dirtyCount(), 0);
    QNetworkAccessManager network;
    CalDavClient client(&network);
    client.setAccount(QUrl(m_server), m_user, m_password);
    // The server builds the listing of 10,005 resources before its first byte: on a busy machine
    // that can take longer than the default timeout.
    client.setTimeout(180000);
    QList<CalDavClient::Resource> listed;
    QVERIFY(client.listEtags(QUrl(m_collection), listed).ok());
    QCOMPARE(listed.size(), 10005);
}

void SyncEngineTest::randomizedEdits()
{
    Device anna(QStringLiteral("anna"));
    connect(anna);
    Peer other = peer();
    QRandomGenerator random(20261208);
    // What each side last wrote per task and property; the final state must hold it or name it.
    struct Edit
    {
        QString uid;
        QString property;
        QString value;
    };
    QList<Edit> edits;
    int created = 0;
    for (int round = 0; round < 12; ++round) {
        QCOMPARE(sync(anna).value("error").toString(), QString());
        const QMap<QString, VTodoText::Parsed> server = other.tasks();
        const QStringList uids = server.keys();
        for (int step = 0; step < 3; ++step) {
            const QString uid = uids.isEmpty() ? QString() : uids.at(random.bounded(int(uids.size())));
            const qint64 local =
                uid.isEmpty()
                    ? 0
                    : queryValue(anna.db,
                                 QStringLiteral("SELECT task_id FROM sync_links WHERE uid = '%1'").arg(uid))
                          .toLongLong();
            const QString value = QStringLiteral("v%1-%2").arg(round).arg(step);
            switch (uid.isEmpty() ? 0 : random.bounded(6)) {
            case 0:
                if (random.bounded(2))
                    anna.tasks.createTask(QStringLiteral("Anna %1").arg(++created), {}, false, 1);
                else
                    other.run({{"op", "create"},
                               {"uid", QStringLiteral("p%1").arg(++created)},
                               {"summary", value}});
                break;
            case 1:
                if (local &&
                    anna.tasks.updateTask(local, value, false, {}, 1, -1, anna.store().task(local)->notes))
                    edits.append({uid, "name", value});
                break;
            case 2:
                other.run({{"op", "set"}, {"uid", uid}, {"prop", "SUMMARY"}, {"value", value}});
                edits.append({uid, "name", value});
                break;
            case 3:
                other.run({{"op", "set"}, {"uid", uid}, {"prop", "DESCRIPTION"}, {"value", value}});
                edits.append({uid, "notes", value});
                break;
            case 4:
                if (local)
                    anna.tasks.updateTaskDone(local, true);
                break;
            default:
                if (random.bounded(2) && local)
                    anna.tasks.deleteTask(local);
                else
                    other.run({{"op", "delete"}, {"uid", uid}});
            }
        }
    }
    QCOMPARE(sync(anna).value("error").toString(), QString());
    QCOMPARE(sync(anna).value("pushed").toInt(), 0);

    const QMap<QString, VTodoText::Parsed> server = other.tasks();
    QCOMPARE(queryValue(anna.db, "SELECT COUNT(*) FROM tasks").toInt(), server.size());
    for (auto it = server.begin(); it != server.end(); ++it) {
        const qint64 id =
            queryValue(anna.db,
                       QStringLiteral("SELECT task_id FROM sync_links WHERE uid = '%1'").arg(it.key()))
                .toLongLong();
        QVERIFY2(id > 0, qPrintable(it.key()));
        QCOMPARE(*anna.store().task(id), it.value().fields);
        if (it.key().startsWith('p'))
            QCOMPARE(foreignLines(other.text(it.key())).size(), 5);
    }
    // Every edit either is what both sides hold now, or was replaced with a notice naming it (or its task
    // was deleted on purpose without a later edit from the other side).
    for (const Edit &edit : std::as_const(edits)) {
        if (!server.contains(edit.uid))
            continue;
        const VTodoText::Parsed &now = server[edit.uid];
        const QString held = edit.property == "name" ? now.fields.name : now.fields.notes;
        const qint64 id =
            queryValue(anna.db,
                       QStringLiteral("SELECT task_id FROM sync_links WHERE uid = '%1'").arg(edit.uid))
                .toLongLong();
        const bool later = std::any_of(edits.begin(), edits.end(), [&](const Edit &e) {
            return &e > &edit && e.uid == edit.uid && e.property == edit.property;
        });
        QVERIFY2(later || held == edit.value || anna.store().notice(id).contains(edit.value),
                 qPrintable(edit.uid + " " + edit.property + " " + edit.value));
    }
}

QTEST_GUILESS_MAIN(SyncEngineTest)
#include "tst_syncengine.moc"
