// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/precise_pause.h"

#include <QtGlobal>

#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>

#include <cerrno>
#include <ctime>
#endif

namespace corvanel {

namespace {

// The last stretch of a pause is waited out by looking at the clock: a sleeping
// thread wakes up later than asked by about this much.
constexpr auto kWakeUpMargin = std::chrono::microseconds(150);

void sleep_until(std::chrono::steady_clock::time_point deadline) {
#ifdef Q_OS_LINUX
    // steady_clock is CLOCK_MONOTONIC on Linux: sleep to the absolute deadline, so
    // that a signal or an early wake-up cannot lengthen the pause.
    static const bool slack_set = [] {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        return true;
    }();
    (void)slack_set;
    const auto ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
#else
    std::this_thread::sleep_until(deadline);
#endif
}

}  // namespace

void pause_to_deadline(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    sleep_until(deadline - kWakeUpMargin);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
}

bool is_intermediate_progress(std::string_view text) {
    if (!(text.starts_with("F:") || text.starts_with("E:"))) {
        return false;
    }
    const auto slash = text.find('/');
    return slash != std::string_view::npos && text.substr(2, slash - 2) != text.substr(slash + 1);
}

bool EventPassThrottle::due() {
    const auto now = std::chrono::steady_clock::now();
    if (passed_ && now - last_ < interval_) {
        return false;
    }
    passed_ = true;
    last_ = now;
    return true;
}

}  // namespace corvanel
