#include "sync/SyncStore.h"

#include "storage/SqlDialect.h"
#include "storage/SqlSupport.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

namespace {

const QString kLinkColumns =
    QStringLiteral("task_id, href, uid, etag, synced_text, dirty, revision, changed_at_epoch");

// Texts the server gave as bytes are stored as text, NULL when empty.
QVariant textValue(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

QVariant textValue(const QByteArray &bytes)
{
    return textValue(QString::fromUtf8(bytes));
}

QByteArray bytesOf(const QVariant &value)
{
    return value.toString().toUtf8();
}

QDateTime utcFromEpoch(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromSecsSinceEpoch(value.toLongLong(), QTimeZone::utc());
}

bool run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << query.lastQuery();
    return false;
}

SyncStore::Link linkFrom(const QSqlQuery &query)
{
    SyncStore::Link link;
    link.taskId = query.value(0).toLongLong();
    link.href = query.value(1).toString();
    link.uid = query.value(2).toString();
    link.etag = bytesOf(query.value(3));
    link.syncedText = bytesOf(query.value(4));
    link.dirty = query.value(5).toInt() != 0;
    link.revision = query.value(6).toLongLong();
    link.changedAt = utcFromEpoch(query.value(7));
    return link;
}

void bindFields(QSqlQuery &query, const SyncTaskFields &fields, int customerId)
{
    query.bindValue(QStringLiteral(":name"), fields.name);
    query.bindValue(QStringLiteral(":notes"), fields.notes);
    query.bindValue(QStringLiteral(":active"), fields.done ? 1 : 0);
    query.bindValue(QStringLiteral(":expire"), SqlSupport::utcValue(fields.expireAt));
    query.bindValue(QStringLiteral(":epoch"), SqlSupport::epochValue(fields.expireAt));
    query.bindValue(QStringLiteral(":level"), fields.level);
    query.bindValue(QStringLiteral(":customer"), customerId);
}

} // namespace

SyncStore::SyncStore(const QSqlDatabase &db, int userId) : m_db(db), m_userId(userId) {}

QSqlQuery SyncStore::prepared(const QString &sql) const
{
    QSqlQuery query(m_db);
    query.prepare(sql);
    if (sql.contains(QLatin1String(":uid")))
        query.bindValue(QStringLiteral(":uid"), m_userId);
    return query;
}

bool SyncStore::exec(const QString &sql, const QVariantMap &values) const
{
    QSqlQuery query = prepared(sql);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        query.bindValue(it.key(), it.value());
    return run(query);
}

std::optional<SyncStore::Account> SyncStore::account() const
{
    QSqlQuery query =
        prepared(QStringLiteral("SELECT server_url, username, collection_url, collection_name, sync_token,"
                                " last_sync_epoch FROM sync_accounts WHERE user_id = :uid"));
    if (!run(query) || !query.next())
        return std::nullopt;
    return Account{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                   query.value(3).toString(), bytesOf(query.value(4)),   utcFromEpoch(query.value(5))};
}

bool SyncStore::saveAccount(const Account &account)
{
    return inTransaction([&] {
        const std::optional<Account> stored = this->account();
        const bool moved =
            stored && (stored->serverUrl != account.serverUrl || stored->username != account.username ||
                       stored->collectionUrl != account.collectionUrl);
        if (moved && !forgetLinks())
            return false;
        QSqlQuery insert = prepared(QStringLiteral(
            "INSERT INTO sync_accounts (user_id, server_url, username, collection_url, collection_name,"
            " sync_token, last_sync_epoch) VALUES (:uid, :server, :user, :collection, :name, :token, "
            ":last)"));
        insert.bindValue(QStringLiteral(":server"), account.serverUrl);
        insert.bindValue(QStringLiteral(":user"), account.username);
        insert.bindValue(QStringLiteral(":collection"), account.collectionUrl);
        insert.bindValue(QStringLiteral(":name"), textValue(account.collectionName));
        insert.bindValue(QStringLiteral(":token"), textValue(moved ? QByteArray() : account.syncToken));
        insert.bindValue(QStringLiteral(":last"),
                         SqlSupport::epochValue(moved ? QDateTime() : account.lastSync));
        return exec(QStringLiteral("DELETE FROM sync_accounts WHERE user_id = :uid")) && run(insert);
    });
}

bool SyncStore::setSyncToken(const QByteArray &token)
{
    return exec(QStringLiteral("UPDATE sync_accounts SET sync_token = :token WHERE user_id = :uid"),
                {{QStringLiteral(":token"), textValue(token)}});
}

