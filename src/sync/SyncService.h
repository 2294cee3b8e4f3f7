#pragma once

#include "sync/SyncEngine.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QVariantList>

class AuthService;
class DbManager;
class SecretStore;

// The signed-in user's CalDAV sync as the window sees it: the account (server, user name, task list;
// the password in the system's secret store), when passes run (a few seconds after a local change,
// every few minutes, at once on "Sync now"), retries with growing pauses while the server cannot be
// reached, and one status line. Every pass runs on a thread of its own.
class SyncService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool configured READ configured NOTIFY accountChanged)
    Q_PROPERTY(QString serverUrl READ serverUrl NOTIFY accountChanged)
    Q_PROPERTY(QString username READ username NOTIFY accountChanged)
    Q_PROPERTY(QString listName READ listName NOTIFY accountChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY stateChanged)
    Q_PROPERTY(QString status READ status NOTIFY stateChanged)
    // Empty, or the last error in words; kind is its key ("auth", "network", ...).
    Q_PROPERTY(QString error READ error NOTIFY stateChanged)
    Q_PROPERTY(QString errorKind READ errorKind NOTIFY stateChanged)
    // 0 to 1 while a pass knows how much it has to do, else -1.
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QDateTime lastSync READ lastSync NOTIFY stateChanged)
    // The task lists found by findLists(): maps of "url" and "name".
    Q_PROPERTY(QVariantList lists READ lists NOTIFY listsChanged)
    Q_PROPERTY(int noticeCount READ noticeCount NOTIFY noticesChanged)

public:
    explicit SyncService(DbManager *db, AuthService *auth, SecretStore *secrets, QObject *parent = nullptr);
    ~SyncService() override;

    bool configured() const { return !m_account.collectionUrl.isEmpty(); }
    QString serverUrl() const { return m_account.serverUrl; }
    QString username() const { return m_account.username; }
    QString listName() const { return m_account.collectionName; }
    bool busy() const { return m_engine != nullptr; }
    QString status() const;
    QString error() const { return m_error; }
    QString errorKind() const { return m_errorKind; }
    double progress() const { return m_progress; }
    QDateTime lastSync() const { return m_account.lastSync; }
    QVariantList lists() const { return m_lists; }
    int noticeCount() const { return m_noticeCount; }

    // The timing of passes; tests shorten them.
    void setDelays(int afterChangeMs, int intervalMs, int firstRetryMs);
    void setRequestTimeout(int ms) { m_timeoutMs = ms; }

    // Discovery on the server with these credentials; lists (or error) follow.
    Q_INVOKABLE void findLists(const QString &serverUrl, const QString &username, const QString &password);
    // Sets the account up: listUrl one of lists, or empty to create a list named newListName. The
    // password goes to the secret store; the first pass follows at once.
    Q_INVOKABLE void connectAccount(const QString &serverUrl, const QString &username,
                                    const QString &password, const QString &listUrl, const QString &listName);
    // A new password for the account (after the server refused the old one).
    Q_INVOKABLE void setPassword(const QString &password);
    Q_INVOKABLE void disconnectAccount();
    Q_INVOKABLE void syncNow();
    Q_INVOKABLE void cancel();
    Q_INVOKABLE QString noticeFor(int taskId) const;
    Q_INVOKABLE void dismissNotice(int taskId);

public slots:
    // A task changed here: a pass follows after a short pause (bursts of changes make one pass).
    void onLocalChange();

signals:
    void accountChanged();
    void stateChanged();
    void progressChanged();
    void listsChanged();
    void noticesChanged();
    // A pass wrote tasks that came from the server.
    void tasksReceived();
    // connectAccount() finished: ok, or the reason it did not.
    void connectFinished(bool ok, const QString &reason);

private:
    void onLoggedIn();
    void onLoggedOut();
    void loadAccount();
    void start(SyncEngine::Operation operation, const QString &serverUrl, const QString &username,
               const QString &password, const QString &listName = QString());
    void onFinished(SyncEngine::Operation operation, const QVariantMap &result);
    void finishConnect(const QVariantMap &result);
    void saveAccount(const QString &listUrl, const QString &listName);
    void setFailure(const QString &kind, const QString &text);
    void scheduleRetry();
    bool hasLocalChanges() const;
    void refreshNotices();

    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    SecretStore *m_secrets = nullptr;
    QThread m_thread;
    QPointer<SyncEngine> m_engine;
    SyncStore::Account m_account;
    QString m_password;
    bool m_passwordKnown = false;
    QString m_error;
    QString m_errorKind;
    QString m_phase;
    double m_progress = -1;
    int m_done = 0;
    int m_total = 0;
    QVariantList m_lists;
    int m_noticeCount = 0;
    bool m_again = false;
    int m_failures = 0;
    int m_retryMs = 30000;
    int m_timeoutMs = 30000;
    QTimer m_afterChange;
    QTimer m_interval;
    QTimer m_retry;
    // The account being set up by connectAccount(), until its list exists and it is stored.
    struct Pending
    {
        QString serverUrl;
        QString username;
        QString password;
        QString listName;
    };
    std::optional<Pending> m_pending;
};
