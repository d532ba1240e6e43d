#include "davrequests.h"

#include "multistatus.h"

#include <QXmlStreamWriter>
#include <functional>

namespace davrequests {

namespace {

const QString D = dav::Namespace.toString();
const QString C = dav::CalDavNamespace.toString();

QByteArray document(const QString &ns, const QString &root, const std::function<void(QXmlStreamWriter &)> &body)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.writeStartDocument();
    w.writeNamespace(D, QStringLiteral("D"));
    w.writeNamespace(C, QStringLiteral("C"));
    w.writeStartElement(ns, root);
    body(w);
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

void prop(QXmlStreamWriter &w, const std::vector<std::pair<QString, QString>> &names)
{
    w.writeStartElement(D, QStringLiteral("prop"));
    for (const auto &[ns, name] : names)
        w.writeEmptyElement(ns, name);
    w.writeEndElement();
}

} // namespace

QByteArray propfindCollection()
{
    return document(D, QStringLiteral("propfind"), [](QXmlStreamWriter &w) {
        prop(w, {{D, QStringLiteral("resourcetype")},
                 {D, QStringLiteral("displayname")},
                 {D, QStringLiteral("supported-report-set")},
                 {C, QStringLiteral("supported-calendar-component-set")},
                 {D, QStringLiteral("current-user-principal")},
                 {C, QStringLiteral("calendar-home-set")}});
    });
}

QByteArray propfindPrincipal()
{
    return document(D, QStringLiteral("propfind"),
                    [](QXmlStreamWriter &w) { prop(w, {{C, QStringLiteral("calendar-home-set")}}); });
}

QByteArray syncCollection(const QString &token)
{
    return document(D, QStringLiteral("sync-collection"), [&](QXmlStreamWriter &w) {
        w.writeTextElement(D, QStringLiteral("sync-token"), token);
        w.writeTextElement(D, QStringLiteral("sync-level"), QStringLiteral("1"));
        prop(w, {{D, QStringLiteral("getetag")}});
    });
}

QByteArray todoEtags()
{
    return document(C, QStringLiteral("calendar-query"), [](QXmlStreamWriter &w) {
        prop(w, {{D, QStringLiteral("getetag")}});
        w.writeStartElement(C, QStringLiteral("filter"));
        w.writeStartElement(C, QStringLiteral("comp-filter"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("VCALENDAR"));
        w.writeStartElement(C, QStringLiteral("comp-filter"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("VTODO"));
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

QByteArray multiget(const std::vector<QUrl> &hrefs)
{
    return document(C, QStringLiteral("calendar-multiget"), [&](QXmlStreamWriter &w) {
        prop(w, {{D, QStringLiteral("getetag")}, {C, QStringLiteral("calendar-data")}});
        for (const QUrl &href : hrefs)
            w.writeTextElement(D, QStringLiteral("href"), QString::fromUtf8(href.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority)));
    });
}

QByteArray makeTodoCalendar(const QString &displayName)
{
    return document(C, QStringLiteral("mkcalendar"), [&](QXmlStreamWriter &w) {
        w.writeStartElement(D, QStringLiteral("set"));
        w.writeStartElement(D, QStringLiteral("prop"));
        w.writeTextElement(D, QStringLiteral("displayname"), displayName);
        w.writeStartElement(C, QStringLiteral("supported-calendar-component-set"));
        w.writeEmptyElement(C, QStringLiteral("comp"));
        w.writeAttribute(QStringLiteral("name"), QStringLiteral("VTODO"));
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

} // namespace davrequests
