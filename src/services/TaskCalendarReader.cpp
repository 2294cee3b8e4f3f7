#include "services/TaskCalendarReader.h"

#include "services/InputLimits.h"
#include "services/TaskCalendarFormat.h"

#include <QDateTime>
#include <QIODevice>

#include <libical/ical.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 kBlock = 1 << 20;
// Components nested deeper than this are not a calendar any program writes.
constexpr int kDeepest = 32;
// A text of more UTF-8 bytes than three per UTF-16 unit of the limit is over it.
constexpr qsizetype kBytesPerUnit = 3;

enum Seen : quint8 {
    kSummary = 1,
    kDescription = 2,
    kDue = 4,
    kPriority = 8,
    kLevel = 16,
    kCustomer = 32,
};

bool equals(std::string_view text, const char *upper)
{
    const size_t length = std::strlen(upper);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c != upper[i])
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

QByteArrayView view(std::string_view text)
{
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

// The value of a parameter (quotes removed) in ";A=x;B="y"", or none.
std::optional<std::string_view> parameter(std::string_view parameters, const char *name)
{
    while (!parameters.empty()) {
        parameters.remove_prefix(1);
        const size_t equal = parameters.find('=');
        if (equal == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = parameters.substr(0, equal);
        parameters.remove_prefix(equal + 1);
        size_t end = 0;
        std::string_view value;
        if (!parameters.empty() && parameters.front() == '"') {
            end = parameters.find('"', 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            value = parameters.substr(1, end - 1);
            ++end;
        } else {
            end = std::min(parameters.find(';'), parameters.size());
            value = parameters.substr(0, end);
        }
        end = std::min(parameters.find(';', end), parameters.size());
        if (equals(key, name))
            return value;
        parameters.remove_prefix(end);
    }
    return std::nullopt;
}

std::optional<int> integer(std::string_view text)
{
    bool ok = false;
    const int value = view(trimmed(text)).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

qint64 localSeconds(qint64 wall)
{
    const auto [day, second] = CalendarTimeZone::split(wall);
    const QDate date = QDate::fromJulianDay(2440588 + day);
    return QDateTime(date, QTime(0, 0).addSecs(second), Qt::LocalTime).toSecsSinceEpoch();
}

} // namespace

TaskCalendarReader::TaskCalendarReader(std::function<bool(qint64)> proceed) : m_proceed(std::move(proceed)) {}

TaskCalendarReader::Outcome TaskCalendarReader::read(QIODevice &device)
{
    if (!device.isSequential())
        m_text.reserve(size_t(device.size()));
    QByteArray block(kBlock, Qt::Uninitialized);
    bool first = true;
    for (;;) {
        const qint64 got = device.read(block.data(), kBlock);
        if (got <= 0)
            break;
        const char *data = block.constData();
        qint64 size = got;
        if (first && size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
            data += 3;
            size -= 3;
        }
        first = false;
        m_bytes += got;
        if (!feed(data, size) || !m_proceed(m_bytes))
            break;
    }
    if (!m_stopped && !m_damaged && (m_lineEnded || !m_line.empty()))
        line(m_line);
    if (!m_started)
        return Outcome::NotCalendar;
    if (m_stopped)
        return m_damaged ? Outcome::Damaged : Outcome::Cancelled;
    if (!m_proceed(m_bytes))
        return Outcome::Cancelled;
    return m_damaged || !m_open.isEmpty() || m_calendars == 0 ? Outcome::Damaged : Outcome::Complete;
}

// Splits the data into unfolded content lines: a line break followed by a space or a tab is no break.
bool TaskCalendarReader::feed(const char *data, qint64 size)
{
    qint64 at = 0;
    while (at < size) {
        if (m_lineEnded) {
            m_lineEnded = false;
            if (data[at] == ' ' || data[at] == '\t') {
                ++at;
                continue;
            }
            if (!line(m_line))
                return false;
            m_line.clear();
        }
        const char *lineEnd = static_cast<const char *>(std::memchr(data + at, '\n', size_t(size - at)));
        const qint64 end = lineEnd ? lineEnd - data : size;
        if (const void *nul = std::memchr(data + at, '\0', size_t(end - at))) {
            // Cut off at a NUL: still a calendar when its first line says so.
            m_line.append(data + at, size_t(static_cast<const char *>(nul) - data - at));
            m_started = m_started || equals(std::string_view(m_line).substr(0, 15), "BEGIN:VCALENDAR");
            m_damaged = m_stopped = true;
            return false;
        }
        m_line.append(data + at, size_t(end - at));
        if (lineEnd) {
            if (!m_line.empty() && m_line.back() == '\r')
                m_line.pop_back();
            m_lineEnded = true;
        }
        at = end + 1;
    }
    return true;
}

bool TaskCalendarReader::line(std::string_view text)
{
    if (trimmed(text).empty())
        return true;
    size_t nameEnd = 0;
    while (nameEnd < text.size() && text[nameEnd] != ':' && text[nameEnd] != ';')
        ++nameEnd;
    const std::string_view name = text.substr(0, nameEnd);
    size_t colon = nameEnd;
    for (bool quoted = false; colon < text.size() && (quoted || text[colon] != ':'); ++colon) {
        if (text[colon] == '"')
            quoted = !quoted;
    }
    const std::string_view parameters = text.substr(nameEnd, colon - nameEnd);
    const std::string_view value = colon < text.size() ? text.substr(colon + 1) : std::string_view();
    if (!m_started) {
        // The first line tells a calendar from any other file.
        if (!equals(name, "BEGIN") || !equals(trimmed(value), "VCALENDAR")) {
            m_stopped = true;
            return false;
        }
        m_started = true;
    }
    if (colon == text.size())
        return true;
    if (equals(name, "BEGIN"))
        return begin(trimmed(value));
    if (equals(name, "END"))
        return end(trimmed(value));
    if (m_open.isEmpty())
        return true;
    switch (m_open.last().first) {
    case Kind::Todo:
        todoProperty(name, parameters, value);
        break;
    case Kind::Zone:
        if (equals(name, "TZID") && m_zoneId.isEmpty())
            m_zoneId = view(trimmed(value)).toByteArray();
        break;
    case Kind::ZoneObservance: {
        const QByteArray upper = view(name).toByteArray().toUpper();
        m_fileZones.last().addProperty(upper, view(value));
        break;
    }
    default:
        break;
    }
    return true;
}

bool TaskCalendarReader::begin(std::string_view name)
{
    const Kind parent = m_open.isEmpty() ? Kind::Other : m_open.last().first;
    Kind kind = Kind::Other;
    if (m_open.isEmpty() && equals(name, "VCALENDAR")) {
        kind = Kind::Calendar;
        ++m_calendars;
    } else if (parent == Kind::Calendar && equals(name, "VTODO")) {
        kind = Kind::Todo;
        m_record = Record();
    } else if (parent == Kind::Calendar && equals(name, "VTIMEZONE")) {
        kind = Kind::Zone;
        m_fileZones.append(CalendarTimeZone());
        m_zoneId.clear();
    } else if (parent == Kind::Zone && (equals(name, "STANDARD") || equals(name, "DAYLIGHT"))) {
        kind = Kind::ZoneObservance;
        m_fileZones.last().beginObservance();
    }
    if (m_open.size() == kDeepest) {
        m_damaged = m_stopped = true;
        return false;
    }
    m_open.append({kind, view(name).toByteArray().toUpper()});
    return true;
}

bool TaskCalendarReader::end(std::string_view name)
{
    if (m_open.isEmpty() || !equals(name, m_open.last().second.constData())) {
        m_damaged = m_stopped = true;
        return false;
    }
    const Kind kind = m_open.takeLast().first;
    if (kind == Kind::Todo) {
        m_records.append(m_record);
    } else if (kind == Kind::ZoneObservance) {
        m_fileZones.last().endObservance();
    } else if (kind == Kind::Zone) {
        const QByteArray key = QByteArray::number(m_calendars) + '\n' + m_zoneId;
        if (m_zoneId.isEmpty() || m_fileZoneIds.contains(key)) {
            m_fileZones.removeLast();
        } else {
            m_fileZoneIds.insert(key, int(m_fileZones.size() - 1));
            m_fileZoneReady.append(false);
        }
    }
    if (kind == Kind::Todo || kind == Kind::Zone) {
        if (!m_proceed(m_bytes)) {
            m_stopped = true;
            return false;
        }
    }
    return true;
}

// The TEXT value unescaped into the store; a value over the limit is only marked.
TaskCalendarReader::Text TaskCalendarReader::appendText(std::string_view value, qsizetype limit)
{
    Text text;
    text.at = quint32(m_text.size());
    // Unescaping at most halves a value: one this long is over the limit whatever it holds.
    if (qsizetype(trimmed(value).size()) > 2 * kBytesPerUnit * limit) {
        text.length = kTooLong;
        return text;
    }
    for (size_t i = 0; i < value.size();) {
        const size_t slash = value.find('\\', i);
        const size_t end = slash == std::string_view::npos ? value.size() : slash;
        m_text.append(value.data() + i, end - i);
        if (end == value.size())
            break;
        const char next = end + 1 < value.size() ? value[end + 1] : '\\';
        m_text.push_back(next == 'n' || next == 'N' ? '\n' : next);
        i = end + 2;
    }
    text.length = quint32(m_text.size() - text.at);
    return text;
}

void TaskCalendarReader::todoProperty(std::string_view name, std::string_view parameters,
                                      std::string_view value)
{
    Record &r = m_record;
    const auto once = [&](quint8 bit) {
        const bool first = !(r.seen & bit);
        r.seen |= bit;
        return first;
    };
    if (equals(name, "SUMMARY")) {
        if (once(kSummary))
            r.name = appendText(value, InputLimits::kNameLength);
    } else if (equals(name, "DESCRIPTION")) {
        if (once(kDescription))
            r.notes = appendText(value, InputLimits::kNotesLength);
    } else if (equals(name, "X-DUEVIA-CUSTOMER")) {
        if (once(kCustomer))
            r.customer = appendText(value, InputLimits::kNameLength);
    } else if (equals(name, "PRIORITY")) {
        if (once(kPriority))
            r.priority = qint8(std::clamp(integer(value).value_or(0), -1, 10));
    } else if (equals(name, "X-DUEVIA-LEVEL")) {
        if (once(kLevel)) {
            const auto level = integer(value);
            r.hasLevel = level.has_value();
            r.level = level.value_or(0);
        }
    } else if (equals(name, "STATUS")) {
        r.done = r.done || equals(trimmed(value), "COMPLETED");
    } else if (equals(name, "COMPLETED")) {
        r.done = true;
    } else if (equals(name, "DUE") && once(kDue)) {
        bool utc = false, dateOnly = false;
        const std::optional<qint64> time = CalendarTimeZone::parseDateTime(view(value), &utc, &dateOnly);
        const std::optional<std::string_view> tzid = parameter(parameters, "TZID");
        r.dueKind = !time ? Due::Unreadable
                          : (dateOnly ? Due::Date : (utc ? Due::Utc : (tzid ? Due::Zoned : Due::Floating)));
        r.due = time.value_or(0);
        if (!time && m_firstUnreadableDue.isEmpty())
            m_firstUnreadableDue = view(trimmed(value))
                                       .first(std::min<qsizetype>(40, qsizetype(trimmed(value).size())))
                                       .toByteArray();
        if (r.dueKind == Due::Zoned) {
            const QByteArray zone = view(*tzid).toByteArray();
            const QByteArray key = QByteArray::number(m_calendars) + '\n' + zone;
            auto known = m_zoneUseIds.constFind(key);
            if (known == m_zoneUseIds.cend()) {
                known = m_zoneUseIds.insert(key, int(m_zoneUses.size()));
                m_zoneUses.append({key, zone});
            }
            r.zone = *known;
        }
    }
}

std::optional<qint64> TaskCalendarReader::zonedUtc(ZoneUse &zone, qint64 wall)
{
    if (!zone.resolved) {
        zone.resolved = true;
        const int id = m_fileZoneIds.value(zone.key, -1);
        if (id >= 0 && !m_fileZoneReady.at(id)) {
            m_fileZoneReady[id] = true;
            if (!m_fileZones[id].finish())
                m_fileZones[id] = CalendarTimeZone();
        }
        if (id >= 0 && m_fileZones.at(id).toUtc(0))
            zone.fileZone = id;
        if (zone.fileZone < 0) {
            icalerror_set_errors_are_fatal(0);
            zone.builtin = icaltimezone_get_builtin_timezone_from_tzid(zone.tzid.constData());
            if (!zone.builtin)
                zone.builtin = icaltimezone_get_builtin_timezone(zone.tzid.constData());
        }
        if (zone.fileZone < 0 && !zone.builtin) {
            if (QTimeZone::isTimeZoneIdAvailable(zone.tzid)) {
                zone.qtZone = QTimeZone(zone.tzid);
            } else {
                const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(zone.tzid);
                if (!iana.isEmpty())
                    zone.qtZone = QTimeZone(iana);
            }
        }
    }
    if (zone.fileZone >= 0)
        return m_fileZones.at(zone.fileZone).toUtc(wall);
    const auto [day, second] = CalendarTimeZone::split(wall);
    const QDate date = QDate::fromJulianDay(2440588 + day);
    if (zone.builtin) {
        icaltimetype time = icaltime_null_time();
        time.year = date.year();
        time.month = date.month();
        time.day = date.day();
        time.hour = second / 3600;
        time.minute = second / 60 % 60;
        time.second = second % 60;
        time = icaltime_convert_to_zone(icaltime_set_timezone(&time, zone.builtin),
                                        icaltimezone_get_utc_timezone());
        const QDate utcDate(time.year, time.month, time.day);
        if (!utcDate.isValid())
            return std::nullopt;
        return (utcDate.toJulianDay() - 2440588) * 86400 + time.hour * 3600 + time.minute * 60 +
               std::min(time.second, 59);
    }
    // An unknown zone name is read as the user's own clock, like a floating time.
    if (zone.qtZone.isValid())
        return QDateTime(date, QTime(0, 0).addSecs(second), zone.qtZone).toSecsSinceEpoch();
    return localSeconds(wall);
}

TaskCalendarReader::Skip TaskCalendarReader::task(qsizetype index, Task &task)
{
    const Record &r = m_records.at(index);
    const auto text = [&](const Text &t) {
        return QString::fromUtf8(m_text.data() + t.at, qsizetype(t.length)).trimmed();
    };
    task.name = r.name.tooLong() ? QString() : text(r.name);
    if (task.name.isEmpty() && !r.name.tooLong())
        return Skip::NoSummary;
    if (r.dueKind == Due::Unreadable)
        return Skip::UnreadableDue;
    task.notes = r.notes.tooLong() ? QString() : text(r.notes);
    if (r.name.tooLong() || r.notes.tooLong() || task.name.size() > InputLimits::kNameLength ||
        task.notes.size() > InputLimits::kNotesLength)
        return Skip::TooLong;
    task.customerName = r.customer.tooLong() ? QString() : text(r.customer);
    task.done = r.done;
    task.level = r.hasLevel ? r.level : TaskCalendarFormat::levelOfPriority(r.priority);
    switch (r.dueKind) {
    case Due::None:
        task.due.reset();
        break;
    case Due::Utc:
        task.due = r.due;
        break;
    case Due::Date:
        // A date alone is due at the end of the user's day.
        task.due = localSeconds(r.due + 23 * 3600 + 59 * 60);
        break;
    case Due::Floating:
        task.due = localSeconds(r.due);
        break;
    default:
        task.due = zonedUtc(m_zoneUses[r.zone], r.due);
        if (!task.due)
            return Skip::UnreadableDue;
        break;
    }
    return Skip::None;
}
