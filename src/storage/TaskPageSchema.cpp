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
        // One segment: a read in id order from a bound then seeks in one list per trigram.
        QStringLiteral("INSERT INTO task_search (task_search) VALUES ('optimize')"),
        QStringLiteral("CREATE TRIGGER task_search_insert AFTER INSERT ON tasks BEGIN %1 END").arg(add),
        QStringLiteral("CREATE TRIGGER task_search_delete AFTER DELETE ON tasks BEGIN %1 END").arg(remove),
        QStringLiteral("CREATE TRIGGER task_search_update AFTER UPDATE OF id, name ON tasks BEGIN %1 %2 END")
            .arg(remove, add),
    };
}

// Whether each user's creation times follow their ids (NULL lowest, equal times allowed): then the
// creation order is the id order of the search index. A row inserted or changed breaks it against its
// neighbours by id, and a user's order once broken stays so until the next build.
QString creationBreaks(const QString &before, const QString &after)
{
    return QStringLiteral("(%1 IS NOT NULL AND (%2 IS NULL OR %1 > %2))").arg(before, after);
}

const QString kKeepOutOfOrder = QStringLiteral(
    " ON CONFLICT (user_id) DO UPDATE SET out_of_order = MAX(out_of_order, excluded.out_of_order)");

QString markOutOfOrder(const QString &user, const QString &value)
{
    return QStringLiteral("INSERT INTO task_creation_order (user_id, out_of_order) VALUES (%1, %2)")
               .arg(user, value) +
           kKeepOutOfOrder + QLatin1Char(';');
}

QStringList creationOrderStatements()
{
    const QString neighbour = QStringLiteral("COALESCE((SELECT %1 FROM tasks WHERE user_id = NEW.user_id AND "
                                             "id %2 NEW.id ORDER BY id %3 LIMIT 1), 0)");
    const QString inserted =
        neighbour.arg(creationBreaks(QStringLiteral("create_at"), QStringLiteral("NEW.create_at")),
                      QStringLiteral("<"), QStringLiteral("DESC")) +
        QStringLiteral(" OR ") +
        neighbour.arg(creationBreaks(QStringLiteral("NEW.create_at"), QStringLiteral("create_at")),
                      QStringLiteral(">"), QStringLiteral("ASC"));
    return {
        QStringLiteral("DROP TRIGGER IF EXISTS task_creation_order_insert"),
        QStringLiteral("DROP TRIGGER IF EXISTS task_creation_order_update"),
        QStringLiteral("DROP TABLE IF EXISTS task_creation_order"),
        QStringLiteral("CREATE TABLE task_creation_order (user_id INTEGER PRIMARY KEY,"
                       " out_of_order INTEGER NOT NULL)"),
        QStringLiteral("INSERT INTO task_creation_order (user_id, out_of_order) SELECT user_id, MAX(%1)"
                       " FROM (SELECT user_id, create_at, LAG(create_at) OVER (PARTITION BY user_id"
                       " ORDER BY id) AS before FROM tasks) GROUP BY user_id")
            .arg(creationBreaks(QStringLiteral("before"), QStringLiteral("create_at"))),
        QStringLiteral("CREATE TRIGGER task_creation_order_insert AFTER INSERT ON tasks BEGIN %1 END")
            .arg(markOutOfOrder(QStringLiteral("NEW.user_id"), QStringLiteral("(%1)").arg(inserted))),
        // A row leaving a user keeps that user's order; where it arrives it is checked as if inserted.
        QStringLiteral(
            "CREATE TRIGGER task_creation_order_update AFTER UPDATE OF id, user_id, create_at ON tasks"
            " WHEN OLD.create_at IS NOT NEW.create_at OR OLD.user_id IS NOT NEW.user_id"
            " OR OLD.id IS NOT NEW.id BEGIN %1 END")
            .arg(markOutOfOrder(QStringLiteral("NEW.user_id"), QStringLiteral("(%1)").arg(inserted))),
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
        // The added rows follow every earlier row: each is checked against the one before it by id, the
        // first of each user against that user's last earlier row.
        QStringLiteral(
            "INSERT INTO task_creation_order (user_id, out_of_order) SELECT user_id, MAX(CASE WHEN"
            " before_id IS NULL THEN COALESCE((SELECT %1 FROM tasks t WHERE t.user_id = added.user_id"
            " AND t.id <= :after ORDER BY t.id DESC LIMIT 1), 0) ELSE %2 END) FROM (SELECT user_id,"
            " create_at, LAG(create_at) OVER w AS before, LAG(id) OVER w AS before_id FROM tasks"
            " WHERE id > :after WINDOW w AS (PARTITION BY user_id ORDER BY id)) AS added"
            " WHERE true GROUP BY user_id")
                .arg(creationBreaks(QStringLiteral("t.create_at"), QStringLiteral("added.create_at")),
                     creationBreaks(QStringLiteral("before"), QStringLiteral("create_at"))) +
            kKeepOutOfOrder,
    };
}

QList<Step> taskPageSteps()
{
    return {
        {QStringLiteral("task page indexes"), indexStatements()},
        {QStringLiteral("task counters"), counterStatements()},
        {QStringLiteral("task search"), searchStatements()},
        {QStringLiteral("task creation order"), creationOrderStatements()},
        {QStringLiteral("task short search"), shortSearchStatements(),
         [](const QSqlDatabase &db) {
             return addShortPairs(db, -1) && addCustomerShortPairs(db);
         }},
    };
}

} // namespace SchemaExtras
