#include "storage/SqlDialect.h"

#include <QSqlDatabase>
#include <QStringList>

namespace {

class SqliteDialect final : public SqlDialect
{
public:
    // SQLite's LIKE already ignores the case of ASCII letters only, and has no escape character
    // unless one is named.
    QString like(const QString &expr, const QString &pattern) const override
    {
        return expr + QStringLiteral(" LIKE ") + pattern;
    }
    QString caseless(const QString &expr) const override { return expr + QStringLiteral(" COLLATE NOCASE"); }
    // NULL is the smallest value already.
    QString nullsLow(bool) const override { return QString(); }
    QString readIndex(const QString &index) const override { return QStringLiteral(" INDEXED BY ") + index; }
    QString readById() const override { return QStringLiteral(" NOT INDEXED"); }
    bool indexPerDirection() const override { return false; }
    QString taskCandidates() const override
    {
        return QStringLiteral("SELECT rowid FROM task_search WHERE task_search MATCH :trigrams");
    }
    QString taskCandidateRows() const override
    {
        return QStringLiteral("task_search CROSS JOIN tasks ON tasks.id = task_search.rowid"
                              " AND task_search MATCH :trigrams");
    }
    QString taskCandidateOrder() const override { return QStringLiteral("task_search.rowid"); }
    QString taskCandidateRowsInOrder(bool) const override { return taskCandidateRows(); }
    QString taskCandidateOrderBy(bool ascending) const override
    {
        return ascending ? QStringLiteral("task_search.rowid ASC") : QStringLiteral("task_search.rowid DESC");
    }
    QString taskSearchBits() const override { return QString(); }
    QString taskCandidateBlocks(int, bool) const override { return QString(); }
    // Each text between bars, as the triggers keep them.
    QString taskShortBlocks(int grams, bool spans) const override
    {
        if (!spans) {
            return QStringLiteral("SELECT json_group_array(block), COUNT(*) FROM task_short_blocks"
                                  " WHERE user_id = :uid AND %1")
                .arg(holdsShortGrams(QStringLiteral("grams"), grams, false));
        }
        // The spans are every user's (ShortSearchSchema), read within the user's blocks.
        return QStringLiteral("SELECT json_group_array(s.block), COUNT(*) FROM json_each(:blocks) AS b"
                              " CROSS JOIN task_short_spans AS s WHERE s.block >= b.value * 16"
                              " AND s.block < b.value * 16 + 16 AND %1")
            .arg(holdsShortGrams(QStringLiteral("s.grams"), grams, false));
    }
    QString holdsShortGrams(const QString &column, int grams, bool) const override
    {
        QStringList tests;
        for (int gram = 0; gram < grams; ++gram)
            tests.append(QStringLiteral("instr(%1, '|' || lower(:gram%2) || '|') > 0").arg(column).arg(gram));
        return tests.join(QStringLiteral(" AND "));
    }
    QString taskRowsOfBlocks(int width) const override
    {
        return QStringLiteral("json_each(:blocks) AS b CROSS JOIN tasks INDEXED BY idx_tasks_user"
                              " ON tasks.user_id = :uid AND tasks.id >= b.value * %1"
                              " AND tasks.id < b.value * %1 + %1")
            .arg(width);
    }
    QString ownTaskCandidateRows() const override
    {
        return QStringLiteral("task_search CROSS JOIN tasks AS own INDEXED BY idx_tasks_user"
                              " ON own.user_id = :uid AND own.id = task_search.rowid"
                              " AND task_search MATCH :trigrams CROSS JOIN tasks ON tasks.id = own.id");
    }
    bool ownCandidatesApart() const override { return false; }
    QString taskNameStatistics() const override { return QString(); }
    // The index reads its rows in id order either way, so the ends cost a row each.
    QString taskCandidateSpan() const override
    {
        const QString rows =
            QStringLiteral("SELECT rowid FROM task_search WHERE task_search MATCH :trigrams");
        return QStringLiteral("SELECT (SELECT COUNT(*) FROM (%1 LIMIT :cap)), (%1 ORDER BY rowid LIMIT 1),"
                              " (%1 ORDER BY rowid DESC LIMIT 1), NULL")
            .arg(rows);
    }
    QString taskMatches() const override
    {
        return QStringLiteral("tasks.id IN (%1) AND (%2 OR %3)")
            .arg(taskCandidates(), like(QStringLiteral("tasks.name"), QStringLiteral(":name")),
                 like(QStringLiteral("CAST(tasks.id AS TEXT)"), QStringLiteral(":name")));
    }
    QString customerCandidates() const override
    {
        return QStringLiteral("SELECT rowid FROM customer_search WHERE customer_search MATCH :trigrams");
    }
    QString perPiece(const QString &select, const QString &from, const QString &where) const override
    {
        return QStringLiteral("SELECT p.key, %1 FROM %2 p CROSS JOIN %3 WHERE %4 GROUP BY p.key")
            .arg(select, pieces(), from, where);
    }
    // The subquery names p, so it is read once for each piece.
    QString firstPerPiece(const QString &table, const QString &where, const QString &order) const override
    {
        return QStringLiteral("%1 p JOIN %2 t ON t.id IN (SELECT id FROM %2 WHERE %3 ORDER BY %4 LIMIT :lim)")
            .arg(pieces(), table, where, order);
    }

