#include "testserver.h"

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
#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The inode of the socket listening on 127.0.0.1:port, from /proc/net/tcp; empty when none does.
QByteArray listeningSocket(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QByteArray local = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> field = line.simplified().split(' ');
        if (field.size() > 9 && field[1] == local && field[3] == "0A") // 0A: listening
            return field[9];
    }
    return {};
}

// Whether process pid holds that socket. Tests run side by side, and another test's server that
// took the port between our probe and our server's start answers just as well as ours would.
bool holds(qint64 pid, const QByteArray &socketInode)
{
    const QByteArray socket = "socket:[" + socketInode + ']';
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[64];
        const ssize_t n = ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, n) == socket)
            return true;
    }
    return false;
}

QString property(icalcomponent *c, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(c, kind);
    return p ? QString::fromUtf8(icalproperty_get_value_as_string(p)) : QString();
}

} // namespace

TestServer::Kind TestServer::kind()
{
    return qgetenv("TALLYLEAF_TEST_SERVER") == "xandikos" ? Kind::Xandikos : Kind::Radicale;
}

QString TestServer::program()
{
    return kind() == Kind::Xandikos ? QStringLiteral("xandikos") : QStringLiteral("radicale");
}

bool TestServer::installed()
{
    return !QStandardPaths::findExecutable(program()).isEmpty();
}

TestServer::~TestServer()
{
    for (const auto &instance : m_instances)
        stop(*instance);
}

void TestServer::stop(Instance &instance)
{
    if (instance.process.state() == QProcess::NotRunning)
        return;
    instance.process.terminate();
    if (!instance.process.waitForFinished(5000))
        instance.process.kill();
    instance.process.waitForFinished(5000);
}

QString TestServer::start()
{
    const QStringList accounts = kind() == Kind::Xandikos ? QStringList{User, OtherUser} : QStringList{QString()};
    for (const QString &account : accounts) {
        auto instance = std::make_unique<Instance>();
        instance->account = account;
        instance->folder = m_dir.filePath(account.isEmpty() ? QStringLiteral("server") : account);
        if (!QDir().mkpath(instance->folder))
            return QStringLiteral("cannot prepare the server's folder");
        m_instances.push_back(std::move(instance));
        // A port another test's server took first is left to it: another one is tried.
        bool taken = true;
        for (int tries = 0; taken && tries < 5; ++tries) {
            Instance &started = *m_instances.back();
            started.port = freePort();
            QString why = started.port ? configure(started) : QStringLiteral("no free port");
            if (why.isEmpty())
                why = launch(started, &taken);
            if (!why.isEmpty())
                return why;
        }
        if (taken)
            return QStringLiteral("every port tried was taken by another server");
    }
    return {};
}

QString TestServer::configure(Instance &instance)
{
    if (kind() != Kind::Radicale)
        return {};
    QFile users(instance.folder + QStringLiteral("/users"));
    QFile config(instance.folder + QStringLiteral("/config"));
    if (!users.open(QIODevice::WriteOnly) || !config.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot prepare the server's files");
    users.write(QByteArray(User) + ':' + Password + '\n' + OtherUser + ':' + OtherPassword + '\n');
    config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2\n"
                                "htpasswd_encryption = plain\ndelay = 0\n[storage]\nfilesystem_folder = %3\n"
                                "[rights]\ntype = owner_only\n[web]\ntype = none\n[logging]\nlevel = error\n")
                     .arg(instance.port)
                     .arg(users.fileName(), storage(instance))
                     .toUtf8());
    return {};
}

QString TestServer::storage(const Instance &instance) const
{
    return instance.folder + QStringLiteral("/storage");
}

QString TestServer::launch(Instance &instance, bool *taken)
{
    if (taken)
        *taken = false;
    const QString name = program();
    QStringList arguments;
    if (kind() == Kind::Radicale) {
        arguments = {QStringLiteral("--config"), instance.folder + QStringLiteral("/config")};
        instance.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    } else {
        // --autocreate makes the principal and an empty calendar home, no calendar (--defaults
        // would make one, and a sync given the server would take it instead of making its own).
        arguments = {QStringLiteral("-d"), storage(instance), QStringLiteral("-l"), QStringLiteral("127.0.0.1"),
                     QStringLiteral("-p"), QString::number(instance.port), QStringLiteral("--autocreate"),
                     QStringLiteral("--current-user-principal"), QStringLiteral("/%1/").arg(instance.account)};
        // It logs every request, and a traceback for each token it cannot find: kept aside.
        instance.process.setStandardOutputFile(instance.folder + QStringLiteral("/log"), QIODevice::Append);
        instance.process.setStandardErrorFile(instance.folder + QStringLiteral("/log"), QIODevice::Append);
    }
    instance.process.start(QStandardPaths::findExecutable(name), arguments);
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(instance.port));
    // Where the system does not say who listens, whoever answers is taken for ours.
    const bool canTell = QFile::exists(QStringLiteral("/proc/net/tcp"));
    for (int tries = 0; tries < 200; ++tries) {
        const QByteArray socket = canTell ? listeningSocket(instance.port) : QByteArray("?");
        const bool running = instance.process.state() != QProcess::NotRunning;
        if (!running && socket.isEmpty())
            return QStringLiteral("%1 ended at once").arg(name);
        if (!running || (canTell && !socket.isEmpty() && !holds(instance.process.processId(), socket))) {
            stop(instance);
            if (taken)
                *taken = true;
            return taken ? QString() : QStringLiteral("another server took port %1").arg(instance.port);
        }
        if (!socket.isEmpty() && http("OPTIONS", url).status != 0)
            return {};
        QThread::msleep(50);
    }
    return QStringLiteral("%1 did not answer within 10 s").arg(name);
}

