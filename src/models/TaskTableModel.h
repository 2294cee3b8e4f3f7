#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QString>

// One task as the task table shows it; date-times are local time.
struct TaskRow
{
    int id = 0;
    QString name;
    QString notes;
    int level = 0;
    bool active = false; // the done flag
    int customerId = 0;
    QString customerName;
    QDateTime expireAt;
    QDateTime createAt;
};

// Orders rows by one column of the task table; rows with equal keys compare as equivalent.
class TaskRowComparator
{
public:
    TaskRowComparator(int column, Qt::SortOrder order);
    bool operator()(const TaskRow &a, const TaskRow &b) const;

private:
    int m_column = 0;
    Qt::SortOrder m_order = Qt::AscendingOrder;
};

class TaskPageRows;

// The rows of the one page of tasks that the task service loaded last, as a six-column table.
class TaskTableModel : public QAbstractTableModel
{
    Q_OBJECT
    // The same rows for the window's table view (see TaskPageRows).
    Q_PROPERTY(QAbstractItemModel *pageRows READ pageRows CONSTANT)

public:
    enum Column {
        IdColumn,
        NameColumn,
        LevelColumn,
        DoneColumn,
        ExpireAtColumn,
        CreatedAtColumn,
        ColumnCount
    };

    explicit TaskTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Replaces every row in one model reset.
    void setTasks(QList<TaskRow> rows);

    Q_INVOKABLE int taskIdAt(int row) const;
    Q_INVOKABLE QString nameAt(int row) const;
    Q_INVOKABLE QString notesAt(int row) const;
    Q_INVOKABLE int levelAt(int row) const;
    Q_INVOKABLE bool activeAt(int row) const;
    Q_INVOKABLE QDateTime expireAt(int row) const;
    Q_INVOKABLE QDateTime createAt(int row) const;
    Q_INVOKABLE int customerIdAt(int row) const;
    Q_INVOKABLE QString customerNameAt(int row) const;
    Q_INVOKABLE int rowForId(int id) const;
    // The row as one sentence for a screen reader, dates in the interface's locale:
    // "Call Acme, level 30, due Tuesday, 8 December 2026 14:00, open".
    Q_INVOKABLE QString summaryAt(int row) const;
    Q_INVOKABLE int rowCountQml() const;

    // "yyyy-MM-dd HH:mm ddd" followed by the time left as seen at now ("2d 5h"; nothing once overdue).
    static QString expiryText(const QDateTime &expireAt, const QDateTime &now);

    QAbstractItemModel *pageRows() const;

private:
    bool hasRow(int row) const { return row >= 0 && row < m_rows.size(); }

    QList<TaskRow> m_rows;
    TaskPageRows *m_pageRows = nullptr;
};

// A task table as a table view shows it, with each row's "overdue" (its expiry minute has begun) and,
// in the first column, its "summary". A reload of the table reaches the view as rows removed or inserted
// at the end and the others changed, so that the view keeps its cells instead of building all of them
// again.
class TaskPageRows : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Role { OverdueRole = Qt::UserRole + 1, SummaryRole };

    explicit TaskPageRows(TaskTableModel *tasks);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void followReset();
    void followChange(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);

    TaskTableModel *m_tasks = nullptr;
    int m_rowCount = 0;
};
