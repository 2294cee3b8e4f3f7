#include "CalDavClient.h"

#include "DavXml.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUuid>

#if QT_CONFIG(ssl)
#include <QSslError>
#endif

namespace {

constexpr int maxRedirects = 5;
constexpr int cancelPollMs = 50;
// sync-collection rounds while the server truncates its answer (507 on the collection).
constexpr int maxSyncRounds = 100;

const QByteArray xmlType = QByteArrayLiteral("application/xml; charset=utf-8");

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

int portOf(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           portOf(a) == portOf(b);
}

QUrl originOf(const QUrl &url)
{
    QUrl origin;
    origin.setScheme(url.scheme());
    origin.setHost(url.host());
    origin.setPort(url.port());
    origin.setPath(QStringLiteral("/"));
    return origin;
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool holdsTasks(const DavXml::Response &response)
{
    return !response.hasComponentSet || response.components.contains(QLatin1String("VTODO"));
}

// The errors after which discovery tries the next address instead of giving up.
bool tryNext(CalDavClient::Error error)
{
    using Error = CalDavClient::Error;
    return error == Error::NotFound || error == Error::Server || error == Error::Protocol;
}

} // namespace

CalDavClient::CalDavClient(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
}

void CalDavClient::setAccount(const QUrl &server, const QString &username, const QString &password)
{
    // "host:8443" parses as the scheme "host".
    const bool web = server.scheme() == QLatin1String("https") || server.scheme() == QLatin1String("http");
    m_server = web ? server : serverUrl(server.toString());
    m_username = username;
    m_password = password;
    m_origin = originOf(m_server);
    m_home.clear();
}

QUrl CalDavClient::serverUrl(const QString &typed)
{
    QString text = typed.trimmed();
    if (text.isEmpty())
        return {};
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("https://"));
    QUrl url(text, QUrl::TolerantMode);
    url.setScheme(url.scheme().toLower());
    return url;
}

QUrl CalDavClient::urlOf(const QString &href) const
{
    return resolved(m_origin.isValid() ? m_origin : m_server, href);
}

QUrl CalDavClient::resolved(const QUrl &base, const QString &href) const
{
    return base.resolved(QUrl(href, QUrl::TolerantMode));
}

QString CalDavClient::hrefOf(const QString &serverHref) const
{
    const QUrl url(serverHref, QUrl::TolerantMode);
    return url.isRelative() ? serverHref : url.path(QUrl::FullyEncoded);
}

bool CalDavClient::isSelf(const QUrl &collection, const QString &href) const
{
    return withoutTrailingSlash(resolved(collection, href).path()) == withoutTrailingSlash(collection.path());
}

CalDavClient::Status CalDavClient::check(const QUrl &url) const
{
    if (!url.isValid() || url.host().isEmpty())
        return {Error::Network, 0, tr("The server address is not valid.")};
    if (url.scheme() == QLatin1String("https"))
        return {};
    if (url.scheme() == QLatin1String("http")) {
        if (isLoopback(url.host()))
            return {};
        return {Error::Insecure, 0,
                tr("The address %1 is not encrypted: only https:// is allowed, except to this computer.")
                    .arg(url.toDisplayString(QUrl::RemoveUserInfo))};
    }
    return {Error::Insecure, 0, tr("The address %1 is neither https:// nor http://.").arg(url.scheme())};
}

CalDavClient::Status CalDavClient::sendOnce(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                                            const Headers &headers, bool withCredentials, Reply &reply)
{
    reply = {};
    reply.url = url;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(m_timeoutMs);
    if (withCredentials) {
        const QByteArray credentials = (m_username + QLatin1Char(':') + m_password).toUtf8();
        request.setRawHeader("Authorization", "Basic " + credentials.toBase64());
    }
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);

    ++m_requests;
    QNetworkReply *network = nullptr;
    if (verb == "GET")
        network = m_network->get(request);
    else if (verb == "PUT")
        network = m_network->put(request, body);
    else if (verb == "DELETE")
        network = m_network->deleteResource(request);
    else
        network = m_network->sendCustomRequest(request, verb, body);

    QEventLoop loop;
    bool cancelled = false;
    bool timedOut = false;
    QStringList sslTexts;
    connect(network, &QNetworkReply::finished, &loop, &QEventLoop::quit);
