#pragma once

#include <QByteArrayView>
#include <QList>

#include <optional>
#include <utility>

// A VTIMEZONE of an imported file (RFC 5545, 3.6.5). Its rules are evaluated only around the moment
// asked for, so a rule that fires every minute since the year 1 costs no more than a yearly one.
// Times are seconds since 1970-01-01 00:00 of the proleptic Gregorian calendar, either on the zone's
// wall clock or in UTC.
class CalendarTimeZone
{
public:
    // The content lines of the zone, names in upper case: TZID and the properties of each STANDARD
    // or DAYLIGHT observance between beginObservance() and endObservance().
    void beginObservance();
    void addProperty(QByteArrayView name, QByteArrayView value);
    void endObservance();
    // After the last line; false when the zone cannot be used (no offsets, or rules it cannot read).
    bool finish();

    // The UTC moment of a wall-clock time; a time skipped by a change is read with the offset before it.
    std::optional<qint64> toUtc(qint64 wall) const;

    // Seconds of a DATE (date set) or DATE-TIME value; utc tells whether it ends in Z.
    static std::optional<qint64> parseDateTime(QByteArrayView value, bool *utc = nullptr,
                                               bool *dateOnly = nullptr);
    // The date and the second of the day of a time.
    static std::pair<qint64, int> split(qint64 seconds);

private:
    struct Rule
    {
        enum class Frequency { None, Secondly, Minutely, Hourly, Daily, Weekly, Monthly, Yearly };
        Frequency frequency = Frequency::None;
        int interval = 1;
        qint64 count = 0;
        std::optional<qint64> until;
        bool untilUtc = false;
        // Bit m for month m.
        int months = 0;
        // (ordinal, weekday 1 = Monday); ordinal 0 for every such weekday.
        QList<std::pair<int, int>> days;
        QList<int> monthDays;
    };
    struct Observance
    {
        std::optional<int> offsetFrom;
        std::optional<int> offsetTo;
        std::optional<qint64> start;
        bool startUtc = false;
        // RDATE moments, flagged when given in UTC.
        QList<std::pair<qint64, bool>> dates;
        std::optional<Rule> rule;
    };

    bool readRule(QByteArrayView value, Rule &rule) const;
    std::optional<qint64> latestOnset(const Observance &observance, qint64 utc) const;
    std::optional<qint64> latestOccurrence(const Observance &observance, qint64 wall) const;
    // The wall times of a monthly or yearly rule in one period (a month or a year), ascending.
    QList<qint64> occurrencesIn(const Observance &observance, qint64 period) const;
    qint64 periodOf(const Observance &observance, qint64 seconds) const;
    QList<int> daysOf(const Observance &observance, int year, int month) const;
    int offsetAt(qint64 utc) const;

    QList<Observance> m_observances;
    Observance m_observance;
    bool m_inObservance = false;
    bool m_unreadable = false;
    // Fixed onsets in UTC with the offset from them on, ascending.
    QList<std::pair<qint64, int>> m_onsets;
    QList<int> m_ruled;
    int m_initialOffset = 0;
};