bool SyncStore::setLastSync(const QDateTime &when)
{
    return exec(QStringLiteral("UPDATE sync_accounts SET last_sync_epoch = :last WHERE user_id = :uid"),
                {{QStringLiteral(":last"), SqlSupport::epochValue(when)}});
}

bool SyncStore::removeAccount()
{
    return inTransaction([&] {
        return forgetLinks() && exec(QStringLiteral("DELETE FROM sync_accounts WHERE user_id = :uid"));
    });
}

bool SyncStore::forgetLinks()
{
    return exec(QStringLiteral("DELETE FROM sync_links WHERE user_id = :uid")) &&
           exec(QStringLiteral("DELETE FROM sync_deletes WHERE user_id = :uid"));
}

int SyncStore::linkUnlinkedTasks()
{
    QSqlQuery query =
        prepared(QStringLiteral("INSERT INTO sync_links (task_id, user_id, dirty, revision, changed_at_epoch)"
                                " SELECT t.id, t.user_id, 1, 1, %1 FROM tasks t WHERE t.user_id = :uid"
                                " AND NOT EXISTS (SELECT 1 FROM sync_links l WHERE l.task_id = t.id)"
                                " ON CONFLICT (task_id) DO NOTHING")
                     .arg(SqlDialect::of(m_db).epochNow()));
    return run(query) ? query.numRowsAffected() : -1;
}

std::optional<SyncStore::Link> SyncStore::linkWhere(const QString &condition, const QVariant &value) const
{
    QSqlQuery query = prepared(QStringLiteral("SELECT %1 FROM sync_links WHERE user_id = :uid AND %2"
                                              " ORDER BY task_id LIMIT 1")
                                   .arg(kLinkColumns, condition));
    query.bindValue(QStringLiteral(":value"), value);
    if (!run(query) || !query.next())
        return std::nullopt;
    return linkFrom(query);
}

std::optional<SyncStore::Link> SyncStore::linkOfTask(qint64 taskId) const
{
    return linkWhere(QStringLiteral("task_id = :value"), taskId);
}

std::optional<SyncStore::Link> SyncStore::linkByHref(const QString &href) const
{
    return linkWhere(QStringLiteral("href = :value"), href);
}

QHash<QString, QByteArray> SyncStore::etagsByHref() const
{
    QSqlQuery query = prepared(
        QStringLiteral("SELECT href, etag FROM sync_links WHERE user_id = :uid AND href IS NOT NULL"));
    QHash<QString, QByteArray> etags;
    for (run(query); query.next();)
        etags.insert(query.value(0).toString(), bytesOf(query.value(1)));
    return etags;
}

QList<SyncStore::Link> SyncStore::dirtyLinks(int limit) const
{
    QSqlQuery query = prepared(QStringLiteral("SELECT %1 FROM sync_links WHERE user_id = :uid AND dirty = 1"
                                              " ORDER BY changed_at_epoch%2, task_id LIMIT :limit")
                                   .arg(kLinkColumns, SqlDialect::of(m_db).nullsLow(true)));
    query.bindValue(QStringLiteral(":limit"), limit);
    QList<Link> links;
    for (run(query); query.next();)
        links.append(linkFrom(query));
    return links;
}

int SyncStore::dirtyCount() const
{
    return count(QStringLiteral("SELECT COUNT(*) FROM sync_links WHERE user_id = :uid AND dirty = 1"));
}

int SyncStore::count(const QString &sql) const
{
    QSqlQuery query = prepared(sql);
    return run(query) && query.next() ? query.value(0).toInt() : -1;
}

std::optional<SyncTaskFields> SyncStore::task(qint64 taskId) const
{
    QSqlQuery query = prepared(QStringLiteral(
        "SELECT t.name, t.notes, t.level, t.active, t.expire_at, c.name FROM tasks t"
        " LEFT JOIN customers c ON c.id = t.customer_id WHERE t.id = :id AND t.user_id = :uid"));
    query.bindValue(QStringLiteral(":id"), taskId);
    if (!run(query) || !query.next())
        return std::nullopt;
    SyncTaskFields fields;
    fields.name = query.value(0).toString();
    fields.notes = query.value(1).toString();
    fields.level = query.value(2).toInt();
    fields.done = query.value(3).toInt() == 1;
    fields.expireAt = SqlSupport::utcFromText(query.value(4));
    fields.customerName = query.value(5).toString();
    return fields;
}

