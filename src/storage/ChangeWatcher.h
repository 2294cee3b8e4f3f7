#pragma once

#include <QObject>
#include <QPointer>
#include <QSqlDriver>
#include <QTimer>
#include <QVariant>

class DbManager;

// Tells when another connection (another window, another program, a colleague on the server) has
// committed a change, so that what is shown can be read again. Changes of the manager's own
// connection are not reported: their services reload after them already.
class ChangeWatcher : public QObject
{
    Q_OBJECT

public:
    // The channel the server's triggers notify on every change of tasks, customers and contacts.
    static constexpr const char *kChannel = "duevia_changes";

    explicit ChangeWatcher(DbManager *db, QObject *parent = nullptr);

signals:
    void changedElsewhere();

private:
    // Follows the manager's current connection: a file is asked once a second, a server is listened to.
    void arm();
    void checkFile();
    void onNotification(const QString &name, QSqlDriver::NotificationSource source);
    QVariant fileVersion() const;

    DbManager *m_db = nullptr;
    QTimer m_timer;
    // One reload for the burst of notifications that one commit sends (one per table it changed).
    QTimer m_burst;
    // The file's data_version when last asked; it changes only with commits of other connections.
    QVariant m_fileVersion;
    QPointer<QSqlDriver> m_listening;
};
