// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/vpp_guard.h"

#include "core/engine/board_identify.h"
#include "core/engine/board_match.h"
#include "core/engine/chip_operations.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/program_state.h"

namespace corvanel {

std::string vpp_question(const ActiveModel& model, std::optional<double> board_vpp, bool measured) {
    if (!board_vpp || !model.vpp_window || model.vpp_window->contains(*board_vpp)) {
        return {};
    }
    const bool too_high = *board_vpp > model.vpp_window->max_volts;
    return (measured ? "The board measured a Vpp of " + volts_text(*board_vpp) + ", outside"
                     : "The board's Vpp of " + volts_text(*board_vpp) + " is outside") +
           " the window of " + model.model_name + " (" + vpp_window_text(*model.vpp_window) +
           ").\r\n" +
           (too_high ? "Too high a Vpp can damage the chip."
                     : "Too low a Vpp keeps the chip out of programming mode.") +
           "\r\n\r\nGo on anyway?";
}

bool check_programming_entry(ProgramState& state) {
    const std::optional<Refusal> refusal = capability_refusal(state);
    if (!refusal) {
        return true;
    }
    EngineHost& host = state.engine_host();
    state.operation_refused = true;
    (void)host.show_message(refusal->message, message_kind::kError, "");
    host.set_status_text(refusal->status);
    host.process_events();
    return false;
}

bool confirm_board_vpp(ProgramState& state, OperationKind kind) {
    if (state.low_voltage_entry()) {
        return true;  // MCLR stays low: the board's Vpp never reaches the chip
    }
    // The board's own measurement, taken just before this operation, wins over
    // what the user once typed.
    const std::string question =
        vpp_question(state.model, effective_board_vpp(state), board_vpp_measured(state));
    return confirm_before_start(state, question, kind);
}

}  // namespace corvanel
