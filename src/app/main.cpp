#include "app/DatabaseStartup.h"
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
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMutex>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QShortcutEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuilloQmlPlugin)

namespace {

// With DUEVIA_FRAME_LOG naming a file, the window's input, the task table's reloads and each frame's
// steps go there, in milliseconds of one clock, for scripts/window-timing.sh. "done" follows every
// input once its handlers have returned.
class FrameLog : public QObject
{
public:
    explicit FrameLog(const QString &path) : m_file(path)
    {
        m_clock.start();
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    }

    void write(const char *what, const QString &detail = QString())
    {
        const QByteArray line = QByteArray::number(m_clock.nsecsElapsed() / 1e6, 'f', 2) + ' ' + what + ' ' +
                                detail.toUtf8() + '\n';
        QMutexLocker lock(&m_mutex);
        m_file.write(line);
        m_file.flush();
    }

    void watch(QQuickWindow *window, TaskTableModel *model, AuthService *auth)
    {
        m_window = window;
        qApp->installEventFilter(this);
        // The render thread's signals are logged where they happen, not queued to this thread.
        const auto direct = Qt::DirectConnection;
        connect(
            window, &QQuickWindow::afterAnimating, this, [this] { write("frame"); }, direct);
        connect(
            window, &QQuickWindow::beforeSynchronizing, this, [this] { write("sync"); }, direct);
        connect(
            window, &QQuickWindow::frameSwapped, this, [this] { write("swap"); }, direct);
        connect(model, &TaskTableModel::modelAboutToBeReset, this, [this] { write("query-done"); });
        connect(model, &TaskTableModel::modelReset, this, [this] { write("reset"); });
        connect(auth, &AuthService::loggedInChanged, this, [this] { write("signed-in"); });
        QElapsedTimer derivation;
        derivation.start();
        AuthService::deriveKey(QByteArrayLiteral("password"), QByteArray(32, 'x'));
        write("pbkdf2", QString::number(derivation.nsecsElapsed() / 1e6, 'f', 2));
    }

protected:
    // Keys that a shortcut takes never reach the window; they are seen as the shortcut's event.
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Shortcut)
            write("key", static_cast<QShortcutEvent *>(event)->key().toString());
        else if (watched != m_window)
            return false;
        else if (type == QEvent::KeyPress && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
            write("key", QKeySequence(static_cast<QKeyEvent *>(event)->keyCombination()).toString());
        else if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease)
            write(type == QEvent::MouseButtonPress ? "press" : "release");
        else
            return false;
        QTimer::singleShot(0, this, [this] { write("done"); });
        return false;
    }

private:
    QElapsedTimer m_clock;
    QMutex m_mutex;
    QFile m_file;
    QQuickWindow *m_window = nullptr;
};

} // namespace

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
