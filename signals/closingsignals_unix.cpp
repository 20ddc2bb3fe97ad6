#include "closingsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void wakeEventLoop(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void drainSignalPipe()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) { }
}

constexpr int Closing[] = { SIGHUP, SIGINT, SIGTERM };

sigset_t closingSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : Closing)
        sigaddset(&set, signalNumber);
    return set;
}

} // namespace

namespace ClosingSignals {

void hold()
{
    const sigset_t set = closingSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void onArrival(QObject *context, std::function<void()> action)
{
    // Non-blocking both ways: a burst of signals can never stall the handler
    // or the event loop.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [action = std::move(action)] {
        drainSignalPipe();
        action();
    });

    struct sigaction handler = {};
    handler.sa_handler = wakeEventLoop;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = SA_RESTART;
    for (int signalNumber : Closing)
        ::sigaction(signalNumber, &handler, nullptr);
    const sigset_t set = closingSet();
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace ClosingSignals
