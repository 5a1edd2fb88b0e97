// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Upper-case, fixed-width hexadecimal text as it appears in the memory tables,
// in Intel HEX records, in messages and in the cell editor. Numbers are written
// as their 32-bit two's complement and cut to the field width by keeping the
// rightmost digits; parsing accepts upper-case digits only and answers -1 for
// anything else.

#include <cstdint>
#include <string>
#include <string_view>

namespace corvanel {

[[nodiscard]] std::string hex2(std::int32_t value);
[[nodiscard]] std::string hex2h(std::int32_t value);
[[nodiscard]] std::string hex4(std::int32_t value);
[[nodiscard]] std::string hex4h(std::int32_t value);
[[nodiscard]] std::string hex6(std::int32_t value);
// hex4 with its two bytes swapped: the low byte first, as Intel HEX data carries words.
[[nodiscard]] std::string hex4_swapped(std::int32_t value);

// Exactly two upper-case hex digits give 0..255; anything else gives -1.
[[nodiscard]] std::int32_t hexval2(std::string_view text);
// Exactly four upper-case hex digits give 0..FFFFh; anything else gives -1.
[[nodiscard]] std::int32_t hexval4(std::string_view text);

// Checksum field of an Intel HEX record, computed over the record text without
// its ':' and without its checksum. A pair that is not two upper-case hex digits
// counts as -1, so a corrupt record never checks out by accident.
[[nodiscard]] std::string hex_checksum(std::string_view record_text);

// The loaded-file label shows at most the last 70 characters of a path.
[[nodiscard]] std::string short_path(std::string_view path);

}  // namespace corvanel
