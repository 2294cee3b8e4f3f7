#include "services/UndoService.h"

#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "services/TaskService.h"
#include "storage/DbManager.h"
#include "storage/SqlSupport.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QStringList>

UndoService::UndoService(DbManager *db, AuthService *auth, TaskService *tasks, CustomerService *customers,
                         QObject *parent)
    : QObject(parent), m_db(db), m_auth(auth), m_tasks(tasks), m_customers(customers)
{
    m_expiry.setSingleShot(true);
    m_expiry.setInterval(kUndoMs);
    connect(&m_expiry, &QTimer::timeout, this, &UndoService::dismiss);
    if (m_auth)
        connect(m_auth, &AuthService::loggedOut, this, &UndoService::dismiss);
}

bool UndoService::deleteTask(int taskId)
{
    dismiss();
    const int uid = m_auth ? m_auth->userId() : -1;
    const QString name = m_tasks->taskById(taskId).value(QStringLiteral("name")).toString();
    const bool read =
        readRows(QStringLiteral("tasks"), QStringLiteral("id = ? AND user_id = ?"), {taskId, uid}) &&
        m_rows.constFirst().records.size() == 1 &&
        readRows(QStringLiteral("sync_links"), QStringLiteral("task_id = ?"), {taskId});
    if (!read || !m_tasks->deleteTask(taskId)) {
        m_rows.clear();
        setNotice(tr("Could not delete the task."));
        return false;
    }
    m_userId = uid;
    setNotice(tr("Deleted task \"%1\"").arg(name));
    return true;
}

bool UndoService::deleteCustomer(int customerId)
{
    dismiss();
    const QString name = m_customers->customerById(customerId).value(QStringLiteral("name")).toString();
    QSqlQuery linked =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT id FROM tasks WHERE customer_id = ?"));
    linked.addBindValue(customerId);
    bool read = linked.exec();
    while (read && linked.next())
        m_linkedTasks.append(linked.value(0).toInt());
    read = read && readRows(QStringLiteral("customers"), QStringLiteral("id = ?"), {customerId}) &&
           m_rows.constFirst().records.size() == 1 &&
           readRows(QStringLiteral("customer_contacts"), QStringLiteral("customer_id = ?"), {customerId});
    if (!read || !m_customers->deleteCustomer(customerId)) {
        m_rows.clear();
        m_linkedTasks.clear();
        setNotice(tr("Could not delete the customer."));
        return false;
    }
    m_customerId = customerId;
    m_userId = m_auth ? m_auth->userId() : -1;
    setNotice(tr("Deleted customer \"%1\"").arg(name));
    return true;
}

bool UndoService::undo()
{
    if (m_rows.isEmpty() || !m_auth || m_auth->userId() != m_userId)
        return false;
    const bool restored = SqlSupport::runInTransaction(m_db, [this] { return writeBack(); });
    const bool wasTask = m_customerId == 0;
    dismiss();
    if (!restored) {
        setNotice(wasTask ? tr("Could not restore the task.") : tr("Could not restore the customer."));
        return false;
    }
    m_tasks->onChangedElsewhere();
    m_customers->onChangedElsewhere();
    return true;
}

void UndoService::report(const QString &text)
{
    dismiss();
    setNotice(text);
}

void UndoService::dismiss()
{
    m_rows.clear();
    m_linkedTasks.clear();
    m_customerId = 0;
    m_userId = -1;
    m_expiry.stop();
    if (m_notice.isEmpty())
        return;
    m_notice.clear();
    emit noticeChanged();
}

bool UndoService::readRows(const QString &table, const QString &where, const QVariantList &values)
{
    QSqlQuery query =
        SqlSupport::prepare(m_db, QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table, where));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return false;
    Rows rows{table, {}};
    while (query.next())
        rows.records.append(query.record());
    m_rows.append(rows);
    return true;
}

bool UndoService::writeBack() const
{
    for (const Rows &rows : m_rows) {
        for (const QSqlRecord &record : rows.records) {
            // A synced task gets its link back only while its removal from the server is pending;
            // otherwise the fresh link of the insert sends it as a new one.
            if (rows.table == QLatin1String("sync_links")) {
                if (!cancelPendingServerDelete(record))
                    return false;
                continue;
            }
            if (!insertRecord(rows.table, record))
                return false;
        }
    }
    // Tasks attached to another customer since keep that one.
    QSqlQuery relink = SqlSupport::prepare(
        m_db,
        QStringLiteral(
            "UPDATE tasks SET customer_id = ? WHERE id = ? AND (customer_id = 0 OR customer_id IS NULL)"));
    for (const int taskId : m_linkedTasks) {
        relink.addBindValue(m_customerId);
        relink.addBindValue(taskId);
        if (!relink.exec())
            return false;
    }
    return true;
}

bool UndoService::cancelPendingServerDelete(const QSqlRecord &link) const
{
    const QVariant href = link.value(QStringLiteral("href"));
    if (href.isNull())
        return true;
    QSqlQuery pending =
        SqlSupport::prepare(m_db, QStringLiteral("DELETE FROM sync_deletes WHERE user_id = ? AND href = ?"));
    pending.addBindValue(link.value(QStringLiteral("user_id")));
    pending.addBindValue(href);
    if (!pending.exec())
        return false;
    if (pending.numRowsAffected() < 1)
        return true;
    QSqlQuery fresh = SqlSupport::prepare(m_db, QStringLiteral("DELETE FROM sync_links WHERE task_id = ?"));
    fresh.addBindValue(link.value(QStringLiteral("task_id")));
    if (!fresh.exec())
        return false;
    return insertRecord(QStringLiteral("sync_links"), link);
}

bool UndoService::insertRecord(const QString &table, const QSqlRecord &record) const
{
    QStringList columns, marks;
    for (int i = 0; i < record.count(); ++i) {
        columns.append(record.fieldName(i));
        marks.append(QStringLiteral("?"));
    }
    QSqlQuery insert = SqlSupport::prepare(
        m_db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (int i = 0; i < record.count(); ++i)
        insert.addBindValue(record.value(i));
    return insert.exec();
}

void UndoService::setNotice(const QString &text)
{
    m_notice = text;
    m_expiry.start();
    emit noticeChanged();
}
