#pragma once

#include <QObject>

class QThread;

// Tries a database server before it is used: connecting can take seconds (network timeouts), so the
// attempt runs on a thread of its own with a connection of its own.
class ConnectionTestService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)

public:
    explicit ConnectionTestService(QObject *parent = nullptr);
    // Waits for a running attempt, which ends at the latest with its connect timeout.
    ~ConnectionTestService() override;

    bool busy() const { return m_thread != nullptr; }

    // Connects to the server that connection (a libpq connection string) names; the answer comes as
    // finished(). Returns false, and starts nothing, while an attempt runs or for an empty string.
    Q_INVOKABLE bool test(const QString &connection);
    // Why the connection could be read or changed on the way to a network host, or empty.
    Q_INVOKABLE QString securityWarning(const QString &connection) const;

signals:
    void busyChanged();
    // detail: the server's version when it answered, else the reason it did not (the server's own text).
    void finished(bool ok, const QString &detail);

private:
    void onAttemptDone(bool ok, const QString &detail);

    QThread *m_thread = nullptr;
};
