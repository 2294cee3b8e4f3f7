#include "models/TaskTableModel.h"

#include <QDebug>
#include <QLocale>

#include <algorithm>

namespace {

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kSecondsPerHour = 3600;

template<typename T> bool ordered(const T &a, const T &b, Qt::SortOrder order)
{
    return order == Qt::AscendingOrder ? a < b : b < a;
}

} // namespace

TaskRowComparator::TaskRowComparator(int column, Qt::SortOrder order) : m_column(column), m_order(order) {}

bool TaskRowComparator::operator()(const TaskRow &a, const TaskRow &b) const
{
    switch (m_column) {
    case TaskTableModel::IdColumn:
        return ordered(a.id, b.id, m_order);
    case TaskTableModel::NameColumn:
        return ordered(a.name, b.name, m_order);
    case TaskTableModel::LevelColumn:
        return ordered(a.level, b.level, m_order);
    case TaskTableModel::DoneColumn:
        return ordered(a.active, b.active, m_order);
    case TaskTableModel::ExpireAtColumn:
        return ordered(a.expireAt, b.expireAt, m_order);
    case TaskTableModel::CreatedAtColumn:
        return ordered(a.createAt, b.createAt, m_order);
    default:
        return false;
    }
}

TaskTableModel::TaskTableModel(QObject *parent)
    : QAbstractTableModel(parent), m_pageRows(new TaskPageRows(this))
{
}

QAbstractItemModel *TaskTableModel::pageRows() const
{
    return m_pageRows;
}

int TaskTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TaskTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TaskTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !hasRow(index.row()))
        return {};
    const TaskRow &row = m_rows.at(index.row());
    switch (index.column()) {
    case IdColumn:
        return row.id;
    case NameColumn:
        if (row.customerName.isEmpty())
            return row.name;
        return QStringLiteral("[") + row.customerName + QStringLiteral("] - ") + row.name;
    case LevelColumn:
        return row.level;
    case DoneColumn:
        return row.active;
    case ExpireAtColumn:
        return expiryText(row.expireAt, QDateTime::currentDateTime());
    case CreatedAtColumn:
        return row.createAt.isValid() ? row.createAt.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
    default:
        return {};
    }
}

QVariant TaskTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case IdColumn:
        return tr("ID");
    case NameColumn:
        return tr("Name");
    case LevelColumn:
        return tr("Level");
    case DoneColumn:
        return tr("Done");
    case ExpireAtColumn:
        return tr("Expire at");
    case CreatedAtColumn:
        return tr("Created at");
    default:
        return {};
    }
}

void TaskTableModel::sort(int column, Qt::SortOrder order)
{
    qDebug() << "Sorting by column" << column << "order" << order;
    std::sort(m_rows.begin(), m_rows.end(), TaskRowComparator(column, order));
    if (m_rows.isEmpty())
        return;
    emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1), {});
}

void TaskTableModel::setTasks(QList<TaskRow> rows)
{
    beginResetModel();
    m_rows.swap(rows);
    endResetModel();
}

int TaskTableModel::taskIdAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).id : -1;
}

QString TaskTableModel::summaryAt(int row) const
{
    if (!hasRow(row))
        return {};
    const TaskRow &task = m_rows.at(row);
    const QString name =
        task.customerName.isEmpty() ? task.name : tr("%1, customer %2").arg(task.name, task.customerName);
    const QLocale locale;
    const QString state = task.active ? tr("done")
                          : task.expireAt.isValid() && task.expireAt < QDateTime::currentDateTime()
                              ? tr("overdue")
                              : tr("open");
    if (!task.expireAt.isValid())
        return tr("%1, level %2, no due date, %3").arg(name).arg(task.level).arg(state);
    const QString due =
        locale.toString(task.expireAt, locale.dateFormat(QLocale::LongFormat) + QStringLiteral(" HH:mm"));
    return tr("%1, level %2, due %3, %4").arg(name).arg(task.level).arg(due, state);
}

QString TaskTableModel::nameAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).name : QString();
}

QString TaskTableModel::notesAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).notes : QString();
}

