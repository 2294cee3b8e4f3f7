#include "storage/SchemaExtras.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace SchemaExtras {

int currentVersion()
{
    return 3;
}

bool isCurrent(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT version FROM schema_extras")) && query.next() &&
           query.value(0).toInt() == currentVersion();
}

bool build(const QSqlDatabase &db, const std::function<bool(int, int)> &progress)
{
    const QList<Step> steps = taskPageSteps() + insightSteps();
    int total = 0;
    for (const Step &step : steps)
        total += step.statements.size();

    QSqlDatabase connection = db;
    if (!connection.transaction())
        return false;
    QSqlQuery query(connection);
    int done = 0;
    auto fail = [&](const QString &sql) {
        if (!sql.isEmpty())
            qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << sql;
        query.finish();
        connection.rollback();
        return false;
    };
    for (const Step &step : steps) {
        for (const QString &sql : step.statements) {
            if (!query.exec(sql))
                return fail(sql);
            if (progress && !progress(++done, total))
                return fail(QString());
        }
    }
    const QStringList marker = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS schema_extras (version INTEGER NOT NULL)"),
        QStringLiteral("DELETE FROM schema_extras"),
        QStringLiteral("INSERT INTO schema_extras (version) VALUES (%1)").arg(currentVersion()),
    };
    for (const QString &sql : marker) {
        if (!query.exec(sql))
            return fail(sql);
    }
    query.finish();
    return connection.commit() || fail(QString());
}

} // namespace SchemaExtras
