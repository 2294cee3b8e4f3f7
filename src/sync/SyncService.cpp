#include "sync/SyncService.h"

#include "services/AuthService.h"
#include "storage/DbManager.h"
#include "sync/SecretStore.h"

#include <QLocale>

namespace {

constexpr int kAfterChangeMs = 3000;
constexpr int kIntervalMs = 5 * 60 * 1000;
constexpr int kFirstRetryMs = 30 * 1000;
constexpr int kLongestRetryMs = 15 * 60 * 1000;

} // namespace

SyncService::SyncService(DbManager *db, AuthService *auth, SecretStore *secrets, QObject *parent)
    : QObject(parent), m_db(db), m_auth(auth), m_secrets(secrets)
{
    m_afterChange.setSingleShot(true);
    m_retry.setSingleShot(true);
    setDelays(kAfterChangeMs, kIntervalMs, kFirstRetryMs);
    connect(&m_afterChange, &QTimer::timeout, this, [this] {
        if (hasLocalChanges())
            syncNow();
    });
    connect(&m_interval, &QTimer::timeout, this, &SyncService::syncNow);
    connect(&m_retry, &QTimer::timeout, this, &SyncService::syncNow);
    m_thread.setObjectName(QStringLiteral("sync"));
    m_thread.start();
    if (m_auth) {
        connect(m_auth, &AuthService::loggedInChanged, this, [this] {
            if (m_auth->loggedIn())
                onLoggedIn();
        });
        connect(m_auth, &AuthService::loggedOut, this, &SyncService::onLoggedOut);
    }
    if (m_secrets) {
        connect(m_secrets, &SecretStore::readFinished, this,
                [this](const QString &key, bool found, const QString &password, const QString &error) {
                    if (key != SecretStore::keyOf(m_account.username, m_account.serverUrl))
                        return;
                    m_password = password;
                    m_passwordKnown = found;
                    if (!error.isEmpty())
                        setFailure(QStringLiteral("secrets"), tr("The password could not be read from the "
                                                                 "system's secret store: %1")
                                                                  .arg(error));
                    else if (!found)
                        setFailure(QStringLiteral("auth"), tr("Enter the sync password in Settings."));
                    else
                        syncNow();
                });
        connect(m_secrets, &SecretStore::writeFinished, this, [this](const QString &, const QString &error) {
            if (!error.isEmpty())
                setFailure(QStringLiteral("secrets"),
                           tr("The password could not be kept in the system's secret store: %1").arg(error));
        });
    }
}

SyncService::~SyncService()
{
    cancel();
    m_thread.quit();
    m_thread.wait();
}

void SyncService::setDelays(int afterChangeMs, int intervalMs, int firstRetryMs)
{
    m_afterChange.setInterval(afterChangeMs);
    m_interval.setInterval(intervalMs);
    m_retryMs = firstRetryMs;
}

QString SyncService::status() const
{
    if (!configured())
        return tr("Sync is off.");
    if (busy()) {
        if (m_total > 0)
            return tr("%1… %2 of %3").arg(m_phase, QLocale().toString(m_done), QLocale().toString(m_total));
        return m_phase.isEmpty() ? tr("Syncing…") : m_phase + QStringLiteral("…");
    }
    const QString last =
        m_account.lastSync.isValid()
            ? tr("Last synced %1.")
                  .arg(QLocale().toString(m_account.lastSync.toLocalTime(), QLocale::ShortFormat))
            : tr("Not synced yet.");
    if (m_error.isEmpty())
        return last;
    if (m_retry.isActive())
        return tr("%1 Not synced: %2 Trying again in %n minute(s).", nullptr,
                  std::max(1, int(m_retry.remainingTime() / 60000)))
            .arg(last, m_error);
    return tr("%1 Not synced: %2").arg(last, m_error);
}

void SyncService::onLoggedIn()
{
    loadAccount();
    if (!configured() || !m_secrets)
        return;
    m_interval.start();
    m_secrets->read(SecretStore::keyOf(m_account.username, m_account.serverUrl));
}

void SyncService::onLoggedOut()
{
    cancel();
    m_interval.stop();
    m_retry.stop();
    m_afterChange.stop();
    m_account = {};
    m_password.clear();
    m_passwordKnown = false;
    m_error.clear();
    m_errorKind.clear();
    m_lists.clear();
    m_failures = 0;
    emit accountChanged();
    emit listsChanged();
    emit stateChanged();
    refreshNotices();
}

