#include "faultproxy.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

// Reads one HTTP message (head and a Content-Length body) from socket; empty on failure.
QByteArray readMessage(QTcpSocket &socket, bool untilClosed)
{
    QByteArray data;
    for (int waits = 0; waits < 200; ++waits) {
        const qsizetype headEnd = data.indexOf("\r\n\r\n");
        if (headEnd >= 0 && !untilClosed) {
            const QRegularExpressionMatch length =
                QRegularExpression(QStringLiteral("(?i)\r\ncontent-length: *(\\d+)")).match(QString::fromLatin1(data.left(headEnd)));
            const qsizetype need = headEnd + 4 + (length.hasMatch() ? length.captured(1).toLongLong() : 0);
            if (data.size() >= need)
                return data;
        }
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0)
            return untilClosed ? data : QByteArray();
        if (socket.bytesAvailable() || socket.waitForReadyRead(50))
            data += socket.readAll();
    }
    return untilClosed ? data : QByteArray();
}

QByteArray withBody(const QByteArray &message, const QByteArray &body)
{
    QString head = QString::fromLatin1(message.left(message.indexOf("\r\n\r\n")));
    head.replace(QRegularExpression(QStringLiteral("(?i)\r\ncontent-length: *\\d+")),
                 QStringLiteral("\r\nContent-Length: %1").arg(body.size()));
    return head.toLatin1() + "\r\n\r\n" + body;
}

} // namespace

FaultProxy::FaultProxy(const QUrl &upstream) : m_upstream(upstream)
{
    start();
    while (!m_port)
        QThread::msleep(5);
}

FaultProxy::~FaultProxy()
{
    m_stop = true;
    wait();
}

QUrl FaultProxy::via(const QUrl &url) const
{
    QUrl proxied = url;
    proxied.setPort(m_port);
    return proxied;
}

void FaultProxy::waitUntilIdle() const
{
    for (int waits = 0; m_serving > 0 && waits < 2000; ++waits)
        QThread::msleep(5);
}

void FaultProxy::setFault(Fault fault, const QByteArray &method, int times)
{
    const std::lock_guard lock(m_mutex);
    m_fault = fault;
    m_faultMethod = method;
    m_faultTimes = times;
}

int FaultProxy::requests(const QByteArray &method) const
{
    const std::lock_guard lock(m_mutex);
    int count = 0;
    for (const auto &[m, n] : m_counts)
        count += method.isEmpty() || m == method ? n : 0;
    return count;
}

void FaultProxy::resetCounts()
{
    const std::lock_guard lock(m_mutex);
    m_counts.clear();
}

FaultProxy::Fault FaultProxy::take(const QByteArray &method)
{
    const std::lock_guard lock(m_mutex);
    ++m_counts[method];
    if (m_faultTimes <= 0 || (method != m_faultMethod && !m_faultMethod.isEmpty()))
        return Fault::None;
    --m_faultTimes;
    return m_fault;
}

namespace {

// Hands each connection's descriptor on, before any QTcpSocket is made of it in this thread.
class Listener : public QTcpServer
{
public:
    std::vector<qintptr> accepted;

protected:
    void incomingConnection(qintptr descriptor) override { accepted.push_back(descriptor); }
};

} // namespace

void FaultProxy::run()
{
    Listener server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        qFatal("the fault proxy cannot listen");
    m_port = server.serverPort();
    std::vector<std::unique_ptr<QThread>> connections;
    while (!m_stop) {
        server.waitForNewConnection(50);
        for (qintptr descriptor : server.accepted) {
            ++m_serving;
            connections.emplace_back(QThread::create([this, descriptor] {
                serve(descriptor);
                --m_serving;
            }));
            connections.back()->start();
        }
        server.accepted.clear();
    }
    for (const auto &connection : connections)
        connection->wait();
}

void FaultProxy::serve(qintptr descriptor)
{
    QTcpSocket client;
    client.setSocketDescriptor(descriptor);
    QByteArray request = readMessage(client, false);
    if (request.isEmpty())
        return;
    const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray method = line.value(0);
    // One request per connection: the client opens a new one for the next. Answers stay
    // uncompressed, so the proxy can read and change them.
    const qsizetype headEnd = request.indexOf("\r\n\r\n");
    const QByteArray requestBody = request.mid(headEnd + 4);
    QString head = QString::fromLatin1(request.left(headEnd));
    head.remove(QRegularExpression(QStringLiteral("(?i)\r\n(accept-encoding|connection):[^\r]*")));
    request = head.toLatin1() + "\r\nConnection: close" + request.mid(headEnd);
    const Fault fault = take(method);
    if (fault == Fault::Answer500 || fault == Fault::Answer503) {
        client.write(fault == Fault::Answer500 ? "HTTP/1.1 500 Internal Server Error\r\n" : "HTTP/1.1 503 Service Unavailable\r\n");
        client.write("Content-Length: 0\r\nConnection: close\r\n\r\n");
        client.waitForBytesWritten(1000);
        return;
    }
    if (fault == Fault::Stall) {
        while (!m_stop && client.state() == QAbstractSocket::ConnectedState)
            client.waitForReadyRead(50);
        return;
    }
    if (fault == Fault::ChangeFirst && m_change)
        m_change(line.value(1));
    QTcpSocket upstream;
    upstream.connectToHost(QHostAddress::LocalHost, quint16(m_upstream.port()));
    if (!upstream.waitForConnected(2000))
        return;
    upstream.write(request);
    upstream.waitForBytesWritten(2000);
    QByteArray answer = readMessage(upstream, true);
    if (fault == Fault::DropAfterAnswer) {
        client.abort();
        return;
    }
    if (m_hideSyncCollection && method == "PROPFIND") {
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        QString body = QString::fromUtf8(answer.mid(headEnd + 4));
        body.remove(QRegularExpression(QStringLiteral("<[^<>]*sync-collection[^<>]*/>")));
        answer = withBody(answer, body.toUtf8());
    }
    if (m_rewrite)
        answer = withBody(answer, m_rewrite(requestBody, answer.mid(answer.indexOf("\r\n\r\n") + 4)));
    client.write(answer);
    client.waitForBytesWritten(2000);
    client.disconnectFromHost();
    if (client.state() != QAbstractSocket::UnconnectedState)
        client.waitForDisconnected(1000);
}
