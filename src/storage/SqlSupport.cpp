#include "storage/SqlSupport.h"

#include "storage/DbManager.h"
#include "storage/SqlDialect.h"

#include <QTimeZone>

#include <algorithm>

namespace SqlSupport {

bool isOpen(const DbManager *db)
{
    return db && db->isOpen();
}

QSqlQuery prepare(const DbManager *db, const QString &sql, bool forwardOnly)
{
    QSqlQuery query(db->database());
    query.setForwardOnly(forwardOnly);
    query.prepare(sql);
    return query;
}

StatementCache::Lease reuse(const DbManager *db, const QString &sql)
{
    return db->statements().take(db->database(), sql);
}

void bindIfUsed(QSqlQuery &query, const QString &placeholder, const QVariant &value)
{
    if (query.lastQuery().contains(placeholder))
        query.bindValue(placeholder, value);
}

QDateTime localFromUtcText(const QVariant &value)
{
    const QDateTime dateTime = utcFromText(value);
    return dateTime.isValid() ? dateTime.toLocalTime() : dateTime;
}

QDateTime utcFromText(const QVariant &value)
{
    if (value.isNull())
        return {};
    QString text = value.toString().trimmed();
    if (text.size() > 10 && text.at(10) == QLatin1Char(' '))
        text[10] = QLatin1Char('T');
    // Text without a zone is UTC. Read as such at once: a detour through local time costs a zone
    // lookup per value and moves readings that fall into a local clock change.
    const bool zoned = text.endsWith(QLatin1Char('Z')) || text.indexOf(QLatin1Char('+'), 10) > 0 ||
                       text.indexOf(QLatin1Char('-'), 10) > 0;
    if (text.size() > 10 && !zoned)
        text += QLatin1Char('Z');
    QDateTime dateTime = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!dateTime.isValid())
        return {};
    if (dateTime.timeSpec() == Qt::LocalTime)
        dateTime.setTimeZone(QTimeZone::utc());
    return dateTime.toUTC();
}

QVariant utcValue(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QVariant(QMetaType::fromType<QString>());
    return dateTime.toUTC().toString(Qt::ISODateWithMs);
}

QVariant epochValue(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return QVariant(QMetaType::fromType<qint64>());
    return dateTime.toSecsSinceEpoch();
}

QString likeTrigrams(const QString &pattern)
{
    QStringList trigrams;
    QList<uint> run;
    const auto add = [&](qsizetype at) {
        QString trigram = QString::fromUcs4(reinterpret_cast<const char32_t *>(run.constData() + at), 3);
        trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        trigrams.append(QLatin1Char('"') + trigram + QLatin1Char('"'));
    };
    const QList<uint> codes = pattern.toUcs4() << '%';
    for (const uint code : codes) {
        if (code != '%' && code != '_') {
            run.append(code);
            continue;
        }
        // Trigrams that cover the run, not every one: each term costs a read of its list of rows.
        for (qsizetype at = 0; at + 3 <= run.size(); at += 3)
            add(at);
        if (run.size() > 3 && run.size() % 3 != 0)
            add(run.size() - 3);
        run.clear();
    }
    trigrams.removeDuplicates();
    return trigrams.join(QStringLiteral(" AND "));
}

QStringList likeGrams(const QString &pattern, int limit)
{
    QStringList grams;
    QList<uint> run;
    const QList<uint> codes = pattern.toUcs4() << '%';
    for (const uint code : codes) {
        if (code != '%' && code != '_') {
            run.append(code);
            continue;
        }
        const qsizetype width = std::min<qsizetype>(2, run.size());
        for (qsizetype at = 0; at + width <= run.size() && width > 0; ++at)
            grams.append(QString::fromUcs4(reinterpret_cast<const char32_t *>(run.constData() + at), width));
        run.clear();
    }
    grams.removeDuplicates();
    return grams.mid(0, limit);
}

bool runInTransaction(const DbManager *db, const std::function<bool()> &work)
{
    QSqlDatabase connection = db->database();
    if (!QSqlQuery(connection).exec(db->dialect().beginWrite()))
        return false;
    if (work() && connection.commit())
        return true;
    connection.rollback();
    return false;
}

} // namespace SqlSupport
