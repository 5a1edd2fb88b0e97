// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks an algorithm of the device file as the file is read, so that a mistake
// shows at start-up with its line number rather than halfway through an operation
// on a chip: every instruction must be one the interpreter knows, and the sections
// must balance (each "begin" or "beginvppvdd" closed by an "end" before the next
// opens, none left open, no "end" without its "begin"). Once a model is complete,
// the algorithms it took are checked against its chip command set.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/link/board_protocol.h"

namespace corvanel {

// An empty text when the algorithm is sound, else what is wrong with it
// ("unknown instruction \"s0g\" (instruction 4)").
[[nodiscard]] std::string algorithm_problem(std::string_view algorithm_text);

// The chip command sets. Board command 104 clocks only as many bits as the set is
// wide: a wider code reaches the chip cut to that width, as another command (80h
// in 6 bits is 00h, Load Configuration). So a model's algorithms may send only the
// codes of its set.
enum class CommandSet { SixBit };

struct CodeRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

struct CommandSetCodes {
    CommandSet set;
    std::string_view name;             // "6-bit", as messages name it
    std::span<const CodeRange> codes;  // what may follow board command 104
};

// 00h-3Fh are the chip's commands; 40h, 41h, 43h and 44h the board extensions a
// 6-bit part may use (42h belongs to the 8-bit set's low-voltage entry).
inline constexpr std::array<CodeRange, 3> kSixBitCodes{{
    {0x00, board_extension::kChipCommandMask},
    {board_extension::kLowVoltageEntry, board_extension::kLoadPcAddress},
    {board_extension::kVdd3V3, board_extension::kVdd5V},
}};

// One row a set.
inline constexpr std::array<CommandSetCodes, 1> kCommandSets{{
    {CommandSet::SixBit, "6-bit", kSixBitCodes},
}};

[[nodiscard]] const CommandSetCodes& command_set_codes(CommandSet set);

// An empty text when every chip command of the (sound) algorithm belongs to the
// set, else the first that does not ("\"s80\": command 80h is not in the 6-bit
// command set (instruction 2)").
[[nodiscard]] std::string command_set_problem(std::string_view algorithm_text, CommandSet set);

}  // namespace corvanel
