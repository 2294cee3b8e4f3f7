#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

class QAudioOutput;
class QMediaPlayer;
class SettingsService;
class TaskService;

// Once a minute, announces every open task of the signed-in user that has entered the warning
// window, once for each expiry it is announced with, in expiry order, and plays the alarm sound.
// Tasks that enter the window together are announced together.
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
    // Each entry: "id", "name", "expire_at_text", "expire_at_epoch"; never empty.
    void tasksDueSoon(const QVariantList &tasks);

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
