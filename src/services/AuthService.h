#pragma once

#include <QByteArray>
#include <QObject>

class DbManager;

// Accounts of the users table and the one signed-in user of the running program.
class AuthService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool loggedIn READ loggedIn NOTIFY loggedInChanged)
    Q_PROPERTY(int userId READ userId NOTIFY userIdChanged)
    Q_PROPERTY(QString userName READ userName NOTIFY userNameChanged)

public:
    explicit AuthService(DbManager *db, QObject *parent = nullptr);

    bool loggedIn() const { return m_loggedIn; }
    int userId() const { return m_userId; }
    QString userName() const { return m_userName; }

    Q_INVOKABLE bool login(const QString &username, const QString &password);
    Q_INVOKABLE void logout();
    Q_INVOKABLE bool registerUser(const QString &username, const QString &password, const QString &fullName);

    // PBKDF2-HMAC-SHA256 (RFC 8018) with the given iteration count and key length.
    static QByteArray deriveKey(const QByteArray &password, const QByteArray &salt, int iterations = 100000,
                                int keyLength = 32);

signals:
    void loggedInChanged();
    void userIdChanged();
    void userNameChanged();
    void loggedOut();

private:
    static QByteArray makeSalt();

    DbManager *m_db = nullptr;
    bool m_loggedIn = false;
    int m_userId = -1;
    QString m_userName;
};
