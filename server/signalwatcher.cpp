#include "signalwatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace qor {

namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(pipeFds[0], &byte, 1); // async-signal-safe
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeFds) != 0)
        qFatal("qor-server: socketpair failed");
    m_notifier = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    // The server is on its way out by now: a repeated stop request must not turn its
    // clean exit into a kill (SIGKILL still ends it).
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SignalWatcher::readSignal()
{
    char byte = 0;
    if (::read(pipeFds[1], &byte, 1) == 1)
        Q_EMIT stopRequested(int(byte));
}

} // namespace qor
