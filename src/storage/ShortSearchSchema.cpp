#include "storage/SchemaExtras.h"

#include <QDebug>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <limits>

namespace SchemaExtras {

namespace {

// Each block of 1024 ids keeps, per user, the characters and pairs of characters of its task names,
// lowered as LIKE folds them, each between bars ("|a|ab|b|"): a search of one or two characters reads
// only the blocks that hold them. A bar inside a pair only ever finds a block too many. Pairs are only
// ever added: a task renamed or deleted leaves its old ones behind, which costs a block read, never a
// match. The numbers 0 to length - 1 come from a JSON array of that many zeros.
QString addedPairs(const QString &row)
{
    return QStringLiteral(
               "INSERT OR IGNORE INTO task_short_blocks (user_id, block, grams) VALUES (%1.user_id,"
               " %1.id >> 10, '|'); UPDATE task_short_blocks SET grams = grams || COALESCE((SELECT"
               " group_concat(g, '|') || '|' FROM (SELECT DISTINCT substr(lower(%1.name), n.key + 1, w.width)"
               " AS g FROM json_each('[' || substr(replace(hex(zeroblob(length(%1.name))), '00', ',0'), 2)"
               " || ']') AS n CROSS JOIN (SELECT 1 AS width UNION ALL SELECT 2) AS w)"
               " WHERE instr(task_short_blocks.grams, '|' || g || '|') = 0), '')"
               " WHERE user_id = %1.user_id AND block = %1.id >> 10;")
        .arg(row);
}

} // namespace

QStringList shortSearchStatements()
{
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS task_short_blocks_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_short_blocks_update"),
        QStringLiteral("DROP TABLE IF EXISTS task_short_blocks"),
        QStringLiteral("CREATE TABLE task_short_blocks (user_id INTEGER NOT NULL, block INTEGER NOT NULL,"
                       " grams TEXT NOT NULL, PRIMARY KEY (user_id, block)) WITHOUT ROWID"),
        QStringLiteral("CREATE TRIGGER task_short_blocks_insert AFTER INSERT ON tasks BEGIN %1 END")
            .arg(addedPairs(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER task_short_blocks_update AFTER UPDATE OF id, user_id, name ON tasks"
                       " WHEN OLD.name IS NOT NEW.name OR OLD.user_id IS NOT NEW.user_id"
                       " OR OLD.id >> 10 IS NOT NEW.id >> 10 BEGIN %1 END")
            .arg(addedPairs(QStringLiteral("NEW"))),
    };
}

// The pairs of the tasks above after, as the triggers would add them, read once in id order: a block
// is complete when the next begins. Counted here, where SQL would sort every pair of every name.
bool addShortPairs(const QSqlDatabase &db, qint64 after)
{
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    QSqlQuery stored(db);
    QSqlQuery write(db);
    const auto failed = [](const QSqlQuery &query) {
        qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << query.lastQuery();
        return false;
    };
    if (!rows.prepare(QStringLiteral("SELECT user_id, id >> 10, lower(name) FROM tasks WHERE id > :after"
                                     " AND name IS NOT NULL ORDER BY id")) ||
        !stored.prepare(
            QStringLiteral("SELECT grams FROM task_short_blocks WHERE user_id = :uid AND block = :block")) ||
        !write.prepare(QStringLiteral("INSERT OR REPLACE INTO task_short_blocks (user_id, block, grams)"
                                      " VALUES (:uid, :block, :grams)")))
        return failed(rows);
    rows.bindValue(QStringLiteral(":after"), after < 0 ? std::numeric_limits<qint64>::min() : after);
    if (!rows.exec())
        return failed(rows);
    // Per user of the block: a character c as (c << 32) | 0xffffffff, a pair as (first << 32) | second.
    QHash<int, QSet<quint64>> pairs;
    qint64 block = std::numeric_limits<qint64>::min();
    const auto flush = [&]() {
        for (auto user = pairs.cbegin(); user != pairs.cend(); ++user) {
            QString grams = QStringLiteral("|");
            stored.bindValue(QStringLiteral(":uid"), user.key());
            stored.bindValue(QStringLiteral(":block"), block);
            if (!stored.exec())
                return failed(stored);
            if (stored.next())
                grams = stored.value(0).toString();
            stored.finish();
            for (const quint64 key : user.value()) {
                const char32_t codes[] = {char32_t(key >> 32), char32_t(key & 0xffffffffu)};
                const QString gram = QString::fromUcs4(codes, codes[1] == 0xffffffffu ? 1 : 2);
                if (!grams.contains(QLatin1Char('|') + gram + QLatin1Char('|')))
                    grams += gram + QLatin1Char('|');
            }
            write.bindValue(QStringLiteral(":uid"), user.key());
            write.bindValue(QStringLiteral(":block"), block);
            write.bindValue(QStringLiteral(":grams"), grams);
            if (!write.exec())
                return failed(write);
        }
        pairs.clear();
        return true;
    };
    while (rows.next()) {
        const qint64 rowBlock = rows.value(1).toLongLong();
        if (rowBlock != block && !flush())
            return false;
        block = rowBlock;
        QSet<quint64> &own = pairs[rows.value(0).toInt()];
        const QList<uint> codes = rows.value(2).toString().toUcs4();
        for (qsizetype at = 0; at < codes.size(); ++at) {
            own.insert(quint64(codes.at(at)) << 32 | 0xffffffffu);
            if (at + 1 < codes.size())
                own.insert(quint64(codes.at(at)) << 32 | codes.at(at + 1));
        }
    }
    return flush();
}

} // namespace SchemaExtras
