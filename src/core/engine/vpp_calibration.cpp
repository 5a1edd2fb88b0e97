// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/vpp_calibration.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/devices/vpp_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/board_match.h"
#include "core/engine/program_state.h"
#include "core/engine/supply_limits.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

// A calibrated reading agrees with the meter to its resolution and the ADC's step.
constexpr double kAgreement = 0.01;
// Below this a meter reading is no boost rail: a typing error.
constexpr double kLowestRail = 1.0;

std::string level_words(const ProgramState& state) {
    if (!state.board || state.board->vpp_level == board_identity::kLevelNone) {
        return {};
    }
    const std::optional<VppLevel> level = vpp_level_for(state.model);
    return level && level->level == state.board->vpp_level
               ? " (the " + std::string(level->name) + " Vpp level)"
               : std::string();
}

}  // namespace

std::string board_calibration_text(const ProgramState& state) {
    if (!board_declares(state, board_identity::kHasVppCalibration)) {
        return {};
    }
    return state.board->calibrated() ? "Vpp calibrated" : "Vpp not calibrated";
}

VppCalibrationResult calibrate_board_vpp(ProgramState& state, double meter_volts) {
    const bool erase = meter_volts == 0.0;
    if (!erase && (!(meter_volts >= kLowestRail) || meter_volts > kHighestVpp)) {
        return {false, "A Vpp of " + volts_text(meter_volts) + " is no board's rail: give what " +
                           "the meter shows, 1-" + volts_text(kHighestVpp) + " (0 erases the " +
                           "calibration)."};
    }
    if (identify_board(state) != BoardAnswer::Identified || !state.board) {
        return {false, state.board_answer == BoardAnswer::NotAsked
                           ? "The board cannot be asked now (an operation or Test Vpp runs, or "
                             "the port is closed)."
                           : "The board did not identify itself: only a board that declares Vpp "
                             "calibration can keep one."};
    }
    if (!state.board->has(board_identity::kHasVppCalibration)) {
        return {false,
                "This board has no Vpp calibration (its identify record does not "
                "declare extension 48h)."};
    }
    const auto centivolts = static_cast<std::uint16_t>(std::lround(meter_volts * 100.0));
    ProgrammerLink& link = state.link;
    link.set_receive_notification(0);
    (void)link.take_waiting_bytes();
    link.send_select(board_extension::kVppCalibrate);
    link.send_board_word(centivolts);
    const std::vector<std::uint8_t> echoes = read_board_answer(state, 2);
    if (echoes !=
        std::vector<std::uint8_t>{board_command::kChipCommand, board_command::kDataWord}) {
        (void)identify_board(state);
        return {false, "The board did not answer the calibration: the serial line is not sound."};
    }
    if (identify_board(state) != BoardAnswer::Identified || !state.board) {
        return {false, "The board did not identify itself after the calibration."};
    }
    const BoardIdentity& board = *state.board;
    if (erase) {
        return board.calibrated()
                   ? VppCalibrationResult{false, "The board kept its Vpp calibration."}
                   : VppCalibrationResult{true, "Board Vpp calibration erased."};
    }
    const std::optional<double> reading = board.vpp_volts();
    const bool agrees =
        reading && std::fabs(*reading - meter_volts) <= meter_volts * kAgreement + 0.005;
    if (!board.calibrated() || !agrees) {
        return {false, "The board refused the calibration: its own reading" +
                           (reading ? " of " + volts_text(*reading) : std::string()) +
                           " lies too far from the meter's " + volts_text(meter_volts) +
                           " (more than 15 %). Measure at the Vpp test point with the "
                           "voltages off, and give that value."};
    }
    return {true, "Board Vpp calibrated" + level_words(state) + ": it reads " +
                      volts_text(*reading) + "."};
}

}  // namespace corvanel
