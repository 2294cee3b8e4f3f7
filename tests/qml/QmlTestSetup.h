#pragma once

#include "TestSupport.h"

#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/ConnectionTestService.h"
#include "services/CustomerService.h"
#include "services/DesktopNotifier.h"
#include "services/LanguageService.h"
#include "services/NotificationService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "services/UndoService.h"
#include "storage/ConnectionKeeper.h"
#include "sync/SecretStore.h"
#include "sync/SyncService.h"

#include <QQmlContext>
#include <QQmlEngine>

// Gives the QML tests the real services over a private database and settings store, under the
// context-property names the program uses, plus `testSupport` for arranging data.
class QmlTestSetup : public QObject
{
    Q_OBJECT

public:
    QmlTestSetup()
    {
        m_sandbox.openDatabase(m_db);
        connect(&m_customerService, &CustomerService::tasksChanged, &m_taskService,
                &TaskService::onTasksChanged);
    }

    Q_INVOKABLE int signIn(const QString &username) { return signInTestUser(m_auth, username); }
    Q_INVOKABLE bool exec(const QString &sql) { return execSql(m_db, sql); }
    Q_INVOKABLE QVariant scalar(const QString &sql) { return queryValue(m_db, sql); }
    // Reopens the database read-only (so that every write fails), or writable again.
    Q_INVOKABLE bool makeDatabaseReadOnly() { return reopen(QStringLiteral("QSQLITE_OPEN_READONLY")); }
    Q_INVOKABLE bool makeDatabaseWritable() { return reopen(QString()); }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        QQmlContext *context = engine->rootContext();
        context->setContextProperty(QStringLiteral("auth"), &m_auth);
        context->setContextProperty(QStringLiteral("taskModel"), &m_taskModel);
        context->setContextProperty(QStringLiteral("taskService"), &m_taskService);
        context->setContextProperty(QStringLiteral("customerModel"), &m_customerModel);
        context->setContextProperty(QStringLiteral("customerService"), &m_customerService);
        context->setContextProperty(QStringLiteral("undoService"), &m_undo);
        context->setContextProperty(QStringLiteral("taskTransfer"), &m_taskTransfer);
        context->setContextProperty(QStringLiteral("desktopNotifier"), &m_desktopNotifier);
        context->setContextProperty(QStringLiteral("dbPath"), m_sandbox.databaseFile());
        context->setContextProperty(QStringLiteral("defaultDbPath"),
                                    m_sandbox.filePath(QStringLiteral("default.db")));
        context->setContextProperty(QStringLiteral("settings"), &m_settings);
        m_language.setEngine(engine);
        context->setContextProperty(QStringLiteral("language"), &m_language);
        context->setContextProperty(QStringLiteral("connectionTest"), &m_connectionTest);
        context->setContextProperty(QStringLiteral("syncService"), &m_sync);
        context->setContextProperty(QStringLiteral("connectionKeeper"), &m_keeper);
        context->setContextProperty(QStringLiteral("testSupport"), this);
        // As in the program: the notifier comes after the engine, polls from the start and forgets its
        // announcements on sign-out.
        m_notifier = std::make_unique<NotificationService>(&m_taskService, &m_settings);
        context->setContextProperty(QStringLiteral("notifier"), m_notifier.get());
        m_notifier->start();
        connect(&m_auth, &AuthService::loggedOut, m_notifier.get(), &NotificationService::clearNotified);
    }

private:
    bool reopen(const QString &options)
    {
        QSqlDatabase db = m_db.database();
        db.close();
        db.setConnectOptions(options);
        return db.open();
    }

    TestSandbox m_sandbox;
    DbManager m_db;
    SettingsService m_settings;
    LanguageService m_language{&m_settings};
    TaskTableModel m_taskModel;
    CustomerTableModel m_customerModel;
    AuthService m_auth{&m_db};
    TaskService m_taskService{&m_db, &m_auth, &m_taskModel};
    CustomerService m_customerService{&m_db, &m_auth, &m_customerModel};
    UndoService m_undo{&m_db, &m_auth, &m_taskService, &m_customerService};
    TaskTransferService m_taskTransfer{&m_db, &m_auth, &m_taskService};
    DesktopNotifier m_desktopNotifier{&m_settings};
    ConnectionTestService m_connectionTest;
    SecretStore m_secrets;
    SyncService m_sync{&m_db, &m_auth, &m_secrets};
    ConnectionKeeper m_keeper{&m_db};
    std::unique_ptr<NotificationService> m_notifier;
};
