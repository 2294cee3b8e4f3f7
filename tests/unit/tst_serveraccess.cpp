#include "TestSupport.h"

#include "storage/ServerAccess.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

// One person's program on the team database, signed in to PostgreSQL as their own role.
struct Member
{
    explicit Member(const QString &role) : db(role) {}
    DbManager db;
    AuthService auth{&db};
    TaskTableModel model;
    TaskService tasks{&db, &auth, &model};
    CustomerService customers{&db, &auth, nullptr};
};

} // namespace

class TstServerAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void membersKeepToTheirOwnTasks();
    void passwordsStayWithTheOwner();
    void nonMembersCannotConnect();

private:
    QString as(const QString &role) const
    {
        return testServer() + u" dbname=%1 user=%2"_s.arg(m_database, role + m_suffix);
    }
    // psql as role; returns its exit code, with what it printed in output.
    int psql(const QString &role, const QString &sql, QString *output = nullptr, bool onDatabase = true) const
    {
        QProcess process;
        const QString target = !onDatabase      ? testServer()
                               : role.isEmpty() ? testServer() + u" dbname="_s + m_database
                                                : as(role);
        process.start(u"psql"_s, {u"-X"_s, u"-qAt"_s, u"-v"_s, u"ON_ERROR_STOP=1"_s, target, u"-c"_s, sql});
        process.waitForFinished(30000);
        if (output)
            *output =
                QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QString m_suffix;
    QString m_database;
};

void TstServerAccess::initTestCase()
{
    if (testServer().isEmpty())
        QSKIP("needs the PostgreSQL test server");
    m_suffix = u"_%1"_s.arg(QCoreApplication::applicationPid());
    m_database = u"duevia"_s + m_suffix;
    // The set-up of the README, as the server's administrator.
    const QString setup = uR"(CREATE ROLE duevia_owner%1 LOGIN;
CREATE ROLE duevia_team%1 NOLOGIN;
CREATE ROLE anna%1 LOGIN IN ROLE duevia_team%1;
CREATE ROLE ben%1 LOGIN IN ROLE duevia_team%1;
CREATE ROLE outsider%1 LOGIN;
CREATE DATABASE duevia%1 OWNER duevia_owner%1;
REVOKE CONNECT, TEMPORARY ON DATABASE duevia%1 FROM PUBLIC;
GRANT CONNECT ON DATABASE duevia%1 TO duevia_team%1;)"_s.arg(m_suffix);
    for (const QString &sql : setup.split(u'\n')) {
        QString output;
        QVERIFY2(psql(QString(), sql, &output, false) == 0, qPrintable(output));
    }
    QProcess prepare;
    prepare.start(QStringLiteral(DUEVIA_APP_PATH), {u"--prepare-server"_s, as(u"duevia_owner"_s)});
    QVERIFY(prepare.waitForFinished(60000));
    QVERIFY2(prepare.exitCode() == 0, prepare.readAllStandardError().constData());
    QVERIFY(psql(QString(), ServerAccess::rowSafeFunctionsStatement()) == 0);
}

void TstServerAccess::cleanupTestCase()
{
    if (m_database.isEmpty())
        return;
    psql(QString(), u"DROP DATABASE IF EXISTS %1 WITH (FORCE)"_s.arg(m_database), nullptr, false);
    for (const char *role : {"anna", "ben", "outsider", "duevia_team", "duevia_owner"})
        psql(QString(), u"DROP ROLE IF EXISTS %1%2"_s.arg(QLatin1String(role), m_suffix), nullptr, false);
}

