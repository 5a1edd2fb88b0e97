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

WireCommand WireEncoder::board_wait(std::uint8_t milliseconds) {
    WireCommand wait{
        {board_command::kChipCommand, board_extension::kBoardWait, milliseconds}, 3, 0};
    wait.wait_ms = milliseconds;
    return wait;
}

std::optional<BlockWord> block_codes(const CommandSet& set, std::uint8_t chip_code) {
    for (const BlockCodes& block : {set.program_block, set.data_block}) {
        if (block.flags == 0 && block.load == 0 && block.read == 0) {
            continue;  // a set the board cannot clock in blocks
        }
        if (chip_code == block.load) {
            return BlockWord{block.flags, block.load, block.step, false};
        }
        if (chip_code == block.read) {
            return BlockWord{block.flags, block.read, block.step, true};
        }
    }
    return std::nullopt;
}

}  // namespace corvanel
