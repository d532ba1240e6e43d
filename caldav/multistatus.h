#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <variant>
#include <vector>

// A WebDAV 207 Multi-Status answer (RFC 4918), read with QXmlStreamReader: what each response says
// about each property, whatever prefixes the server chose for the namespaces. Hrefs are resolved
// against the URL the request went to. Document type declarations are refused, as is nesting
// deeper than any answer we ask for needs.
namespace dav {

inline constexpr QStringView Namespace = u"DAV:";
inline constexpr QStringView CalDavNamespace = u"urn:ietf:params:xml:ns:caldav";

struct Property
{
    QString ns;
    QString name;
    int status = 0;        // the status of its propstat
    QString text;          // the character data directly inside it
    std::vector<QUrl> hrefs; // every DAV:href inside it, resolved
    QStringList children;  // "namespace name" of every element inside it
    QStringList compNames; // the name attribute of every CalDAV comp inside it

    bool has(QStringView childNs, QStringView childName) const;
};

struct Response
{
    QUrl href;
    int status = 0; // a status for the whole response (a member gone), else 0
    std::vector<Property> properties;

    // The property when the server found it (200), else nullptr.
    const Property *found(QStringView ns, QStringView name) const;
};

struct Multistatus
{
    std::vector<Response> responses;
    QString syncToken;
};

// The answer, or what is wrong with it.
std::variant<Multistatus, QString> parseMultistatus(QByteArrayView xml, const QUrl &requestUrl);

// "HTTP/1.1 404 Not Found" -> 404; 0 when it is no status line.
int statusCode(QStringView statusLine);

} // namespace dav
