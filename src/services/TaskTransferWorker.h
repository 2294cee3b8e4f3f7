#pragma once

#include "services/TaskCalendarFormat.h"
#include "services/TaskCalendarReader.h"
#include "services/TaskService.h"
#include "storage/DatabaseTarget.h"

#include <QObject>
#include <QSqlDatabase>
#include <QVariantMap>

#include <atomic>

// One import, export or backup, run away from the window's thread. It opens a connection of its
// own to the same database, file or server (connections belong to the thread that made them).
class TaskTransferWorker : public QObject
{
    Q_OBJECT

public:
    enum class Operation { ImportCalendar, ExportCalendar, ExportCsv, Backup };

    struct Job
    {
        Operation operation = Operation::ExportCalendar;
        DatabaseTarget database;
        QString filePath;
        int userId = -1;
        TaskService::Selection selection;
    };

    explicit TaskTransferWorker(Job job, QObject *parent = nullptr);

    // May be called from any thread; the work stops at its next step and leaves nothing of itself.
    void cancel() { m_cancelled = true; }

    // Does the work on the calling thread and returns the result map of finished().
    QVariantMap execute();

public slots:
    void run();

signals:
    // done of total steps; sent at most about a hundred times per job.
    void progressChanged(int done, int total);
    // "error" (empty on success), "cancelled", and the counts "imported", "duplicates", "skipped",
    // "exported". An import also gives the skipped entries by reason ("skippedBy": "noSummary",
    // "unreadableDue", "tooLong"; "dueText", the first DUE value that could not be read), and "readable", the
    // tasks a damaged file holds.
    void finished(const QVariantMap &result);

public:
    // The largest file an import reads.
    static constexpr qint64 kLargestImport = 256LL << 20;

private:
    using TransferTask = TaskCalendarFormat::TransferTask;

    void importCalendar(QSqlDatabase &db);
    void exportTasks(QSqlDatabase &db);
    void backup(QSqlDatabase &db);
    void report(qint64 done, qint64 total);
    // A cancel after the work is done changes nothing.
    bool cancelled() const { return m_cancelled && !m_finished; }

    Job m_job;
    std::atomic_bool m_cancelled{false};
    bool m_finished = false;
    int m_lastPercent = -1;
    QString m_error;
    int m_imported = 0;
    int m_duplicates = 0;
    int m_skipped = 0;
    int m_exported = 0;
    int m_readable = 0;
    QVariantMap m_skips;
    QString m_dueText;
};
