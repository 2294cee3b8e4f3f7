#include "SecretStore.h"

#include <qt6keychain/keychain.h>

SecretStore::SecretStore(const QString &service, QObject *parent) : QObject(parent), m_service(service) {}

QString SecretStore::keyOf(const QString &username, const QString &serverUrl)
{
    QString server = serverUrl.trimmed();
    while (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    return username + QLatin1Char('@') + server;
}

// Every job deletes itself after finished; a plain-file fallback would leave the password readable.
template<typename Job> static Job *prepared(Job *job, const QString &key)
{
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(key);
    return job;
}

void SecretStore::read(const QString &key)
{
    auto *job = prepared(new QKeychain::ReadPasswordJob(m_service, this), key);
    connect(job, &QKeychain::Job::finished, this, [this, job, key] {
        const QKeychain::Error error = job->error();
        if (error == QKeychain::NoError)
            emit readFinished(key, true, job->textData(), QString());
        else if (error == QKeychain::EntryNotFound)
            emit readFinished(key, false, QString(), QString());
        else
            emit readFinished(key, false, QString(), job->errorString());
    });
    job->start();
}

void SecretStore::write(const QString &key, const QString &password)
{
    auto *job = prepared(new QKeychain::WritePasswordJob(m_service, this), key);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, job, key] {
        emit writeFinished(key, job->error() == QKeychain::NoError ? QString() : job->errorString());
    });
    job->start();
}

void SecretStore::remove(const QString &key)
{
    auto *job = prepared(new QKeychain::DeletePasswordJob(m_service, this), key);
    connect(job, &QKeychain::Job::finished, this, [this, job, key] {
        // Removing an entry that is not there leaves the store as asked.
        const QKeychain::Error error = job->error();
        const bool done = error == QKeychain::NoError || error == QKeychain::EntryNotFound;
        emit removeFinished(key, done ? QString() : job->errorString());
    });
    job->start();
}