#if QT_CONFIG(ssl)
    connect(network, &QNetworkReply::sslErrors, &loop, [&sslTexts](const QList<QSslError> &errors) {
        for (const QSslError &error : errors)
            sslTexts.append(error.errorString());
    });
#endif
    QTimer poll;
    poll.setInterval(cancelPollMs);
    connect(&poll, &QTimer::timeout, &loop, [this, network, &cancelled] {
        if (m_cancelled && !network->isFinished()) {
            cancelled = true;
            network->abort();
        }
    });
    // The transfer timeout counts only idle time while data flows; this one also covers host lookup
    // and connecting, and starts again whenever data moves.
    QTimer guard;
    guard.setSingleShot(true);
    guard.setInterval(m_timeoutMs + 1000);
    connect(&guard, &QTimer::timeout, &loop, [network, &timedOut] {
        if (!network->isFinished()) {
            timedOut = true;
            network->abort();
        }
    });
    const auto restartGuard = [&guard] {
        guard.start();
    };
    connect(network, &QNetworkReply::downloadProgress, &loop, restartGuard);
    connect(network, &QNetworkReply::uploadProgress, &loop, restartGuard);
    poll.start();
    guard.start();
    if (!network->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    poll.stop();
    guard.stop();

    const QNetworkReply::NetworkError error = network->error();
    const QVariant status = network->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    reply.reason = network->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    reply.body = network->isOpen() ? network->readAll() : QByteArray();
    reply.etag = network->rawHeader("ETag");
    reply.location = network->rawHeader("Location");
    const QString errorText = network->errorString();
    delete network;

    if (cancelled || (m_cancelled && error == QNetworkReply::OperationCanceledError))
        return {Error::Cancelled, 0, tr("The transfer was cancelled.")};
    if (timedOut || error == QNetworkReply::TimeoutError || error == QNetworkReply::OperationCanceledError)
        return {Error::Timeout, 0, tr("The server did not answer in time.")};
    if (error == QNetworkReply::SslHandshakeFailedError || !sslTexts.isEmpty()) {
        const QString why = sslTexts.isEmpty() ? errorText : sslTexts.join(QLatin1String(" "));
        return {Error::Tls, 0, tr("The server's certificate was refused: %1").arg(why)};
    }
    // Errors below HTTP (connection, proxy) count even when a status line had arrived.
    const bool transportError = error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
    if (transportError || !status.isValid())
        return {Error::Network, 0, errorText};
    reply.status = status.toInt();
    return {Error::None, reply.status, {}};
}

CalDavClient::Status CalDavClient::send(const QByteArray &verb, const QUrl &url, const QByteArray &body,
                                        const Headers &headers, Reply &reply)
{
    if (m_cancelled)
        return {Error::Cancelled, 0, tr("The transfer was cancelled.")};
    const bool follow = verb == "GET" || verb == "PROPFIND" || verb == "REPORT";
    QUrl current = url;
    for (int hop = 0;; ++hop) {
        Status status = check(current);
        if (!status.ok())
            return status;
        const bool withCredentials = sameOrigin(current, url) || current.scheme() == QLatin1String("https");
        status = sendOnce(verb, current, body, headers, withCredentials, reply);
        const bool redirect = reply.status == 301 || reply.status == 302 || reply.status == 303 ||
                              reply.status == 307 || reply.status == 308;
        if (!status.ok() || !follow || !redirect || reply.location.isEmpty())
            return status;
        const QUrl target = current.resolved(QUrl::fromEncoded(reply.location.trimmed()));
        if (hop >= maxRedirects)
            return {Error::Protocol, reply.status, tr("The server redirected too many times.")};
        // Same origin, or towards https; never from https down to plain http.
        if (!sameOrigin(target, current) && target.scheme() != QLatin1String("https"))
            return {Error::Insecure, reply.status,
                    tr("The server redirected to %1, which is not safe.")
                        .arg(target.toDisplayString(QUrl::RemoveUserInfo))};
        current = target;
    }
}

