// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/vdd_guard.h"

#include "core/devices/vpp_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"

namespace corvanel {

const char* const kUnknownVddForcedText =
    "The board's Vdd is not known, and a low-voltage part may not be powered on a guess: "
    "--force does not answer this.\r\nGive the board's supply with --vdd (or set \"Board "
    "Vdd\").";

bool is_lf_model(std::string_view model_name) {
    return model_name.find("LF") != std::string_view::npos;
}

std::string vdd_question(const ActiveModel& model, std::optional<double> board_vdd, bool reported,
                         OperationKind kind) {
    const bool erases = kind == OperationKind::Program || kind == OperationKind::Erase;
    if (!board_vdd) {
        if (!is_lf_model(model.model_name)) {
            return {};
        }
        const std::string window =
            model.vdd_window ? " (" + vdd_window_text(*model.vdd_window) + ")" : std::string();
        return "The board's Vdd is not known, and " + model.model_name + " is a low-voltage part" +
               window +
               ": 5 V destroys it.\r\nSet \"Board Vdd\" (the tool: --vdd) to the board's "
               "supply.\r\n\r\nGo on anyway?";
    }
    if (!model.vdd_window) {
        return {};
    }
    const VddWindow& window = *model.vdd_window;
    if (erases ? window.contains_for_erase(*board_vdd) : window.contains(*board_vdd)) {
        return {};
    }
    const bool too_high = *board_vdd > window.max_volts;
    return std::string(reported ? "The board reports a Vdd of " : "The board's Vdd of ") +
           volts_text(*board_vdd) + (reported ? ", outside" : " is outside") + " the window of " +
           model.model_name + " (" + vdd_window_text(window) + ").\r\n" +
           (too_high ? "Too high a Vdd can destroy the chip."
                     : "Too low a Vdd keeps the chip from being programmed or erased.") +
           "\r\n\r\nGo on anyway?";
}

std::string erase_window_note(const VddWindow& window, double vdd) {
    if (!window.contains(vdd) || window.contains_for_erase(vdd)) {
        return {};
    }
    const VppWindow erase{window.erase_min_volts.value_or(window.min_volts),
                          window.erase_max_volts.value_or(window.max_volts)};
    return vpp_window_text(VppWindow{window.min_volts, window.max_volts}) + ", erase " +
           vpp_window_text(erase) + ": " + volts_text(vdd) + " cannot erase";
}

bool confirm_board_vdd(ProgramState& state, OperationKind kind) {
    const std::optional<double> board_vdd = effective_board_vdd(state);
    const std::string question =
        vdd_question(state.model, board_vdd, board_vdd_reported(state), kind);
    EngineHost& host = state.engine_host();
    if (!question.empty() && !board_vdd && host.answers_unread()) {
        // A blanket Yes (--force, meant for a device ID or a window's edge) must not
        // stand for "this board gives 3.3 V": an LF part dies at 5 V.
        host.show_message(kUnknownVddForcedText, message_kind::kError, "");
        state.operation_refused = true;
        host.set_status_text(cancelled_text(kind));
        host.process_events();
        return false;
    }
    return confirm_before_start(state, question, kind);
}

}  // namespace corvanel
