#pragma once

#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/CustomerService.h"
#include "services/DesktopNotifier.h"
#include "services/NotificationService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "storage/DbManager.h"

#include <QObject>
#include <QQmlEngine>
#include <memory>

// Gives the QML tests the real services over a private database and settings store, under the
// context-property names the program uses, plus `testSupport` for arranging data.
class QmlTestSetup : public QObject
{
    Q_OBJECT

public:
    QmlTestSetup();
    ~QmlTestSetup() override;

    // Signs in a user, registering it first when needed; returns the user id or -1.
    Q_INVOKABLE int signIn(const QString &username);
    // Runs one SQL statement on the test database; returns whether it executed.
    Q_INVOKABLE bool exec(const QString &sql);
    // Reads the first column of the first row of a query, or an invalid value.
    Q_INVOKABLE QVariant scalar(const QString &sql);
    // Reopens the database read-only, so that every write fails.
    Q_INVOKABLE bool makeDatabaseReadOnly();
    // Reopens the database writable again.
    Q_INVOKABLE bool makeDatabaseWritable();
    Q_INVOKABLE QString databaseFile() const { return m_sandbox.databaseFile(); }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine);

private:
    TestSandbox m_sandbox;
    DbManager m_db;
    std::unique_ptr<SettingsService> m_settings;
    std::unique_ptr<TaskTableModel> m_taskModel;
    std::unique_ptr<CustomerTableModel> m_customerModel;
    std::unique_ptr<AuthService> m_auth;
    std::unique_ptr<TaskService> m_taskService;
    std::unique_ptr<CustomerService> m_customerService;
    std::unique_ptr<NotificationService> m_notifier;
    std::unique_ptr<DesktopNotifier> m_desktopNotifier;
    std::unique_ptr<TaskTransferService> m_taskTransfer;
};
