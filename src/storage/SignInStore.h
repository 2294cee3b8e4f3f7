#pragma once

#include <QByteArray>
#include <QString>

class DbManager;

// Reads what a sign-in needs. On the file the program reads the account's hash and compares it
// itself; on a server the database compares it (the hash is not readable there) and only accounts
// bound to the signed-in PostgreSQL role take part.
namespace SignInStore {

struct Account
{
    bool found = false;
    int id = -1;
    QString name;
};

// The salt to derive the key with: the account's, or a fixed one for a name that no account (of
// this role) has, so that the attempt costs the same. False when the database could not be read.
bool salt(const DbManager *db, const QString &username, QByteArray &salt);

// The active account whose stored key is key, compared in constant time; found is false otherwise.
Account verify(const DbManager *db, const QString &username, const QByteArray &key);

} // namespace SignInStore