    QString beginWrite() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    // total_changes() counts this connection's changes, data_version those committed by others.
    QString changeStamp() const override
    {
        return QStringLiteral("SELECT total_changes() || '/' || data_version FROM pragma_data_version");
    }
    QString epochNow() const override { return QStringLiteral("CAST(strftime('%s', 'now') AS INTEGER)"); }

private:
    static QString pieces()
    {
        return QStringLiteral(
            "(SELECT key, json_extract(value, '$[0]') AS span, json_extract(value, '$[1]') AS lo,"
            " json_extract(value, '$[2]') AS hi FROM json_each(:pieces))");
    }
};

class PostgresDialect final : public SqlDialect
{
public:
    // Text columns use the "C" collation, under which ILIKE and lower() fold ASCII letters only.
    // An empty ESCAPE turns off the backslash that PostgreSQL's LIKE would otherwise take.
    QString like(const QString &expr, const QString &pattern) const override
    {
        return expr + QStringLiteral(" ILIKE ") + pattern + QStringLiteral(" ESCAPE ''");
    }
    QString caseless(const QString &expr) const override { return QStringLiteral("lower(%1)").arg(expr); }
    QString nullsLow(bool ascending) const override
    {
        return ascending ? QStringLiteral(" NULLS FIRST") : QStringLiteral(" NULLS LAST");
    }
    QString readIndex(const QString &) const override { return QString(); }
    QString readById() const override { return QString(); }
    bool indexPerDirection() const override { return true; }
    // Trigram indexes (pg_trgm) on the name and the id text answer ILIKE themselves.
    QString taskCandidates() const override
    {
        return QStringLiteral("SELECT id, user_id FROM tasks WHERE %1 OR %2")
            .arg(like(QStringLiteral("name"), QStringLiteral(":name")),
                 like(QStringLiteral("CAST(id AS TEXT)"), QStringLiteral(":name")));
    }
    // The statement's own ILIKE on the name and id text reads the trigram indexes.
    QString taskCandidateRows() const override { return QStringLiteral("tasks"); }
    QString taskCandidateOrder() const override { return QStringLiteral("tasks.id"); }
    // The blocks of ids whose Bloom filter holds every trigram of the pattern (:blocks, as
    // taskCandidateBlocks() lists them), in order, each read by id. OFFSET 0 keeps each part a step of
    // its own: the lateral reference makes a nested loop of the blocks in order and each block's tasks
    // in order, which gives the rows in id order without a sort, so that a LIMIT stops after the
    // blocks it needs.
    QString taskCandidateRowsInOrder(bool ascending) const override
    {
        return QStringLiteral(
                   "(SELECT c.block FROM unnest(CAST(:blocks AS INTEGER[])) AS c (block)"
                   " WHERE c.block BETWEEN CAST(:idFrom AS BIGINT) >> 10 AND CAST(:idTo AS BIGINT) >> 10"
                   " ORDER BY c.block %1 OFFSET 0) AS b CROSS JOIN LATERAL (SELECT * FROM tasks"
                   " WHERE tasks.user_id = :uid AND tasks.id >= b.block * 1024"
                   " AND tasks.id < b.block * 1024 + 1024 ORDER BY tasks.id %1 OFFSET 0) AS tasks")
            .arg(ascending ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    }
    // A sort by block and id would read every block before the first row; by block alone the rows keep
    // the order in which the nested loop gives them.
    QString taskCandidateOrderBy(bool ascending) const override
    {
        return ascending ? QStringLiteral("b.block ASC") : QStringLiteral("b.block DESC");
    }
    // Those of the runs of literal characters of the pattern. Each one a block lacks rules it out, so
    // a few of them serve as well as all.
    QString taskSearchBits() const override
    {
        return QStringLiteral("SELECT DISTINCT b FROM regexp_split_to_table(:name, '[%_]') AS piece"
                              " CROSS JOIN LATERAL duevia_search_bits(piece) AS b LIMIT 16");
    }
    // Each bit tested on its own: bound values the planner folds in, where a mask of the filter's width
    // costs two whole filters per block. A sample of a user of many blocks: about 128 of them, evenly
    // apart.
    QString taskCandidateBlocks(int bits, bool sample) const override
    {
        QStringList tests = {QStringLiteral("TRUE")};
        for (int bit = 0; bit < bits; ++bit)
            tests.append(QStringLiteral("get_bit(b.bloom, :bit%1) = 1").arg(bit));
        return QStringLiteral(
                   "SELECT '{' || COALESCE(string_agg(CAST(b.block AS TEXT), ',' ORDER BY b.block)"
                   " FILTER (WHERE b.hit), '') || '}', COUNT(*) FILTER (WHERE b.hit), COUNT(*), MIN(n.blocks)"
                   " FROM (SELECT COUNT(*) AS blocks FROM task_search_blocks WHERE user_id = :uid) AS n"
                   " CROSS JOIN LATERAL (SELECT b.block, %1 AS hit FROM task_search_blocks b"
                   " WHERE b.user_id = :uid%2 OFFSET 0) AS b")
            .arg(tests.join(QStringLiteral(" AND ")),
                 sample ? QStringLiteral(" AND b.block % GREATEST(1, n.blocks / 128) = 0") : QString());
    }
    // Lowered as the names were, under "C".
    QString taskShortBlocks(int grams, bool spans) const override
    {
        if (!spans) {
            return QStringLiteral("SELECT '{' || COALESCE(string_agg(CAST(block AS TEXT), ','), '') || '}',"
                                  " COUNT(*) FROM task_short_blocks WHERE user_id = :uid AND %1")
                .arg(holdsShortGrams(QStringLiteral("grams"), grams, false));
        }
        // Each block's spans by their key: joined, the planner tests every span of the user.
        return QStringLiteral("SELECT '{' || COALESCE(string_agg(CAST(s.block AS TEXT), ','), '') || '}',"
                              " COUNT(*) FROM unnest(CAST(:blocks AS INTEGER[])) AS b (block) CROSS JOIN"
                              " LATERAL (SELECT s.block FROM task_short_spans AS s WHERE s.user_id = :uid"
                              " AND s.block >= b.block * 16 AND s.block < b.block * 16 + 16 AND %1 OFFSET 0)"
                              " AS s")
            .arg(holdsShortGrams(QStringLiteral("s.grams"), grams, false));
    }
    // strpos() is the quicker test, but the planner takes a third of the blocks to pass it. A text
    // without "%" and "_" (SqlSupport::likeGrams()) matches as itself under an empty ESCAPE.
    QString holdsShortGrams(const QString &column, int grams, bool estimated) const override
    {
        QStringList tests;
        for (int gram = 0; gram < grams; ++gram) {
            const QString text = QStringLiteral("lower(CAST(:gram%1 AS TEXT) COLLATE \"C\")").arg(gram);
            tests.append(estimated ? QStringLiteral("%1 LIKE '%|' || %2 || '|%' ESCAPE ''").arg(column, text)
                                   : QStringLiteral("strpos(%1, '|' || %2 || '|') > 0").arg(column, text));
        }
        return tests.join(QStringLiteral(" AND "));
    }
    QString taskRowsOfBlocks(int width) const override
    {
        return QStringLiteral("(SELECT c.block FROM unnest(CAST(:blocks AS INTEGER[])) AS c (block)"
                              " ORDER BY c.block OFFSET 0) AS b CROSS JOIN LATERAL (SELECT * FROM tasks"
                              " WHERE tasks.user_id = :uid AND tasks.id >= b.block * %1"
                              " AND tasks.id < b.block * %1 + %1 OFFSET 0) AS tasks")
            .arg(width);
    }

    // Each user's trigrams are indexed apart (duevia_user_trigrams()); the tasks that match by their id
    // text alone come from its trigram index, so that no task comes twice. OFFSET 0 keeps the user's
    // index out of the first part: the statement's own test of the user would add a bitmap of all their
    // tasks to it.
    QString ownTaskCandidateRows() const override
    {
        return QStringLiteral(
                   "((SELECT * FROM tasks WHERE duevia_user_trigrams(user_id, name)"
                   " @> duevia_pattern_trigrams(:uid, :name) OFFSET 0) UNION ALL (SELECT * FROM tasks"
                   " WHERE user_id = :uid AND %1 AND NOT COALESCE(%2, false))) AS tasks")
            .arg(like(QStringLiteral("CAST(id AS TEXT)"), QStringLiteral(":name")),
                 like(QStringLiteral("name"), QStringLiteral(":name")));
    }
    bool ownCandidatesApart() const override { return true; }
    // The sample that ANALYZE keeps: its most common names with their shares, and a histogram of the
    // others whose bounds stand for equal shares of them.
    QString taskNameStatistics() const override
    {
        return QStringLiteral(
            "WITH s AS (SELECT most_common_vals, most_common_freqs, histogram_bounds FROM pg_stats"
            " WHERE schemaname = current_schema() AND tablename = 'tasks' AND attname = 'name')"
            " SELECT 2, NULL, CASE WHEN NOT row_security_active('tasks') OR (SELECT bool_and(proleakproof)"
            " FROM pg_proc WHERE oid IN ('arraycontains(anyarray, anyarray)'::regprocedure,"
            " 'duevia_user_trigrams(integer, text)'::regprocedure)) THEN 1 ELSE 0 END"
            " UNION ALL SELECT 0, m.v, m.f FROM s CROSS JOIN LATERAL unnest(CAST(CAST(s.most_common_vals AS"
            " TEXT) AS TEXT[]), s.most_common_freqs) AS m (v, f)"
            " UNION ALL SELECT 1, b.h, NULL FROM s CROSS JOIN LATERAL unnest(CAST(CAST(s.histogram_bounds"
            " AS TEXT) AS TEXT[])) AS b (h)");
    }
    // The trigram indexes give their matches as a bitmap, in no order: no ends. The rows read are
    // matches already, so the user's among them come at no cost.
    // The candidates are planned as if all of them were read, as a CTE is: under a LIMIT the planner
    // reads the table in its order wherever the statistics overstate the word, and a word of one task
    // in a hundred estimated at four then passes 120,000 tasks (136 ms at 1M) for its first candidates.
    QString taskCandidateSpan() const override
    {
        return QStringLiteral("WITH c AS MATERIALIZED (%1) SELECT COUNT(*), NULL, NULL,"
                              " COUNT(*) FILTER (WHERE user_id = :uid) FROM (SELECT * FROM c LIMIT :pages)"
                              " AS candidates")
            .arg(taskCandidates());
    }
    // Said of the row itself, so that the planner combines both trigram indexes; as a subquery of ids
    // it would join the table with itself.
    QString taskMatches() const override
    {
        return QStringLiteral("(%1 OR %2)")
            .arg(like(QStringLiteral("tasks.name"), QStringLiteral(":name")),
                 like(QStringLiteral("CAST(tasks.id AS TEXT)"), QStringLiteral(":name")));
    }
    QString customerCandidates() const override
    {
        return QStringLiteral("SELECT id FROM customers WHERE %1 OR %2"
                              " UNION SELECT customer_id FROM customer_contacts WHERE %3")
            .arg(like(QStringLiteral("name"), QStringLiteral(":name")),
                 like(QStringLiteral("CAST(id AS TEXT)"), QStringLiteral(":name")),
                 like(QStringLiteral("value"), QStringLiteral(":name")));
    }
    // Each piece reads its own range of the index; a join of all pieces with all of the user's rows
    // would be hashed instead.
    QString perPiece(const QString &select, const QString &from, const QString &where) const override
    {
        return QStringLiteral(
                   "SELECT p.key, x.* FROM %1 p CROSS JOIN LATERAL (SELECT %2 FROM %3 WHERE %4) AS x")
            .arg(pieces(), select, from, where);
    }
    QString firstPerPiece(const QString &table, const QString &where, const QString &order) const override
    {
        return QStringLiteral(
                   "%1 p CROSS JOIN LATERAL (SELECT * FROM %2 WHERE %3 ORDER BY %4 LIMIT :lim) AS t")
            .arg(pieces(), table, where, order);
    }

    QString beginWrite() const override { return QStringLiteral("BEGIN"); }
    // A sequence that a statement trigger on every table advances; sequences are not transactional,
    // so every session sees the latest value at once.
    QString changeStamp() const override { return QStringLiteral("SELECT last_value FROM data_changes"); }
    // The clock of the moment of the call, not of the transaction's start.
    QString epochNow() const override
    {
        return QStringLiteral("floor(extract(epoch FROM clock_timestamp()))::bigint");
    }

private:
    static QString pieces()
    {
        return QStringLiteral("(SELECT ord - 1 AS key, (e->>0)::bigint AS span, (e->>1)::bigint AS lo,"
                              " (e->>2)::bigint AS hi FROM jsonb_array_elements(CAST(:pieces AS jsonb))"
                              " WITH ORDINALITY AS elements(e, ord))");
    }
};

} // namespace

const SqlDialect &SqlDialect::sqlite()
{
    static const SqliteDialect dialect;
    return dialect;
}

const SqlDialect &SqlDialect::postgres()
{
    static const PostgresDialect dialect;
    return dialect;
}

const SqlDialect &SqlDialect::of(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL") ? postgres() : sqlite();
}

QString SqlDialect::customersOfShortGrams(int grams) const
{
    // CROSS JOIN keeps the blocks first on the file; the customers are joined to the tasks, by the
    // planner's estimate of how many blocks hold the text.
    return QStringLiteral("(SELECT customers.* FROM customer_short_blocks AS b CROSS JOIN customers"
                          " WHERE customers.id >= b.block * 1024 AND customers.id < b.block * 1024 + 1024"
                          " AND %1) AS customers")
        .arg(holdsShortGrams(QStringLiteral("b.grams"), grams, true));
}
