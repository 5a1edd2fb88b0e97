// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The list of locations where a blank check or a verify read something other
// than what it expected. After 25 entries the check is cut short, so a chip
// that differs everywhere is reported at once instead of after the whole memory.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanel {

inline constexpr std::int32_t kMismatchLimit = 25;

struct MismatchReport {
    std::int32_t mismatch_count = 0;
    std::string mismatch_report = header();

    [[nodiscard]] static std::string header() {
        return "Memory Location,   Read Value,   Expected,\r\n";
    }

    void reset_report() {
        mismatch_count = 0;
        mismatch_report = header();
    }

    // Appends one line. Answers true exactly when this was the 25th mismatch:
    // the interpreter then jumps to the last instruction of its script.
    [[nodiscard]] bool record_mismatch(std::string_view location, std::string_view read,
                                       std::string_view expected) {
        ++mismatch_count;
        mismatch_report.append(location).append(",   ").append(read).append(",   ");
        mismatch_report.append(expected).append(",\r\n");
        return mismatch_count == kMismatchLimit;
    }
};

}  // namespace corvanel
