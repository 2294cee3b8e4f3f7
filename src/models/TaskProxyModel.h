#pragma once

#include <QDateTime>
#include <QSortFilterProxyModel>

class TaskTableModel;

// A sort-and-filter view of a task table: optionally only the tasks of one customer, with the
// expiry column sorted by date-time rather than by its text.
class TaskProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(int rootId READ rootId WRITE setRootId NOTIFY rootIdChanged)

public:
    explicit TaskProxyModel(QObject *parent = nullptr);

    int rootId() const { return m_rootId; }
    void setRootId(int value);

    Q_INVOKABLE int taskIdAt(int row) const;
    Q_INVOKABLE QString nameAt(int row) const;
    Q_INVOKABLE QDateTime expireAt(int row) const;

signals:
    void rootIdChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    TaskTableModel *tasks() const;
    // The source row behind a proxy row, or -1 when there is none.
    int sourceRowOf(int row) const;

    int m_rootId = -1; // negative: every customer
};
