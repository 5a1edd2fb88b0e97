// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/script_runner.h"

#include <algorithm>
#include <utility>

#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_operations.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/program_state.h"
#include "core/engine/supply_limits.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

using Kind = InstructionKind;

KindMemory memory_of(Kind kind) {
    return traits_of(kind).memory;
}

// Sets the flag for the length of a step, also when the step returns early.
class StepGuard {
public:
    explicit StepGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~StepGuard() { flag_ = false; }
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;

private:
    bool& flag_;
};

}  // namespace

void ScriptRunner::load_script(const InstructionList& instructions) {
    script_ = instructions.empty() ? InstructionList{std::string()} : instructions;
    decoded_.clear();
    decoded_.reserve(script_.size());
    for (const std::string& text : script_) {
        decoded_.push_back(decode_instruction(text));
    }
    erases_by_region_ = std::any_of(decoded_.begin(), decoded_.end(), [](const auto& decoded) {
        return decoded.kind == Kind::EraseRegions;
    });
}

void ScriptRunner::stop() {
    reset_send_ahead();
    position_.instruction = script_length() + 1;
    position_.phase = 0;
    position_.word_accumulator = 0;
    operation_name.clear();
}

void ScriptRunner::run_step() {
    ProgrammerLink& link = state_.link;
    if (link.vpp_test_on || in_step_) {
        return;
    }
    const StepGuard guard(in_step_);
    ++steps_run_;
    link.set_receive_notification(0);
    if (running() && step_limit != 0 && ++operation_steps > step_limit) {
        abort_operation(state_, kScriptTooLongText);
        return;
    }

    std::size_t index = 0;
    StepEnd end = StepEnd::Finished;
    for (;;) {
        if (sending_ahead()) {
            end = step_sending_ahead(index);
        } else if (position_.instruction >= 1 && position_.instruction <= script_length()) {
            index = static_cast<std::size_t>(position_.instruction - 1);
            end = execute_step(index);
        }
        if (end != StepEnd::Finished) {
            break;
        }
        finish();
        if (!continued_) {
            return;
        }
        continued_ = false;  // the completion routine loaded the next script: its first step
    }
    if (end == StepEnd::Unrecognized) {
        EngineHost& host = state_.engine_host();
        const std::string instruction = script_[index];
        (void)host.show_message(unrecognized_instruction_text(instruction), message_kind::kError,
                                "");
        stop();
        // The chip may be powered by an earlier "begin": it must not stay so, and
        // commands sent ahead may still be on their way (or lost on the line).
        link.voltages_off_after_fault();
        host.end_program();
        return;
    }
    // Commands gathered into a block go out when no answer is left to bring the
    // next step.
    link.flush_when_idle();
    awaiting_since_ = state_.engine_host().clock_seconds();
    link.set_receive_notification(1);
}

