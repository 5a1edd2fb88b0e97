// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/wire_encoder.h"

#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

bool eight_bit(CommandSet set) {
    return set == CommandSet::EightBit;
}

}  // namespace

WireCommand WireEncoder::chip_command(std::int32_t code) const {
    const std::uint8_t board =
        eight_bit(set) ? board_command::kChipCommand8 : board_command::kChipCommand;
    return {{board, static_cast<std::uint8_t>(code & 0xFF)}, 2, 0};
}

WireCommand WireEncoder::data_word(std::int32_t value) const {
    const auto word = static_cast<std::uint32_t>(value) & 0xFFFFu;
    const std::uint8_t board =
        eight_bit(set) ? board_command::kPayload24 : board_command::kDataWord;
    return {{board, static_cast<std::uint8_t>(word & 0xFFu), static_cast<std::uint8_t>(word >> 8)},
            3,
            0};
}

WireCommand WireEncoder::read_word() const {
    const std::uint8_t board =
        eight_bit(set) ? board_command::kReadPayload24 : board_command::kReadWord;
    return {{board}, 1, 2, read_echo};
}

WireCommand WireEncoder::low_voltage_entry() const {
    const std::uint8_t key =
        eight_bit(set) ? board_extension::kLowVoltageEntry8 : board_extension::kLowVoltageEntry;
    return {{board_command::kChipCommand, key}, 2, 0};
}

}  // namespace corvanel
