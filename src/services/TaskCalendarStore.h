#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

class DbManager;

// The user's tasks per local day of their expiry: the daily series of the statistics, and the
// calendar's range with each day's count and first two tasks.
class TaskCalendarStore
{
public:
    explicit TaskCalendarStore(DbManager *db);

    // Tasks of one local day; all counts only tasks with an expiry instant, withText those with the
    // expiry text as well, done those of withText that are done.
    struct DayCount
    {
        QDate date;
        int all = 0;
        int withText = 0;
        int done = 0;
    };
    // The days with tasks due, their tasks and the done ones among them.
    struct DailySeries
    {
        QStringList labels;
        QVariantList totals;
        QVariantList completed;
    };
    // Between the bounds as the statistics take them (local "yyyy-MM-dd HH:mm" or any text compared with
    // the stored text); without a lower bound, from ten days before today to thirty after it. Empty when
    // the tasks could not be read.
    std::optional<DailySeries> dailySeries(int userId, const QString &from, const QString &to,
                                           const QDate &today) const;

    // Reads the count and first two tasks of each day from fromDate to toDate ("yyyy-MM-dd"); a failure
    // is logged and leaves no day.
    void loadRange(int userId, const QString &fromDate, const QString &toDate);
    int countForDate(const QString &date) const { return m_countByDate.value(date, 0); }
    QVariantList firstTasksForDate(const QString &date) const { return m_firstTasksByDate.value(date); }
    // Every task of a day of the range, read when asked for.
    QVariantList tasksForDate(int userId, const QString &date) const;
    void clear();

private:
    std::optional<QList<DayCount>> countsByText(int userId, const QString &from, const QString &to,
                                                const QDate &today) const;
    // Calendar task maps of the day in query order.
    std::optional<QVariantList> tasksOfLocalDay(int userId, const QDate &day, QString *error) const;

    DbManager *m_db = nullptr;
    QHash<QString, int> m_countByDate;
    QHash<QString, QVariantList> m_firstTasksByDate;
};
