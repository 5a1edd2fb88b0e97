// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command bytes of the programmer board. Both ends of the serial line use
// them: the protocol that drives a real board, and the virtual board that stands
// in for one.

#include <cstdint>

namespace corvanel::board_command {

inline constexpr std::uint8_t kNop = 100;
inline constexpr std::uint8_t kVoltagesOnVddFirst = 101;
inline constexpr std::uint8_t kVoltagesOnVppFirst = 102;
inline constexpr std::uint8_t kVoltagesOff = 103;
inline constexpr std::uint8_t kChipCommand = 104;  // followed by the chip's command code
inline constexpr std::uint8_t kDataWord = 105;     // followed by the low, then the high byte
inline constexpr std::uint8_t kReadWord = 106;     // answered by low, high and one more byte

}  // namespace corvanel::board_command
