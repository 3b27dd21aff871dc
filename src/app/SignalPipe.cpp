#include "app/SignalPipe.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

namespace {
int pipeFds[2] = {-1, -1};  // [0] written by the handler, [1] read by the notifier
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: with the pipe full, a termination is already waiting to be read.
    [[maybe_unused]] ssize_t n = ::write(pipeFds[0], &byte, 1);
    errno = savedErrno;
}
}  // namespace

void SignalPipe::Install() {
    if (pipeFds[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals) sigaction(s, &action, nullptr);
}

SignalPipe::SignalPipe(QObject* parent) : QObject(parent) {
    Install();
    if (pipeFds[1] < 0) return;
    notifier = new QSocketNotifier(pipeFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        const ssize_t n = ::read(pipeFds[1], bytes, sizeof bytes);
        for (ssize_t i = 0; i < n; ++i) emit TerminationRequested(bytes[i]);
    });
}

SignalPipe::~SignalPipe() {
    for (int s : kSignals) signal(s, SIG_DFL);
}
