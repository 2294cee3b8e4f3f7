#pragma once

#include <QObject>
#include <QSettings>

// Names of the platform settings store that every persisting component opens.
inline constexpr char kSettingsOrganization[] = "Brenwick";
inline constexpr char kSettingsApplication[] = "QuilloQtQml3";

// The user's preferences: warning minutes, alarm sound file, database path override, the database
// server that replaces the file, and whether due-soon warnings also go to the desktop.
class SettingsService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int notifyMinutes READ notifyMinutes WRITE setNotifyMinutes NOTIFY notifyMinutesChanged)
    Q_PROPERTY(QString soundFile READ soundFile WRITE setSoundFile NOTIFY soundFileChanged)
    Q_PROPERTY(QString dbPath READ dbPath WRITE setDbPath NOTIFY dbPathChanged)
    Q_PROPERTY(QString dbServer READ dbServer WRITE setDbServer NOTIFY dbServerChanged)
    Q_PROPERTY(bool desktopNotifications READ desktopNotifications WRITE setDesktopNotifications NOTIFY
                   desktopNotificationsChanged)
    // The interface's language as a code ("de", "en"); empty follows the system.
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)

public:
    explicit SettingsService(QObject *parent = nullptr);

    int notifyMinutes() const { return m_notifyMinutes; }
    QString soundFile() const { return m_soundFile; }
    QString dbPath() const { return m_dbPath; }
    // A libpq connection string without a password; empty means the database file.
    QString dbServer() const { return m_dbServer; }
    bool desktopNotifications() const { return m_desktopNotifications; }
    QString language() const { return m_language; }

public slots:
    void setNotifyMinutes(int minutes);
    void setSoundFile(const QString &path);
    void setDbPath(const QString &path);
    // Refuses (keeps the old value and emits dbServerRefused) a string that holds a password.
    void setDbServer(const QString &connection);
    void setDesktopNotifications(bool enabled);
    void setLanguage(const QString &code);

signals:
    void notifyMinutesChanged();
    void soundFileChanged();
    void dbPathChanged();
    void dbServerChanged();
    void dbServerRefused(const QString &reason);
    void desktopNotificationsChanged();
    void languageChanged();

private:
    QSettings m_settings{QString::fromLatin1(kSettingsOrganization),
                         QString::fromLatin1(kSettingsApplication)};
    int m_notifyMinutes = 10;
    QString m_soundFile;
    QString m_dbPath;
    QString m_dbServer;
    bool m_desktopNotifications = true;
    QString m_language;
};
