#pragma once

#include <QString>

#include <functional>

class DbManager;
class SettingsService;

// Chooses the database at start-up (the server when one is set, else the file), opens it and prepares
// its schema. When that fails, the user learns why and may fall back: from a chosen file to the default
// one, from a server to the local file for this run only (never unasked, which would split the team's
// data unnoticed). The program never runs on a database it could not prepare.
class DatabaseStartup
{
public:
    enum class Choice { UseDefault, UseLocalFile, Quit };
    // Shows the message and returns the user's choice: alternative (Quit when there is none) or Quit.
    using Prompt = std::function<Choice(const QString &message, Choice alternative)>;

    explicit DatabaseStartup(DbManager *db, SettingsService *settings, const QString &defaultPath);

    // A window with the message when there is a display; none (print only) without one.
    static Prompt defaultPrompt();

    // True when the database path() is open and ready; false when the program should end with exit
    // code 1.
    bool prepare(const Prompt &prompt = defaultPrompt());
    // The file's path, or the server's connection string.
    QString path() const { return m_path; }

    // Prepares a team's server database (tables, indexes and access rules) and returns the exit code:
    // what its owner runs once before the members sign in. Prints the outcome.
    static int prepareServerOnly(DbManager *db, const QString &connection);

    // Reports that the open file cannot be used after all (reason says why); returns the exit code.
    int refuse(const QString &reason, const Prompt &prompt = defaultPrompt()) const;

private:
    // False when the server cannot be used; fallBack then says whether the user chose the file.
    bool prepareServer(const Prompt &prompt, bool &fallBack);
    bool prepareFile(const Prompt &prompt);
    QString failureMessage(const QString &reason) const;
    static QString serverFailure(const QString &shown, const QString &reason);

    DbManager *m_db = nullptr;
    SettingsService *m_settings = nullptr;
    QString m_defaultPath;
    QString m_path;
    bool m_server = false;
};
