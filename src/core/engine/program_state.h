// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program-wide single instances, gathered in one object created at start-up
// so that every test can create its own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/devices/config_fields.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/devices/programming_entry.h"
#include "core/engine/board_identify.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/engine_host.h"
#include "core/engine/mismatch_report.h"
#include "core/engine/region_selection.h"
#include "core/engine/script_runner.h"
#include "core/engine/send_ahead_probe.h"
#include "core/image/memory_image.h"
#include "core/link/programmer_link.h"

namespace corvanel {

struct ProgramState {
    // Wires the link to the interpreter (one step per received byte) and to the
    // host's event processing. The object refers to itself, so it never moves.
    ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    DeviceDatabase database;
    int selected_model = 1;
    ActiveModel model;
    MemoryImage image;
    MismatchReport report;
    ProgrammerLink link;
    ScriptRunner runner;

    // The send-ahead window is measured on the board ("--window auto", the
    // "Send-Ahead Window" setting "Automatic") rather than set: each operation
    // starts with choose_send_ahead. The windows measured, per port.
    bool auto_window = false;
    SendAheadMemory send_ahead_memory;
    // Where a measured window outlives the run, for the link's port and baud rate
    // (the settings); unset: nowhere. Storing nothing forgets it.
    std::function<std::optional<std::int32_t>()> load_measured_window;
    std::function<void(std::optional<std::int32_t>)> store_measured_window;

    // Clock reading when the running operation started, and the elapsed time of
    // the last finished operation ("12.25").
    double start_time = 0.0;
    std::string elapsed_text;
    // The last operation ended without its result: aborted (out of step, time-out,
    // a script that would not end) rather than finished by its completion routine.
    bool operation_failed = false;
    // The image as it was before the running Read All cleared it; put back when
    // the read fails, so that a failed read changes nothing.
    std::optional<MemoryImage> image_before_read;
    // The image came from a HEX file without an end record (it may have been cut
    // short); Program All and Verify ask first. Cleared by Clear Buffer and a
    // finished Read All.
    bool image_cut_short = false;
    // The last Program All or Erase All ended at its device ID check: the chip in
    // the socket was not the model's and the user did not go on.
    bool operation_refused = false;
    // The programming voltage the board gives ("Board Vpp"); nothing when unknown.
    std::optional<double> board_vpp;
    // The supply voltage the board gives ("Board Vdd", the tool's --vdd); nothing
    // when unknown. A board that reports its own Vdd overrides it.
    std::optional<double> board_vdd;
    // What the board said when last asked (identify_board) and its record.
    BoardAnswer board_answer = BoardAnswer::NotAsked;
    std::optional<BoardIdentity> board;
    // The board on the open port has answered identify once: it is never taken for
    // a plain board again until the port is opened anew.
    bool board_spoke = false;
    // The "Programming entry" setting: with low voltage, every "begin" of a model
    // with "lvp: true" sends the low-voltage entry (104 40h) instead of Vpp, and
    // an operation on a model without it is refused before anything is sent.
    ProgrammingEntry programming_entry = ProgrammingEntry::HighVoltage;
    [[nodiscard]] bool low_voltage_entry() const {
        return programming_entry == ProgrammingEntry::LowVoltage && model.low_voltage_entry;
    }
    // Where factory calibration that an ended operation could not write back is
    // kept for the next one (the configuration folder); nothing: it is only shown.
    std::optional<std::filesystem::path> calibration_folder;
    // Calibration the user typed by hand (as printed on the chip's label) for the
    // next Erase All or Program All of a model that keeps calibration: written back
    // in place of what the chip holds, without asking. Taken by that operation's
    // first calibration read; a part left out (-1) keeps the chip's own value.
    std::optional<SavedCalibration> typed_calibration;

    // The configuration word fields of the chips (not owned; may be absent): they
    // say which configuration word and which of its bits turn code protection on.
    const ConfigFieldTable* config_fields = nullptr;
    [[nodiscard]] ProtectionBits protection() const {
        const ProtectionBits bits = config_fields != nullptr
                                        ? protection_bits(config_fields->find(model.model_name))
                                        : ProtectionBits{};
        if (bits.program == 0 && bits.data == 0 && model.command_set->fallback_protection) {
            // The set's usual bits, as far as the model's configuration mask implements
            // them: a part whose protection word holds CP alone (the 16F184xx's CONFIG5)
            // has no CPD, and its EEPROM is never hidden whatever bit 1 of an image says.
            ProtectionBits usual = model.command_set->fallback_protection(image.eeprom_size > 0);
            usual.program &= model.config_mask(usual.word);
            usual.data &= model.config_mask(usual.word);
            return usual;
        }
        return bits;
    }

    // The memories the next Program All leaves on the chip through its region
    // erase ("sCC-regions"), and its Verify therefore does not compare: set by the
    // caller for a Program All and its Verify (see erase_keeps_regions), none
    // otherwise. Its sections that write them are left out.
    RegionSelection erase_keeps = kNoRegions;
    // The next Read All only keeps the chip's memories through a Program All (the
    // window's production series): memory it cannot see is no news to ask about.
    bool read_to_keep = false;

    // Seconds spent watching the line for stray bytes after operations' final
    // answers (for measurements: it is no work of the interpreter).
    double settle_seconds = 0.0;
    // The user asked the running operation to stop: it ends at the board's next
    // answer (see operation_stop.h).
    bool stop_requested = false;

    // Whoever shows the results: the main window, the command-line tool or a test
    // (not owned). Without one, a host that shows nothing.
    EngineHost* host = nullptr;
    [[nodiscard]] EngineHost& engine_host() { return host != nullptr ? *host : null_host_; }

private:
    NullEngineHost null_host_;
};

}  // namespace corvanel
