#include "services/AuthService.h"

#include "services/InputLimits.h"
#include "storage/SqlSupport.h"

#include <QRandomGenerator>

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace {

constexpr int kSaltLength = 32;
constexpr int kMinPasswordLength = 8;

// Salt of the derivation spent on a sign-in name that no account has, so that such an attempt takes
// as long as a wrong password and the time taken tells nobody which accounts exist.
constexpr char kDummySalt[kSaltLength + 1] = "duevia-unknown-account-salt-0000";

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
    if (!SqlSupport::isOpen(m_db))
        return false;

    QSqlQuery query = SqlSupport::prepare(m_db, QStringLiteral(R"(
        SELECT id, name, password_hash, salt, active
        FROM users
        WHERE username = :u
        LIMIT 1
    )"));
    query.bindValue(QStringLiteral(":u"), username);
    if (!query.exec())
        return false;
    // Unknown and inactive accounts cost the same derivation as a wrong password.
    bool active = false;
    int id = -1;
    QString name;
    QByteArray storedHash;
    QByteArray salt(kDummySalt, kSaltLength);
    if (query.next()) {
        active = query.value(QStringLiteral("active")).toBool();
        id = query.value(QStringLiteral("id")).toInt();
        name = query.value(QStringLiteral("name")).toString();
        storedHash = query.value(QStringLiteral("password_hash")).toByteArray();
        salt = query.value(QStringLiteral("salt")).toByteArray();
    }
    // Ends the read before the slow derivation, so that other programs on the file can write meanwhile.
    query.finish();

    const QByteArray derived = deriveKey(password.toUtf8(), salt);
    // Constant-time comparison, so the time taken tells nothing about how many bytes matched.
    if (!active || derived.isEmpty() || derived.size() != storedHash.size() ||
        CRYPTO_memcmp(derived.constData(), storedHash.constData(), size_t(derived.size())) != 0)
        return false;

    m_loggedIn = true;
    m_userId = id;
    m_userName = name;
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
        INSERT INTO users (username, password_hash, salt, name, role, active)
        VALUES (:u, :ph, :s, :n, 'user', 1)
    )"));
    insert.bindValue(QStringLiteral(":u"), user);
    insert.bindValue(QStringLiteral(":ph"), hash);
    insert.bindValue(QStringLiteral(":s"), salt);
    insert.bindValue(QStringLiteral(":n"), name);
    return insert.exec();
}
