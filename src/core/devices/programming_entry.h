// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a chip is put into programming mode. High voltage: Vpp (8-13 V, the
// model's window) on MCLR, in the model's voltage order. Low voltage: the
// enhanced mid-range parts also enter with MCLR held low and the 32-bit key
// "MCHP" clocked in, so a board without a Vpp supply can program them; only
// models with "lvp: true" may be entered that way.

#include <optional>
#include <string_view>

namespace corvanel {

enum class ProgrammingEntry { HighVoltage, LowVoltage };

// The values of the "Programming entry" setting.
inline constexpr std::string_view kProgrammingEntrySetting = "Programming entry";
inline constexpr std::string_view kHighVoltageEntryText = "High voltage";
inline constexpr std::string_view kLowVoltageEntryText = "Low voltage";

[[nodiscard]] constexpr std::string_view programming_entry_text(ProgrammingEntry entry) {
    return entry == ProgrammingEntry::LowVoltage ? kLowVoltageEntryText : kHighVoltageEntryText;
}

// The stored text back; anything else (an absent or edited setting) is nothing,
// which callers take as high voltage, the entry every part accepts.
[[nodiscard]] constexpr std::optional<ProgrammingEntry> programming_entry_from_text(
    std::string_view text) {
    if (text == kLowVoltageEntryText) {
        return ProgrammingEntry::LowVoltage;
    }
    if (text == kHighVoltageEntryText) {
        return ProgrammingEntry::HighVoltage;
    }
    return std::nullopt;
}

}  // namespace corvanel
