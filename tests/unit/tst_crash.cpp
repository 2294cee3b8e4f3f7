#include "TestSupport.h"
#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlError>
#include <QThread>

// The same executable is the writer: with "--child <db> <log> <user> <tag> <count>" it writes tasks and
// customers through the real services (count < 0: until killed) and logs each one after a true result.
// A false result ends it with exit code 1. With the tag "backup" it backs the file up to <db>.backup
// again and again instead, logging each backup made.
static int runBackups(DbManager &db, AuthService &auth, TaskService &tasks, QFile &log)
{
    TaskTransferService transfer(&db, &auth, &tasks);
    for (;;) {
        QSignalSpy finished(&transfer, &TaskTransferService::finished);
        if (!transfer.backupDatabase(QUrl::fromLocalFile(db.database().databaseName() + ".backup")) ||
            !finished.wait(30000) || !finished.at(0).at(0).toMap().value("error").toString().isEmpty())
            return 1;
        log.write("backup\n");
    }
}

static int runChild(const QStringList &args)
{
    DbManager db;
    if (!db.open(args[0]) || !db.ensureSchema() || !db.ensureIndexes())
        return 2;
    AuthService auth(&db);
    if (signInTestUser(auth, args[2]) < 0)
        return 2;
    TaskTableModel taskModel;
    CustomerTableModel customerModel;
    TaskService tasks(&db, &auth, &taskModel);
    CustomerService customers(&db, &auth, &customerModel);
    QFile log(args[1]);
    if (!log.open(QIODevice::Append | QIODevice::Unbuffered))
        return 2;
    if (args[3] == QLatin1String("backup"))
        return runBackups(db, auth, tasks, log);
    for (int i = 0; args[4].toInt() < 0 || i < args[4].toInt(); ++i) {
        const QString name = QStringLiteral("%1-%2").arg(args[3]).arg(i);
        const bool isTask = i % 2;
        const bool written =
            isTask ? tasks.createTask(name, QDateTime::fromSecsSinceEpoch(1800000000 + i), false, i % 100, -1,
                                      name)
                   : customers.createCustomer(name, name, {QVariantMap{{"type", "email"}, {"value", name}}});
        QSqlQuery query(db.database());
        if (!written ||
            !query.exec(QStringLiteral("SELECT id FROM %1 WHERE name = '%2'")
                            .arg(isTask ? "tasks" : "customers", name)) ||
            !query.next()) {
            qCritical() << "write failed:" << name << query.lastError().text();
            return 1;
        }
        log.write(QStringLiteral("%1 %2 %3\n").arg(query.value(0).toInt()).arg(name).arg(i).toUtf8());
        // A breath between writes, as between a person's edits: SQLite's busy wait polls, and a writer
        // that never pauses can keep the other one out beyond its timeout.
        QThread::msleep(10);
    }
    return 0;
}

// The writer's executable, resolved before any test runs: Qt reads it from /proc/self/exe, which no
// longer names a file once the build tree relinks this test while it runs.
static QString s_program;

class TstCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedWritersLoseNothing();
    void twoWritersAtOnce();
    // Killed while it backs up, the program leaves the previous backup whole.
    void killedBackupKeepsThePrevious();

private:
    void startChild(QProcess &child, const QString &user, const QString &tag, int count);
    // Checks the file and every logged write; counts the writes checked.
    void verify(int &checked);

    TestSandbox m_sandbox;
    QString m_log = m_sandbox.filePath(QStringLiteral("written.log"));
};

void TstCrash::startChild(QProcess &child, const QString &user, const QString &tag, int count)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_sandbox.filePath(QStringLiteral("config")));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // What this test checks begins once the writer runs: a start that the system refuses for a moment
    // (a fork or exec failing while other suites build or unpack beside this one) is tried again.
    for (int attempt = 1;; ++attempt) {
        child.start(s_program, {QStringLiteral("--child"), m_sandbox.databaseFile(), m_log, user, tag,
                                QString::number(count)});
        if (child.waitForStarted())
            return;
        QVERIFY2(attempt < 5, qPrintable(child.errorString()));
        qWarning().noquote() << "the writer did not start, trying again:" << child.errorString();
        QThread::msleep(500);
    }
}

