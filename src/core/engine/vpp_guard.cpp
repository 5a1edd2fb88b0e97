// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/vpp_guard.h"

#include "core/engine/board_identify.h"
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

std::string low_voltage_refusal(const ProgramState& state) {
    if (state.programming_entry != ProgrammingEntry::LowVoltage || state.model.low_voltage_entry) {
        return {};
    }
    return state.model.model_name +
           " cannot enter programming mode at low voltage: its model in the device database "
           "has no \"lvp: true\".\r\nSet \"Programming entry\" to \"High voltage\" to program it.";
}

std::string command_set_refusal(const ProgramState& state, CommandSet set) {
    if (set != CommandSet::EightBit) {
        return {};
    }
    // A board of the original protocol ignores 108-110 and would leave the
    // operation waiting for answers; one that identified itself says what it has.
    const bool lacks_commands = state.board_answer == BoardAnswer::Plain ||
                                state.board_answer == BoardAnswer::Garbled ||
                                (state.board_answer == BoardAnswer::Identified && state.board &&
                                 !state.board->has(board_identity::kHasCommands8));
    if (lacks_commands) {
        return "This board cannot program " + state.model.model_name +
               ": it has no 8-bit command support.";
    }
    const bool lacks_key = state.low_voltage_entry() &&
                           state.board_answer == BoardAnswer::Identified && state.board &&
                           !state.board->has(board_identity::kHasLowVoltageEntry8);
    if (lacks_key) {
        return "This board cannot program " + state.model.model_name +
               " at low voltage: it has no low-voltage entry for 8-bit commands.";
    }
    return {};
}

bool check_programming_entry(ProgramState& state) {
    std::string refusal = low_voltage_refusal(state);
    std::string_view status = kLowVoltageRefusedStatus;
    if (refusal.empty()) {
        refusal = command_set_refusal(state, state.model.command_set);
        status = kCommandSetRefusedStatus;
    }
    if (refusal.empty()) {
        return true;
    }
    EngineHost& host = state.engine_host();
    state.operation_refused = true;
    (void)host.show_message(refusal, message_kind::kError, "");
    host.set_status_text(status);
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
