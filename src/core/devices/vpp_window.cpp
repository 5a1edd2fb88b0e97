// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/vpp_window.h"

#include <cstdio>
#include <string>

#include "core/text/ascii_text.h"
#include "core/text/decimal_number.h"

namespace corvanel {

namespace {

// Hundredths of a volt are the finest the program shows: a smaller value would be
// taken as a voltage and then shown as "0.0 V".
constexpr double kLowestVolts = 0.01;

bool in_range(double volts) {
    return volts >= kLowestVolts && volts <= kHighestVpp;
}

}  // namespace

std::optional<VppWindow> parse_vpp_window(std::string_view text) {
    text = trimmed(text);
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    const auto low = parse_decimal_number(text.substr(0, space));
    const auto high = parse_decimal_number(trimmed(text.substr(space + 1)));
    if (!low || !high || !in_range(*low) || !in_range(*high) || *low > *high) {
        return std::nullopt;
    }
    return VppWindow{*low, *high};
}

std::optional<double> parse_volts(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && (text.back() == 'V' || text.back() == 'v')) {
        text = trimmed(text.substr(0, text.size() - 1));
    }
    const auto volts = parse_decimal_number(text);
    if (!volts || !in_range(*volts)) {
        return std::nullopt;
    }
    return volts;
}

std::string volts_text(double volts) {
    char text[32];
    // Two decimals only where they matter: 12.75 V, 13.0 V.
    const double tenths = static_cast<double>(static_cast<long>(volts * 10.0 + 0.5)) / 10.0;
    if (tenths - volts > 0.001 || volts - tenths > 0.001) {
        std::snprintf(text, sizeof text, "%.2f V", volts);
    } else {
        std::snprintf(text, sizeof text, "%.1f V", volts);
    }
    return text;
}

std::string vpp_window_text(const VppWindow& window) {
    std::string low = volts_text(window.min_volts);
    low.resize(low.size() - 2);  // the unit once, after the second number
    return low + "-" + volts_text(window.max_volts);
}

}  // namespace corvanel
