#pragma once

#include <QSqlDatabase>
#include <QVariantMap>

#include <functional>

class TaskCalendarReader;

// Writes the tasks of a calendar read whole into one account, inside the caller's transaction: each task
// is counted as skipped or as a duplicate of one before it or of one the account holds, or inserted.
class TaskImportWriter
{
public:
    // Called every few hundred tasks with the tasks passed and all of them; false ends the import.
    using Step = std::function<bool(qint64 done, qint64 total)>;

    explicit TaskImportWriter(const QSqlDatabase &db, int userId);

    // False when the database fails or a step ends the import; the caller then rolls back.
    bool write(TaskCalendarReader &reader, const Step &step);

    int imported() const { return m_imported; }
    int duplicates() const { return m_duplicates; }
    int skipped() const { return m_skipped; }
    // The skipped tasks by reason: "noSummary", "unreadableDue", "tooLong".
    const QVariantMap &skips() const { return m_skips; }

private:
    struct Statements;

    bool insertBatch(Statements &statements, int rows);

    QSqlDatabase m_db;
    int m_userId = -1;
    int m_imported = 0;
    int m_duplicates = 0;
    int m_skipped = 0;
    QVariantMap m_skips;
};
