#include "TestSupport.h"

#include "models/TaskTableModel.h"
#include "services/CustomerService.h"
#include "services/TaskCalendarFormat.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "services/TaskTransferWorker.h"
#include "storage/SqlSupport.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlRecord>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString dataFile(const QString &name)
{
    return QStringLiteral(DUEVIA_TEST_DATA_DIR "/") + name;
}

QDateTime utc(int y, int mo, int d, int h, int mi)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

// The user's tasks as comparable rows, without ids and creation times.
QStringList taskRows(const DbManager &db, int userId)
{
    QSqlQuery query(db.database());
    query.exec(
        u"SELECT tasks.name, tasks.notes, tasks.level, tasks.active, tasks.expire_at_epoch,"
        " COALESCE(customers.name, '') FROM tasks LEFT JOIN customers ON customers.id = tasks.customer_id"
        " WHERE tasks.user_id = %1 ORDER BY tasks.name"_s.arg(userId));
    QStringList rows;
    while (query.next()) {
        QStringList cells;
        for (int i = 0; i < 6; ++i)
            cells << query.value(i).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

// Everything an import writes, ids and creation times aside, in one sorted text. (Earlier imports also
// left an empty counter row for the negated account id they staged under.)
QByteArray databaseContent(const DbManager &db)
{
    QStringList rows;
    QSqlQuery query(db.database());
    for (const QString &select :
         {u"SELECT user_id, customer_id, name, notes, level, active, expire_at, expire_at_epoch FROM tasks"_s,
          u"SELECT * FROM task_counts WHERE user_id > 0"_s, u"SELECT * FROM task_buckets"_s}) {
        query.exec(select);
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < query.record().count(); ++i)
                cells << (query.isNull(i) ? QString() : query.value(i).toString());
            rows << select.section(u" FROM "_s, 1).section(u' ', 0, 0) + cells.join(u'|');
        }
    }
    rows.sort();
    return rows.join(u'\n').toUtf8();
}

// Duplicates in the file and in the account, skipped entries, a zone of the file, other components.
QByteArray mixedCalendar()
{
    QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n"
                      "BEGIN:VTIMEZONE\r\nTZID:Test/Berlin\r\nBEGIN:DAYLIGHT\r\nDTSTART:19810329T020000\r\n"
                      "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
                      "END:DAYLIGHT\r\nBEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nTZOFFSETFROM:+0200\r\n"
                      "TZOFFSETTO:+0100\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
                      "END:VTIMEZONE\r\nBEGIN:VEVENT\r\nSUMMARY:An event\r\nEND:VEVENT\r\n";
    for (int i = 0; i < 3000; ++i) {
        const QByteArray n = QByteArray::number(i % 2700);
        const QByteArray month = QByteArray::number(101 + i % 12).right(2);
        text += "BEGIN:VTODO\r\nUID:" + QByteArray::number(i) + "\r\n";
        if (i % 50 != 7)
            text += "SUMMARY:" + (i % 97 == 5 ? QByteArray(1001, 'x') : "Task\\, " + n) + "\r\n";
        if (i % 4 == 1)
            text += "DUE:2026" + month + "15T1" + n.right(1) + "3000Z\r\n";
        else if (i % 4 == 2)
            text += "DUE;TZID=Test/Berlin:20" + QByteArray::number(10 + i % 30) + month + "2" + n.right(1) +
                    "T023000\r\n";
        text += "DESCRIPTION:Line one\\nline two\\; that the writer folded at seventy-five octe\r\n ts\r\n";
        text += "PRIORITY:" + QByteArray::number(i % 10) + "\r\n";
        if (i % 3 == 0)
            text += "STATUS:COMPLETED\r\nX-DUEVIA-LEVEL: " + QByteArray::number(i % 150 - 20) + "\r\n";
        if (i % 5 == 0)
            text += "X-DUEVIA-CUSTOMER:Acme\r\nBEGIN:VALARM\r\nDESCRIPTION:x\r\nEND:VALARM\r\n";
        text += "END:VTODO\r\n";
    }
    return text + "END:VCALENDAR\r\n";
}

} // namespace

