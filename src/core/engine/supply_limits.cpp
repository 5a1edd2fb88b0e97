// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/supply_limits.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/engine/board_identify.h"
#include "core/engine/board_match.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/engine/vdd_guard.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

constexpr std::array<VppLevel, 3> kVppLevels{{
    {board_extension::kVppLow, board_identity::kLevelLow, 8.7, "low"},
    {board_extension::kVppMiddle, board_identity::kLevelMiddle, 11.5, "middle"},
    {board_extension::kVppHigh, board_identity::kLevelHigh, 13.0, "high"},
}};

// An LF part without a "vdd:" window still takes no more than this.
constexpr double kLfHighestVdd = 3.6;
// The windows of the parts that a high level or a trimmer left up would harm.
constexpr double kLowVppTop = 9.0;
constexpr double kSlack = 0.005;

std::string fixed_text(double volts) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%.1f", volts);
    return text.data();
}

bool identified(const ProgramState& state) {
    return state.board_answer == BoardAnswer::Identified && state.board.has_value();
}

// The Vdd the chip will see: the board's measured rail (measured at the model's
// select: identify_board selects it first), else the Vdd it selects or reports,
// else the user's "Board Vdd".
std::optional<double> judged_vdd(const ProgramState& state, bool& measured) {
    measured = false;
    if (identified(state)) {
        if (const auto rail = state.board->vdd_measured_volts()) {
            measured = true;
            return rail;
        }
    }
    return effective_board_vdd(state);
}

std::string vdd_refusal(const ProgramState& state) {
    const ActiveModel& model = state.model;
    bool measured = false;
    const std::optional<double> vdd = judged_vdd(state, measured);
    if (!vdd) {
        return {};
    }
    const double top = model.vdd_window ? model.vdd_window->max_volts
                                        : (is_lf_model(model.model_name) ? kLfHighestVdd : 0.0);
    if (top <= 0.0 || *vdd <= top + kSlack) {
        return {};
    }
    const std::string window = model.vdd_window ? vdd_window_text(*model.vdd_window)
                                                : "at most " + volts_text(kLfHighestVdd);
    std::string text = (measured ? "The board measured its Vdd at " : "The board's Vdd is ") +
                       volts_text(*vdd) + ", above the window of " + model.model_name + " (" +
                       window + "): it would destroy the chip.\r\n";
    const bool selected_fits = identified(state) && state.board->vdd_selected_mv > 0 &&
                               state.board->vdd_selected_mv / 1000.0 <= top + kSlack;
    if (measured && selected_fits) {
        text += "The board's Vdd regulator is at fault: have it checked before any chip goes in.";
    } else if (board_declares(state, board_feature::kVddSelect)) {
        text += "The board cannot give this model's Vdd.";
    } else {
        text += "Power the board from a supply inside the window and set \"Board Vdd\" to it.";
    }
    return text;
}

std::string vpp_refusal(const ProgramState& state) {
    const ActiveModel& model = state.model;
    if (state.board_answer == BoardAnswer::Garbled) {
        return "The board answered identify once, but now its answer is garbled or missing: "
               "the serial line is not sound (a loose cable, another program on the port, a "
               "wrong baud rate).\r\nHigh-voltage operations are refused until the board "
               "answers clearly: open the port again.";
    }
    if (!model.vpp_window) {
        return {};
    }
    const VppWindow& window = *model.vpp_window;
    const bool levels = board_declares(state, board_identity::kHasVppLevels);
    const std::optional<VppLevel> level = vpp_level_for(model);
    if (levels && !level) {
        return "No Vpp level of this board fits the window of " + model.model_name + " (" +
               vpp_window_text(window) +
               "): low 8.7 V, middle 11.5 V, high 13.0 V.\r\nThe board cannot program it.";
    }
    const std::optional<double> vpp = effective_board_vpp(state);
    if (!vpp || *vpp <= window.max_volts + kSlack) {
        return {};
    }
    const bool measured = board_vpp_measured(state);
    std::string text = (measured ? "The board measured a Vpp of " : "The board's Vpp is ") +
                       volts_text(*vpp) + ", above the window of " + model.model_name + " (" +
                       vpp_window_text(window) + "): it can damage the chip.\r\n";
    if (levels) {
        const bool on_level = state.board->vpp_level == level->level;
        text += on_level ? "The board's " + std::string(level->name) +
                               " Vpp level reads too high: calibrate the board's Vpp "
                               "(corvanel board --calibrate-vpp VOLTS) or have it checked."
                         : "Select the " + std::string(level->name) + " Vpp level.";
    } else if (identified(state)) {
        text += "Turn the Vpp trimmer down to " + trimmer_range_text(window) + ".";
    } else {
        text += "Turn the Vpp trimmer down to " + trimmer_range_text(window) +
                " and set \"Board Vpp\" to what a meter shows.";
    }
    return text;
}

}  // namespace

std::optional<VppLevel> vpp_level_for(const ActiveModel& model) {
    if (!model.vpp_window) {
        return std::nullopt;
    }
    std::optional<VppLevel> best;
    double best_margin = -1.0;
    for (const VppLevel& level : kVppLevels) {
        const double margin = std::min(level.nominal_volts - model.vpp_window->min_volts,
                                       model.vpp_window->max_volts - level.nominal_volts);
        if (margin >= 0.0 && margin > best_margin) {
            best = level;
            best_margin = margin;
        }
    }
    return best;
}

std::string trimmer_range_text(const VppWindow& window) {
    const double span = window.max_volts - window.min_volts;
    return fixed_text(window.min_volts + span / 2.0) + "-" +
           fixed_text(window.max_volts - span / 5.0) + " V";
}

bool board_vpp_needed(const ProgramState& state, bool low_voltage) {
    return !low_voltage && state.board_answer == BoardAnswer::Plain && !state.board_vpp &&
           state.model.vpp_window && state.model.vpp_window->max_volts <= kLowVppTop + kSlack;
}

std::string supply_refusal(const ProgramState& state, bool low_voltage) {
    std::string refusal = vdd_refusal(state);
    if (!refusal.empty() || low_voltage) {
        return refusal;
    }
    refusal = vpp_refusal(state);
    if (!refusal.empty()) {
        return refusal;
    }
    if (board_vpp_needed(state, low_voltage)) {
        return "The board does not say its Vpp, and " + state.model.model_name + " takes at most " +
               volts_text(state.model.vpp_window->max_volts) +
               ": a Vpp left at 12-13 V damages it.\r\nMeasure the board's Vpp and set "
               "\"Board Vpp\" to it (the tool: --vpp).";
    }
    return {};
}

void install_supply_limits(ProgramState& state) {
    state.link.voltages_check = [&state](bool low_voltage) {
        return supply_refusal(state, low_voltage);
    };
}

bool check_supply_limits(ProgramState& state, bool low_voltage, std::string_view status) {
    EngineHost& host = state.engine_host();
    if (board_vpp_needed(state, low_voltage)) {
        const std::string question = "The board does not say its Vpp, and " +
                                     state.model.model_name + " takes at most " +
                                     volts_text(state.model.vpp_window->max_volts) +
                                     ".\r\nWhat Vpp does a meter show on the board (Test Vpp)?";
        if (const auto volts = host.ask_board_vpp(question)) {
            state.board_vpp = volts;
        }
    }
    const std::string refusal = supply_refusal(state, low_voltage);
    if (refusal.empty()) {
        return true;
    }
    state.operation_refused = true;
    (void)host.show_message(refusal, message_kind::kError, "");
    host.set_status_text(status);
    host.process_events();
    return false;
}

}  // namespace corvanel
