// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Calibrating the board's Vpp reading from one meter reading (extension 48h).
// The ATmega328P reads its rails against its band-gap, 1.0-1.2 V from part to
// part: uncorrected, a 9.7 V rail can read 8.9 V and pass a 9 V window. The
// board keeps the ratio of the meter's value to its own reading in its EEPROM.

#include <string>

namespace corvanel {

struct ProgramState;

struct VppCalibrationResult {
    bool ok = false;
    std::string text;  // what happened, for the status line or the terminal
};

// The most a calibration may correct (the board refuses a larger ratio).
inline constexpr double kCalibrationLargestRatio = 1.15;

// Sends 104 48h and 105 with `meter_volts` in units of 10 mV (0 erases the
// calibration), with the voltages off, then identifies the board again and
// checks that it kept the calibration: its Vpp reading must then lie within 1 %
// of the meter's value. The Vpp is that of the level the applied model selects.
// Refused (nothing sent) on a board that does not declare calibration, while
// an operation or "Test Vpp" runs, or for a value no board rail can have.
[[nodiscard]] VppCalibrationResult calibrate_board_vpp(ProgramState& state, double meter_volts);

// "Vpp calibrated", "Vpp not calibrated", or empty for a board without calibration.
[[nodiscard]] std::string board_calibration_text(const ProgramState& state);

}  // namespace corvanel
