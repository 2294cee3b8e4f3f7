#include "services/TaskTransferWorker.h"

#include "services/TaskImportWriter.h"
#include "storage/PrivateFiles.h"
#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <filesystem>
#include <utility>

namespace {

constexpr int kCancelCheckInterval = 256;
// Bytes of an export written at once.
constexpr qsizetype kExportBlock = 1 << 20;

const char kCsvHeader[] = "id,name,level,done,expiry,created,customer,notes\r\n";

// One CSV field: quoted, with doubled quotes, when it holds a quote, a separator or a line break.
// A text that a spreadsheet would take for a formula (OWASP's list) gets an apostrophe in front, and
// so does one that starts with an apostrophe: dropping one leading apostrophe gives the text back.
QByteArray csvField(const QString &value, bool text = false)
{
    QByteArray bytes = value.toUtf8();
    if (text && !bytes.isEmpty() && QByteArrayView("=+-@\t\r'").contains(bytes.front()))
        bytes.prepend('\'');
    if (bytes.contains('"') || bytes.contains(',') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

QString localText(const std::optional<qint64> &utc)
{
    // The zone's own rules: much faster than the C library's local time for every row.
    static const QTimeZone local = QTimeZone::systemTimeZone();
    return utc ? QDateTime::fromSecsSinceEpoch(*utc, local).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
               : QString();
}

QByteArray csvRow(const TaskCalendarFormat::TransferTask &task)
{
    return QByteArray::number(task.id) + ',' + csvField(task.name, true) + ',' +
           QByteArray::number(task.level) + ',' + (task.done ? "1" : "0") + ',' +
           csvField(localText(task.expireAt)) + ',' + csvField(localText(task.createAt)) + ',' +
           csvField(task.customerName, true) + ',' + csvField(task.notes, true) + "\r\n";
}

// Seconds of a stored UTC text ("2026-03-22 17:50:00", "2026-03-22T17:50:00.000Z"), without the cost
// of a date-time object per row; anything else goes the long way.
std::optional<qint64> utcSeconds(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    const QString text = value.toString();
    const auto digitsAt = [&](qsizetype at, int length) {
        int number = 0;
        for (qsizetype i = at; i < at + length; ++i) {
            const char16_t c = text.at(i).unicode();
            if (c < u'0' || c > u'9')
                return -1;
            number = number * 10 + (c - u'0');
        }
        return number;
    };
    const bool plain = text.size() == 19 || (text.size() == 24 && text.endsWith(QLatin1Char('Z')));
    if (plain && text.at(4) == u'-' && text.at(7) == u'-' && (text.at(10) == u' ' || text.at(10) == u'T')) {
        const QDate date(digitsAt(0, 4), digitsAt(5, 2), digitsAt(8, 2));
        const int h = digitsAt(11, 2), m = digitsAt(14, 2), sec = digitsAt(17, 2);
        if (date.isValid() && h >= 0 && h < 24 && m >= 0 && m < 60 && sec >= 0 && sec < 60)
            return (date.toJulianDay() - 2440588) * 86400 + h * 3600 + m * 60 + sec;
    }
    const QDateTime dateTime = SqlSupport::utcFromText(value);
    return dateTime.isValid() ? std::optional<qint64>(dateTime.toSecsSinceEpoch()) : std::nullopt;
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
            {QStringLiteral("exported"), m_exported},
            {QStringLiteral("readable"), m_readable},
            {QStringLiteral("skippedBy"), m_skips},
            {QStringLiteral("dueText"), m_dueText}};
}

void TaskTransferWorker::report(qint64 done, qint64 total)
{
    const int permille = total > 0 ? int(done * 1000 / total) : 0;
    if (permille / 10 == m_lastPercent)
        return;
    m_lastPercent = permille / 10;
    emit progressChanged(permille, 1000);
}

void TaskTransferWorker::importCalendar(QSqlDatabase &db)
{
    QFile file(m_job.filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannotRead");
        return;
    }
    const qint64 size = file.size();
    if (size > kLargestImport) {
        m_error = QStringLiteral("tooLarge");
        return;
    }
    // Reading is the first half of the progress, writing the second.
    TaskCalendarReader reader([this, size](qint64 bytes) {
        report(bytes, 2 * size);
        return !cancelled() && bytes <= kLargestImport;
    });
    const TaskCalendarReader::Outcome outcome = reader.read(file);
    file.close();
    m_dueText = QString::fromUtf8(reader.firstUnreadableDue());
    if (outcome == TaskCalendarReader::Outcome::NotCalendar) {
        m_error = QStringLiteral("notCalendar");
        return;
    }
    if (outcome == TaskCalendarReader::Outcome::Cancelled) {
        if (!cancelled())
            m_error = QStringLiteral("tooLarge");
        return;
    }
    if (outcome == TaskCalendarReader::Outcome::Damaged) {
        TaskCalendarReader::Task task;
        for (qsizetype i = 0; i < reader.size(); ++i)
            m_readable += reader.task(i, task) == TaskCalendarReader::Skip::None;
        m_error = QStringLiteral("damaged");
        return;
    }
    // One transaction: a failed or cancelled import leaves the database as it was.
    QSqlQuery transaction(db);
    if (!transaction.exec(SqlDialect::of(db).beginWrite())) {
        m_error = QStringLiteral("database");
        return;
    }
    TaskImportWriter writer(db, m_job.userId);
    const bool written = writer.write(reader, [this, size](qint64 done, qint64 total) {
        if (cancelled())
            return false;
        report(size + size * done / total, 2 * size);
        return true;
    });
    m_imported = writer.imported();
    m_duplicates = writer.duplicates();
    m_skipped = writer.skipped();
    m_skips = writer.skips();
    if (written && !cancelled() && transaction.exec(QStringLiteral("COMMIT"))) {
        m_finished = true;
        return;
    }
    if (!cancelled())
        qWarning().noquote() << "Import failed:" << transaction.lastError().text();
    transaction.exec(QStringLiteral("ROLLBACK"));
    if (!cancelled())
        m_error = QStringLiteral("database");
    m_imported = m_duplicates = 0;
}

void TaskTransferWorker::exportTasks(QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT tasks.id, tasks.name, tasks.notes, tasks.active, tasks.level,"
                                 " tasks.expire_at_epoch, tasks.expire_at, tasks.create_at, customers.name"
                                 " FROM tasks LEFT JOIN customers ON tasks.customer_id = customers.id"
                                 " WHERE tasks.user_id = :uid") +
                  m_job.selection.clauses + QStringLiteral(" ORDER BY tasks.id"));
    for (auto it = m_job.selection.bindings.cbegin(); it != m_job.selection.bindings.cend(); ++it)
        query.bindValue(it.key(), it.value());
    // For the progress: a forward-only result does not tell its size, and the count goes first, as
    // the server's rows arrive while they are read.
    int total = 0;
    {
        QSqlQuery count(db);
        count.prepare(QStringLiteral("SELECT COUNT(*) FROM tasks LEFT JOIN customers"
                                     " ON tasks.customer_id = customers.id WHERE tasks.user_id = :uid") +
                      m_job.selection.clauses);
        for (auto it = m_job.selection.bindings.cbegin(); it != m_job.selection.bindings.cend(); ++it)
            count.bindValue(it.key(), it.value());
        total = count.exec() && count.next() ? count.value(0).toInt() : 0;
    }
    if (!query.exec()) {
        m_error = QStringLiteral("database");
        return;
    }
    // The file appears only when complete; a cancelled export leaves the old one as it was.
    QSaveFile file(m_job.filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannotWrite");
        return;
    }
    PrivateFiles::makePrivateFile(file);
    const bool csv = m_job.operation == Operation::ExportCsv;
    const QString databaseTag = QString::fromLatin1(
        QCryptographicHash::hash(m_job.database.identity().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16));
    TaskCalendarFormat::Writer writer(databaseTag + QStringLiteral("@duevia"));
    // The byte order mark tells spreadsheets that the text is UTF-8.
    QByteArray buffer = csv ? QByteArray("\xEF\xBB\xBF") + kCsvHeader : writer.head();
    buffer.reserve(kExportBlock + (1 << 16));
    TransferTask task;
    int count = 0;
    for (; query.next(); ++count) {
        if (count % kCancelCheckInterval == 0 && cancelled()) {
            file.cancelWriting();
            return;
        }
        task.id = query.value(0).toLongLong();
        task.name = query.value(1).toString();
        task.notes = query.value(2).toString();
        task.done = query.value(3).toBool();
        task.level = query.value(4).toInt();
        const QVariant epoch = query.value(5);
        task.expireAt =
            epoch.isNull() ? utcSeconds(query.value(6)) : std::optional<qint64>(epoch.toLongLong());
        task.createAt = utcSeconds(query.value(7));
        task.customerName = query.value(8).toString();
        if (csv)
            buffer += csvRow(task);
        else
            writer.appendTodo(task, buffer);
        if (buffer.size() >= kExportBlock) {
            file.write(buffer);
            buffer.resize(0);
        }
        if (total > 0)
            report(count + 1, total);
    }
    if (query.lastError().isValid()) {
        file.cancelWriting();
        m_error = QStringLiteral("database");
        return;
    }
    if (!csv)
        buffer += writer.tail();
    file.write(buffer);
    if (!file.commit()) {
        m_error = QStringLiteral("cannotWrite");
        return;
    }
    m_finished = true;
    m_exported = count;
}

void TaskTransferWorker::backup(QSqlDatabase &db)
{
    // VACUUM INTO needs a file that does not exist yet; the copy then replaces the target in one
    // rename, so that a crash leaves the old backup or the new one, and at most a stale ".part".
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
    // Replaces an existing file at once (MoveFileExW with MOVEFILE_REPLACE_EXISTING on Windows).
    std::error_code error;
    std::filesystem::rename(QFileInfo(partial).filesystemFilePath(),
                            QFileInfo(m_job.filePath).filesystemFilePath(), error);
    if (error) {
        QFile::remove(partial);
        m_error = QStringLiteral("cannotWrite");
    }
    m_finished = true;
}