void SyncService::loadAccount()
{
    m_account = {};
    if (m_db && m_db->isOpen() && m_auth && m_auth->loggedIn()) {
        if (const std::optional<SyncStore::Account> account =
                SyncStore(m_db->database(), m_auth->userId()).account())
            m_account = *account;
    }
    emit accountChanged();
    emit stateChanged();
    refreshNotices();
}

void SyncService::findLists(const QString &serverUrl, const QString &username, const QString &password)
{
    start(SyncEngine::Operation::FindLists, serverUrl.trimmed(), username.trimmed(), password);
    // Cleared once the lookup is under way, so that the clearing is not taken for its answer.
    m_lists.clear();
    emit listsChanged();
}

void SyncService::connectAccount(const QString &serverUrl, const QString &username, const QString &password,
                                 const QString &listUrl, const QString &listName)
{
    if (!m_auth || !m_auth->loggedIn() || busy())
        return emit connectFinished(false, tr("Wait for the sync under way to finish."));
    m_pending = Pending{serverUrl.trimmed(), username.trimmed(), password, listName.trimmed()};
    if (listUrl.isEmpty()) {
        start(SyncEngine::Operation::CreateList, m_pending->serverUrl, m_pending->username, password,
              m_pending->listName.isEmpty() ? tr("Tasks") : m_pending->listName);
        return;
    }
    saveAccount(listUrl, listName);
}

void SyncService::saveAccount(const QString &listUrl, const QString &listName)
{
    const Pending pending = *m_pending;
    m_pending.reset();
    SyncStore::Account account;
    if (const std::optional<SyncStore::Account> stored =
            SyncStore(m_db->database(), m_auth->userId()).account())
        account = *stored;
    account.serverUrl = pending.serverUrl;
    account.username = pending.username;
    account.collectionUrl = listUrl;
    account.collectionName = listName;
    if (!SyncStore(m_db->database(), m_auth->userId()).saveAccount(account))
        return emit connectFinished(false, tr("The database could not store the account."));
    loadAccount();
    m_password = pending.password;
    m_passwordKnown = true;
    m_error.clear();
    m_errorKind.clear();
    m_failures = 0;
    if (m_secrets)
        m_secrets->write(SecretStore::keyOf(account.username, account.serverUrl), pending.password);
    m_interval.start();
    emit connectFinished(true, QString());
    syncNow();
}

void SyncService::setPassword(const QString &password)
{
    if (!configured())
        return;
    m_password = password;
    m_passwordKnown = true;
    m_failures = 0;
    if (m_secrets)
        m_secrets->write(SecretStore::keyOf(m_account.username, m_account.serverUrl), password);
    syncNow();
}

void SyncService::disconnectAccount()
{
    if (!configured())
        return;
    cancel();
    if (m_secrets)
        m_secrets->remove(SecretStore::keyOf(m_account.username, m_account.serverUrl));
    SyncStore(m_db->database(), m_auth->userId()).removeAccount();
    m_interval.stop();
    m_retry.stop();
    m_password.clear();
    m_passwordKnown = false;
    m_error.clear();
    m_errorKind.clear();
    loadAccount();
}

void SyncService::syncNow()
{
    if (!configured() || !m_auth || !m_auth->loggedIn())
        return;
    if (busy()) {
        m_again = true;
        return;
    }
    if (!m_passwordKnown)
        return;
    m_retry.stop();
    m_afterChange.stop();
    start(SyncEngine::Operation::Sync, m_account.serverUrl, m_account.username, m_password);
}

void SyncService::cancel()
{
    m_again = false;
    if (m_engine)
        m_engine->cancel();
}

void SyncService::onLocalChange()
{
    if (configured())
        m_afterChange.start();
}

bool SyncService::hasLocalChanges() const
{
    if (!configured() || !m_db || !m_db->isOpen())
        return false;
    SyncStore store(m_db->database(), m_auth->userId());
    return store.dirtyCount() > 0 || !store.pendingDeletes(1).isEmpty();
}

