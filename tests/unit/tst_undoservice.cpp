#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "services/UndoService.h"
#include "sync/SyncStore.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Fixture : ServiceFixture
{
    UndoService undo{&db, &auth, &tasks, &customers};
};

} // namespace

class TstUndoService : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> m_fx;

    // Every row the deletes touch, as text, so that a restore can be compared with the original.
    QString everything() const
    {
        return queryList(
                   m_fx->db,
                   u"SELECT id || name || COALESCE(customer_id, -1) || COALESCE(notes, '')"
                   " || COALESCE(expire_at, '') || active || level || create_at FROM tasks ORDER BY id"_s) +
               u" | "_s +
               queryList(m_fx->db, u"SELECT id || name || COALESCE(notes, '') || create_at FROM customers"
                                   " ORDER BY id"_s) +
               u" | "_s +
               queryList(m_fx->db, u"SELECT id || ':' || customer_id || type || value || COALESCE(label, '')"
                                   " FROM customer_contacts ORDER BY id"_s) +
               u" | "_s +
               queryList(m_fx->db,
                         u"SELECT task_id || ':' || dirty || COALESCE(href, '') || COALESCE(etag, '')"
                         " FROM sync_links ORDER BY task_id"_s) +
               u" / "_s + queryList(m_fx->db, u"SELECT href FROM sync_deletes ORDER BY id"_s) + u" | "_s +
               queryList(m_fx->db, u"SELECT done || ':' || total FROM task_counts ORDER BY user_id"_s);
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<Fixture>();
        QVERIFY(m_fx->sandbox.openDatabase(m_fx->db));
        QVERIFY(signInTestUser(m_fx->auth, u"ada"_s) > 0);
        SyncStore store(m_fx->db.database(), m_fx->auth.userId());
        QVERIFY(store.saveAccount({u"http://127.0.0.1:1"_s, u"ada"_s, u"http://127.0.0.1:1/l/"_s, u"L"_s,
                                   "t1", QDateTime::currentDateTimeUtc()}));
        QVariantList contacts{QVariantMap{{"type", "email"}, {"value", "a@acme.test"}, {"label", "office"}},
                              QVariantMap{{"type", "phone"}, {"value", "123"}, {"label", ""}}};
        QVERIFY(m_fx->customers.createCustomer(u"Acme"_s, u"notes"_s, contacts));
        QVERIFY(
            m_fx->tasks.createTask(u"Alpha"_s, QDateTime::currentDateTime().addDays(1), true, 30, 1, u"n"_s));
        QVERIFY(m_fx->tasks.createTask(u"Beta"_s, QDateTime(), false, 1, 1));
        QVERIFY(m_fx->tasks.createTask(u"Gamma"_s, QDateTime()));
        QVERIFY(store.markSynced(1, 1, u"/l/a.ics"_s, u"a"_s, "\"e1\"", "TEXT"));
    }

    void cleanup() { m_fx.reset(); }

    // A deleted task or customer comes back exactly, ids, contacts, links and sync state included;
    // a task whose removal already reached the server is sent again as a new one.
    void undoRestoresExactly_data()
    {
        QTest::addColumn<bool>("customer");
        QTest::addColumn<bool>("serverDeleteSent");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("link"); // task 1's link after the undo
        const QString kept = u"1:0/l/a.ics\"e1\""_s;
        QTest::newRow("task") << false << false << u"Deleted task \"Alpha\""_s << kept;
        QTest::newRow("task, server delete sent") << false << true << u"Deleted task \"Alpha\""_s << u"1:1"_s;
        // Its customer left and came back: the task is sent again, unchanged.
        QTest::newRow("customer") << true << false << u"Deleted customer \"Acme\""_s
                                  << u"1:1/l/a.ics\"e1\""_s;
    }
    void undoRestoresExactly()
    {
        QFETCH(bool, customer);
        QFETCH(bool, serverDeleteSent);
        QFETCH(QString, notice);
        QFETCH(QString, link);
        const QString before = everything();
        QVERIFY(customer ? m_fx->undo.deleteCustomer(1) : m_fx->undo.deleteTask(1));
        QCOMPARE(m_fx->undo.notice(), notice);
        QVERIFY(m_fx->undo.canUndo());
        QVERIFY(everything() != before);
        if (serverDeleteSent)
            QVERIFY(execSql(m_fx->db, u"DELETE FROM sync_deletes"_s));
        QVERIFY(m_fx->undo.undo());
        QVERIFY(!m_fx->undo.canUndo() && m_fx->undo.notice().isEmpty());
        QCOMPARE(everything(), QString(before).replace(u"1:0/l/a.ics\"e1\""_s, link));
        QCOMPARE(m_fx->tasks.totalCount(), 3);
        QVERIFY(!m_fx->undo.undo());
    }

    // Nothing to take back after a failed delete, another user's sign-in or the few seconds.
    void undoIsOffered_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("missing task") << 0;
        QTest::newRow("signed out") << 1;
        QTest::newRow("expired") << 2;
    }
    void undoIsOffered()
    {
        QFETCH(int, step);
        QSignalSpy changed(&m_fx->undo, &UndoService::noticeChanged);
        if (step == 0) {
            QVERIFY(!m_fx->undo.deleteTask(99));
            QCOMPARE(m_fx->undo.notice(), u"Could not delete the task."_s);
        } else {
            QVERIFY(m_fx->undo.deleteTask(2));
            if (step == 1)
                m_fx->auth.logout();
            else
                QTRY_VERIFY_WITH_TIMEOUT(m_fx->undo.notice().isEmpty(), UndoService::kUndoMs + 2000);
        }
        QVERIFY(!m_fx->undo.canUndo() && !m_fx->undo.undo());
        QVERIFY(changed.count() >= 1);
    }
};

QTEST_GUILESS_MAIN(TstUndoService)
#include "tst_undoservice.moc"
