#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>
#include <QVariantList>

// One customer as the customer table shows it.
struct CustomerRow
{
    int id = -1;
    QString name;
    QString notes;
    QString phone;         // value of the last "phone" contact, empty when there is none
    QString email;         // value of the last "email" contact, empty when there is none
    QDateTime createAt;    // local time; may be invalid
    QVariantList contacts; // maps with "type", "value" and "label", in stored order
};

// The page of customers that the customer service loaded last, as a table of five columns.
class CustomerTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CustomerTableModel(QObject *parent = nullptr);

    void setCustomers(QList<CustomerRow> rows);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    Q_INVOKABLE int customerIdAt(int row) const;
    Q_INVOKABLE QString nameAt(int row) const;
    Q_INVOKABLE QString notesAt(int row) const;
    Q_INVOKABLE QVariantList contactsAt(int row) const;
    Q_INVOKABLE QString phoneAt(int row) const;
    Q_INVOKABLE QString emailAt(int row) const;
    Q_INVOKABLE QDateTime createAt(int row) const;
    Q_INVOKABLE int rowForId(int id) const;
    // The row as one sentence for a screen reader: "Acme, phone 555 0101, email info@acme.example".
    Q_INVOKABLE QString summaryAt(int row) const;
    Q_INVOKABLE int rowCountQml() const { return int(m_rows.size()); }

private:
    bool hasRow(int row) const { return row >= 0 && row < m_rows.size(); }

    QList<CustomerRow> m_rows;
};
