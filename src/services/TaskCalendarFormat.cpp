#include "services/TaskCalendarFormat.h"

#include "services/CalendarTimeZone.h"

#include <QStringEncoder>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace TaskCalendarFormat {

namespace {

// Index: priority 0-9. Each level lies in the band of its priority and maps back onto it.
constexpr int kLevelOfPriority[] = {1, 95, 82, 70, 57, 35, 18, 13, 8, 3};

constexpr int kLastIcalYear = 3000;

// A date-time from libical's fields; nullopt when they name no moment the program can keep.
std::optional<QDateTime> dateTimeOf(const icaltimetype &time, Qt::TimeSpec timeSpec)
{
    const QDate date(time.year, time.month, time.day);
    const QTime clock(time.hour, time.minute, std::min(time.second, 59));
    if (time.year < 1 || !date.isValid() || !clock.isValid())
        return std::nullopt;
    return QDateTime(date, clock, timeSpec);
}

// A zone that neither the file nor libical knows: an IANA or Windows name Qt knows, else none.
QTimeZone qtZone(const QByteArray &tzid)
{
    if (QTimeZone::isTimeZoneIdAvailable(tzid))
        return QTimeZone(tzid);
    const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid);
    return iana.isEmpty() ? QTimeZone() : QTimeZone(iana);
}

} // namespace

icalvalue *utcValue(const QDateTime &dateTime)
{
    const QDateTime utc = dateTime.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (date.year() < 1 || date.year() > 9999)
        return nullptr;
    icalvalue *value = nullptr;
    if (date.year() <= kLastIcalYear) {
        icaltimetype time = icaltime_null_time();
        time.year = date.year();
        time.month = date.month();
        time.day = date.day();
        time.hour = clock.hour();
        time.minute = clock.minute();
        time.second = clock.second();
        time.zone = icaltimezone_get_utc_timezone();
        value = icalvalue_new_datetime(time);
    } else {
        // libical's time type stops at the year 3000; its parser takes the later years.
        const QByteArray text = utc.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
        value = icalvalue_new_from_string(ICAL_DATETIME_VALUE, text.constData());
    }
    return value;
}

std::optional<QDateTime> utcOf(icalcomponent *calendar, const icaltimetype &dateTime, const char *tzid)
{
    icaltimetype time = dateTime;
    if (icaltime_is_date(time)) {
        time.hour = 23;
        time.minute = 59;
        return dateTimeOf(time, Qt::LocalTime);
    }
    if (icaltime_is_utc(time))
        return dateTimeOf(time, Qt::UTC);
    const std::optional<QDateTime> wall = dateTimeOf(time, Qt::LocalTime);
    if (!wall)
        return std::nullopt;

    if (!tzid)
        return wall->toUTC();
    icaltimezone *zone = calendar ? icalcomponent_get_timezone(calendar, tzid) : nullptr;
    if (!zone)
        zone = icaltimezone_get_builtin_timezone_from_tzid(tzid);
    if (!zone)
        zone = icaltimezone_get_builtin_timezone(tzid);
    if (zone) {
        return dateTimeOf(
            icaltime_convert_to_zone(icaltime_set_timezone(&time, zone), icaltimezone_get_utc_timezone()),
            Qt::UTC);
    }
    const QTimeZone fallback = qtZone(tzid);
    // An unknown zone name is read as the user's own clock, like a floating time.
    return fallback.isValid() ? QDateTime(wall->date(), wall->time(), fallback).toUTC() : wall->toUTC();
}

std::optional<QDateTime> dueOf(icalcomponent *calendar, icalproperty *due)
{
    if (!due)
        return QDateTime();
    const icaltimetype time = icalproperty_get_due(due);
    if (icaltime_is_null_time(time))
        return std::nullopt;
    return utcOf(calendar, time, icalproperty_get_parameter_as_string(due, "TZID"));
}

icalproperty *findX(icalcomponent *todo, const char *name)
{
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_X_PROPERTY)) {
        if (qstricmp(icalproperty_get_x_name(p), name) == 0)
            return p;
    }
    return nullptr;
}

int priorityOfLevel(int level)
{
    if (level > 50)
        return 4 - std::clamp((level - 51) * 2 / 25, 0, 3);
    if (level > 20)
        return 5;
    return 6 + std::clamp((20 - level) / 5, 0, 3);
}

