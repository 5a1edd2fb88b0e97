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
inline constexpr std::uint8_t kIdentify = 107;     // answered by an 11-byte record, then 107

}  // namespace corvanel::board_command

// Chip command codes 40h to 7Fh after board command 104 are no PIC's commands
// (the 6-bit command sets stop at 3Fh): the board acts on them itself.
namespace corvanel::board_extension {

// Low-voltage entry: Vdd on with MCLR held low (Vpp never applied), then the
// 32-bit key "MCHP" (4D434850h) clocked in LSb first and one 33rd clock.
inline constexpr std::uint8_t kLowVoltageEntry = 0x40;
// Load PC Address (16F183xx): chip command 1Dh; the data word that follows goes
// out as a 24-clock frame.
inline constexpr std::uint8_t kLoadPcAddress = 0x41;
// Vdd select, honoured only while the voltages are off: 3.3 V or 5 V.
inline constexpr std::uint8_t kVdd3V3 = 0x43;
inline constexpr std::uint8_t kVdd5V = 0x44;

[[nodiscard]] constexpr bool is_extension(std::int32_t code) {
    return code >= 0x40 && code <= 0x7F;
}

}  // namespace corvanel::board_extension
