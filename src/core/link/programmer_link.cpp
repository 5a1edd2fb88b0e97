// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/programmer_link.h"

#include <algorithm>
#include <utility>

namespace corvanel {

namespace {

// A block cut short is given up by the board after kBlockByteGapMs without a
// byte; twice that without an answer and it has surely done so.
constexpr int kBlockQuietMs = 2 * board_command::kBlockByteGapMs;
constexpr int kBlockQuietLimitMs = 2000;
constexpr int kQuietRoundMs = 10;
// Reads ask for nothing in flight but their five bytes; a block of this many
// words keeps its answers coming while the next is on its way.
constexpr std::size_t kMostReadBlockWords = 64;

}  // namespace

void ProgrammerLink::write(std::uint8_t byte) {
    if (channel != nullptr) {
        channel->write_byte(byte);
    }
}

void ProgrammerLink::end_command(std::uint8_t echo, bool checked) {
    expected_.push_back({echo, !checked, true, {}, {}, 0});
    tracking_ = true;
    ++answers_requested_;
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::write_select(std::uint8_t code) {
    // Honoured by the board only while the voltages are off: it goes just before
    // they come on. Its answer is the link's own business.
    const WireCommand select = WireEncoder::board_extension(code);
    if (blocks_) {
        close_run();
        Unit unit;
        unit.bytes.assign(select.bytes.begin(), select.bytes.begin() + select.size);
        unit.answers.push_back({select.echo(), false, false, {}, {}, 0});
        queue_unit(std::move(unit));
        tracking_ = true;
        return;
    }
    write_bytes(select);
    expected_.push_back({select.echo(), false, false, {}, {}, 0});
    tracking_ = true;
}

void ProgrammerLink::write_supply_select(bool with_vpp_level) {
    if (vdd_select) {
        write_select(*vdd_select);
    }
    if (with_vpp_level && vpp_level) {
        write_select(*vpp_level);
    }
}

bool ProgrammerLink::voltages_allowed(bool low_voltage) {
    refusal = voltages_check ? voltages_check(low_voltage) : std::string();
    return refusal.empty();
}

void ProgrammerLink::send_nop() {
    send({{board_command::kNop}, 1, 0});
}

bool ProgrammerLink::voltages_on(VoltageSequence sequence) {
    if (sequence == VoltageSequence::None) {
        return true;
    }
    if (!voltages_allowed(false)) {
        return false;
    }
    const std::uint8_t command = sequence == VoltageSequence::VddFirst
                                     ? board_command::kVoltagesOnVddFirst
                                     : board_command::kVoltagesOnVppFirst;
    write_supply_select(true);
    send({{command}, 1, 0});
    return true;
}

void ProgrammerLink::note_pause(int milliseconds) {
    if (channel != nullptr && milliseconds > 0) {
        channel->note_pause(milliseconds);
    }
}

bool ProgrammerLink::voltages_on_low_voltage() {
    if (!voltages_allowed(true)) {
        return false;
    }
    // MCLR stays low: the Vpp level does not reach the chip.
    write_supply_select(false);
    send(encoder.low_voltage_entry());
    return true;
}

void ProgrammerLink::voltages_off() {
    send({{board_command::kVoltagesOff}, 1, 0});
}

void ProgrammerLink::write_bytes(const WireCommand& command) {
    for (std::size_t i = 0; i < command.size; ++i) {
        write(command.bytes[i]);
    }
}

void ProgrammerLink::send(const WireCommand& command) {
    board_wait_due_ms_ += command.wait_ms;
    if (blocks_) {
        gather(command);
        answers_requested_ += command.data_answers + 1;
        tracking_ = true;
        if (process_events) {
            process_events();
        }
        return;
    }
    write_bytes(command);
    // A read's data bytes come before its echo; any value may come.
    for (std::size_t i = 0; i < command.data_answers; ++i) {
        expected_.push_back({0, true, true, {}, {}, 0});
    }
    answers_requested_ += command.data_answers;
    end_command(command.echo(), command.echo_checked);
    expected_.back().wait_ms = command.wait_ms;
}

void ProgrammerLink::send_board_wait(std::uint8_t milliseconds) {
    send(WireEncoder::board_wait(milliseconds));
}

void ProgrammerLink::forget_expected() {
    expected_.clear();
    board_wait_due_ms_ = 0;
}

void ProgrammerLink::voltages_off_after_fault() {
    // A board still running waits it was sent takes these 103s after them: the
    // host never has more than kBoardWaitInFlightMs of them out.
    forget_expected();
    // Work not yet on the line is not sent after a fault. A block the board is
    // still reading takes any byte as one of its words: only once the line has
    // been quiet has the board given the block up, and then the 103s are read as
    // commands.
    forget_queued();
    if (block_out_ && pause && channel != nullptr) {
        int quiet = 0;
        for (int waited = 0; quiet < kBlockQuietMs && waited < kBlockQuietLimitMs;
             waited += kQuietRoundMs) {
            pause(kQuietRoundMs);
            quiet = channel->read_all().empty() ? quiet + kQuietRoundMs : 0;
        }
    }
    block_out_ = false;
    for (std::uint8_t i = 0; i < board_command::kLongestCommandBytes; ++i) {
        write(board_command::kVoltagesOff);
    }
    // Still tracking: a byte handed over before the next discard is one too many.
    tracking_ = true;
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_chip_command(std::int32_t code) {
    send(encoder.chip_command(code));
}

void ProgrammerLink::send_data_word(std::int32_t value) {
    send(encoder.data_word(value));
}

void ProgrammerLink::request_data_word() {
    send(encoder.read_word());
}

void ProgrammerLink::send_identify() {
    close_run();
    pump();
    write(board_command::kIdentify);
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_select(std::uint8_t code) {
    close_run();
    pump();
    write_bytes(WireEncoder::board_extension(code));
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_line_rate(std::uint8_t code) {
    close_run();
    pump();
    write(board_command::kChipCommand);
    write(board_extension::kLineRate);
    write(code);
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_check() {
    write(board_command::kNop);
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_board_word(std::uint16_t value) {
    close_run();
    pump();
    write(board_command::kDataWord);
    write(static_cast<std::uint8_t>(value & 0xFF));
    write(static_cast<std::uint8_t>(value >> 8));
    if (process_events) {
        process_events();
    }
}

std::vector<std::uint8_t> ProgrammerLink::take_waiting_bytes() {
    forget_expected();
    forget_queued();
    tracking_ = false;
    if (channel == nullptr) {
        return {};
    }
    return channel->read_all();
}

void ProgrammerLink::set_receive_notification(int threshold) {
    if (channel != nullptr) {
        channel->set_receive_threshold(threshold);
    }
}

std::size_t ProgrammerLink::discard_waiting_bytes() {
    forget_expected();
    forget_queued();
    tracking_ = false;
    if (channel == nullptr) {
        return 0;
    }
    return channel->read_all().size();
}

void ProgrammerLink::MSComm1_OnComm() {
    // A notification that was already on its way when a step switched them off
    // must not take bytes away from that step: they wait for the next one.
    if (delivering_ || channel == nullptr || channel->receive_threshold() != 1) {
        return;
    }
    const std::vector<std::uint8_t> bytes = channel->read_all();
    if (bytes.empty()) {
        return;
    }
    delivering_ = true;
    undelivered_ = bytes.size();
    for (const std::uint8_t byte : bytes) {
        --undelivered_;
        // A changed echo is the board out of step: taken as an answer, it would
        // drive the script on against a board that did something else. While
        // "Test Vpp" holds the voltages every byte is dropped unread.
        const std::optional<ExpectedAnswer> due =
            expected_.empty() ? std::nullopt : std::optional<ExpectedAnswer>(expected_.front());
        if (due) {
            expected_.pop_front();
        }
        const bool fault = !vpp_test_on && (due ? !due->any && due->byte != byte : tracking_);
        if (fault) {
            forget_expected();
            forget_queued();
            undelivered_ = 0;
            if (on_answer_fault) {
                on_answer_fault(byte, due ? due->byte : -1);
            }
            break;
        }
        if (due) {
            in_flight_ -= std::min(in_flight_, due->release);
            board_wait_due_ms_ -= std::min<int>(board_wait_due_ms_, due->wait_ms);
            for (const std::uint8_t answer : due->before) {
                deliver(answer);
            }
        }
        if (!due || due->delivered) {
            deliver(byte);
        }
        if (due) {
            for (const std::uint8_t answer : due->after) {
                deliver(answer);
            }
        }
    }
    undelivered_ = 0;
    delivering_ = false;
    // The last answer may have come with nothing for the interpreter (a read
    // block's closing 112): the commands gathered since go out now.
    flush_when_idle();
    pump();
}

void ProgrammerLink::deliver(std::uint8_t byte) {
    received_byte = byte;
    if (on_received_byte) {
        on_received_byte();
    }
}

void ProgrammerLink::set_blocks(bool on, std::size_t receive_buffer) {
    close_run();
    pump();
    blocks_ = on;
    receive_buffer_ = receive_buffer;
}

void ProgrammerLink::forget_queued() {
    run_ = Run{};
    queue_.clear();
    in_flight_ = 0;
}

ProgrammerLink::Unit ProgrammerLink::single_unit(const WireCommand& command) {
    Unit unit;
    unit.bytes.assign(command.bytes.begin(),
                      command.bytes.begin() + static_cast<std::ptrdiff_t>(command.size));
    for (std::size_t i = 0; i < command.data_answers; ++i) {
        unit.answers.push_back({0, true, true, {}, {}, 0});
    }
    unit.answers.push_back({command.echo(), !command.echo_checked, true, {}, {}, 0});
    unit.answers.back().wait_ms = command.wait_ms;
    return unit;
}

void ProgrammerLink::queue_command(const WireCommand& command) {
    queue_unit(single_unit(command));
}

void ProgrammerLink::queue_unit(Unit unit) {
    queue_.push_back(std::move(unit));
    pump();
}

void ProgrammerLink::pump() {
    // A unit larger than the whole buffer cannot be: blocks are cut to fit it.
    while (!queue_.empty()) {
        Unit& unit = queue_.front();
        if (in_flight_ > 0 && in_flight_ + unit.bytes.size() > receive_buffer_) {
            return;
        }
        for (const std::uint8_t byte : unit.bytes) {
            write(byte);
        }
        in_flight_ += unit.bytes.size();
        if (!unit.answers.empty()) {
            unit.answers.back().release = unit.bytes.size();
        }
        for (ExpectedAnswer& answer : unit.answers) {
            expected_.push_back(std::move(answer));
        }
        if (unit.bytes.front() == board_command::kWriteBlock ||
            unit.bytes.front() == board_command::kReadBlock) {
            block_out_ = true;
            ++blocks_written_;
        }
        queue_.pop_front();
    }
}

void ProgrammerLink::flush_when_idle() {
    if (blocks_ && in_flight_ == 0) {
        close_run();
        pump();
    }
}

bool ProgrammerLink::is_chip_command(const WireCommand& command) const {
    return command.size == 2 && command.bytes[0] == encoder.set->command;
}

bool ProgrammerLink::is_data_word(const WireCommand& command) const {
    return command.size == 3 && command.bytes[0] == encoder.set->payload_in;
}

bool ProgrammerLink::is_read(const WireCommand& command) const {
    return command.size == 1 && command.bytes[0] == encoder.set->payload_out;
}

void ProgrammerLink::gather(const WireCommand& command) {
    if (run_.active) {
        const BlockWord& codes = run_.codes;
        bool fits = false;
        bool complete = false;
        if (run_.phase == 0) {
            fits = is_chip_command(command) && command.bytes[1] == codes.code;
        } else if (run_.phase == 1) {
            fits = codes.read ? is_read(command) && command.echo_checked : is_data_word(command);
            complete = fits && (codes.flags & board_command::kBlockFlagStep) == 0;
        } else {
            fits = is_chip_command(command) && command.bytes[1] == codes.step;
            complete = fits;
        }
        if (fits) {
            run_.word_commands.push_back(command);
            if (run_.phase == 1 && !codes.read) {
                run_.word = static_cast<std::uint16_t>(command.bytes[1] | (command.bytes[2] << 8));
            }
            run_.phase = complete ? 0 : run_.phase + 1;
            if (complete) {
                run_.words.push_back(run_.word);
                run_.complete_commands = run_.word_commands.size();
                // Half the buffer a block: the next one comes in while the board
                // clocks this one.
                const std::size_t most =
                    codes.read ? kMostReadBlockWords
                               : std::min<std::size_t>(
                                     board_command::kBlockMaxWords,
                                     (receive_buffer_ / 2 - board_command::kBlockHeaderBytes) / 2);
                if (run_.words.size() >= std::max<std::size_t>(most, 1)) {
                    close_run();
                }
            }
            return;
        }
        close_run();
    }
    if (is_chip_command(command) && encoder.read_echo) {
        if (const auto codes = block_codes(*encoder.set, command.bytes[1])) {
            run_ = Run{};
            run_.active = true;
            run_.codes = *codes;
            run_.phase = 1;
            run_.word_commands.push_back(command);
            return;
        }
    }
    queue_command(command);
}

void ProgrammerLink::close_run() {
    if (!run_.active) {
        return;
    }
    Run run = std::move(run_);
    run_ = Run{};
    const std::size_t words = run.words.size();
    // One word costs no fewer bytes as a block than as its single commands.
    if (words >= 2) {
        const std::size_t per_word = run.complete_commands / words;
        const BlockWord& codes = run.codes;
        Unit unit;
        unit.bytes = {codes.read ? board_command::kReadBlock : board_command::kWriteBlock,
                      codes.flags, codes.code, codes.step, static_cast<std::uint8_t>(words)};
        if (codes.read) {
            // Each word answers low and high: the load's echo comes before the low
            // byte, the read's own echo and the step's after the high byte.
            for (std::size_t w = 0; w < words; ++w) {
                const WireCommand* word = &run.word_commands[w * per_word];
                ExpectedAnswer low{0, true, true, {word[0].echo()}, {}, 0};
                ExpectedAnswer high{0, true, true, {}, {word[1].echo()}, 0};
                if (per_word == 3) {
                    high.after.push_back(word[2].echo());
                }
                unit.answers.push_back(std::move(low));
                unit.answers.push_back(std::move(high));
            }
            unit.answers.push_back({board_command::kReadBlock, false, false, {}, {}, 0});
        } else {
            ExpectedAnswer done{board_command::kWriteBlock, false, false, {}, {}, 0};
            for (std::size_t i = 0; i < run.complete_commands; ++i) {
                done.after.push_back(run.word_commands[i].echo());
            }
            for (const std::uint16_t word : run.words) {
                unit.bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
                unit.bytes.push_back(static_cast<std::uint8_t>(word >> 8));
            }
            unit.answers.push_back(std::move(done));
        }
        queue_unit(std::move(unit));
        for (std::size_t i = run.complete_commands; i < run.word_commands.size(); ++i) {
            queue_command(run.word_commands[i]);
        }
        return;
    }
    for (const WireCommand& command : run.word_commands) {
        queue_command(command);
    }
}

}  // namespace corvanel
