// 207 answers as servers write them: any prefixes, encoded and relative hrefs, members gone,
// properties not found; and answers no server should send.
#include "multistatus.h"

#include <QStringEncoder>
#include <QTest>

namespace {

const QUrl Request("https://dav.example.org/dav/alice/things/");

} // namespace

class tst_Multistatus : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("href");     // the first response's, decoded
        QTest::addColumn<int>("status");       // the first response's own
        QTest::addColumn<QString>("etag");     // empty: not found
        QTest::addColumn<QString>("syncToken");

        QTest::newRow("default namespace, as Radicale writes it")
            << QByteArray("<?xml version='1.0'?><multistatus xmlns=\"DAV:\"><sync-token>t2</sync-token><response>"
                          "<href>/dav/alice/things/a.ics</href><propstat><prop><getetag>\"e1\"</getetag></prop>"
                          "<status>HTTP/1.1 200 OK</status></propstat></response></multistatus>")
            << "/dav/alice/things/a.ics" << 0 << "\"e1\"" << "t2";
        QTest::newRow("other prefixes, relative and encoded href")
            << QByteArray("<x:multistatus xmlns:x=\"DAV:\"><x:response><x:href>b%40c%20d.ics</x:href><x:propstat>"
                          "<x:status>HTTP/1.1 200 OK</x:status><x:prop><x:getetag>e2</x:getetag></x:prop></x:propstat>"
                          "</x:response></x:multistatus>")
            << "/dav/alice/things/b@c d.ics" << 0 << "e2" << "";
        QTest::newRow("a member gone")
            << QByteArray("<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>https://dav.example.org/dav/alice/things/"
                          "old.ics</d:href><d:status>HTTP/1.1 404 Not Found</d:status></d:response></d:multistatus>")
            << "/dav/alice/things/old.ics" << 404 << "" << "";
        QTest::newRow("a property not found")
            << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>c.ics</href><propstat><prop><getetag/></prop>"
                          "<status>HTTP/1.1 404 Not Found</status></propstat></response></multistatus>")
            << "/dav/alice/things/c.ics" << 0 << "" << "";
    }

    void reads()
    {
        QFETCH(QByteArray, xml);
        const auto answer = dav::parseMultistatus(xml, Request);
        QVERIFY(std::holds_alternative<dav::Multistatus>(answer));
        const dav::Multistatus &ms = std::get<dav::Multistatus>(answer);
        QCOMPARE(ms.responses.size(), size_t(1));
        QTEST(ms.responses[0].href.path(QUrl::FullyDecoded), "href");
        QCOMPARE(ms.responses[0].href.host(), "dav.example.org");
        QTEST(ms.responses[0].status, "status");
        const dav::Property *etag = ms.responses[0].found(dav::Namespace, u"getetag");
        QTEST(etag ? etag->text : QString(), "etag");
        QTEST(ms.syncToken, "syncToken");
    }

    void collectionProperties()
    {
        const QByteArray xml = "<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response><href>/h/</href>"
                               "<propstat><prop><resourcetype><collection/><C:calendar/></resourcetype>"
                               "<supported-report-set><supported-report><report><sync-collection/></report></supported-report>"
                               "</supported-report-set><C:supported-calendar-component-set><C:comp name=\"vtodo\"/>"
                               "</C:supported-calendar-component-set><current-user-principal><href>/p/alice/</href>"
                               "</current-user-principal></prop><status>HTTP/1.1 200 OK</status></propstat></response>"
                               "</multistatus>";
        const auto answer = dav::parseMultistatus(xml, Request);
        const dav::Response &r = std::get<dav::Multistatus>(answer).responses.at(0);
        QVERIFY(r.found(dav::Namespace, u"resourcetype")->has(dav::CalDavNamespace, u"calendar"));
        QVERIFY(r.found(dav::Namespace, u"supported-report-set")->has(dav::Namespace, u"sync-collection"));
        QCOMPARE(r.found(dav::CalDavNamespace, u"supported-calendar-component-set")->compNames, QStringList{"VTODO"});
        QCOMPARE(r.found(dav::Namespace, u"current-user-principal")->hrefs.at(0),
                 QUrl("https://dav.example.org/p/alice/"));
    }

    void refuses_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("not XML") << QByteArray("<html><body>Bad gateway");
        QTest::newRow("another root") << QByteArray("<propfind xmlns=\"DAV:\"/>");
        QTest::newRow("the root in no namespace") << QByteArray("<multistatus/>");
        QTest::newRow("cut short") << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>a</href>");
        // A document type is refused in whatever encoding the answer comes.
        const QString declaring = "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
                                  "<multistatus xmlns=\"DAV:\"><response><href>&b;</href></response></multistatus>";
        auto encoded = [&](QStringEncoder::Encoding encoding) {
            return QByteArray(QStringEncoder(encoding, QStringEncoder::Flag::WriteBom).encode(declaring));
        };
        QTest::newRow("entities declared, UTF-8") << declaring.toUtf8();
        QTest::newRow("entities declared, UTF-16 LE with a byte-order mark") << encoded(QStringEncoder::Utf16LE);
        QTest::newRow("entities declared, UTF-16 BE with a byte-order mark") << encoded(QStringEncoder::Utf16BE);
        QTest::newRow("nested deeper than any property")
            << "<multistatus xmlns=\"DAV:\"><response><href>a</href><propstat><prop><x>" + QByteArray("<y>").repeated(40)
                   + QByteArray("</y>").repeated(40) + "</x></prop></propstat></response></multistatus>";
        QTest::newRow("invalid UTF-8") << QByteArray("<multistatus xmlns=\"DAV:\"><sync-token>\xC3\x28</sync-token></multistatus>");
    }

    void refuses()
    {
        QFETCH(QByteArray, xml);
        const auto answer = dav::parseMultistatus(xml, Request);
        QVERIFY(std::holds_alternative<QString>(answer));
        QVERIFY(!std::get<QString>(answer).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Multistatus)
#include "tst_multistatus.moc"
