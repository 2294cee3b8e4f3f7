#include "services/SettingsService.h"

#include "storage/DatabaseTarget.h"
#include "storage/PrivateFiles.h"

#include <QUrl>

namespace {

// A "file:" URL (as file dialogs hand it over) becomes its local path; any other text stays as it is.
QString normalizedPath(const QString &path)
{
    if (!path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return path;
    const QUrl url(path, QUrl::TolerantMode);
    if (!url.isValid() || !url.isLocalFile())
        return path;
    return url.toLocalFile();
}

} // namespace

SettingsService::SettingsService(QObject *parent) : QObject(parent)
{
    // The file names the database and its server. Writing it later keeps the mode of the file there.
    PrivateFiles::createPrivateFile(m_settings.fileName());
    PrivateFiles::makePrivateFile(m_settings.fileName());
    m_notifyMinutes = m_settings.value(QStringLiteral("notifyMinutes"), 10).toInt();
    m_soundFile = m_settings.value(QStringLiteral("soundFile"), QString()).toString();
    m_dbPath = m_settings.value(QStringLiteral("dbPath"), QString()).toString();
    m_dbServer = m_settings.value(QStringLiteral("dbServer"), QString()).toString();
    m_desktopNotifications = m_settings.value(QStringLiteral("desktopNotifications"), true).toBool();
    m_language = m_settings.value(QStringLiteral("language"), QString()).toString();
}

void SettingsService::setLanguage(const QString &code)
{
    const QString normalized = code.trimmed().toLower();
    if (normalized == m_language)
        return;
    m_language = normalized;
    m_settings.setValue(QStringLiteral("language"), normalized);
    emit languageChanged();
}

void SettingsService::setNotifyMinutes(int minutes)
{
    if (minutes == m_notifyMinutes)
        return;
    m_notifyMinutes = minutes;
    m_settings.setValue(QStringLiteral("notifyMinutes"), minutes);
    emit notifyMinutesChanged();
}

void SettingsService::setSoundFile(const QString &path)
{
    const QString normalized = normalizedPath(path);
    if (normalized == m_soundFile)
        return;
    m_soundFile = normalized;
    m_settings.setValue(QStringLiteral("soundFile"), normalized);
    emit soundFileChanged();
}

void SettingsService::setDbPath(const QString &path)
{
    const QString normalized = normalizedPath(path.trimmed());
    if (normalized == m_dbPath)
        return;
    m_dbPath = normalized;
    m_settings.setValue(QStringLiteral("dbPath"), normalized);
    emit dbPathChanged();
}

void SettingsService::setDbServer(const QString &connection)
{
    const QString normalized = connection.trimmed();
    if (normalized == m_dbServer)
        return;
    const QString problem = DatabaseTarget::passwordProblem(normalized);
    if (!problem.isEmpty()) {
        emit dbServerRefused(problem);
        return;
    }
    m_dbServer = normalized;
    m_settings.setValue(QStringLiteral("dbServer"), normalized);
    emit dbServerChanged();
}

void SettingsService::setDesktopNotifications(bool enabled)
{
    if (enabled == m_desktopNotifications)
        return;
    m_desktopNotifications = enabled;
    m_settings.setValue(QStringLiteral("desktopNotifications"), enabled);
    emit desktopNotificationsChanged();
}