std::optional<int> SyncStore::customerId(const QString &name)
{
    if (name.isEmpty())
        return 0;
    QSqlQuery find =
        prepared(QStringLiteral("SELECT id FROM customers WHERE name = :name ORDER BY id LIMIT 1"));
    find.bindValue(QStringLiteral(":name"), name);
    if (!run(find))
        return std::nullopt;
    if (find.next())
        return find.value(0).toInt();
    QSqlQuery insert =
        prepared(QStringLiteral("INSERT INTO customers (user_id, name) VALUES (:uid, :name) RETURNING id"));
    insert.bindValue(QStringLiteral(":name"), name);
    if (!run(insert) || !insert.next())
        return std::nullopt;
    return insert.value(0).toInt();
}

bool SyncStore::writeLink(qint64 taskId, const QString &href, const QString *uid, const QByteArray &etag,
                          const QByteArray &text, bool dirty, const QVariant &changedAt)
{
    // The task's trigger has marked the link as changed (or made one); what the server sent is what
    // the link records now. Without an account there was no link to mark.
    QSqlQuery query =
        prepared(QStringLiteral(
                     "INSERT INTO sync_links (task_id, user_id, href, uid, etag, synced_text, dirty,"
                     " revision, changed_at_epoch) VALUES (:id, :uid, :href, :u, :etag, :text, :dirty, 1, %1)"
                     " ON CONFLICT (task_id) DO UPDATE SET href = excluded.href,%2 etag = excluded.etag,"
                     " synced_text = excluded.synced_text, dirty = excluded.dirty,"
                     " changed_at_epoch = excluded.changed_at_epoch")
                     .arg(changedAt.isValid() ? QStringLiteral(":changed") : SqlDialect::of(m_db).epochNow(),
                          uid ? QStringLiteral(" uid = excluded.uid,") : QString()));
    query.bindValue(QStringLiteral(":id"), taskId);
    query.bindValue(QStringLiteral(":href"), textValue(href));
    query.bindValue(QStringLiteral(":u"), textValue(uid ? *uid : QString()));
    query.bindValue(QStringLiteral(":etag"), textValue(etag));
    query.bindValue(QStringLiteral(":text"), textValue(text));
    query.bindValue(QStringLiteral(":dirty"), dirty ? 1 : 0);
    if (changedAt.isValid())
        query.bindValue(QStringLiteral(":changed"), changedAt);
    return run(query);
}

qint64 SyncStore::insertFromServer(const SyncTaskFields &fields, const QString &href, const QString &uid,
                                   const QByteArray &etag, const QByteArray &text)
{
    qint64 taskId = 0;
    const bool done = inTransaction([&] {
        const std::optional<int> customer = customerId(fields.customerName);
        if (!customer)
            return false;
        QSqlQuery insert = prepared(QStringLiteral(
            "INSERT INTO tasks (user_id, name, notes, active, expire_at, expire_at_epoch, level, customer_id)"
            " VALUES (:uid, :name, :notes, :active, :expire, :epoch, :level, :customer) RETURNING id"));
        bindFields(insert, fields, *customer);
        if (!run(insert) || !insert.next())
            return false;
        taskId = insert.value(0).toLongLong();
        insert.finish();
        return writeLink(taskId, href, &uid, etag, text, false, QVariant());
    });
    return done ? taskId : 0;
}

bool SyncStore::updateFromServer(qint64 taskId, const SyncTaskFields &fields, const QString &href,
                                 const QByteArray &etag, const QByteArray &text, bool stillDirty)
{
    return inTransaction([&] {
        // Not a change made here: the link keeps the time of the last one.
        const std::optional<Link> before = linkOfTask(taskId);
        const std::optional<int> customer = customerId(fields.customerName);
        if (!customer)
            return false;
        QSqlQuery update = prepared(QStringLiteral(
            "UPDATE tasks SET name = :name, notes = :notes, active = :active, expire_at = :expire,"
            " expire_at_epoch = :epoch, level = :level, customer_id = :customer"
            " WHERE id = :id AND user_id = :uid"));
        bindFields(update, fields, *customer);
        update.bindValue(QStringLiteral(":id"), taskId);
        if (!run(update) || update.numRowsAffected() < 1)
            return false;
        update.finish();
        const QVariant changedAt = before ? SqlSupport::epochValue(before->changedAt) : QVariant();
        return writeLink(taskId, href, nullptr, etag, text, stillDirty, changedAt);
    });
}

