#include "storage/SchemaExtras.h"

namespace SchemaExtras {

namespace {

// Expiries are counted per user in buckets of a quarter of an hour and of an hour (UTC). Every local
// day of every zone starts on a quarter-hour, so a day is a run of whole hours plus at most a few
// quarters at each end; the statistics and the calendar add up those rows instead of the tasks.

QString isCounted(const QString &row)
{
    return QStringLiteral("typeof(%1.expire_at_epoch) IN ('integer', 'real')").arg(row);
}

// The start of the row's bucket, rounded down also before 1970.
QString bucketStart(const QString &row, int span)
{
    return QStringLiteral("%1.expire_at_epoch - (%1.expire_at_epoch % %2 + %2) % %2").arg(row).arg(span);
}

// n: tasks with an expiry instant (the calendar); s: those with the expiry text as well (the
// statistics); d: those of s that are done.
QString countsOf(const QString &row)
{
    return QStringLiteral("%1.expire_at IS NOT NULL, %1.expire_at IS NOT NULL AND %1.active IS 1").arg(row);
}

QString addRow(const QString &row)
{
    QString body;
    for (const int span : expiryBucketSpans()) {
        body += QStringLiteral("INSERT INTO task_buckets (user_id, span, start_epoch, n, s, d)"
                               " VALUES (%1.user_id, %2, %3, 1, %4)"
                               " ON CONFLICT (user_id, span, start_epoch)"
                               " DO UPDATE SET n = n + 1, s = s + excluded.s, d = d + excluded.d;\n")
                    .arg(row)
                    .arg(span)
                    .arg(bucketStart(row, span), countsOf(row));
    }
    return body;
}

QString removeRow(const QString &row)
{
    QString body;
    for (const int span : expiryBucketSpans()) {
        const QString where = QStringLiteral(" WHERE user_id = %1.user_id AND span = %2 AND start_epoch = %3")
                                  .arg(row)
                                  .arg(span)
                                  .arg(bucketStart(row, span));
        body += QStringLiteral("UPDATE task_buckets SET n = n - 1, s = s - (%1.expire_at IS NOT NULL),"
                               " d = d - (%1.expire_at IS NOT NULL AND %1.active IS 1)")
                    .arg(row) +
                where + QStringLiteral(";\n");
        body += QStringLiteral("DELETE FROM task_buckets") + where + QStringLiteral(" AND n = 0;\n");
    }
    return body;
}

QString trigger(const QString &name, const QString &event, const QString &when, const QString &body)
{
    return QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON tasks WHEN %3\nBEGIN\n%4END")
        .arg(name, event, when, body);
}

// Trigrams of each customer's name, id text and contact values (one per line), keyed by the
// customer's id. Every change rewrites the customer's whole row from the tables, so the index stays
// exact whatever order the writes (and the cascade of a deleted customer) come in.
QStringList customerSearchStatements()
{
    const auto refresh = [](const QString &id) {
        return QStringLiteral(
                   "DELETE FROM customer_search WHERE rowid = %1;\n"
                   "INSERT INTO customer_search (rowid, name, id_text, contacts)"
                   " SELECT id, name, id, (SELECT group_concat(value, char(10)) FROM customer_contacts"
                   " WHERE customer_id = customers.id) FROM customers WHERE id = %1;\n")
            .arg(id);
    };
    const auto after = [](const QString &name, const QString &event, const QString &body) {
        return QStringLiteral("CREATE TRIGGER %1 AFTER %2 BEGIN\n%3END").arg(name, event, body);
    };
    const QStringList names = {
        QStringLiteral("customers_search_insert"), QStringLiteral("customers_search_delete"),
        QStringLiteral("customers_search_update"), QStringLiteral("contacts_search_insert"),
        QStringLiteral("contacts_search_delete"),  QStringLiteral("contacts_search_update")};
    QStringList statements;
    for (const QString &name : names)
        statements.append(QStringLiteral("DROP TRIGGER IF EXISTS ") + name);
    const QString oldId = QStringLiteral("OLD.id"), newId = QStringLiteral("NEW.id");
    const QString oldCustomer = QStringLiteral("OLD.customer_id"),
                  newCustomer = QStringLiteral("NEW.customer_id");
    return statements +
           QStringList{
               QStringLiteral("DROP TABLE IF EXISTS customer_search"),
               QStringLiteral("CREATE VIRTUAL TABLE customer_search USING fts5(name, id_text, contacts,"
                              " columnsize=0, detail=none, tokenize='trigram')"),
               QStringLiteral(
                   "INSERT INTO customer_search (rowid, name, id_text, contacts)"
                   " SELECT id, name, id, (SELECT group_concat(value, char(10)) FROM customer_contacts"
                   " WHERE customer_id = customers.id) FROM customers"),
               after(names[0], QStringLiteral("INSERT ON customers"), refresh(newId)),
               after(names[1], QStringLiteral("DELETE ON customers"), refresh(oldId)),
               after(names[2], QStringLiteral("UPDATE OF id, name ON customers"),
                     refresh(oldId) + refresh(newId)),
               after(names[3], QStringLiteral("INSERT ON customer_contacts"), refresh(newCustomer)),
               after(names[4], QStringLiteral("DELETE ON customer_contacts"), refresh(oldCustomer)),
               after(names[5], QStringLiteral("UPDATE OF customer_id, value ON customer_contacts"),
                     refresh(oldCustomer) + refresh(newCustomer)),
           };
}

} // namespace

QStringList insightAddedStatements()
{
    QStringList statements;
    for (const int span : expiryBucketSpans()) {
        statements.append(
            QStringLiteral("INSERT INTO task_buckets (user_id, span, start_epoch, n, s, d)"
                           " SELECT user_id, %1, %2 AS start, COUNT(*), SUM(%3), SUM(%4)"
                           " FROM tasks WHERE id > :after AND %5 GROUP BY user_id, start"
                           " ON CONFLICT (user_id, span, start_epoch)"
                           " DO UPDATE SET n = n + excluded.n, s = s + excluded.s, d = d + excluded.d")
                .arg(span)
                .arg(bucketStart(QStringLiteral("tasks"), span),
                     QStringLiteral("tasks.expire_at IS NOT NULL"),
                     QStringLiteral("tasks.expire_at IS NOT NULL AND tasks.active IS 1"),
                     isCounted(QStringLiteral("tasks"))));
    }
    return statements;
}

QList<int> expiryBucketSpans()
{
    return {3600, 900};
}

QList<Step> insightSteps()
{
    const QString counted = QStringLiteral(
        " AND (OLD.user_id IS NOT NEW.user_id OR OLD.expire_at_epoch IS NOT NEW.expire_at_epoch"
        " OR (OLD.expire_at IS NULL) IS NOT (NEW.expire_at IS NULL)"
        " OR (OLD.active IS 1) IS NOT (NEW.active IS 1))");
    const QString updateOf = QStringLiteral("UPDATE OF user_id, expire_at_epoch, expire_at, active");
    return {
        {QStringLiteral("expiry buckets"),
         {
             QStringLiteral("DROP TRIGGER IF EXISTS tasks_buckets_insert"),
             QStringLiteral("DROP TRIGGER IF EXISTS tasks_buckets_delete"),
             QStringLiteral("DROP TRIGGER IF EXISTS tasks_buckets_update_old"),
             QStringLiteral("DROP TRIGGER IF EXISTS tasks_buckets_update_new"),
             QStringLiteral("DROP TABLE IF EXISTS task_buckets"),
             QStringLiteral("CREATE TABLE task_buckets (user_id INTEGER NOT NULL, span INTEGER NOT NULL,"
                            " start_epoch INTEGER NOT NULL, n INTEGER NOT NULL, s INTEGER NOT NULL,"
                            " d INTEGER NOT NULL, PRIMARY KEY (user_id, span, start_epoch)) WITHOUT ROWID"),
             trigger(QStringLiteral("tasks_buckets_insert"), QStringLiteral("INSERT"),
                     isCounted(QStringLiteral("NEW")), addRow(QStringLiteral("NEW"))),
             trigger(QStringLiteral("tasks_buckets_delete"), QStringLiteral("DELETE"),
                     isCounted(QStringLiteral("OLD")), removeRow(QStringLiteral("OLD"))),
             trigger(QStringLiteral("tasks_buckets_update_old"), updateOf,
                     isCounted(QStringLiteral("OLD")) + counted, removeRow(QStringLiteral("OLD"))),
             trigger(QStringLiteral("tasks_buckets_update_new"), updateOf,
                     isCounted(QStringLiteral("NEW")) + counted, addRow(QStringLiteral("NEW"))),
             QStringLiteral("INSERT INTO task_buckets (user_id, span, start_epoch, n, s, d)"
                            " SELECT user_id, 900, %1 AS start, COUNT(*),"
                            " SUM(expire_at IS NOT NULL), SUM(expire_at IS NOT NULL AND active IS 1)"
                            " FROM tasks WHERE %2 GROUP BY user_id, start")
                 .arg(bucketStart(QStringLiteral("tasks"), 900), isCounted(QStringLiteral("tasks"))),
             // Hours from the quarters: each hour is four whole quarters.
             QStringLiteral(
                 "INSERT INTO task_buckets (user_id, span, start_epoch, n, s, d)"
                 " SELECT user_id, 3600, start_epoch - (start_epoch % 3600 + 3600) % 3600 AS start,"
                 " SUM(n), SUM(s), SUM(d) FROM task_buckets WHERE span = 900 GROUP BY user_id, start"),
         }},
        {QStringLiteral("customer indexes"),
         {
             QStringLiteral(
                 "CREATE INDEX IF NOT EXISTS idx_contacts_customer ON customer_contacts (customer_id)"),
             // Both hold the name (and the id), so that the filter is tested on the index alone and
             // only the rows shown are read from the table.
             QStringLiteral("CREATE INDEX IF NOT EXISTS idx_customers_name ON customers (name)"),
             QStringLiteral(
                 "CREATE INDEX IF NOT EXISTS idx_customers_created ON customers (create_at, name)"),
         }},
        {QStringLiteral("customer search"), customerSearchStatements()},
        // Last, so that the planner knows every index above; PRAGMA optimize keeps it current.
        {QStringLiteral("planner statistics"), {QStringLiteral("ANALYZE")}},
    };
}

} // namespace SchemaExtras
