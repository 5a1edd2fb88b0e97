// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A recorded host-to-board stream read back command by command, for the tests
// that compare what different boards were sent.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/link/board_protocol.h"

namespace corvanel::test {

struct Opened {
    std::vector<std::uint8_t> commands;  // the stream with every block opened out
    std::vector<std::uint8_t> waits;     // the board-timed waits (104 4Ah t), in order
    int write_blocks = 0;
    int read_blocks = 0;
};

// Opens every block of a stream out into the commands the board clocks for it:
// load (104 or 108 and the code), the word (105 or 109), the step; read, 106 or
// 110, the step. Board-timed waits go to `waits`; the other commands are kept as
// they are; no-operations and identify dropped.
inline Opened open_blocks(const std::vector<std::uint8_t>& stream) {
    namespace cmd = board_command;
    Opened opened;
    for (std::size_t i = 0; i < stream.size();) {
        const std::uint8_t command = stream[i];
        if (command == cmd::kChipCommand && i + 2 < stream.size() &&
            stream[i + 1] == board_extension::kBoardWait) {
            opened.waits.push_back(stream[i + 2]);
            i += 3;
            continue;
        }
        if (command != cmd::kWriteBlock && command != cmd::kReadBlock) {
            const std::size_t length = cmd::command_length(command);
            // The identifying boards are asked again as each operation starts.
            if (command != cmd::kNop && command != cmd::kIdentify) {
                opened.commands.insert(opened.commands.end(), stream.begin() + std::ptrdiff_t(i),
                                       stream.begin() + std::ptrdiff_t(i + length));
            }
            i += length;
            continue;
        }
        const std::uint8_t flags = stream.at(i + 1);
        const std::uint8_t code = stream.at(i + 2);
        const std::uint8_t step = stream.at(i + 3);
        const std::size_t n = stream.at(i + 4);
        const bool eight = (flags & cmd::kBlockFlag8Bit) != 0;
        const std::uint8_t prefix = eight ? cmd::kChipCommand8 : cmd::kChipCommand;
        i += cmd::kBlockHeaderBytes;
        for (std::size_t w = 0; w < n; ++w) {
            opened.commands.insert(opened.commands.end(), {prefix, code});
            if (command == cmd::kWriteBlock) {
                opened.commands.insert(
                    opened.commands.end(),
                    {eight ? cmd::kPayload24 : cmd::kDataWord, stream.at(i), stream.at(i + 1)});
                i += 2;
            } else {
                opened.commands.push_back(eight ? cmd::kReadPayload24 : cmd::kReadWord);
            }
            if ((flags & cmd::kBlockFlagStep) != 0) {
                opened.commands.insert(opened.commands.end(), {prefix, step});
            }
        }
        ++(command == cmd::kWriteBlock ? opened.write_blocks : opened.read_blocks);
    }
    return opened;
}

}  // namespace corvanel::test