int TaskTableModel::levelAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).level : -1;
}

bool TaskTableModel::activeAt(int row) const
{
    return hasRow(row) && m_rows.at(row).active;
}

QDateTime TaskTableModel::expireAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).expireAt : QDateTime();
}

QDateTime TaskTableModel::createAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).createAt : QDateTime();
}

int TaskTableModel::customerIdAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).customerId : -1;
}

QString TaskTableModel::customerNameAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).customerName : QString();
}

int TaskTableModel::rowForId(int id) const
{
    const auto it =
        std::find_if(m_rows.cbegin(), m_rows.cend(), [id](const TaskRow &row) { return row.id == id; });
    return it == m_rows.cend() ? -1 : int(it - m_rows.cbegin());
}

int TaskTableModel::rowCountQml() const
{
    return int(m_rows.size());
}

QString TaskTableModel::expiryText(const QDateTime &expireAt, const QDateTime &now)
{
    if (!expireAt.isValid())
        return {};
    // Day names stay English whatever the system language.
    const QString dateText = QLocale::c().toString(expireAt, QStringLiteral("yyyy-MM-dd HH:mm ddd"));
    const qint64 seconds = now.secsTo(expireAt);
    QString remaining;
    if (seconds >= 0) {
        const qint64 days = seconds / kSecondsPerDay;
        const qint64 hours = (seconds - days * kSecondsPerDay) / kSecondsPerHour;
        remaining = QStringLiteral("%1d %2h").arg(days).arg(hours);
    }
    return QStringLiteral("%1 %2").arg(dateText, remaining);
}

TaskPageRows::TaskPageRows(TaskTableModel *tasks) : QAbstractTableModel(tasks), m_tasks(tasks)
{
    connect(tasks, &TaskTableModel::modelReset, this, &TaskPageRows::followReset);
    connect(tasks, &TaskTableModel::dataChanged, this, &TaskPageRows::followChange);
    connect(tasks, &TaskTableModel::headerDataChanged, this, &TaskPageRows::headerDataChanged);
}

int TaskPageRows::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int TaskPageRows::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : TaskTableModel::ColumnCount;
}

QVariant TaskPageRows::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rowCount)
        return {};
    switch (role) {
    case OverdueRole: {
        // As the expiry text reads: its minute, against the present moment.
        const QDateTime expireAt = m_tasks->expireAt(index.row());
        constexpr qint64 kMsecsPerMinute = 60000;
        return expireAt.isValid() && expireAt.toMSecsSinceEpoch() / kMsecsPerMinute * kMsecsPerMinute <
                                         QDateTime::currentMSecsSinceEpoch();
    }
    case SummaryRole:
        return index.column() == TaskTableModel::IdColumn ? m_tasks->summaryAt(index.row()) : QString();
    default:
        return m_tasks->data(m_tasks->index(index.row(), index.column()), role);
    }
}

QVariant TaskPageRows::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_tasks->headerData(section, orientation, role);
}

QHash<int, QByteArray> TaskPageRows::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractTableModel::roleNames();
    names.insert(OverdueRole, QByteArrayLiteral("overdue"));
    names.insert(SummaryRole, QByteArrayLiteral("summary"));
    return names;
}

void TaskPageRows::followReset()
{
    const int rows = m_tasks->rowCount();
    const int kept = std::min(rows, m_rowCount);
    if (rows < m_rowCount) {
        beginRemoveRows({}, rows, m_rowCount - 1);
        m_rowCount = rows;
        endRemoveRows();
    } else if (rows > m_rowCount) {
        beginInsertRows({}, m_rowCount, rows - 1);
        m_rowCount = rows;
        endInsertRows();
    }
    if (kept > 0)
        emit dataChanged(index(0, 0), index(kept - 1, TaskTableModel::ColumnCount - 1));
}

void TaskPageRows::followChange(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                const QList<int> &roles)
{
    const int last = std::min(bottomRight.row(), m_rowCount - 1);
    if (topLeft.row() <= last)
        emit dataChanged(index(topLeft.row(), topLeft.column()), index(last, bottomRight.column()), roles);
}
