#include "TestSupport.h"
#include "storage/DbManager.h"
#include "storage/SqlSupport.h"

#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

class TstStatementCache : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_sandbox = std::make_unique<TestSandbox>();
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db));
        QVERIFY(execSql(*m_db, u"CREATE TABLE words (word TEXT)"_s));
        QVERIFY(execSql(*m_db, u"INSERT INTO words (word) VALUES ('a'), ('b')"_s));
    }
    void cleanup() { m_db.reset(), m_sandbox.reset(); }

    // A statement kept after a partial read neither holds on to what it read nor to the rows it may
    // read again: the next use reads afresh, and another connection's commit is seen at once.
    void keptStatementsReadAfresh()
    {
        const QString names = u"SELECT word FROM words ORDER BY word"_s;
        {
            StatementCache::Lease first = SqlSupport::reuse(m_db.get(), names);
            QVERIFY(first.exec() && first->next());
            QCOMPARE(first->value(0).toString(), u"a"_s);
            // The same text while it runs: a statement of its own.
            StatementCache::Lease second = SqlSupport::reuse(m_db.get(), names);
            QVERIFY(second.exec() && second->next() && second->next());
            QCOMPARE(second->value(0).toString(), u"b"_s);
        }
        DbManager other(u"other"_s);
        QVERIFY(m_sandbox->openAgain(other));
        QVERIFY(execSql(other, u"INSERT INTO words (word) VALUES ('c')"_s));
        StatementCache::Lease count = SqlSupport::reuse(m_db.get(), u"SELECT COUNT(*) FROM words"_s);
        QVERIFY(count.exec() && count->next());
        QCOMPARE(count->value(0).toInt(), 3);
        StatementCache::Lease again = SqlSupport::reuse(m_db.get(), names);
        QVERIFY(again.exec());
        QStringList read;
        while (again->next())
            read << again->value(0).toString();
        QCOMPARE(read, (QStringList{u"a"_s, u"b"_s, u"c"_s}));
    }

    // A statement that failed is prepared anew, and so is one whose connection was closed past the
    // manager; closing it through the manager drops every statement.
    void closingDropsStatements()
    {
        {
            StatementCache::Lease broken = SqlSupport::reuse(m_db.get(), u"SELECT thing FROM nowhere"_s);
            QVERIFY(!broken.exec());
        }
        QVERIFY(execSql(*m_db, u"CREATE TABLE nowhere (thing INTEGER)"_s));
        QVERIFY(SqlSupport::reuse(m_db.get(), u"SELECT thing FROM nowhere"_s).exec());
        const QString others = u"SELECT COUNT(*) FROM words WHERE word <> :word"_s;
        const auto count = [&](const QString &word) {
            StatementCache::Lease query = SqlSupport::reuse(m_db.get(), others);
            query->bindValue(u":word"_s, word);
            return query.exec() && query->next() ? query->value(0).toInt() : -1;
        };
        QCOMPARE(count(u"a"_s), 1);
        {
            QSqlDatabase connection = m_db->database(); // closed and opened past the manager
            connection.close();
            QVERIFY(connection.open());
        }
        QCOMPARE(count(u"c"_s), 2);
        m_db->close();
        QVERIFY(m_sandbox->openAgain(*m_db));
        StatementCache::Lease reopened = SqlSupport::reuse(m_db.get(), u"SELECT COUNT(*) FROM words"_s);
        QVERIFY(reopened.exec() && reopened->next());
        QCOMPARE(reopened->value(0).toInt(), 2);
    }

    // A full cache makes room by dropping the statement used longest ago: one in steady use stays
    // prepared while many others pass through.
    void fullCacheDropsTheOldest()
    {
        const QString hot = u"SELECT COUNT(*) FROM words"_s;
        const auto use = [&](const QString &sql) {
            StatementCache::Lease query = SqlSupport::reuse(m_db.get(), sql);
            const bool kept = query.kept();
            return query.exec() ? kept : false;
        };
        const auto other = [](int n) {
            return u"SELECT %1 FROM words"_s.arg(n);
        };
        QVERIFY(!use(hot));
        for (int n = 0; n < 600; ++n) {
            QVERIFY(!use(other(n)));
            if (n % 50 == 0)
                QVERIFY(use(hot));
        }
        QVERIFY(use(hot));
        QVERIFY(use(other(599)));
        QVERIFY(!use(other(0)));
    }

private:
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
};

QTEST_GUILESS_MAIN(TstStatementCache)
#include "tst_statementcache.moc"
