// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/programmer_link.h"

#include <utility>

namespace corvanel {

void ProgrammerLink::write(std::uint8_t byte) {
    if (channel != nullptr) {
        channel->write_byte(byte);
    }
}

void ProgrammerLink::end_command(std::uint64_t answers) {
    answers_requested_ += answers;
    if (process_events) {
        process_events();
    }
}

void ProgrammerLink::send_nop() {
    write(board_command::kNop);
    end_command();
}

void ProgrammerLink::voltages_on(VoltageSequence sequence) {
    switch (sequence) {
        case VoltageSequence::VddFirst:
            write(board_command::kVoltagesOnVddFirst);
            end_command();
            break;
        case VoltageSequence::VppFirst:
            write(board_command::kVoltagesOnVppFirst);
            end_command();
            break;
        case VoltageSequence::None:
            break;
    }
}

void ProgrammerLink::note_pause(int milliseconds) {
    if (channel != nullptr && milliseconds > 0) {
        channel->note_pause(milliseconds);
    }
}

void ProgrammerLink::voltages_on_low_voltage() {
    send_chip_command(board_extension::kLowVoltageEntry);
}

void ProgrammerLink::voltages_off() {
    write(board_command::kVoltagesOff);
    end_command();
}

void ProgrammerLink::send_chip_command(std::int32_t code) {
    write(board_command::kChipCommand);
    write(static_cast<std::uint8_t>(code & 0xFF));
    end_command();
}

void ProgrammerLink::send_data_word(std::int32_t value) {
    const auto word = static_cast<std::uint32_t>(value) & 0xFFFFu;
    write(board_command::kDataWord);
    write(static_cast<std::uint8_t>(word & 0xFFu));
    write(static_cast<std::uint8_t>(word >> 8));
    end_command();
}

void ProgrammerLink::request_data_word() {
    write(board_command::kReadWord);
    end_command(3);
}

void ProgrammerLink::set_receive_notification(int threshold) {
    if (channel != nullptr) {
        channel->set_receive_threshold(threshold);
    }
}

std::size_t ProgrammerLink::discard_waiting_bytes() {
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
        received_byte = byte;
        if (on_received_byte) {
            on_received_byte();
        }
    }
    undelivered_ = 0;
    delivering_ = false;
}

}  // namespace corvanel
