#include "sync/VTodoText.h"

#include "services/TaskCalendarFormat.h"

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace VTodoText {

namespace {

namespace Format = TaskCalendarFormat;

// Occurrences of a repeating task looked at before giving up on reaching now.
constexpr int kMaxOccurrences = 50000;

struct ComponentDeleter
{
    void operator()(icalcomponent *component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentDeleter>;

struct IteratorDeleter
{
    void operator()(icalrecur_iterator *iterator) const { icalrecur_iterator_free(iterator); }
};
using Iterator = std::unique_ptr<icalrecur_iterator, IteratorDeleter>;

QString utf8Text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

// A stamp such as LAST-MODIFIED, which RFC 5545 keeps in UTC; a floating one is taken as UTC too.
QDateTime stampOf(icaltimetype time)
{
    if (icaltime_is_null_time(time))
        return {};
    if (time.zone && !icaltime_is_utc(time))
        time = icaltime_convert_to_zone(time, icaltimezone_get_utc_timezone());
    const QDateTime result(QDate(time.year, time.month, time.day),
                           QTime(time.hour, time.minute, std::min(time.second, 59)), Qt::UTC);
    return result.isValid() ? result : QDateTime();
}

QDateTime lastModifiedOf(icalcomponent *todo)
{
    if (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_LASTMODIFIED_PROPERTY)) {
        const QDateTime stamp = stampOf(icalproperty_get_lastmodified(p));
        if (stamp.isValid())
            return stamp;
    }
    if (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_DTSTAMP_PROPERTY))
        return stampOf(icalproperty_get_dtstamp(p));
    return {};
}

// The exact level when it still lies in the band of the priority; a priority some other program
// changed wins over it.
int levelOf(icalcomponent *todo)
{
    icalproperty *priorityProperty = icalcomponent_get_first_property(todo, ICAL_PRIORITY_PROPERTY);
    const int priority = priorityProperty ? icalproperty_get_priority(priorityProperty) : 0;
    if (icalproperty *levelProperty = Format::findX(todo, Format::kLevelProperty)) {
        bool ok = false;
        const int level = utf8Text(icalproperty_get_x(levelProperty)).trimmed().toInt(&ok);
        if (ok && (priority == 0 || Format::priorityOfLevel(level) == priority))
            return level;
    }
    return Format::levelOfPriority(priority);
}

QDateTime utcOrInvalid(icalcomponent *calendar, const icaltimetype &time, icalproperty *property)
{
    if (icaltime_is_null_time(time))
        return {};
    return Format::utcOf(calendar, time, icalproperty_get_parameter_as_string(property, "TZID"))
        .value_or(QDateTime())
        .toUTC();
}

// The due moment of the first occurrence at or after now, or of the last one once the series has
// ended. Occurrences follow DTSTART when the task has one, each keeping DUE's distance from it.
QDateTime nextDue(icalcomponent *calendar, icalcomponent *todo, const QDateTime &due, const QDateTime &now)
{
    icalproperty *dueProperty = icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY);
    icalproperty *anchor = icalcomponent_get_first_property(todo, ICAL_DTSTART_PROPERTY);
    icaltimetype start = anchor ? icalproperty_get_dtstart(anchor) : icaltime_null_time();
    QDateTime anchorUtc = utcOrInvalid(calendar, start, anchor);
    if (!anchorUtc.isValid()) {
        anchor = dueProperty;
        start = icalproperty_get_due(dueProperty);
        anchorUtc = due;
    }
    const qint64 offset = anchorUtc.secsTo(due);

    QList<QDateTime> excluded;
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_EXDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_EXDATE_PROPERTY))
        excluded.append(utcOrInvalid(calendar, icalproperty_get_exdate(p), p));

    QList<QDateTime> occurrences{anchorUtc};
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_RDATE_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype value = icalproperty_get_rdate(p);
        const icaltimetype time = icaltime_is_null_time(value.time) ? value.period.start : value.time;
        occurrences.append(utcOrInvalid(calendar, time, p));
    }
    for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(todo, ICAL_RRULE_PROPERTY)) {
        const Iterator iterator(icalrecur_iterator_new(icalproperty_get_rrule(p), start));
        if (!iterator)
            continue;
        for (int i = 0; i < kMaxOccurrences; ++i) {
            const icaltimetype next = icalrecur_iterator_next(iterator.get());
            const QDateTime occurrence = utcOrInvalid(calendar, next, anchor);
            if (!occurrence.isValid())
                break;
            occurrences.append(occurrence);
            if (occurrence.addSecs(offset) >= now && !excluded.contains(occurrence))
                break;
        }
    }

    QDateTime next;
    QDateTime last;
    for (const QDateTime &occurrence : std::as_const(occurrences)) {
        if (!occurrence.isValid() || excluded.contains(occurrence))
            continue;
        const QDateTime moment = occurrence.addSecs(offset);
        if (moment >= now && (!next.isValid() || moment < next))
            next = moment;
        if (!last.isValid() || moment > last)
            last = moment;
    }
    return next.isValid() ? next : (last.isValid() ? last : due);
}

