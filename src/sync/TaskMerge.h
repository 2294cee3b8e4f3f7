#pragma once

#include "sync/SyncTaskFields.h"

#include <QDateTime>
#include <QStringList>

// The three-way merge of a task changed on both sides since the version both last agreed on.
namespace TaskMerge {

struct Result
{
    SyncTaskFields fields;
    // One sentence per property that both sides changed to different values, naming the value that
    // was replaced and where the winner came from; empty when nothing was replaced.
    QStringList notices;
};

// Property by property: changed on one side only, that side's value; changed on both to the same
// value, that value; changed on both to different values, the later change wins (localChangedAt
// against remoteChangedAt, both UTC; an unknown server time loses, a tie goes to the server). The
// level and the customer count as one property each, the done flag as one.
Result merge(const SyncTaskFields &base, const SyncTaskFields &local, const QDateTime &localChangedAt,
             const SyncTaskFields &remote, const QDateTime &remoteChangedAt);

} // namespace TaskMerge
