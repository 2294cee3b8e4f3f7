#include "sync/SyncEngine.h"

#include "sync/TaskMerge.h"
#include "sync/VTodoText.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSqlDatabase>
#include <QThread>
#include <QUuid>

namespace {

// Resources fetched per calendar-multiget, and changes recorded per transaction.
constexpr int kBatch = 100;
// Beyond this many resources to fetch, every task of the list is asked for at once.
constexpr int kWholeList = 500;
// Tries of a PUT that keeps meeting a newer version on the server before the pass gives up.
constexpr int kPutAttempts = 3;

QString tr(const char *text)
{
    return QCoreApplication::translate("SyncEngine", text);
}

QString kindOf(CalDavClient::Error error)
{
    switch (error) {
    case CalDavClient::Error::None:
        return {};
    case CalDavClient::Error::Authentication:
        return QStringLiteral("auth");
    case CalDavClient::Error::Tls:
        return QStringLiteral("tls");
    case CalDavClient::Error::Insecure:
        return QStringLiteral("insecure");
    case CalDavClient::Error::NoTaskList:
        return QStringLiteral("notasks");
    case CalDavClient::Error::Cancelled:
        return QStringLiteral("cancelled");
    case CalDavClient::Error::Network:
    case CalDavClient::Error::Timeout:
        return QStringLiteral("network");
    default:
        return QStringLiteral("server");
    }
}

// The collection's path with a trailing slash, where new resources go.
QString collectionPath(const QString &collectionUrl)
{
    QString path = QUrl(collectionUrl).path();
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

SyncEngine::SyncEngine(Job job, QObject *parent) : QObject(parent), m_job(std::move(job)) {}

void SyncEngine::cancel()
{
    m_cancelled = true;
    QMutexLocker lock(&m_clientLock);
    if (m_client)
        m_client->cancel();
}

void SyncEngine::run()
{
    emit finished(execute());
}

QVariantMap SyncEngine::execute()
{
    QNetworkAccessManager network;
    CalDavClient client(&network);
    client.setTimeout(m_job.timeoutMs);
    client.setAccount(CalDavClient::serverUrl(m_job.serverUrl), m_job.username, m_job.password);
    {
        QMutexLocker lock(&m_clientLock);
        m_client = &client;
        if (m_cancelled)
            client.cancel();
    }

    if (m_job.operation == Operation::FindLists) {
        QList<CalDavClient::Collection> collections;
        if (!failed(client.discover(collections))) {
            QVariantList lists;
            for (const CalDavClient::Collection &collection : std::as_const(collections)) {
                lists.append(QVariantMap{{QStringLiteral("url"), collection.url.toString()},
                                         {QStringLiteral("name"), collection.displayName}});
            }
            m_extra.insert(QStringLiteral("lists"), lists);
        }
    } else if (m_job.operation == Operation::CreateList) {
        QList<CalDavClient::Collection> collections;
        CalDavClient::Collection created;
        const CalDavClient::Status found = client.discover(collections);
        // A home without any task list yet is where the new one goes.
        if ((found.ok() || found.error == CalDavClient::Error::NoTaskList) &&
            !failed(client.makeCalendar(m_job.listName, created))) {
            m_extra.insert(QStringLiteral("url"), created.url.toString());
            m_extra.insert(QStringLiteral("name"), created.displayName);
        } else if (!found.ok() && found.error != CalDavClient::Error::NoTaskList) {
            failed(found);
        }
    } else {
        const QString name = QStringLiteral("duevia-sync-%1").arg(quintptr(QThread::currentThreadId()));
        {
            QString error;
            QSqlDatabase db = m_job.database.open(name, false, error);
            if (!db.isOpen()) {
                m_failure = {QStringLiteral("storage"), error};
            } else {
                SyncStore store(db, m_job.userId);
                sync(store);
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    m_extra.insert(QStringLiteral("requests"), client.requestCount());
    QMutexLocker lock(&m_clientLock);
    m_client = nullptr;
    return result();
}

void SyncEngine::sync(SyncStore &store)
{
    const std::optional<SyncStore::Account> account = store.account();
    if (!account) {
        m_failure = {QStringLiteral("storage"), tr("No sync account is set up.")};
        return;
    }
    if (store.linkUnlinkedTasks() < 0 && storageFailed())
        return;
    if (!pull(store, *account) || !pushDeletes(store) || !pushChanges(store, *account))
        return;
    store.setLastSync(QDateTime::currentDateTimeUtc());
}

bool SyncEngine::pull(SyncStore &store, const SyncStore::Account &account)
{
    m_phase = tr("Looking for changes on the server");
    report(0);
    const QUrl collection(account.collectionUrl);
    CalDavClient::Changes changes;
    CalDavClient::Status status = m_client->syncCollection(collection, account.syncToken, changes);
    if (status.error == CalDavClient::Error::InvalidSyncToken) {
        // No token, or one the server no longer honours: compare every ETag instead.
        changes = {};
        QList<CalDavClient::Resource> listed;
        status = m_client->listEtags(collection, listed);
        if (failed(status))
            return false;
        QHash<QString, QByteArray> known = store.etagsByHref();
        for (const CalDavClient::Resource &resource : std::as_const(listed)) {
            if (known.take(resource.href) != resource.etag || resource.etag.isEmpty())
                changes.changed.append(resource);
        }
        changes.removed = known.keys();
    } else if (failed(status)) {
        return false;
    }

    QStringList wanted;
    QHash<QString, QByteArray> known = store.etagsByHref();
    // A resource deleted here and unchanged there is left to the delete that follows.
    for (const SyncStore::PendingDelete &pending : store.pendingDeletes(1 << 30))
        known.insert(pending.href, pending.etag);
    for (const CalDavClient::Resource &resource : std::as_const(changes.changed)) {
        // Our own PUTs come back in the list with the ETag already recorded.
        const auto it = known.constFind(resource.href);
        if (it == known.cend() || it.value() != resource.etag || resource.etag.isEmpty())
            wanted.append(resource.href);
    }
    m_total = int(wanted.size()) + store.dirtyCount() + int(store.pendingDeletes(1 << 30).size());
    m_phase = tr("Receiving changes");
    report(m_done);
    if (wanted.size() > kWholeList) {
        // Most of the list: one query of every task instead of many multigets.
        QList<CalDavClient::Resource> all;
        if (failed(m_client->allTasks(collection, all)))
            return false;
        const QSet<QString> wantedSet(wanted.cbegin(), wanted.cend());
        QList<CalDavClient::Resource> batch;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (wantedSet.contains(all.at(i).href))
                batch.append(all.at(i));
            if (batch.size() == kBatch || (i + 1 == all.size() && !batch.isEmpty())) {
                if (m_cancelled)
                    return failed({CalDavClient::Error::Cancelled, 0, tr("Cancelled.")});
                if (!applyBatch(store, batch))
                    return false;
                report(m_done + int(batch.size()));
                batch.clear();
            }
        }
        wanted.clear();
    }
    for (qsizetype i = 0; i < wanted.size(); i += kBatch) {
        if (m_cancelled)
            return failed({CalDavClient::Error::Cancelled, 0, tr("Cancelled.")});
        QList<CalDavClient::Resource> resources;
        if (failed(m_client->multiget(collection, wanted.mid(i, kBatch), resources)))
            return false;
        if (!applyBatch(store, resources))
            return false;
        report(m_done + int(std::min<qsizetype>(kBatch, wanted.size() - i)));
    }
    if (!applyRemoved(store, changes.removed))
        return false;
    // Only now is everything up to the token recorded.
    if (changes.syncToken != account.syncToken && !store.setSyncToken(changes.syncToken))
        return storageFailed();
    return true;
}

bool SyncEngine::applyBatch(SyncStore &store, const QList<CalDavClient::Resource> &resources)
{
    if (!store.begin())
        return storageFailed();
    for (const CalDavClient::Resource &resource : resources) {
        const VTodoText::Parsed parsed = VTodoText::parse(resource.data);
        if (!parsed.ok)
            continue; // an event or a journal in a list that also holds tasks
        const std::optional<SyncStore::Link> link = store.linkByHref(resource.href);
        bool ok = true;
        if (!link) {
            ok = keepDeletedHere(store, resource);
        } else if (!link->dirty) {
            ok = store.updateFromServer(link->taskId, parsed.fields, resource.href, resource.etag,
                                        resource.data, false);
            ++m_pulled;
        } else {
            ok = mergeWithServer(store, *link, resource);
        }
        if (!ok) {
            store.rollback();
            return storageFailed();
        }
    }
    return store.commit() || storageFailed();
}

// A resource without a task here: new on the server, or changed there after it was deleted here. In
// the second case the delete waiting to be sent gives way and the task comes back with a notice.
bool SyncEngine::keepDeletedHere(SyncStore &store, const CalDavClient::Resource &remote)
{
    const VTodoText::Parsed parsed = VTodoText::parse(remote.data);
    const qint64 id =
        store.insertFromServer(parsed.fields, remote.href, parsed.uid, remote.etag, remote.data);
    if (id <= 0)
        return false;
    ++m_pulled;
    for (const SyncStore::PendingDelete &pending : store.pendingDeletes(1 << 30)) {
        if (pending.href != remote.href)
            continue;
        if (!store.forgetDelete(pending.id))
            return false;
        ++m_notices;
        return store.addNotice(id, tr("This task was deleted here and changed on the server at the same "
                                      "time; it was kept with the server's changes."));
    }
    return true;
}

bool SyncEngine::mergeWithServer(SyncStore &store, const SyncStore::Link &link,
                                 const CalDavClient::Resource &remote)
{
    const std::optional<SyncTaskFields> local = store.task(link.taskId);
    if (!local)
        return store.deleteFromServer(link.taskId) && keepDeletedHere(store, remote);
    const VTodoText::Parsed theirs = VTodoText::parse(remote.data);
    // Without a version both sides agreed on, what the server has counts as that version, so the
    // changes made here are kept.
    const VTodoText::Parsed base = link.syncedText.isEmpty() ? theirs : VTodoText::parse(link.syncedText);
    const TaskMerge::Result merged =
        TaskMerge::merge(base.fields, *local, link.changedAt, theirs.fields, theirs.lastModified);
    if (!store.updateFromServer(link.taskId, merged.fields, remote.href, remote.etag, remote.data,
                                merged.fields != theirs.fields))
        return false;
    ++m_pulled;
    if (!merged.notices.isEmpty()) {
        ++m_notices;
        if (!store.addNotice(link.taskId, merged.notices.join(QLatin1Char('\n'))))
            return false;
    }
    return true;
}

bool SyncEngine::applyRemoved(SyncStore &store, const QStringList &removed)
{
    if (removed.isEmpty())
        return true;
    if (!store.begin())
        return storageFailed();
    for (const QString &href : removed) {
        const std::optional<SyncStore::Link> link = store.linkByHref(href);
        bool ok = true;
        if (link && link->etag.isEmpty())
            continue; // named before a PUT that never arrived: it was not on the server yet
        if (!link) {
            // Deleted on both sides: nothing left to send.
            for (const SyncStore::PendingDelete &pending : store.pendingDeletes(1 << 30)) {
                if (pending.href == href)
                    ok = ok && store.forgetDelete(pending.id);
            }
        } else if (link->dirty) {
            ok = store.detachFromServer(link->taskId) &&
                 store.addNotice(link->taskId, tr("This task was deleted on the server after it was "
                                                  "changed here; it was kept and is sent again."));
            ++m_notices;
        } else {
            ok = store.deleteFromServer(link->taskId);
            ++m_pulled;
        }
        if (!ok) {
            store.rollback();
            return storageFailed();
        }
    }
    return store.commit() || storageFailed();
}

bool SyncEngine::pushDeletes(SyncStore &store)
{
    m_phase = tr("Sending deletions");
    report(m_done);
    const QList<SyncStore::PendingDelete> deletes = store.pendingDeletes(1 << 30);
    for (const SyncStore::PendingDelete &pending : deletes) {
        if (m_cancelled)
            return failed({CalDavClient::Error::Cancelled, 0, tr("Cancelled.")});
        const CalDavClient::Status status = m_client->remove(pending.href, pending.etag);
        if (status.error == CalDavClient::Error::Precondition) {
            // Changed on the server since it was last synced: the change wins over the delete.
            CalDavClient::Resource remote;
            const CalDavClient::Status fetched = m_client->get(pending.href, remote);
            if (fetched.error != CalDavClient::Error::NotFound && failed(fetched))
                return false;
            if (fetched.ok()) {
                remote.href = pending.href;
                if (!store.begin() || !keepDeletedHere(store, remote) || !store.commit()) {
                    store.rollback();
                    return storageFailed();
                }
                continue;
            }
        } else if (status.error != CalDavClient::Error::NotFound && failed(status)) {
            return false;
        }
        if (!store.forgetDelete(pending.id))
            return storageFailed();
        ++m_deleted;
        report(m_done + 1);
    }
    return true;
}

bool SyncEngine::pushChanges(SyncStore &store, const SyncStore::Account &account)
{
    m_phase = tr("Sending changes");
    report(m_done);
    QSet<qint64> tried;
    for (;;) {
        QList<SyncStore::Link> batch;
        for (const SyncStore::Link &link : store.dirtyLinks(kBatch + int(tried.size()))) {
            if (!tried.contains(link.taskId) && batch.size() < kBatch)
                batch.append(link);
        }
        if (batch.isEmpty())
            return true;
        // New tasks get their resource names first, recorded before any PUT: an answer lost on the
        // way still finds its resource next time.
        if (!store.begin())
            return storageFailed();
        for (SyncStore::Link &link : batch) {
            tried.insert(link.taskId);
            if (!link.href.isEmpty())
                continue;
            if (link.uid.isEmpty())
                link.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
            link.href = collectionPath(account.collectionUrl) + link.uid + QStringLiteral(".ics");
            if (!store.markSynced(link.taskId, -1, link.href, link.uid, {}, {})) {
                store.rollback();
                return storageFailed();
            }
        }
        if (!store.commit())
            return storageFailed();
        bool ok = true;
        for (const SyncStore::Link &link : std::as_const(batch)) {
            if (m_cancelled)
                ok = !failed({CalDavClient::Error::Cancelled, 0, tr("Cancelled.")});
            ok = ok && pushOne(store, link);
            if (!ok)
                break;
            report(m_done + 1);
        }
        if (!recordSent(store) || !ok)
            return false;
    }
}

// The PUTs of a batch are recorded in one short transaction, never held open across the network.
bool SyncEngine::recordSent(SyncStore &store)
{
    if (m_sent.isEmpty())
        return true;
    bool ok = store.begin();
    for (const Sent &sent : std::as_const(m_sent)) {
        ok = ok && store.markSynced(sent.taskId, sent.revision, sent.href, sent.uid, sent.etag, sent.text);
    }
    ok = ok && store.commit();
    m_sent.clear();
    if (!ok) {
        store.rollback();
        return storageFailed();
    }
    return true;
}

bool SyncEngine::pushOne(SyncStore &store, SyncStore::Link link)
{
    for (int attempt = 0; attempt < kPutAttempts; ++attempt) {
        const std::optional<SyncTaskFields> fields = store.task(link.taskId);
        if (!fields)
            return true; // deleted meanwhile: the delete goes out with the next pass
        const QDateTime changedAt =
            link.changedAt.isValid() ? link.changedAt : QDateTime::currentDateTimeUtc();
        QByteArray text;
        if (link.syncedText.isEmpty()) {
            text = VTodoText::create(link.uid, *fields, changedAt);
        } else {
            text = VTodoText::patch(link.syncedText, *fields, changedAt);
            if (text == link.syncedText && !link.etag.isEmpty()) {
                m_sent.append({link.taskId, link.revision, link.href, link.uid, link.etag, text});
                return true;
            }
        }
        QByteArray etag;
        const CalDavClient::Status status = m_client->put(link.href, text, link.etag, etag);
        if (status.ok()) {
            if (etag.isEmpty()) {
                // The server changed what it stored, or just did not say: its own version is the base.
                CalDavClient::Resource stored;
                if (failed(m_client->get(link.href, stored)))
                    return false;
                etag = stored.etag;
                text = stored.data;
            }
            ++m_pushed;
            m_sent.append({link.taskId, link.revision, link.href, link.uid, etag, text});
            return true;
        }
        if (status.error == CalDavClient::Error::NotFound) {
            // Gone from the server while changed here: sent again as new.
            link.etag.clear();
            link.syncedText.clear();
            continue;
        }
        if (status.error != CalDavClient::Error::Precondition)
            return !failed(status);
        CalDavClient::Resource remote;
        const CalDavClient::Status fetched = m_client->get(link.href, remote);
        if (fetched.error == CalDavClient::Error::NotFound) {
            link.etag.clear();
            link.syncedText.clear();
            continue;
        }
        if (failed(fetched))
            return false;
        remote.href = link.href;
        if (!recordSent(store))
            return false;
        if (!store.begin() || !mergeWithServer(store, link, remote) || !store.commit()) {
            store.rollback();
            return storageFailed();
        }
        const std::optional<SyncStore::Link> merged = store.linkOfTask(link.taskId);
        if (!merged || !merged->dirty)
            return true;
        link = *merged;
    }
    return true; // still changing on the server: the next pass tries again
}

bool SyncEngine::failed(const CalDavClient::Status &status)
{
    if (status.ok())
        return false;
    if (m_failure.kind.isEmpty())
        m_failure = {kindOf(status.error), status.text};
    return true;
}

bool SyncEngine::storageFailed()
{
    if (m_failure.kind.isEmpty())
        m_failure = {QStringLiteral("storage"), tr("The database could not record the sync.")};
    return false;
}

void SyncEngine::report(int done)
{
    m_done = done;
    // About a hundred reports per pass, and one whenever the phase changes.
    const int step = std::max(1, m_total / 100);
    if (m_phase == m_reportedPhase && done - m_reportedDone < step && done != m_total)
        return;
    m_reportedPhase = m_phase;
    m_reportedDone = done;
    emit progressChanged(m_phase, m_done, std::max(m_total, m_done));
}

QVariantMap SyncEngine::result() const
{
    QVariantMap map = m_extra;
    map.insert(QStringLiteral("error"), m_failure.kind);
    map.insert(QStringLiteral("text"), m_failure.text);
    map.insert(QStringLiteral("pulled"), m_pulled);
    map.insert(QStringLiteral("pushed"), m_pushed);
    map.insert(QStringLiteral("deleted"), m_deleted);
    map.insert(QStringLiteral("notices"), m_notices);
    return map;
}