void SyncService::start(SyncEngine::Operation operation, const QString &serverUrl, const QString &username,
                        const QString &password, const QString &listName)
{
    if (busy() || !m_db)
        return;
    SyncEngine::Job job;
    job.operation = operation;
    job.database = m_db->target();
    job.userId = m_auth ? m_auth->userId() : -1;
    job.serverUrl = serverUrl;
    job.username = username;
    job.password = password;
    job.listName = listName;
    job.timeoutMs = m_timeoutMs;
    auto *engine = new SyncEngine(job);
    engine->moveToThread(&m_thread);
    m_engine = engine;
    m_phase = operation == SyncEngine::Operation::Sync ? tr("Syncing") : tr("Asking the server");
    m_done = 0;
    m_total = 0;
    m_progress = -1;
    connect(engine, &SyncEngine::progressChanged, this, [this](const QString &phase, int done, int total) {
        m_phase = phase;
        m_done = done;
        m_total = total;
        m_progress = total > 0 ? double(done) / total : -1;
        emit progressChanged();
        emit stateChanged();
    });
    connect(engine, &SyncEngine::finished, this, [this, engine, operation](const QVariantMap &result) {
        engine->deleteLater();
        m_engine = nullptr;
        m_progress = -1;
        onFinished(operation, result);
    });
    QMetaObject::invokeMethod(engine, &SyncEngine::run, Qt::QueuedConnection);
    emit stateChanged();
    emit progressChanged();
}

void SyncService::onFinished(SyncEngine::Operation operation, const QVariantMap &result)
{
    const QString kind = result.value(QStringLiteral("error")).toString();
    const QString text = result.value(QStringLiteral("text")).toString();
    switch (operation) {
    case SyncEngine::Operation::FindLists:
        m_lists = result.value(QStringLiteral("lists")).toList();
        if (kind.isEmpty()) {
            m_error.clear();
            m_errorKind.clear();
            emit stateChanged();
        } else {
            setFailure(kind, text);
        }
        emit listsChanged();
        break;
    case SyncEngine::Operation::CreateList:
        if (!m_pending)
            break;
        if (!kind.isEmpty()) {
            m_pending.reset();
            setFailure(kind, text);
            emit connectFinished(false, text);
            break;
        }
        saveAccount(result.value(QStringLiteral("url")).toString(),
                    result.value(QStringLiteral("name")).toString());
        return;
    case SyncEngine::Operation::Sync:
        loadAccount();
        if (result.value(QStringLiteral("pulled")).toInt() > 0)
            emit tasksReceived();
        if (kind.isEmpty()) {
            m_failures = 0;
            m_error.clear();
            m_errorKind.clear();
            emit stateChanged();
        } else if (kind == QLatin1String("cancelled")) {
            m_error.clear();
            m_errorKind.clear();
            emit stateChanged();
        } else {
            setFailure(kind, text);
            // A refused password or certificate stays refused until the user acts.
            if (kind != QLatin1String("auth") && kind != QLatin1String("tls") &&
                kind != QLatin1String("insecure"))
                scheduleRetry();
            emit stateChanged();
        }
        break;
    }
    if (m_again) {
        m_again = false;
        syncNow();
    }
}

void SyncService::setFailure(const QString &kind, const QString &text)
{
    m_errorKind = kind;
    m_error = text;
    emit stateChanged();
}

void SyncService::scheduleRetry()
{
    const qint64 pause = qint64(m_retryMs) << std::min(m_failures, 10);
    ++m_failures;
    m_retry.start(int(std::min<qint64>(pause, kLongestRetryMs)));
}

QString SyncService::noticeFor(int taskId) const
{
    if (!m_db || !m_db->isOpen() || !m_auth || !m_auth->loggedIn())
        return {};
    return SyncStore(m_db->database(), m_auth->userId()).notice(taskId);
}

void SyncService::dismissNotice(int taskId)
{
    if (!m_db || !m_db->isOpen() || !m_auth || !m_auth->loggedIn())
        return;
    SyncStore(m_db->database(), m_auth->userId()).clearNotice(taskId);
    refreshNotices();
}

void SyncService::refreshNotices()
{
    int count = 0;
    if (m_db && m_db->isOpen() && m_auth && m_auth->loggedIn())
        count = SyncStore(m_db->database(), m_auth->userId()).noticeCount();
    if (count == m_noticeCount)
        return;
    m_noticeCount = count;
    emit noticesChanged();
}