const TestServer::Instance &TestServer::instanceFor(const QString &user) const
{
    for (const auto &instance : m_instances) {
        if (instance->account.isEmpty() || instance->account == user)
            return *instance;
    }
    qFatal("no server runs for %s", qPrintable(user));
}

QUrl TestServer::root(const QString &user) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(instanceFor(user).port));
}

QUrl TestServer::calendar(const QString &name, const QString &user) const
{
    const QString path = kind() == Kind::Xandikos ? QStringLiteral("%1/calendars/%2/") : QStringLiteral("%1/%2/");
    return root(user).resolved(QUrl(path.arg(user, name)));
}

QUrl TestServer::newCalendar(const QString &name)
{
    const QUrl url = calendar(name);
    const QByteArray body = "<?xml version=\"1.0\"?><C:mkcalendar xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                            "<D:set><D:prop><C:supported-calendar-component-set><C:comp name=\"VTODO\"/>"
                            "</C:supported-calendar-component-set></D:prop></D:set></C:mkcalendar>";
    // Xandikos makes the calendar (201) but cannot limit it to to-dos: it takes every component.
    return http("MKCALENDAR", url, body, {{"Content-Type", "application/xml"}}).status == 201 ? url : QUrl();
}

QUrl TestServer::newCalendar(QString *name)
{
    const QString n = QStringLiteral("cal%1").arg(++m_calendars);
    if (name)
        *name = n;
    return newCalendar(n);
}

// Taken with the server stopped, so that no file is half written.
bool TestServer::backUp()
{
    for (const auto &instance : m_instances) {
        stop(*instance);
        const QString copy = storage(*instance) + QStringLiteral(".backup");
        if (!QDir(copy).removeRecursively()
            || QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), storage(*instance), copy}) != 0
            || !launch(*instance).isEmpty())
            return false;
    }
    return true;
}

QString TestServer::restoreBackup()
{
    for (const auto &instance : m_instances) {
        stop(*instance);
        const QString copy = storage(*instance) + QStringLiteral(".backup");
        if (!QDir(storage(*instance)).removeRecursively()
            || QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), copy, storage(*instance)}) != 0)
            return QStringLiteral("cannot put the backup back");
        if (const QString why = launch(*instance); !why.isEmpty())
            return why;
    }
    return {};
}

std::map<QString, TestServer::Todo> TestServer::todos(const QString &calendar, const QString &user) const
{
    std::map<QString, Todo> found;
    // Xandikos commits each change to a git repository per calendar; its working tree holds
    // the committed files.
    const QString path = kind() == Kind::Xandikos ? QStringLiteral("%1/%2/calendars/%3") : QStringLiteral("%1/collection-root/%2/%3");
    const QDir folder(path.arg(storage(instanceFor(user)), user, calendar));
    for (const QString &name : folder.entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray ics = file.readAll();
        icalcomponent *root = icalparser_parse_string(ics.constData());
        icalcomponent *todo = root ? icalcomponent_get_first_component(root, ICAL_VTODO_COMPONENT) : nullptr;
        if (todo) {
            Todo t{property(todo, ICAL_SUMMARY_PROPERTY), icalcomponent_get_status(todo) == ICAL_STATUS_COMPLETED,
                   property(todo, ICAL_DUE_PROPERTY), {}, ics, name};
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
                         "Basic " + (QByteArray(TestServer::User) + ':' + TestServer::Password).toBase64());
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

bool editOnServer(const QUrl &url, const QString &summary, const QString &status)
{
    const HttpAnswer now = http("GET", url);
    if (now.status != 200)
        return false;
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
    const int stored = http("PUT", url, edited, {{"Content-Type", "text/calendar"}, {"If-Match", now.etag}}).status;
    return stored == 201 || stored == 204;
}

bool deleteOnServer(const QUrl &url)
{
    const int status = http("DELETE", url).status;
    return status == 200 || status == 204;
}
