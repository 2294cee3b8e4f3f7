#pragma once

#include "services/TaskTransferWorker.h"

#include <QObject>
#include <QUrl>
#include <QVariantMap>

class AuthService;
class DbManager;
class QThread;
class TaskService;

// Moves tasks in and out of the database (iCalendar import and export, CSV export) and backs the
// file up, one job at a time on a worker thread, so that the window stays responsive.
class TaskTransferService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool backupAvailable READ backupAvailable CONSTANT)

public:
    explicit TaskTransferService(DbManager *db, AuthService *auth, TaskService *tasks,
                                 QObject *parent = nullptr);
    ~TaskTransferService() override;

    bool busy() const { return m_thread != nullptr; }
    double progress() const { return m_progress; }
    // A file is copied by the program; a server's database is backed up with the server's own tools.
    bool backupAvailable() const;

    // Each starts a job and answers whether it started; the outcome always arrives as finished().
    Q_INVOKABLE bool importCalendar(const QUrl &file);
    // The signed-in user's tasks under the tasks page's current filter, all pages.
    Q_INVOKABLE bool exportCalendar(const QUrl &file);
    Q_INVOKABLE bool exportCsv(const QUrl &file);
    // Refused with the error "serverBackup" when !backupAvailable().
    Q_INVOKABLE bool backupDatabase(const QUrl &file);
    Q_INVOKABLE void cancel();
    // The file a save dialog proposes for an operation ("calendar", "csv" or "backup"): a dated
    // name in saveFolder() of the documents folder.
    Q_INVOKABLE QUrl suggestedFile(const QString &operation) const;
    // The local path of a file a dialog chose.
    Q_INVOKABLE static QString localPath(const QUrl &file);
    Q_INVOKABLE static bool fileExists(const QUrl &file);

    // wanted, made when missing; the home folder when it cannot be made.
    static QString saveFolder(const QString &wanted);

signals:
    void busyChanged();
    void progressChanged();
    // The worker's result map plus "operation", "file" (local path) and "details": why entries were
    // skipped, or why a file was refused, as a sentence to show after the result (empty if nothing).
    void finished(const QVariantMap &result);

private:
    bool start(TaskTransferWorker::Operation operation, const QString &operationName, const QUrl &file);
    void onWorkerFinished(QVariantMap result);
    void setProgress(double progress);
    QString details(const QVariantMap &result) const;

    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    TaskService *m_tasks = nullptr;
    QThread *m_thread = nullptr;
    TaskTransferWorker *m_worker = nullptr;
    QString m_operation;
    QString m_file;
    double m_progress = 0;
};
