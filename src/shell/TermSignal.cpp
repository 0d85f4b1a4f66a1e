#include "TermSignal.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler only writes a byte into the pair; the notifier reads it on the
// event loop, where the program may do anything.
int GSignalPair[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnTermSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(GSignalPair[0], &byte, 1);
}

} // namespace

TTermSignal::TTermSignal(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, GSignalPair) != 0)
        return;
    FNotifier = new QSocketNotifier(GSignalPair[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TTermSignal::Drain);
    struct sigaction action = {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

TTermSignal::~TTermSignal()
{
    if (!FNotifier)
        return;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    ::close(GSignalPair[0]);
    ::close(GSignalPair[1]);
    GSignalPair[0] = GSignalPair[1] = -1;
}

void TTermSignal::Drain()
{
    char bytes[16];
    while (::read(GSignalPair[1], bytes, sizeof bytes) > 0) { }
    Q_EMIT Received();
}
