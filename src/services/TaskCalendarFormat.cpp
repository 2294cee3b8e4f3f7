#include "services/TaskCalendarFormat.h"

#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace TaskCalendarFormat {

namespace {

// Index: priority 0-9. Each level lies in the band of its priority and maps back onto it.
constexpr int kLevelOfPriority[] = {1, 95, 82, 70, 57, 35, 18, 13, 8, 3};

constexpr int kLastIcalYear = 3000;

struct ComponentDeleter
{
    void operator()(icalcomponent *component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentDeleter>;

QByteArray componentText(icalcomponent *component)
{
    char *text = icalcomponent_as_ical_string_r(component);
    QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

// A date-time property in UTC, or none for a year outside 1-9999.
icalproperty *utcProperty(icalproperty_kind kind, const QDateTime &dateTime)
{
    icalvalue *value = utcValue(dateTime);
    if (!value)
        return nullptr;
    icalproperty *property = icalproperty_new(kind);
    icalproperty_set_value(property, value);
    return property;
}

void addUtc(icalcomponent *component, icalproperty_kind kind, const QDateTime &dateTime)
{
    if (icalproperty *property = dateTime.isValid() ? utcProperty(kind, dateTime) : nullptr)
        icalcomponent_add_property(component, property);
}

// A date-time from libical's fields; nullopt when they name no moment the program can keep.
std::optional<QDateTime> dateTimeOf(const icaltimetype &time, Qt::TimeSpec timeSpec)
{
    const QDate date(time.year, time.month, time.day);
    const QTime clock(time.hour, time.minute, std::min(time.second, 59));
    if (time.year < 1 || !date.isValid() || !clock.isValid())
        return std::nullopt;
    return QDateTime(date, clock, timeSpec);
}

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

void addX(icalcomponent *todo, const char *name, const QString &value)
{
    icalproperty *property = icalproperty_new_x(value.toUtf8().constData());
    icalproperty_set_x_name(property, name);
    icalcomponent_add_property(todo, property);
}

// A zone that neither the file nor libical knows: an IANA or Windows name Qt knows, else none.
QTimeZone qtZone(const QByteArray &tzid)
{
    if (QTimeZone::isTimeZoneIdAvailable(tzid))
        return QTimeZone(tzid);
    const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid);
    return iana.isEmpty() ? QTimeZone() : QTimeZone(iana);
}

void readTodo(icalcomponent *calendar, icalcomponent *todo, ReadResult &result)
{
    const QString name = text(icalcomponent_get_summary(todo)).trimmed();
    const std::optional<QDateTime> due =
        dueOf(calendar, icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY));
    if (name.isEmpty() || !due) {
        ++result.skipped;
        return;
    }
    TransferTask task;
    task.name = name;
    task.notes = text(icalcomponent_get_description(todo));
    task.expireAt = *due;
    task.done = icalcomponent_get_status(todo) == ICAL_STATUS_COMPLETED ||
                icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY);
    icalproperty *priority = icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY);
    task.level = levelOfPriority(priority ? icalproperty_get_priority(priority) : 0);
    if (icalproperty *level = findX(todo, kLevelProperty)) {
        bool ok = false;
        const int exact = text(icalproperty_get_x(level)).trimmed().toInt(&ok);
        if (ok)
            task.level = exact;
    }
    if (icalproperty *customer = findX(todo, kCustomerProperty))
        task.customerName = text(icalproperty_get_x(customer)).trimmed();
    result.tasks.append(task);
}

void readCalendar(icalcomponent *calendar, ReadResult &result)
{
    for (icalcomponent *todo = icalcomponent_get_first_component(calendar, ICAL_VTODO_COMPONENT); todo;
         todo = icalcomponent_get_next_component(calendar, ICAL_VTODO_COMPONENT))
        readTodo(calendar, todo, result);
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

ReadResult read(const QByteArray &data)
{
    ReadResult result;
    // libical stops the process on some errors unless told otherwise.
    icalerror_set_errors_are_fatal(0);
    QByteArray body = data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data;
    if (!body.trimmed().toUpper().startsWith("BEGIN:VCALENDAR"))
        return result;
    const Component root(icalparser_parse_string(body.constData()));
    if (!root)
        return result;
    // Several calendars in one file come back under one XROOT component.
    if (icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
        for (icalcomponent *calendar =
                 icalcomponent_get_first_component(root.get(), ICAL_VCALENDAR_COMPONENT);
             calendar; calendar = icalcomponent_get_next_component(root.get(), ICAL_VCALENDAR_COMPONENT)) {
            result.isCalendar = true;
            readCalendar(calendar, result);
        }
    } else if (icalcomponent_isa(root.get()) == ICAL_VCALENDAR_COMPONENT) {
        result.isCalendar = true;
        readCalendar(root.get(), result);
    }
    return result;
}

Writer::Writer(const QString &uidSuffix) : m_uidSuffix(uidSuffix)
{
    icalerror_set_errors_are_fatal(0);
    const Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Duevia//Duevia tasks//EN"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    // libical writes the frame; the VTODOs go between its last property and its END line.
    const QByteArray frame = componentText(calendar.get());
    const int end = frame.lastIndexOf("END:VCALENDAR");
    m_head = frame.left(end);
    m_tail = frame.mid(end);
}

QByteArray Writer::head() const
{
    return m_head;
}

QByteArray Writer::tail() const
{
    return m_tail;
}

QByteArray Writer::todo(const TransferTask &task) const
{
    const Component todo(icalcomponent_new(ICAL_VTODO_COMPONENT));
    icalcomponent *c = todo.get();
    const QString uid = QStringLiteral("task-%1-%2").arg(task.id).arg(m_uidSuffix);
    icalcomponent_add_property(c, icalproperty_new_uid(uid.toUtf8().constData()));
    addUtc(c, ICAL_DTSTAMP_PROPERTY, m_stamp);
    addUtc(c, ICAL_CREATED_PROPERTY, task.createAt);
    icalcomponent_add_property(c, icalproperty_new_summary(task.name.toUtf8().constData()));
    if (!task.notes.isEmpty())
        icalcomponent_add_property(c, icalproperty_new_description(task.notes.toUtf8().constData()));
    addUtc(c, ICAL_DUE_PROPERTY, task.expireAt);
    icalcomponent_add_property(
        c, icalproperty_new_status(task.done ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
    icalcomponent_add_property(c, icalproperty_new_priority(priorityOfLevel(task.level)));
    addX(c, kLevelProperty, QString::number(task.level));
    if (!task.customerName.isEmpty())
        addX(c, kCustomerProperty, task.customerName);
    return componentText(c);
}

} // namespace TaskCalendarFormat
