#include "sync/TaskMerge.h"

#include <QCoreApplication>

namespace TaskMerge {

namespace {

constexpr int kShownNotesLength = 60;

QString shownExpiry(const QDateTime &expireAt)
{
    return expireAt.isValid() ? expireAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                              : QCoreApplication::translate("TaskMerge", "none");
}

QString shownDone(bool done)
{
    return done ? QCoreApplication::translate("TaskMerge", "done")
                : QCoreApplication::translate("TaskMerge", "open");
}

QString shownNotes(const QString &notes)
{
    return notes.size() > kShownNotesLength ? notes.left(kShownNotesLength) + QChar(0x2026) : notes;
}

class PropertyMerger
{
public:
    PropertyMerger(const QDateTime &localChangedAt, const QDateTime &remoteChangedAt, QStringList *notices)
        : m_remoteWins(remoteChangedAt.isValid() && remoteChangedAt >= localChangedAt), m_notices(notices)
    {
    }

    template<typename T, typename Show>
    T merge(const char *label, const T &base, const T &local, const T &remote, Show show) const
    {
        if (local == base || local == remote)
            return remote;
        if (remote == base)
            return local;
        const QString name = QCoreApplication::translate("TaskMerge", label);
        if (m_remoteWins) {
            m_notices->append(
                QCoreApplication::translate(
                    "TaskMerge", "%1: \"%2\" from this computer was replaced by \"%3\" from the server.")
                    .arg(name, show(local), show(remote)));
            return remote;
        }
        m_notices->append(
            QCoreApplication::translate(
                "TaskMerge", "%1: \"%2\" from the server was replaced by \"%3\" from this computer.")
                .arg(name, show(remote), show(local)));
        return local;
    }

private:
    bool m_remoteWins = false;
    QStringList *m_notices = nullptr;
};

} // namespace

Result merge(const SyncTaskFields &base, const SyncTaskFields &local, const QDateTime &localChangedAt,
             const SyncTaskFields &remote, const QDateTime &remoteChangedAt)
{
    Result result;
    const PropertyMerger merger(localChangedAt, remoteChangedAt, &result.notices);
    const auto same = [](const QString &value) {
        return value;
    };
    SyncTaskFields &fields = result.fields;
    fields.name =
        merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Name"), base.name, local.name, remote.name, same);
    fields.notes = merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Notes"), base.notes, local.notes,
                                remote.notes, shownNotes);
    fields.expireAt = merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Expiry"), base.expireAt, local.expireAt,
                                   remote.expireAt, shownExpiry);
    fields.done =
        merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Done"), base.done, local.done, remote.done, shownDone);
    fields.level = merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Level"), base.level, local.level,
                                remote.level, [](int level) { return QString::number(level); });
    fields.customerName = merger.merge(QT_TRANSLATE_NOOP("TaskMerge", "Customer"), base.customerName,
                                       local.customerName, remote.customerName, same);
    return result;
}

} // namespace TaskMerge