void TstCrash::verify(int &checked)
{
    DbManager db;
    QVERIFY(db.open(m_sandbox.databaseFile()) && db.ensureSchema());
    QCOMPARE(queryValue(db, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    const QList<QByteArray> lines = fileBytes(m_log).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' '); // id, name, number of the write
        if (fields.size() != 3)
            continue;
        const int i = fields[2].toInt();
        QSqlQuery query(db.database());
        query.prepare(
            i % 2 ? QStringLiteral("SELECT COUNT(*) FROM tasks WHERE id = :id AND name = :name AND "
                                   "notes = :name AND level = :i % 100 AND expire_at_epoch = :i + 1800000000")
                  : QStringLiteral("SELECT COUNT(*) FROM customers JOIN customer_contacts AS c ON "
                                   "c.customer_id = customers.id WHERE customers.id = :id AND name = :name "
                                   "AND notes = :name AND c.type = 'email' AND c.value = :name AND :i >= 0"));
        query.bindValue(QStringLiteral(":id"), fields[0].toInt());
        query.bindValue(QStringLiteral(":name"), QString::fromUtf8(fields[1]));
        query.bindValue(QStringLiteral(":i"), i);
        QVERIFY2(query.exec() && query.next() && query.value(0).toInt() == 1, line.constData());
        ++checked;
    }
}

void TstCrash::killedWritersLoseNothing()
{
    const int cycles = qEnvironmentVariableIsSet("DUEVIA_CRASH_CYCLES")
                           ? qEnvironmentVariableIntValue("DUEVIA_CRASH_CYCLES")
                           : 100;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        QProcess child;
        startChild(child, QStringLiteral("killed"), QStringLiteral("k%1").arg(cycle), -1);
        // Even cycles die anywhere in start-up (creating the file, the schema, signing in), odd ones
        // amid the writes.
        const qint64 logged = QFileInfo(m_log).size();
        if (cycle % 2)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_log).size() > logged, 30000);
        QVERIFY2(!child.waitForFinished(QRandomGenerator::global()->bounded(cycle % 2 ? 0 : 20, 500)),
                 qPrintable(QStringLiteral("writer ended by itself with code %1").arg(child.exitCode())));
        child.kill();
        QVERIFY(child.waitForFinished());
    }
    int checked = 0;
    verify(checked);
    qInfo("crash tally: %d cycles, %d acknowledged writes checked, %s", cycles, checked,
          QTest::currentTestFailed() ? "FAULTS FOUND" : "none lost, file intact");
}

void TstCrash::twoWritersAtOnce()
{
    QFile::remove(m_log);
    QFile::remove(m_sandbox.databaseFile());
    QProcess first;
    QProcess second;
    startChild(first, QStringLiteral("first"), QStringLiteral("a"), 100);
    startChild(second, QStringLiteral("second"), QStringLiteral("b"), 100);
    for (QProcess *child : {&first, &second}) {
        QVERIFY(child->waitForFinished(120000));
        QCOMPARE(child->exitCode(), 0);
    }
    int checked = 0;
    verify(checked);
    QCOMPARE(checked, 200);
}

void TstCrash::killedBackupKeepsThePrevious()
{
    const QString backup = m_sandbox.databaseFile() + QStringLiteral(".backup");
    QFile::remove(m_log);
    for (int cycle = 0; cycle < 12; ++cycle) {
        QProcess child;
        startChild(child, QStringLiteral("first"), QStringLiteral("backup"), -1);
        if (cycle == 0)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_log).size() > 0, 30000);
        QVERIFY(!child.waitForFinished(QRandomGenerator::global()->bounded(50, 700)));
        child.kill();
        QVERIFY(child.waitForFinished());
        QVERIFY(QFileInfo::exists(backup));
        QCOMPARE(runOnSqliteFile(backup, {QStringLiteral("PRAGMA integrity_check")}).toString(),
                 QStringLiteral("ok"));
        QVERIFY(runOnSqliteFile(backup, {QStringLiteral("SELECT COUNT(*) FROM users")}).toInt() > 0);
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("--child"))
        return runChild(app.arguments().mid(2));
    s_program = QCoreApplication::applicationFilePath();
    TstCrash test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash.moc"
