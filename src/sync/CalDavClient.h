#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace DavXml {
struct Name;
struct MultiStatus;
} // namespace DavXml

// A CalDAV client (RFC 4791, with WebDAV sync of RFC 6578 and discovery of RFC 6764) for one
// account. Every call sends its requests through Qt's network classes and waits for the answer in a
// local event loop, so it belongs on a worker thread, never on the window's. Each request has a
// timeout; TLS is verified by the system and never ignored; plain HTTP is refused except to a
// loopback address.
class CalDavClient : public QObject
{
    Q_OBJECT

public:
    enum class Error {
        None,
        Insecure,         // http:// to an address that is not loopback
        Network,          // no connection, host not found, connection refused or reset
        Timeout,          // no answer within the timeout
        Tls,              // the certificate was refused; text says why
        Authentication,   // 401 or 403 on the account's credentials
        NotFound,         // 404 or 410
        Precondition,     // 412: If-Match / If-None-Match failed (someone else changed it)
        InvalidSyncToken, // the server refused the sync token (DAV:valid-sync-token)
        NoTaskList,       // discovery found no collection that holds tasks
        Server,           // another 4xx or 5xx
        Protocol,         // an answer that could not be read
        Cancelled,
    };

    // The outcome of one call. text is for people: the server's or the network's words.
    struct Status
    {
        Error error = Error::None;
        int httpStatus = 0;
        QString text;
        bool ok() const { return error == Error::None; }
    };

    struct Collection
    {
        QUrl url;
        QString displayName;
        // supported-calendar-component-set holds VTODO (or the server names none, meaning all).
        bool holdsTasks = false;
    };

    // One calendar object resource. href is the server's path of it ("/anna/tasks/abc.ics"), decoded
    // as the server sent it; data is empty where only the ETag was asked for.
    struct Resource
    {
        QString href;
        QByteArray etag;
        QByteArray data;
    };

    struct Changes
    {
        // Changed or new resources, with their ETags (no data).
        QList<Resource> changed;
        // hrefs the server reports as removed.
        QStringList removed;
        QByteArray syncToken;
    };

    explicit CalDavClient(QNetworkAccessManager *network, QObject *parent = nullptr);

    // The server address as the user typed it (a CalDAV URL or a bare host: https:// is assumed),
    // and the credentials sent with every request (Basic authentication).
    void setAccount(const QUrl &server, const QString &username, const QString &password);
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Thread-safe: the request under way is aborted and every later call returns Cancelled.
    void cancel() { m_cancelled = true; }
    void resetCancel() { m_cancelled = false; }

    // What the user typed, made a URL: a bare host gets https://, a loopback address may keep http://.
    static QUrl serverUrl(const QString &typed);

    // From the server address to the collections of the user's calendar home: /.well-known/caldav
    // (or the address itself), current-user-principal, calendar-home-set, then a PROPFIND of depth
    // 1 of the home. Only collections that hold tasks are returned.
    Status discover(QList<Collection> &collections);
    // MKCALENDAR of a task list (VTODO only) under the calendar home found by discover().
    Status makeCalendar(const QString &displayName, Collection &created);

    // sync-collection REPORT; an empty token asks for everything. InvalidSyncToken when the server
    // refuses it or does not support the report.
    Status syncCollection(const QUrl &collection, const QByteArray &token, Changes &changes);
    // PROPFIND depth 1 of getetag: every calendar object of the collection, without data.
    Status listEtags(const QUrl &collection, QList<Resource> &resources);
    // calendar-multiget of the given hrefs (the caller keeps the batches small); resources the
    // server no longer has are left out.
    Status multiget(const QUrl &collection, const QStringList &hrefs, QList<Resource> &resources);
    // calendar-query of every task of the collection with its data: one request where many would be
    // needed (servers answer a multiget in time that grows with the list).
    Status allTasks(const QUrl &collection, QList<Resource> &resources);
    // GET of one resource with its ETag.
    Status get(const QString &href, Resource &resource);
    // PUT; an empty ifMatch sends If-None-Match: * (a new resource). etag receives the new ETag from
    // the answer, or stays empty when the server sent none (the caller then GETs it).
    Status put(const QString &href, const QByteArray &data, const QByteArray &ifMatch, QByteArray &etag);
    // DELETE with If-Match (an empty ifMatch deletes unconditionally).
    Status remove(const QString &href, const QByteArray &ifMatch);

    // The absolute URL of an href on the account's server.
    QUrl urlOf(const QString &href) const;
    // The calendar home found by the last discover().
    QUrl calendarHome() const { return m_home; }
    // Requests sent so far, redirects included.
    int requestCount() const { return m_requests; }

private:
    // One HTTP answer, after the redirects that were followed.
    struct Reply
    {
        int status = 0;
        QString reason;
        QByteArray body;
        QByteArray etag;
        QByteArray location;
        QUrl url; // where the answer came from
    };
    // A 403 while discovering the account's principal and home refuses the credentials; on a
    // resource it refuses only that request.
    enum class Stage { Account, Resource };
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    // Sends one request, following redirects for the methods that only read; fails only for reasons
    // below HTTP (address refused, network, TLS, timeout, cancel). reply.status holds the answer.
    Status send(const QByteArray &verb, const QUrl &url, const QByteArray &body, const Headers &headers,
                Reply &reply);
    Status sendOnce(const QByteArray &verb, const QUrl &url, const QByteArray &body, const Headers &headers,
                    bool withCredentials, Reply &reply);
    Status check(const QUrl &url) const;
    Status statusOf(const Reply &reply, Stage stage) const;
    Status propfind(const QUrl &url, int depth, const QList<DavXml::Name> &properties, Stage stage,
                    DavXml::MultiStatus &result, QUrl *answeredBy = nullptr);
    // The answer's status (as statusOf), then its multistatus body.
    Status readMultiStatus(const Reply &reply, Stage stage, DavXml::MultiStatus &result) const;
    Status report(const QUrl &collection, const QByteArray &body, QList<Resource> &resources);
    Status findPrincipal(QUrl &principal, QList<Collection> &collections, bool &isCalendar);
    Status syncOnce(const QUrl &collection, const QByteArray &token, Changes &changes, bool &truncated);
    QUrl resolved(const QUrl &base, const QString &href) const;
    QString hrefOf(const QString &serverHref) const;
    bool isSelf(const QUrl &collection, const QString &href) const;

    QNetworkAccessManager *m_network = nullptr;
    QUrl m_server;
    QString m_username;
    QString m_password;
    QUrl m_home;
    int m_timeoutMs = 30000;
    // Scheme, host and port the hrefs are relative to: the server's, or where discovery led.
    QUrl m_origin;
    std::atomic_bool m_cancelled{false};
    int m_requests = 0;
};
