#pragma once

#include <QString>

#include <functional>

class DbManager;
class SettingsService;

// Chooses the database file at start-up, opens it and prepares its schema. When that fails, the user
// learns why and, for a chosen file, may fall back to the default one; the program never runs on a
// file it could not prepare.
class DatabaseStartup
{
public:
    enum class Choice { UseDefault, Quit };
    // Shows the message; offerDefault says whether falling back to the default file is possible.
    using Prompt = std::function<Choice(const QString &message, bool offerDefault)>;

    explicit DatabaseStartup(DbManager *db, SettingsService *settings, const QString &defaultPath);

    // A window with the message when there is a display; none (print only) without one.
    static Prompt defaultPrompt();

    // True when the file path() is open and ready; false when the program should end with exit code 1.
    bool prepare(const Prompt &prompt = defaultPrompt());
    QString path() const { return m_path; }

    // Reports that the open file cannot be used after all (reason says why); returns the exit code.
    int refuse(const QString &reason, const Prompt &prompt = defaultPrompt()) const;

private:
    QString failureMessage(const QString &reason) const;

    DbManager *m_db = nullptr;
    SettingsService *m_settings = nullptr;
    QString m_defaultPath;
    QString m_path;
};
