#include "core/engine/script_runner.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "core/devices/leading_number.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_operations.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

using Kind = InstructionKind;

struct WholeText {
    std::string_view text;
    Kind kind;
};

constexpr std::array<WholeText, 10> kControlWords{{
    {"begin", Kind::Begin},
    {"end", Kind::End},
    {"calcflash", Kind::CalcFlash},
    {"calcflashpage", Kind::CalcFlashPage},
    {"calceeprom", Kind::CalcEeprom},
    {"setflashloop", Kind::SetFlashLoop},
    {"seteepromloop", Kind::SetEepromLoop},
    {"loop", Kind::Loop},
    {"ifpage", Kind::IfPage},
    {"endifpage", Kind::EndIfPage},
}};

constexpr std::array<WholeText, 9> kWriteSuffixes{{
    {"-flash", Kind::WriteFlash},
    {"-eeprom", Kind::WriteEeprom},
    {"-config1", Kind::WriteConfig1},
    {"-config2", Kind::WriteConfig2},
    {"-calflash", Kind::WriteCalFlash},
    {"-calconfig1", Kind::WriteCalConfig},
    {"-calspace1", Kind::WriteCalSpace1},
    {"-calspace2", Kind::WriteCalSpace2},
    {"-next", Kind::StepCommand},
}};

constexpr std::array<WholeText, 10> kReadPrefixes{{
    {"flash=s", Kind::ReadFlash},
    {"eeprom=s", Kind::ReadEeprom},
    {"config1=s", Kind::ReadConfig1},
    {"config2=s", Kind::ReadConfig2},
    {"temp=s", Kind::ReadTemp},
    {"deviceid=s", Kind::ReadDeviceId},
    {"calflash=s", Kind::ReadCalFlash},
    {"calconfig1=s", Kind::ReadCalConfig},
    {"calspace1=s", Kind::ReadCalSpace1},
    {"calspace2=s", Kind::ReadCalSpace2},
}};

constexpr std::array<WholeText, 9> kCheckWords{{
    {"checkblankflash", Kind::CheckBlankFlash},
    {"checkblankeeprom", Kind::CheckBlankEeprom},
    {"checkblankconfig1", Kind::CheckBlankConfig1},
    {"checkblankconfig2", Kind::CheckBlankConfig2},
    {"checkflash", Kind::CheckFlash},
    {"checkeeprom", Kind::CheckEeprom},
    {"checkconfig1", Kind::CheckConfig1},
    {"checkconfig2", Kind::CheckConfig2},
    {"checkdeviceid", Kind::CheckDeviceId},
}};

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

// The hex digits at `position` (counted from 0), in either case; -1 when the
// text is too short or they are not all hex digits.
std::int32_t hex_field(std::string_view text, std::size_t position, std::size_t width) {
    if (text.size() < position + width) {
        return -1;
    }
    const std::string digits = upper(text.substr(position, width));
    return width == 2 ? hexval2(digits) : hexval4(digits);
}

// A code the interpreter cannot send makes the whole instruction unknown.
DecodedInstruction with_code(Kind kind, std::int32_t code, std::int32_t value = 0) {
    if (code < 0 || value < 0) {
        return {};
    }
    return {kind, code, value};
}

bool is_flash_kind(Kind kind) {
    return kind == Kind::WriteFlash || kind == Kind::ReadFlash || kind == Kind::CheckBlankFlash ||
           kind == Kind::CheckFlash;
}

bool is_eeprom_kind(Kind kind) {
    return kind == Kind::WriteEeprom || kind == Kind::ReadEeprom ||
           kind == Kind::CheckBlankEeprom || kind == Kind::CheckEeprom;
}

bool is_config1_kind(Kind kind) {
    return kind == Kind::WriteConfig1 || kind == Kind::ReadConfig1 ||
           kind == Kind::CheckBlankConfig1 || kind == Kind::CheckConfig1;
}

bool is_calibration_read(Kind kind) {
    return kind == Kind::ReadCalFlash || kind == Kind::ReadCalConfig ||
           kind == Kind::ReadCalSpace1 || kind == Kind::ReadCalSpace2;
}

bool is_user_id_kind(Kind kind) {
    return kind == Kind::WriteUserId || kind == Kind::ReadUserId || kind == Kind::CheckUserId;
}

