// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Case and blanks of the program's own files (the device database, the chip state
// file, the algorithm language, option words). These texts are ASCII whatever the
// user's locale: only 'a'..'z' and 'A'..'Z' change case, so a byte above 127 in a
// file can never turn into a letter the parser takes.

#include <string>
#include <string_view>

namespace corvanel {

[[nodiscard]] std::string upper_copy(std::string_view text);
[[nodiscard]] std::string lower_copy(std::string_view text);

// Without the blanks (space, tab, CR, LF, vertical tab, form feed) at either end.
[[nodiscard]] std::string_view trimmed(std::string_view text);

}  // namespace corvanel
