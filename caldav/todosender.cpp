#include "todosender.h"

#include "davclient.h"

TodoSender::TodoSender(DavClient &client, const QUrl &collection, int requestsAtOnce, QObject *parent)
    : QObject(parent), m_client(client), m_collection(collection), m_requestsAtOnce(std::max(1, requestsAtOnce))
{
}

void TodoSender::send(const std::vector<syncplanner::ServerOp> &ops,
                      std::function<void(const syncplanner::ServerOp &, const Outcome &)> result)
{
    m_queue.assign(ops.begin(), ops.end());
    m_result = std::move(result);
    sendNext();
}

void TodoSender::sendNext()
{
    using Kind = syncplanner::ServerOp::Kind;
    while (m_inFlight < m_requestsAtOnce && !m_queue.empty()) {
        const syncplanner::ServerOp op = m_queue.front();
        m_queue.pop_front();
        QUrl url = m_collection;
        url.setPath(op.href, QUrl::DecodedMode);
        const bool remove = op.kind == Kind::Delete;
        const DavRequest request{remove ? QByteArray("DELETE") : QByteArray("PUT"), url, op.body,
                                 remove ? QByteArray() : QByteArray("text/calendar; charset=utf-8"), -1, op.ifMatch,
                                 op.kind == Kind::Create, false};
        ++m_inFlight;
        m_client.send(request, this, [this, op](const DavReply &reply) {
            --m_inFlight;
            const Outcome outcome = outcomeOf(op, reply);
            if (outcome.kind == Outcome::Kind::Failed)
                m_queue.clear();
            m_result(op, outcome);
            sendNext();
        });
    }
    if (m_inFlight == 0 && m_queue.empty())
        emit done();
}

TodoSender::Outcome TodoSender::outcomeOf(const syncplanner::ServerOp &op, const DavReply &reply)
{
    using Kind = syncplanner::ServerOp::Kind;
    const bool gone = reply.answered() && (reply.status == 404 || reply.status == 410);
    if (reply.answered() && (reply.status == 412 || (gone && op.kind == Kind::Update)))
        return {Outcome::Kind::Again, {}, {}, {}};
    if (reply.succeeded() || (gone && op.kind == Kind::Delete))
        return {Outcome::Kind::Done, reply.etag, {}, {}};
    const QString what = op.kind == Kind::Delete ? QStringLiteral("cannot delete the to-do of %1")
                                                 : QStringLiteral("cannot send %1");
    const QString failure = reply.answered() && reply.status == 401
        ? QStringLiteral("%1 refused the name or the password").arg(reply.url.host())
        : QStringLiteral("%1: %2").arg(what.arg(op.key.toString()), reply.describe());
    SyncProblem problem = reply.problemAt(op.kind == Kind::Delete ? SyncProblem::Step::DeleteThing
                                                                  : SyncProblem::Step::SendThing);
    problem.thing = op.key;
    return {Outcome::Kind::Failed, {}, failure, problem};
}
