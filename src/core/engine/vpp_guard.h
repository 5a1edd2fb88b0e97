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

namespace corvanel {

struct ProgramState;
enum class OperationKind;

// The question to ask, or an empty text when the Vpp fits, is unknown, or the model
// names no window. `measured`: the value is what the board measured (its identify
// record) rather than the user's "Board Vpp".
[[nodiscard]] std::string vpp_question(const ActiveModel& model, std::optional<double> board_vpp,
                                       bool measured = false);

// With the "Programming entry" setting at low voltage no Vpp reaches the chip, so
// the board's Vpp is not asked about. A model without "lvp: true" cannot enter
// that way: the operation is refused with this message, before anything is sent.
[[nodiscard]] std::string low_voltage_refusal(const ProgramState& state);
inline constexpr std::string_view kLowVoltageRefusedStatus = "Low-voltage entry refused.";

// A model of the 8-bit command set on a board that cannot frame its commands (a
// board of the original protocol, or one whose identify record lacks commands
// 108-110, or extension 42h for a low-voltage entry): "This board cannot program
// PIC16F18877: it has no 8-bit command support." Empty when the board can, or
// has not been asked.
[[nodiscard]] std::string command_set_refusal(const ProgramState& state, CommandSet set);
inline constexpr std::string_view kCommandSetRefusedStatus =
    "Operation refused: no 8-bit commands.";

// Shows low_voltage_refusal or command_set_refusal when there is one: the status line says so,
// `operation_refused` is set and the answer is false. True when the operation
// may go on.
[[nodiscard]] bool check_programming_entry(ProgramState& state);

// Asks the question (No is the default button) and answers true when the operation
// may go on. On No the status line says the operation was cancelled,
// `operation_refused` is set, and nothing was sent to the board.
[[nodiscard]] bool confirm_board_vpp(ProgramState& state, OperationKind kind);

}  // namespace corvanel
