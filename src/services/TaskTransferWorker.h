#pragma once

#include "services/TaskCalendarFormat.h"
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
    // An import that has begun to hand its tasks to the account finishes.
    void cancel() { m_cancelled = true; }

    // Does the work on the calling thread and returns the result map of finished().
    QVariantMap execute();

public slots:
    void run();

signals:
    // done of total steps; sent at most about a hundred times per job.
    void progressChanged(int done, int total);
    // "error" (empty on success), "cancelled", and the counts "imported", "duplicates", "skipped",
    // "exported".
    void finished(const QVariantMap &result);

private:
    using TransferTask = TaskCalendarFormat::TransferTask;

    struct ImportStatements;

    void importCalendar(QSqlDatabase &db);
    bool takeTask(ImportStatements &statements, const TransferTask &task);
    bool stageBatch(QSqlDatabase &db, ImportStatements &statements);
    void publish(ImportStatements &statements, int total);
    bool discardStaged(ImportStatements &statements);
    void exportTasks(QSqlDatabase &db);
    bool readSelection(QSqlDatabase &db, QList<TransferTask> &tasks);
    void backup(QSqlDatabase &db);
    void report(int done, int total);
    bool cancelled() const { return m_cancelled && !m_publishing; }

    Job m_job;
    std::atomic_bool m_cancelled{false};
    bool m_publishing = false;
    int m_lastPercent = -1;
    QString m_error;
    int m_imported = 0;
    int m_duplicates = 0;
    int m_skipped = 0;
    int m_exported = 0;
};