class TestTaskTransferService : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<DbManager> m_db;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<TaskTableModel> m_model;
    std::unique_ptr<TaskService> m_tasks;
    std::unique_ptr<CustomerService> m_customers;
    std::unique_ptr<TaskTransferService> m_transfer;
    int m_userId = -1;
    static constexpr QFileDevice::Permissions kOwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;

    // Runs one job to its end and returns its result.
    template<typename Start> QVariantMap run(Start start)
    {
        QSignalSpy finished(m_transfer.get(), &TaskTransferService::finished);
        start();
        if (finished.isEmpty())
            finished.wait(30000);
        return finished.value(0).value(0).toMap();
    }
    QVariantMap import(const QString &path)
    {
        return run([&] { m_transfer->importCalendar(QUrl::fromLocalFile(path)); });
    }
    QVariantMap exportTo(const QString &path, bool csv = false)
    {
        const QUrl url = QUrl::fromLocalFile(path);
        return run([&] { csv ? m_transfer->exportCsv(url) : m_transfer->exportCalendar(url); });
    }
    void closeDatabase()
    {
        m_transfer.reset();
        m_customers.reset();
        m_tasks.reset();
        m_auth.reset();
        m_db.reset();
    }
    int taskCount() { return queryValue(*m_db, u"SELECT COUNT(*) FROM tasks"_s).toInt(); }
    void addSampleTasks()
    {
        m_customers->createCustomer(u"Müller, Kranz & Söhne; GmbH"_s, QString(), {});
        const int customerId = queryValue(*m_db, u"SELECT MAX(id) FROM customers"_s).toInt();
        m_tasks->createTask(u"Plain"_s, utc(2026, 3, 22, 17, 50), false, 1);
        m_tasks->createTask(
            u"Quotes \"and\", commas; semicolons"_s, utc(2027, 1, 1, 0, 0), true, 50, customerId,
            u"Line one\nLine \"two\", with; stuff\nÄccents ✓ and a long line "_s + QString(200, u'é'));
        m_tasks->createTask(u"No expiry"_s, QDateTime(), false, 77, customerId, u"back\\slash"_s);
        m_tasks->createTask(u"High"_s, utc(9999, 12, 31, 23, 0), false, 100);
        m_tasks->createTask(u"Negative level"_s, utc(1, 1, 1, 0, 0), true, -5);
    }

