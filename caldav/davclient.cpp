#include "davclient.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>
#include <algorithm>

namespace {

constexpr int MaxRedirects = 5;

int defaultPort(const QUrl &url)
{
    return url.scheme() == u"https" ? 443 : url.scheme() == u"http" ? 80 : -1;
}

} // namespace

QString DavReply::describe() const
{
    if (!failure.isEmpty())
        return failure;
    return QStringLiteral("the server answered %1 for %2").arg(status).arg(url.toDisplayString());
}

SyncProblem DavReply::problemAt(SyncProblem::Step step) const
{
    SyncProblem at = problem;
    if (answered()) {
        at.kind = status == 401 ? SyncProblem::Kind::LoginRefused : SyncProblem::Kind::Status;
        at.url = url;
        at.status = status;
    }
    at.step = step;
    return at;
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

QUrl DavClient::originOf(const QUrl &url)
{
    QUrl origin;
    origin.setScheme(url.scheme().toLower());
    origin.setHost(url.host().toLower());
    if (const int port = url.port(defaultPort(url)); port != defaultPort(url))
        origin.setPort(port);
    return origin;
}

void DavClient::setPasswordOrigins(const std::vector<QUrl> &origins)
{
    m_origins.clear();
    for (const QUrl &url : origins)
        m_origins.push_back(originOf(url));
}

bool DavClient::mayReach(const QUrl &url) const
{
    return std::find(m_origins.begin(), m_origins.end(), originOf(url)) != m_origins.end();
}

SyncProblem DavClient::addressProblem(const QUrl &url)
{
    using Kind = SyncProblem::Kind;
    SyncProblem problem;
    problem.url = url;
    if (!url.isValid() || url.host().isEmpty())
        problem.kind = Kind::NotAnAddress;
    else if (!url.userInfo().isEmpty())
        problem.kind = Kind::NameInAddress;
    else if (url.scheme() != u"https" && url.scheme() != u"http")
        problem.kind = Kind::NotHttp;
    else if (url.scheme() == u"http" && url.host().compare(u"localhost", Qt::CaseInsensitive) != 0
             && !QHostAddress(url.host()).isLoopback())
        problem.kind = Kind::PlainHttp;
    return problem;
}

QString DavClient::refusalFor(const QUrl &url)
{
    switch (addressProblem(url).kind) {
    case SyncProblem::Kind::NotAnAddress:
        return QStringLiteral("%1 is not a server's address").arg(url.toDisplayString());
    case SyncProblem::Kind::NameInAddress:
        return QStringLiteral("the address holds a name or password; give the name with --user");
    case SyncProblem::Kind::NotHttp:
        return QStringLiteral("%1 is neither https nor http").arg(url.toDisplayString());
    case SyncProblem::Kind::PlainHttp:
        return QStringLiteral("the password would travel unencrypted to %1; use https").arg(url.host());
    default:
        return {};
    }
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
    // The one check every request passes, a redirect's too: nothing goes where the password may not.
    DavReply refused;
    refused.url = request.url;
    refused.failure = refusalFor(request.url);
    refused.problem = addressProblem(request.url);
    if (refused.failure.isEmpty() && !mayReach(request.url)) {
        refused.otherOrigin = originOf(request.url);
        refused.failure = QStringLiteral("the password may not go to %1, where %2 is; nothing was sent there")
                              .arg(refused.otherOrigin.toDisplayString(), request.url.toDisplayString());
        refused.problem = SyncProblem(SyncProblem::Kind::OtherServer);
        refused.problem.url = refused.problem.other = request.url;
    }
    if (!refused.failure.isEmpty()) {
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
        answer.problem.url = request.url;
        if (*tooLarge) {
            answer.failure = QStringLiteral("the answer from %1 is larger than %2 bytes")
                                 .arg(request.url.toDisplayString())
                                 .arg(m_limits.maxAnswerBytes);
            answer.problem.kind = SyncProblem::Kind::TooLarge;
            answer.problem.count = m_limits.maxAnswerBytes;
        } else if (!sslErrors->isEmpty()) {
            answer.failure = QStringLiteral("the server's certificate is not trusted (%1)").arg(sslErrors->join(u"; "));
            answer.problem.kind = SyncProblem::Kind::Certificate;
            answer.problem.systemWords = sslErrors->join(u"; ");
        } else if (answer.status == 0) {
            const bool timedOut = reply->error() == QNetworkReply::OperationCanceledError
                || reply->error() == QNetworkReply::TimeoutError;
            answer.failure = timedOut ? QStringLiteral("%1 sent nothing for %2 s")
                                            .arg(request.url.host())
                                            .arg(double(m_limits.timeout.count()) / 1000)
                                      : QStringLiteral("%1: %2").arg(request.url.host(), reply->errorString());
            answer.problem.kind = timedOut ? SyncProblem::Kind::TimedOut : SyncProblem::Kind::NoAnswer;
            answer.problem.count = qint64(m_limits.timeout.count());
            answer.problem.networkError = int(reply->error());
            answer.problem.systemWords = timedOut ? QString() : reply->errorString();
        } else {
            answer.body = reply->readAll();
        }
        const bool redirected = answer.answered() && answer.status >= 300 && answer.status < 400
            && answer.status != 304;
        if (redirected) {
            const QUrl to = request.url.resolved(reply->header(QNetworkRequest::LocationHeader).toUrl());
            if (request.followRedirects && redirects < MaxRedirects) {
                DavRequest next = request;
                next.url = to;
                start(next, redirects + 1, context, done); // where start's check refuses it, if anywhere
                return;
            }
            answer.failure = QStringLiteral("%1 has moved to %2; use that address").arg(request.url.toDisplayString(),
                                                                                          to.toDisplayString());
            answer.problem.kind = SyncProblem::Kind::Moved;
            answer.problem.other = to;
        }
        done(answer);
    });
}
