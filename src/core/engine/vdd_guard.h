// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The supply-voltage guard before every chip operation. An LF part (12LF,
// 16LF) takes at most 3.6 V and is destroyed by the 5 V most boards give; a
// 5 V part programmed at 3.3 V fails. The board's own Vdd is used where it
// reports one (or selects one for the model), else the user's "Board Vdd" (the
// tool's --vdd); a Vdd outside the model's "vdd:" window is asked about, and so
// is an LF part while the board's Vdd is not known at all.

#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// Refuses a --force run of a low-voltage part on a board whose Vdd nobody stated.
extern const char* const kUnknownVddForcedText;

// A low-voltage-only part: its name has "LF" (PIC16LF1554, PIC12LF1552).
[[nodiscard]] bool is_lf_model(std::string_view model_name);

// The question to ask, or an empty text when the Vdd fits (or nothing is known
// of the model's window and it is no LF part). `reported`: the value is the
// board's own rather than the user's. Program All and Erase All erase the chip
// in bulk: they need the erase window where the model names one.
[[nodiscard]] std::string vdd_question(const ActiveModel& model, std::optional<double> board_vdd,
                                       bool reported, OperationKind kind);

// "2.0-5.5 V, erase 4.5-5.5 V: 3.3 V cannot erase" when `vdd` lies inside the
// write window but outside the narrower window bulk erase needs; else empty.
[[nodiscard]] std::string erase_window_note(const VddWindow& window, double vdd);

// Asks the question (No is the default button) and answers true when the
// operation may go on. On No the status line says the operation was cancelled,
// `operation_refused` is set and nothing was sent to the board.
[[nodiscard]] bool confirm_board_vdd(ProgramState& state, OperationKind kind);

}  // namespace corvanel
