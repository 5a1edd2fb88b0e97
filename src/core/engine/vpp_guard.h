// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programming-voltage guard before every chip operation: when the user has
// said what Vpp the board gives ("Board Vpp") and the applied model names the
// window its chip accepts ("vpp:"), a Vpp outside that window is asked about
// before anything reaches the board. Too low a Vpp keeps the chip out of
// programming mode; too high a one can harm it (the 16F72x must never see 12 V).

#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"
#include "core/engine/board_match.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The question to ask, or an empty text when the Vpp fits, is unknown, or the model
// names no window. `measured`: the value is what the board measured (its identify
// record) rather than the user's "Board Vpp".
[[nodiscard]] std::string vpp_question(const ActiveModel& model, std::optional<double> board_vpp,
                                       bool measured = false);

// With the "Programming entry" setting at low voltage no Vpp reaches the chip, so
// the board's Vpp is not asked about; a model without "lvp: true" cannot enter
// that way. Shows the board match's refusal (board_match.h) when there is one,
// before anything is sent: the status line says so, `operation_refused` is set
// and the answer is false. True when the operation may go on.
[[nodiscard]] bool check_programming_entry(ProgramState& state);

// Asks the question (No is the default button) and answers true when the operation
// may go on. On No the status line says the operation was cancelled,
// `operation_refused` is set, and nothing was sent to the board.
[[nodiscard]] bool confirm_board_vpp(ProgramState& state, OperationKind kind);

}  // namespace corvanel