CalDavClient::Status CalDavClient::statusOf(const Reply &reply, Stage stage) const
{
    const int code = reply.status;
    if (code >= 200 && code < 300)
        return {Error::None, code, {}};
    if (code == 401)
        return {Error::Authentication, code, tr("The server refused the user name or password.")};
    if (code == 403 && stage == Stage::Account)
        return {Error::Authentication, code, tr("The server refused this account access to its calendars.")};
    if (code == 404 || code == 410)
        return {Error::NotFound, code, tr("The server has nothing at %1.").arg(reply.url.path())};
    if (code == 412)
        return {Error::Precondition, code, tr("It was changed on the server in the meantime.")};
    return {Error::Server, code, tr("HTTP %1: %2").arg(code).arg(reply.reason)};
}

CalDavClient::Status CalDavClient::readMultiStatus(const Reply &reply, Stage stage,
                                                   DavXml::MultiStatus &result) const
{
    if (const Status status = statusOf(reply, stage); !status.ok())
        return status;
    QString why;
    if (reply.status != 207 && reply.status != 200)
        why = tr("HTTP %1 instead of a multistatus").arg(reply.status);
    else if (DavXml::parseMultiStatus(reply.body, result, &why))
        return {Error::None, reply.status, {}};
    return {Error::Protocol, reply.status, tr("The server's answer could not be read: %1").arg(why)};
}

CalDavClient::Status CalDavClient::propfind(const QUrl &url, int depth, const QList<DavXml::Name> &properties,
                                            Stage stage, DavXml::MultiStatus &result, QUrl *answeredBy)
{
    Reply reply;
    const Headers headers{{"Depth", QByteArray::number(depth)}, {"Content-Type", xmlType}};
    Status status = send("PROPFIND", url, DavXml::propfind(properties), headers, reply);
    if (status.ok())
        status = readMultiStatus(reply, stage, result);
    if (answeredBy)
        *answeredBy = reply.url;
    return status;
}

CalDavClient::Status CalDavClient::findPrincipal(QUrl &principal, QList<Collection> &collections,
                                                 bool &isCalendar)
{
    isCalendar = false;
    Status last;
    // The address as typed may be the principal, a calendar, or anything else on the server.
    const QString path = m_server.path();
    if (!path.isEmpty() && path != QLatin1String("/")) {
        DavXml::MultiStatus result;
        QUrl at;
        last = propfind(
            m_server, 0,
            {DavXml::currentUserPrincipal, DavXml::resourceType, DavXml::displayName, DavXml::componentSet},
            Stage::Account, result, &at);
        if (!last.ok() && !tryNext(last.error))
            return last;
        if (last.ok() && !result.responses.isEmpty()) {
            const DavXml::Response &response = result.responses.first();
            if (response.isCalendar) {
                isCalendar = true;
                if (holdsTasks(response))
                    collections.append({at, response.displayName, true});
                m_origin = originOf(at);
                m_home = at.resolved(QUrl(QStringLiteral("..")));
                return {};
            }
            if (!response.currentUserPrincipal.isEmpty()) {
                principal = resolved(at, response.currentUserPrincipal);
                return {};
            }
        }
    }
    for (const QString &wellKnown : {QStringLiteral("/.well-known/caldav"), QStringLiteral("/")}) {
        QUrl url = m_server;
        url.setPath(wellKnown);
        url.setQuery(QString());
        DavXml::MultiStatus result;
        QUrl at;
        last = propfind(url, 0, {DavXml::currentUserPrincipal}, Stage::Account, result, &at);
        if (!last.ok() && !tryNext(last.error))
            return last;
        if (last.ok() && !result.responses.isEmpty() &&
            !result.responses.first().currentUserPrincipal.isEmpty()) {
            principal = resolved(at, result.responses.first().currentUserPrincipal);
            return {};
        }
    }
    // A server without current-user-principal: the address typed may still be the principal.
    if (!path.isEmpty() && path != QLatin1String("/")) {
        principal = m_server;
        return {};
    }
    if (last.ok())
        last = {Error::Protocol, 0, tr("The server names no principal for this account.")};
    return last;
}

