#include "main_window/quit_signals.h"

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace chromola {

namespace {

// One process, one set of handlers: the write end the handler uses.
int signalWriteFd = -1;
int signalReadFd = -1;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnSignal(int) {
    // The handler may interrupt any code between a failing call and its look
    // at errno.
    const int savedErrno = errno;
    const char byte = 1;
    // Nothing can be done about a failed write inside a handler; with the
    // socket full (signals faster than the UI reads them), one byte waiting
    // is enough and the write fails at once rather than block.
    [[maybe_unused]] const ssize_t written = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

QuitOnSignals::QuitOnSignals(std::function<void()> quit) : quit_(std::move(quit)) {
    int fds[2];
    if (signalWriteFd >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        return;
    }
    signalWriteFd = fds[0];
    signalReadFd = fds[1];
    notifier_ = std::make_unique<QSocketNotifier>(signalReadFd, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[64];  // every signal so far: one quit is enough
        [[maybe_unused]] const ssize_t got = ::read(signalReadFd, bytes, sizeof bytes);
        quit_();
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    notifier_.reset();
    ::close(signalWriteFd);
    ::close(signalReadFd);
    signalWriteFd = signalReadFd = -1;
}

}  // namespace chromola
