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

#include "core/devices/command_set.h"
#include "core/link/board_protocol.h"

namespace corvanel {

// An empty text when the algorithm is sound, else what is wrong with it
// ("unknown instruction \"s0g\" (instruction 4)").
[[nodiscard]] std::string algorithm_problem(std::string_view algorithm_text);

// What follows a command on the wire. Board command 104 clocks only as many bits
// as the 6-bit set is wide: a wider code reaches the chip cut to that width, as
// another command (80h in 6 bits is 00h, Load Configuration). In the 8-bit set
// every command has one frame it must be sent with: a 24-bit payload (Load PC
// Address, the loads), a read (the two reads) or nothing.
enum class Frame : std::uint8_t {
    Any,      // whatever the instruction sends (the 6-bit set: data frames are free)
    None,     // a bare command: "sF8"
    Payload,  // a command and its data: "s80-8007", "s00-flash"
    Read,     // a command and a word read back: "flash=sFE"
};

struct CodeRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
    Frame frame = Frame::Any;
};

struct CommandSetCodes {
    CommandSet set;
    std::span<const CodeRange> codes;  // what an algorithm of the set may send
};

// 00h-3Fh are the chip's commands; 40h, 41h, 43h and 44h the board extensions a
// 6-bit part may use (42h belongs to the 8-bit set's low-voltage entry).
inline constexpr std::array<CodeRange, 3> kSixBitCodes{{
    {0x00, board_extension::kChipCommandMask},
    {board_extension::kLowVoltageEntry, board_extension::kLoadPcAddress},
    {board_extension::kVdd3V3, board_extension::kVdd5V},
}};

// The 8-bit set: Load NVM (00h, 02h with increment), Bulk Erase (18h), Load PC
// Address (80h), End Externally Timed (82h), Begin Externally Timed (C0h), Begin
// Internally Timed (E0h), Row Erase (F0h), Increment Address (F8h), Read NVM
// (FCh, FEh with increment). The board's extensions are the link's business here.
// Bulk Erase's frame is the chip's, not the set's: see command_set_problem.
inline constexpr std::array<CodeRange, 11> kEightBitCodes{{
    {0x00, 0x00, Frame::Payload},
    {0x02, 0x02, Frame::Payload},
    {0x18, 0x18, Frame::Any},
    {0x80, 0x80, Frame::Payload},
    {0x82, 0x82, Frame::None},
    {0xC0, 0xC0, Frame::None},
    {0xE0, 0xE0, Frame::None},
    {0xF0, 0xF0, Frame::None},
    {0xF8, 0xF8, Frame::None},
    {0xFC, 0xFC, Frame::Read},
    {0xFE, 0xFE, Frame::Read},
}};

// One row a set.
inline constexpr std::array<CommandSetCodes, 2> kCommandSets{{
    {CommandSet::SixBit, kSixBitCodes},
    {CommandSet::EightBit, kEightBitCodes},
}};

[[nodiscard]] const CommandSetCodes& command_set_codes(CommandSet set);

// An empty text when every chip command of the (sound) algorithm belongs to the
// set and goes with its frame, else the first that does not ("\"s80\": command
// 80h is not in the 6-bit command set (instruction 2)", "\"s80\": command 80h
// takes a 24-bit payload in the 8-bit command set (instruction 2)"). In the
// 8-bit set, Bulk Erase (18h) goes with the frame the chip's erase selection
// asks for: bare where the PC picks the regions; with a literal payload naming
// one or more regions (bits 0-3, "s18-000f") where the payload does. A chip of
// the second kind takes the next 24 bits as the payload whatever they are, so a
// bare 18h there swallows the command after it.
[[nodiscard]] std::string command_set_problem(
    std::string_view algorithm_text, CommandSet set,
    EraseSelection erase = EraseSelection::ProgramCounter);

}  // namespace corvanel
