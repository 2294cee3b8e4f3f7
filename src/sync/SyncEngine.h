#pragma once

#include "storage/DatabaseTarget.h"
#include "sync/CalDavClient.h"
#include "sync/SyncStore.h"

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QVariantMap>

#include <atomic>

// One job of the CalDAV sync, run away from the window's thread on a connection of its own to the
// same database: finding the task lists of an account, creating one, or a sync pass that brings the
// server's changes in, sends the local ones out and merges what changed on both sides. A pass can be
// cancelled or cut off by the network at any point: what it recorded is consistent, and the next pass
// finishes the rest.
class SyncEngine : public QObject
{
    Q_OBJECT

public:
    enum class Operation { FindLists, CreateList, Sync };

    struct Job
    {
        Operation operation = Operation::Sync;
        DatabaseTarget database;
        int userId = -1;
        QString serverUrl;
        QString username;
        QString password;
        // CreateList: the new list's name.
        QString listName;
        int timeoutMs = 30000;
    };

    explicit SyncEngine(Job job, QObject *parent = nullptr);

    // Thread-safe; the request under way is aborted and the pass ends at once.
    void cancel();

    // Does the job on the calling thread and returns the result map of finished().
    QVariantMap execute();

public slots:
    void run();

signals:
    // What the pass is doing (a sentence) and how far it got; total 0 while unknown.
    void progressChanged(const QString &phase, int done, int total);
    // "error": empty, or "auth", "network", "tls", "insecure", "server", "notasks", "storage",
    // "cancelled"; "text": the reason in words. A pass adds "pulled", "pushed", "deleted" and
    // "notices", and every job "requests" (how many it sent); FindLists "lists" (maps of "url" and "name");
    // CreateList "url" and "name".
    void finished(const QVariantMap &result);

private:
    struct Failure
    {
        QString kind;
        QString text;
    };

    void sync(SyncStore &store);
    bool pull(SyncStore &store, const SyncStore::Account &account);
    bool applyBatch(SyncStore &store, const QList<CalDavClient::Resource> &resources);
    bool applyRemoved(SyncStore &store, const QStringList &removed);
    bool pushDeletes(SyncStore &store);
    bool pushChanges(SyncStore &store, const SyncStore::Account &account);
    bool pushOne(SyncStore &store, SyncStore::Link link);
    bool recordSent(SyncStore &store);
    bool mergeWithServer(SyncStore &store, const SyncStore::Link &link, const CalDavClient::Resource &remote);
    bool keepDeletedHere(SyncStore &store, const CalDavClient::Resource &remote);
    bool failed(const CalDavClient::Status &status);
    bool storageFailed();
    void report(int done);
    QVariantMap result() const;

    Job m_job;
    CalDavClient *m_client = nullptr;
    // Guards m_client against cancel() from another thread.
    QMutex m_clientLock;
    std::atomic_bool m_cancelled{false};
    Failure m_failure;
    int m_total = 0;
    int m_done = 0;
    QString m_phase;
    QString m_reportedPhase;
    int m_reportedDone = 0;
    int m_pulled = 0;
    int m_pushed = 0;
    int m_deleted = 0;
    int m_notices = 0;
    QVariantMap m_extra;
    // PUTs answered but not yet recorded.
    struct Sent
    {
        qint64 taskId;
        qint64 revision;
        QString href;
        QString uid;
        QByteArray etag;
        QByteArray text;
    };
    QList<Sent> m_sent;
};
