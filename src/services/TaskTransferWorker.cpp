#include "services/TaskTransferWorker.h"

#include "services/InputLimits.h"
#include "storage/PrivateFiles.h"
#include "storage/SqlSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr int kCancelCheckInterval = 256;
// Tasks per statement of an import: each a short transaction of its own.
constexpr int kImportBatch = 500;

const char kCsvHeader[] = "id,name,level,done,expiry,created,customer,notes\r\n";

// The limits every writer of tasks keeps; entries beyond them are skipped, not cut.
bool withinLimits(const TaskCalendarFormat::TransferTask &task)
{
    return task.name.size() <= InputLimits::kNameLength &&
           task.notes.trimmed().size() <= InputLimits::kNotesLength && InputLimits::expiryFits(task.expireAt);
}

// One CSV field: quoted, with doubled quotes, when it holds a quote, a separator or a line break.
QByteArray csvField(const QString &value)
{
    QByteArray bytes = value.toUtf8();
    if (bytes.contains('"') || bytes.contains(',') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

QString localText(const QDateTime &dateTime)
{
    // The zone's own rules: much faster than the C library's local time for every row.
    static const QTimeZone local = QTimeZone::systemTimeZone();
    return dateTime.isValid() ? dateTime.toTimeZone(local).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                              : QString();
}

QByteArray csvRow(const TaskCalendarFormat::TransferTask &task)
{
    return QByteArray::number(task.id) + ',' + csvField(task.name) + ',' + QByteArray::number(task.level) +
           ',' + (task.done ? "1" : "0") + ',' + csvField(localText(task.expireAt)) + ',' +
           csvField(localText(task.createAt)) + ',' + csvField(task.customerName) + ',' +
           csvField(task.notes) + "\r\n";
}

} // namespace

TaskTransferWorker::TaskTransferWorker(Job job, QObject *parent) : QObject(parent), m_job(std::move(job)) {}

void TaskTransferWorker::run()
{
    emit finished(execute());
}

QVariantMap TaskTransferWorker::execute()
{
    const QString connection = QStringLiteral("duevia-transfer-%1").arg(quintptr(this));
    const bool reading = m_job.operation != Operation::ImportCalendar;
    // The same file under two names must not be overwritten as if it were another one.
    if (reading && m_job.database.isFile(m_job.filePath)) {
        m_error = QStringLiteral("sameAsDatabase");
    } else {
        QString openError;
        QSqlDatabase db = m_job.database.open(connection, reading, openError);
        if (!openError.isEmpty()) {
            m_error = QStringLiteral("database");
        } else {
            switch (m_job.operation) {
            case Operation::ImportCalendar:
                importCalendar(db);
                break;
            case Operation::ExportCalendar:
            case Operation::ExportCsv:
                exportTasks(db);
                break;
            case Operation::Backup:
                backup(db);
                break;
            }
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connection);
    }
    const bool stopped = cancelled() && m_error.isEmpty();
    return {{QStringLiteral("error"), stopped ? QString() : m_error},
            {QStringLiteral("cancelled"), stopped},
            {QStringLiteral("imported"), m_imported},
            {QStringLiteral("duplicates"), m_duplicates},
            {QStringLiteral("skipped"), m_skipped},
            {QStringLiteral("exported"), m_exported}};
}

void TaskTransferWorker::report(int done, int total)
{
    const int percent = total > 0 ? int(qint64(done) * 100 / total) : 0;
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    emit progressChanged(done, total);
}

// An import stages its tasks under the negative of the account's id, which no account has, so that
// nothing of the account sees them, in one short transaction per batch; then it hands them to the
// account a batch at a time. No lock of the account's counters is held across batches, and a failed
// or cancelled import deletes what it staged (or the next import of the account does).
struct TaskTransferWorker::ImportStatements
{
    struct Row
    {
        const TransferTask *task = nullptr;
        QVariant epoch;
        int customerId = -1;
    };

    ImportStatements(const QSqlDatabase &db, int userId)
        : existing(db), customer(db), insert(db), publish(db), discard(db), pendingOwner(-userId)
    {
        insert.setForwardOnly(true);
        prepared =
            existing.prepare(QStringLiteral("SELECT 1 FROM tasks WHERE user_id = :uid AND name = :name"
                                            " AND expire_at_epoch IS NOT DISTINCT FROM :epoch LIMIT 1")) &&
            customer.prepare(
                QStringLiteral("SELECT id FROM customers WHERE name = :name ORDER BY id LIMIT 1")) &&
            insert.prepare(insertStatement(kImportBatch)) &&
            publish.prepare(QStringLiteral("UPDATE tasks SET user_id = :uid WHERE user_id = :pending"
                                           " AND id BETWEEN :first AND :last")) &&
            discard.prepare(QStringLiteral("DELETE FROM tasks WHERE id IN (SELECT id FROM tasks"
                                           " WHERE user_id = :pending ORDER BY id LIMIT %1)")
                                .arg(kImportBatch));
    }

    // One multi-row insert of the import's columns, with a placeholder for every value.
    static QString insertStatement(int rows)
    {
        const QString row = QLatin1Char('(') +
                            QStringList(kImportColumnCount, QStringLiteral("?")).join(QStringLiteral(", ")) +
                            QLatin1Char(')');
        return QStringLiteral("INSERT INTO tasks (user_id, name, active, notes, expire_at, expire_at_epoch,"
                              " level, customer_id) VALUES ") +
               QStringList(rows, row).join(QStringLiteral(", ")) + QStringLiteral(" RETURNING id");
    }

    static constexpr int kImportColumnCount = 8;

    QSqlQuery existing;
    QSqlQuery customer;
    // Of kImportBatch rows.
    QSqlQuery insert;
    QSqlQuery publish;
    QSqlQuery discard;
    bool prepared = false;
    int pendingOwner = 0;
    // Customer ids by name, -1 for a name no customer has.
    QHash<QString, int> customerIds;
    // Name and expiry of the file's tasks taken so far.
    QSet<std::pair<QString, qint64>> taken;
    QList<Row> batch;
    // Ascending.
    QList<int> staged;
};

void TaskTransferWorker::importCalendar(QSqlDatabase &db)
{
    QFile file(m_job.filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannotRead");
        return;
    }
    const TaskCalendarFormat::ReadResult calendar = TaskCalendarFormat::read(file.readAll());
    if (!calendar.isCalendar) {
        m_error = QStringLiteral("notCalendar");
        return;
    }
    m_skipped = calendar.skipped;
    ImportStatements statements(db, m_job.userId);
    // What an import that could not finish left staged goes first.
    if (!statements.prepared || !discardStaged(statements)) {
        m_error = QStringLiteral("database");
        return;
    }
    // A step per task of the file while staging, and as many again while publishing.
    const int total = int(calendar.tasks.size());
    for (int i = 0; i < total && m_error.isEmpty() && !cancelled(); ++i) {
        if (!takeTask(statements, calendar.tasks.at(i)) ||
            (statements.batch.size() == kImportBatch && !stageBatch(db, statements)))
            m_error = QStringLiteral("database");
        report(i + 1, 2 * total);
    }
    if (m_error.isEmpty() && !cancelled() && !stageBatch(db, statements))
        m_error = QStringLiteral("database");
    if (!m_error.isEmpty() || cancelled()) {
        discardStaged(statements);
        return;
    }
    publish(statements, total);
}

// Counts the task as skipped or as a duplicate, or adds it to the next batch; false when the
// database fails.
bool TaskTransferWorker::takeTask(ImportStatements &statements, const TransferTask &task)
{
    if (!withinLimits(task)) {
        ++m_skipped;
        return true;
    }
    const QVariant epoch = SqlSupport::epochValue(task.expireAt);
    const std::pair<QString, qint64> key(task.name, epoch.isNull() ? std::numeric_limits<qint64>::min()
                                                                   : epoch.toLongLong());
    if (statements.taken.contains(key)) {
        ++m_duplicates;
        return true;
    }
    QSqlQuery &existing = statements.existing;
    existing.bindValue(QStringLiteral(":uid"), m_job.userId);
    existing.bindValue(QStringLiteral(":name"), task.name);
    existing.bindValue(QStringLiteral(":epoch"), epoch);
    if (!existing.exec())
        return false;
    const bool duplicate = existing.next();
    existing.finish();
    if (duplicate) {
        ++m_duplicates;
        return true;
    }

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
    statements.taken.insert(key);
    statements.batch.append({&task, epoch, customerId});
    return true;
}

// Inserts the batch under the pending owner and notes the ids it got.
bool TaskTransferWorker::stageBatch(QSqlDatabase &db, ImportStatements &statements)
{
    const int rows = int(statements.batch.size());
    if (rows == 0)
        return true;
    QSqlQuery shortInsert(db);
    shortInsert.setForwardOnly(true);
    if (rows < kImportBatch && !shortInsert.prepare(ImportStatements::insertStatement(rows)))
        return false;
    QSqlQuery &insert = rows < kImportBatch ? shortInsert : statements.insert;
    int value = 0;
    for (const ImportStatements::Row &row : std::as_const(statements.batch)) {
        const TransferTask &task = *row.task;
        insert.bindValue(value++, statements.pendingOwner);
        insert.bindValue(value++, task.name);
        insert.bindValue(value++, task.done ? 1 : 0);
        insert.bindValue(value++, task.notes.trimmed());
        insert.bindValue(value++, SqlSupport::utcValue(task.expireAt));
        insert.bindValue(value++, row.epoch);
        insert.bindValue(value++, task.level);
        insert.bindValue(value++, row.customerId);
    }
    statements.batch.clear();
    // One statement, its own short transaction.
    const qsizetype before = statements.staged.size();
    const bool ok = insert.exec();
    while (ok && insert.next())
        statements.staged.append(insert.value(0).toInt());
    insert.finish();
    std::sort(statements.staged.begin() + before, statements.staged.end());
    return ok;
}

// Hands the staged tasks to the account, a batch per statement in ascending id; a cancel is no
// longer followed.
void TaskTransferWorker::publish(ImportStatements &statements, int total)
{
    m_publishing = true;
    const QList<int> &staged = statements.staged;
    QSqlQuery &publish = statements.publish;
    for (qsizetype from = 0; from < staged.size(); from += kImportBatch) {
        const qsizetype last = qMin(from + kImportBatch, staged.size()) - 1;
        publish.bindValue(QStringLiteral(":uid"), m_job.userId);
        publish.bindValue(QStringLiteral(":pending"), statements.pendingOwner);
        publish.bindValue(QStringLiteral(":first"), staged.at(from));
        publish.bindValue(QStringLiteral(":last"), staged.at(last));
        if (!publish.exec()) {
            m_error = QStringLiteral("database");
            discardStaged(statements);
            return;
        }
        m_imported += publish.numRowsAffected();
        report(total + int((last + 1) * total / staged.size()), 2 * total);
    }
}

// Deletes the account's staged rows, a batch per statement.
bool TaskTransferWorker::discardStaged(ImportStatements &statements)
{
    QSqlQuery &discard = statements.discard;
    int removed = kImportBatch;
    while (removed == kImportBatch) {
        discard.bindValue(QStringLiteral(":pending"), statements.pendingOwner);
        if (!discard.exec())
            return false;
        removed = discard.numRowsAffected();
    }
    return true;
}

bool TaskTransferWorker::readSelection(QSqlDatabase &db, QList<TransferTask> &tasks)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.level,"
                                 " tasks.expire_at, tasks.create_at, customers.name"
                                 " FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                                 " WHERE tasks.user_id = :uid") +
                  m_job.selection.clauses + QStringLiteral(" ORDER BY tasks.id"));
    for (auto it = m_job.selection.bindings.cbegin(); it != m_job.selection.bindings.cend(); ++it)
        query.bindValue(it.key(), it.value());
    if (!query.exec())
        return false;
    while (query.next()) {
        if (tasks.size() % kCancelCheckInterval == 0 && cancelled())
            return true;
        TransferTask task;
        task.id = query.value(0).toLongLong();
        task.name = query.value(1).toString();
        task.notes = query.value(2).toString();
        task.done = query.value(3).toBool();
        task.level = query.value(4).toInt();
        task.expireAt = SqlSupport::utcFromText(query.value(5));
        task.createAt = SqlSupport::utcFromText(query.value(6));
        task.customerName = query.value(7).toString();
        tasks.append(std::move(task));
    }
    return true;
}

