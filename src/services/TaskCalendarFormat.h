#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

struct icaltimetype;
typedef struct icalcomponent_impl icalcomponent;
typedef struct icalproperty_impl icalproperty;
typedef struct icalvalue_impl icalvalue;

// Tasks as iCalendar VTODO components (RFC 5545), read and written through libical.
namespace TaskCalendarFormat {

// One task as it travels from the database to a file. Times are seconds since 1970 (UTC); none
// means no expiry, or no creation time.
struct TransferTask
{
    qint64 id = 0;
    QString name;
    QString notes;
    int level = 1;
    bool done = false;
    std::optional<qint64> expireAt;
    std::optional<qint64> createAt;
    QString customerName;
};

// The level bands (up to 20 low, 21 to 50 medium, above 50 high) onto the priorities 6-9, 5 and 1-4.
int priorityOfLevel(int level);
// A level inside the band of an iCalendar priority; 0 (undefined) and values outside 1-9 give level 1.
int levelOfPriority(int priority);

// The X- properties that carry what the priority cannot: the exact level and the customer.
inline constexpr char kLevelProperty[] = "X-DUEVIA-LEVEL";
inline constexpr char kCustomerProperty[] = "X-DUEVIA-CUSTOMER";

// A DATE-TIME value in UTC, or null for a year outside 1-9999.
icalvalue *utcValue(const QDateTime &dateTime);
// A date-time of the calendar read the way a DUE is (a date alone as 23:59 local, a floating time as
// local, else in the zone of tzid) as UTC; nullopt when it names no moment the program can keep.
std::optional<QDateTime> utcOf(icalcomponent *calendar, const icaltimetype &time, const char *tzid);
// The DUE of a VTODO as UTC: an invalid date-time when there is none, nullopt when it is unreadable.
std::optional<QDateTime> dueOf(icalcomponent *calendar, icalproperty *due);
// The first X- property of that name, or null.
icalproperty *findX(icalcomponent *todo, const char *name);

// Writes one calendar in three pieces so that large exports stream: the head, one VTODO per task and
// the tail. uidSuffix makes the UIDs unique to the database the tasks come from.
class Writer
{
public:
    explicit Writer(const QString &uidSuffix);
    QByteArray head() const;
    QByteArray tail() const;
    // Appends the VTODO of the task to out.
    void appendTodo(const TransferTask &task, QByteArray &out);

private:
    void appendLine(QByteArray &out, const char *name, QByteArrayView value);
    void appendText(QByteArray &out, const char *name, const QString &text);
    static void appendTime(QByteArray &out, const char *name, qint64 utc);

    QByteArray m_uidSuffix;
    qint64 m_stamp = 0;
    // Reused for every field.
    QByteArray m_utf8;
    QByteArray m_escaped;
};

} // namespace TaskCalendarFormat
