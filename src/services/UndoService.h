#pragma once

#include <QList>
#include <QObject>
#include <QSqlRecord>
#include <QString>
#include <QTimer>

class AuthService;
class CustomerService;
class DbManager;
class TaskService;

// Single deletes of a task or a customer that can be taken back for a few seconds: the rows are read
// before they go and written back as they were, ids included. Also carries the short notice that
// reports the delete, or a failure of another action, to the window.
class UndoService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY noticeChanged)

public:
    explicit UndoService(DbManager *db, AuthService *auth, TaskService *tasks, CustomerService *customers,
                         QObject *parent = nullptr);

    QString notice() const { return m_notice; }
    bool canUndo() const { return !m_rows.isEmpty(); }

    // How long a delete can be taken back (and a notice is shown).
    static constexpr int kUndoMs = 8000;

    Q_INVOKABLE bool deleteTask(int taskId);
    Q_INVOKABLE bool deleteCustomer(int customerId);
    // Writes back what the last delete removed; false when nothing can be taken back or it failed.
    Q_INVOKABLE bool undo();
    // Shows a notice that offers nothing to take back.
    Q_INVOKABLE void report(const QString &text);
    Q_INVOKABLE void dismiss();

signals:
    void noticeChanged();

private:
    struct Rows
    {
        QString table;
        QList<QSqlRecord> records;
    };

    bool readRows(const QString &table, const QString &where, const QVariantList &values);
    bool writeBack() const;
    bool cancelPendingServerDelete(const QSqlRecord &link) const;
    bool insertRecord(const QString &table, const QSqlRecord &record) const;
    void setNotice(const QString &text);

    DbManager *m_db = nullptr;
    AuthService *m_auth = nullptr;
    TaskService *m_tasks = nullptr;
    CustomerService *m_customers = nullptr;
    QList<Rows> m_rows;       // what the last delete removed, table by table, in the order to restore
    QList<int> m_linkedTasks; // the tasks that lost the deleted customer
    int m_customerId = 0;
    int m_userId = -1;
    QString m_notice;
    QTimer m_expiry;
};
