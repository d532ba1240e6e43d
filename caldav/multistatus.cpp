#include "multistatus.h"

#include <QXmlStreamReader>

namespace dav {

namespace {

constexpr int MaxPropertyDepth = 16;

bool is(const QXmlStreamReader &r, QStringView ns, QStringView name)
{
    return r.namespaceUri() == ns && r.name() == name;
}

QUrl resolved(const QUrl &base, const QString &href)
{
    const QUrl url(href.trimmed(), QUrl::StrictMode);
    return url.isValid() ? base.resolved(url) : QUrl();
}

Property readProperty(QXmlStreamReader &r, const QUrl &base)
{
    Property p{r.namespaceUri().toString(), r.name().toString(), 0, {}, {}, {}, {}};
    int depth = 1;
    while (depth > 0 && !r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth > MaxPropertyDepth) {
                r.raiseError(QStringLiteral("elements are nested too deeply"));
                return p;
            }
            p.children << r.namespaceUri().toString() + u' ' + r.name().toString();
            if (is(r, CalDavNamespace, u"comp"))
                p.compNames << r.attributes().value(QStringLiteral("name")).toString().toUpper();
            if (is(r, Namespace, u"href")) {
                p.hrefs.push_back(resolved(base, r.readElementText()));
                --depth; // readElementText read the end tag
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (depth == 1)
                p.text += r.text();
            break;
        default:
            break;
        }
    }
    return p;
}

void readPropstat(QXmlStreamReader &r, Response &response, const QUrl &base)
{
    std::vector<Property> properties;
    int status = 0;
    while (r.readNextStartElement()) {
        if (is(r, Namespace, u"prop")) {
            while (r.readNextStartElement())
                properties.push_back(readProperty(r, base));
        } else if (is(r, Namespace, u"status")) {
            status = statusCode(r.readElementText());
        } else {
            r.skipCurrentElement();
        }
    }
    for (Property &p : properties) {
        p.status = status;
        response.properties.push_back(std::move(p));
    }
}

Response readResponse(QXmlStreamReader &r, const QUrl &base)
{
    Response response;
    while (r.readNextStartElement()) {
        if (is(r, Namespace, u"href"))
            response.href = resolved(base, r.readElementText());
        else if (is(r, Namespace, u"status"))
            response.status = statusCode(r.readElementText());
        else if (is(r, Namespace, u"propstat"))
            readPropstat(r, response, base);
        else
            r.skipCurrentElement();
    }
    return response;
}

} // namespace

bool Property::has(QStringView childNs, QStringView childName) const
{
    return children.contains(childNs.toString() + u' ' + childName.toString());
}

const Property *Response::found(QStringView ns, QStringView name) const
{
    for (const Property &p : properties) {
        if (p.ns == ns && p.name == name && p.status >= 200 && p.status < 300)
            return &p;
    }
    return nullptr;
}

std::variant<Multistatus, QString> parseMultistatus(QByteArrayView xml, const QUrl &requestUrl)
{
    QXmlStreamReader r(xml.toByteArray());
    // Entities declared in a DTD are the road to exponential expansion; no server needs one. The
    // reader's own token sees a declaration in any encoding the document may be in.
    while (!r.atEnd() && r.readNext() != QXmlStreamReader::StartElement) {
        if (r.tokenType() == QXmlStreamReader::DTD)
            return QStringLiteral("the answer declares a document type");
    }
    if (!r.isStartElement() || !is(r, Namespace, u"multistatus"))
        return r.hasError() ? r.errorString() : QStringLiteral("the answer is no multistatus");
    Multistatus answer;
    while (r.readNextStartElement()) {
        if (is(r, Namespace, u"response")) {
            Response response = readResponse(r, requestUrl);
            if (response.href.isValid())
                answer.responses.push_back(std::move(response));
        } else if (is(r, Namespace, u"sync-token")) {
            answer.syncToken = r.readElementText().trimmed();
        } else {
            r.skipCurrentElement();
        }
    }
    if (r.hasError())
        return QStringLiteral("the answer is not well-formed XML: %1 (line %2)").arg(r.errorString()).arg(r.lineNumber());
    return answer;
}

int statusCode(QStringView statusLine)
{
    const QList<QStringView> parts = statusLine.trimmed().split(u' ', Qt::SkipEmptyParts);
    if (parts.size() < 2 || !parts[0].startsWith(u"HTTP/"))
        return 0;
    bool ok = false;
    const int code = parts[1].toInt(&ok);
    return ok && code >= 100 && code <= 599 ? code : 0;
}

} // namespace dav
