#include "exitsignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int Caught[] = {SIGTERM, SIGHUP, SIGINT};
volatile sig_atomic_t writeEnd = -1;

extern "C" void onExitSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1); // a full pipe already holds a signal
    errno = saved;
}

} // namespace

ExitSignals::ExitSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // without a pipe the signals keep their default: the program ends unsaved
    writeEnd = m_pipe[1];
    struct sigaction action = {};
    action.sa_handler = onExitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : Caught)
        ::sigaction(s, &action, nullptr);
}

ExitSignals::~ExitSignals()
{
    if (m_pipe[0] < 0)
        return;
    for (int s : Caught)
        std::signal(s, SIG_DFL);
    writeEnd = -1;
    delete m_notifier;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void ExitSignals::start()
{
    if (m_pipe[0] < 0 || m_notifier)
        return;
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::drain);
}

void ExitSignals::drain()
{
    unsigned char bytes[16];
    const ssize_t n = ::read(m_pipe[0], bytes, sizeof bytes);
    if (n > 0)
        emit received(bytes[0]);
}
