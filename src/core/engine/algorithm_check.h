// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Checks an algorithm of the device file as the file is read, so that a mistake
// shows at start-up with its line number rather than halfway through an operation
// on a chip: every instruction must be one the interpreter knows, and the sections
// must balance (each "begin" or "beginvppvdd" closed by an "end" before the next
// opens, none left open, no "end" without its "begin").

#include <string>
#include <string_view>

namespace corvanel {

// An empty text when the algorithm is sound, else what is wrong with it
// ("unknown instruction \"s0g\" (instruction 4)").
[[nodiscard]] std::string algorithm_problem(std::string_view algorithm_text);

}  // namespace corvanel
