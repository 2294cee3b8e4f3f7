#include "services/AuthService.h"

#include "services/InputLimits.h"
#include "storage/SignInStore.h"
#include "storage/SqlSupport.h"

#include <QRandomGenerator>

#include <openssl/evp.h>

namespace {

constexpr int kSaltLength = 32;
constexpr int kMinPasswordLength = 8;

} // namespace

AuthService::AuthService(DbManager *db, QObject *parent) : QObject(parent), m_db(db) {}

QByteArray AuthService::deriveKey(const QByteArray &password, const QByteArray &salt, int iterations,
                                  int keyLength)
{
    QByteArray key(keyLength, Qt::Uninitialized);
    const int ok = PKCS5_PBKDF2_HMAC(
        password.constData(), int(password.size()), reinterpret_cast<const unsigned char *>(salt.constData()),
        int(salt.size()), iterations, EVP_sha256(), keyLength, reinterpret_cast<unsigned char *>(key.data()));
    return ok == 1 ? key : QByteArray();
}

QByteArray AuthService::makeSalt()
{
    QByteArray salt(kSaltLength, Qt::Uninitialized);
    for (char &byte : salt)
        byte = char(QRandomGenerator::global()->generate() & 0xff);
    return salt;
}

bool AuthService::login(const QString &username, const QString &password)
{
    QByteArray salt;
    if (!SignInStore::salt(m_db, username, salt))
        return false;
    // The read is over before the slow derivation, so that other programs on the file can write meanwhile.
    const QByteArray derived = deriveKey(password.toUtf8(), salt);
    const SignInStore::Account account = SignInStore::verify(m_db, username, derived);
    if (derived.isEmpty() || !account.found)
        return false;
    m_loggedIn = true;
    m_userId = account.id;
    m_userName = account.name;
    emit loggedInChanged();
    emit userIdChanged();
    emit userNameChanged();
    return true;
}

void AuthService::logout()
{
    m_loggedIn = false;
    m_userId = -1;
    m_userName.clear();
    emit loggedInChanged();
    emit userIdChanged();
    emit userNameChanged();
    emit loggedOut();
}

bool AuthService::registerUser(const QString &username, const QString &password, const QString &fullName)
{
    if (!SqlSupport::isOpen(m_db))
        return false;
    const QString user = username.trimmed();
    const QString name = fullName.trimmed();
    if (user.isEmpty() || name.isEmpty() || password.size() < kMinPasswordLength ||
        user.size() > InputLimits::kNameLength || name.size() > InputLimits::kNameLength)
        return false;

    QSqlQuery exists =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT 1 FROM users WHERE username = :u LIMIT 1"));
    exists.bindValue(QStringLiteral(":u"), user);
    if (!exists.exec() || exists.next())
        return false;
    exists.finish();

    const QByteArray salt = makeSalt();
    const QByteArray hash = deriveKey(password.toUtf8(), salt);
    if (hash.isEmpty())
        return false;

    QSqlQuery insert = SqlSupport::prepare(m_db, QStringLiteral(R"(
        INSERT INTO users (username, password_hash, salt, name)
        VALUES (:u, :ph, :s, :n)
    )"));
    insert.bindValue(QStringLiteral(":u"), user);
    insert.bindValue(QStringLiteral(":ph"), hash);
    insert.bindValue(QStringLiteral(":s"), salt);
    insert.bindValue(QStringLiteral(":n"), name);
    return insert.exec();
}
