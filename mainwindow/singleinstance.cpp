#include "singleinstance.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray Request = QByteArrayLiteral("activate\n");
const QByteArray Reply = QByteArrayLiteral("ok\n");
} // namespace

SingleInstance::SingleInstance(const QString &dayFilePath, QObject *parent)
    : QObject(parent), m_serverName(serverNameFor(dayFilePath))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverNameFor(const QString &dayFilePath)
{
    const QFileInfo info(dayFilePath);
    // canonicalFilePath() follows links but is empty before the file exists.
    const QString canonical = info.canonicalFilePath();
    const QString key = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("tallyleaf-") + QString::fromLatin1(hash);
}

bool SingleInstance::listen()
{
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
    }
    if (m_server->isListening())
        return true;
    if (m_server->listen(m_serverName))
        return true;
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(m_serverName);
        if (m_server->listen(m_serverName))
            return true;
    }
    m_error = m_server->errorString();
    return false;
}

void SingleInstance::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == Request) {
                emit activationRequested();
                socket->write(Reply);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::activateRunning(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    socket.write(Request);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            m_error = socket.errorString();
            return false;
        }
    }
    return socket.readLine() == Reply;
}
