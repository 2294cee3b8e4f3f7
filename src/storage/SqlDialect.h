#pragma once

#include <QString>

class QSqlDatabase;

// What a statement must say differently on the two storage engines. The services write every
// statement once and take these fragments where the engines differ; nothing else in a statement may
// depend on the engine.
class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    static const SqlDialect &sqlite();
    static const SqlDialect &postgres();
    // The dialect of the engine the connection leads to.
    static const SqlDialect &of(const QSqlDatabase &db);

    // expr LIKE pattern, ignoring the case of ASCII letters only; % and _ are the wildcards and no
    // character escapes them.
    virtual QString like(const QString &expr, const QString &pattern) const = 0;
    // The key that orders and compares text ignoring the case of ASCII letters. Its value may differ
    // from the text: compare it only with values read through the same key.
    virtual QString caseless(const QString &expr) const = 0;
    // What follows an ORDER BY term so that NULL comes before every value when ascending and after
    // every value when descending (the order the task pages show).
    virtual QString nullsLow(bool ascending) const = 0;
    // " INDEXED BY <index>" where the planner must be told which index serves a page; empty where
    // it finds the index itself.
    virtual QString readIndex(const QString &index) const = 0;
    // Asks the planner to read the rows by id rather than walk an index of their order.
    virtual QString readById() const = 0;
    // Whether the task page indexes include one per direction, so that an order whose key descends
    // while equal keys follow in ascending id reads an index as it is. The file keeps one ascending
    // index per column (room), the server one per direction (a round trip per statement).
    virtual bool indexPerDirection() const = 0;
    // A SELECT of the ids of tasks (of every user), as its first column, whose name or id text may
    // match the LIKE pattern bound as :name. It never leaves out a match; LIKE decides. It may use
    // :trigrams, bound to SqlSupport::likeTrigrams() of the pattern, which is not empty whenever this is
    // used.
    virtual QString taskCandidates() const = 0;
    // A FROM item named tasks holding at least the tasks taskCandidates() selects, read in an order
    // that lets a count with a LIMIT stop early (the statement still says what matches).
    virtual QString taskCandidateRows() const = 0;
    // The column of taskCandidateRowsInOrder() that reads them in id order, either way, from any bound
    // on it; empty where they come in no order. Where they do, the database keeps task_creation_order.
    virtual QString taskCandidateOrder() const = 0;
    // A FROM item like taskCandidateRows() that reads the candidates between :idFrom and :idTo (which the
    // statement also bounds taskCandidateOrder() by) in the order taskCandidateOrderBy() gives, so that
    // a LIMIT stops the reading. It may use :blocks, bound to the first value of taskCandidateBlocks().
    virtual QString taskCandidateRowsInOrder(bool ascending) const = 0;
    virtual QString taskCandidateOrderBy(bool ascending) const = 0;
    // Where taskCandidateRowsInOrder() reads the user's tasks in blocks, the bits that the filter of a
    // block holding a match of :name has, one to a row; empty where it reads no blocks.
    virtual QString taskSearchBits() const = 0;
    // One row: the blocks of the user (:uid) whose filter has the bits :bit0 to :bit<bits - 1>, how
    // many they are, how many blocks were read and how many the user has; with sample, of a sample of
    // the blocks (fewer to read).
    virtual QString taskCandidateBlocks(int bits, bool sample) const = 0;
    // One row: the blocks of the user (:uid) whose task names may hold each of the texts :gram0 to
    // :gram<grams - 1> (SqlSupport::likeGrams()), as taskRowsOfBlocks() reads them from :blocks, and
    // how many they are; with spans, the spans of 64 ids of the blocks bound as :blocks that may.
    virtual QString taskShortBlocks(int grams, bool spans = false) const = 0;
    // A FROM item named customers: the customers whose names may hold each of the texts :gram0 to
    // :gram<grams - 1>, the blocks of customer_short_blocks that hold them read by id.
    QString customersOfShortGrams(int grams) const;
    // A FROM item named tasks: the user's (:uid) tasks in the blocks of width ids bound as :blocks.
    virtual QString taskRowsOfBlocks(int width) const = 0;
    // Whether the grams of a block (column) hold each of the texts :gram0 to :gram<grams - 1>; with
    // estimated, in a form whose share of the blocks the planner takes from the statistics.
    virtual QString holdsShortGrams(const QString &column, int grams, bool estimated = false) const = 0;
    // The same candidates, those of other users than :uid left out through a narrow index before the
    // table is read, for a file of many users; taskCandidateRows() where that gains nothing.
    virtual QString ownTaskCandidateRows() const = 0;
    // Whether ownTaskCandidateRows() reads the user's candidates apart from every other user's, so that
    // they cost about what the user's matches cost: a search then probes, lists and counts those alone.
    virtual bool ownCandidatesApart() const = 0;
    // The statistics that the database keeps of the task names, as rows of (kind, name, share): kind 0 a
    // name of the sample's most common with its share of all tasks, kind 1 a bound of the histogram of the
    // others, each bound standing for an equal share of them; and one row of kind 2 whose share is 1 where
    // this session reads ownTaskCandidateRows() from their index (row-level security keeps a condition out
    // of an index unless its functions are LEAKPROOF). Empty where the database keeps no statistics to read.
    virtual QString taskNameStatistics() const = 0;
    // One row: how many of those candidates there are, counted up to :cap, and the lowest and highest
    // of their ids; or, where the ends cannot be had at about the cost of the count, counted up to
    // :pages (each candidate costs a read of the table) and NULL ends. A fourth column counts the
    // candidates read that are the user's (:uid) and match :name by name or id, where the candidates
    // are exactly those matches; otherwise it is NULL.
    virtual QString taskCandidateSpan() const = 0;
    // The condition on tasks that its name or id text matches :name, read through the search index.
    virtual QString taskMatches() const = 0;
    // The same for customers: name, id text and the values of their contacts.
    virtual QString customerCandidates() const = 0;
    // One row (key, select...) per element of the JSON array bound as :pieces whose elements are
    // arrays [span, lo, hi] of integers, key counting them from 0: select aggregates the rows of from
    // that meet where, which may name p.span, p.lo and p.hi. A piece without rows may be left out or
    // give zero counts and NULL sums.
    virtual QString perPiece(const QString &select, const QString &from, const QString &where) const = 0;
    // A FROM clause of the same pieces (alias p) joined with the first rows of table for each piece
    // (alias t): those that meet where, which may name p.lo and p.hi, in order, at most :lim of them.
    // The table's key column is id.
    virtual QString firstPerPiece(const QString &table, const QString &where, const QString &order) const = 0;
    // Starts a transaction that is going to write. Two of them never interleave their changes of one
    // row: on a file it takes the write lock at once (waiting for it like any statement), so that no
    // read before its first write can make that write fail at once instead of waiting; on a server
    // the first write of a row locks that row until the end.
    virtual QString beginWrite() const = 0;
    // A query of one value that changes whenever a change to the data was committed, by this
    // connection or any other.
    virtual QString changeStamp() const = 0;
    // The present moment in whole seconds since the epoch, as an integer expression.
    virtual QString epochNow() const = 0;
};
