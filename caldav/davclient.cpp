#include "davclient.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>

namespace {

constexpr int MaxRedirects = 5;

bool sameServer(const QUrl &a, const QUrl &b)
{
    return a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(a.scheme() == u"https" ? 443 : 80)
        == b.port(b.scheme() == u"https" ? 443 : 80);
}

// Where a redirect from from to to may be followed: the same server and scheme, or the same host
// moving up from http to https.
QString redirectRefusal(const QUrl &from, const QUrl &to)
{
    if (from.scheme() == u"https" && to.scheme() != u"https")
        return QStringLiteral("the server redirects to %1, which is not https; refused").arg(to.toDisplayString());
    const bool upgrade = from.scheme() == u"http" && to.scheme() == u"https"
        && from.host().compare(to.host(), Qt::CaseInsensitive) == 0;
    if (!upgrade && (from.scheme() != to.scheme() || !sameServer(from, to)))
        return QStringLiteral("the server redirects to another server, %1; refused").arg(to.toDisplayString());
    return {};
}

} // namespace

QString DavReply::describe() const
{
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("the server answered %1 for %2").arg(status).arg(url.toDisplayString());
}

DavClient::DavClient(QNetworkAccessManager &network, const Account &account, const Limits &limits)
    : m_network(network), m_limits(limits)
{
    if (!account.user.isEmpty())
        m_authorization = "Basic " + (account.user + QLatin1Char(':') + account.password).toUtf8().toBase64();
}

DavClient::~DavClient()
{
    abortAll();
}

QString DavClient::refusalFor(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return QStringLiteral("%1 is not a server's address").arg(url.toDisplayString());
    if (!url.userInfo().isEmpty())
        return QStringLiteral("the address holds a name or password; give the name with --user");
    if (url.scheme() == u"https")
        return {};
    if (url.scheme() != u"http")
        return QStringLiteral("%1 is neither https nor http").arg(url.toDisplayString());
    const QHostAddress address(url.host());
    if (url.host().compare(u"localhost", Qt::CaseInsensitive) == 0 || address.isLoopback())
        return {};
    return QStringLiteral("the password would travel unencrypted to %1; use https").arg(url.host());
}

void DavClient::send(const DavRequest &request, QObject *context, std::function<void(const DavReply &)> done)
{
    start(request, 0, context, std::move(done));
}

void DavClient::abortAll()
{
    const std::set<QNetworkReply *> running = m_running;
    for (QNetworkReply *reply : running)
        reply->abort();
}

void DavClient::start(const DavRequest &request, int redirects, QObject *context,
                      std::function<void(const DavReply &)> done)
{
    if (const QString refusal = refusalFor(request.url); !refusal.isEmpty()) {
        DavReply refused;
        refused.url = request.url;
        refused.failure = refusal;
        QMetaObject::invokeMethod(context, [done, refused] { done(refused); }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest http(request.url);
    http.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    http.setTransferTimeout(int(m_limits.timeout.count()));
    http.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tallyleaf/" TALLYLEAF_VERSION));
    if (!m_authorization.isEmpty())
        http.setRawHeader("Authorization", m_authorization);
    if (!request.contentType.isEmpty())
        http.setHeader(QNetworkRequest::ContentTypeHeader, request.contentType);
    if (request.depth >= 0)
        http.setRawHeader("Depth", QByteArray::number(request.depth));
    if (!request.ifMatch.isEmpty())
        http.setRawHeader("If-Match", request.ifMatch);
    if (request.ifNoneMatchAny)
        http.setRawHeader("If-None-Match", "*");

    ++m_sent;
    QNetworkReply *reply = m_network.sendCustomRequest(http, request.method, request.body);
    m_running.insert(reply);
    auto tooLarge = std::make_shared<bool>(false);
    auto sslErrors = std::make_shared<QStringList>();
    connect(reply, &QNetworkReply::downloadProgress, reply, [this, reply, tooLarge](qint64 received, qint64) {
        if (received > m_limits.maxAnswerBytes && !*tooLarge) {
            *tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::sslErrors, reply, [sslErrors](const QList<QSslError> &errors) {
        for (const QSslError &e : errors)
            *sslErrors << e.errorString();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        m_running.erase(reply);
        reply->deleteLater();
    });
    connect(reply, &QNetworkReply::finished, context,
            [this, reply, request, redirects, context, done, tooLarge, sslErrors] {
        DavReply answer;
        answer.url = request.url;
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_loginRefused = m_loginRefused || answer.status == 401;
        answer.etag = reply->rawHeader("ETag");
        answer.tooLarge = *tooLarge;
        if (*tooLarge) {
            answer.failure = QStringLiteral("the answer from %1 is larger than %2 bytes")
                                 .arg(request.url.toDisplayString())
                                 .arg(m_limits.maxAnswerBytes);
        } else if (!sslErrors->isEmpty()) {
            answer.failure = QStringLiteral("the server's certificate is not trusted (%1)").arg(sslErrors->join(u"; "));
        } else if (answer.status == 0) {
            const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError
                || reply->error() == QNetworkReply::TimeoutError;
            answer.failure = timedOut ? QStringLiteral("%1 sent nothing for %2 s")
                                            .arg(request.url.host())
                                            .arg(double(m_limits.timeout.count()) / 1000)
                                      : QStringLiteral("%1: %2").arg(request.url.host(), reply->errorString());
        } else {
            answer.body = reply->readAll();
        }
        const bool redirected = answer.answered() && answer.status >= 300 && answer.status < 400
            && answer.status != 304;
        if (redirected) {
            const QUrl to = request.url.resolved(reply->header(QNetworkRequest::LocationHeader).toUrl());
            QString refusal = redirectRefusal(request.url, to);
            if (refusal.isEmpty() && (!request.followRedirects || redirects >= MaxRedirects))
                refusal = QStringLiteral("%1 has moved to %2; use that address").arg(request.url.toDisplayString(),
                                                                                      to.toDisplayString());
            if (refusal.isEmpty()) {
                DavRequest next = request;
                next.url = to;
                start(next, redirects + 1, context, done);
                return;
            }
            answer.failure = refusal;
        }
        done(answer);
    });
}
