#pragma once

#include "sync/SyncTaskFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

class QSqlQuery;

// The sync bookkeeping of one user in the database, on either engine: the account (which server and
// task list), the link of every task to its resource on the server (href, UID, ETag and the text last
// synced), which tasks changed since, deletes not yet on the server, and the notices of merges.
// Triggers of the schema keep the marks on every write path (task service, "Delete Done", import,
// customer changes); this class reads them and records what a sync did. Every method runs on the
// connection it was given, on that connection's thread; false or nullopt means a statement failed.
class SyncStore
{
public:
    struct Account
    {
        QString serverUrl;
        QString username;
        QString collectionUrl;
        QString collectionName;
        QByteArray syncToken;
        // UTC; invalid before the first complete sync.
        QDateTime lastSync;
    };

    struct Link
    {
        qint64 taskId = 0;
        // Empty while the task has never reached the server.
        QString href;
        QString uid;
        QByteArray etag;
        // The server's text as last synced: the base of merges and the text changes are patched into.
        QByteArray syncedText;
        bool dirty = false;
        // Raised by every change of the task; markSynced() clears dirty only if it is unchanged.
        qint64 revision = 0;
        // UTC time of the last local change.
        QDateTime changedAt;
    };

    struct PendingDelete
    {
        qint64 id = 0;
        QString href;
        QByteArray etag;
    };

    SyncStore(const QSqlDatabase &db, int userId);

    int userId() const { return m_userId; }

    std::optional<Account> account() const;
    // Creates or replaces the user's account. A different server, user name or task list than before
    // forgets every link, delete and token, so that the next sync starts afresh with the new list.
    bool saveAccount(const Account &account);
    bool setSyncToken(const QByteArray &token);
    bool setLastSync(const QDateTime &when);
    // Removes the account with all its links, deletes and notices; the tasks stay.
    bool removeAccount();

    // Links every task of the user that has none yet as changed (to be sent as new). Returns how many.
    int linkUnlinkedTasks();
    std::optional<Link> linkOfTask(qint64 taskId) const;
    std::optional<Link> linkByHref(const QString &href) const;
    // ETags of every linked resource by href.
    QHash<QString, QByteArray> etagsByHref() const;
    // Changed links (dirty), at most limit, oldest change first.
    QList<Link> dirtyLinks(int limit) const;
    int dirtyCount() const;

    // The task as this program owns it; nullopt when it does not exist (or is another user's).
    std::optional<SyncTaskFields> task(qint64 taskId) const;

    // A task that came from the server: inserted for the user with a clean link. A customer named
    // but unknown is created. Returns the new task id, or 0.
    qint64 insertFromServer(const SyncTaskFields &fields, const QString &href, const QString &uid,
                            const QByteArray &etag, const QByteArray &text);
    // Writes fields into the task and records the server's version in its link. stillDirty keeps the
    // task marked as changed (a merge whose result the server does not have yet).
    bool updateFromServer(qint64 taskId, const SyncTaskFields &fields, const QString &href,
                          const QByteArray &etag, const QByteArray &text, bool stillDirty);
    // After a PUT: records href, UID, ETag and the text sent; clears the change mark only when the
    // task's revision is still revision (a change made meanwhile is sent by the next sync).
    bool markSynced(qint64 taskId, qint64 revision, const QString &href, const QString &uid,
                    const QByteArray &etag, const QByteArray &text);
    // The server removed the resource: the task goes too, without a delete to send back.
    bool deleteFromServer(qint64 taskId);
    // The server removed a resource whose task changed here: the link forgets the resource, so the
    // task is sent again as new (same UID and href).
    bool detachFromServer(qint64 taskId);

    QList<PendingDelete> pendingDeletes(int limit) const;
    bool forgetDelete(qint64 id);

    // A notice shown with the task (a merge replaced a value, a delete met an edit). Appends to an
    // existing notice.
    bool addNotice(qint64 taskId, const QString &text);
    QString notice(qint64 taskId) const;
    bool clearNotice(qint64 taskId);
    int noticeCount() const;

    // One transaction around a sync step (BEGIN IMMEDIATE on a file).
    bool begin();
    bool commit();
    void rollback();

private:
    // The statement prepared on the connection, with :uid bound when it names it.
    QSqlQuery prepared(const QString &sql) const;
    bool exec(const QString &sql, const QVariantMap &values = {}) const;
    int count(const QString &sql) const;
    // Runs work inside the transaction begin() opened, or in one of its own when none is open.
    bool inTransaction(const std::function<bool()> &work);
    bool forgetLinks();
    std::optional<Link> linkWhere(const QString &condition, const QVariant &value) const;
    // The id of the customer of that name (created when there is none), 0 for no name.
    std::optional<int> customerId(const QString &name);
    // Records the server's version of the task in its link; uid only when given, changedAt (epoch
    // seconds) when valid, the present moment otherwise.
    bool writeLink(qint64 taskId, const QString &href, const QString *uid, const QByteArray &etag,
                   const QByteArray &text, bool dirty, const QVariant &changedAt);

    QSqlDatabase m_db;
    int m_userId = -1;
    bool m_inTransaction = false; // begun by begin()
};
