#include "models/TaskProxyModel.h"

#include "models/TaskTableModel.h"

TaskProxyModel::TaskProxyModel(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

void TaskProxyModel::setRootId(int value)
{
    if (value == m_rootId)
        return;
    m_rootId = value;
    // Re-evaluates every source row under the new customer.
    invalidateFilter();
    emit rootIdChanged();
}

TaskTableModel *TaskProxyModel::tasks() const
{
    return qobject_cast<TaskTableModel *>(sourceModel());
}

int TaskProxyModel::sourceRowOf(int row) const
{
    if (!tasks() || row < 0 || row >= rowCount())
        return -1;
    return mapToSource(index(row, 0)).row();
}

int TaskProxyModel::taskIdAt(int row) const
{
    const int sourceRow = sourceRowOf(row);
    return sourceRow < 0 ? -1 : tasks()->taskIdAt(sourceRow);
}

QString TaskProxyModel::nameAt(int row) const
{
    const int sourceRow = sourceRowOf(row);
    return sourceRow < 0 ? QString() : tasks()->nameAt(sourceRow);
}

QDateTime TaskProxyModel::expireAt(int row) const
{
    const int sourceRow = sourceRowOf(row);
    return sourceRow < 0 ? QDateTime() : tasks()->expireAt(sourceRow);
}

bool TaskProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    Q_UNUSED(sourceParent)
    const TaskTableModel *model = tasks();
    if (!model || m_rootId < 0)
        return true;
    return model->customerIdAt(sourceRow) == m_rootId;
}

bool TaskProxyModel::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const TaskTableModel *model = tasks();
    if (model && left.column() == TaskTableModel::ExpireAtColumn &&
        right.column() == TaskTableModel::ExpireAtColumn)
        return model->expireAt(left.row()) < model->expireAt(right.row());
    return QSortFilterProxyModel::lessThan(left, right);
}
