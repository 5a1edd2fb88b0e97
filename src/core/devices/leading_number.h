// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace corvanel {

// The decimal number at the start of a text: leading blanks are skipped, an
// optional sign and fraction are read, reading stops at the first character
// that cannot continue the number, and no number gives 0. The value is rounded
// to the nearest whole number with halves going to the even neighbour, exactly
// (from the digits, never through binary floating point), and held to the
// signed 32-bit range.
[[nodiscard]] std::int32_t leading_number(std::string_view text);

}  // namespace corvanel
