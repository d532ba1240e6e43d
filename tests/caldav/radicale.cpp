#include "radicale.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <libical/ical.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QString property(icalcomponent *c, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    return p ? QString::fromUtf8(icalproperty_get_value_as_string(p)) : QString();
}

} // namespace

bool Radicale::installed()
{
    return !QStandardPaths::findExecutable(QStringLiteral("radicale")).isEmpty();
}

Radicale::~Radicale()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        m_server.waitForFinished(5000);
    }
}

QString Radicale::start()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("radicale"));
    if (program.isEmpty())
        return QStringLiteral("radicale is not installed (Debian package radicale)");
    const quint16 port = freePort();
    QFile users(m_dir.filePath("users"));
    QFile config(m_dir.filePath("config"));
    if (!port || !users.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot prepare the server's files");
    users.write(QByteArray(User) + ':' + Password + '\n' + OtherUser + ':' + OtherPassword + '\n');
    users.close();
    config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                                "htpasswd_encryption = plain\ndelay = 0\n[storage]\nfilesystem_folder = %3\n"
                                "[rights]\ntype = owner_only\n[web]\ntype = none\n[logging]\nlevel = error\n")
                     .arg(port)
                     .arg(users.fileName(), m_dir.filePath("storage"))
                     .toUtf8());
    config.close();
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(program, {QStringLiteral("--config"), config.fileName()});
    m_root = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    for (int tries = 0; tries < 200; ++tries) {
        if (m_server.state() == QProcess::NotRunning)
            return QStringLiteral("radicale ended at once");
        if (http("OPTIONS", m_root).status != 0)
            return {};
        QThread::msleep(50);
    }
    return QStringLiteral("radicale did not answer within 10 s");
}

QUrl Radicale::newCalendar(const QString &name)
{
    const QUrl url = m_root.resolved(QUrl(QStringLiteral("%1/%2/").arg(QLatin1String(User), name)));
    const QByteArray body = "<?xml version=\"1.0\"?><C:mkcalendar xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                            "<D:set><D:prop><C:supported-calendar-component-set><C:comp name=\"VTODO\"/>"
                            "</C:supported-calendar-component-set></D:prop></D:set></C:mkcalendar>";
    return http("MKCALENDAR", url, body, {{"Content-Type", "application/xml"}}).status == 201 ? url : QUrl();
}

QUrl Radicale::newCalendar(QString *name)
{
    const QString n = QStringLiteral("cal%1").arg(++m_calendars);
    if (name)
        *name = n;
    return newCalendar(n);
}

std::map<QString, Radicale::Todo> Radicale::todos(const QString &calendar, const QString &user) const
{
    std::map<QString, Todo> found;
    const QDir folder(m_dir.filePath(QStringLiteral("storage/collection-root/%1/%2").arg(user, calendar)));
    for (const QString &name : folder.entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray ics = file.readAll();
        icalcomponent *root = icalparser_parse_string(ics.constData());
        icalcomponent *todo = root ? icalcomponent_get_first_component(root, ICAL_VTODO_COMPONENT) : nullptr;
        if (todo) {
            Todo t{property(todo, ICAL_SUMMARY_PROPERTY), icalcomponent_get_status(todo) == ICAL_STATUS_COMPLETED,
                   property(todo, ICAL_DUE_PROPERTY), {}, ics};
            for (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_X_PROPERTY); p;
                 p = icalcomponent_get_next_property(todo, ICAL_X_PROPERTY)) {
                if (qstrcmp(icalproperty_get_x_name(p), "X-TALLYLEAF-NUMBER") == 0)
                    t.number = QString::fromUtf8(icalproperty_get_x(p));
            }
            QString uid = QString::fromUtf8(icalcomponent_get_uid(todo));
            while (found.count(uid))
                uid += QStringLiteral("#2");
            found.emplace(uid, t);
        }
        if (root)
            icalcomponent_free(root);
    }
    return found;
}

HttpAnswer http(const QByteArray &method, const QUrl &url, const QByteArray &body,
                const QList<std::pair<QByteArray, QByteArray>> &headers)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setRawHeader("Authorization",
                         "Basic " + (QByteArray(Radicale::User) + ':' + Radicale::Password).toBase64());
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(10000);
    QNetworkReply *reply = network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                      reply->rawHeader("ETag")};
    delete reply;
    return answer;
}

int editOnServer(const QUrl &url, const QString &summary, const QString &status)
{
    const HttpAnswer now = http("GET", url);
    if (now.status != 200)
        return now.status;
    icalcomponent *root = icalparser_parse_string(now.body.constData());
    icalcomponent *todo = icalcomponent_get_first_component(root, ICAL_VTODO_COMPONENT);
    icalcomponent_set_summary(todo, summary.toUtf8().constData());
    if (!status.isEmpty()) {
        while (icalproperty *p = icalcomponent_get_first_property(todo, ICAL_STATUS_PROPERTY)) {
            icalcomponent_remove_property(todo, p);
            icalproperty_free(p);
        }
        icalcomponent_add_property(todo, icalproperty_new_status(icalproperty_string_to_status(status.toUtf8().constData())));
    }
    const QByteArray edited = icalcomponent_as_ical_string(root);
    icalcomponent_free(root);
    return http("PUT", url, edited, {{"Content-Type", "text/calendar"}, {"If-Match", now.etag}}).status;
}
