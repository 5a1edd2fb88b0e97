// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/virtual_board.h"

namespace corvanel {

VirtualBoard::VirtualBoard(Pic14Chip chip) : chip_(std::move(chip)) {}

std::optional<VirtualBoard> VirtualBoard::with_chip(std::string_view name) {
    auto chip = Pic14Chip::create(name);
    if (!chip) {
        return std::nullopt;
    }
    return VirtualBoard(std::move(*chip));
}

std::vector<std::uint8_t> VirtualBoard::feed(std::uint8_t byte) {
    using namespace board_command;
    switch (state_) {
        case State::ChipCode:
            state_ = State::Command;
            ++commands_done_;
            data_is_pc_address_ = false;
            if (board_extension::is_extension(byte)) {
                extension(byte);
            } else if (voltages_on()) {
                chip_.command(byte);
            }
            return {kChipCommand};
        case State::ChipCode8:
            state_ = State::Command;
            ++commands_done_;
            if (voltages_on()) {
                chip_.command8(byte);
            }
            return {kChipCommand8};
        case State::PayloadLow:
        case State::DataLow:
            data_low_ = byte;
            state_ = state_ == State::DataLow ? State::DataHigh : State::PayloadHigh;
            return {};
        case State::PayloadHigh:
            state_ = State::Command;
            ++commands_done_;
            if (voltages_on()) {
                chip_.payload(static_cast<std::uint32_t>(data_low_ | (byte << 8)) << 1);
            }
            return {kPayload24};
        case State::DataHigh:
            state_ = State::Command;
            ++commands_done_;
            if (!voltages_on()) {
                data_is_pc_address_ = false;
            } else if (data_is_pc_address_) {
                data_is_pc_address_ = false;
                chip_.load_pc(static_cast<std::uint32_t>(data_low_ | (byte << 8)) << 1);
            } else {
                chip_.data_frame(static_cast<std::uint16_t>(data_low_ | (byte << 8)));
            }
            return {kDataWord};
        case State::Command:
            break;
    }

    if (byte != kDataWord) {
        data_is_pc_address_ = false;
    }
    switch (byte) {
        case kNop:
            break;
        case kVoltagesOnVddFirst:
        case kVoltagesOnVppFirst:
            // Switching on again while on restarts the sequence: the board drops both
            // supplies first, so the chip re-enters programming mode with PC 0.
            chip_.power_off();
            chip_.power_on(byte == kVoltagesOnVddFirst ? VoltageSequence::VddFirst
                                                       : VoltageSequence::VppFirst);
            chip_.vdd_applied(vdd_);
            if (vpp_) {
                chip_.vpp_applied(*vpp_);
            }
            break;
        case kVoltagesOff:
            chip_.power_off();
            break;
        case kChipCommand:
            state_ = State::ChipCode;
            return {};
        case kDataWord:
            state_ = State::DataLow;
            return {};
        case kReadWord:
        case kReadPayload24: {
            ++commands_done_;
            // With the voltages off no clock moves: the pulled-up line reads ones
            // (3FFFh in a 14-bit word, FFFFh in a payload's bits 16:1).
            std::uint16_t word = byte == kReadWord ? 0x3FFF : 0xFFFF;
            if (voltages_on()) {
                word = byte == kReadWord
                           ? chip_.read_frame()
                           : static_cast<std::uint16_t>((chip_.read_payload() >> 1) & 0xFFFF);
            }
            // The original protocol leaves the value of a read's third byte open:
            // a plain board sends 0 there, as a board built to the letter may.
            return {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8),
                    plain_ ? std::uint8_t{0} : byte};
        }
        case kChipCommand8:
            state_ = State::ChipCode8;
            return {};
        case kPayload24:
            state_ = State::PayloadLow;
            return {};
        case kIdentify:
            if (plain_) {
                ++ignored_bytes_;
                return {};
            }
            ++commands_done_;
            return identity();
        default:
            ++ignored_bytes_;
            return {};
    }
    ++commands_done_;
    return {byte};
}

void VirtualBoard::extension(std::uint8_t code) {
    switch (code) {
        case board_extension::kLowVoltageEntry:
            // Vdd on, MCLR low, PGC and PGD low for TENTH, then 32 key bits LSb first
            // and a 33rd clock with PGD low.
            chip_.power_off();
            chip_.power_on_mclr_low();
            chip_.vdd_applied(vdd_);
            chip_.advance_time(kEntryHoldUs);
            chip_.lvp_key(kLowVoltageKey);
            break;
        case board_extension::kLowVoltageEntry8:
            // As 40h, the key MSb first and no 33rd clock: the pins assemble it with
            // the key's bit 31 first.
            chip_.power_off();
            chip_.power_on_mclr_low();
            chip_.vdd_applied(vdd_);
            chip_.advance_time(kEntryHoldUs);
            chip_.lvp_key(key_msb_first(kLowVoltageKey));
            break;
        case board_extension::kLoadPcAddress:
            if (voltages_on()) {
                chip_.command(chip_command::kLoadPcAddress);
                data_is_pc_address_ = true;
            }
            break;
        default:
            break;
    }
}

std::vector<std::uint8_t> VirtualBoard::identity() const {
    namespace id = board_identity;
    const auto millivolts = [](double volts) {
        const double mv = volts * 1000.0 + 0.5;
        return static_cast<std::uint16_t>(mv < 0 ? 0 : mv > 65535 ? 65535 : mv);
    };
    std::vector<std::uint8_t> record(id::kRecordSize, 0);
    const auto put16 = [&](int at, std::uint16_t value) {
        record[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value & 0xFF);
        record[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    record[id::kVersionAt] = id::kVersion;
    put16(id::kFeaturesAt,
          static_cast<std::uint16_t>(id::kHasLowVoltageEntry | id::kHasLoadPcAddress |
                                     id::kHasLowVoltageEntry8 | id::kHasCommands8 |
                                     (vpp_ ? id::kMeasuresVpp : 0)));
    put16(id::kReceiveBufferAt, receive_buffer_);
    put16(id::kVddSelectedAt, millivolts(vdd_));
    put16(id::kVddMeasuredAt, 0);
    put16(id::kVppMeasuredAt, vpp_ ? millivolts(*vpp_) : 0);
    record.push_back(board_command::kIdentify);
    return record;
}

void VirtualBoard::replace_chip(Pic14Chip chip) {
    const bool on = voltages_on();
    chip_ = std::move(chip);
    if (on) {
        // Put into a live socket, the chip missed the entry sequence: powered, it
        // runs its program until the next voltages-on.
        chip_.power_on_mclr_low();
        chip_.vdd_applied(vdd_);
    }
}

}  // namespace corvanel