void TstServerAccess::membersKeepToTheirOwnTasks()
{
    Member anna(u"anna"_s), ben(u"ben"_s);
    QVERIFY2(anna.db.openServer(as(u"anna"_s)) && anna.db.ensureSchema(), qPrintable(anna.db.errorText()));
    QVERIFY2(ben.db.openServer(as(u"ben"_s)) && ben.db.ensureSchema(), qPrintable(ben.db.errorText()));
    QVERIFY(ServerAccess::hasRowSafeFunctions(anna.db.database()));
    QVERIFY(signInTestUser(anna.auth, u"anna"_s) > 0);
    QVERIFY(signInTestUser(ben.auth, u"ben"_s) > 0);
    const QDateTime due = QDateTime::currentDateTime().addDays(1);
    QVERIFY(anna.tasks.createTask(u"Call Acme"_s, due));
    QVERIFY(anna.customers.createCustomer(u"Acme"_s, QString(), {}));
    QVERIFY(ben.tasks.createTask(u"Visit Brix"_s, due));
    QVERIFY(ben.tasks.createTask(u"Quote Brix"_s, due));

    anna.tasks.loadPage(0);
    ben.tasks.loadPage(0);
    ben.customers.loadPage(0);
    QCOMPARE(anna.tasks.totalCount(), 1);
    QCOMPARE(ben.tasks.totalCount(), 2);
    QCOMPARE(ben.customers.totalCount(), 1); // the directory is shared

    // The same through any client: a member's rows only, and no way to write into another's.
    QString output;
    QCOMPARE(psql(u"anna"_s, u"SELECT name FROM tasks ORDER BY id"_s, &output), 0);
    QCOMPARE(output, u"Call Acme"_s);
    QCOMPARE(psql(u"anna"_s, u"SELECT count(*) FROM task_counts"_s, &output), 0);
    QCOMPARE(output, u"1"_s);
    QVERIFY(psql(u"anna"_s, u"INSERT INTO tasks (user_id, name) VALUES (%1, 'x')"_s.arg(ben.auth.userId())) !=
            0);
    QCOMPARE(
        psql(u"anna"_s, u"UPDATE tasks SET name = 'x' WHERE user_id = %1"_s.arg(ben.auth.userId()), &output),
        0);
    QCOMPARE(psql(u"ben"_s, u"SELECT count(*) FROM tasks WHERE name = 'x'"_s, &output), 0);
    QCOMPARE(output, u"0"_s);
    // The index of each user's trigrams serves a member's search.
    QCOMPARE(psql(u"anna"_s,
                  u"SET enable_seqscan = off; EXPLAIN SELECT id FROM tasks WHERE "
                  u"duevia_user_trigrams(user_id, name)"
                  " @> duevia_pattern_trigrams(%1, '%acme%')"_s.arg(anna.auth.userId()),
                  &output),
             0);
    QVERIFY2(output.contains(u"idx_tasks_user_trigrams"_s), qPrintable(output));

    // Ben knows Anna's password, but her account is bound to her role.
    ben.auth.logout();
    QVERIFY(!ben.auth.login(u"anna"_s, u"password123"_s));
    QVERIFY(ben.auth.login(u"ben"_s, u"password123"_s));
}

void TstServerAccess::passwordsStayWithTheOwner()
{
    QString output;
    QVERIFY(psql(u"anna"_s, u"SELECT password_hash FROM users"_s, &output) != 0);
    QVERIFY2(output.contains(u"permission denied"_s), qPrintable(output));
    QVERIFY(psql(u"anna"_s, u"SELECT salt FROM users"_s) != 0);
    QVERIFY(psql(u"anna"_s, u"UPDATE users SET name = 'x'"_s) != 0);
    QVERIFY(psql(u"anna"_s, u"INSERT INTO users (username, password_hash, salt, name, db_role)"
                            " VALUES ('mallory', '\\x00', '\\x00', 'M', 'ben%1')"_s.arg(m_suffix)) != 0);
    QCOMPARE(
        psql(u"duevia_owner"_s, u"SELECT count(*) FROM users WHERE length(password_hash) = 32"_s, &output),
        0);
    QVERIFY(output.toInt() >= 2);
}

void TstServerAccess::nonMembersCannotConnect()
{
    // Nor, then, send the notifications that make the members' windows reload.
    QString output;
    QVERIFY(psql(u"outsider"_s, u"NOTIFY duevia_changes, 'tasks'"_s, &output) != 0);
    QVERIFY2(output.contains(u"permission denied"_s), qPrintable(output));
}

QTEST_GUILESS_MAIN(TstServerAccess)
#include "tst_serveraccess.moc"
