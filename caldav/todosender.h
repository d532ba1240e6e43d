#pragma once

#include "syncplanner.h"
#include "syncproblem.h"

#include <QObject>
#include <QUrl>
#include <deque>
#include <functional>

class DavClient;
struct DavReply;

// Carries out a plan's requests on the server, a few at once, each conditional on the version
// decided on (If-Match; If-None-Match: * for a creation). For each request it says what came of
// it; a failure stops what has not been sent yet, and done() follows once nothing is in flight.
class TodoSender : public QObject
{
    Q_OBJECT
public:
    struct Outcome
    {
        enum class Kind {
            Done,     // the server took it (an update's or a creation's new ETag in etag)
            Again,    // changed or deleted meanwhile: fetch it and decide again
            Failed,   // see failure
        };
        Kind kind = Kind::Done;
        QByteArray etag;
        QString failure;
        SyncProblem problem; // with Failed, as data
    };

    TodoSender(DavClient &client, const QUrl &collection, int requestsAtOnce, QObject *parent = nullptr);

    // Sends ops; each outcome goes to result, then done() once all are answered or one failed.
    void send(const std::vector<syncplanner::ServerOp> &ops,
              std::function<void(const syncplanner::ServerOp &, const Outcome &)> result);
    // Nothing more is sent; what is in flight still answers.
    void stop() { m_queue.clear(); }

signals:
    void done();

private:
    void sendNext();
    static Outcome outcomeOf(const syncplanner::ServerOp &op, const DavReply &reply);

    DavClient &m_client;
    QUrl m_collection;
    int m_requestsAtOnce;
    std::deque<syncplanner::ServerOp> m_queue;
    int m_inFlight = 0;
    std::function<void(const syncplanner::ServerOp &, const Outcome &)> m_result;
};
