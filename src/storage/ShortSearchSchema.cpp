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
// only the blocks that hold them. Each span of 64 ids keeps them too, for all users at once, so that
// of a block that holds them only the spans that may are read. The customers' names are kept by block, for
// every user at once. A bar inside a pair only ever finds a block too many. Pairs are only ever added: a name
// changed or deleted leaves its old ones behind, which costs a block read, never a match. The numbers 0 to
// length - 1 come from a JSON array of that many zeros.
struct ShortBlocks
{
    const char *table;  // whose names
    const char *blocks; // where their pairs are kept
    bool perUser;
    int shift; // of an id to its block

    QString addedPairs(const QString &row) const
    {
        const QString owner = perUser ? QStringLiteral("user_id, ") : QString();
        const QString ownerValue = perUser ? row + QStringLiteral(".user_id, ") : QString();
        const QString ownerTest = perUser ? QStringLiteral("user_id = %1.user_id AND ").arg(row) : QString();
        return QStringLiteral(
                   "INSERT OR IGNORE INTO %2 (%3block, grams) VALUES (%4%1.id >> %6, '|'); UPDATE %2"
                   " SET grams = grams || COALESCE((SELECT group_concat(g, '|') || '|' FROM (SELECT DISTINCT"
                   " substr(lower(%1.name), n.key + 1, w.width) AS g FROM json_each('[' ||"
                   " substr(replace(hex(zeroblob(length(%1.name))), '00', ',0'), 2) || ']') AS n CROSS JOIN"
                   " (SELECT 1 AS width UNION ALL SELECT 2) AS w)"
                   " WHERE instr(%2.grams, '|' || g || '|') = 0), '') WHERE %5block = %1.id >> %6;")
            .arg(row, QLatin1String(blocks), owner, ownerValue, ownerTest, QString::number(shift));
    }

    QStringList statements() const
    {
        const QString name = QLatin1String(blocks);
        const QString changed = perUser ? QStringLiteral("id, user_id, name") : QStringLiteral("id, name");
        const QString moved = perUser ? QStringLiteral(" OR OLD.user_id IS NOT NEW.user_id") : QString();
        return {
            QStringLiteral("DROP TRIGGER IF EXISTS %1_insert").arg(name),
            QStringLiteral("DROP TRIGGER IF EXISTS %1_update").arg(name),
            QStringLiteral("DROP TABLE IF EXISTS %1").arg(name),
            perUser ? QStringLiteral("CREATE TABLE %1 (user_id INTEGER NOT NULL, block INTEGER NOT NULL,"
                                     " grams TEXT NOT NULL, PRIMARY KEY (user_id, block)) WITHOUT ROWID")
                          .arg(name)
                    : QStringLiteral("CREATE TABLE %1 (block INTEGER PRIMARY KEY, grams TEXT NOT NULL)")
                          .arg(name),
            QStringLiteral("CREATE TRIGGER %1_insert AFTER INSERT ON %2 BEGIN %3 END")
                .arg(name, QLatin1String(table), addedPairs(QStringLiteral("NEW"))),
            QStringLiteral("CREATE TRIGGER %1_update AFTER UPDATE OF %3 ON %2 WHEN OLD.name IS NOT NEW.name%4"
                           " OR OLD.id >> %6 IS NOT NEW.id >> %6 BEGIN %5 END")
                .arg(name, QLatin1String(table), changed, moved, addedPairs(QStringLiteral("NEW")),
                     QString::number(shift)),
        };
    }
};

constexpr ShortBlocks kTaskBlocks{"tasks", "task_short_blocks", true, 10};
// The spans hold every user's pairs, so that a file of many users keeps one row per span.
constexpr ShortBlocks kTaskSpans{"tasks", "task_short_spans", false, 6};
constexpr ShortBlocks kCustomerBlocks{"customers", "customer_short_blocks", false, 10};

// The pairs of the rows above after, as the triggers would add them, read once in id order: a block
// is complete when the next begins. Counted here, where SQL would sort every pair of every name.
bool addPairs(const QSqlDatabase &db, const ShortBlocks &target, qint64 after)
{
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    QSqlQuery stored(db);
    QSqlQuery write(db);
    const auto failed = [](const QSqlQuery &query) {
        qWarning().noquote() << "SQL failed:" << query.lastError().text() << "\n" << query.lastQuery();
        return false;
    };
    const QString table = QLatin1String(target.table);
    const QString blocks = QLatin1String(target.blocks);
    const QString owner = target.perUser ? QStringLiteral("user_id") : QStringLiteral("0");
    const QString ownerColumn = target.perUser ? QStringLiteral("user_id, ") : QString();
    const QString ownerValue = target.perUser ? QStringLiteral(":uid, ") : QString();
    const QString ownerTest = target.perUser ? QStringLiteral("user_id = :uid AND ") : QString();
    if (!rows.prepare(QStringLiteral("SELECT %1, id >> %3, lower(name) FROM %2 WHERE id > :after"
                                     " AND name IS NOT NULL ORDER BY id")
                          .arg(owner, table, QString::number(target.shift))) ||
        !stored.prepare(
            QStringLiteral("SELECT grams FROM %1 WHERE %2block = :block").arg(blocks, ownerTest)) ||
        !write.prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (%2block, grams) VALUES (%3:block, :grams)")
                           .arg(blocks, ownerColumn, ownerValue)))
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
            if (target.perUser) {
                stored.bindValue(QStringLiteral(":uid"), user.key());
                write.bindValue(QStringLiteral(":uid"), user.key());
            }
            stored.bindValue(QStringLiteral(":block"), block);
            if (!stored.exec())
                return failed(stored);
            // The set's texts are distinct: only those of a block kept before need looking for.
            const bool kept = stored.next();
            if (kept)
                grams = stored.value(0).toString();
            stored.finish();
            for (const quint64 key : user.value()) {
                const char32_t codes[] = {char32_t(key >> 32), char32_t(key & 0xffffffffu)};
                const QString gram = QString::fromUcs4(codes, codes[1] == 0xffffffffu ? 1 : 2);
                if (!kept || !grams.contains(QLatin1Char('|') + gram + QLatin1Char('|')))
                    grams += gram + QLatin1Char('|');
            }
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

} // namespace

QStringList shortSearchStatements()
{
    return kTaskBlocks.statements() + kTaskSpans.statements() + kCustomerBlocks.statements();
}

bool addShortPairs(const QSqlDatabase &db, qint64 after)
{
    return addPairs(db, kTaskBlocks, after) && addPairs(db, kTaskSpans, after);
}

bool addCustomerShortPairs(const QSqlDatabase &db)
{
    return addPairs(db, kCustomerBlocks, -1);
}

} // namespace SchemaExtras
