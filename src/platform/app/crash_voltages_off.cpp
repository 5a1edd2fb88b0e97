// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/crash_voltages_off.h"

#include <atomic>
#include <csignal>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#include <cerrno>
#include <ctime>
#define CORVANEL_POSIX_SIGNALS 1
#endif

#include "core/link/board_protocol.h"

namespace corvanel {
namespace {

// Every open port: several boards may program at once, each on its own port.
constexpr int kPortSlots = 16;
volatile std::sig_atomic_t g_port_descriptors[kPortSlots] = {-1, -1, -1, -1, -1, -1, -1, -1,
                                                             -1, -1, -1, -1, -1, -1, -1, -1};
std::atomic<int> g_slot_lock{0};

// Slots change under a spin lock between threads; the handler only reads them.
template <typename F>
void with_slots(F change) {
    while (g_slot_lock.exchange(1, std::memory_order_acquire) != 0) {
    }
    change();
    g_slot_lock.store(0, std::memory_order_release);
}

#ifdef CORVANEL_POSIX_SIGNALS

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// The crash may come between the bytes of a command: the longest (data word,
// 105 low high) takes two more bytes, so the third voltages-off byte is read as
// a command whatever the board was waiting for. Extra ones are answered and do
// nothing else.
constexpr unsigned char kOffBytes[board_command::kLongestCommandBytes] = {
    board_command::kVoltagesOff, board_command::kVoltagesOff, board_command::kVoltagesOff};
static_assert(board_command::kLongestCommandBytes == 3, "one 103 for every byte of the longest");

void write_off_bytes_to(int descriptor) {
    if (descriptor >= 0) {
        // The port is non-blocking: a full output queue is waited for briefly.
        std::size_t sent = 0;
        for (int tries = 0; sent < sizeof kOffBytes && tries < 100; ++tries) {
            const ssize_t written = ::write(descriptor, kOffBytes + sent, sizeof kOffBytes - sent);
            if (written > 0) {
                sent += static_cast<std::size_t>(written);
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                // No tcdrain: a board that reads nothing must not hold the crash.
                const timespec pause{0, 1000000};
                (void)::nanosleep(&pause, nullptr);
            }
        }
    }
}

void write_off_bytes() {
    const int saved_errno = errno;
    for (const auto& descriptor : g_port_descriptors) {
        write_off_bytes_to(static_cast<int>(descriptor));
    }
    errno = saved_errno;
}

void crash_handler(int signal_number) {
    write_off_bytes();
    // SA_RESETHAND has put the default action back: the signal, blocked while
    // this handler runs, ends the program as soon as the handler returns.
    (void)::raise(signal_number);
}

#endif

}  // namespace

void install_crash_voltages_off() {
#ifdef CORVANEL_POSIX_SIGNALS
    struct sigaction action {};
    action.sa_handler = crash_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal_number : kCrashSignals) {
        (void)::sigaction(signal_number, &action, nullptr);
    }
#endif
}

void write_voltages_off_to_port() {
#ifdef CORVANEL_POSIX_SIGNALS
    write_off_bytes();
#endif
}

void add_crash_port_descriptor(int descriptor) {
    with_slots([descriptor] {
        for (auto& slot : g_port_descriptors) {
            if (slot < 0) {
                slot = descriptor;
                return;
            }
        }
    });
}

void remove_crash_port_descriptor(int descriptor) {
    with_slots([descriptor] {
        for (auto& slot : g_port_descriptors) {
            if (slot == descriptor) {
                slot = -1;
            }
        }
    });
}

int crash_port_count() {
    int count = 0;
    for (const auto& slot : g_port_descriptors) {
        count += slot >= 0 ? 1 : 0;
    }
    return count;
}

}  // namespace corvanel