CalDavClient::Status CalDavClient::discover(QList<Collection> &collections)
{
    collections.clear();
    m_home.clear();
    QUrl principal;
    bool isCalendar = false;
    Status status = findPrincipal(principal, collections, isCalendar);
    if (!status.ok())
        return status;
    if (isCalendar) {
        if (collections.isEmpty())
            return {Error::NoTaskList, 0, tr("This calendar cannot hold tasks.")};
        return {};
    }

    DavXml::MultiStatus result;
    QUrl at;
    status = propfind(principal, 0, {DavXml::calendarHomeSet}, Stage::Account, result, &at);
    if (!status.ok())
        return status;
    if (result.responses.isEmpty() || result.responses.first().calendarHomeSet.isEmpty())
        return {Error::Protocol, 0, tr("The server names no calendar home for this account.")};
    QUrl home = resolved(at, result.responses.first().calendarHomeSet.first());
    if (!home.path().endsWith(QLatin1Char('/')))
        home.setPath(home.path() + QLatin1Char('/'));

    status = propfind(home, 1, {DavXml::resourceType, DavXml::displayName, DavXml::componentSet},
                      Stage::Account, result, &at);
    if (!status.ok())
        return status;
    m_home = at;
    m_origin = originOf(at);
    for (const DavXml::Response &response : std::as_const(result.responses)) {
        if (!response.isCalendar || !holdsTasks(response))
            continue;
        const QUrl url = resolved(at, response.href);
        QString name = response.displayName;
        if (name.isEmpty())
            name = withoutTrailingSlash(url.path()).section(QLatin1Char('/'), -1);
        collections.append({url, name, true});
    }
    if (collections.isEmpty())
        return {Error::NoTaskList, 0, tr("The server has no calendar that can hold tasks.")};
    return {};
}

CalDavClient::Status CalDavClient::makeCalendar(const QString &displayName, Collection &created)
{
    if (m_home.isEmpty()) {
        QList<Collection> ignored;
        const Status status = discover(ignored);
        if (m_home.isEmpty())
            return status.ok() ? Status{Error::Protocol, 0, tr("The server names no calendar home.")}
                               : status;
    }
    QUrl home = m_home;
    if (!home.path().endsWith(QLatin1Char('/')))
        home.setPath(home.path() + QLatin1Char('/'));
    const QUrl url =
        home.resolved(QUrl(QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('/')));
    Reply reply;
    Status status =
        send("MKCALENDAR", url, DavXml::makeTaskCalendar(displayName), {{"Content-Type", xmlType}}, reply);
    if (status.ok())
        status = statusOf(reply, Stage::Resource);
    if (status.ok())
        created = {url, displayName, true};
    return status;
}

CalDavClient::Status CalDavClient::syncOnce(const QUrl &collection, const QByteArray &token, Changes &changes,
                                            bool &truncated)
{
    truncated = false;
    Reply reply;
    const Headers headers{{"Depth", "0"}, {"Content-Type", xmlType}};
    Status status = send("REPORT", collection, DavXml::syncCollection(token), headers, reply);
    if (!status.ok())
        return status;
    const int code = reply.status;
    const bool tokenRefused =
        (code == 400 || code == 403 || code == 409) &&
        DavXml::errorNames(reply.body, {DavXml::davNs, QStringLiteral("valid-sync-token")});
    // Xandikos answers a token it does not know with 500.
    if (tokenRefused || (code == 500 && !token.isEmpty()))
        return {Error::InvalidSyncToken, code, tr("The server no longer accepts the sync token.")};
    const bool unsupported =
        code == 501 || code == 405 ||
        (code == 403 && DavXml::errorNames(reply.body, {DavXml::davNs, QStringLiteral("supported-report")}));
    if (unsupported)
        return {Error::InvalidSyncToken, code, tr("The server does not support WebDAV sync.")};
    DavXml::MultiStatus result;
    status = readMultiStatus(reply, Stage::Resource, result);
    if (!status.ok())
        return status;
    for (const DavXml::Response &response : std::as_const(result.responses)) {
        if (isSelf(collection, response.href)) {
            truncated = response.status == 507;
            continue;
        }
        if (response.status == 404 || response.status == 410)
            changes.removed.append(hrefOf(response.href));
        else if (!response.isCollection && response.hasEtag)
            changes.changed.append({hrefOf(response.href), response.etag, {}});
    }
    changes.syncToken = result.syncToken;
    return status;
}

