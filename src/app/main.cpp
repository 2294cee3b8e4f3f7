#include "app/DatabaseStartup.h"
#include "app/FrameLog.h"
#include "app/RendererChoice.h"
#include "models/CustomerTableModel.h"
#include "models/TaskTableModel.h"
#include "services/AuthService.h"
#include "services/ConnectionTestService.h"
#include "services/CustomerService.h"
#include "services/DesktopNotifier.h"
#include "services/FilePreparation.h"
#include "services/LanguageService.h"
#include "services/NotificationService.h"
#include "services/SettingsService.h"
#include "services/TaskService.h"
#include "services/TaskTransferService.h"
#include "services/UndoService.h"
#include "storage/ChangeWatcher.h"
#include "storage/ConnectionKeeper.h"
#include "storage/DbManager.h"
#include "sync/SecretStore.h"
#include "sync/SyncService.h"

#include <QApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuilloQmlPlugin)

int main(int argc, char *argv[])
{
    // Created first so that it outlives every service that holds a pointer to it.
    DbManager dbManager;

    // The owner of a team's database prepares it once, without a window:
    // appQuilloQml3 --prepare-server "host=db.example dbname=duevia user=duevia_owner"
    if (argc == 3 && qstrcmp(argv[1], "--prepare-server") == 0) {
        QCoreApplication tool(argc, argv);
        return DatabaseStartup::prepareServerOnly(&dbManager, QString::fromLocal8Bit(argv[2]));
    }

    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Universal"));
    RendererChoice::apply();
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/example.duevia.Duevia.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.duevia.Duevia"));

    SettingsService settings;
    // Before any window or message, so that all of them speak the user's language.
    LanguageService language(&settings);

    const QString defaultDbPath =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/duevia2.db");
    DatabaseStartup databaseStartup(&dbManager, &settings, defaultDbPath);
    if (!databaseStartup.prepare())
        return 1;
    const QString dbPath = databaseStartup.path();
    FilePreparation preparation(&dbManager);
    if (!preparation.run())
        return preparation.cancelled()
                   ? 0
                   : databaseStartup.refuse(QObject::tr("its indexes and counters could not be built"));

    TaskTableModel taskModel;
    CustomerTableModel customerModel;

    AuthService auth(&dbManager);
    TaskService taskService(&dbManager, &auth, &taskModel);
    CustomerService customerService(&dbManager, &auth, &customerModel);
    QObject::connect(&customerService, &CustomerService::tasksChanged, &taskService,
                     &TaskService::onTasksChanged);
    UndoService undo(&dbManager, &auth, &taskService, &customerService);
    TaskTransferService taskTransfer(&dbManager, &auth, &taskService);
    ConnectionTestService connectionTest;

    // What other windows and programs commit shows here through the reloads of a change made here.
    ChangeWatcher changeWatcher(&dbManager);
    QObject::connect(&changeWatcher, &ChangeWatcher::changedElsewhere, &taskService,
                     &TaskService::onChangedElsewhere);
    QObject::connect(&changeWatcher, &ChangeWatcher::changedElsewhere, &customerService,
                     &CustomerService::onChangedElsewhere);

    // A lost server or file is noticed and reconnected; everything shown is then read again.
    ConnectionKeeper connectionKeeper(&dbManager);
    QObject::connect(&connectionKeeper, &ConnectionKeeper::reconnected, &taskService,
                     &TaskService::onChangedElsewhere);
    QObject::connect(&connectionKeeper, &ConnectionKeeper::reconnected, &customerService,
                     &CustomerService::onChangedElsewhere);

    // Two-way CalDAV sync of the signed-in user's tasks; what it receives reloads like a change
    // made elsewhere, and every local change is sent a few seconds later.
    SecretStore secrets;
    SyncService sync(&dbManager, &auth, &secrets);
    QObject::connect(&taskService, &TaskService::tasksChanged, &sync, &SyncService::onLocalChange);
    QObject::connect(&sync, &SyncService::tasksReceived, &taskService, &TaskService::onChangedElsewhere);
    QObject::connect(&sync, &SyncService::tasksReceived, &customerService,
                     &CustomerService::onChangedElsewhere);

    QQmlApplicationEngine engine;
    language.setEngine(&engine);
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlContext *context = engine.rootContext();
    context->setContextProperty(QStringLiteral("auth"), &auth);
    context->setContextProperty(QStringLiteral("taskModel"), &taskModel);
    context->setContextProperty(QStringLiteral("taskService"), &taskService);
    context->setContextProperty(QStringLiteral("customerModel"), &customerModel);
    context->setContextProperty(QStringLiteral("customerService"), &customerService);
    context->setContextProperty(QStringLiteral("undoService"), &undo);
    context->setContextProperty(QStringLiteral("taskTransfer"), &taskTransfer);
    context->setContextProperty(QStringLiteral("connectionTest"), &connectionTest);
    context->setContextProperty(QStringLiteral("syncService"), &sync);
    context->setContextProperty(QStringLiteral("connectionKeeper"), &connectionKeeper);
    context->setContextProperty(QStringLiteral("dbPath"), dbPath);
    context->setContextProperty(QStringLiteral("defaultDbPath"), defaultDbPath);

    NotificationService notifier(&taskService, &settings);
    context->setContextProperty(QStringLiteral("settings"), &settings);
    context->setContextProperty(QStringLiteral("language"), &language);
    context->setContextProperty(QStringLiteral("notifier"), &notifier);
    DesktopNotifier desktopNotifier(&settings);
    context->setContextProperty(QStringLiteral("desktopNotifier"), &desktopNotifier);
    notifier.start();
    QObject::connect(&connectionKeeper, &ConnectionKeeper::reconnected, &notifier,
                     &NotificationService::checkDueTasks);
    QObject::connect(&auth, &AuthService::loggedOut, &notifier, &NotificationService::clearNotified);

    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/QuilloQml/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return -1;
    std::unique_ptr<FrameLog> frameLog;
    if (qEnvironmentVariableIsSet("DUEVIA_FRAME_LOG")) {
        frameLog = std::make_unique<FrameLog>(qEnvironmentVariable("DUEVIA_FRAME_LOG"));
        frameLog->watch(qobject_cast<QQuickWindow *>(engine.rootObjects().constFirst()), &taskModel, &auth);
    }
    return app.exec();
}
