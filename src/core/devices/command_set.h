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

// How Bulk Erase (18h) of the 8-bit set chooses what it erases. The older
// families take the regions from the PC (8000h: program memory, user IDs and
// configuration; F000h: the EEPROM) and no data; the newer ones (16F171xx,
// 16F180xx, 16F181xx, 16F175xx, 16F131xx) take them from a 24-bit payload whose
// bits name them, and clock in the next 24 bits as that payload whether the
// host sends one or not. A model names its way ("bulkerase: payload"); without
// the key an 8-bit model selects by the PC.
enum class EraseSelection { ProgramCounter, Payload };

// The payload's region bits, as the chips' programming specifications number
// them (bit 0 EEPROM, bit 1 program memory, bit 2 user IDs, bit 3 configuration).
namespace erase_region {
inline constexpr int kEeprom = 0x1;
inline constexpr int kFlash = 0x2;
inline constexpr int kUserIds = 0x4;
inline constexpr int kConfig = 0x8;
inline constexpr int kAll = kEeprom | kFlash | kUserIds | kConfig;
}  // namespace erase_region

// "pc" or "payload", in any letter case; nothing for any other text.
[[nodiscard]] inline std::optional<EraseSelection> parse_erase_selection(std::string_view text) {
    const std::string lower = lower_copy(text);
    if (lower == "pc") {
        return EraseSelection::ProgramCounter;
    }
    if (lower == "payload") {
        return EraseSelection::Payload;
    }
    return std::nullopt;
}

// "6-bit", "8-bit": as messages and tables name the set.
[[nodiscard]] constexpr std::string_view command_set_name(CommandSet set) {
    return set == CommandSet::EightBit ? "8-bit" : "6-bit";
}

}  // namespace corvanel
