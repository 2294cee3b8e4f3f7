#include "services/TaskImportWriter.h"

#include "services/CalendarTimeZone.h"
#include "services/InputLimits.h"
#include "services/TaskCalendarReader.h"
#include "storage/SqlDialect.h"
#include "storage/TaskBulkInsert.h"

#include <QDate>
#include <QDebug>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <cstdio>

namespace {

// Tasks per statement of an import, all in one transaction.
constexpr int kImportBatch = 500;
constexpr int kImportColumns = 8;
// Tasks between two steps: a cancel ends the import within them.
constexpr int kStepInterval = 256;

// The stored text of an expiry: what SqlSupport::utcValue() writes.
QString expiryText(qint64 utc)
{
    const auto [day, second] = CalendarTimeZone::split(utc);
    const QDate date = QDate::fromJulianDay(2440588 + day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", date.year(), date.month(),
                  date.day(), second / 3600, second / 60 % 60, second % 60);
    return QString::fromLatin1(text);
}

// Whether the expiry's UTC and local years both lie in range (InputLimits::expiryFits).
bool expiryFits(qint64 utc)
{
    const int year = QDate::fromJulianDay(2440588 + CalendarTimeZone::split(utc).first).year();
    if (year > 1 && year < 9999)
        return true;
    return InputLimits::expiryFits(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()));
}

} // namespace

TaskImportWriter::TaskImportWriter(const QSqlDatabase &db, int userId) : m_db(db), m_userId(userId) {}

// The rows go into the account's tasks a batch per statement, each statement inserting those the
// account does not hold yet (same name and expiry). On a server they first go into a temporary table
// and then into the tasks in one statement: its triggers then lock the account's counters in key
// order, as every other statement does, where one statement per batch could deadlock with a save.
struct TaskImportWriter::Statements
{
    explicit Statements(const QSqlDatabase &db)
        : dialect(SqlDialect::of(db)), staging(db.driverName() == QLatin1String("QPSQL")), customer(db),
          insert(db), shortInsert(db), publish(db)
    {
        insert.setForwardOnly(true);
        shortInsert.setForwardOnly(true);
        QSqlQuery table(db);
        prepared =
            customer.prepare(
                QStringLiteral("SELECT id FROM customers WHERE name = :name ORDER BY id LIMIT 1")) &&
            (!staging || table.exec(QStringLiteral(
                             "CREATE TEMPORARY TABLE import_rows (seq INTEGER, user_id INTEGER, name TEXT,"
                             " active INTEGER, notes TEXT, expire_at TEXT, expire_at_epoch BIGINT,"
                             " level INTEGER, customer_id INTEGER) ON COMMIT DROP"))) &&
            insert.prepare(insertStatement(kImportBatch));
    }

    QString insertStatement(int rows) const
    {
        const QString placeholders =
            QStringList(kImportColumns, QStringLiteral("?")).join(QStringLiteral(", "));
        if (staging) {
            return QStringLiteral("INSERT INTO import_rows (user_id, name, active, notes, expire_at,"
                                  " expire_at_epoch, level, customer_id, seq) VALUES ") +
                   QStringList(rows, QStringLiteral("(%1, ?)").arg(placeholders)).join(QStringLiteral(", "));
        }
        const QString row = QStringLiteral("(CAST(? AS INTEGER), CAST(? AS TEXT), CAST(? AS INTEGER),"
                                           " CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS BIGINT),"
                                           " CAST(? AS INTEGER), CAST(? AS INTEGER))");
        return newRows(QStringLiteral("(VALUES ") + QStringList(rows, row).join(QStringLiteral(", ")) +
                       QStringLiteral(")"));
    }

    // Inserts the rows of source (columns column1 to column8 in the order of the tasks' columns
    // below) that the account does not hold yet. The unary plus keeps the planner off the expiry
    // index, which would scan every task of an expiry (or of none) that many tasks share.
    QString newRows(const QString &source) const
    {
        return QStringLiteral(
                   "INSERT INTO tasks (user_id, name, active, notes, expire_at, expire_at_epoch,"
                   " level, customer_id) SELECT v.column1, v.column2, v.column3, v.column4,"
                   " v.column5, v.column6, v.column7, v.column8 FROM %1 AS v WHERE NOT EXISTS"
                   " (SELECT 1 FROM tasks t WHERE t.user_id = v.column1 AND %2 = %3"
                   " AND t.name = v.column2 AND +t.expire_at_epoch IS NOT DISTINCT FROM v.column6)")
            .arg(source, dialect.caseless(QStringLiteral("t.name")),
                 dialect.caseless(QStringLiteral("v.column2")));
    }