void ScriptRunner::finish() {
    position_.instruction = script_length() + 1;
    if (running() && answers_after_end(state_)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    completing_ = true;
    run_completion_routine(state_, operation_name);
    completing_ = false;
    if (!continued_) {
        operation_name.clear();
    }
}

void ScriptRunner::continue_with(const InstructionList& next) {
    load_script(next);
    rewind();
    // The script before has had every answer: sending ahead starts afresh, as at
    // an operation's first step, or the next byte would count as one too many.
    reset_send_ahead();
    continued_ = true;
}

std::int32_t ScriptRunner::after_next(std::int32_t from, InstructionKind kind) const {
    for (std::int32_t n = std::max(from, 1); n <= script_length(); ++n) {
        if (decoded_[static_cast<std::size_t>(n - 1)].kind == kind) {
            return n + 1;
        }
    }
    return script_length() + 1;
}

std::int32_t ScriptRunner::effective_page_size() const {
    return std::clamp(state_.model.page_size, 1, kMaxFlashSize);
}

void ScriptRunner::show_progress(InstructionKind kind) {
    std::string text;
    switch (memory_of(kind)) {
        case KindMemory::Flash:
        case KindMemory::Eeprom:
            text = memory_of(kind) == KindMemory::Flash ? "F:" : "E:";
            text += std::to_string(static_cast<std::int64_t>(position_.address) + 1);
            text += '/';
            text += std::to_string(static_cast<std::int64_t>(position_.loop_end) + 1);
            break;
        case KindMemory::Config1:
            text = "CONF1:";
            break;
        case KindMemory::Config2:
            text = "CONF2:";
            break;
        case KindMemory::ConfigMore:
            text = "CONF:";
            break;
        case KindMemory::UserId:
            text = "ID:";
            break;
        default:
            return;
    }
    EngineHost& host = state_.engine_host();
    host.set_status_text(text);
    host.process_events();
}

bool ScriptRunner::execute(const DecodedInstruction& instruction) {
    switch (traits_of(instruction.kind).role) {
        case KindRole::Write:
            write_step(instruction);
            return true;
        case KindRole::Read:
            read_step(instruction);
            return true;
        case KindRole::Check:
            check_step(instruction);
            return true;
        case KindRole::Voltages:
            voltages_step(instruction.kind);
            return true;
        case KindRole::Flow:
            flow_step(instruction.kind);
            return true;
        case KindRole::Pause:
            pause_step(instruction);
            return true;
        case KindRole::Command:
            command_step(instruction);
            return true;
        case KindRole::Confirm:
            confirm_step();
            return true;
        case KindRole::None:
            break;
    }
    return false;
}

void ScriptRunner::voltages_step(InstructionKind kind) {
    ProgrammerLink& link = state_.link;
    if (kind == Kind::End) {
        link.voltages_off();
        if (calibration_erased_) {
            calibration_restored_ |= calibration_sent_;
            if (!calibration_at_risk()) {
                calibration_erased_ = false;
                if (saved_calibration_used_ || calibration_on_disk_) {
                    // Back in the chip: the recovery file has served its purpose.
                    saved_calibration_used_ = false;
                    calibration_on_disk_ = false;
                    forget_saved_calibration(state_);
                }
            }
        }
    } else if (keeps_by_erase(OperationKind::Program) &&
               section_writes_kept(position_.instruction)) {
        // The erase left this memory on the chip: a write over cells that were not
        // erased would change them, so the section is not powered up at all.
        position_.instruction = after_next(position_.instruction, Kind::End);
        keep_moving();
        return;
    } else {
        // With the low-voltage entry chosen no Vpp is applied at all. Vpp first is
        // the high-voltage order every part accepts.
        const bool on =
            state_.low_voltage_entry()
                ? link.voltages_on_low_voltage()
                : link.voltages_on(kind == Kind::BeginVppFirst ? VoltageSequence::VppFirst
                                                               : state_.model.voltage_sequence);
        if (!on) {
            // The supplies' limits refused: nothing was sent, and nothing more is.
            EngineHost& host = state_.engine_host();
            state_.operation_refused = true;
            (void)host.show_message(link.refusal, message_kind::kError, "");
            abort_operation(state_, kSupplyRefusedStatus);
            return;
        }
    }
    advance();
}

void ScriptRunner::flow_step(InstructionKind kind) {
    const MemoryImage& image = state_.image;
    const std::int32_t here = position_.instruction;
    switch (kind) {
        case Kind::CalcFlash:
            last_flash = image.last_used_flash();
            break;
        case Kind::CalcFlashPage: {
            // Up to the last word of the page holding the last used word, so that
            // a page-wise program loop always ends on a page boundary.
            const std::int32_t used = image.last_used_flash();
            const std::int32_t page = effective_page_size();
            last_flash = used - (used % page) + page - 1;
            break;
        }
        case Kind::CalcEeprom:
            last_eeprom = image.last_used_eeprom();
            break;
        case Kind::SetFlashLoop:
        case Kind::SetEepromLoop:
        case Kind::SetCalLoop:
            enter_loop(kind);
            keep_moving();
            return;
        case Kind::Loop:
            end_loop_pass();
            keep_moving();
            return;
        case Kind::IfPage:
            if (position_.address > 0 && position_.address % effective_page_size() == 0) {
                advance();
            } else {
                position_.instruction = after_next(here, Kind::EndIfPage);
            }
            keep_moving();
            return;
        case Kind::IfUserIds:
            if (image.user_ids_used()) {
                advance();
            } else {
                position_.instruction = after_next(here, Kind::EndIfUserIds);
            }
            keep_moving();
            return;
        default:
            break;  // "endifpage", "endifuserids": only mark where a block ends
    }
    advance();
    keep_moving();
}

void ScriptRunner::enter_loop(InstructionKind kind) {
    const std::int32_t here = position_.instruction;
    position_.loop_start = here;
    if (kind == Kind::SetCalLoop) {
        // Up to the word before the calibration word: a walk of "-next"
        // commands leaves the chip's address counter on it.
        const auto& calibration = state_.model.calibration_word;
        position_.loop_end = calibration ? std::min(calibration->address, last_flash + 1) - 1 : -1;
    } else {
        position_.loop_end = kind == Kind::SetFlashLoop ? last_flash : last_eeprom;
    }
    if (position_.address <= position_.loop_end) {
        position_.loop_pass_address = position_.address;
        advance();
    } else {
        position_.address = 0;
        position_.loop_start = 0;  // skipped: this loop has ended as well
        position_.instruction = after_next(here, Kind::Loop);
    }
}

void ScriptRunner::end_loop_pass() {
    if (position_.loop_start >= 1 && position_.loop_start <= script_length() &&
        position_.address != position_.loop_pass_address) {
        position_.instruction = position_.loop_start;
        return;
    }
    if (position_.loop_start >= 1) {
        position_.address = 0;
    }
    // The loop has ended: a later "loop" with no loop-set of its own must not
    // return here (that would cycle for ever).
    position_.loop_start = 0;
    advance();
}

int ScriptRunner::pause_ms(const DecodedInstruction& instruction) const {
    return std::max(
        instruction.kind == Kind::Wait ? instruction.value : state_.model.programming_time, 0);
}

int ScriptRunner::next_board_wait_ms(const DecodedInstruction& instruction) const {
    const int left = position_.phase == 0 ? pause_ms(instruction) : position_.word_accumulator;
    return std::min(left, kMostBoardWaitMs);
}

void ScriptRunner::pause_step(const DecodedInstruction& instruction) {
    const int milliseconds = pause_ms(instruction);
    if (state_.link.board_waits && milliseconds > 0) {
        // The board keeps the chip's time (104 4Ah), so the host need not wait for
        // the commands before the pause to have run. One 4Ah carries up to 255 ms:
        // a longer pause goes out as several, one a step, the rest kept meanwhile.
        const int left = position_.phase == 0 ? milliseconds : position_.word_accumulator;
        const int now = next_board_wait_ms(instruction);
        state_.link.send_board_wait(static_cast<std::uint8_t>(now));
        if (left > now) {
            position_.phase = 1;
            position_.word_accumulator = left - now;
            return;
        }
        position_.phase = 0;
        position_.word_accumulator = 0;
        advance();
        return;
    }
    state_.engine_host().pause(milliseconds);
    state_.link.note_pause(milliseconds);
    advance();
    keep_moving();
}

void ScriptRunner::command_step(const DecodedInstruction& instruction) {
    if (instruction.kind == Kind::StepCommand) {
        state_.link.send_chip_command(instruction.code);
        ++position_.address;  // its kind moves the address
        advance();
        return;
    }
    // Anything but the loads, reads and address moves may change the chip (the
    // set's row says which codes those are): after it, a kept calibration lives
    // only in the program until written back.
    if (!keeps_memory(*state_.link.encoder.set, instruction.code) && !calibration_erased_ &&
        (kept_calibration_word >= 0 || kept_calibration_bits >= 0)) {
        const CalibrationKept on_disk = keep_calibration_before_erase(
            state_, SavedCalibration{kept_calibration_word, kept_calibration_bits});
        if (on_disk == CalibrationKept::Refused) {
            abort_operation(state_, kCalibrationNotSavedStatus);
            return;
        }
        calibration_on_disk_ = on_disk == CalibrationKept::Saved;
        calibration_erased_ = true;
    }
    state_.link.send_chip_command(instruction.code);
    advance();
}

void ScriptRunner::confirm_step() {
    if (!confirm_device_id(state_)) {
        return;  // refused: the operation has ended, the voltages are off
    }
    advance();
    keep_moving();
}

bool ScriptRunner::keeps_by_erase(OperationKind kind) const {
    if (state_.erase_keeps.none() || operation_name != corvanel::operation_name(kind)) {
        return false;
    }
    // A Program All keeps by its own erase; its Verify follows it.
    return kind == OperationKind::Verify || erases_by_region_;
}

bool ScriptRunner::kept_by_erase(InstructionKind kind) const {
    const RegionSelection& kept = state_.erase_keeps;
    switch (memory_of(kind)) {
        case KindMemory::Flash:
            return kept.flash;
        case KindMemory::Eeprom:
            return kept.eeprom;
        case KindMemory::UserId:
            return kept.user_ids;
        case KindMemory::Config1:
        case KindMemory::Config2:
        case KindMemory::ConfigMore:
            return kept.config;
        default:
            return false;
    }
}

bool ScriptRunner::section_writes_kept(std::int32_t begin) const {
    for (std::int32_t n = begin + 1; n <= script_length(); ++n) {
        const Kind kind = decoded_[static_cast<std::size_t>(n - 1)].kind;
        if (kind == Kind::End) {
            break;
        }
        if (traits_of(kind).role == KindRole::Write && kept_by_erase(kind)) {
            return true;
        }
    }
    return false;
}

std::int32_t ScriptRunner::regions_to_erase() const {
    const EraseRegionBits& bits = state_.link.encoder.set->erase_regions;
    // Erase All names every region the chip has; only Program All keeps any.
    const RegionSelection kept =
        keeps_by_erase(OperationKind::Program) ? state_.erase_keeps : kNoRegions;
    std::int32_t payload = 0;
    payload |= kept.flash ? 0 : bits.flash;
    payload |= kept.user_ids ? 0 : bits.user_ids;
    payload |= kept.config ? 0 : bits.config;
    payload |= kept.eeprom || state_.image.eeprom_size == 0 ? 0 : bits.eeprom;
    return payload;
}

void ScriptRunner::write_step(const DecodedInstruction& instruction) {
    ProgrammerLink& link = state_.link;
    if (position_.phase == 0 && instruction.kind == Kind::EraseRegions &&
        keeps_by_erase(OperationKind::Program) && (program_memory_hidden || data_memory_hidden)) {
        // Nothing has been erased yet: the chip is as it was. The status says why;
        // the caller keeps the memories by reading them instead.
        abort_operation(state_, kRegionEraseProtectedText);
        return;
    }
    if (position_.phase == 0) {
        show_progress(instruction.kind);
        link.send_chip_command(instruction.code);
        position_.phase = 1;
        return;
    }
    if (position_.phase != 1) {
        return;  // a stray byte in the middle of a read: dropped
    }
    link.send_data_word(write_value(instruction));
    if (instruction.kind == Kind::WriteCalFlash) {
        calibration_sent_ |= 1;
    } else if (instruction.kind == Kind::WriteCalConfig) {
        calibration_sent_ |= 2;
    }
    position_.phase = 0;
    if (traits_of(instruction.kind).moves_address) {
        ++position_.address;
    }
    advance();
}

void ScriptRunner::read_step(const DecodedInstruction& instruction) {
    ProgrammerLink& link = state_.link;
    MemoryImage& image = state_.image;
    switch (position_.phase) {
        case 0:
            show_progress(instruction.kind);
            link.send_chip_command(instruction.code);
            position_.phase = 1;
            return;
        case 1:
            position_.word_accumulator = 0;
            link.request_data_word();
            position_.phase = 2;
            return;
        default:
            break;
    }
    // The command set's row says how many bytes answer a read: the word, low
    // byte first, then the board's last byte, which starts the next instruction.
    const int byte_index = position_.phase - 2;
    position_.word_accumulator += link.received_byte << (8 * byte_index);
    if (byte_index + 2 < link.encoder.set->read_answer_bytes) {
        ++position_.phase;
        return;
    }
    if (!word_fits(instruction.kind, position_.word_accumulator)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    switch (instruction.kind) {
        case Kind::ReadFlash:
            image.set_flash_word(position_.address, position_.word_accumulator);
            break;
        case Kind::ReadEeprom:
            image.set_eeprom_byte(position_.address, position_.word_accumulator % 256);
            break;
        case Kind::ReadConfig1:
            image.config1 = position_.word_accumulator;
            break;
        case Kind::ReadConfig2:
            image.config2 = position_.word_accumulator;
            break;
        case Kind::ReadConfigMore:
            (void)image.set_config_word(instruction.value, position_.word_accumulator);
            break;
        case Kind::ReadRevision:
            revision_word = position_.word_accumulator;
            break;
        case Kind::ReadDeviceId:
            device_id_word = position_.word_accumulator;
            break;
        case Kind::ReadUserId:
            (void)image.set_user_id(instruction.value, position_.word_accumulator);
            break;
        case Kind::ReadProtection: {
            const ProtectionBits bits = state_.protection();
            program_memory_hidden = bits.program_protected(position_.word_accumulator);
            data_memory_hidden = bits.data_protected(position_.word_accumulator);
            break;
        }
        case Kind::ReadCalFlash:
        case Kind::ReadCalConfig:
        case Kind::ReadCalSpace1:
        case Kind::ReadCalSpace2:
            if (!keep_calibration(instruction.kind, position_.word_accumulator)) {
                return;  // not a calibration value: the operation has stopped
            }
            break;
        default:
            temp_word = position_.word_accumulator;
            break;
    }
    if (traits_of(instruction.kind).moves_address) {
        ++position_.address;
    }
    position_.phase = 0;
    position_.word_accumulator = 0;
    advance();
}

void ScriptRunner::check_step(const DecodedInstruction& instruction) {
    const InstructionKind kind = instruction.kind;
    if (!word_fits(kind, temp_word)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    show_progress(kind);
    const std::int32_t at = located_by_value(kind) ? instruction.value : position_.address;
    if (traits_of(kind).moves_address) {
        ++position_.address;
    }
    advance();
    if (compare_temp_word(kind, at)) {
        // The 25th mismatch: on to the last instruction (normally "end").
        position_.instruction = script_length();
    }
    keep_moving();
}

bool ScriptRunner::temp_word_fits(InstructionKind kind) const {
    return word_fits(kind, temp_word);
}

bool ScriptRunner::compare_temp_word(InstructionKind kind, std::int32_t at) {
    const MemoryImage& image = state_.image;
    std::int32_t read = temp_word;
    std::int32_t expected = 0;
    // Configuration words are compared on the bits the chip implements only: the
    // others read back as the silicon pleases, whatever the file holds there.
    std::int32_t compared_bits = kWholeWordMask;
    std::string location;
    std::string expected_text;
    switch (kind) {
        case Kind::CheckBlankFlash:
        case Kind::CheckFlash:
            expected = kind == Kind::CheckFlash ? image.flash_word(at) : kBlankFlashWord;
            location = "FLASH Word " + hex4h(at);
            break;
        case Kind::CheckBlankEeprom:
        case Kind::CheckEeprom:
            read = temp_word % 256;
            expected = kind == Kind::CheckEeprom ? image.eeprom_byte(at) : kBlankEepromByte;
            location = "EEPROM Byte " + hex4h(at);
            break;
        case Kind::CheckUserId:
            expected = image.user_id(at);
            location = "ID Word " + hex4h(image.map.user_id_address + at);
            break;
        case Kind::CheckBlankConfig1:
        case Kind::CheckConfig1:
            expected = kind == Kind::CheckConfig1 ? image.config1 : image.config_erased1;
            location = "CONF Word " + hex4h(image.map.config_word_address(1));
            // Calibration bits are the chip's own, not the file's.
            compared_bits = state_.model.config_mask1 & ~state_.model.calibration_config_bits;
            break;
        case Kind::CheckBlankConfigMore:
        case Kind::CheckConfigMore:
            expected =
                kind == Kind::CheckConfigMore ? image.config_word(at) : image.config_erased(at);
            location = "CONF Word " + hex4h(image.map.config_word_address(at));
            compared_bits = state_.model.config_mask(at);
            break;
        default:
            expected = kind == Kind::CheckConfig2 ? image.config2 : image.config_erased2;
            location = "CONF Word " + hex4h(image.map.config_word_address(2));
            compared_bits = state_.model.config_mask2;
            break;
    }
    const bool calibration = (memory_of(kind) == KindMemory::Flash && at_calibration_word(at));
    // A code-protected chip reads 0 where it hides a memory: nothing to compare.
    // (A blank check still fails there: a protected chip is not blank.)
    const bool hidden = (kind == Kind::CheckFlash && program_memory_hidden) ||
                        (kind == Kind::CheckEeprom && data_memory_hidden);
    // What the region erase kept is the chip's own, not the image's.
    const bool kept = keeps_by_erase(OperationKind::Verify) && kept_by_erase(kind);
    if (!calibration && !hidden && !kept && (read & compared_bits) != (expected & compared_bits)) {
        const bool eeprom = memory_of(kind) == KindMemory::Eeprom;
        const std::string read_text = eeprom ? hex2h(read) : hex4h(read);
        expected_text = eeprom ? hex2h(expected) : hex4h(expected);
        return state_.report.record_mismatch(location, read_text, expected_text);
    }
    return false;
}

bool ScriptRunner::at_calibration_word(std::int32_t at) const {
    const auto& calibration = state_.model.calibration_word;
    return calibration && calibration->address == at;
}

std::int32_t ScriptRunner::write_value(const DecodedInstruction& instruction) const {
    const MemoryImage& image = state_.image;
    const std::int32_t bits = state_.model.calibration_config_bits;
    switch (instruction.kind) {
        case Kind::WriteFlash:
            // The chip's own calibration goes back where the image may hold anything.
            if (at_calibration_word(position_.address) && kept_calibration_word >= 0) {
                return kept_calibration_word;
            }
            return image.flash_word(position_.address);
        case Kind::WriteEeprom:
            return image.eeprom_byte(position_.address);
        case Kind::WriteConfig1:
            if (bits != 0 && kept_calibration_bits >= 0) {
                return (image.config1 & ~bits) | kept_calibration_bits;
            }
            return image.config1;
        case Kind::WriteConfig2:
            return image.config2;
        case Kind::WriteConfigMore:
            return image.config_word(instruction.value);
        case Kind::WriteUserId:
            return image.user_id(instruction.value);
        case Kind::WriteCalFlash:
            return kept_calibration_word >= 0 ? kept_calibration_word : kBlankFlashWord;
        case Kind::WriteCalConfig:
            return kept_calibration_bits >= 0 ? (kBlankFlashWord & ~bits) | kept_calibration_bits
                                              : kBlankFlashWord;
        case Kind::WriteRowStart: {
            const std::int32_t page = effective_page_size();
            return position_.address > 0 ? (position_.address - 1) / page * page : 0;
        }
        case Kind::WriteAddress:
            return position_.address;
        case Kind::EraseRegions:
            return regions_to_erase();
        case Kind::WriteCalSpace1:
        case Kind::WriteCalSpace2: {
            const std::int32_t kept =
                kept_calibration_space[instruction.kind == Kind::WriteCalSpace1 ? 0 : 1];
            return kept >= 0 ? kept : kBlankFlashWord;
        }
        default:
            return instruction.value;
    }
}

bool ScriptRunner::calibration_at_risk() const {
    return calibration_erased_ &&
           ((kept_calibration_word >= 0 && (calibration_restored_ & 1) == 0) ||
            (kept_calibration_bits >= 0 && (calibration_restored_ & 2) == 0));
}

void ScriptRunner::reset_calibration() {
    calibration_reads_[0] = calibration_reads_[1] = -1;
    calibration_erased_ = false;
    calibration_sent_ = calibration_restored_ = 0;
    saved_calibration_bits_ = -1;
    saved_calibration_used_ = false;
    calibration_on_disk_ = false;
}

bool ScriptRunner::stop_for_unsteady_calibration(const char* what, std::int32_t first,
                                                 std::int32_t second) {
    abort_operation(state_, kUnsteadyCalibrationStatus);
    (void)state_.engine_host().show_message(
        std::string("The ") + what + " read " + hex4h(first) + " and then " + hex4h(second) +
            ".\r\nThe line to the board is not reliable enough to keep the chip's calibration: "
            "the operation stopped before anything was erased or written.",
        message_kind::kError, "");
    return false;
}

bool ScriptRunner::keep_calibration(InstructionKind kind, std::int32_t word) {
    switch (kind) {
        case Kind::ReadCalFlash: {
            // Each calibration value is read twice: a garbled answer must not become
            // the chip's calibration for good.
            if (calibration_reads_[0] >= 0) {
                if (word != calibration_reads_[0]) {
                    return stop_for_unsteady_calibration("calibration word", calibration_reads_[0],
                                                         word);
                }
                break;  // the same word again: kept as before
            }
            calibration_reads_[0] = word;
            const auto& calibration = state_.model.calibration_word;
            if (const auto saved = offer_saved_calibration(state_, word)) {
                kept_calibration_word = saved->word;
                saved_calibration_bits_ = saved->bits;
                saved_calibration_used_ = true;
                break;
            }
            if (calibration && !calibration->accepts(word)) {
                // A chip that lost its calibration gets the value the user put
                // into the image (from the chip's label or an earlier read).
                const std::int32_t own = state_.image.flash_word(calibration->address);
                if (calibration->accepts(own)) {
                    kept_calibration_word = own;
                    return true;
                }
                // Writing it back would make a wrong value the chip's calibration.
                abort_operation(state_, kBadCalibrationStatus);
                (void)state_.engine_host().show_message(bad_calibration_text(*calibration, word),
                                                        message_kind::kError, "");
                return false;
            }
            kept_calibration_word = word;
            break;
        }
        case Kind::ReadCalConfig:
            if (calibration_reads_[1] >= 0 && word != calibration_reads_[1]) {
                return stop_for_unsteady_calibration("configuration word", calibration_reads_[1],
                                                     word);
            }
            calibration_reads_[1] = word;
            kept_calibration_bits =
                saved_calibration_bits_ >= 0
                    ? saved_calibration_bits_ & state_.model.calibration_config_bits
                    : word & state_.model.calibration_config_bits;
            break;
        case Kind::ReadCalSpace1:
            kept_calibration_space[0] = word;
            break;
        default:
            kept_calibration_space[1] = word;
            break;
    }
    return true;
}

}  // namespace corvanel
