// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A decimal number as the user types it into a setting or an option: digits with
// at most one decimal separator, '.' or ',' (the comma of the locales that write
// 12,5), and nothing else -- no sign, no blanks, no exponent, at most 12
// characters. Voltages (the board's Vpp and Vdd, a chip's windows) are read with it.

#include <optional>
#include <string_view>

namespace corvanel {

// The number, or nothing when the text is not one.
[[nodiscard]] std::optional<double> parse_decimal_number(std::string_view text);

}  // namespace corvanel