    // On a server: the staged rows into the tasks, in file order.
    bool publishStaged(int &inserted)
    {
        const QString staged = QStringLiteral(
            "(SELECT user_id AS column1, name AS column2, active AS column3, notes AS column4,"
            " expire_at AS column5, expire_at_epoch AS column6, level AS column7, customer_id AS column8,"
            " seq FROM import_rows)");
        if (!publish.exec(newRows(staged) + QStringLiteral(" ORDER BY v.seq")))
            return false;
        inserted = publish.numRowsAffected();
        return true;
    }

    const SqlDialect &dialect;
    const bool staging;
    QSqlQuery customer;
    QSqlQuery insert;
    QSqlQuery shortInsert;
    QSqlQuery publish;
    bool prepared = false;
    int staged = 0;
    // Customer ids by name, -1 for a name no customer has.
    QHash<QString, int> customerIds;
    // The values of the next statement, row after row.
    QVariantList values;
};

bool TaskImportWriter::write(TaskCalendarReader &reader, const Step &step)
{
    Statements statements(m_db);
    QSqlQuery staged(m_db);
    // What an earlier version of the import could leave under the negated account id.
    if (!statements.prepared || !staged.prepare(QStringLiteral("DELETE FROM tasks WHERE user_id = :pending")))
        return false;
    staged.bindValue(QStringLiteral(":pending"), -m_userId);
    TaskBulkInsert bulk(m_db);
    if (!staged.exec() || !bulk.begin())
        return false;
    static const char *const reasons[] = {"", "noSummary", "unreadableDue", "tooLong"};
    // The file's tasks taken so far by the hash of their name and expiry; hashes that collide are
    // told apart by the tasks.
    QMultiHash<size_t, quint32> taken;
    TaskCalendarReader::Task task, earlier;
    int rows = 0;
    for (qsizetype i = 0; i < reader.size(); ++i) {
        if (i % kStepInterval == 0 && !step(i, reader.size()))
            return false;
        TaskCalendarReader::Skip skip = reader.task(i, task);
        if (skip == TaskCalendarReader::Skip::None && task.due && !expiryFits(*task.due))
            skip = TaskCalendarReader::Skip::UnreadableDue;
        if (skip != TaskCalendarReader::Skip::None) {
            ++m_skipped;
            const QString reason = QLatin1String(reasons[int(skip)]);
            m_skips[reason] = m_skips.value(reason).toInt() + 1;
            continue;
        }
        const size_t hash = qHashMulti(0, task.name, task.due.value_or(0), task.due.has_value());
        bool repeated = false;
        for (auto it = taken.constFind(hash); it != taken.cend() && it.key() == hash && !repeated; ++it) {
            reader.task(*it, earlier);
            repeated = earlier.name == task.name && earlier.due == task.due;
        }
        if (repeated) {
            ++m_duplicates;
            continue;
        }
        taken.insert(hash, quint32(i));

        int customerId = -1;
        if (!task.customerName.isEmpty()) {
            auto known = statements.customerIds.constFind(task.customerName);
            if (known == statements.customerIds.cend()) {
                QSqlQuery &customer = statements.customer;
                customer.bindValue(QStringLiteral(":name"), task.customerName);
                if (!customer.exec())
                    return false;
                const int id = customer.next() ? customer.value(0).toInt() : -1;
                customer.finish();
                known = statements.customerIds.insert(task.customerName, id);
            }
            customerId = *known;
        }
        QVariantList &values = statements.values;
        values << m_userId << task.name << (task.done ? 1 : 0) << task.notes
               << (task.due ? QVariant(expiryText(*task.due)) : QVariant(QMetaType::fromType<QString>()))
               << (task.due ? QVariant(*task.due) : QVariant(QMetaType::fromType<qint64>())) << task.level
               << customerId;
        if (statements.staging)
            values << statements.staged++;
        if (++rows == kImportBatch) {
            if (!insertBatch(statements, rows))
                return false;
            rows = 0;
        }
    }
    if (!insertBatch(statements, rows))
        return false;
    int inserted = 0;
    if (statements.staging && statements.staged > 0) {
        if (!statements.publishStaged(inserted)) {
            qWarning().noquote() << "Import failed:" << statements.publish.lastError().text();
            return false;
        }
        m_imported = inserted;
        m_duplicates += statements.staged - inserted;
    }
    return bulk.finish();
}

bool TaskImportWriter::insertBatch(Statements &statements, int rows)
{
    if (rows == 0)
        return true;
    QSqlQuery &insert = rows == kImportBatch ? statements.insert : statements.shortInsert;
    if (rows < kImportBatch && !insert.prepare(statements.insertStatement(rows)))
        return false;
    for (qsizetype i = 0; i < statements.values.size(); ++i)
        insert.bindValue(int(i), statements.values.at(i));
    statements.values.clear();
    if (!insert.exec()) {
        qWarning().noquote() << "Import failed:" << insert.lastError().text();
        return false;
    }
    const int inserted = insert.numRowsAffected();
    insert.finish();
    if (!statements.staging) {
        m_imported += inserted;
        m_duplicates += rows - inserted;
    }
    return true;
}
