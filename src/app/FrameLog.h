#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QObject>

class AuthService;
class QQuickWindow;
class TaskTableModel;

// With DUEVIA_FRAME_LOG naming a file, the window's input, the task table's reloads and each frame's
// steps go there, in milliseconds of one clock, for scripts/window-timing.sh. "done" follows every
// input once its handlers have returned.
class FrameLog : public QObject
{
public:
    explicit FrameLog(const QString &path);

    void write(const char *what, const QString &detail = QString());
    void watch(QQuickWindow *window, TaskTableModel *model, AuthService *auth);

protected:
    // Keys that a shortcut takes never reach the window; they are seen as the shortcut's event.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_clock;
    QMutex m_mutex;
    QFile m_file;
    QQuickWindow *m_window = nullptr;
};
