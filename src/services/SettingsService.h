#pragma once

#include <QObject>
#include <QSettings>

// Names of the platform settings store that every persisting component opens.
inline constexpr char kSettingsOrganization[] = "Brenwick";
inline constexpr char kSettingsApplication[] = "QuilloQtQml3";

// The user's preferences: warning minutes, alarm sound file and database path override.
class SettingsService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int notifyMinutes READ notifyMinutes WRITE setNotifyMinutes NOTIFY notifyMinutesChanged)
    Q_PROPERTY(QString soundFile READ soundFile WRITE setSoundFile NOTIFY soundFileChanged)
    Q_PROPERTY(QString dbPath READ dbPath WRITE setDbPath NOTIFY dbPathChanged)

public:
    explicit SettingsService(QObject *parent = nullptr);

    int notifyMinutes() const { return m_notifyMinutes; }
    QString soundFile() const { return m_soundFile; }
    QString dbPath() const { return m_dbPath; }

public slots:
    void setNotifyMinutes(int minutes);
    void setSoundFile(const QString &path);
    void setDbPath(const QString &path);

signals:
    void notifyMinutesChanged();
    void soundFileChanged();
    void dbPathChanged();

private:
    QSettings m_settings{QString::fromLatin1(kSettingsOrganization),
                         QString::fromLatin1(kSettingsApplication)};
    int m_notifyMinutes = 10;
    QString m_soundFile;
    QString m_dbPath;
};
