#include "app/FrameLog.h"

#include "models/TaskTableModel.h"
#include "services/AuthService.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QQuickWindow>
#include <QShortcutEvent>
#include <QTimer>

FrameLog::FrameLog(const QString &path) : m_file(path)
{
    m_clock.start();
    m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
}

void FrameLog::write(const char *what, const QString &detail)
{
    const QByteArray line =
        QByteArray::number(m_clock.nsecsElapsed() / 1e6, 'f', 2) + ' ' + what + ' ' + detail.toUtf8() + '\n';
    QMutexLocker lock(&m_mutex);
    m_file.write(line);
    m_file.flush();
}

void FrameLog::watch(QQuickWindow *window, TaskTableModel *model, AuthService *auth)
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

bool FrameLog::eventFilter(QObject *watched, QEvent *event)
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
