#include "storage/SchemaExtras.h"

namespace SchemaExtras {

const QList<Counter> &taskCounters()
{
    static const QList<Counter> counters = {
        {"total", "1 = 1"},
        {"done", "%1.active = 1"},
        {"open", "%1.active = 0"},
        {"low", "%1.level <= 20"},
        {"mid", "%1.level > 20 AND %1.level <= 50"},
        {"high", "%1.level > 50"},
        {"open_low", "%1.active = 0 AND %1.level <= 20"},
        {"open_mid", "%1.active = 0 AND %1.level > 20 AND %1.level <= 50"},
        {"open_high", "%1.active = 0 AND %1.level > 50"},
        {"done_low", "%1.active = 1 AND %1.level <= 20"},
        {"done_mid", "%1.active = 1 AND %1.level > 20 AND %1.level <= 50"},
        {"done_high", "%1.active = 1 AND %1.level > 50"},
    };
    return counters;
}

namespace {

// For each counter, pattern with {column} and {value} (its 0 or 1 for the row) filled in.
QString counterTerms(const QString &row, const QString &pattern, const QString &separator)
{
    QStringList terms;
    for (const Counter &counter : taskCounters()) {
        const QString value =
            QStringLiteral("((%1) IS TRUE)")
                .arg(QString::fromLatin1(counter.condition).replace(QStringLiteral("%1"), row));
        terms.append(QString(pattern)
                         .replace(QStringLiteral("{column}"), QLatin1String(counter.column))
                         .replace(QStringLiteral("{value}"), value));
    }
    return terms.join(separator);
}

QString addRow(const QString &row)
{
    return QStringLiteral("INSERT INTO task_counts (user_id, %1) VALUES (%2.user_id, %3)"
                          " ON CONFLICT (user_id) DO UPDATE SET %4;")
        .arg(counterTerms(row, QStringLiteral("{column}"), QStringLiteral(", ")), row,
             counterTerms(row, QStringLiteral("{value}"), QStringLiteral(", ")),
             counterTerms(row, QStringLiteral("{column} = {column} + excluded.{column}"),
                          QStringLiteral(", ")));
}

QString removeRow(const QString &row)
{
    return QStringLiteral("UPDATE task_counts SET %1 WHERE user_id = %2.user_id;")
        .arg(counterTerms(row, QStringLiteral("{column} = {column} - {value}"), QStringLiteral(", ")), row);
}

QStringList counterStatements()
{
    const QString columns = counterTerms(QString(), QStringLiteral("{column}"), QStringLiteral(", "));
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS task_counts_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_counts_delete"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_counts_update"),
        QStringLiteral("DROP TABLE IF EXISTS task_counts"),
        QStringLiteral("CREATE TABLE task_counts (user_id INTEGER PRIMARY KEY, %1)")
            .arg(counterTerms(QString(), QStringLiteral("{column} INTEGER NOT NULL DEFAULT 0"),
                              QStringLiteral(", "))),
        QStringLiteral("INSERT INTO task_counts (user_id, %1) SELECT user_id, %2 FROM tasks GROUP BY user_id")
            .arg(columns,
                 counterTerms(QStringLiteral("tasks"), QStringLiteral("SUM({value})"), QStringLiteral(", "))),
        QStringLiteral("CREATE TRIGGER task_counts_insert AFTER INSERT ON tasks BEGIN %1 END")
            .arg(addRow(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER task_counts_delete AFTER DELETE ON tasks BEGIN %1 END")
            .arg(removeRow(QStringLiteral("OLD"))),
        QStringLiteral("CREATE TRIGGER task_counts_update AFTER UPDATE OF user_id, active, level ON tasks"
                       " BEGIN %1 %2 END")
            .arg(removeRow(QStringLiteral("OLD")), addRow(QStringLiteral("NEW"))),
    };
}

// Trigrams of the name and of the id text. Without content, column sizes and positions: the index
// only narrows the rows down, and the search checks every candidate with LIKE.
QStringList searchStatements()
{
    const QString add =
        QStringLiteral("INSERT INTO task_search (rowid, name, id_text) VALUES (NEW.id, NEW.name, NEW.id);");
    const QString remove = QStringLiteral("INSERT INTO task_search (task_search, rowid, name, id_text)"
                                          " VALUES ('delete', OLD.id, OLD.name, OLD.id);");
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS task_search_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_search_delete"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_search_update"),
        QStringLiteral("DROP TABLE IF EXISTS task_search"),
        QStringLiteral("CREATE VIRTUAL TABLE task_search USING fts5(name, id_text, content='',"
                       " columnsize=0, detail=none, tokenize='trigram')"),
        QStringLiteral("INSERT INTO task_search (rowid, name, id_text) SELECT id, name, id FROM tasks"),
        QStringLiteral("CREATE TRIGGER task_search_insert AFTER INSERT ON tasks BEGIN %1 END").arg(add),
        QStringLiteral("CREATE TRIGGER task_search_delete AFTER DELETE ON tasks BEGIN %1 END").arg(remove),
        QStringLiteral("CREATE TRIGGER task_search_update AFTER UPDATE OF id, name ON tasks BEGIN %1 %2 END")
            .arg(remove, add),
    };
}

