#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "services/TaskTransferWorker.h"
#include "sync/SyncStore.h"

#include <QTest>
#include <QTimeZone>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Fixture = ServiceFixture;

using Action = std::function<void(Fixture &)>;
constexpr int kBob = 1, kAda = 2;

QDateTime utc(qint64 hours)
{
    return QDateTime::fromSecsSinceEpoch(hours * 3600, QTimeZone::utc());
}

const SyncStore::Account kAccount = {
    u"http://127.0.0.1:1"_s, u"ada"_s, u"http://127.0.0.1:1/l/"_s, u"L"_s, "t1", utc(490000)};

} // namespace

Q_DECLARE_METATYPE(Action)

class TstSyncStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> m_fx;

    // "task:dirty:revision" of every link of every user, and the hrefs of the deletes to send.
    QString marks() const
    {
        return queryList(m_fx->db, u"SELECT task_id || ':' || dirty || ':' || revision FROM sync_links"
                                   " ORDER BY task_id"_s) +
               u" / "_s + queryList(m_fx->db, u"SELECT href FROM sync_deletes ORDER BY id"_s);
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<Fixture>();
        QVERIFY(m_fx->sandbox.openDatabase(m_fx->db));
        QCOMPARE(signInTestUser(m_fx->auth, u"bob"_s), kBob);
        QCOMPARE(signInTestUser(m_fx->auth, u"ada"_s), kAda);
    }

    void cleanup() { m_fx.reset(); }

    void writePathsLeaveMarks_data()
    {
        QTest::addColumn<bool>("account");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("expected");
        // Task 1 (customer 1) is synced as /l/a.ics, task 2 is done and not sent yet, task 3 is bob's.
        const QString same = u"1:0:1,2:1:1 / "_s, changed = u"1:1:2,2:1:1 / "_s;
        const QList<std::tuple<const char *, Action, QString>> rows = {
            {"create", [](Fixture &f) { f.tasks.createTask(u"Gamma"_s, QDateTime()); },
             u"1:0:1,2:1:1,4:1:1 / "_s},
            {"update", [](Fixture &f) { f.tasks.updateTask(1, u"Alpha 2"_s, false, QDateTime(), 1, 1); },
             changed},
            {"done", [](Fixture &f) { f.tasks.updateTaskDone(1, true); }, changed},
            {"same values", [](Fixture &f) { f.tasks.updateTaskDone(1, false); }, same},
            {"delete synced", [](Fixture &f) { f.tasks.deleteTask(1); }, u"2:1:1 / /l/a.ics"_s},
            {"delete unsent", [](Fixture &f) { f.tasks.deleteTask(2); }, u"1:0:1 / "_s},
            {"delete done",
             [](Fixture &f) {
                 f.tasks.updateTaskDone(1, true);
                 QVERIFY(f.tasks.deleteAllInactive());
                 QTRY_VERIFY(!f.tasks.deletingDone());
             },
             u" / /l/a.ics"_s},
            {"import",
             [](Fixture &f) {
                 TaskTransferWorker::Job job{TaskTransferWorker::Operation::ImportCalendar, f.db.target(),
                                             QFINDTESTDATA("data/rfc5545-todos.ics"), kAda};
                 QCOMPARE(TaskTransferWorker(job).execute().value(u"imported"_s).toInt(), 3);
             },
             u"1:0:1,2:1:1,4:1:1,5:1:1,6:1:1 / "_s},
            {"customer deleted", [](Fixture &f) { f.customers.deleteCustomer(1); }, changed},
            {"customer renamed", [](Fixture &f) { f.customers.updateCustomer(1, u"Acme 2"_s, {}, {}); },
             changed},
            {"customer notes", [](Fixture &f) { f.customers.updateCustomer(1, u"Acme"_s, u"n"_s, {}); },
             same},
            // No window does this; the resource leaves the old owner's list.
            {"moved to bob",
             [](Fixture &f) { execSql(f.db, u"UPDATE tasks SET user_id = 1 WHERE id = 1"_s); },
             u"2:1:1 / /l/a.ics"_s},
        };
        for (const auto &[name, action, expected] : rows) {
            QTest::newRow(name) << true << action << expected;
            QTest::addRow("%s, no account", name) << false << action << u" / "_s;
        }
    }

    // With an account every write path marks the links; without one nothing is written.
    void writePathsLeaveMarks()
    {
        QFETCH(bool, account);
        QFETCH(Action, action);
        QFETCH(QString, expected);
        Fixture &f = *m_fx;
        SyncStore store(f.db.database(), kAda);
        if (account)
            QVERIFY(store.saveAccount(kAccount));
        QVERIFY(f.customers.createCustomer(u"Acme"_s, {}, {}));
        QVERIFY(f.tasks.createTask(u"Alpha"_s, utc(491000), false, 1, 1));
        QVERIFY(f.tasks.createTask(u"Beta"_s, QDateTime(), true));
        QVERIFY(execSql(f.db, u"INSERT INTO tasks (user_id, name, customer_id) VALUES (1, 'Bob''s', 1)"_s));
        if (account)
            QVERIFY(store.markSynced(1, 1, u"/l/a.ics"_s, u"a"_s, "\"e1\"", "TEXT"));
        action(f);
        QCOMPARE(marks(), expected);
    }

    // What a sync records: tasks from the server, merges inside a caller's transaction, PUTs whose
    // task changed meanwhile, resources gone from the server, and another list forgetting it all.
    void storeRecordsSyncs()
    {
        Fixture &f = *m_fx;
        QVERIFY(f.tasks.createTask(u"Local"_s, QDateTime()));
        SyncStore store(f.db.database(), kAda);
        QVERIFY(store.saveAccount(kAccount));
        QVERIFY(store.account()->syncToken == "t1" && store.account()->lastSync == kAccount.lastSync);
        QCOMPARE(store.linkUnlinkedTasks(), 1);
        QCOMPARE(store.linkUnlinkedTasks(), 0);

        const SyncTaskFields fields = {u"Remote"_s, u"two\nlines"_s, 60, true, utc(492000), u"NewCo"_s};
        const qint64 id = store.insertFromServer(fields, u"/l/r.ics"_s, u"r"_s, "\"e1\"", "V1");
        QVERIFY(id > 0 && store.task(id) == fields);
        QCOMPARE(queryValue(f.db, u"SELECT user_id FROM customers WHERE name = 'NewCo'"_s).toInt(), kAda);
        std::optional<SyncStore::Link> link = store.linkByHref(u"/l/r.ics"_s);
        QVERIFY(link && link->taskId == id && !link->dirty && link->uid == "r"_L1 &&
                link->syncedText == "V1");
        QCOMPARE(store.dirtyCount(), 1);

        // Inside the caller's transaction: its rollback takes the insert along.
        QVERIFY(store.begin());
        QVERIFY(store.insertFromServer(fields, u"/l/x.ics"_s, u"x"_s, "\"e\"", "X") > 0);
        store.rollback();
        QVERIFY(!store.linkByHref(u"/l/x.ics"_s));

        SyncTaskFields merged = fields;
        merged.customerName.clear();
        merged.expireAt = QDateTime();
        QVERIFY(store.begin());
        QVERIFY(store.updateFromServer(id, merged, u"/l/r.ics"_s, "\"e2\"", "V2", true));
        QVERIFY(store.commit());
        link = store.linkOfTask(id);
        QVERIFY(store.task(id) == merged);
        QVERIFY(link->dirty && link->etag == "\"e2\"" && link->syncedText == "V2");

        // A change after the PUT started keeps the mark; the next PUT clears it.
        QVERIFY(f.tasks.updateTaskDone(int(id), false));
        QVERIFY(store.markSynced(id, link->revision, u"/l/r.ics"_s, u"r"_s, "\"e3\"", "V3"));
        QVERIFY(store.linkOfTask(id)->dirty);
        QVERIFY(store.markSynced(id, link->revision + 1, u"/l/r.ics"_s, u"r"_s, "\"e4\"", "V4") &&
                !store.linkOfTask(id)->dirty);
        QCOMPARE(store.etagsByHref(), (QHash<QString, QByteArray>{{u"/l/r.ics"_s, "\"e4\""}}));

        QVERIFY(store.addNotice(id, u"one"_s) && store.addNotice(id, u"two"_s) && store.noticeCount() == 1);
        QCOMPARE(store.notice(id), u"one\ntwo"_s);
        QVERIFY(store.clearNotice(id) && store.noticeCount() == 0);

        QVERIFY(store.detachFromServer(id));
        link = store.linkOfTask(id);
        QVERIFY(link->dirty && link->href.isEmpty() && link->etag.isEmpty() && link->uid == "r"_L1);
        QCOMPARE(store.dirtyLinks(10).size(), 2);

        // Another user's store sees none of it and changes nothing.
        SyncStore other(f.db.database(), kBob);
        QVERIFY(!other.task(id));
        QVERIFY(!other.updateFromServer(id, fields, u"/l/r.ics"_s, "\"e\"", "V", false));
        QVERIFY(other.deleteFromServer(id) && store.task(id));

        QVERIFY(store.deleteFromServer(id));
        QVERIFY(!store.task(id) && store.pendingDeletes(10).isEmpty());

        // The same list keeps the links; another one forgets them and the token.
        SyncStore::Account moved = kAccount;
        QVERIFY(store.saveAccount(moved) && store.dirtyCount() == 1);
        moved.collectionUrl = u"http://127.0.0.1:1/other/"_s;
        QVERIFY(store.saveAccount(moved) && store.dirtyCount() == 0);
        QVERIFY(store.account()->syncToken.isEmpty() && !store.account()->lastSync.isValid());

        QCOMPARE(store.linkUnlinkedTasks(), 1);
        QVERIFY(f.tasks.deleteTask(1));
        QVERIFY(store.removeAccount() && !store.account());
        QCOMPARE(marks(), u" / "_s);
    }
};

QTEST_GUILESS_MAIN(TstSyncStore)
#include "tst_syncstore.moc"
