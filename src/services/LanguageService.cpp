#include "services/LanguageService.h"

#include "services/SettingsService.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QQmlEngine>

LanguageService::LanguageService(SettingsService *settings, QObject *parent)
    : QObject(parent), m_settings(settings)
{
    connect(m_settings, &SettingsService::languageChanged, this, &LanguageService::apply);
    apply();
}

QVariantList LanguageService::languages() const
{
    // The languages are named in themselves, so that anyone finds their own.
    return {QVariantMap{{QStringLiteral("code"), QString()}, {QStringLiteral("name"), tr("System")}},
            QVariantMap{{QStringLiteral("code"), QStringLiteral("en")},
                        {QStringLiteral("name"), QStringLiteral("English")}},
            QVariantMap{{QStringLiteral("code"), QStringLiteral("de")},
                        {QStringLiteral("name"), QStringLiteral("Deutsch")}}};
}

void LanguageService::apply()
{
    const QString code = m_settings->language();
    const QLocale locale = code.isEmpty() ? QLocale::system() : QLocale(code);

    QCoreApplication::removeTranslator(&m_own);
    QCoreApplication::removeTranslator(&m_qt);
    // English is the source language: no catalogue is loaded for it.
    if (m_own.load(locale, QStringLiteral("duevia"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&m_own);
    if (m_qt.load(locale, QStringLiteral("qt"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qt);
    QLocale::setDefault(locale);

    if (m_engine)
        m_engine->retranslate();
    if (locale.name() == m_localeName)
        return;
    m_localeName = locale.name();
    emit localeNameChanged();
}
