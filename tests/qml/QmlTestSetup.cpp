#include "QmlTestSetup.h"

#include <QQmlContext>
#include <QSqlQuery>

QmlTestSetup::QmlTestSetup()
{
    m_settings = std::make_unique<SettingsService>();
    m_sandbox.openDatabase(m_db);
    m_taskModel = std::make_unique<TaskTableModel>();
    m_customerModel = std::make_unique<CustomerTableModel>();
    m_auth = std::make_unique<AuthService>(&m_db);
    m_taskService = std::make_unique<TaskService>(&m_db, m_auth.get(), m_taskModel.get());
    m_customerService = std::make_unique<CustomerService>(&m_db, m_auth.get(), m_customerModel.get());
    connect(m_customerService.get(), &CustomerService::tasksChanged, m_taskService.get(),
            &TaskService::onTasksChanged);
}

QmlTestSetup::~QmlTestSetup() = default;

void QmlTestSetup::qmlEngineAvailable(QQmlEngine *engine)
{
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlContext *context = engine->rootContext();
    context->setContextProperty(QStringLiteral("auth"), m_auth.get());
    context->setContextProperty(QStringLiteral("taskModel"), m_taskModel.get());
    context->setContextProperty(QStringLiteral("taskService"), m_taskService.get());
    context->setContextProperty(QStringLiteral("customerModel"), m_customerModel.get());
    context->setContextProperty(QStringLiteral("customerService"), m_customerService.get());
    m_taskTransfer = std::make_unique<TaskTransferService>(&m_db, m_auth.get(), m_taskService.get());
    context->setContextProperty(QStringLiteral("taskTransfer"), m_taskTransfer.get());
    context->setContextProperty(QStringLiteral("dbPath"), m_sandbox.databaseFile());
    context->setContextProperty(QStringLiteral("defaultDbPath"),
                                m_sandbox.filePath(QStringLiteral("default.db")));
    // As in the program: the notifier comes after the engine, polls from the start and forgets its
    // announcements on sign-out.
    m_notifier = std::make_unique<NotificationService>(m_taskService.get(), m_settings.get());
    context->setContextProperty(QStringLiteral("settings"), m_settings.get());
    context->setContextProperty(QStringLiteral("notifier"), m_notifier.get());
    m_desktopNotifier = std::make_unique<DesktopNotifier>(m_settings.get());
    context->setContextProperty(QStringLiteral("desktopNotifier"), m_desktopNotifier.get());
    m_notifier->start();
    connect(m_auth.get(), &AuthService::loggedOut, m_notifier.get(), &NotificationService::clearNotified);
    context->setContextProperty(QStringLiteral("testSupport"), this);
}

int QmlTestSetup::signIn(const QString &username)
{
    return signInTestUser(*m_auth, username);
}

bool QmlTestSetup::exec(const QString &sql)
{
    return execSql(m_db, sql);
}

QVariant QmlTestSetup::scalar(const QString &sql)
{
    return queryValue(m_db, sql);
}

bool QmlTestSetup::makeDatabaseReadOnly()
{
    QSqlDatabase db = m_db.database();
    db.close();
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    return db.open();
}

bool QmlTestSetup::makeDatabaseWritable()
{
    QSqlDatabase db = m_db.database();
    db.close();
    db.setConnectOptions(QString());
    return db.open();
}
