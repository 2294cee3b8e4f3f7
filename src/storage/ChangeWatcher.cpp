#include "storage/ChangeWatcher.h"

#include "storage/DbManager.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int kFileCheckMs = 1000;
constexpr int kBurstMs = 100;

} // namespace

ChangeWatcher::ChangeWatcher(DbManager *db, QObject *parent) : QObject(parent), m_db(db)
{
    m_timer.setInterval(kFileCheckMs);
    connect(&m_timer, &QTimer::timeout, this, &ChangeWatcher::checkFile);
    m_burst.setSingleShot(true);
    m_burst.setInterval(kBurstMs);
    connect(&m_burst, &QTimer::timeout, this, &ChangeWatcher::changedElsewhere);
    if (m_db)
        connect(m_db, &DbManager::connectionChanged, this, &ChangeWatcher::arm);
    arm();
}

void ChangeWatcher::arm()
{
    m_timer.stop();
    m_burst.stop();
    m_fileVersion.clear();
    if (!m_db || !m_db->isOpen())
        return;
    if (!m_db->isServer()) {
        m_fileVersion = fileVersion();
        m_timer.start();
        return;
    }
    QSqlDriver *driver = m_db->database().driver();
    if (driver == m_listening)
        return;
    if (!driver->subscribeToNotification(QString::fromLatin1(kChannel))) {
        qWarning().noquote() << "Changes made elsewhere will not show until the next reload:"
                             << driver->lastError().text();
        return;
    }
    m_listening = driver;
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString &name, QSqlDriver::NotificationSource source, const QVariant &) {
                onNotification(name, source);
            });
}

void ChangeWatcher::checkFile()
{
    if (!m_db || !m_db->isOpen())
        return;
    const QVariant version = fileVersion();
    if (!version.isValid() || version == m_fileVersion)
        return;
    m_fileVersion = version;
    emit changedElsewhere();
}

void ChangeWatcher::onNotification(const QString &name, QSqlDriver::NotificationSource source)
{
    if (name == QLatin1String(kChannel) && source != QSqlDriver::SelfSource && !m_burst.isActive())
        m_burst.start();
}

QVariant ChangeWatcher::fileVersion() const
{
    // Asked without waiting for a lock: while another program holds the file, this check is skipped
    // instead of holding up the window for the connection's busy timeout every second.
    QSqlQuery query(m_db->database());
    if (!query.exec(QStringLiteral("PRAGMA busy_timeout")) || !query.next())
        return {};
    const int wait = query.value(0).toInt();
    query.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const QVariant version =
        query.exec(QStringLiteral("PRAGMA data_version")) && query.next() ? query.value(0) : QVariant();
    query.finish();
    query.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(wait));
    return version;
}
