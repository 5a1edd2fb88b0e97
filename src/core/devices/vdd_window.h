// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The supply voltage a chip may be programmed at, from the model key
// "vdd: MIN MAX" in volts, with an optional second window for bulk erase
// ("vdd: 1.8 3.6 erase 2.7 3.6"): many parts need more Vdd to erase than to
// write, and the programming specifications give both. An LF part's window
// ends at 3.6 V; its absolute maximum is about 4 V, so the board's Vdd must be
// known to lie inside the window before the voltages go on.

#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

struct VddWindow {
    double min_volts = 0.0;
    double max_volts = 0.0;
    // The window bulk erase needs, where it is narrower than the one above.
    std::optional<double> erase_min_volts;
    std::optional<double> erase_max_volts;

    [[nodiscard]] bool contains(double volts) const;
    // Inside the write window and, where the model names one, the erase window.
    [[nodiscard]] bool contains_for_erase(double volts) const;
};

// The highest Vdd any 14-bit part takes while programming; above it a value is a
// typing error.
inline constexpr double kHighestVdd = 6.5;

// The board's Vdd as typed by the user or stored as "Board Vdd" ("5", "3.3 V"):
// parse_volts up to kHighestVdd; nothing for any other text.
[[nodiscard]] std::optional<double> parse_board_vdd(std::string_view text);

// "2.0 5.5" or "1.8 3.6 erase 2.7 3.6": 0 < MIN <= MAX <= kHighestVdd in each
// pair. Nothing for any other text (an empty key included).
[[nodiscard]] std::optional<VddWindow> parse_vdd_window(std::string_view text);

// "2.0-5.5 V", or "1.8-3.6 V (erase 2.7-3.6 V)".
[[nodiscard]] std::string vdd_window_text(const VddWindow& window);

}  // namespace corvanel
