// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How one step of an algorithm goes over the serial line. The board frames the
// chip's commands for it, so the host takes the board command from the chip's
// command set's row: a 6-bit command, a 16-clock data frame and a 16-clock read
// (104, 105, 106), or an 8-bit command, a 24-bit payload and a 24-bit read (108,
// 109, 110). The board keeps no mode: every command names its own framing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/devices/command_set.h"

namespace corvanel {

// One board command: its bytes, and what the board answers (the read's two data
// bytes, then its own first byte).
struct WireCommand {
    std::array<std::uint8_t, 3> bytes{};
    std::size_t size = 0;
    std::size_t data_answers = 0;  // bytes of data before the echo
    // Whether the last answer byte must be the command's own byte. The original
    // protocol leaves the value of a read's third byte open.
    bool echo_checked = true;
    // A board-timed wait (104 4Ah t): the milliseconds the board waits before its
    // answer; 0 for every other command.
    std::uint8_t wait_ms = 0;
    [[nodiscard]] std::uint8_t echo() const { return bytes[0]; }
};

class WireEncoder {
public:
    // The set the commands are framed for; never null.
    const CommandSet* set = &six_bit_commands();
    // The board ends a read's answer with the read's own byte (106 or 110): this
    // program's firmware and the board server do, and say so by answering
    // identify. A board of the original protocol sends one more byte of any
    // value, taken unread.
    bool read_echo = false;

    // The chip command `code` (the 6-bit set's board clocks its low 6 bits; codes
    // 40h-7Fh there are the board's own extensions).
    [[nodiscard]] WireCommand chip_command(std::int32_t code) const;
    // A data word or payload. Values outside 0..FFFFh (an erased configuration
    // word the device file left undefined, -1) go out as their low 16 bits.
    [[nodiscard]] WireCommand data_word(std::int32_t value) const;
    [[nodiscard]] WireCommand read_word() const;
    // Vdd on with MCLR low, then the low-voltage key of the set (LSb first with a
    // 33rd clock, or MSb first without): 104 and extension 40h or 42h.
    [[nodiscard]] WireCommand low_voltage_entry() const;
    // A board extension (Vdd select, Vpp level...): 104 and its code in every set,
    // answered 104.
    [[nodiscard]] static WireCommand board_extension(std::uint8_t code);
    // 104 4Ah and `milliseconds`: the board waits that long before it takes the
    // next command (a board that declares feature bit 12), answered 104.
    [[nodiscard]] static WireCommand board_wait(std::uint8_t milliseconds);
};

// How the board clocks one word of a block (111, 112) by itself: the chip command
// that loads (or reads) a word, and the one that steps the address after it.
struct BlockWord {
    std::uint8_t flags = 0;  // board_command::kBlockFlag8Bit, kBlockFlagStep
    std::uint8_t code = 0;   // load or read
    std::uint8_t step = 0;   // clocked after each word when flags has kBlockFlagStep
    bool read = false;       // a read block (112): the word comes back
};

// The chip commands of `set` that may open a block: loads and reads of program
// and data memory, as the set's row gives them. Nothing for any other command.
[[nodiscard]] std::optional<BlockWord> block_codes(const CommandSet& set, std::uint8_t chip_code);

}  // namespace corvanel
