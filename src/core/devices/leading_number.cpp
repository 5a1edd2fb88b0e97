// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/leading_number.h"

#include <algorithm>
#include <limits>

namespace corvanel {

std::int32_t leading_number(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // The magnitude is capped just above the 32-bit range; anything larger is
    // held to the range at the end anyway.
    constexpr std::int64_t kCap = std::int64_t{1} << 32;
    std::int64_t whole = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        whole = std::min(kCap, whole * 10 + (text[pos] - '0'));
        ++pos;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        int first = -1;
        bool rest_nonzero = false;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (first < 0) {
                first = text[pos] - '0';
            } else if (text[pos] != '0') {
                rest_nonzero = true;
            }
            ++pos;
        }
        const bool round_up = first > 5 || (first == 5 && (rest_nonzero || whole % 2 == 1));
        if (round_up) {
            whole = std::min(kCap, whole + 1);
        }
    }
    const std::int64_t value = negative ? -whole : whole;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace corvanel