bool SyncStore::markSynced(qint64 taskId, qint64 revision, const QString &href, const QString &uid,
                           const QByteArray &etag, const QByteArray &text)
{
    return exec(
        QStringLiteral("UPDATE sync_links SET href = :href, uid = :u, etag = :etag, synced_text = :text,"
                       " dirty = CASE WHEN revision = :revision THEN 0 ELSE dirty END"
                       " WHERE task_id = :id AND user_id = :uid"),
        {{QStringLiteral(":href"), textValue(href)},
         {QStringLiteral(":u"), textValue(uid)},
         {QStringLiteral(":etag"), textValue(etag)},
         {QStringLiteral(":text"), textValue(text)},
         {QStringLiteral(":revision"), revision},
         {QStringLiteral(":id"), taskId}});
}

bool SyncStore::deleteFromServer(qint64 taskId)
{
    // The link goes first, so that the task's trigger finds no resource to delete on the server.
    const QVariantMap id = {{QStringLiteral(":id"), taskId}};
    return inTransaction([&] {
        return exec(QStringLiteral("DELETE FROM sync_links WHERE task_id = :id AND user_id = :uid"), id) &&
               exec(QStringLiteral("DELETE FROM tasks WHERE id = :id AND user_id = :uid"), id);
    });
}

bool SyncStore::detachFromServer(qint64 taskId)
{
    return exec(QStringLiteral("UPDATE sync_links SET href = NULL, etag = NULL, synced_text = NULL, dirty = 1"
                               " WHERE task_id = :id AND user_id = :uid"),
                {{QStringLiteral(":id"), taskId}});
}

QList<SyncStore::PendingDelete> SyncStore::pendingDeletes(int limit) const
{
    QSqlQuery query = prepared(QStringLiteral(
        "SELECT id, href, etag FROM sync_deletes WHERE user_id = :uid ORDER BY id LIMIT :limit"));
    query.bindValue(QStringLiteral(":limit"), limit);
    QList<PendingDelete> deletes;
    for (run(query); query.next();)
        deletes.append({query.value(0).toLongLong(), query.value(1).toString(), bytesOf(query.value(2))});
    return deletes;
}

bool SyncStore::forgetDelete(qint64 id)
{
    return exec(QStringLiteral("DELETE FROM sync_deletes WHERE id = :id AND user_id = :uid"),
                {{QStringLiteral(":id"), id}});
}

bool SyncStore::addNotice(qint64 taskId, const QString &text)
{
    return exec(QStringLiteral("UPDATE sync_links SET notice = CASE WHEN notice IS NULL OR notice = ''"
                               " THEN :text ELSE notice || :separator || :text END"
                               " WHERE task_id = :id AND user_id = :uid"),
                {{QStringLiteral(":text"), text},
                 {QStringLiteral(":separator"), QStringLiteral("\n")},
                 {QStringLiteral(":id"), taskId}});
}

QString SyncStore::notice(qint64 taskId) const
{
    QSqlQuery query =
        prepared(QStringLiteral("SELECT notice FROM sync_links WHERE task_id = :id AND user_id = :uid"));
    query.bindValue(QStringLiteral(":id"), taskId);
    return run(query) && query.next() ? query.value(0).toString() : QString();
}

bool SyncStore::clearNotice(qint64 taskId)
{
    return exec(QStringLiteral("UPDATE sync_links SET notice = NULL WHERE task_id = :id AND user_id = :uid"),
                {{QStringLiteral(":id"), taskId}});
}

int SyncStore::noticeCount() const
{
    return count(
        QStringLiteral("SELECT COUNT(*) FROM sync_links WHERE user_id = :uid AND notice IS NOT NULL"));
}

bool SyncStore::begin()
{
    if (m_inTransaction)
        return false;
    QSqlQuery query(m_db);
    if (!query.exec(SqlDialect::of(m_db).beginWrite())) {
        qWarning().noquote() << "SQL failed:" << query.lastError().text();
        return false;
    }
    m_inTransaction = true;
    return true;
}

bool SyncStore::commit()
{
    if (!m_inTransaction)
        return false;
    QSqlQuery query(m_db);
    if (query.exec(QStringLiteral("COMMIT"))) {
        m_inTransaction = false;
        return true;
    }
    qWarning().noquote() << "SQL failed:" << query.lastError().text();
    rollback();
    return false;
}

void SyncStore::rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
}

bool SyncStore::inTransaction(const std::function<bool()> &work)
{
    if (m_inTransaction)
        return work();
    if (!begin())
        return false;
    if (work() && commit())
        return true;
    rollback();
    return false;
}