Component parseText(const QByteArray &text)
{
    icalerror_set_errors_are_fatal(0);
    const QByteArray body = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    return Component(icalparser_parse_string(body.constData()));
}

// The first VTODO and the calendar around it (whose VTIMEZONEs its times refer to).
icalcomponent *firstTodo(icalcomponent *root, icalcomponent **calendar)
{
    *calendar = nullptr;
    if (!root)
        return nullptr;
    switch (icalcomponent_isa(root)) {
    case ICAL_VTODO_COMPONENT:
        return root;
    case ICAL_VCALENDAR_COMPONENT:
        *calendar = root;
        return icalcomponent_get_first_component(root, ICAL_VTODO_COMPONENT);
    case ICAL_XROOT_COMPONENT:
        for (icalcomponent *c = icalcomponent_get_first_component(root, ICAL_VCALENDAR_COMPONENT); c;
             c = icalcomponent_get_next_component(root, ICAL_VCALENDAR_COMPONENT)) {
            if (icalcomponent *todo = icalcomponent_get_first_component(c, ICAL_VTODO_COMPONENT)) {
                *calendar = c;
                return todo;
            }
        }
        return nullptr;
    default:
        return nullptr;
    }
}

icalproperty *utcProperty(icalproperty_kind kind, const QDateTime &dateTime)
{
    icalvalue *value = dateTime.isValid() ? Format::utcValue(dateTime) : nullptr;
    if (!value)
        return nullptr;
    icalproperty *property = icalproperty_new(kind);
    icalproperty_set_value(property, value);
    return property;
}

icalproperty *xProperty(const char *name, const QString &value)
{
    icalproperty *property = icalproperty_new_x(value.toUtf8().constData());
    icalproperty_set_x_name(property, name);
    return property;
}

// The owned properties as libical writes them, in the order of a new VTODO.
QList<icalproperty *> ownedProperties(const SyncTaskFields &fields, const QDateTime &modifiedAt)
{
    QList<icalproperty *> result{icalproperty_new_summary(fields.name.toUtf8().constData())};
    if (!fields.notes.isEmpty())
        result.append(icalproperty_new_description(fields.notes.toUtf8().constData()));
    result.append(utcProperty(ICAL_DUE_PROPERTY, fields.expireAt));
    result.append(icalproperty_new_status(fields.done ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
    if (fields.done)
        result.append(utcProperty(ICAL_COMPLETED_PROPERTY, modifiedAt));
    result.append(icalproperty_new_priority(Format::priorityOfLevel(fields.level)));
    result.append(xProperty(Format::kLevelProperty, QString::number(fields.level)));
    if (!fields.customerName.isEmpty())
        result.append(xProperty(Format::kCustomerProperty, fields.customerName));
    result.removeAll(nullptr);
    return result;
}

// One content line with its continuation lines, exactly as in the text.
struct LineGroup
{
    QByteArray raw;
    // The property name in upper case, and for BEGIN and END the component's.
    QByteArray name;
    QByteArray component;
};

// RFC 5545 unfolding: each line break goes together with the one blank that follows it.
QByteArray unfolded(const QByteArray &raw)
{
    QByteArray logical = raw;
    logical.replace("\r\n ", "").replace("\r\n\t", "").replace("\n ", "").replace("\n\t", "");
    return logical.trimmed();
}

QList<LineGroup> lineGroups(const QByteArray &text)
{
    QList<LineGroup> groups;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf('\n', from);
        end = end < 0 ? text.size() : end + 1;
        const QByteArray line = text.mid(from, end - from);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !groups.isEmpty())
            groups.last().raw += line;
        else
            groups.append({line, {}, {}});
        from = end;
    }
    for (LineGroup &group : groups) {
        const QByteArray logical = unfolded(group.raw);
        qsizetype nameEnd = 0;
        while (nameEnd < logical.size() && logical[nameEnd] != ':' && logical[nameEnd] != ';')
            ++nameEnd;
        group.name = logical.left(nameEnd).trimmed().toUpper();
        if (group.name == "BEGIN" || group.name == "END")
            group.component = logical.mid(logical.indexOf(':') + 1).trimmed().toUpper();
    }
    return groups;
}

