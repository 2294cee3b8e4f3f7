#pragma once

#include <QObject>
#include <QString>

// Passwords in the system's secret store (Secret Service on Linux, the credential manager on
// Windows, the keychain on macOS) through QtKeychain; never in the settings or the database. Each
// call finishes asynchronously on the calling (window) thread with one of the signals below, which
// carry the key they were asked for.
class SecretStore : public QObject
{
    Q_OBJECT

public:
    // service names the program's entries in the store ("Duevia sync" by default).
    explicit SecretStore(const QString &service = QStringLiteral("Duevia sync"), QObject *parent = nullptr);

    // The key of an account's password: user name and server.
    static QString keyOf(const QString &username, const QString &serverUrl);

    void read(const QString &key);
    void write(const QString &key, const QString &password);
    void remove(const QString &key);

signals:
    // found is false when the store holds no entry of that key (error stays empty then).
    void readFinished(const QString &key, bool found, const QString &password, const QString &error);
    // error is empty on success, else the store's own words (locked, no store running, ...).
    void writeFinished(const QString &key, const QString &error);
    void removeFinished(const QString &key, const QString &error);

private:
    QString m_service;
};
