#pragma once

#include <QDateTime>
#include <QString>

// What this program owns of a synced task: the properties it reads from and writes into a VTODO.
// Everything else in the server's text belongs to other programs and is carried along untouched.
struct SyncTaskFields
{
    QString name;
    QString notes;
    int level = 1;
    bool done = false;
    // UTC; invalid means no expiry.
    QDateTime expireAt;
    // Empty means no customer.
    QString customerName;

    bool operator==(const SyncTaskFields &other) const
    {
        return name == other.name && notes == other.notes && level == other.level && done == other.done &&
               expireAt == other.expireAt && customerName == other.customerName;
    }
    bool operator!=(const SyncTaskFields &other) const { return !(*this == other); }
};