private slots:
    void init()
    {
        if (qstrcmp(QTest::currentTestFunction(), "priorityBands") == 0)
            return;
        m_sandbox = std::make_unique<TestSandbox>();
        m_db = std::make_unique<DbManager>();
        QVERIFY(m_sandbox->openDatabase(*m_db));
        m_auth = std::make_unique<AuthService>(m_db.get());
        m_model = std::make_unique<TaskTableModel>();
        m_tasks = std::make_unique<TaskService>(m_db.get(), m_auth.get(), m_model.get());
        m_customers = std::make_unique<CustomerService>(m_db.get(), m_auth.get(), nullptr);
        m_transfer = std::make_unique<TaskTransferService>(m_db.get(), m_auth.get(), m_tasks.get());
        m_userId = signInTestUser(*m_auth, u"alice"_s);
    }

    void cleanup()
    {
        closeDatabase();
        m_sandbox.reset();
    }

    void priorityBands_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("priority");
        QTest::newRow("low 1") << 1 << 9;
        QTest::newRow("low 20") << 20 << 6;
        QTest::newRow("low negative") << -40 << 9;
        QTest::newRow("medium 21") << 21 << 5;
        QTest::newRow("medium 50") << 50 << 5;
        QTest::newRow("high 51") << 51 << 4;
        QTest::newRow("high 100") << 100 << 1;
        QTest::newRow("high 5000") << 5000 << 1;
    }

    void priorityBands()
    {
        QFETCH(int, level);
        QFETCH(int, priority);
        QCOMPARE(TaskCalendarFormat::priorityOfLevel(level), priority);
        // Every priority comes back as a level of its own band.
        for (int p = 1; p <= 9; ++p)
            QCOMPARE(TaskCalendarFormat::priorityOfLevel(TaskCalendarFormat::levelOfPriority(p)), p);
    }

    void importFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("skipped");
        QTest::newRow("RFC 5545 examples") << "rfc5545-todos.ics"
                                           << "" << 3 << 0;
        // No summary, a due date before year 1 in UTC, a name over 1,000 characters.
        QTest::newRow("other programs") << "other-programs.ics"
                                        << "" << 4 << 3;
        QTest::newRow("not iCalendar") << "not-a-calendar.ics"
                                       << "notCalendar" << 0 << 0;
        QTest::newRow("missing file") << "no-such-file.ics"
                                      << "cannotRead" << 0 << 0;
    }

    void importFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, error);
        QFETCH(int, imported);
        QFETCH(int, skipped);
        QSignalSpy changed(m_tasks.get(), &TaskService::tasksChanged);
        QVariantMap result = import(dataFile(file));
        QCOMPARE(result.value(u"error"_s).toString(), error);
        QCOMPARE(result.value(u"imported"_s).toInt(), imported);
        QCOMPARE(result.value(u"skipped"_s).toInt(), skipped);
        QCOMPARE(taskCount(), imported);
        QCOMPARE(changed.size(), imported > 0 ? 1 : 0);
        // The same file again adds nothing.
        result = import(dataFile(file));
        QCOMPARE(result.value(u"imported"_s).toInt(), 0);
        QCOMPARE(result.value(u"duplicates"_s).toInt(), imported);
        QCOMPARE(taskCount(), imported);
    }

    void importedFields_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDateTime>("expiry");
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("notes");
        const QString rfc = u"rfc5545-todos.ics"_s;
        const QString other = u"other-programs.ics"_s;
        QTest::newRow("date only") << rfc << "Submit Quebec Income Tax Return for 2006"
                                   << QDateTime(QDate(2007, 5, 1), QTime(23, 59)) << false << 1 << "";
        QTest::newRow("COMPLETED property, priority 1")
            << rfc << "Submit Revised Internet-Draft" << utc(2007, 7, 9, 13, 0) << true << 95 << "";
        QTest::newRow("floating, alarm")
            << rfc << "Submit Income Taxes" << QDateTime(QDate(1998, 4, 15), QTime(0, 0)) << false << 1 << "";
        QTest::newRow("file's own zone, escapes, folds, priority 0")
            << other << "Call Anna, Bob; and Carl" << utc(2026, 3, 22, 17, 0) << false << 1
            << "Line one, with a comma; and a semicolon\nLine two is long enough that the writing program "
               "folded it over two lines";
        QTest::newRow("Windows zone name, completed")
            << other << "Quarterly report" << utc(2026, 7, 15, 7, 0) << true << 35 << "";
        QTest::newRow("date only, priority 9")
            << other << "Renew domain" << QDateTime(QDate(2026, 12, 31), QTime(23, 59)) << false << 3 << "";
        QTest::newRow("unknown zone as local")
            << other << "Mars meeting" << QDateTime(QDate(2026, 6, 1), QTime(12, 0)) << false << 1 << "";
    }

    void importedFields()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QFETCH(QDateTime, expiry);
        QFETCH(bool, done);
        QFETCH(int, level);
        QFETCH(QString, notes);
        import(dataFile(file));
        QSqlQuery query(m_db->database());
        query.prepare(u"SELECT expire_at_epoch, active, level, notes, user_id FROM tasks WHERE name = ?"_s);
        query.addBindValue(name);
        QVERIFY(query.exec() && query.next());
        QCOMPARE(query.value(0).toLongLong(), expiry.toSecsSinceEpoch());
        QCOMPARE(query.value(1).toBool(), done);
        QCOMPARE(query.value(2).toInt(), level);
        QCOMPARE(query.value(3).toString(), notes);
        QCOMPARE(query.value(4).toInt(), m_userId);
    }

    // Export, then import into a second account: the same tasks, nothing lost on the way.
    void roundTrip()
    {
        addSampleTasks();
        const QString file = m_sandbox->filePath(u"tasks.ics"_s);
        QVariantMap result = exportTo(file);
        QCOMPARE(result.value(u"error"_s).toString(), QString());
        QCOMPARE(result.value(u"exported"_s).toInt(), 5);
        QCOMPARE(QFileInfo(file).permissions(), kOwnerOnly);
        const QStringList original = taskRows(*m_db, m_userId);

        const int bob = signInTestUser(*m_auth, u"bob"_s);
        result = import(file);
        QCOMPARE(result.value(u"imported"_s).toInt(), 5);
        QCOMPARE(taskRows(*m_db, bob), original);
        QCOMPARE(import(file).value(u"duplicates"_s).toInt(), 5);
        QCOMPARE(taskRows(*m_db, bob).size(), 5);
    }

    // The export takes the tasks page's filter over all pages, and only the signed-in user's tasks.
    void exportFollowsPageFilter()
    {
        addSampleTasks();
        signInTestUser(*m_auth, u"bob"_s);
        m_tasks->createTask(u"High of bob"_s, utc(2026, 1, 1, 0, 0), false, 90);
        signInTestUser(*m_auth, u"alice"_s);
        m_tasks->setPageSize(1);
        m_tasks->setFilterLevel(51);
        m_tasks->setFilterName(u"h"_s);
        QCOMPARE(m_tasks->totalPages(), 2);
        QCOMPARE(exportTo(m_sandbox->filePath(u"high.ics"_s)).value(u"exported"_s).toInt(), 2);
        m_tasks->setFilterLevel(-1);
        m_tasks->setFilterName(u"kranz"_s); // by the customer's name, through its search index
        QCOMPARE(m_tasks->totalPages(), 2);
        QCOMPARE(exportTo(m_sandbox->filePath(u"kranz.ics"_s)).value(u"exported"_s).toInt(), 2);
    }

    void csvReadsBackCellForCell()
    {
        addSampleTasks();
        const QString file = m_sandbox->filePath(u"tasks.csv"_s);
        QCOMPARE(exportTo(file, true).value(u"exported"_s).toInt(), 5);
        QProcess python;
        python.start(u"python3"_s, {u"-c"_s,
                                    u"import csv, json, sys\n"
                                    "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                                    "    print(json.dumps(list(csv.reader(f))))"_s,
                                    file});
        QVERIFY(python.waitForFinished(30000));
        const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows.at(0).toVariant().toStringList(),
                 QStringList({u"id"_s, u"name"_s, u"level"_s, u"done"_s, u"expiry"_s, u"created"_s,
                              u"customer"_s, u"notes"_s}));
        QSqlQuery query(m_db->database());
        QVERIFY(query.exec(u"SELECT tasks.id, tasks.name, level, active, expire_at, tasks.create_at,"
                           " COALESCE(customers.name, ''), tasks.notes FROM tasks"
                           " LEFT JOIN customers ON customers.id = tasks.customer_id ORDER BY tasks.id"_s));
        for (int row = 1; query.next(); ++row) {
            const auto local = [&](int column) {
                const QDateTime time = SqlSupport::localFromUtcText(query.value(column));
                return time.isValid() ? time.toString(u"yyyy-MM-dd HH:mm"_s) : QString();
            };
            const QStringList expected = {query.value(0).toString(),
                                          query.value(1).toString(),
                                          query.value(2).toString(),
                                          query.value(3).toString(),
                                          local(4),
                                          local(5),
                                          query.value(6).toString(),
                                          query.value(7).toString()};
            QCOMPARE(rows.at(row).toVariant().toStringList(), expected);
        }
    }

    // A cancelled import leaves nothing; a cancelled export writes no file.
    void cancel()
    {
        QByteArray calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n";
        for (int i = 0; i < 3000; ++i)
            calendar += "BEGIN:VTODO\r\nUID:" + QByteArray::number(i) + "\r\nSUMMARY:Task " +
                        QByteArray::number(i) + "\r\nEND:VTODO\r\n";
        calendar += "END:VCALENDAR\r\n";
        QFile file(m_sandbox->filePath(u"big.ics"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(calendar) > 0);
        file.close();
        QVariantMap result = run([&] {
            m_transfer->importCalendar(QUrl::fromLocalFile(file.fileName()));
            m_transfer->cancel();
        });
        QVERIFY(result.value(u"cancelled"_s).toBool());
        QCOMPARE(result.value(u"imported"_s).toInt(), 0);
        QCOMPARE(taskCount(), 0);
        QVERIFY(!m_transfer->busy());

        QCOMPARE(import(file.fileName()).value(u"imported"_s).toInt(), 3000);
        const QString out = m_sandbox->filePath(u"out.ics"_s);
        result = run([&] {
            m_transfer->exportCalendar(QUrl::fromLocalFile(out));
            m_transfer->cancel();
        });
        QVERIFY(result.value(u"cancelled"_s).toBool());
        QVERIFY(!QFile::exists(out));
    }

    // The content an import gave before it streamed; a cancel at any point leaves the database as it was.
    void importLeavesSameContent_data()
    {
        QTest::addColumn<double>("cancelAt");
        QTest::newRow("complete") << 2.0;
        QTest::newRow("cancelled while reading") << 0.2;
        QTest::newRow("cancelled while writing") << 0.8;
    }

    void importLeavesSameContent()
    {
        QFETCH(double, cancelAt);
        m_customers->createCustomer(u"Acme"_s, QString(), {});
        m_tasks->createTask(u"Task, 12"_s, QDateTime(), false, 1);
        // Created after every imported task, so that the import breaks the creation order of ids.
        QVERIFY(execSql(*m_db, u"UPDATE tasks SET create_at = '2999-01-01 00:00:00'"_s));
        const QByteArray before = databaseContent(*m_db);
        QFile file(m_sandbox->filePath(u"mixed.ics"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(mixedCalendar()) > 0);
        file.close();
        TaskTransferWorker worker(
            {TaskTransferWorker::Operation::ImportCalendar, m_db->target(), file.fileName(), m_userId, {}});
        connect(&worker, &TaskTransferWorker::progressChanged, &worker, [&](int done, int total) {
            if (done >= cancelAt * total)
                worker.cancel();
        });
        const QVariantMap result = worker.execute();
        QCOMPARE(result.value(u"cancelled"_s).toBool(), cancelAt < 1);
        if (cancelAt < 1) {
            QCOMPARE(databaseContent(*m_db), before);
            return;
        }
        QCOMPARE(result.value(u"imported"_s).toInt(), 2622);
        QCOMPARE(shortPairsMissing(*m_db, 300), QStringList());
        QCOMPARE(result.value(u"duplicates"_s).toInt(), 288);
        QCOMPARE(result.value(u"skipped"_s).toInt(), 90);
        QCOMPARE(QCryptographicHash::hash(databaseContent(*m_db), QCryptographicHash::Sha1).toHex(),
                 "16842b276f47a0d0134a23e30c1d1a72ed6a2991");
        QSqlQuery order(m_db->database());
        QVERIFY(
            m_db->isServer() ||
            (order.exec(u"SELECT out_of_order FROM task_creation_order WHERE user_id = %1"_s.arg(m_userId)) &&
             order.next() && order.value(0).toInt() == 1));
        // The search index holds the imported tasks, and the triggers keep everything as before.
        QVERIFY(m_tasks->createTask(u"Task, 123 again"_s, QDateTime(), false, 1));
        QSqlQuery like(m_db->database());
        QVERIFY(like.exec(u"SELECT COUNT(*) FROM tasks WHERE name LIKE '%k, 123%'"_s) && like.next());
        QVERIFY(like.value(0).toInt() > 5);
        m_tasks->setPageSize(1);
        m_tasks->setFilterName(u"k, 123"_s);
        m_tasks->loadPage(1);
        QCOMPARE(m_tasks->totalPages(), like.value(0).toInt());
        QCOMPARE(m_tasks->totalCount(), 2624);
    }

    // Files that once took minutes and gigabytes: each ends within the bound, and so does a cancel.
    void hostileFile_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<int>("readable");
        const QByteArray head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n";
        const QByteArray todo =
            "BEGIN:VTODO\r\nSUMMARY:Call\r\nDUE;TZID=Every/Minute:20260322T180000\r\nEND:VTODO\r\n";
        const QByteArray zone =
            "BEGIN:VTIMEZONE\r\nTZID:Every/Minute\r\nBEGIN:STANDARD\r\nDTSTART:00010101T000000\r\n"
            "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=MINUTELY\r\nEND:STANDARD\r\n"
            "END:VTIMEZONE\r\n";
        const QByteArray whole =
            head + zone + todo + QByteArray(todo).replace("Call", "Mail") + "END:VCALENDAR\r\n";
        QTest::newRow("zone rule every minute") << whole << "" << 2 << 0 << 0;
        QTest::newRow("long line") << head + "BEGIN:VTODO\r\nSUMMARY:" + QByteArray(20 << 20, 'x') +
                                          "\r\nEND:VTODO\r\nEND:VCALENDAR\r\n"
                                   << "" << 0 << 1 << 0;
        QTest::newRow("cut off") << whole.left(whole.size() - 30) << "damaged" << 0 << 0 << 1;
        QTest::newRow("NUL byte") << QByteArray(whole).insert(whole.size() - 20, '\0') << "damaged" << 0 << 0
                                  << 1;
        QTest::newRow("unreadable due dates")
            << head + "BEGIN:VTODO\r\nSUMMARY:a\r\nDUE:notadate\r\nEND:VTODO\r\nBEGIN:VTODO\r\nSUMMARY:b\r\n"
                      "DUE:100000101T000000Z\r\nEND:VTODO\r\nEND:VCALENDAR\r\n"
            << "" << 0 << 2 << 0;
        QTest::newRow("too large") << QByteArray() << "tooLarge" << 0 << 0 << 0;
    }

    void hostileFile()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, error);
        QFETCH(int, imported);
        QFETCH(int, skipped);
        QFETCH(int, readable);
        QFile file(m_sandbox->filePath(u"hostile.ics"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(body) == body.size());
        if (body.isEmpty())
            QVERIFY(file.resize(TaskTransferWorker::kLargestImport + 1));
        file.close();
        QVariantMap result = import(file.fileName());
        QCOMPARE(result.value(u"error"_s).toString(), error);
        QCOMPARE(result.value(u"imported"_s).toInt(), imported);
        QCOMPARE(result.value(u"skipped"_s).toInt(), skipped);
        QCOMPARE(result.value(u"readable"_s).toInt(), readable);
        QCOMPARE(taskCount(), imported);
        if (QTest::currentDataTag() == "unreadable due dates"_L1)
            QVERIFY(result.value(u"details"_s).toString().contains(u"notadate"_s));
        result = run([&] {
            m_transfer->importCalendar(QUrl::fromLocalFile(file.fileName()));
            m_transfer->cancel();
        });
        QVERIFY(result.value(u"cancelled"_s).toBool() || !result.value(u"error"_s).toString().isEmpty());
        QCOMPARE(taskCount(), imported);
    }

    // Text cells a spreadsheet would run as a formula, and those starting with an apostrophe, get one.
    void csvFormulaCells()
    {
        for (const QString &name : {u"=HYPERLINK(\"http://x\")"_s, u"'quoted"_s, u"-1 day"_s, u"plain"_s})
            m_tasks->createTask(name, QDateTime(), false, 1);
        const QString file = m_sandbox->filePath(u"tasks.csv"_s);
        QCOMPARE(exportTo(file, true).value(u"exported"_s).toInt(), 4);
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray text = csv.readAll();
        for (const char *cell : {",\"'=HYPERLINK(\"\"http://x\"\")\",", ",''quoted,", ",'-1 day,", ",plain,"})
            QVERIFY2(text.contains(cell), cell);
    }

    // A big import beside saves of the same account on another connection: no save fails or waits
    // for the whole import, and the import leaves all of its tasks, or none when cancelled.
    void importBesideSaves_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("complete") << false;
        QTest::newRow("cancelled while staging") << true;
    }

    void importBesideSaves()
    {
        QFETCH(bool, cancelled);
        constexpr int count = 20000;
        const QDateTime first = utc(2030, 1, 1, 12, 0);
        // In descending expiry: the import reaches the late date of the moves first.
        QByteArray calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\n";
        for (int i = count - 1; i >= 0; --i)
            calendar +=
                "BEGIN:VTODO\r\nUID:" + QByteArray::number(i) + "\r\nSUMMARY:Task " + QByteArray::number(i) +
                "\r\nDUE:" + first.addSecs(i * 3600LL).toString(u"yyyyMMdd'T'HHmmss'Z'"_s).toLatin1() +
                "\r\nEND:VTODO\r\n";
        QFile file(m_sandbox->filePath(u"big.ics"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(calendar + "END:VCALENDAR\r\n") > 0);
        file.close();
        QVERIFY(m_tasks->createTask(u"Moving"_s, first, false));
        const int moving = queryValue(*m_db, u"SELECT MAX(id) FROM tasks"_s).toInt();
        const QDateTime dates[] = {first.addDays(3), first.addSecs((count - 10) * 3600LL)};

        QSignalSpy finished(m_transfer.get(), &TaskTransferService::finished);
        QElapsedTimer import;
        import.start();
        QVERIFY(m_transfer->importCalendar(QUrl::fromLocalFile(file.fileName())));
        qint64 longestSave = 0;
        for (int i = 0; finished.isEmpty() && import.elapsed() < 120000; ++i) {
            if (cancelled && m_transfer->progress() >= 0.25)
                m_transfer->cancel();
            QElapsedTimer save;
            save.start();
            QVERIFY(m_tasks->updateTask(moving, u"Moving"_s, false, dates[i % 2], 1));
            longestSave = qMax(longestSave, save.elapsed());
            QCoreApplication::processEvents();
        }
        qInfo() << "import of" << count << "tasks:" << import.elapsed() << "ms, longest save:" << longestSave
                << "ms";
        QCOMPARE(finished.size(), 1);
        const QVariantMap result = finished.value(0).value(0).toMap();
        QCOMPARE(result.value(u"error"_s).toString(), QString());
        QCOMPARE(result.value(u"cancelled"_s).toBool(), cancelled);
        QCOMPARE(result.value(u"imported"_s).toInt(), cancelled ? 0 : count);
        QVERIFY(longestSave < 3000);
        // Every row, staged ones too, and the account's counter.
        QCOMPARE(taskCount(), cancelled ? 1 : count + 1);
        QCOMPARE(m_tasks->totalCount(), cancelled ? 1 : count + 1);
    }

    // A save dialog starts in a folder that exists: the wanted one, made when missing, or the home folder.
    void saveFolder_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<bool>("usable");
        QTest::newRow("existing") << u"."_s << true;
        QTest::newRow("missing") << u"Documents/Work"_s << true;
        QTest::newRow("under a file") << u"blocker/Documents"_s << false;
        QTest::newRow("none") << QString() << false;
    }

    void saveFolder()
    {
        QFETCH(QString, wanted);
        QFETCH(bool, usable);
        QVERIFY(QFile(m_sandbox->filePath(u"blocker"_s)).open(QIODevice::WriteOnly));
        const QString path = wanted.isEmpty() ? QString() : m_sandbox->filePath(wanted);
        QCOMPARE(TaskTransferService::saveFolder(path), usable ? path : QDir::homePath());
        QCOMPARE(QFileInfo(path).isDir(), usable);
    }

    // What Qt's own save dialog hands over for a typed name or full path.
    void typedFilePath()
    {
        QCOMPARE(TaskTransferService::localPath(QUrl(u"/home/anna/50% #1.ics"_s)),
                 u"/home/anna/50% #1.ics"_s);
        QCOMPARE(TaskTransferService::localPath(QUrl(u"/home/anna//tmp/x.ics"_s)), u"/tmp/x.ics"_s);
    }

    // The copy is a Duevia database with the same rows, written while the program's connection is open.
    void backup()
    {
        SKIP_ON_SERVER("a backup copies the SQLite file");
        addSampleTasks();
        const QStringList original = taskRows(*m_db, m_userId);
        const QString copy = m_sandbox->filePath(u"backup.db"_s);
        QFile stale(copy);
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("an older backup") > 0);
        stale.close();
        QCOMPARE(
            run([&] { m_transfer->backupDatabase(QUrl::fromLocalFile(copy)); }).value(u"error"_s).toString(),
            QString());
        QCOMPARE(QFileInfo(copy).permissions(), kOwnerOnly);
        // Neither an export nor a backup may overwrite the open database.
        const QUrl self = QUrl::fromLocalFile(m_sandbox->databaseFile());
        QCOMPARE(run([&] { m_transfer->backupDatabase(self); }).value(u"error"_s).toString(),
                 u"sameAsDatabase"_s);
        QCOMPARE(run([&] { m_transfer->exportCsv(self); }).value(u"error"_s).toString(), u"sameAsDatabase"_s);

        closeDatabase();
        DbManager restored;
        QVERIFY(restored.open(copy));
        restored.ensureSchema();
        QVERIFY(restored.ensureIndexes());
        QCOMPARE(taskRows(restored, m_userId), original);
        QCOMPARE(queryValue(restored, u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    }
};

QTEST_GUILESS_MAIN(TestTaskTransferService)
#include "tst_tasktransferservice.moc"
