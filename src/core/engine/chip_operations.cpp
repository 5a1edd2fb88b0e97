// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/chip_operations.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>

#include "core/engine/board_identify.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_identify.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/program_state.h"
#include "core/engine/send_ahead_probe.h"
#include "core/engine/supply_limits.h"
#include "core/engine/vdd_guard.h"
#include "core/engine/vpp_guard.h"

namespace corvanel {

namespace {

struct OperationRow {
    OperationKind kind;
    std::string_view name;
    std::string_view start_text;
};

constexpr std::array<OperationRow, 5> kOperations{{
    {OperationKind::Program, "program", "Begin program all."},
    {OperationKind::Erase, "erase", "Begin erase all."},
    {OperationKind::Read, "read", "Begin read all."},
    {OperationKind::Blank, "blank", "Begin blank check."},
    {OperationKind::Verify, "verify", "Begin verify."},
}};

const OperationRow& row_of(OperationKind kind) {
    return kOperations[static_cast<std::size_t>(kind)];
}

const InstructionList& algorithm_of(const ActiveModel& model, OperationKind kind) {
    switch (kind) {
        case OperationKind::Program:
            return model.program_list;
        case OperationKind::Erase:
            return model.erase_list;
        case OperationKind::Read:
            return model.read_list;
        case OperationKind::Blank:
            return model.blank_list;
        case OperationKind::Verify:
            break;
    }
    return model.verify_list;
}

// Steps 1 to 4 of every completion routine: unlock, time, result text.
void report_result(ProgramState& state, std::string_view result_text) {
    EngineHost& host = state.engine_host();
    host.enable_commands();
    state.elapsed_text = elapsed_seconds_text(host.clock_seconds() - state.start_time);
    std::string status(result_text);
    status.append(state.elapsed_text).append(" seconds elapsed...");
    host.set_status_text(status);
    host.process_events();
}

void report_check(ProgramState& state, std::string_view passed, std::string_view failed,
                  std::string_view message_heading) {
    const bool differs = state.report.mismatch_count != 0;
    report_result(state, differs ? failed : passed);
    if (differs) {
        EngineHost& host = state.engine_host();
        std::string text(message_heading);
        text.append("\r\n\r\n").append(state.report.mismatch_report);
        (void)host.show_message(text, message_kind::kError, "");
        host.process_events();
    }
}

}  // namespace

std::string_view operation_name(OperationKind kind) {
    return row_of(kind).name;
}

std::optional<OperationKind> operation_from_name(std::string_view name) {
    for (const auto& row : kOperations) {
        if (row.name == name) {
            return row.kind;
        }
    }
    return std::nullopt;
}

std::optional<StartResult> start_refused(ProgramState& state) {
    const ScriptRunner& runner = state.runner;
    if (runner.running() || runner.in_step()) {
        return StartResult::Busy;
    }
    if (!state.link.port_ready && state.link.reopen_lost_port) {
        (void)state.link.reopen_lost_port();
    }
    if (!state.link.port_ready) {
        const std::string& fault = state.link.port_fault;
        state.engine_host().set_status_text("Serial port " +
                                            std::to_string(state.link.port_number) + " error!" +
                                            (fault.empty() ? "" : " " + fault));
        return StartResult::PortNotReady;
    }
    return std::nullopt;
}

void reset_for_new_script(ProgramState& state, bool continues) {
    ScriptRunner& runner = state.runner;
    runner.device_id_word = -1;
    runner.revision_word = -1;
    if (!continues) {
        runner.kept_calibration_word = -1;
        runner.kept_calibration_bits = -1;
        runner.kept_calibration_space[0] = runner.kept_calibration_space[1] = -1;
        runner.reset_calibration();
    }
    runner.program_memory_hidden = false;
    runner.data_memory_hidden = false;
    state.operation_refused = false;
    state.operation_failed = false;
    state.stop_requested = false;  // a stop asked of an earlier operation
    runner.forget_loop();
    runner.last_flash = state.image.flash_size - 1;
    runner.last_eeprom = state.image.eeprom_size - 1;
    runner.operation_steps = 0;
    runner.reset_send_ahead();
    runner.step_limit = operation_step_limit(state.image, runner.script_length());
}

StartResult start_operation(ProgramState& state, OperationKind kind) {
    return start_operation_on(state, kind, algorithm_of(state.model, kind), false);
}

StartResult start_operation_on(ProgramState& state, OperationKind kind,
                               const InstructionList& algorithm, bool continues) {
    if (const auto refused = start_refused(state)) {
        return *refused;
    }
    state.operation_refused = false;
    // A board that identified itself is asked again: its Vpp may have been
    // turned since, and the guards must see what reaches the chip now. One whose
    // answer came garbled may answer clearly now.
    if (state.board_answer == BoardAnswer::Identified ||
        state.board_answer == BoardAnswer::Garbled) {
        (void)identify_board(state);
    }
    if (!check_programming_entry(state) ||
        !check_supply_limits(state, state.low_voltage_entry(), kSupplyRefusedStatus) ||
        !confirm_board_vdd(state, kind) || !confirm_board_vpp(state, kind)) {
        return StartResult::Refused;
    }
    prepare_vdd_select(state);
    state.link.encoder.set = state.model.command_set;
    ScriptRunner& runner = state.runner;
    EngineHost& host = state.engine_host();
    const OperationRow& row = row_of(kind);

    // Every operation on a model with a device ID reads the ID first.
    runner.load_script(continues ? algorithm : guarded_script(state, kind, algorithm));
    reset_for_new_script(state, continues);
    state.start_time = host.clock_seconds();
    if (kind == OperationKind::Blank || kind == OperationKind::Verify) {
        state.report.reset_report();
    }
    host.disable_commands();
    std::string start_text(row.start_text);
    if (state.auto_window) {
        // Measured before the operation's first command, with the voltages off.
        start_text.append(" ").append(send_ahead_text(choose_send_ahead(state, kind)));
    }
    host.set_status_text(start_text);
    host.process_events();
    if (kind == OperationKind::Read) {
        // Kept until the read has succeeded: a failed read leaves the image as it was.
        state.image_before_read = state.image;
        state.image.clear_image();
        host.redraw_tables();
        host.process_events();
    }

    // Answers to commands sent outside an operation ("Test Vpp", an aborted
    // operation's last command) would otherwise be taken for the first answer.
    state.link.discard_waiting_bytes();
    // Every operation starts between instructions. (Resetting the phase on every
    // step of instruction 1 instead would restart a script that begins with a
    // multi-step instruction for ever.)
    runner.rewind();
    // Named before the first step so that a first step ending the program
    // leaves no operation behind; the first step never finishes a script.
    runner.operation_name = std::string(row.name);
    runner.run_step();
    return StartResult::Started;
}

void program2_routine(ProgramState& state) {
    report_result(state, "Chip programmed. ");
}

void erase2_routine(ProgramState& state) {
    report_result(state, "Chip erased. ");
}

void read2_routine(ProgramState& state) {
    state.image_before_read.reset();
    state.image_cut_short = false;  // the image is now the chip's
    // A protected chip answers every read of its hidden memory with 0000h (the
    // enhanced parts' EEPROM with 00h): the words in the image are not its program.
    ScriptRunner& runner = state.runner;
    const ProtectionBits protection = state.protection();
    runner.program_memory_hidden = protection.program_protected(state.image);
    runner.data_memory_hidden =
        state.image.eeprom_size > 0 && protection.data_protected(state.image);
    const std::string hidden = hidden_memory_text(runner);
    report_result(state,
                  hidden.empty() ? std::string("Chip read. ") : "Chip read. " + hidden + " ");
    EngineHost& host = state.engine_host();
    host.redraw_tables();
    host.process_events();
    if (!hidden.empty() && !state.read_to_keep) {
        (void)host.show_message(hidden, message_kind::kInformation, "");
        host.process_events();
    }
}

void blank2_routine(ProgramState& state) {
    report_check(state, "Chip is blank. ", "Chip is not blank. ", "Chip is not blank:");
}

void verify2_routine(ProgramState& state) {
    const std::string hidden = hidden_memory_text(state.runner);
    if (hidden.empty()) {
        report_check(state, "Chip verified. ", "Chip verify failed. ", "Chip verify failed:");
        return;
    }
    // What could be read was compared; the rest is said, not counted as mismatches.
    if (state.report.mismatch_count != 0) {
        report_check(state, "Chip verify failed. ", "Chip verify failed. ",
                     "Chip verify failed:\r\n" + hidden);
        return;
    }
    report_result(state, hidden + " ");
    EngineHost& host = state.engine_host();
    (void)host.show_message(hidden, message_kind::kInformation, "");
    host.process_events();
}

std::string hidden_memory_text(const ScriptRunner& runner) {
    std::string text;
    if (runner.program_memory_hidden) {
        text = std::string(kProgramMemoryHiddenText);
    }
    if (runner.data_memory_hidden) {
        text += text.empty() ? "" : " ";
        text += kDataMemoryHiddenText;
    }
    return text;
}

bool verify_incomplete(const ScriptRunner& runner) {
    return runner.program_memory_hidden || runner.data_memory_hidden;
}

void run_completion_routine(ProgramState& state, std::string_view name) {
    if (name == kIdentifyOperationName) {
        identify2_routine(state);
        return;
    }
    const std::optional<OperationKind> kind = operation_from_name(name);
    if (!kind) {
        return;
    }
    switch (*kind) {
        case OperationKind::Program:
            program2_routine(state);
            break;
        case OperationKind::Erase:
            erase2_routine(state);
            break;
        case OperationKind::Read:
            read2_routine(state);
            break;
        case OperationKind::Blank:
            blank2_routine(state);
            break;
        case OperationKind::Verify:
            verify2_routine(state);
            break;
    }
}

std::string elapsed_seconds_text(double seconds) {
    // A clock that went backwards (or across midnight) must not show a minus sign.
    if (!(seconds > 0.0)) {
        seconds = 0.0;
    }
    seconds = std::min(seconds, 1e12);
    // A tiny allowance keeps 2.3 s, held in binary as 2.2999..., from showing 2.29.
    const auto hundredths = static_cast<std::int64_t>(std::floor(seconds * 100.0 + 1e-6));
    const std::int64_t fraction = hundredths % 100;
    std::string text = std::to_string(hundredths / 100);
    text += '.';
    text += static_cast<char>('0' + fraction / 10);
    text += static_cast<char>('0' + fraction % 10);
    return text;
}

bool check_timeout(ProgramState& state, double now) {
    ScriptRunner& runner = state.runner;
    if (!runner.running() || runner.in_step()) {
        return false;
    }
    if (state.link.vpp_test_on) {
        runner.restart_wait(now);
        return false;
    }
    // The board runs the waits it was handed before the answers behind them.
    const double board_waits = state.link.board_wait_due_ms() / 1000.0;
    if (now - runner.awaiting_since() <= kAnswerTimeoutSeconds + board_waits) {
        return false;
    }
    // A window that lost answers is given up for this port (automatic send-ahead).
    note_send_ahead_failure(state);
    // The same way out as every other abort: voltages off (best effort: a board
    // that hears again must not keep the chip powered), and a Read All puts the
    // image it replaced back, so no partly read image stands under the old name.
    abort_operation(state, kNotRespondingText);
    name_board_refusal(state);
    return true;
}

void name_board_refusal(ProgramState& state) {
    // A board of version 2 leaves a voltages-on it refused unanswered and keeps
    // the reason for identify: the voltages are off again by now.
    if (state.board_answer != BoardAnswer::Identified || !state.board ||
        state.board->version < board_identity::kVersion2) {
        return;
    }
    if (identify_board(state) != BoardAnswer::Identified || !state.board) {
        return;
    }
    const std::string reason = board_refusal_text(*state.board);
    if (reason.empty()) {
        return;
    }
    EngineHost& host = state.engine_host();
    state.operation_refused = true;
    (void)host.show_message("The board refused to switch the voltages on: " + reason,
                            message_kind::kError, "");
    host.set_status_text(kBoardRefusedText);
    host.process_events();
}

void abort_operation(ProgramState& state, std::string_view status_text) {
    ScriptRunner& runner = state.runner;
    const bool was_read = runner.operation_name == operation_name(OperationKind::Read);
    const bool calibration_lost = runner.calibration_at_risk();
    if (status_text == kOutOfStepText) {
        note_send_ahead_failure(state);
    }
    runner.stop();
    state.operation_failed = true;
    state.link.set_receive_notification(0);
    // Every way out of an operation leaves the chip unpowered, also on a line
    // that lost part of a command the board is still waiting to complete.
    state.link.voltages_off_after_fault();
    if (was_read && state.image_before_read) {
        state.image = *state.image_before_read;
    }
    state.image_before_read.reset();
    EngineHost& host = state.engine_host();
    host.enable_commands();
    if (was_read) {
        host.redraw_tables();
    }
    host.set_status_text(status_text);
    host.process_events();
    if (calibration_lost) {
        rescue_calibration(state);
    }
}

bool answers_after_end(ProgramState& state) {
    ProgrammerLink& link = state.link;
    if (link.undelivered_bytes() > 0) {
        return true;  // more bytes came in the same batch as the final answer
    }
    EngineHost& host = state.engine_host();
    const double start = host.clock_seconds();
    // Not the host's pause: that is the script's own time (and may be skipped).
    // A host whose clock stands still (a test's) gets one look only, and so does
    // a board in this process, whose answers are all there already.
    const bool at_once = link.channel != nullptr && link.channel->answers_at_once();
    constexpr auto kRound = std::chrono::milliseconds(2);
    for (;;) {
        host.process_events();
        const bool came = link.discard_waiting_bytes() > 0;
        const double waited = host.clock_seconds() - start;
        if (came || at_once || !(waited > 0.0) || waited >= kSettleSeconds) {
            state.settle_seconds += std::max(waited, 0.0);
            return came;
        }
        std::this_thread::sleep_for(kRound);
    }
}

std::uint64_t operation_step_limit(const MemoryImage& image, std::int32_t script_length) {
    const auto locations = static_cast<std::uint64_t>(std::max(image.flash_size, 0)) +
                           static_cast<std::uint64_t>(std::max(image.eeprom_size, 0)) + 2 +
                           kUserIdCount;
    const auto length = static_cast<std::uint64_t>(std::max(script_length, 1));
    constexpr std::uint64_t kStepsPerInstruction = 2 * 4;
    return kStepsPerInstruction * length * locations + 1000;
}

}  // namespace corvanel