QByteArray valueOf(const LineGroup &group)
{
    const QByteArray logical = unfolded(group.raw);
    return logical.mid(logical.indexOf(':') + 1).trimmed();
}

// What a patch does to one owned property: a new line for its first occurrence (added when it has
// none, further ones dropped), or with an empty line the removal of every occurrence (of only those
// with that value when onlyValue is set).
struct Edit
{
    QByteArray name;
    QByteArray line;
    QByteArray onlyValue;
};

class TextPatcher
{
public:
    explicit TextPatcher(bool crlf) : m_crlf(crlf) {}

    void set(icalproperty *property)
    {
        if (!property)
            return;
        char *text = icalproperty_as_ical_string_r(property);
        QByteArray line(text);
        icalmemory_free_buffer(text);
        const QByteArray name = QByteArray(icalproperty_get_property_name(property)).toUpper();
        icalproperty_free(property);
        if (!m_crlf)
            line.replace("\r\n", "\n");
        m_edits.append({name, line, {}});
    }
    void remove(const QByteArray &name, const QByteArray &onlyValue = {})
    {
        m_edits.append({name, {}, onlyValue});
    }
    bool isEmpty() const { return m_edits.isEmpty(); }

    QByteArray apply(const QByteArray &serverText) const
    {
        QByteArray result;
        result.reserve(serverText.size() + 512);
        QList<QByteArray> done;
        // Owned properties the server's VTODO lacks go after its own properties, before its first
        // alarm or else before its end.
        const auto addMissing = [&] {
            for (const Edit &edit : m_edits) {
                if (!edit.line.isEmpty() && !done.contains(edit.name)) {
                    result += edit.line;
                    done.append(edit.name);
                }
            }
        };
        int depth = 0;
        int todoDepth = -1;
        bool todoSeen = false;
        for (const LineGroup &group : lineGroups(serverText)) {
            const bool inTodo = todoDepth >= 0 && depth == todoDepth + 1;
            if (group.name == "BEGIN") {
                if (inTodo)
                    addMissing();
                if (!todoSeen && group.component == "VTODO") {
                    todoSeen = true;
                    todoDepth = depth;
                }
                ++depth;
            } else if (group.name == "END") {
                if (inTodo) {
                    addMissing();
                    todoDepth = -1;
                }
                --depth;
            } else if (inTodo) {
                const auto edit = std::find_if(m_edits.cbegin(), m_edits.cend(),
                                               [&](const Edit &e) { return e.name == group.name; });
                if (edit != m_edits.cend()) {
                    if (edit->line.isEmpty()) {
                        if (edit->onlyValue.isEmpty() || valueOf(group) == edit->onlyValue)
                            continue;
                    } else {
                        if (!done.contains(edit->name))
                            result += edit->line;
                        done.append(edit->name);
                        continue;
                    }
                }
            }
            result += group.raw;
        }
        return result;
    }

private:
    bool m_crlf = true;
    QList<Edit> m_edits;
};

} // namespace

Parsed parse(const QByteArray &text, const QDateTime &now)
{
    Parsed result;
    const Component root = parseText(text);
    icalcomponent *calendar = nullptr;
    icalcomponent *todo = firstTodo(root.get(), &calendar);
    if (!todo)
        return result;
    result.ok = true;
    result.uid = utf8Text(icalcomponent_get_uid(todo));
    result.lastModified = lastModifiedOf(todo);

    SyncTaskFields &fields = result.fields;
    fields.name = utf8Text(icalcomponent_get_summary(todo)).trimmed();
    fields.notes = utf8Text(icalcomponent_get_description(todo));
    fields.done = icalcomponent_get_status(todo) == ICAL_STATUS_COMPLETED ||
                  icalcomponent_get_first_property(todo, ICAL_COMPLETED_PROPERTY);
    fields.level = levelOf(todo);
    if (icalproperty *customer = Format::findX(todo, Format::kCustomerProperty))
        fields.customerName = utf8Text(icalproperty_get_x(customer)).trimmed();
    fields.expireAt = Format::dueOf(calendar, icalcomponent_get_first_property(todo, ICAL_DUE_PROPERTY))
                          .value_or(QDateTime());
    if (fields.expireAt.isValid())
        fields.expireAt = fields.expireAt.toUTC();

    result.recurring = icalcomponent_get_first_property(todo, ICAL_RRULE_PROPERTY) ||
                       icalcomponent_get_first_property(todo, ICAL_RDATE_PROPERTY);
    if (result.recurring && fields.expireAt.isValid())
        fields.expireAt = nextDue(calendar, todo, fields.expireAt, now.toUTC());
    return result;
}

