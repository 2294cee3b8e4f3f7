#include "services/TaskTransferService.h"

#include "services/AuthService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"
#include "storage/SqlSupport.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

TaskTransferService::TaskTransferService(DbManager *db, AuthService *auth, TaskService *tasks,
                                         QObject *parent)
    : QObject(parent), m_db(db), m_auth(auth), m_tasks(tasks)
{
    // Quitting stops a running job at its next step; the destructor then waits for it.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &TaskTransferService::cancel);
}

TaskTransferService::~TaskTransferService()
{
    if (!m_thread)
        return;
    m_worker->cancel();
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
}

bool TaskTransferService::backupAvailable() const
{
    return !(m_db && m_db->isServer());
}

bool TaskTransferService::importCalendar(const QUrl &file)
{
    return start(TaskTransferWorker::Operation::ImportCalendar, QStringLiteral("import"), file);
}

bool TaskTransferService::exportCalendar(const QUrl &file)
{
    return start(TaskTransferWorker::Operation::ExportCalendar, QStringLiteral("calendar"), file);
}

bool TaskTransferService::exportCsv(const QUrl &file)
{
    return start(TaskTransferWorker::Operation::ExportCsv, QStringLiteral("csv"), file);
}

bool TaskTransferService::backupDatabase(const QUrl &file)
{
    return start(TaskTransferWorker::Operation::Backup, QStringLiteral("backup"), file);
}

void TaskTransferService::cancel()
{
    if (m_worker)
        m_worker->cancel();
}

QUrl TaskTransferService::suggestedFile(const QString &operation) const
{
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QString name = QStringLiteral("duevia-tasks-%1.ics").arg(today);
    if (operation == QLatin1String("csv"))
        name = QStringLiteral("duevia-tasks-%1.csv").arg(today);
    else if (operation == QLatin1String("backup"))
        name = QStringLiteral("duevia-backup-%1.db").arg(today);
    const QDir folder(saveFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
    return QUrl::fromLocalFile(folder.filePath(name));
}

bool TaskTransferService::fileExists(const QUrl &file)
{
    return QFileInfo::exists(localPath(file));
}

QString TaskTransferService::saveFolder(const QString &wanted)
{
    if (!wanted.isEmpty() && QDir().mkpath(wanted))
        return wanted;
    return QDir::homePath();
}

QString TaskTransferService::localPath(const QUrl &file)
{
    if (file.isLocalFile())
        return file.toLocalFile();
    // Qt's own save dialog joins its folder and the typed name with "/" into a URL without a scheme,
    // also when the name is a full path: "/home/anna/Documents//tmp/tasks.ics" means /tmp/tasks.ics.
    const QString path = QUrl::fromPercentEncoding(file.toString(QUrl::FullyEncoded).toUtf8());
    const qsizetype typed = path.indexOf(QLatin1String("//"), 1);
    return typed < 0 ? path : path.mid(typed + 1);
}

bool TaskTransferService::start(TaskTransferWorker::Operation operation, const QString &operationName,
                                const QUrl &file)
{
    const QString path = localPath(file);
    const bool forUser = operation != TaskTransferWorker::Operation::Backup;
    QString error;
    if (m_thread)
        error = QStringLiteral("busy");
    else if (!SqlSupport::isOpen(m_db))
        error = QStringLiteral("database");
    else if (!forUser && !backupAvailable())
        error = QStringLiteral("serverBackup");
    else if (forUser && !(m_auth && m_auth->loggedIn() && m_tasks))
        error = QStringLiteral("notSignedIn");
    else if (path.isEmpty())
        error = QStringLiteral("noFile");
    if (!error.isEmpty()) {
        emit finished({{QStringLiteral("operation"), operationName},
                       {QStringLiteral("file"), path},
                       {QStringLiteral("error"), error}});
        return false;
    }

    TaskTransferWorker::Job job;
    job.operation = operation;
    job.database = m_db->target();
    job.filePath = path;
    if (forUser) {
        job.userId = m_auth->userId();
        job.selection = m_tasks->currentSelection();
    }
    m_operation = operationName;
    m_file = path;
    m_worker = new TaskTransferWorker(std::move(job));
    m_thread = new QThread;
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_worker, &TaskTransferWorker::run);
    connect(m_worker, &TaskTransferWorker::progressChanged, this,
            [this](int done, int total) { setProgress(total > 0 ? double(done) / total : 0); });
    connect(m_worker, &TaskTransferWorker::finished, this, &TaskTransferService::onWorkerFinished);
    setProgress(0);
    m_thread->start();
    emit busyChanged();
    return true;
}

void TaskTransferService::onWorkerFinished(QVariantMap result)
{
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
    m_worker = nullptr;
    m_thread = nullptr;
    emit busyChanged();
    if (result.value(QStringLiteral("imported")).toInt() > 0 && m_tasks) {
        // Written on another connection: the page reloads and the other views hear of it as after
        // any change of tasks.
        m_tasks->onTasksChanged();
        emit m_tasks->tasksChanged();
    }
    result.insert(QStringLiteral("operation"), m_operation);
    result.insert(QStringLiteral("file"), m_file);
    result.insert(QStringLiteral("details"), details(result));
    emit finished(result);
}

QString TaskTransferService::details(const QVariantMap &result) const
{
    const QString error = result.value(QStringLiteral("error")).toString();
    if (error == QLatin1String("damaged"))
        return tr("This calendar file is damaged: it ends early or holds a NUL byte. %n tasks could be read"
                  " from it; nothing was imported.",
                  "", result.value(QStringLiteral("readable")).toInt());
    if (error == QLatin1String("tooLarge"))
        return tr("This file is larger than %1 MB, the most an import reads; nothing was imported.")
            .arg(TaskTransferWorker::kLargestImport >> 20);
    if (!error.isEmpty() || result.value(QStringLiteral("cancelled")).toBool())
        return QString();
    const QVariantMap skipped = result.value(QStringLiteral("skippedBy")).toMap();
    QStringList reasons;
    if (const int n = skipped.value(QStringLiteral("noSummary")).toInt())
        reasons << tr("%n without a summary", "", n);
    if (const int n = skipped.value(QStringLiteral("unreadableDue")).toInt()) {
        const QString example = result.value(QStringLiteral("dueText")).toString();
        reasons << (example.isEmpty()
                        ? tr("%n with a due date outside the years 1 to 9999", "", n)
                        : tr("%n with a due date that cannot be read (such as \"%1\")", "", n).arg(example));
    }
    if (const int n = skipped.value(QStringLiteral("tooLong")).toInt())
        reasons << tr("%n with a name or notes longer than the program keeps", "", n);
    return reasons.isEmpty() ? QString() : tr("Skipped: %1.").arg(reasons.join(QStringLiteral("; ")));
}

void TaskTransferService::setProgress(double progress)
{
    if (qFuzzyCompare(progress + 1, m_progress + 1))
        return;
    m_progress = progress;
    emit progressChanged();
}
