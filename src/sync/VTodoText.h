#pragma once

#include "sync/SyncTaskFields.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One task as the text of a CalDAV resource: an iCalendar object holding one VTODO (RFC 5545).
// Values are read through libical; writing back replaces only the lines of the properties this
// program owns, so every other line (alarms, categories, relations, rules, time zones, other
// programs' X- properties), its parameters and even its folding come back byte for byte.
namespace VTodoText {

struct Parsed
{
    // False when the text holds no VTODO.
    bool ok = false;
    QString uid;
    SyncTaskFields fields;
    // LAST-MODIFIED (else DTSTAMP) in UTC; invalid when the text has neither.
    QDateTime lastModified;
    // The VTODO repeats (RRULE or RDATE): fields.expireAt is its next due moment after now.
    bool recurring = false;
};

// Reads the first VTODO. Its SUMMARY, DESCRIPTION, DUE, STATUS/COMPLETED, PRIORITY and the X-
// properties of level and customer become the fields; a repeating task's expiry is its next
// occurrence at or after now (the last one once the series has ended).
Parsed parse(const QByteArray &text, const QDateTime &now = QDateTime::currentDateTimeUtc());

// A new calendar object with one VTODO of the given UID and fields; modifiedAt stamps it.
QByteArray create(const QString &uid, const SyncTaskFields &fields, const QDateTime &modifiedAt);

// The server's text with each owned property whose value differs from fields replaced, added or
// removed, and LAST-MODIFIED and DTSTAMP set to modifiedAt when anything changed. A field equal to
// what parse(serverText, now) reads leaves its lines as they are (so an unchanged expiry of a
// repeating task never touches its DUE or its rule). Returns serverText itself when nothing differs.
QByteArray patch(const QByteArray &serverText, const SyncTaskFields &fields, const QDateTime &modifiedAt,
                 const QDateTime &now = QDateTime::currentDateTimeUtc());

} // namespace VTodoText
