// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/text/decimal_number.h"

#include <cstdint>

namespace corvanel {

std::optional<double> parse_decimal_number(std::string_view text) {
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    // Read digit by digit rather than with strtod: the window runs in the user's
    // locale, where strtod stops at the '.' of "12.5" under a decimal comma.
    std::int64_t digits = 0;
    std::int64_t scale = 1;
    int separators = 0;
    for (const char c : text) {
        if (c == '.' || c == ',') {
            ++separators;
        } else if (c >= '0' && c <= '9') {
            digits = digits * 10 + (c - '0');
            if (separators > 0) {
                scale *= 10;
            }
        } else {
            return std::nullopt;
        }
    }
    if (separators > 1 || (text.size() == 1 && separators == 1)) {
        return std::nullopt;
    }
    // At most 12 digits: both fit a double exactly, and one division rounds once.
    return static_cast<double>(digits) / static_cast<double>(scale);
}

}  // namespace corvanel
