// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programming voltage a chip accepts on MCLR/Vpp (its VIHH window), from the
// model key "vpp: MIN MAX" in volts, and the board's own Vpp as the user gives it.
// No single Vpp suits every family: the 16F72x and the enhanced parts must stay at
// 9 V or below, the 16F7x need 12.75 V or more.

#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

struct VppWindow {
    double min_volts = 0.0;
    double max_volts = 0.0;

    [[nodiscard]] bool contains(double volts) const {
        // Hundredths of a volt: "9" typed by the user is inside a window ending at 9.0.
        constexpr double kSlack = 0.005;
        return volts >= min_volts - kSlack && volts <= max_volts + kSlack;
    }
};

// The highest voltage the program takes for a board or a window: above it a value
// is a typing error, not a Vpp.
inline constexpr double kHighestVpp = 20.0;

// "8.0 9.0": two decimal numbers, 0.01 <= MIN <= MAX <= kHighestVpp. Nothing for any
// other text (an empty key included).
[[nodiscard]] std::optional<VppWindow> parse_vpp_window(std::string_view text);

// The board's Vpp as typed by the user ("13", "12.5", "12,5 V"): nothing when the
// text is empty or not a voltage the program takes.
[[nodiscard]] std::optional<double> parse_volts(std::string_view text);

// "8.0-9.0 V".
[[nodiscard]] std::string vpp_window_text(const VppWindow& window);
// "13.0 V".
[[nodiscard]] std::string volts_text(double volts);

}  // namespace corvanel
