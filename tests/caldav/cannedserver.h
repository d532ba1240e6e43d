#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <memory>

// A server on 127.0.0.1 that gives every request the same answer, as no real server would, and
// keeps what the requests sent. Another port is another origin: the server a sync may be led to.
// It serves on the event loop of the test's thread.
struct CannedServer
{
    QTcpServer server;
    QByteArray answer;   // an HTTP response but its Content-Length; empty: the connection is closed unanswered
    QByteArray received; // every request's head, one after the other
    int connections = 0;

    explicit CannedServer(QByteArray canned = {}) : answer(std::move(canned))
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                ++connections;
                auto head = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, head] {
                    *head += socket->readAll();
                    if (!head->contains("\r\n\r\n"))
                        return;
                    received += head->left(head->indexOf("\r\n\r\n") + 4);
                    head->clear();
                    if (const qsizetype split = answer.indexOf("\r\n\r\n"); split >= 0)
                        socket->write(answer.left(split) + "\r\nContent-Length: " + QByteArray::number(answer.size() - split - 4)
                                      + answer.sliced(split));
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString &path = QStringLiteral("/")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }

    static QByteArray http(const QByteArray &status, const QByteArray &body, const QByteArray &headers = {})
    {
        return "HTTP/1.1 " + status + "\r\nContent-Type: application/xml; charset=utf-8\r\nConnection: close\r\n" + headers
            + "\r\n" + body;
    }
};
