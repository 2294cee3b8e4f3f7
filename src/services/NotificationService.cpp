#include "services/NotificationService.h"

#include "services/SettingsService.h"
#include "services/TaskService.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>

namespace {

constexpr int kPollIntervalMs = 60000;
constexpr float kAlarmVolume = 0.8f;
constexpr int kPageSize = 200;

} // namespace

NotificationService::NotificationService(TaskService *tasks, SettingsService *settings, QObject *parent)
    : QObject(parent), m_tasks(tasks), m_settings(settings)
{
    connect(&m_timer, &QTimer::timeout, this, &NotificationService::checkDueTasks);
    m_timer.setInterval(kPollIntervalMs);
}

NotificationService::~NotificationService() = default;

void NotificationService::start()
{
    m_timer.start();
}

void NotificationService::checkDueTasks()
{
    if (!m_tasks || !m_settings)
        return;
    QVariantList fresh;
    qint64 afterEpoch = -1;
    int afterId = 0;
    for (;;) {
        const QVariantList page =
            m_tasks->dueSoonTasks(m_settings->notifyMinutes(), afterEpoch, afterId, kPageSize);
        for (const QVariant &entry : page) {
            const QVariantMap task = entry.toMap();
            const int id = task.value(QStringLiteral("id")).toInt();
            const QString expireAtText = task.value(QStringLiteral("expire_at_text")).toString();
            const auto announced = m_notified.constFind(id);
            if (announced != m_notified.cend() && *announced == expireAtText)
                continue;
            m_notified.insert(id, expireAtText);
            fresh.append(task);
        }
        if (page.size() < kPageSize)
            break;
        const QVariantMap last = page.constLast().toMap();
        afterEpoch = last.value(QStringLiteral("expire_at_epoch")).toLongLong();
        afterId = last.value(QStringLiteral("id")).toInt();
    }
    if (fresh.isEmpty())
        return;

    const QString soundFile = m_settings->soundFile();
    if (!soundFile.isEmpty()) {
        QMediaPlayer *alarm = player();
        alarm->stop();
        alarm->setSource(QUrl::fromLocalFile(soundFile));
        alarm->play();
    }
    emit tasksDueSoon(fresh);
}

void NotificationService::clearNotified()
{
    m_notified.clear();
    stopSound();
}

void NotificationService::stopSound()
{
    if (m_player)
        m_player->stop();
}

// Made on the first alarm: the media back end takes tens of milliseconds to start, which the
// program's start-up should not wait for.
QMediaPlayer *NotificationService::player()
{
    if (!m_player) {
        m_audioOutput = new QAudioOutput(this);
        m_audioOutput->setVolume(kAlarmVolume);
        m_player = new QMediaPlayer(this);
        m_player->setAudioOutput(m_audioOutput);
    }
    return m_player;
}