QByteArray create(const QString &uid, const SyncTaskFields &fields, const QDateTime &modifiedAt)
{
    icalerror_set_errors_are_fatal(0);
    const Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Duevia//Duevia tasks//EN"));
    icalcomponent *todo = icalcomponent_new(ICAL_VTODO_COMPONENT);
    icalcomponent_add_property(todo, icalproperty_new_uid(uid.toUtf8().constData()));
    for (icalproperty_kind kind : {ICAL_DTSTAMP_PROPERTY, ICAL_LASTMODIFIED_PROPERTY}) {
        if (icalproperty *stamp = utcProperty(kind, modifiedAt))
            icalcomponent_add_property(todo, stamp);
    }
    for (icalproperty *property : ownedProperties(fields, modifiedAt))
        icalcomponent_add_property(todo, property);
    icalcomponent_add_component(calendar.get(), todo);

    char *text = icalcomponent_as_ical_string_r(calendar.get());
    const QByteArray result(text);
    icalmemory_free_buffer(text);
    return result;
}

QByteArray patch(const QByteArray &serverText, const SyncTaskFields &fields, const QDateTime &modifiedAt,
                 const QDateTime &now)
{
    const Parsed server = parse(serverText, now);
    if (!server.ok)
        return serverText;
    const SyncTaskFields &old = server.fields;
    TextPatcher patcher(serverText.contains("\r\n") || !serverText.contains('\n'));

    if (fields.name != old.name)
        patcher.set(icalproperty_new_summary(fields.name.toUtf8().constData()));
    if (fields.notes != old.notes) {
        if (fields.notes.isEmpty())
            patcher.remove("DESCRIPTION");
        else
            patcher.set(icalproperty_new_description(fields.notes.toUtf8().constData()));
    }
    // iCalendar keeps whole seconds.
    const bool sameExpiry =
        fields.expireAt.isValid() == old.expireAt.isValid() &&
        (!old.expireAt.isValid() || fields.expireAt.toSecsSinceEpoch() == old.expireAt.toSecsSinceEpoch());
    if (!sameExpiry) {
        if (icalproperty *due = utcProperty(ICAL_DUE_PROPERTY, fields.expireAt))
            patcher.set(due);
        else
            patcher.remove("DUE");
    }
    if (fields.done != old.done) {
        patcher.set(icalproperty_new_status(fields.done ? ICAL_STATUS_COMPLETED : ICAL_STATUS_NEEDSACTION));
        if (fields.done) {
            patcher.set(utcProperty(ICAL_COMPLETED_PROPERTY, modifiedAt));
            patcher.set(icalproperty_new_percentcomplete(100));
        } else {
            patcher.remove("COMPLETED");
            patcher.remove("PERCENT-COMPLETE", "100");
        }
    }
    if (fields.level != old.level) {
        patcher.set(icalproperty_new_priority(Format::priorityOfLevel(fields.level)));
        patcher.set(xProperty(Format::kLevelProperty, QString::number(fields.level)));
    }
    if (fields.customerName != old.customerName) {
        if (fields.customerName.isEmpty())
            patcher.remove(Format::kCustomerProperty);
        else
            patcher.set(xProperty(Format::kCustomerProperty, fields.customerName));
    }
    if (patcher.isEmpty())
        return serverText;
    patcher.set(utcProperty(ICAL_LASTMODIFIED_PROPERTY, modifiedAt));
    patcher.set(utcProperty(ICAL_DTSTAMP_PROPERTY, modifiedAt));
    return patcher.apply(serverText);
}

} // namespace VTodoText
