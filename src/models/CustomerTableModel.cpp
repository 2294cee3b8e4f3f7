#include "models/CustomerTableModel.h"

#include <algorithm>

namespace {

constexpr int kColumnCount = 5;

} // namespace

CustomerTableModel::CustomerTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void CustomerTableModel::setCustomers(QList<CustomerRow> rows)
{
    beginResetModel();
    m_rows.swap(rows);
    endResetModel();
}

int CustomerTableModel::rowCount(const QModelIndex &parent) const
{
    // A flat table: no cell has children.
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CustomerTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CustomerTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !hasRow(index.row()))
        return {};
    const CustomerRow &row = m_rows.at(index.row());
    switch (index.column()) {
    case 0:
        return row.id;
    case 1:
        return row.name;
    case 2:
        return row.phone;
    case 3:
        return row.email;
    case 4:
        return row.createAt.isValid() ? row.createAt.toString(QStringLiteral("yyyy-MM-dd")) : QString();
    default:
        return {};
    }
}

QString CustomerTableModel::summaryAt(int row) const
{
    if (!hasRow(row))
        return {};
    const CustomerRow &customer = m_rows.at(row);
    QStringList parts{customer.name};
    if (!customer.phone.isEmpty())
        parts << tr("phone %1").arg(customer.phone);
    if (!customer.email.isEmpty())
        parts << tr("email %1").arg(customer.email);
    return parts.join(QStringLiteral(", "));
}

QVariant CustomerTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("ID");
    case 1:
        return tr("Name");
    case 2:
        return tr("Phone");
    case 3:
        return tr("Email");
    case 4:
        return tr("Created at");
    default:
        return {};
    }
}

void CustomerTableModel::sort(int column, Qt::SortOrder order)
{
    const bool ascending = order == Qt::AscendingOrder;
    auto before = [ascending](const auto &a, const auto &b) {
        return ascending ? a < b : b < a;
    };
    std::sort(m_rows.begin(), m_rows.end(), [column, before](const CustomerRow &a, const CustomerRow &b) {
        switch (column) {
        case 0:
            return before(a.id, b.id);
        case 1:
            return before(a.name, b.name);
        case 4:
            return before(a.createAt, b.createAt);
        default:
            // Phone and e-mail have no in-memory order.
            return false;
        }
    });
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, kColumnCount - 1), {});
}

int CustomerTableModel::customerIdAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).id : -1;
}

QString CustomerTableModel::nameAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).name : QString();
}

QString CustomerTableModel::notesAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).notes : QString();
}

QVariantList CustomerTableModel::contactsAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).contacts : QVariantList();
}

QString CustomerTableModel::phoneAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).phone : QString();
}

QString CustomerTableModel::emailAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).email : QString();
}

QDateTime CustomerTableModel::createAt(int row) const
{
    return hasRow(row) ? m_rows.at(row).createAt : QDateTime();
}

int CustomerTableModel::rowForId(int id) const
{
    const auto it =
        std::find_if(m_rows.cbegin(), m_rows.cend(), [id](const CustomerRow &row) { return row.id == id; });
    return it == m_rows.cend() ? -1 : int(it - m_rows.cbegin());
}
