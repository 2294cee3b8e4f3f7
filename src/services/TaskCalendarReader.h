#pragma once

#include "services/CalendarTimeZone.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QIODevice;
typedef struct _icaltimezone icaltimezone;

// Reads the VTODOs of an iCalendar file (RFC 5545) a content line at a time, never as a tree: the
// fields of each go into one compact store (UTF-8 text and a few numbers), the zones into their
// rules. Time and memory grow with the size of the file alone.
class TaskCalendarReader
{
public:
    enum class Outcome { Complete, NotCalendar, Damaged, Cancelled };
    enum class Skip { None, NoSummary, UnreadableDue, TooLong };

    struct Task
    {
        QString name;
        QString notes;
        QString customerName;
        int level = 1;
        bool done = false;
        // UTC seconds; none for a task without an expiry.
        std::optional<qint64> due;
    };

    // proceed is asked after every component and every block read, with the bytes read so far;
    // false stops the reading as cancelled.
    explicit TaskCalendarReader(std::function<bool(qint64)> proceed);

    Outcome read(QIODevice &device);

    qsizetype size() const { return m_records.size(); }
    // The index-th VTODO of the file, or why it cannot be imported.
    Skip task(qsizetype index, Task &task);
    // The first DUE value that could not be read, as the file has it.
    QByteArray firstUnreadableDue() const { return m_firstUnreadableDue; }

private:
    enum class Kind : quint8 { Calendar, Todo, Zone, ZoneObservance, Other };
    enum class Due : quint8 { None, Utc, Date, Floating, Zoned, Unreadable };
    // A text of the store; offsets fit as the file's size is limited.
    struct Text
    {
        quint32 at = 0;
        quint32 length = 0;
        bool tooLong() const { return length == kTooLong; }
    };
    static constexpr quint32 kTooLong = 0xFFFFFFFF;
    struct Record
    {
        qint64 due = 0;
        Text name;
        Text notes;
        Text customer;
        qint32 zone = -1;
        qint32 level = 0;
        qint8 priority = 0;
        bool hasLevel = false;
        bool done = false;
        Due dueKind = Due::None;
        // Bits of the properties seen, the first of each counting.
        quint8 seen = 0;
    };
    // A zone named by a task: the file's own, one libical or Qt knows, or the user's clock.
    struct ZoneUse
    {
        QByteArray key;
        QByteArray tzid;
        bool resolved = false;
        int fileZone = -1;
        icaltimezone *builtin = nullptr;
        QTimeZone qtZone;
    };

    bool feed(const char *data, qint64 size);
    bool line(std::string_view text);
    bool begin(std::string_view name);
    bool end(std::string_view name);
    void todoProperty(std::string_view name, std::string_view parameters, std::string_view value);
    Text appendText(std::string_view value, qsizetype limit);
    std::optional<qint64> zonedUtc(ZoneUse &zone, qint64 wall);

    std::function<bool(qint64)> m_proceed;
    qint64 m_bytes = 0;
    std::string m_line;
    bool m_lineEnded = false;
    bool m_started = false;
    bool m_damaged = false;
    bool m_stopped = false;
    int m_calendars = 0;
    QList<std::pair<Kind, QByteArray>> m_open;
    Record m_record;
    std::string m_text;
    QList<Record> m_records;
    QByteArray m_firstUnreadableDue;
    QList<CalendarTimeZone> m_fileZones;
    // By calendar number and TZID.
    QHash<QByteArray, int> m_fileZoneIds;
    QList<bool> m_fileZoneReady;
    QList<ZoneUse> m_zoneUses;
    QHash<QByteArray, int> m_zoneUseIds;
    QByteArray m_zoneId;
};
