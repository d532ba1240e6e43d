#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <set>

class QNetworkAccessManager;
class QNetworkReply;

struct DavRequest
{
    QByteArray method;
    QUrl url;
    QByteArray body;
    QByteArray contentType;
    int depth = -1;          // the Depth header; none when negative
    QByteArray ifMatch;      // an ETag: change only that version
    bool ifNoneMatchAny = false; // create only: fail with 412 when something is there
    bool followRedirects = false; // within the same server; discovery asks for it
};

struct DavReply
{
    int status = 0;    // the HTTP status; 0 when no answer came
    QByteArray body;
    QByteArray etag;
    QUrl url;          // the URL that answered, after redirects
    QString failure;   // why no answer came: network, TLS, no answer in time, too large, a redirect refused
    bool tooLarge = false; // the answer was cut off at the limit

    bool answered() const { return failure.isEmpty(); }
    bool succeeded() const { return answered() && status >= 200 && status < 300; }
    // For messages: the failure, or the status.
    QString describe() const;
};

// WebDAV requests over one QNetworkAccessManager, never blocking: each request calls back when it
// is done. The password goes only to the server named (https, or plain http to this machine);
// certificate errors are failures, never ignored; redirects are followed only where asked and
// only within the same server, never from https to http. A server that stops sending for the
// timeout, or sends more than the limit, ends the request with a failure.
class DavClient : public QObject
{
    Q_OBJECT
public:
    struct Account
    {
        QString user;
        QString password;
    };
    struct Limits
    {
        std::chrono::milliseconds timeout{60'000};
        qint64 maxAnswerBytes = qint64(64) << 20;
    };

    DavClient(QNetworkAccessManager &network, const Account &account, const Limits &limits);
    DavClient(QNetworkAccessManager &network, const Account &account) : DavClient(network, account, Limits{}) {}
    ~DavClient() override;

    // done is called once with the reply, unless context is destroyed first.
    void send(const DavRequest &request, QObject *context, std::function<void(const DavReply &)> done);
    // Ends every request still running; their callbacks see a failure.
    void abortAll();

    int requestsSent() const { return m_sent; }
    // Whether the server refused the name or the password (401) for any request so far.
    bool loginRefused() const { return m_loginRefused; }

    // Why credentials may not go to url (empty when they may): plain http to another machine,
    // a name or password inside the URL, a scheme other than http and https.
    static QString refusalFor(const QUrl &url);

private:
    void start(const DavRequest &request, int redirects, QObject *context, std::function<void(const DavReply &)> done);

    QNetworkAccessManager &m_network;
    QByteArray m_authorization;
    Limits m_limits;
    int m_sent = 0;
    bool m_loginRefused = false;
    std::set<QNetworkReply *> m_running;
};