CalDavClient::Status CalDavClient::syncCollection(const QUrl &collection, const QByteArray &token,
                                                  Changes &changes)
{
    changes = {};
    m_origin = originOf(collection);
    QByteArray next = token;
    for (int round = 0; round < maxSyncRounds; ++round) {
        Changes part;
        bool truncated = false;
        const Status status = syncOnce(collection, next, part, truncated);
        if (!status.ok())
            return status;
        // A later round's word on an href replaces an earlier one's.
        for (const Resource &resource : std::as_const(part.changed)) {
            changes.removed.removeAll(resource.href);
            changes.changed.removeIf([&](const Resource &r) { return r.href == resource.href; });
            changes.changed.append(resource);
        }
        for (const QString &href : std::as_const(part.removed)) {
            changes.changed.removeIf([&](const Resource &r) { return r.href == href; });
            if (!changes.removed.contains(href))
                changes.removed.append(href);
        }
        changes.syncToken = part.syncToken;
        if (!truncated || part.syncToken.isEmpty() || part.syncToken == next)
            return status;
        next = part.syncToken;
    }
    return {Error::Protocol, 0, tr("The server's sync answer does not end.")};
}

CalDavClient::Status CalDavClient::listEtags(const QUrl &collection, QList<Resource> &resources)
{
    resources.clear();
    m_origin = originOf(collection);
    DavXml::MultiStatus result;
    const Status status =
        propfind(collection, 1, {DavXml::getEtag, DavXml::resourceType}, Stage::Resource, result);
    if (!status.ok())
        return status;
    for (const DavXml::Response &response : std::as_const(result.responses)) {
        if (response.isCollection || isSelf(collection, response.href) || response.status >= 300)
            continue;
        resources.append({hrefOf(response.href), response.etag, {}});
    }
    return status;
}

CalDavClient::Status CalDavClient::multiget(const QUrl &collection, const QStringList &hrefs,
                                            QList<Resource> &resources)
{
    resources.clear();
    if (hrefs.isEmpty())
        return {};
    return report(collection, DavXml::calendarMultiget(hrefs), resources);
}

CalDavClient::Status CalDavClient::allTasks(const QUrl &collection, QList<Resource> &resources)
{
    resources.clear();
    return report(collection, DavXml::calendarQueryTasks(), resources);
}

CalDavClient::Status CalDavClient::report(const QUrl &collection, const QByteArray &body,
                                          QList<Resource> &resources)
{
    m_origin = originOf(collection);
    Reply reply;
    const Headers headers{{"Depth", "1"}, {"Content-Type", xmlType}};
    Status status = send("REPORT", collection, body, headers, reply);
    DavXml::MultiStatus result;
    if (status.ok())
        status = readMultiStatus(reply, Stage::Resource, result);
    if (!status.ok())
        return status;
    for (const DavXml::Response &response : std::as_const(result.responses)) {
        if (response.status >= 300 || !response.hasCalendarData || isSelf(collection, response.href))
            continue;
        resources.append({hrefOf(response.href), response.etag, response.calendarData});
    }
    return status;
}

CalDavClient::Status CalDavClient::get(const QString &href, Resource &resource)
{
    Reply reply;
    Status status = send("GET", urlOf(href), {}, {{"Accept", "text/calendar"}}, reply);
    if (status.ok())
        status = statusOf(reply, Stage::Resource);
    if (status.ok())
        resource = {href, reply.etag, reply.body};
    return status;
}

CalDavClient::Status CalDavClient::put(const QString &href, const QByteArray &data, const QByteArray &ifMatch,
                                       QByteArray &etag)
{
    etag.clear();
    Headers headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    if (ifMatch.isEmpty())
        headers.append(qMakePair(QByteArray("If-None-Match"), QByteArray("*")));
    else
        headers.append(qMakePair(QByteArray("If-Match"), ifMatch));
    Reply reply;
    Status status = send("PUT", urlOf(href), data, headers, reply);
    if (status.ok())
        status = statusOf(reply, Stage::Resource);
    if (status.ok())
        etag = reply.etag;
    return status;
}

CalDavClient::Status CalDavClient::remove(const QString &href, const QByteArray &ifMatch)
{
    Headers headers;
    if (!ifMatch.isEmpty())
        headers.append(qMakePair(QByteArray("If-Match"), ifMatch));
    Reply reply;
    Status status = send("DELETE", urlOf(href), {}, headers, reply);
    if (status.ok())
        status = statusOf(reply, Stage::Resource);
    return status;
}