void TaskTransferWorker::exportTasks(QSqlDatabase &db)
{
    // Read first, then write: the file's read lock is held only as long as the rows take to read.
    QList<TransferTask> tasks;
    if (!readSelection(db, tasks)) {
        m_error = QStringLiteral("database");
        return;
    }
    // The file appears only when complete; a cancelled export leaves the old one as it was.
    QSaveFile file(m_job.filePath);
    if (cancelled() || !file.open(QIODevice::WriteOnly)) {
        m_error = cancelled() ? QString() : QStringLiteral("cannotWrite");
        return;
    }
    PrivateFiles::makePrivateFile(file);
    const bool csv = m_job.operation == Operation::ExportCsv;
    const QString databaseTag = QString::fromLatin1(
        QCryptographicHash::hash(m_job.database.identity().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    const TaskCalendarFormat::Writer writer(databaseTag + QStringLiteral("@duevia"));
    // The byte order mark tells spreadsheets that the text is UTF-8.
    file.write(csv ? QByteArray("\xEF\xBB\xBF") + kCsvHeader : writer.head());
    const int total = int(tasks.size());
    for (int i = 0; i < total; ++i) {
        if (i % kCancelCheckInterval == 0 && cancelled()) {
            file.cancelWriting();
            return;
        }
        file.write(csv ? csvRow(tasks.at(i)) : writer.todo(tasks.at(i)));
        report(i + 1, total);
    }
    if (!csv)
        file.write(writer.tail());
    if (!file.commit()) {
        m_error = QStringLiteral("cannotWrite");
        return;
    }
    m_exported = total;
}

void TaskTransferWorker::backup(QSqlDatabase &db)
{
    // VACUUM INTO needs a file that does not exist yet; the copy replaces the target once complete.
    const QString partial = m_job.filePath + QStringLiteral(".part");
    QFile::remove(partial);
    QSqlQuery vacuum(db);
    vacuum.prepare(QStringLiteral("VACUUM INTO :path"));
    vacuum.bindValue(QStringLiteral(":path"), partial);
    if (!vacuum.exec()) {
        QFile::remove(partial);
        m_error = QStringLiteral("cannotWrite");
        return;
    }
    if (cancelled()) {
        QFile::remove(partial);
        return;
    }
    PrivateFiles::makePrivateFile(partial);
    if (QFile::exists(m_job.filePath) && !QFile::remove(m_job.filePath)) {
        QFile::remove(partial);
        m_error = QStringLiteral("cannotWrite");
        return;
    }
    if (!QFile::rename(partial, m_job.filePath))
        m_error = QStringLiteral("cannotWrite");
}
