// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an operation takes from the stored settings and, in the tool, from its
// command line: the board's voltages, the programming entry, the fast link, the
// send-ahead window and the folder for calibration rescue files. Built here once
// for the window, the tool and the serial link, so that a value means the same
// wherever it is read and is range-checked on every path.
//
// A stored value that is out of range or unreadable counts as absent (an unknown
// voltage, lock-step, high-voltage entry): the guards then ask or refuse rather
// than trust a hand-edited file. An option that is out of range is an error,
// worded for the command line.

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>

#include "core/devices/programming_entry.h"

namespace corvanel {

class SettingsStore;
struct ProgramState;

// The largest fixed send-ahead window (answer bytes outstanding); the board must
// buffer three bytes for each.
inline constexpr std::int32_t kMaxSendAheadWindow = 4096;

// The tool's options that override the stored settings; the window has none.
struct OperationOptions {
    QString vpp = {};                         // --vpp VOLTS; empty: "Board Vpp"
    QString vdd = {};                         // --vdd VOLTS; empty: "Board Vdd"
    bool fast = false;                        // --fast: on whatever "Fast Link" says
    bool low_voltage = false;                 // --low-voltage: over "Programming entry"
    std::optional<std::int32_t> window = {};  // --window N: over "Send-Ahead Window"
    bool window_auto = false;                 // --window auto
};

struct OperationSettings {
    bool fast_link = false;
    std::optional<double> board_vpp = {};  // nothing: unknown
    std::optional<double> board_vdd = {};  // nothing: unknown
    ProgrammingEntry programming_entry = ProgrammingEntry::HighVoltage;
    // Fixed window, 0 for lock-step; ignored while auto_window measures it.
    std::int32_t window = 0;
    bool auto_window = false;
    std::filesystem::path calibration_folder = {};
};

struct OperationSettingsResult {
    OperationSettings settings;
    // "--vdd 9 is not a voltage (volts, up to 6.5)"; empty when the options hold.
    QString error;
    [[nodiscard]] bool ok() const { return error.isEmpty(); }
};

// The settings of the next operation from `stored`, with `options` over them.
// Without options (the window) a number stored as "Send-Ahead Window" counts as
// lock-step: the window offers only "Lock-Step" and "Automatic".
[[nodiscard]] OperationSettingsResult build_operation_settings(
    const SettingsStore& stored, const OperationOptions* options = nullptr);

// Gives `state` the settings. Never while an operation runs: its script and
// window were chosen at its start. A measured window is left as it is.
void apply_operation_settings(const OperationSettings& settings, ProgramState& state);

}  // namespace corvanel
