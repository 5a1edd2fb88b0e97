// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/wire_encoder.h"

#include "core/link/board_protocol.h"

namespace corvanel {

WireCommand WireEncoder::chip_command(std::int32_t code) const {
    return {{set->command, static_cast<std::uint8_t>(code & set->command_mask)}, 2, 0};
}

WireCommand WireEncoder::data_word(std::int32_t value) const {
    const auto word = static_cast<std::uint32_t>(value) & 0xFFFFu;
    return {{set->payload_in, static_cast<std::uint8_t>(word & 0xFFu),
             static_cast<std::uint8_t>(word >> 8)},
            3,
            0};
}

WireCommand WireEncoder::read_word() const {
    // The read's answer ends with one byte that is no data.
    const auto data =
        static_cast<std::size_t>(set->read_answer_bytes > 0 ? set->read_answer_bytes - 1 : 0);
    return {{set->payload_out}, 1, data, read_echo};
}

WireCommand WireEncoder::low_voltage_entry() const {
    return board_extension(set->low_voltage_key);
}

WireCommand WireEncoder::board_extension(std::uint8_t code) {
    return {{board_command::kChipCommand, code}, 2, 0};
}

std::optional<BlockCodes> block_codes(CommandSet set, std::uint8_t chip_code) {
    using board_command::kBlockFlag8Bit;
    using board_command::kBlockFlagStep;
    // The 6-bit set's loads and reads leave the address where it is: Increment
    // Address (06h) follows each word. The 8-bit set's load and read with
    // increment (02h, FEh) step the address themselves.
    struct Row {
        CommandSet set;
        std::uint8_t code;
        BlockCodes codes;
    };
    static constexpr Row kRows[] = {
        {CommandSet::SixBit, 0x02, {kBlockFlagStep, 0x02, 0x06, false}},  // Load Program
        {CommandSet::SixBit, 0x03, {kBlockFlagStep, 0x03, 0x06, false}},  // Load Data
        {CommandSet::SixBit, 0x04, {kBlockFlagStep, 0x04, 0x06, true}},   // Read Program
        {CommandSet::SixBit, 0x05, {kBlockFlagStep, 0x05, 0x06, true}},   // Read Data
        {CommandSet::EightBit, 0x02, {kBlockFlag8Bit, 0x02, 0x00, false}},
        {CommandSet::EightBit, 0xFE, {kBlockFlag8Bit, 0xFE, 0x00, true}},
    };
    for (const Row& row : kRows) {
        if (row.set == set && row.code == chip_code) {
            return row.codes;
        }
    }
    return std::nullopt;
}

}  // namespace corvanel
