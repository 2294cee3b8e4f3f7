#include "storage/SignInStore.h"

#include "storage/DbManager.h"
#include "storage/SqlSupport.h"

#include <openssl/crypto.h>

namespace SignInStore {

namespace {

constexpr char kDummySalt[] = "duevia-unknown-account-salt-0000";

} // namespace

bool salt(const DbManager *db, const QString &username, QByteArray &salt)
{
    if (!SqlSupport::isOpen(db))
        return false;
    QSqlQuery query = SqlSupport::prepare(
        db, db->isServer() ? QStringLiteral("SELECT duevia_account_salt(:u)")
                           : QStringLiteral("SELECT salt FROM users WHERE username = :u LIMIT 1"));
    query.bindValue(QStringLiteral(":u"), username);
    if (!query.exec())
        return false;
    salt = query.next() ? query.value(0).toByteArray() : QByteArray(kDummySalt, sizeof kDummySalt - 1);
    return true;
}

Account verify(const DbManager *db, const QString &username, const QByteArray &key)
{
    Account account;
    if (!SqlSupport::isOpen(db))
        return account;
    if (db->isServer()) {
        QSqlQuery query = SqlSupport::prepare(
            db, QStringLiteral("SELECT account_id, account_name FROM duevia_account_check(:u, :k)"));
        query.bindValue(QStringLiteral(":u"), username);
        query.bindValue(QStringLiteral(":k"), key);
        if (query.exec() && query.next())
            account = {true, query.value(0).toInt(), query.value(1).toString()};
        return account;
    }
    QSqlQuery query = SqlSupport::prepare(
        db, QStringLiteral("SELECT id, name, password_hash, active FROM users WHERE username = :u LIMIT 1"));
    query.bindValue(QStringLiteral(":u"), username);
    if (!query.exec())
        return account;
    // Unknown and inactive accounts are compared with the key itself, at the same cost.
    const bool exists = query.next();
    const QByteArray stored = exists ? query.value(2).toByteArray() : key;
    const bool active = exists && query.value(3).toBool();
    const bool same = stored.size() == key.size() && !key.isEmpty() &&
                      CRYPTO_memcmp(stored.constData(), key.constData(), size_t(key.size())) == 0;
    if (active && same)
        account = {true, query.value(0).toInt(), query.value(1).toString()};
    return account;
}

} // namespace SignInStore
