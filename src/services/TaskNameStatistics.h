#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QString>

class DbManager;

// What the database's statistics of the task names tell of a search: the share of all tasks whose name
// holds a text. The statistics are read from the server at most once a minute and for each connection,
// and matched here: reading them costs about as much as a page, and they change only when the server
// samples the table again.
class TaskNameStatistics
{
public:
    struct Estimate
    {
        double share = 0;
        // Seldom above the text's own share: a text of one name in a hundred falls on none to four of a
        // hundred bounds by chance, and this counts k - 2 sqrt(k) of k bounds.
        double cautious = 0;
        // Whether this session reads the user's candidates from their index.
        bool indexed = false;
    };

    explicit TaskNameStatistics(DbManager *db);

    // Of the names that the pattern '%' + text + '%' matches as ILIKE does (its own % and _ are
    // wildcards); all zero where the database keeps no statistics or they cannot be read.
    Estimate estimate(const QString &text);

private:
    bool read();

    static constexpr qint64 kKeptMs = 60 * 1000;

    DbManager *m_db = nullptr;
    int m_generation = -1; // of the connection's statements when read
    QElapsedTimer m_read;
    bool m_indexed = false;
    QStringList m_common;
    QList<double> m_commonShares;
    double m_restShare = 1; // of the names the histogram stands for
    QStringList m_bounds;
};
