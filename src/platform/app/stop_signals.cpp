// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/stop_signals.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

namespace corvanel {

#ifndef _WIN32
namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void on_stop_signal(int signal_number) {
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    // Nothing to do when the pipe is full: a stop is already on its way.
    (void)!::write(g_pipe[1], &byte, 1);
}

}  // namespace

StopSignalWatcher::StopSignalWatcher(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0) {
        return;
    }
    for (const int end : g_pipe) {
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignalWatcher::read_pipe);
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal_number : kSignals) {
        ::sigaction(signal_number, &action, nullptr);
    }
}

StopSignalWatcher::~StopSignalWatcher() {
    if (notifier_ == nullptr) {
        return;
    }
    for (const int signal_number : kSignals) {
        ::signal(signal_number, SIG_DFL);
    }
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignalWatcher::read_pipe() {
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        emit received(byte);
    }
}

#else

StopSignalWatcher::StopSignalWatcher(QObject* parent) : QObject(parent) {}
StopSignalWatcher::~StopSignalWatcher() = default;
void StopSignalWatcher::read_pipe() {}

#endif

}  // namespace corvanel
