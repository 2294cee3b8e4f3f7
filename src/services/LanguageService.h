#pragma once

#include <QObject>
#include <QTranslator>
#include <QVariantList>

class QQmlEngine;
class SettingsService;

// Puts the interface into the chosen language, or the system's: the program's own texts, Qt's texts
// of the standard dialogs, and the locale that names days and months. A change applies at once.
class LanguageService : public QObject
{
    Q_OBJECT
    // The effective locale ("de_DE"), for Qt.locale() in the pages.
    Q_PROPERTY(QString localeName READ localeName NOTIFY localeNameChanged)
    // The choices of the "Language" setting: {code, name}, the system's first with an empty code.
    Q_PROPERTY(QVariantList languages READ languages CONSTANT)

public:
    explicit LanguageService(SettingsService *settings, QObject *parent = nullptr);

    // The windows of this engine are translated again after every change.
    void setEngine(QQmlEngine *engine) { m_engine = engine; }
    QString localeName() const { return m_localeName; }
    QVariantList languages() const;

signals:
    void localeNameChanged();

private:
    void apply();

    SettingsService *m_settings = nullptr;
    QQmlEngine *m_engine = nullptr;
    QTranslator m_own;
    QTranslator m_qt;
    QString m_localeName;
};
