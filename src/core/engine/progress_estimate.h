// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The progress of a chip operation as the interpreter reports it in the status
// line ("F:120/2048": FLASH word 120 of 2048, "E:5/128": EEPROM byte 5 of 128),
// and the time left, estimated from how fast the loop has gone so far.

#include <optional>
#include <string_view>

namespace corvanel {

struct ProgressCount {
    char memory = 'F';    // 'F' FLASH, 'E' EEPROM
    long long done = 0;   // words or bytes handled, the current one included
    long long total = 0;  // words or bytes of the loop, above 0
};

// "F:120/2048" gives F, 120 and 2048; texts without a count give nothing.
[[nodiscard]] std::optional<ProgressCount> parse_progress(std::string_view text);

// Feeds on the counts of one operation; a loop that starts again (another
// memory, or a count lower than the last) starts its own estimate.
class ProgressEstimate {
public:
    void reset() { started_ = false; }
    // The count seen at `now` (seconds on any steady clock).
    void note(const ProgressCount& count, double now);
    // Seconds left in the current loop; nothing until the loop has run long
    // enough (a quarter of a second and a few words) to tell its pace.
    [[nodiscard]] std::optional<double> seconds_left() const;

private:
    bool started_ = false;
    ProgressCount first_{};
    ProgressCount last_{};
    double first_time_ = 0;
    double last_time_ = 0;
};

}  // namespace corvanel
