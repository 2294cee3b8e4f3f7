#include "app/DatabaseStartup.h"

#include "services/SettingsService.h"
#include "storage/DatabaseTarget.h"
#include "storage/DbManager.h"
#include "storage/PrivateFiles.h"
#include "storage/ServerAccess.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

DatabaseStartup::DatabaseStartup(DbManager *db, SettingsService *settings, const QString &defaultPath)
    : m_db(db), m_settings(settings), m_defaultPath(defaultPath)
{
}

DatabaseStartup::Prompt DatabaseStartup::defaultPrompt()
{
    const QString platform = QGuiApplication::platformName();
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) ||
        platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return {};
    return [](const QString &message, Choice alternative) {
        QMessageBox box(QMessageBox::Critical, QObject::tr("Database"), message);
        QPushButton *other = nullptr;
        if (alternative == Choice::UseDefault)
            other = box.addButton(QObject::tr("Use default database"), QMessageBox::AcceptRole);
        else if (alternative == Choice::UseLocalFile)
            other = box.addButton(QObject::tr("Use the local file this time"), QMessageBox::AcceptRole);
        box.addButton(QObject::tr("Quit"), QMessageBox::RejectRole);
        box.exec();
        return other && box.clickedButton() == other ? alternative : Choice::Quit;
    };
}

bool DatabaseStartup::prepare(const Prompt &prompt)
{
    if (!m_settings->dbServer().isEmpty()) {
        bool fallBack = false;
        if (prepareServer(prompt, fallBack))
            return true;
        if (!fallBack)
            return false;
    }
    return prepareFile(prompt);
}

bool DatabaseStartup::prepareFile(const Prompt &prompt)
{
    m_server = false;
    for (;;) {
        const bool chosen = !m_settings->dbPath().isEmpty();
        m_path = chosen ? m_settings->dbPath() : m_defaultPath;
        qDebug().noquote() << "DBPATH:" << m_path;
        const QString folder = QFileInfo(m_path).absolutePath();
        // The program's own data folder is private; a folder the user chose is left as it is.
        if (QDir().mkpath(folder) && !chosen)
            PrivateFiles::makePrivateFolder(folder);
        if (m_db->open(m_path) && m_db->ensureSchema())
            return true;
        const QString message = failureMessage(m_db->errorText());
        m_db->close();
        qCritical().noquote() << message;
        const Choice alternative = chosen ? Choice::UseDefault : Choice::Quit;
        if (!prompt || prompt(message, alternative) != Choice::UseDefault || !chosen)
            return false;
        m_settings->setDbPath(QString());
    }
}

bool DatabaseStartup::prepareServer(const Prompt &prompt, bool &fallBack)
{
    m_server = true;
    const QString connection = m_settings->dbServer();
    // A password written into the settings file by hand is neither used nor shown.
    const QString problem = DatabaseTarget::passwordProblem(connection);
    m_path = DatabaseTarget::displayText(connection);
    qDebug().noquote() << "DBSERVER:" << m_path;
    if (problem.isEmpty() && m_db->openServer(connection) && m_db->ensureSchema())
        return true;
    const QString reason = problem.isEmpty() ? m_db->errorText() : problem;
    m_db->close();
    const QString message = failureMessage(reason) + QStringLiteral("\n\n") +
                            QObject::tr("To stop using this server, clear \"Server\" in Settings.");
    qCritical().noquote() << message;
    fallBack = prompt && prompt(message, Choice::UseLocalFile) == Choice::UseLocalFile;
    return false;
}

QString DatabaseStartup::serverFailure(const QString &shown, const QString &reason)
{
    return QObject::tr("Cannot open the database on the server \"%1\": %2").arg(shown, reason.trimmed());
}

int DatabaseStartup::prepareServerOnly(DbManager *db, const QString &connection)
{
    const QString shown = DatabaseTarget::displayText(connection);
    QString reason = DatabaseTarget::passwordProblem(connection);
    if (reason.isEmpty() && (!db->openServer(connection) || !db->ensureSchema()))
        reason = db->errorText();
    const bool rowSafe = reason.isEmpty() && ServerAccess::hasRowSafeFunctions(db->database());
    db->close();
    if (!reason.isEmpty()) {
        qCritical().noquote() << serverFailure(shown, reason);
        return 1;
    }
    qInfo().noquote() << QObject::tr("The database on the server \"%1\" is prepared.").arg(shown);
    if (!rowSafe)
        qWarning().noquote() << QObject::tr(
                                    "Members' pages sorted by name and searches cannot use their indexes "
                                    "until a superuser runs in this database: %1")
                                    .arg(ServerAccess::rowSafeFunctionsStatement());
    return 0;
}

QString DatabaseStartup::failureMessage(const QString &reason) const
{
    if (m_server)
        return serverFailure(m_path, reason);
    return QObject::tr("Cannot open SQLite database \"%1\": %2")
        .arg(QDir::toNativeSeparators(m_path), reason);
}

int DatabaseStartup::refuse(const QString &reason, const Prompt &prompt) const
{
    const QString message = failureMessage(reason);
    qCritical().noquote() << message;
    if (prompt)
        prompt(message, Choice::Quit);
    return 1;
}
