#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QUrl>

// The CalDAV server a sync suite runs against, as its fixture recorded it in the state folder named
// by DUEVIA_TEST_CALDAV_STATE (scripts/caldav-test-server.sh). All empty when the variable is unset.
struct CalDavTestServer
{
    QString name; // "radicale" or "xandikos"
    QUrl url;     // the base URL, http://127.0.0.1:PORT/
    QString user;
    QString password;
    QString principal; // the principal's path, "/anna/"
};

inline CalDavTestServer calDavTestServer()
{
    const QDir state(qEnvironmentVariable("DUEVIA_TEST_CALDAV_STATE"));
    const auto read = [&state](const char *name) {
        QFile file(state.filePath(QString::fromLatin1(name)));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
    };
    if (qEnvironmentVariableIsEmpty("DUEVIA_TEST_CALDAV_STATE"))
        return {};
    return {read("server"), QUrl(read("url")), read("user"), read("password"), read("principal")};
}
