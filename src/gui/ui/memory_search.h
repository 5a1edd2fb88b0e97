// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Go to Address" and "Find" of the memory tables: what the user types, and the
// search through a memory. The window's commands are in main_window_tables.cpp.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace corvanel {

// A hexadecimal address as people write it: "1F0", "1f0h", "0x1F0", "$1F0",
// blanks around it allowed. Nothing for anything else (or more than 8 digits).
[[nodiscard]] std::optional<std::int32_t> parse_hex_address(const QString& text);

// The values to look for: hexadecimal numbers of at most `digits` digits (4 for
// program words, 2 for EEPROM bytes), apart by blanks or commas, with an
// optional "0x" or trailing "h" each. Nothing when there is none or one is not
// such a number.
[[nodiscard]] std::optional<std::vector<int>> parse_search_values(const QString& text, int digits);

// Where `pattern` next starts among the `count` values `value_at` gives: the
// first place at `from` or after it, else the first from the start (the search
// wraps around). A pattern must lie whole inside the memory. Nothing when it is
// nowhere.
[[nodiscard]] std::optional<std::int32_t> find_values(
    const std::function<int(std::int32_t)>& value_at, std::int32_t count,
    const std::vector<int>& pattern, std::int32_t from);

}  // namespace corvanel
