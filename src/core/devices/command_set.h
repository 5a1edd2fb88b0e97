// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chip command sets of the 14-bit parts. The older parts take 6-bit commands
// and 16-clock data frames, LSb first; the parts sold today take 8-bit commands
// and 24-bit payloads, MSb first. A model names its set ("commandset: 8bit");
// without the key it takes 6-bit commands.

#include <cstddef>
#include <optional>
#include <string_view>

namespace corvanel {

enum class CommandSet { SixBit, EightBit };

// "6bit" or "8bit", in any letter case ("8Bit"); nothing for any other text.
[[nodiscard]] constexpr std::optional<CommandSet> parse_command_set(std::string_view text) {
    if (text.size() != 4 || (text[0] != '6' && text[0] != '8')) {
        return std::nullopt;
    }
    const std::string_view rest = text.substr(1);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c != "bit"[i] && c != "BIT"[i]) {
            return std::nullopt;
        }
    }
    return text[0] == '8' ? CommandSet::EightBit : CommandSet::SixBit;
}

// "6-bit", "8-bit": as messages and tables name the set.
[[nodiscard]] constexpr std::string_view command_set_name(CommandSet set) {
    return set == CommandSet::EightBit ? "8-bit" : "6-bit";
}

}  // namespace corvanel
