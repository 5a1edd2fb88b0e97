// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chip command sets of the 14-bit parts. The older parts take 6-bit commands
// and 16-clock data frames, LSb first; the parts sold today take 8-bit commands
// and 24-bit payloads, MSb first. A model names its set ("commandset: 8bit");
// without the key it takes 6-bit commands.

#include <optional>
#include <string>
#include <string_view>

#include "core/text/ascii_text.h"

namespace corvanel {

enum class CommandSet { SixBit, EightBit };

// "6bit" or "8bit", in any letter case ("8Bit"); nothing for any other text.
[[nodiscard]] inline std::optional<CommandSet> parse_command_set(std::string_view text) {
    const std::string lower = lower_copy(text);
    if (lower == "6bit") {
        return CommandSet::SixBit;
    }
    if (lower == "8bit") {
        return CommandSet::EightBit;
    }
    return std::nullopt;
}

// "6-bit", "8-bit": as messages and tables name the set.
[[nodiscard]] constexpr std::string_view command_set_name(CommandSet set) {
    return set == CommandSet::EightBit ? "8-bit" : "6-bit";
}

}  // namespace corvanel
