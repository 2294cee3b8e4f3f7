#include "storage/SchemaTransaction.h"

#include <QDebug>
#include <QSqlError>

bool SchemaTransaction::hasVersion(const QSqlDatabase &db, const char *table, int version)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("SELECT version FROM ") + QLatin1String(table)) && query.next() &&
           query.value(0).toInt() == version;
}

bool SchemaTransaction::run(const QString &sql)
{
    if (m_query.exec(sql))
        return true;
    qWarning().noquote() << "SQL failed:" << m_query.lastError().text() << "\n" << sql;
    return false;
}

bool SchemaTransaction::fail(const QString &reason)
{
    m_error = reason;
    m_query.finish();
    m_query.exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool SchemaTransaction::runAll(const QStringList &statements)
{
    for (const QString &sql : statements) {
        if (!run(sql))
            return failed();
    }
    return true;
}
