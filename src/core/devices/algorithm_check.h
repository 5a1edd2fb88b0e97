// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks an algorithm of the device file as the file is read, so that a mistake
// shows at start-up with its line number rather than halfway through an operation
// on a chip: every instruction must be one the interpreter knows, and the sections
// must balance (each "begin" or "beginvppvdd" closed by an "end" before the next
// opens, none left open, no "end" without its "begin"). Once a model is complete,
// the algorithms it took are checked against its chip command set.

#include <string>
#include <string_view>

#include "core/devices/command_set.h"

namespace corvanel {

// An empty text when the algorithm is sound, else what is wrong with it
// ("unknown instruction \"s0g\" (instruction 4)").
[[nodiscard]] std::string algorithm_problem(std::string_view algorithm_text);

// An empty text when every chip command of the (sound) algorithm belongs to the
// set and goes with its frame, else the first that does not ("\"s80\": command
// 80h is not in the 6-bit command set (instruction 2)", "\"s80\": command 80h
// takes a 24-bit payload in the 8-bit command set (instruction 2)"). In the
// 8-bit set, Bulk Erase (18h, the set's payload_erase_code) goes with the frame the chip's erase
// selection asks for: bare where the PC picks the regions; with a literal payload naming one or
// more regions (bits 0-3, "s18-000f") where the payload does. A chip of the second kind takes the
// next 24 bits as the payload whatever they are, so a bare 18h there swallows the command after it.
[[nodiscard]] std::string command_set_problem(
    std::string_view algorithm_text, const CommandSet& set,
    EraseSelection erase = EraseSelection::ProgramCounter);

}  // namespace corvanel
