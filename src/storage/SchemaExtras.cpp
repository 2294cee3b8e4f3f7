#include "storage/SchemaExtras.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace SchemaExtras {

int currentVersion()
{
    return 10;
}

bool isCurrent(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT version FROM schema_extras")) && query.next() &&
           query.value(0).toInt() == currentVersion();
}

QStringList bulkInsertTriggers()
{
    return {QStringLiteral("task_counts_insert"),       QStringLiteral("task_search_insert"),
            QStringLiteral("tasks_buckets_insert"),     QStringLiteral("task_creation_order_insert"),
            QStringLiteral("task_short_blocks_insert"), QStringLiteral("task_short_spans_insert")};
}

QStringList addedTasksStatements()
{
    return taskPageAddedStatements() + insightAddedStatements();
}

namespace {

QStringList versionRecord()
{
    return QStringList()
           << QStringLiteral("CREATE TABLE IF NOT EXISTS schema_extras (version INTEGER NOT NULL)")
           << QStringLiteral("DELETE FROM schema_extras")
           << QStringLiteral("INSERT INTO schema_extras (version) VALUES (%1)").arg(currentVersion());
}

} // namespace

QStringList statements()
{
    QStringList all;
    for (const Step &step : taskPageSteps() + insightSteps())
        all += step.statements;
    return all + versionRecord();
}

bool build(const QSqlDatabase &db, const std::function<bool(int, int)> &progress)
{
    const QList<Step> steps = taskPageSteps() + insightSteps() + QList<Step>{{QString(), versionRecord()}};
    int total = 0;
    for (const Step &step : steps)
        total += int(step.statements.size()) + (step.fill ? 1 : 0);

    // IMMEDIATE takes the write lock up front (waiting the busy timeout for it): two programs
    // starting on one file at once would otherwise both read, then fail to upgrade to writing.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        qWarning().noquote() << "SQL failed:" << query.lastError().text();
        return false;
    }
    int done = 0;
    auto fail = [&](const QString &sql) {
        if (!sql.isEmpty())
            qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << sql;
        query.finish();
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    // Another program may have built it while this one waited for the lock.
    if (isCurrent(db))
        return query.exec(QStringLiteral("COMMIT")) || fail(QString());
    for (const Step &step : steps) {
        for (const QString &sql : step.statements) {
            if (!query.exec(sql))
                return fail(sql);
            if (progress && !progress(++done, total))
                return fail(QString());
        }
        if (step.fill && !step.fill(db))
            return fail(QString());
        if (step.fill && progress && !progress(++done, total))
            return fail(QString());
    }
    return query.exec(QStringLiteral("COMMIT")) || fail(QStringLiteral("COMMIT"));
}

} // namespace SchemaExtras
