#include "services/CalendarTimeZone.h"

#include <QDate>

#include <algorithm>
#include <limits>

namespace {

constexpr qint64 kDay = 86400;
constexpr qint64 kJulianDay1970 = 2440588;
// What one conversion may cost at most: rule observances per zone, and the months or years of a rule
// looked through back from the moment (a rule that fires less often is taken as ended).
constexpr int kMostRuled = 16;
constexpr int kMostMonths = 24;
constexpr int kMostYears = 4;
// Periods counted forward to turn a COUNT of a monthly or yearly rule into its last occurrence.
constexpr int kMostCounted = 200;

std::optional<int> digits(QByteArrayView text, qsizetype at, int length)
{
    if (at + length > text.size())
        return std::nullopt;
    int value = 0;
    for (int i = 0; i < length; ++i) {
        const char c = text.at(at + i);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<int> number(QByteArrayView text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// "+HHMM" or "+HHMMSS" in seconds.
std::optional<int> offsetOf(QByteArrayView text)
{
    text = text.trimmed();
    if ((text.size() != 5 && text.size() != 7) || (text.at(0) != '+' && text.at(0) != '-'))
        return std::nullopt;
    const auto hours = digits(text, 1, 2), minutes = digits(text, 3, 2);
    const auto seconds = text.size() == 7 ? digits(text, 5, 2) : std::optional<int>(0);
    if (!hours || !minutes || !seconds || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    const int value = *hours * 3600 + *minutes * 60 + *seconds;
    return text.at(0) == '-' ? -value : value;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

QDate dateOf(qint64 seconds)
{
    return QDate::fromJulianDay(kJulianDay1970 + floorDiv(seconds, kDay));
}

qint64 secondsOf(const QDate &date, int second)
{
    return (date.toJulianDay() - kJulianDay1970) * kDay + second;
}

int weekdayOf(QByteArrayView name)
{
    static const char *const names[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
    for (int i = 0; i < 7; ++i) {
        if (name.compare(QByteArrayView(names[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

} // namespace

std::pair<qint64, int> CalendarTimeZone::split(qint64 seconds)
{
    const qint64 day = floorDiv(seconds, kDay);
    return {day, int(seconds - day * kDay)};
}

std::optional<qint64> CalendarTimeZone::parseDateTime(QByteArrayView value, bool *utc, bool *dateOnly)
{
    value = value.trimmed();
    const bool isDate = value.size() == 8;
    const bool isUtc = value.size() == 16 && (value.at(15) == 'Z' || value.at(15) == 'z');
    if (!isDate && value.size() != 15 && !isUtc)
        return std::nullopt;
    const auto year = digits(value, 0, 4), month = digits(value, 4, 2), day = digits(value, 6, 2);
    if (!year || !month || !day)
        return std::nullopt;
    const QDate date(*year, *month, *day);
    if (!date.isValid())
        return std::nullopt;
    int second = 0;
    if (!isDate) {
        const auto hour = digits(value, 9, 2), minute = digits(value, 11, 2), sec = digits(value, 13, 2);
        if ((value.at(8) != 'T' && value.at(8) != 't') || !hour || !minute || !sec || *hour > 23 ||
            *minute > 59 || *sec > 60)
            return std::nullopt;
        second = *hour * 3600 + *minute * 60 + std::min(*sec, 59);
    }
    if (utc)
        *utc = isUtc;
    if (dateOnly)
        *dateOnly = isDate;
    return secondsOf(date, second);
}

void CalendarTimeZone::beginObservance()
{
    m_observance = Observance();
    m_inObservance = true;
}

void CalendarTimeZone::endObservance()
{
    if (m_inObservance)
        m_observances.append(std::move(m_observance));
    m_inObservance = false;
}

void CalendarTimeZone::addProperty(QByteArrayView name, QByteArrayView value)
{
    if (!m_inObservance)
        return;
    if (name == "TZOFFSETFROM") {
        m_observance.offsetFrom = offsetOf(value);
    } else if (name == "TZOFFSETTO") {
        m_observance.offsetTo = offsetOf(value);
    } else if (name == "DTSTART") {
        m_observance.start = parseDateTime(value, &m_observance.startUtc);
    } else if (name == "RDATE") {
        for (const QByteArrayView item : QLatin1StringView(value).tokenize(QLatin1Char(','))) {
            // A period counts from its start.
            const QByteArrayView text(item.data(), item.size());
            const qsizetype slash = text.indexOf('/');
            bool utc = false;
            if (const auto date = parseDateTime(slash < 0 ? text : text.first(slash), &utc))
                m_observance.dates.append({*date, utc});
            else
                m_unreadable = true;
        }
    } else if (name == "RRULE") {
        Rule rule;
        if (m_observance.rule || !readRule(value, rule))
            m_unreadable = true;
        else
            m_observance.rule = std::move(rule);
    }
}

bool CalendarTimeZone::readRule(QByteArrayView value, Rule &rule) const
{
    using Frequency = Rule::Frequency;
    for (const QLatin1StringView pair : QLatin1StringView(value).tokenize(QLatin1Char(';'))) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals < 0)
            return false;
        const QByteArrayView key(pair.data(), equals);
        const QByteArrayView text(pair.data() + equals + 1, pair.size() - equals - 1);
        const auto list = [&](auto take) {
            for (const QLatin1StringView item : QLatin1StringView(text).tokenize(QLatin1Char(','))) {
                if (!take(QByteArrayView(item.data(), item.size()).trimmed()))
                    return false;
            }
            return true;
        };
        if (key.compare("FREQ", Qt::CaseInsensitive) == 0) {
            static const char *const names[] = {"SECONDLY", "MINUTELY", "HOURLY", "DAILY",
                                                "WEEKLY",   "MONTHLY",  "YEARLY"};
            for (int i = 0; i < 7; ++i) {
                if (text.compare(QByteArrayView(names[i]), Qt::CaseInsensitive) == 0)
                    rule.frequency = Frequency(i + 1);
            }
        } else if (key.compare("INTERVAL", Qt::CaseInsensitive) == 0) {
            rule.interval = number(text).value_or(0);
            if (rule.interval < 1)
                return false;
        } else if (key.compare("COUNT", Qt::CaseInsensitive) == 0) {
            rule.count = number(text).value_or(0);
            if (rule.count < 1)
                return false;
        } else if (key.compare("UNTIL", Qt::CaseInsensitive) == 0) {
            bool dateOnly = false;
            rule.until = parseDateTime(text, &rule.untilUtc, &dateOnly);
            if (!rule.until)
                return false;
            if (dateOnly)
                *rule.until += kDay - 1;
        } else if (key.compare("BYMONTH", Qt::CaseInsensitive) == 0) {
            if (!list([&](QByteArrayView item) {
                    const int month = number(item).value_or(0);
                    rule.months |= 1 << month;
                    return month >= 1 && month <= 12;
                }))
                return false;
        } else if (key.compare("BYMONTHDAY", Qt::CaseInsensitive) == 0) {
            if (!list([&](QByteArrayView item) {
                    const int day = number(item).value_or(0);
                    rule.monthDays.append(day);
                    return day != 0 && day >= -31 && day <= 31;
                }))
                return false;
        } else if (key.compare("BYDAY", Qt::CaseInsensitive) == 0) {
            if (!list([&](QByteArrayView item) {
                    if (item.size() < 2)
                        return false;
                    const int weekday = weekdayOf(item.last(2));
                    const QByteArrayView ordinal = item.chopped(2);
                    const int nth = ordinal.isEmpty() ? 0 : number(ordinal).value_or(0);
                    rule.days.append({nth, weekday});
                    return weekday > 0 && (ordinal.isEmpty() || (nth != 0 && nth >= -5 && nth <= 5));
                }))
                return false;
        } else if (key.compare("WKST", Qt::CaseInsensitive) != 0) {
            // What no zone needs (BYSETPOS, BYYEARDAY, BYHOUR...) is not evaluated.
            return false;
        }
    }
    const bool fixedStep = rule.frequency < Frequency::Monthly;
    if (rule.frequency == Frequency::None ||
        (fixedStep && (rule.months || !rule.days.isEmpty() || !rule.monthDays.isEmpty())))
        return false;
    // An ordinal weekday of the whole year.
    const bool yearlyOrdinal = std::any_of(rule.days.cbegin(), rule.days.cend(),
                                           [](const std::pair<int, int> &day) { return day.first != 0; });
    return !(rule.frequency == Frequency::Yearly && yearlyOrdinal && !rule.months);
}

QList<int> CalendarTimeZone::daysOf(const Observance &observance, int year, int month) const
{
    const Rule &rule = *observance.rule;
    const QDate first(year, month, 1);
    QList<int> days;
    if (!first.isValid())
        return days;
    const int length = first.daysInMonth();
    if (rule.days.isEmpty() && rule.monthDays.isEmpty()) {
        const int day = dateOf(*observance.start).day();
        if (day <= length)
            days.append(day);
        return days;
    }
    quint64 byMonthDay = 0, byDay = 0;
    for (const int day : rule.monthDays) {
        const int at = day > 0 ? day : length + 1 + day;
        if (at >= 1 && at <= length)
            byMonthDay |= quint64(1) << at;
    }
    const int firstWeekday = first.dayOfWeek();
    for (const auto &[nth, weekday] : rule.days) {
        const int firstDay = 1 + (weekday - firstWeekday + 7) % 7;
        const int count = (length - firstDay) / 7 + 1;
        for (int i = 0; i < count; ++i) {
            if (nth == 0 || nth == i + 1 || nth == i - count)
                byDay |= quint64(1) << (firstDay + 7 * i);
        }
    }
    quint64 chosen = byMonthDay | byDay;
    if (!rule.days.isEmpty() && !rule.monthDays.isEmpty())
        chosen = byMonthDay & byDay;
    for (int day = 1; day <= length; ++day) {
        if (chosen & (quint64(1) << day))
            days.append(day);
    }
    return days;
}

QList<qint64> CalendarTimeZone::occurrencesIn(const Observance &observance, qint64 period) const
{
    const Rule &rule = *observance.rule;
    const bool yearly = rule.frequency == Rule::Frequency::Yearly;
    const QDate startDate = dateOf(*observance.start);
    const int second = split(*observance.start).second;
    QList<int> months;
    for (int month = 1; month <= 12; ++month) {
        const bool listed = rule.months ? (rule.months & (1 << month)) != 0 : true;
        const bool every = !rule.days.isEmpty() || !rule.monthDays.isEmpty();
        if (yearly ? listed && (rule.months || every || month == startDate.month())
                   : listed && month == int((period % 12 + 12) % 12) + 1)
            months.append(month);
    }
    const int year = int(yearly ? period : floorDiv(period, 12));
    QList<qint64> times;
    for (const int month : std::as_const(months)) {
        for (const int day : daysOf(observance, year, month))
            times.append(secondsOf(QDate(year, month, day), second));
    }
    return times;
}

qint64 CalendarTimeZone::periodOf(const Observance &observance, qint64 seconds) const
{
    const QDate date = dateOf(seconds);
    return observance.rule->frequency == Rule::Frequency::Yearly
               ? qint64(date.year())
               : qint64(date.year()) * 12 + date.month() - 1;
}

std::optional<qint64> CalendarTimeZone::latestOccurrence(const Observance &observance, qint64 wall) const
{
    const Rule &rule = *observance.rule;
    const qint64 start = *observance.start;
    if (rule.until)
        wall = std::min(wall, *rule.until + (rule.untilUtc ? *observance.offsetFrom : 0));
    if (wall < start)
        return std::nullopt;
    if (rule.frequency < Rule::Frequency::Monthly) {
        static const qint64 units[] = {0, 1, 60, 3600, kDay, 7 * kDay};
        const qint64 step = units[int(rule.frequency)] * rule.interval;
        qint64 n = (wall - start) / step;
        if (rule.count > 0)
            n = std::min(n, rule.count - 1);
        return start + n * step;
    }
    const qint64 first = periodOf(observance, start);
    qint64 period = first + (periodOf(observance, wall) - first) / rule.interval * rule.interval;
    const int most = rule.frequency == Rule::Frequency::Yearly ? kMostYears : kMostMonths;
    for (int looked = 0; looked < most && period >= first; ++looked, period -= rule.interval) {
        const QList<qint64> times = occurrencesIn(observance, period);
        for (auto at = times.crbegin(); at != times.crend(); ++at) {
            if (*at < start)
                return std::nullopt;
            if (*at <= wall)
                return *at;
        }
    }
    return std::nullopt;
}

std::optional<qint64> CalendarTimeZone::latestOnset(const Observance &observance, qint64 utc) const
{
    const std::optional<qint64> wall = latestOccurrence(observance, utc + *observance.offsetFrom);
    return wall ? std::optional<qint64>(*wall - *observance.offsetFrom) : std::nullopt;
}

bool CalendarTimeZone::finish()
{
    endObservance();
    if (m_unreadable || m_observances.isEmpty())
        return false;
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (int i = 0; i < m_observances.size(); ++i) {
        Observance &observance = m_observances[i];
        if (!observance.offsetTo || !observance.start)
            return false;
        if (!observance.offsetFrom)
            observance.offsetFrom = observance.offsetTo;
        const qint64 from = *observance.offsetFrom;
        const qint64 onset = observance.startUtc ? *observance.start : *observance.start - from;
        if (observance.startUtc)
            observance.start = onset + from;
        m_onsets.append({onset, *observance.offsetTo});
        for (const auto &[date, utc] : std::as_const(observance.dates))
            m_onsets.append({utc ? date : date - from, *observance.offsetTo});
        if (onset < earliest) {
            earliest = onset;
            m_initialOffset = int(from);
        }
        if (!observance.rule)
            continue;
        m_ruled.append(i);
        Rule &rule = *observance.rule;
        if (rule.count > 0 && rule.frequency >= Rule::Frequency::Monthly) {
            // The last of COUNT occurrences becomes the rule's end; the start is the first.
            qint64 counted = 1, last = *observance.start;
            const qint64 first = periodOf(observance, last);
            for (qint64 period = first; counted < rule.count && period - first < kMostCounted;
                 period += rule.interval) {
                for (const qint64 at : occurrencesIn(observance, period)) {
                    if (at > *observance.start && counted < rule.count) {
                        last = at;
                        ++counted;
                    }
                }
            }
            rule.count = 0;
            if (!rule.until || last < *rule.until) {
                rule.until = last;
                rule.untilUtc = false;
            }
        }
    }
    if (m_ruled.size() > kMostRuled)
        return false;
    std::sort(m_onsets.begin(), m_onsets.end());
    return true;
}

int CalendarTimeZone::offsetAt(qint64 utc) const
{
    auto after =
        std::upper_bound(m_onsets.cbegin(), m_onsets.cend(), utc,
                         [](qint64 at, const std::pair<qint64, int> &onset) { return at < onset.first; });
    bool found = after != m_onsets.cbegin();
    qint64 best = found ? (after - 1)->first : 0;
    int offset = found ? (after - 1)->second : m_initialOffset;
    for (const int index : m_ruled) {
        const Observance &observance = m_observances.at(index);
        const std::optional<qint64> onset = latestOnset(observance, utc);
        if (onset && (!found || *onset > best)) {
            found = true;
            best = *onset;
            offset = *observance.offsetTo;
        }
    }
    return offset;
}

std::optional<qint64> CalendarTimeZone::toUtc(qint64 wall) const
{
    if (m_observances.isEmpty())
        return std::nullopt;
    const int before = offsetAt(wall - kDay);
    const qint64 guess = wall - before;
    const int at = offsetAt(guess);
    if (at == before)
        return guess;
    const qint64 other = wall - at;
    return offsetAt(other) == at ? other : guess;
}
