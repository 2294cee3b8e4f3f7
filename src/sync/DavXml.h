#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The XML bodies of WebDAV (RFC 4918), CalDAV (RFC 4791) and WebDAV sync (RFC 6578): request bodies
// built with QXmlStreamWriter, and multistatus and error answers read with QXmlStreamReader by
// namespace and local name, whatever prefixes the server chose.
namespace DavXml {

inline const QString davNs = QStringLiteral("DAV:");
inline const QString calDavNs = QStringLiteral("urn:ietf:params:xml:ns:caldav");
inline const QString calendarServerNs = QStringLiteral("http://calendarserver.org/ns/");

struct Name
{
    QString ns;
    QString local;
};

// Properties a PROPFIND may ask for.
inline const Name currentUserPrincipal{davNs, QStringLiteral("current-user-principal")};
inline const Name resourceType{davNs, QStringLiteral("resourcetype")};
inline const Name displayName{davNs, QStringLiteral("displayname")};
inline const Name getEtag{davNs, QStringLiteral("getetag")};
inline const Name syncToken{davNs, QStringLiteral("sync-token")};
inline const Name calendarHomeSet{calDavNs, QStringLiteral("calendar-home-set")};
inline const Name componentSet{calDavNs, QStringLiteral("supported-calendar-component-set")};
inline const Name getCtag{calendarServerNs, QStringLiteral("getctag")};

// One <D:response> of a multistatus. The properties are those of its propstat with status 2xx.
struct Response
{
    QString href;
    // The response's own <D:status> (outside any propstat), 0 when it has none.
    int status = 0;
    bool hasEtag = false;
    QByteArray etag;
    bool hasCalendarData = false;
    QByteArray calendarData;
    QString displayName;
    bool isCollection = false;
    bool isCalendar = false;
    // supported-calendar-component-set: whether the server named one, and its components.
    bool hasComponentSet = false;
    QStringList components;
    QString currentUserPrincipal;
    QStringList calendarHomeSet;
    QByteArray syncToken;
    QByteArray ctag;
};

struct MultiStatus
{
    QList<Response> responses;
    // The sync-token of a sync-collection answer (a child of the multistatus).
    QByteArray syncToken;
};

QByteArray propfind(const QList<Name> &properties);
// sync-collection REPORT of level 1 asking for getetag; an empty token asks for everything.
QByteArray syncCollection(const QByteArray &token);
// calendar-multiget REPORT of getetag and calendar-data for the hrefs, written as given.
QByteArray calendarMultiget(const QStringList &hrefs);
// calendar-query REPORT of every VTODO of a collection, with ETags and data.
QByteArray calendarQueryTasks();
// MKCALENDAR of a collection that holds only VTODO.
QByteArray makeTaskCalendar(const QString &displayName);

// False when the body is not a DAV:multistatus document; error then says why.
bool parseMultiStatus(const QByteArray &body, MultiStatus &result, QString *error = nullptr);
// Whether an error body (DAV:error) names the given precondition or postcondition element.
bool errorNames(const QByteArray &body, const Name &condition);
// The code of a status line ("HTTP/1.1 404 Not Found" -> 404), 0 when there is none.
int statusCode(const QString &statusLine);

} // namespace DavXml
