#pragma once

#include "storage/DatabaseTarget.h"

#include <QObject>
#include <QTimer>

class DbManager;
class QThread;

// Notices when the database goes away (the server stopped or unreachable, the file's folder gone)
// and brings the manager's connection back when it returns: it checks the connection every few
// seconds and whenever a write failed, closes it once lost, so that every statement fails at once
// instead of waiting for the network, and tries the same server or the same file again with
// growing pauses (never another file). What is shown meanwhile stays as it was, not current.
class ConnectionKeeper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool lost READ isLost NOTIFY stateChanged)
    // True for a few seconds after the connection came back.
    Q_PROPERTY(bool restored READ isRestored NOTIFY stateChanged)
    Q_PROPERTY(bool server READ isServer NOTIFY stateChanged)
    // Why the connection is lost, in the database's words.
    Q_PROPERTY(QString reason READ reason NOTIFY stateChanged)

public:
    explicit ConnectionKeeper(DbManager *db, QObject *parent = nullptr);
    ~ConnectionKeeper() override;

    bool isLost() const { return m_lost; }
    bool isRestored() const { return m_restored; }
    bool isServer() const { return m_target.server; }
    QString reason() const { return m_reason; }

    // How often a working connection is checked, and the first and longest pause between attempts.
    void setIntervals(int checkMs, int firstRetryMs, int longestRetryMs);

    // Checks the connection now; false when it is lost (it is then being restored).
    Q_INVOKABLE bool check();
    // After a failed write: the sentence that says why, when it was the lost connection; else empty.
    Q_INVOKABLE QString whyFailed();

signals:
    void stateChanged();
    // The connection is back: everything read before it was lost is to be read again.
    void reconnected();

private:
    // Keeps to the connection the manager opened last; a connection closed on purpose is not missed.
    void follow();
    QString problem() const;
    void lose(const QString &reason);
    void probe();
    void probed();

    DbManager *m_db = nullptr;
    DatabaseTarget m_target;
    QTimer m_check;
    QTimer m_retry;
    QTimer m_restoredTimer;
    int m_firstRetryMs = 1000;
    int m_longestRetryMs = 8000;
    int m_retryMs = 1000;
    bool m_watching = false;
    bool m_lost = false;
    bool m_restored = false;
    QString m_reason;
    // The attempt running away from the window's thread, and its outcome.
    QThread *m_probe = nullptr;
    QString m_probeError;
};
