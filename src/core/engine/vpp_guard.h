// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programming-voltage guard before every chip operation: when the user has
// said what Vpp the board gives ("Board Vpp") and the applied model names the
// window its chip accepts ("vpp:"), a Vpp outside that window is asked about
// before anything reaches the board. Too low a Vpp keeps the chip out of
// programming mode; too high a one can harm it (the 16F72x must never see 12 V).

#include <optional>
#include <string>

#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The question to ask, or an empty text when the Vpp fits, is unknown, or the model
// names no window.
[[nodiscard]] std::string vpp_question(const ActiveModel& model, std::optional<double> board_vpp);

// Asks the question (No is the default button) and answers true when the operation
// may go on. On No the status line says the operation was cancelled,
// `operation_refused` is set, and nothing was sent to the board.
[[nodiscard]] bool confirm_board_vpp(ProgramState& state, OperationKind kind);

}  // namespace corvanel
