// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/virtual_board.h"

#include <algorithm>

namespace corvanel {

namespace {

// The Vpp levels as the firmware's board makes them (docs/board-protocol.md): the
// nominal and the range the rail must read in before voltages-on.
struct Level {
    double nominal;
    double lowest;
    double highest;
    std::uint8_t code;
};
constexpr Level kLevels[] = {{8.7, 8.0, 9.0, board_identity::kLevelLow},
                             {11.5, 11.0, 12.0, board_identity::kLevelMiddle},
                             {13.0, 12.5, 13.5, board_identity::kLevelHigh}};

}  // namespace

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
            if (byte == board_extension::kLineRate && line_rates_ != 0) {
                state_ = State::RateCode;
                return {};
            }
            if (byte == board_extension::kBoardWait && has_board_waits()) {
                state_ = State::WaitTime;
                return {};
            }
            state_ = State::Command;
            ++commands_done_;
            data_is_pc_address_ = false;
            data_is_calibration_ = false;
            if (board_extension::is_extension(byte)) {
                if (!extension(byte)) {
                    return {};  // a refused low-voltage entry: not answered
                }
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
            if (data_is_calibration_) {
                data_is_calibration_ = false;
                calibrate(static_cast<std::uint16_t>(data_low_ | (byte << 8)));
            } else if (!voltages_on()) {
                data_is_pc_address_ = false;
            } else if (data_is_pc_address_) {
                data_is_pc_address_ = false;
                chip_.load_pc(static_cast<std::uint32_t>(data_low_ | (byte << 8)) << 1);
            } else {
                chip_.data_frame(static_cast<std::uint16_t>(data_low_ | (byte << 8)));
            }
            return {kDataWord};
        case State::RateCode:
            state_ = State::Command;
            ++commands_done_;
            // A rate it does not list, or a switch while the chip is powered,
            // changes nothing: the answer is the same.
            if (!voltages_on() && byte < board_identity::kRateCodeCount &&
                (byte == board_identity::kRateStarting || ((line_rates_ >> byte) & 1U) != 0)) {
                rate_request_ = byte;
            }
            return {kChipCommand};
        case State::WaitTime:
            state_ = State::Command;
            ++commands_done_;
            // The voltages stay as they are: the chip's own cycle runs meanwhile.
            board_wait_ = byte;
            board_waited_ms_ += byte;
            return {kChipCommand};
        case State::BlockFlags:
        case State::BlockCode:
        case State::BlockStep:
        case State::BlockCount:
        case State::BlockLow:
        case State::BlockHigh:
            return block_byte(byte);
        case State::Command:
            break;
    }

