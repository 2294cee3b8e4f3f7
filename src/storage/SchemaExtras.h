#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QStringList>

#include <functional>

// What the file holds beside the four tables: an index for every page order, counters and time
// buckets kept exact by triggers, and the search index. Older versions of the program ignore all of
// it (the triggers keep it exact even while they write), so the four tables stay the file format.
namespace SchemaExtras {

struct Step
{
    QString name;
    // Run in order. Creations use IF NOT EXISTS; a fill of a derived table first empties it, so a
    // step can always be run again.
    QStringList statements;
    // Fills what the statements made from the tasks already there, after them (a new file has none).
    std::function<bool(const QSqlDatabase &)> fill;
};

// Indexes, counters and the search index of the task page.
QList<Step> taskPageSteps();
// Indexes and buckets of the statistics, the calendar and the customer page.
QList<Step> insightSteps();
// Their parts of addedTasksStatements().
QStringList taskPageAddedStatements();
QStringList insightAddedStatements();
// The blocks of task_short_blocks, task_short_spans and customer_short_blocks: their tables and
// triggers, the pairs of the tasks of id above after (every task where it is negative) and of every
// customer added to them.
QStringList shortSearchStatements();
bool addShortPairs(const QSqlDatabase &db, qint64 after);
bool addCustomerShortPairs(const QSqlDatabase &db);

// One counter of task_counts per user and condition; %1 in the condition stands for the row (NEW, OLD
// or tasks). The task service reads the column named after its state and level filters ("open_low",
// "done", "total", ...).
struct Counter
{
    const char *column;
    const char *condition;
};
const QList<Counter> &taskCounters();

// The insert triggers of the file's derived tables (counters, search index, creation order, buckets),
// which a bulk insert may set aside, and the statements that then bring those tables up to date with
// the tasks of id above :after, as the triggers would have (with addShortPairs()). Every other trigger
// stays.
QStringList bulkInsertTriggers();
QStringList addedTasksStatements();

// Spans in seconds of the expiry buckets (task_buckets), largest first.
QList<int> expiryBucketSpans();

// Raised whenever a step changes, so that files built by an earlier build are built again.
int currentVersion();

// True when the file already holds the current version of every step.
bool isCurrent(const QSqlDatabase &db);

// Every step's statements and the version's record, to run inside a transaction: without the steps'
// fills, for a new file.
QStringList statements();

// Runs statements() in one transaction and records the version. progress(done, total) is called after
// each statement; when it returns false the work stops and is rolled back. Returns whether the file
// now holds everything.
bool build(const QSqlDatabase &db, const std::function<bool(int, int)> &progress = {});

} // namespace SchemaExtras
