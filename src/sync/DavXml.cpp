#include "DavXml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace DavXml {

namespace {

bool is(const QXmlStreamReader &xml, const QString &ns, const QString &local)
{
    return xml.namespaceUri() == ns && xml.name() == local;
}

bool is(const QXmlStreamReader &xml, const Name &name)
{
    return is(xml, name.ns, name.local);
}

// A writer with the prefixes "d" and "c" declared on the root element.
class BodyWriter
{
public:
    explicit BodyWriter(const Name &root) : m_xml(&m_body)
    {
        m_xml.writeStartDocument();
        m_xml.writeNamespace(davNs, QStringLiteral("d"));
        m_xml.writeNamespace(calDavNs, QStringLiteral("c"));
        m_xml.writeStartElement(root.ns, root.local);
    }
    QXmlStreamWriter &xml() { return m_xml; }
    void writeProps(const QList<Name> &properties)
    {
        m_xml.writeStartElement(davNs, QStringLiteral("prop"));
        // Other namespaces get a prefix of the writer's own.
        for (const Name &property : properties)
            m_xml.writeEmptyElement(property.ns, property.local);
        m_xml.writeEndElement();
    }
    QByteArray finish()
    {
        m_xml.writeEndDocument();
        return m_body;
    }

private:
    QByteArray m_body;
    QXmlStreamWriter m_xml;
};

// The text of the current element, its children's text included (some servers wrap values).
QString textOf(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
}

// The <D:href> children of the current element.
QStringList hrefsOf(QXmlStreamReader &xml)
{
    QStringList hrefs;
    while (xml.readNextStartElement()) {
        if (is(xml, davNs, QStringLiteral("href"))) {
            const QString href = textOf(xml);
            if (!href.isEmpty())
                hrefs.append(href);
        } else {
            xml.skipCurrentElement();
        }
    }
    return hrefs;
}

// iCalendar lines end in CRLF; XML parsing turned them into LF.
QByteArray icalendarLines(const QString &text)
{
    QByteArray data = text.toUtf8();
    data.replace("\r\n", "\n");
    data.replace("\n", "\r\n");
    if (!data.isEmpty() && !data.endsWith("\r\n"))
        data.append("\r\n");
    return data;
}

void readProp(QXmlStreamReader &xml, Response &response)
{
    while (xml.readNextStartElement()) {
        if (is(xml, getEtag)) {
            response.hasEtag = true;
            response.etag = textOf(xml).toUtf8();
        } else if (is(xml, calDavNs, QStringLiteral("calendar-data"))) {
            response.hasCalendarData = true;
            response.calendarData =
                icalendarLines(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (is(xml, displayName)) {
            response.displayName = textOf(xml);
        } else if (is(xml, resourceType)) {
            while (xml.readNextStartElement()) {
                if (is(xml, davNs, QStringLiteral("collection")))
                    response.isCollection = true;
                else if (is(xml, calDavNs, QStringLiteral("calendar")))
                    response.isCalendar = true;
                xml.skipCurrentElement();
            }
        } else if (is(xml, componentSet)) {
            response.hasComponentSet = true;
            while (xml.readNextStartElement()) {
                if (is(xml, calDavNs, QStringLiteral("comp")))
                    response.components.append(
                        xml.attributes().value(QStringLiteral("name")).toString().toUpper());
                xml.skipCurrentElement();
            }
        } else if (is(xml, currentUserPrincipal)) {
            const QStringList hrefs = hrefsOf(xml);
            if (!hrefs.isEmpty())
                response.currentUserPrincipal = hrefs.first();
        } else if (is(xml, calendarHomeSet)) {
            response.calendarHomeSet = hrefsOf(xml);
        } else if (is(xml, syncToken)) {
            response.syncToken = textOf(xml).toUtf8();
        } else if (is(xml, getCtag)) {
            response.ctag = textOf(xml).toUtf8();
        } else {
            xml.skipCurrentElement();
        }
    }
}

void readPropStat(QXmlStreamReader &xml, Response &response)
{
    // The status may come before or after the prop: read the prop aside until the status is known.
    Response found;
    int status = 0;
    while (xml.readNextStartElement()) {
        if (is(xml, davNs, QStringLiteral("prop")))
            readProp(xml, found);
        else if (is(xml, davNs, QStringLiteral("status")))
            status = statusCode(textOf(xml));
        else
            xml.skipCurrentElement();
    }
    if (status < 200 || status > 299)
        return;
    response.hasEtag |= found.hasEtag;
    if (found.hasEtag)
        response.etag = found.etag;
    response.hasCalendarData |= found.hasCalendarData;
    if (found.hasCalendarData)
        response.calendarData = found.calendarData;
    if (!found.displayName.isEmpty())
        response.displayName = found.displayName;
    response.isCollection |= found.isCollection;
    response.isCalendar |= found.isCalendar;
    response.hasComponentSet |= found.hasComponentSet;
    response.components += found.components;
    if (!found.currentUserPrincipal.isEmpty())
        response.currentUserPrincipal = found.currentUserPrincipal;
    response.calendarHomeSet += found.calendarHomeSet;
    if (!found.syncToken.isEmpty())
        response.syncToken = found.syncToken;
    if (!found.ctag.isEmpty())
        response.ctag = found.ctag;
}

Response readResponse(QXmlStreamReader &xml)
{
    Response response;
    while (xml.readNextStartElement()) {
        if (is(xml, davNs, QStringLiteral("href"))) {
            // Several hrefs share one status in a 404 response of RFC 4918; the first one is kept.
            const QString href = textOf(xml);
            if (response.href.isEmpty())
                response.href = href;
        } else if (is(xml, davNs, QStringLiteral("status"))) {
            response.status = statusCode(textOf(xml));
        } else if (is(xml, davNs, QStringLiteral("propstat"))) {
            readPropStat(xml, response);
        } else {
            xml.skipCurrentElement();
        }
    }
    return response;
}

} // namespace

QByteArray propfind(const QList<Name> &properties)
{
    BodyWriter writer({davNs, QStringLiteral("propfind")});
    writer.writeProps(properties);
    return writer.finish();
}

QByteArray syncCollection(const QByteArray &token)
{
    BodyWriter writer({davNs, QStringLiteral("sync-collection")});
    QXmlStreamWriter &xml = writer.xml();
    xml.writeTextElement(davNs, QStringLiteral("sync-token"), QString::fromUtf8(token));
    xml.writeTextElement(davNs, QStringLiteral("sync-level"), QStringLiteral("1"));
    writer.writeProps({getEtag});
    return writer.finish();
}

QByteArray calendarMultiget(const QStringList &hrefs)
{
    BodyWriter writer({calDavNs, QStringLiteral("calendar-multiget")});
    writer.writeProps({getEtag, {calDavNs, QStringLiteral("calendar-data")}});
    for (const QString &href : hrefs)
        writer.xml().writeTextElement(davNs, QStringLiteral("href"), href);
    return writer.finish();
}

QByteArray calendarQueryTasks()
{
    BodyWriter writer({calDavNs, QStringLiteral("calendar-query")});
    QXmlStreamWriter &xml = writer.xml();
    writer.writeProps({getEtag, {calDavNs, QStringLiteral("calendar-data")}});
    xml.writeStartElement(calDavNs, QStringLiteral("filter"));
    xml.writeStartElement(calDavNs, QStringLiteral("comp-filter"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("VCALENDAR"));
    xml.writeEmptyElement(calDavNs, QStringLiteral("comp-filter"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("VTODO"));
    xml.writeEndElement();
    xml.writeEndElement();
    return writer.finish();
}

QByteArray makeTaskCalendar(const QString &name)
{
    BodyWriter writer({calDavNs, QStringLiteral("mkcalendar")});
    QXmlStreamWriter &xml = writer.xml();
    xml.writeStartElement(davNs, QStringLiteral("set"));
    xml.writeStartElement(davNs, QStringLiteral("prop"));
    xml.writeTextElement(davNs, QStringLiteral("displayname"), name);
    xml.writeStartElement(calDavNs, QStringLiteral("supported-calendar-component-set"));
    xml.writeEmptyElement(calDavNs, QStringLiteral("comp"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("VTODO"));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    return writer.finish();
}

bool parseMultiStatus(const QByteArray &body, MultiStatus &result, QString *error)
{
    result = {};
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || !is(xml, davNs, QStringLiteral("multistatus"))) {
        if (error)
            *error = xml.hasError() ? xml.errorString() : QStringLiteral("no DAV:multistatus");
        return false;
    }
    while (xml.readNextStartElement()) {
        if (is(xml, davNs, QStringLiteral("response")))
            result.responses.append(readResponse(xml));
        else if (is(xml, syncToken))
            result.syncToken = textOf(xml).toUtf8();
        else
            xml.skipCurrentElement();
    }
    if (xml.hasError()) {
        if (error)
            *error = xml.errorString();
        return false;
    }
    return true;
}

bool errorNames(const QByteArray &body, const Name &condition)
{
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || !is(xml, davNs, QStringLiteral("error")))
        return false;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && is(xml, condition))
            return true;
    }
    return false;
}

int statusCode(const QString &statusLine)
{
    const QStringList parts = statusLine.simplified().split(QLatin1Char(' '));
    if (parts.size() < 2)
        return 0;
    bool ok = false;
    const int code = parts.at(1).toInt(&ok);
    return ok ? code : 0;
}

} // namespace DavXml
