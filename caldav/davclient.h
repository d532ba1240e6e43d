#pragma once

#include "syncproblem.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <set>
#include <vector>

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
    bool followRedirects = false; // to the origins the password may go to; discovery asks for it
};

struct DavReply
{
    int status = 0;    // the HTTP status; 0 when no answer came
    QByteArray body;
    QByteArray etag;
    QUrl url;          // the URL that answered, after redirects
    QString failure;   // why no answer came: network, TLS, no answer in time, too large, a redirect refused
    bool tooLarge = false; // the answer was cut off at the limit
    QUrl otherOrigin;  // not sent, for url is on this origin, which the password may not go to
    SyncProblem problem; // the failure as data, for the window's words

    bool answered() const { return failure.isEmpty(); }
    bool succeeded() const { return answered() && status >= 200 && status < 300; }
    // For messages: the failure, or the status.
    QString describe() const;
    // The failure, or the status, as data, for a request made at step.
    SyncProblem problemAt(SyncProblem::Step step) const;
};

// WebDAV requests over one QNetworkAccessManager, never blocking: each request calls back when it
// is done. The password goes only to the origins (scheme, host and port) it is given: the one of
// the address the user named, and any the user chose to trust. A request to any other origin,
// a redirect's included, is not sent at all, so a server cannot lead the password elsewhere; its
// reply names the origin (otherOrigin). Only https, or plain http to this machine; certificate
// errors are failures, never ignored; redirects are followed only where asked. A server that
// stops sending for the timeout, or sends more than the limit, ends the request with a failure.
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

    // Where the password may go; until this is called, nowhere, and nothing is sent.
    void setPasswordOrigins(const std::vector<QUrl> &origins);
    bool mayReach(const QUrl &url) const;

    int requestsSent() const { return m_sent; }
    // Whether the server refused the name or the password (401) for any request so far.
    bool loginRefused() const { return m_loginRefused; }

    // Why credentials may not go to url (empty when they may): plain http to another machine,
    // a name or password inside the URL, a scheme other than http and https.
    static QString refusalFor(const QUrl &url);
    // The same as data; Kind::None when they may.
    static SyncProblem addressProblem(const QUrl &url);
    // "https://host", with the port when it is not the scheme's own.
    static QUrl originOf(const QUrl &url);

private:
    void start(const DavRequest &request, int redirects, QObject *context, std::function<void(const DavReply &)> done);

    QNetworkAccessManager &m_network;
    QByteArray m_authorization;
    Limits m_limits;
    std::vector<QUrl> m_origins;
    int m_sent = 0;
    bool m_loginRefused = false;
    std::set<QNetworkReply *> m_running;
};
