// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/programmer_link.h"

#include <utility>

namespace corvanel {

void ProgrammerLink::write(std::uint8_t byte) {
    if (channel != nullptr) {
        channel->write_byte(byte);
    }
}

void ProgrammerLink::end_command(std::uint8_t echo, bool checked) {
    expected_.push_back({echo, !checked, true});
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
    write_bytes(select);
    expected_.push_back({select.echo(), false, false});
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
    write(board_command::kNop);
    end_command(board_command::kNop);
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
    write(command);
    end_command(command);
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
    write(board_command::kVoltagesOff);
    end_command(board_command::kVoltagesOff);
}

void ProgrammerLink::write_bytes(const WireCommand& command) {
    for (std::size_t i = 0; i < command.size; ++i) {
        write(command.bytes[i]);
    }
}

void ProgrammerLink::send(const WireCommand& command) {
    write_bytes(command);
    // A read's data bytes come before its echo; any value may come.
    for (std::size_t i = 0; i < command.data_answers; ++i) {
        expected_.push_back({0, true, true});
    }
    answers_requested_ += command.data_answers;
    end_command(command.echo(), command.echo_checked);
}

void ProgrammerLink::voltages_off_after_fault() {
    expected_.clear();
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
    write(board_command::kIdentify);
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_select(std::uint8_t code) {
    write_bytes(WireEncoder::board_extension(code));
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_board_word(std::uint16_t value) {
    write(board_command::kDataWord);
    write(static_cast<std::uint8_t>(value & 0xFF));
    write(static_cast<std::uint8_t>(value >> 8));
    if (process_events) {
        process_events();
    }
}

std::vector<std::uint8_t> ProgrammerLink::take_waiting_bytes() {
    expected_.clear();
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
    expected_.clear();
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
            expected_.clear();
            undelivered_ = 0;
            if (on_answer_fault) {
                on_answer_fault(byte, due ? due->byte : -1);
            }
            break;
        }
        if (due && !due->delivered) {
            continue;
        }
        received_byte = byte;
        if (on_received_byte) {
            on_received_byte();
        }
    }
    undelivered_ = 0;
    delivering_ = false;
}

}  // namespace corvanel
