#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// Lets a second start of the program bring the running one to the front instead of opening the
// day file a second time. The first program listens on a local socket named after its day file;
// a later one connects, asks for activation and exits.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &dayFilePath, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Starts answering later starts. Call it only while holding the day file's lock: a socket
    // left behind by a program that died is removed, which would otherwise cut off a live one.
    bool listen();

    // Asks the running program to come to the front; true once it has confirmed.
    bool activateRunning(int timeoutMs = 2000) const;

    QString serverName() const { return m_serverName; }
    QString errorString() const { return m_error; }

    // The same day file gives the same name, however the path is spelled.
    static QString serverNameFor(const QString &dayFilePath);

signals:
    void activationRequested();

private:
    void answer();

    QString m_serverName;
    QLocalServer *m_server = nullptr;
    mutable QString m_error;
};
