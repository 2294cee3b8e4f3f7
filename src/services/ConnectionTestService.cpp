#include "services/ConnectionTestService.h"

#include "storage/DatabaseTarget.h"

#include <QSqlQuery>
#include <QThread>

ConnectionTestService::ConnectionTestService(QObject *parent) : QObject(parent) {}

ConnectionTestService::~ConnectionTestService()
{
    if (!m_thread)
        return;
    m_thread->wait();
    delete m_thread;
}

bool ConnectionTestService::test(const QString &connection)
{
    const QString trimmed = connection.trimmed();
    if (m_thread || trimmed.isEmpty())
        return false;
    const QString problem = DatabaseTarget::passwordProblem(trimmed);
    if (!problem.isEmpty()) {
        emit finished(false, problem);
        return true;
    }
    m_thread = QThread::create([this, trimmed] {
        const QString name = QStringLiteral("duevia-connection-test-%1").arg(quintptr(this));
        QString detail;
        bool ok = false;
        {
            QSqlDatabase db = DatabaseTarget{true, trimmed}.open(name, false, detail);
            ok = detail.isEmpty();
            if (ok) {
                QSqlQuery version(db);
                if (version.exec(QStringLiteral("SHOW server_version")) && version.next())
                    detail = version.value(0).toString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        QMetaObject::invokeMethod(
            this, [this, ok, detail] { onAttemptDone(ok, detail.trimmed()); }, Qt::QueuedConnection);
    });
    m_thread->start();
    emit busyChanged();
    return true;
}

void ConnectionTestService::onAttemptDone(bool ok, const QString &detail)
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    emit busyChanged();
    emit finished(ok, detail);
}

QString ConnectionTestService::securityWarning(const QString &connection) const
{
    return DatabaseTarget::securityWarning(connection);
}
