#include "storage/ConnectionKeeper.h"

#include "storage/DbManager.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

constexpr int kCheckMs = 3000;
constexpr int kRestoredMs = 5000;

} // namespace

ConnectionKeeper::ConnectionKeeper(DbManager *db, QObject *parent) : QObject(parent), m_db(db)
{
    m_check.setInterval(kCheckMs);
    connect(&m_check, &QTimer::timeout, this, &ConnectionKeeper::check);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ConnectionKeeper::probe);
    m_restoredTimer.setSingleShot(true);
    m_restoredTimer.setInterval(kRestoredMs);
    connect(&m_restoredTimer, &QTimer::timeout, this, [this] {
        m_restored = false;
        emit stateChanged();
    });
    if (m_db) {
        connect(m_db, &DbManager::connectionChanged, this, &ConnectionKeeper::follow);
        follow();
    }
    m_check.start();
}

ConnectionKeeper::~ConnectionKeeper()
{
    if (m_probe)
        m_probe->wait();
}

void ConnectionKeeper::setIntervals(int checkMs, int firstRetryMs, int longestRetryMs)
{
    m_check.setInterval(checkMs);
    m_firstRetryMs = firstRetryMs;
    m_longestRetryMs = longestRetryMs;
}

bool ConnectionKeeper::check()
{
    if (m_lost)
        return false;
    if (!m_watching)
        return true; // nothing opened yet, or closed on purpose
    const QString reason = problem();
    if (reason.isEmpty())
        return true;
    lose(reason);
    return false;
}

QString ConnectionKeeper::whyFailed()
{
    if (check())
        return {};
    return m_target.server
               ? tr("The connection to the server is lost (%1). What you entered is kept: try again "
                    "once it is back.")
                     .arg(m_reason)
               : tr("The database file cannot be reached (%1). What you entered is kept: try "
                    "again once it is back.")
                     .arg(m_reason);
}

QString ConnectionKeeper::problem() const
{
    if (!m_target.server) {
        // A file whose folder went away (a network share) still answers from the pages it holds.
        const QFileInfo file(m_target.location);
        return file.exists() && file.isReadable() ? QString()
                                                  : tr("\"%1\" cannot be found").arg(file.filePath());
    }
    // The driver counts a connection that broke as closed.
    if (!m_db->isOpen())
        return tr("the server closed the connection");
    QSqlQuery query(m_db->database());
    if (query.exec(QStringLiteral("SELECT 1")))
        return {};
    const QString text = query.lastError().databaseText().simplified();
    return text.isEmpty() ? query.lastError().text().simplified() : text;
}

void ConnectionKeeper::follow()
{
    if (m_lost)
        return; // its own closing and attempts
    m_watching = m_db->isOpen();
    if (m_watching)
        m_target = m_db->target();
}

void ConnectionKeeper::lose(const QString &reason)
{
    m_lost = true;
    m_restored = false;
    m_reason = reason;
    m_restoredTimer.stop();
    m_check.stop();
    m_db->close();
    emit stateChanged();
    m_retryMs = m_firstRetryMs;
    m_retry.start(m_retryMs);
}

void ConnectionKeeper::probe()
{
    if (m_probe)
        return;
    // A connection of its own, away from the window: reaching a host that does not answer takes as
    // long as the connection's timeout.
    const DatabaseTarget target = m_target;
    m_probe = QThread::create([this, target] {
        const QString name = QStringLiteral("duevia-connection-probe");
        QString error;
        {
            QSqlDatabase db = target.open(name, !target.server, error);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        m_probeError = error;
    });
    connect(m_probe, &QThread::finished, this, &ConnectionKeeper::probed);
    m_probe->start();
}

void ConnectionKeeper::probed()
{
    m_probe->deleteLater();
    m_probe = nullptr;
    QString error = m_probeError;
    if (error.isEmpty()) {
        // The file is opened again only where it is: opening a missing path would make a new one.
        const bool opened = m_target.server
                                ? m_db->openServer(m_target.location)
                                : QFileInfo::exists(m_target.location) && m_db->open(m_target.location);
        if (opened && m_db->ensureSchema()) {
            m_lost = false;
            m_watching = true;
            m_restored = true;
            m_reason.clear();
            m_restoredTimer.start();
            m_check.start();
            emit stateChanged();
            emit reconnected();
            return;
        }
        error = m_db->errorText();
        m_db->close();
    }
    error = error.simplified();
    if (!error.isEmpty() && error != m_reason) {
        m_reason = error;
        emit stateChanged();
    }
    m_retryMs = qMin(m_retryMs * 2, m_longestRetryMs);
    m_retry.start(m_retryMs);
}