int levelOfPriority(int priority)
{
    return priority >= 1 && priority <= 9 ? kLevelOfPriority[priority] : kLevelOfPriority[0];
}

Writer::Writer(const QString &uidSuffix)
    : m_uidSuffix(uidSuffix.toUtf8()), m_stamp(QDateTime::currentSecsSinceEpoch())
{
}

QByteArray Writer::head() const
{
    return QByteArrayLiteral("BEGIN:VCALENDAR\r\nPRODID:-//Duevia//Duevia tasks//EN\r\nVERSION:2.0\r\n");
}

QByteArray Writer::tail() const
{
    return QByteArrayLiteral("END:VCALENDAR\r\n");
}

// name:value, folded after 75 octets and never inside a UTF-8 sequence.
void Writer::appendLine(QByteArray &out, const char *name, QByteArrayView value)
{
    const qsizetype nameLength = qsizetype(std::strlen(name));
    out.append(name, nameLength).append(':');
    qsizetype room = 75 - nameLength - 1;
    while (value.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (uchar(value.at(cut)) & 0xC0) == 0x80)
            --cut;
        out.append(value.first(cut)).append("\r\n ", 3);
        value = value.sliced(cut);
        room = 74;
    }
    out.append(value).append("\r\n", 2);
}

void Writer::appendText(QByteArray &out, const char *name, const QString &text)
{
    QStringEncoder encoder(QStringEncoder::Utf8);
    m_utf8.resize(encoder.requiredSpace(text.size()));
    const char *end = encoder.appendToBuffer(m_utf8.data(), text);
    const QByteArrayView utf8(m_utf8.constData(), end - m_utf8.constData());
    m_escaped.resize(0);
    for (const char c : utf8) {
        switch (c) {
        case '\\':
        case ';':
        case ',':
            m_escaped.append('\\').append(c);
            break;
        case '\n':
            m_escaped.append("\\n", 2);
            break;
        case '\r':
            break;
        default:
            m_escaped.append(c);
        }
    }
    appendLine(out, name, m_escaped);
}

// A DATE-TIME in UTC; nothing for a year outside 1-9999.
void Writer::appendTime(QByteArray &out, const char *name, qint64 utc)
{
    const auto [day, second] = CalendarTimeZone::split(utc);
    int year = 0, month = 0, dayOfMonth = 0;
    QDate::fromJulianDay(2440588 + day).getDate(&year, &month, &dayOfMonth);
    if (year < 1 || year > 9999)
        return;
    char text[17];
    const int values[] = {year, month, dayOfMonth, second / 3600, second / 60 % 60, second % 60};
    const int widths[] = {4, 2, 2, 2, 2, 2};
    char *at = text;
    for (int i = 0; i < 6; ++i) {
        if (i == 3)
            *at++ = 'T';
        for (int w = widths[i], v = values[i]; w > 0; --w, v /= 10)
            at[w - 1] = char('0' + v % 10);
        at += widths[i];
    }
    *at++ = 'Z';
    out.append(name).append(':').append(text, at - text).append("\r\n", 2);
}

void Writer::appendTodo(const TransferTask &task, QByteArray &out)
{
    out.append("BEGIN:VTODO\r\nUID:task-").append(QByteArray::number(task.id)).append('-');
    out.append(m_uidSuffix).append("\r\n", 2);
    appendTime(out, "DTSTAMP", m_stamp);
    if (task.createAt)
        appendTime(out, "CREATED", *task.createAt);
    appendText(out, "SUMMARY", task.name);
    if (!task.notes.isEmpty())
        appendText(out, "DESCRIPTION", task.notes);
    if (task.expireAt)
        appendTime(out, "DUE", *task.expireAt);
    out.append(task.done ? "STATUS:COMPLETED\r\nPRIORITY:" : "STATUS:NEEDS-ACTION\r\nPRIORITY:");
    out.append(char('0' + priorityOfLevel(task.level))).append("\r\n", 2);
    out.append(kLevelProperty).append(':').append(QByteArray::number(task.level)).append("\r\n", 2);
    if (!task.customerName.isEmpty())
        appendText(out, kCustomerProperty, task.customerName);
    out.append("END:VTODO\r\n", 11);
}

} // namespace TaskCalendarFormat