// One index per sort column, read forwards or backwards. Equal keys follow in ascending id, as the page
// shows them, and the done flag and level come last, so that the state and level filters and a jump
// that counts rows never read the table. The expiry index also serves the statistics.
QStringList indexStatements()
{
    const char *const indexes[][2] = {
        {"idx_tasks_user", "id, active, level"},
        {"idx_tasks_name_asc", "name COLLATE NOCASE, id, active, level"},
        {"idx_tasks_level_asc", "level, id, active"},
        {"idx_tasks_active_asc", "active, id, level"},
        {"idx_tasks_expire_asc", "expire_at_epoch, id, active, level"},
        {"idx_tasks_created_asc", "create_at, id, active, level"},
        {"idx_tasks_user_customer", "customer_id"},
    };
    // Earlier versions also kept a descending copy of each: a descending page now reads the ascending
    // index backwards, one key at a time, which takes a third less room in the file.
    QStringList statements;
    for (const char *const gone :
         {"idx_tasks_user_expire", "idx_tasks_user_created", "idx_tasks_name_desc", "idx_tasks_level_desc",
          "idx_tasks_active_desc", "idx_tasks_expire_desc", "idx_tasks_created_desc"})
        statements.append(QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(gone)));
    for (const auto &index : indexes) {
        statements.append(QStringLiteral("DROP INDEX IF EXISTS %1").arg(QLatin1String(index[0])));
        statements.append(QStringLiteral("CREATE INDEX %1 ON tasks (user_id, %2)")
                              .arg(QLatin1String(index[0]), QLatin1String(index[1])));
    }
    return statements;
}

} // namespace

QStringList taskPageAddedStatements()
{
    return {
        QStringLiteral("INSERT INTO task_counts (user_id, %1) SELECT user_id, %2 FROM tasks WHERE id > :after"
                       " GROUP BY user_id ON CONFLICT (user_id) DO UPDATE SET %3")
            .arg(counterTerms(QString(), QStringLiteral("{column}"), QStringLiteral(", ")),
                 counterTerms(QStringLiteral("tasks"), QStringLiteral("SUM({value})"), QStringLiteral(", ")),
                 counterTerms(QString(), QStringLiteral("{column} = {column} + excluded.{column}"),
                              QStringLiteral(", "))),
        QStringLiteral("INSERT INTO task_search (rowid, name, id_text) SELECT id, name, id FROM tasks WHERE "
                       "id > :after"),
    };
}

QList<Step> taskPageSteps()
{
    return {
        {QStringLiteral("task page indexes"), indexStatements()},
        {QStringLiteral("task counters"), counterStatements()},
        {QStringLiteral("task search"), searchStatements()},
    };
}

} // namespace SchemaExtras
