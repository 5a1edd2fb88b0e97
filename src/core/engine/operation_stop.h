// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Stopping a running operation on the user's word ("Stop", Escape, closing the
// window). The board is in the middle of a command when the user asks, so the
// operation ends at the board's next answer: nothing more is sent but
// voltages-off, a Read All puts back the image it replaced, and the status line
// says "Operation stopped.". A board that never answers again is given up by
// the time-out as usual.

#include <string_view>

namespace corvanel {

struct ProgramState;

inline constexpr std::string_view kOperationStoppedText = "Operation stopped.";

// Asks the running operation to stop at the next answer. Answers false (and
// asks nothing) when no operation runs.
bool request_stop(ProgramState& state);

// Ends the running operation at once, as a stop at its next answer would; for
// when nobody can wait for that answer (the window is closing, the program
// ends). Does nothing inside an interpreter step, where the step still owns the
// interpreter: the caller then waits for the step to end. Answers true when no
// operation runs any more.
bool stop_now(ProgramState& state);

// Called for every answer byte before the interpreter sees it: a stop that was
// asked for ends the operation here (true), and the byte is not used. Between
// the erase and the write-back of a chip's factory calibration the stop waits
// until the calibration is written back.
[[nodiscard]] bool stop_at_answer(ProgramState& state);

}  // namespace corvanel
