// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The script's pauses ("w", "wprog") and the event passes of the hosts, kept
// short: a pause sleeps to an absolute deadline on the monotonic clock, so
// that its length is the one asked for and not that plus the timer's slack.

#include <chrono>
#include <string_view>

namespace corvanel {

// Blocks until `milliseconds` have passed since the call (0 or less: returns at once).
void pause_to_deadline(int milliseconds);

// Lets a host skip event passes that come faster than one every `interval`:
// answers true when the caller should run one now.
class EventPassThrottle {
public:
    explicit EventPassThrottle(std::chrono::steady_clock::duration interval)
        : interval_(interval) {}
    [[nodiscard]] bool due();

private:
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point last_{};
    bool passed_ = false;  // the first call always passes
};

// A progress text ("F:120/2048", "E:5/256") that a later one of the same loop
// replaces; the last word of a loop ("F:2048/2048") and every other text are not.
[[nodiscard]] bool is_intermediate_progress(std::string_view text);

}  // namespace corvanel
