#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a kill, a closed terminal, Ctrl+C, a shutdown) turned into a Qt
// signal, so that the program can save like a close instead of dying with the user's edits.
// The handler only writes the signal's number into a pipe, which is all that is safe there.
class ExitSignals : public QObject
{
    Q_OBJECT

public:
    // Catches the signals from now on; what arrives before start() waits in the pipe.
    explicit ExitSignals(QObject *parent = nullptr);
    ~ExitSignals() override;

    // Delivers the signals caught so far and from now on, from the event loop.
    void start();

signals:
    void received(int signalNumber);

private:
    void drain();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};