    if (byte != kDataWord) {
        data_is_pc_address_ = false;
        data_is_calibration_ = false;
    }
    switch (byte) {
        case kNop:
            break;
        case kVoltagesOnVddFirst:
        case kVoltagesOnVppFirst:
            // Switching on again while on restarts the sequence: the board drops both
            // supplies first, so the chip re-enters programming mode with PC 0.
            chip_.power_off();
            if (!rails_allow(true)) {
                ++commands_done_;
                return {};
            }
            chip_.power_on(byte == kVoltagesOnVddFirst ? VoltageSequence::VddFirst
                                                       : VoltageSequence::VppFirst);
            chip_.vdd_applied(rail_vdd());
            if (const auto vpp = effective_vpp()) {
                chip_.vpp_applied(*vpp);
            }
            if (!target_allows()) {
                ++commands_done_;
                return {};
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
        case kWriteBlock:
        case kReadBlock:
            if (!has_blocks()) {
                ++ignored_bytes_;
                return {};
            }
            block_command_ = byte;
            state_ = State::BlockFlags;
            return {};
        case kIdentify:
            if (plain_) {
                ++ignored_bytes_;
                return {};
            }
            ++commands_done_;
            {
                auto record = identity();
                refusal_ = board_identity::kRefusedNone;  // reported once
                return record;
            }
        default:
            ++ignored_bytes_;
            return {};
    }
    ++commands_done_;
    return {byte};
}

bool VirtualBoard::block_clocks() const {
    constexpr std::uint8_t kKnownFlags =
        board_command::kBlockFlag8Bit | board_command::kBlockFlagStep;
    return voltages_on() && (block_flags_ & ~kKnownFlags) == 0;
}

std::uint16_t VirtualBoard::block_word(std::uint16_t word) {
    const bool read = block_command_ == board_command::kReadBlock;
    const bool step = (block_flags_ & board_command::kBlockFlagStep) != 0;
    ++block_words_;
    if ((block_flags_ & board_command::kBlockFlag8Bit) != 0) {
        chip_.command8(block_code_);
        if (read) {
            word = static_cast<std::uint16_t>((chip_.read_payload() >> 1) & 0xFFFF);
        } else {
            chip_.payload(static_cast<std::uint32_t>(word) << 1);
        }
        if (step) {
            chip_.command8(block_step_);
        }
        return word;
    }
    chip_.command(block_code_ & board_extension::kChipCommandMask);
    if (read) {
        word = chip_.read_frame();
    } else {
        chip_.data_frame(word);
    }
    if (step) {
        chip_.command(block_step_ & board_extension::kChipCommandMask);
    }
    return word;
}

std::vector<std::uint8_t> VirtualBoard::block_byte(std::uint8_t byte) {
    using namespace board_command;
    switch (state_) {
        case State::BlockFlags:
            block_flags_ = byte;
            state_ = State::BlockCode;
            return {};
        case State::BlockCode:
            block_code_ = byte;
            state_ = State::BlockStep;
            return {};
        case State::BlockStep:
            block_step_ = byte;
            state_ = State::BlockCount;
            return {};
        case State::BlockCount:
            block_left_ = byte;
            if (block_command_ == kWriteBlock && block_left_ > 0) {
                state_ = State::BlockLow;
                return {};
            }
            break;
        case State::BlockLow:
            data_low_ = byte;
            state_ = State::BlockHigh;
            return {};
        case State::BlockHigh:
            if (block_clocks()) {
                (void)block_word(static_cast<std::uint16_t>(data_low_ | (byte << 8)));
            }
            if (--block_left_ > 0) {
                state_ = State::BlockLow;
                return {};
            }
            break;
        default:
            break;
    }
    state_ = State::Command;
    ++commands_done_;
    std::vector<std::uint8_t> answer;
    if (block_command_ == kReadBlock) {
        // Unclocked words read as the pulled-up line: 3FFFh in a 16-clock frame,
        // FFFFh in a payload's bits and for a block with flags it does not know.
        const bool known = (block_flags_ & ~(kBlockFlag8Bit | kBlockFlagStep)) == 0;
        const std::uint16_t idle = known && (block_flags_ & kBlockFlag8Bit) == 0 ? 0x3FFF : 0xFFFF;
        answer.reserve(2U * block_left_ + 1U);
        for (int i = 0; i < block_left_; ++i) {
            const std::uint16_t word = block_clocks() ? block_word(0) : idle;
            answer.push_back(static_cast<std::uint8_t>(word & 0xFF));
            answer.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }
    answer.push_back(block_command_);
    return answer;
}

void VirtualBoard::line_quiet() {
    if (state_ >= State::BlockFlags) {
        // A block cut short: what came of it must not be finished by whatever
        // the line brings next.
        chip_.power_off();
        state_ = State::Command;
    }
}

bool VirtualBoard::extension(std::uint8_t code) {
    switch (code) {
        case board_extension::kLowVoltageEntry:
        case board_extension::kLowVoltageEntry8:
            // Vdd on, MCLR low, PGC and PGD low for TENTH, then 32 key bits: 40h LSb
            // first and a 33rd clock with PGD low, 42h MSb first (the pins assemble it
            // with the key's bit 31 first) and no 33rd clock.
            chip_.power_off();
            if (!rails_allow(false)) {
                return false;
            }
            chip_.power_on_mclr_low();
            chip_.vdd_applied(rail_vdd());
            if (!target_allows()) {
                return false;
            }
            chip_.advance_time(kEntryHoldUs);
            chip_.lvp_key(code == board_extension::kLowVoltageEntry
                              ? kLowVoltageKey
                              : key_msb_first(kLowVoltageKey));
            break;
        case board_extension::kVppLow:
        case board_extension::kVppMiddle:
        case board_extension::kVppHigh:
            if (vpp_levels_ && !voltages_on()) {
                level_ = code == board_extension::kVppLow      ? 0
                         : code == board_extension::kVppMiddle ? 1
                                                               : 2;
            }
            break;
        case board_extension::kVppCalibrate:
            data_is_calibration_ = !voltages_on();
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
    return true;
}

std::optional<double> VirtualBoard::effective_vpp() const {
    if (vpp_ || !vpp_levels_) {
        return vpp_;
    }
    return kLevels[level_].nominal;
}

bool VirtualBoard::vdd_fits(double volts) const {
    return vdd_ >= 4.0 ? volts >= 4.6 && volts <= 5.4 : volts >= 3.0 && volts <= 3.6;
}

bool VirtualBoard::rails_allow(bool with_vpp) {
    target_measured_mv_ = 0;
    const auto vpp = effective_vpp();
    if (with_vpp && vpp_levels_ && vpp) {
        const Level& level = kLevels[level_];
        if (read(*vpp) > level.highest) {
            refusal_ = board_identity::kRefusedVppHigh;
            return false;
        }
        if (read(*vpp) < level.lowest) {
            refusal_ = board_identity::kRefusedVppLow;
            return false;
        }
    }
    if (vdd_rail_ && !vdd_fits(read(*vdd_rail_))) {
        refusal_ = board_identity::kRefusedVddRail;
        return false;
    }
    refusal_ = board_identity::kRefusedNone;
    return true;
}

bool VirtualBoard::target_allows() {
    if (!measures_vdd()) {
        return true;
    }
    const double target = read(target_vdd_.value_or(rail_vdd()));
    target_measured_mv_ =
        static_cast<std::uint16_t>(std::clamp(target * 1000.0 + 0.5, 0.0, 65535.0));
    if (!vdd_fits(target)) {
        chip_.power_off();
        refusal_ = board_identity::kRefusedTargetVdd;
        return false;
    }
    return true;
}

// Extension 48h's data word: the Vpp rail by a meter, in 10 mV; 0 erases. A ratio
// outside 0.85-1.15 changes nothing.
void VirtualBoard::calibrate(std::uint16_t meter_10mv) {
    const auto vpp = effective_vpp();
    if (meter_10mv == 0) {
        calibration_ = 1.0;
        calibrated_ = false;
        return;
    }
    if (!vpp || *vpp <= 0) {
        return;
    }
    const double ratio = meter_10mv / 100.0 / *vpp;
    if (ratio >= 0.85 && ratio <= 1.15) {
        calibration_ = ratio;
        calibrated_ = true;
    }
}

std::vector<std::uint8_t> VirtualBoard::identity() const {
    namespace id = board_identity;
    const auto millivolts = [](double volts) {
        const double mv = volts * 1000.0 + 0.5;
        return static_cast<std::uint16_t>(mv < 0 ? 0 : mv > 65535 ? 65535 : mv);
    };
    std::vector<std::uint8_t> record(id::kRecordSize2, 0);
    const auto put16 = [&](int at, std::uint16_t value) {
        record[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value & 0xFF);
        record[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>(value >> 8);
    };
    const auto vpp = effective_vpp();
    record[id::kVersionAt] = id::kVersion2;
    put16(id::kFeaturesAt,
          static_cast<std::uint16_t>(
              id::kHasLowVoltageEntry | id::kHasLoadPcAddress | id::kHasLowVoltageEntry8 |
              id::kHasCommands8 | (vpp ? id::kMeasuresVpp | id::kHasVppCalibration : 0) |
              (measures_vdd() ? id::kMeasuresVdd | id::kSensesTargetVdd : 0) |
              (vpp_levels_ ? id::kHasVppLevels : 0) | (has_blocks() ? id::kHasBlocks : 0) |
              (line_rates_ != 0 ? id::kHasLineRate : 0) |
              (has_board_waits() ? id::kHasBoardWait : 0)));
    put16(id::kReceiveBufferAt, receive_buffer_);
    put16(id::kVddSelectedAt, millivolts(vdd_));
    put16(id::kVddMeasuredAt, measures_vdd() ? millivolts(read(rail_vdd())) : 0);
    put16(id::kVppMeasuredAt, vpp ? millivolts(read(*vpp)) : 0);
    record[id::kVppLevelAt] = vpp_levels_ ? kLevels[level_].code : id::kLevelNone;
    record[id::kStatusAt] = calibrated_ ? id::kStatusCalibrated : 0;
    record[id::kRefusalAt] = refusal_;
    put16(id::kTargetVddAt, target_measured_mv_);
    record[id::kLineRatesAt] = line_rates_;
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