// "-userid1" .. "-userid4" at the end of the text (write), "userid1=s" ..
// "userid4=s" at its start (read), "checkuserid1" .. "checkuserid4" (check):
// the index 0..3 of the word, or -1.
std::int32_t user_id_digit(char digit) {
    return digit >= '1' && digit <= '4' ? digit - '1' : -1;
}

bool is_config2_kind(Kind kind) {
    return kind == Kind::WriteConfig2 || kind == Kind::ReadConfig2 ||
           kind == Kind::CheckBlankConfig2 || kind == Kind::CheckConfig2;
}

// A FLASH or configuration word holds 14 bits and an EEPROM cell 8: a larger
// value read from the board is a byte taken from the wrong place in the answer
// stream (a doubled or lost byte, noise on the line). What a temporary read
// holds is judged by the check that uses it; the EEPROM checks compare the low
// byte only, so their high byte is not judged.
bool answer_fits(Kind kind, std::int32_t value) {
    if (kind == Kind::ReadEeprom) {
        return value >= 0 && value <= kBlankEepromByte;
    }
    if (is_eeprom_kind(kind)) {
        return true;
    }
    if (is_flash_kind(kind) || is_config1_kind(kind) || is_config2_kind(kind) ||
        is_calibration_read(kind) || is_user_id_kind(kind) || kind == Kind::ReadProtection) {
        return value >= 0 && value <= kBlankFlashWord;
    }
    return true;
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

DecodedInstruction decode_instruction(std::string_view text) {
    for (const auto& word : kControlWords) {
        if (text == word.text) {
            return {word.kind};
        }
    }
    if (text == "beginvppvdd") {
        return {Kind::BeginVppFirst};
    }
    if (text == "setcalloop") {
        return {Kind::SetCalLoop};
    }
    if (text == "ifuserids") {
        return {Kind::IfUserIds};
    }
    if (text == "endifuserids") {
        return {Kind::EndIfUserIds};
    }
    constexpr std::string_view kUserIdWrite = "-userid";
    if (text.starts_with('s') && text.size() == 3 + kUserIdWrite.size() + 1 &&
        text.substr(3, kUserIdWrite.size()) == kUserIdWrite) {
        return with_code(Kind::WriteUserId, hex_field(text, 1, 2), user_id_digit(text.back()));
    }
    constexpr std::string_view kUserIdRead = "=s";
    if (text.starts_with("userid") && text.size() > 7 &&
        text.substr(7, kUserIdRead.size()) == kUserIdRead) {
        return with_code(Kind::ReadUserId, hex_field(text, 9, 2), user_id_digit(text[6]));
    }
    if (text.size() == 12 && text.starts_with("checkuserid")) {
        return with_code(Kind::CheckUserId, 0, user_id_digit(text.back()));
    }
    if (text.starts_with("protection=s")) {
        return with_code(Kind::ReadProtection, hex_field(text, 12, 2));
    }
    if (text.starts_with('s')) {
        for (const auto& suffix : kWriteSuffixes) {
            if (text.ends_with(suffix.text)) {
                return with_code(suffix.kind, hex_field(text, 1, 2));
            }
        }
    }
    for (const auto& prefix : kReadPrefixes) {
        if (text.starts_with(prefix.text)) {
            return with_code(prefix.kind, hex_field(text, prefix.text.size(), 2));
        }
    }
    for (const auto& word : kCheckWords) {
        if (text == word.text) {
            return {word.kind};
        }
    }
    if (text.size() == 8 && text[0] == 's' && text[3] == '-') {
        return with_code(Kind::WriteLiteral, hex_field(text, 1, 2), hex_field(text, 4, 4));
    }
    if (text.size() == 3 && text[0] == 's') {
        return with_code(Kind::Command, hex_field(text, 1, 2));
    }
    if (text == "wprog") {
        return {Kind::WaitProg};
    }
    if (text.starts_with('w')) {
        return {Kind::Wait, 0, leading_number(text.substr(1))};
    }
    return {};
}

std::string unrecognized_instruction_text(std::string_view instruction) {
    std::string text = "Unrecognized symbolic instruction '";
    text.append(instruction).append("'.\r\nThe program must end.");
    return text;
}

void ScriptRunner::load_script(const InstructionList& instructions) {
    script_ = instructions.empty() ? InstructionList{std::string()} : instructions;
    decoded_.clear();
    decoded_.reserve(script_.size());
    for (const std::string& text : script_) {
        decoded_.push_back(decode_instruction(text));
    }
}

void ScriptRunner::stop() {
    reset_send_ahead();
    next_instruction = script_length() + 1;
    phase = 0;
    word_accumulator = 0;
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
    if (sending_ahead()) {
        end = step_sending_ahead(index);
    } else if (next_instruction >= 1 && next_instruction <= script_length()) {
        index = static_cast<std::size_t>(next_instruction - 1);
        end = execute_step(index);
    }
    if (end == StepEnd::Finished) {
        finish();
        return;
    }
    if (end == StepEnd::Unrecognized) {
        EngineHost& host = state_.engine_host();
        const std::string instruction = script_[index];
        (void)host.show_message(unrecognized_instruction_text(instruction), message_kind::kError,
                                "");
        stop();
        // The chip may be powered by an earlier "begin": it must not stay so.
        link.voltages_off();
        host.end_program();
        return;
    }
    awaiting_since_ = state_.engine_host().clock_seconds();
    link.set_receive_notification(1);
}

void ScriptRunner::finish() {
    next_instruction = script_length() + 1;
    if (running() && answers_after_end(state_)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    completing_ = true;
    run_completion_routine(state_, operation_name);
    completing_ = false;
    operation_name.clear();
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
    if (is_flash_kind(kind) || is_eeprom_kind(kind)) {
        text = is_flash_kind(kind) ? "F:" : "E:";
        text += std::to_string(static_cast<std::int64_t>(address) + 1);
        text += '/';
        text += std::to_string(static_cast<std::int64_t>(loop_end) + 1);
    } else if (is_config1_kind(kind)) {
        text = "CONF1:";
    } else if (is_config2_kind(kind)) {
        text = "CONF2:";
    } else if (is_user_id_kind(kind)) {
        text = "ID:";
    } else {
        return;
    }
    EngineHost& host = state_.engine_host();
    host.set_status_text(text);
    host.process_events();
}

bool ScriptRunner::execute(const DecodedInstruction& instruction) {
    ProgrammerLink& link = state_.link;
    MemoryImage& image = state_.image;
    const std::int32_t here = next_instruction;

    switch (instruction.kind) {
        case Kind::Begin:
            link.voltages_on(state_.model.voltage_sequence);
            advance();
            return true;
        case Kind::End:
            link.voltages_off();
            if (calibration_erased_) {
                calibration_restored_ |= calibration_sent_;
                if (!calibration_at_risk()) {
                    calibration_erased_ = false;
                    if (saved_calibration_used_) {
                        // Back in the chip: the recovery file has served its purpose.
                        saved_calibration_used_ = false;
                        forget_saved_calibration(state_);
                    }
                }
            }
            advance();
            return true;
        case Kind::BeginVppFirst:
            link.voltages_on(VoltageSequence::VppFirst);
            advance();
            return true;
        case Kind::CheckDeviceId:
            if (!confirm_device_id(state_)) {
                return true;  // refused: the operation has ended, the voltages are off
            }
            break;
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
            loop_start = here;
            if (instruction.kind == Kind::SetCalLoop) {
                // Up to the word before the calibration word: a walk of "-next"
                // commands leaves the chip's address counter on it.
                const auto& calibration = state_.model.calibration_word;
                loop_end = calibration ? std::min(calibration->address, last_flash + 1) - 1 : -1;
            } else {
                loop_end = instruction.kind == Kind::SetFlashLoop ? last_flash : last_eeprom;
            }
            if (address <= loop_end) {
                loop_pass_address_ = address;
                advance();
            } else {
                address = 0;
                loop_start = 0;  // skipped: this loop has ended as well
                next_instruction = after_next(here, Kind::Loop);
            }
            keep_moving();
            return true;
        case Kind::Loop:
            if (loop_start >= 1 && loop_start <= script_length() && address != loop_pass_address_) {
                next_instruction = loop_start;
            } else {
                if (loop_start >= 1) {
                    address = 0;
                }
                // The loop has ended: a later "loop" with no loop-set of its own
                // must not return here (that would cycle for ever).
                loop_start = 0;
                advance();
            }
            keep_moving();
            return true;
        case Kind::IfPage:
            if (address > 0 && address % effective_page_size() == 0) {
                advance();
            } else {
                next_instruction = after_next(here, Kind::EndIfPage);
            }
            keep_moving();
            return true;
        case Kind::EndIfPage:
        case Kind::EndIfUserIds:
            break;
        case Kind::IfUserIds:
            if (image.user_ids_used()) {
                advance();
            } else {
                next_instruction = after_next(here, Kind::EndIfUserIds);
            }
            keep_moving();
            return true;
        case Kind::WaitProg:
        case Kind::Wait: {
            const int milliseconds = std::max(
                instruction.kind == Kind::Wait ? instruction.value : state_.model.programming_time,
                0);
            state_.engine_host().pause(milliseconds);
            link.note_pause(milliseconds);
            break;
        }
        case Kind::Command:
            // Anything but the loads, reads and address moves may change the chip:
            // after it, a kept calibration lives only in the program until written back.
            switch (instruction.code & 0x3F) {
                case 0x00:
                case 0x02:
                case 0x03:
                case 0x04:
                case 0x05:
                case 0x06:
                case 0x16:
                    break;
                default:
                    calibration_erased_ = calibration_erased_ || kept_calibration_word >= 0 ||
                                          kept_calibration_bits >= 0;
                    break;
            }
            link.send_chip_command(instruction.code);
            advance();
            return true;
        case Kind::StepCommand:
            link.send_chip_command(instruction.code);
            ++address;
            advance();
            return true;
        case Kind::WriteFlash:
        case Kind::WriteEeprom:
        case Kind::WriteConfig1:
        case Kind::WriteConfig2:
        case Kind::WriteLiteral:
        case Kind::WriteCalFlash:
        case Kind::WriteCalConfig:
        case Kind::WriteCalSpace1:
        case Kind::WriteCalSpace2:
        case Kind::WriteUserId:
            write_step(instruction);
            return true;
        case Kind::ReadFlash:
        case Kind::ReadEeprom:
        case Kind::ReadConfig1:
        case Kind::ReadConfig2:
        case Kind::ReadTemp:
        case Kind::ReadDeviceId:
        case Kind::ReadCalFlash:
        case Kind::ReadCalConfig:
        case Kind::ReadCalSpace1:
        case Kind::ReadCalSpace2:
        case Kind::ReadUserId:
        case Kind::ReadProtection:
            read_step(instruction);
            return true;
        case Kind::CheckBlankFlash:
        case Kind::CheckBlankEeprom:
        case Kind::CheckBlankConfig1:
        case Kind::CheckBlankConfig2:
        case Kind::CheckFlash:
        case Kind::CheckEeprom:
        case Kind::CheckConfig1:
        case Kind::CheckConfig2:
        case Kind::CheckUserId:
            check_step(instruction);
            return true;
        case Kind::Unrecognized:
            return false;
    }
    // The one-step instructions that only keep the conversation going.
    advance();
    keep_moving();
    return true;
}

void ScriptRunner::write_step(const DecodedInstruction& instruction) {
    ProgrammerLink& link = state_.link;
    if (phase == 0) {
        show_progress(instruction.kind);
        link.send_chip_command(instruction.code);
        phase = 1;
        return;
    }
    if (phase != 1) {
        return;  // a stray byte in the middle of a read: dropped
    }
    link.send_data_word(write_value(instruction));
    if (instruction.kind == Kind::WriteCalFlash) {
        calibration_sent_ |= 1;
    } else if (instruction.kind == Kind::WriteCalConfig) {
        calibration_sent_ |= 2;
    }
    phase = 0;
    if (instruction.kind == Kind::WriteFlash || instruction.kind == Kind::WriteEeprom) {
        ++address;
    }
    advance();
}

void ScriptRunner::read_step(const DecodedInstruction& instruction) {
    ProgrammerLink& link = state_.link;
    MemoryImage& image = state_.image;
    switch (phase) {
        case 0:
            show_progress(instruction.kind);
            link.send_chip_command(instruction.code);
            phase = 1;
            return;
        case 1:
            word_accumulator = 0;
            link.request_data_word();
            phase = 2;
            return;
        case 2:
            word_accumulator += link.received_byte;
            phase = 3;
            return;
        default:
            break;
    }
    // The high byte: the word is complete. The board's third byte, which follows,
    // starts the next instruction.
    word_accumulator += 256 * link.received_byte;
    if (!answer_fits(instruction.kind, word_accumulator)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    switch (instruction.kind) {
        case Kind::ReadFlash:
            image.set_flash_word(address, word_accumulator);
            ++address;
            break;
        case Kind::ReadEeprom:
            image.set_eeprom_byte(address, word_accumulator % 256);
            ++address;
            break;
        case Kind::ReadConfig1:
            image.config1 = word_accumulator;
            break;
        case Kind::ReadConfig2:
            image.config2 = word_accumulator;
            break;
        case Kind::ReadDeviceId:
            device_id_word = word_accumulator;
            break;
        case Kind::ReadUserId:
            (void)image.set_user_id(instruction.value, word_accumulator);
            break;
        case Kind::ReadProtection: {
            const ProtectionBits bits = state_.protection();
            program_memory_hidden = bits.program_protected(word_accumulator);
            data_memory_hidden = bits.data_protected(word_accumulator);
            break;
        }
        case Kind::ReadCalFlash:
        case Kind::ReadCalConfig:
        case Kind::ReadCalSpace1:
        case Kind::ReadCalSpace2:
            if (!keep_calibration(instruction.kind, word_accumulator)) {
                return;  // not a calibration value: the operation has stopped
            }
            break;
        default:
            temp_word = word_accumulator;
            break;
    }
    phase = 0;
    word_accumulator = 0;
    advance();
}

void ScriptRunner::check_step(const DecodedInstruction& instruction) {
    const InstructionKind kind = instruction.kind;
    if (!answer_fits(kind, temp_word)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    show_progress(kind);
    const std::int32_t at = kind == Kind::CheckUserId ? instruction.value : address;
    if (is_flash_kind(kind) || is_eeprom_kind(kind)) {
        ++address;
    }
    advance();
    if (compare_temp_word(kind, at)) {
        // The 25th mismatch: on to the last instruction (normally "end").
        next_instruction = script_length();
    }
    keep_moving();
}

bool ScriptRunner::temp_word_fits(InstructionKind kind) const {
    return answer_fits(kind, temp_word);
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
            location = "ID Word " + hex4h(kUserIdFirst + at);
            break;
        case Kind::CheckBlankConfig1:
        case Kind::CheckConfig1:
            expected = kind == Kind::CheckConfig1 ? image.config1 : image.config_erased1;
            location = "CONF Word " + hex4h(kConfig1Address);
            // Calibration bits are the chip's own, not the file's.
            compared_bits = state_.model.config_mask1 & ~state_.model.calibration_config_bits;
            break;
        default:
            expected = kind == Kind::CheckConfig2 ? image.config2 : image.config_erased2;
            location = "CONF Word " + hex4h(kConfig2Address);
            compared_bits = state_.model.config_mask2;
            break;
    }
    const bool calibration = (is_flash_kind(kind) && at_calibration_word(at));
    // A code-protected chip reads 0 where it hides a memory: nothing to compare.
    // (A blank check still fails there: a protected chip is not blank.)
    const bool hidden = (kind == Kind::CheckFlash && program_memory_hidden) ||
                        (kind == Kind::CheckEeprom && data_memory_hidden);
    if (!calibration && !hidden && (read & compared_bits) != (expected & compared_bits)) {
        const bool eeprom = is_eeprom_kind(kind);
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
            if (at_calibration_word(address) && kept_calibration_word >= 0) {
                return kept_calibration_word;
            }
            return image.flash_word(address);
        case Kind::WriteEeprom:
            return image.eeprom_byte(address);
        case Kind::WriteConfig1:
            if (bits != 0 && kept_calibration_bits >= 0) {
                return (image.config1 & ~bits) | kept_calibration_bits;
            }
            return image.config1;
        case Kind::WriteConfig2:
            return image.config2;
        case Kind::WriteUserId:
            return image.user_id(instruction.value);
        case Kind::WriteCalFlash:
            return kept_calibration_word >= 0 ? kept_calibration_word : kBlankFlashWord;
        case Kind::WriteCalConfig:
            return kept_calibration_bits >= 0 ? (kBlankFlashWord & ~bits) | kept_calibration_bits
                                              : kBlankFlashWord;
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
