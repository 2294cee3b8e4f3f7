#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

class QAudioOutput;
class QMediaPlayer;
class SettingsService;
class TaskService;

// Once a minute, announces the signed-in user's earliest open task that expires within the warning
// window, once for each expiry it is announced with, and plays the alarm sound.
class NotificationService : public QObject
{
    Q_OBJECT

public:
    explicit NotificationService(TaskService *tasks, SettingsService *settings, QObject *parent = nullptr);
    ~NotificationService() override;

    // Starts the one-minute polling; the first check runs a minute later.
    void start();
    // One poll: what the timer runs every minute.
    void checkDueTasks();

signals:
    void taskDueSoon(int taskId, const QString &name, const QString &expireAtText);

public slots:
    void clearNotified();
    void stopSound();

private:
    QMediaPlayer *player();

    QHash<int, QString> m_notified; // task id -> the expiry text it was announced with
    TaskService *m_tasks = nullptr;
    SettingsService *m_settings = nullptr;
    QTimer m_timer;
    QAudioOutput *m_audioOutput = nullptr;
    QMediaPlayer *m_player = nullptr;
};
