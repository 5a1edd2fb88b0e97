// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/virtual_board.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Feeds a byte sequence and collects every answer the board gives.
Bytes feed_all(VirtualBoard& board, std::initializer_list<int> bytes) {
    Bytes answers;
    for (const int b : bytes) {
        const Bytes a = board.feed(static_cast<std::uint8_t>(b));
        answers.insert(answers.end(), a.begin(), a.end());
    }
    return answers;
}

TEST(VirtualBoard, AnswersOneByteAfterTheLastDataByteOfEachCommand) {
    auto board = VirtualBoard::with_chip("pic16f877a");
    ASSERT_TRUE(board);
    struct Case {
        std::vector<int> bytes;
        std::vector<std::size_t> answers_per_byte;  // answer bytes produced by each byte
    };
    const std::vector<Case> cases = {
        {{100}, {1}}, {{101}, {1}},       {{102}, {1}},
        {{103}, {1}}, {{104, 6}, {0, 1}}, {{105, 0xFF, 0x3F}, {0, 0, 1}},
        {{106}, {3}}, {{99}, {0}},        {{0}, {0}},
    };
    for (const Case& c : cases) {
        std::size_t i = 0;
        for (const int b : c.bytes) {
            EXPECT_EQ(board->feed(static_cast<std::uint8_t>(b)).size(), c.answers_per_byte[i])
                << "byte " << b;
            ++i;
        }
        EXPECT_FALSE(board->mid_command());
    }
}

TEST(VirtualBoard, EchoesCommandsAndAnswersReadsWithTheChipWord) {
    auto board = VirtualBoard::with_chip("PIC16F84A");
    board->chip().set_flash(0, 0x2805);
    EXPECT_EQ(feed_all(*board, {100, 101, 104, 4, 106, 103}),
              (Bytes{100, 101, 104, 0x05, 0x28, 106, 103}));
    // Without voltages the chip does not drive the data line.
    EXPECT_EQ(feed_all(*board, {104, 4, 106}), (Bytes{104, 0, 0, 106}));
    // Bytes that are not commands get no answer; the next command is understood.
    EXPECT_EQ(feed_all(*board, {0, 255, 107, 100}), (Bytes{100}));
    EXPECT_EQ(board->ignored_bytes(), 3U);
    // A data word of 0xFFFF reaches the chip as 14 bits; the code byte as 6 bits (0x84 -> 04).
    EXPECT_EQ(feed_all(*board, {102, 104, 2, 105, 0xFF, 0xFF, 104, 8}),
              (Bytes{102, 104, 105, 104}));
    board->advance_time(10'000);  // the programming cycle's time
    EXPECT_EQ(feed_all(*board, {104, 0x84, 106}), (Bytes{104, 0xFF, 0x3F, 106}));
    // Codes 40h-7Fh are the board's own extensions: 44h is none, and reaches no chip.
    EXPECT_EQ(feed_all(*board, {104, 0x44, 106}), (Bytes{104, 0, 0, 106}));
    EXPECT_TRUE(board->voltages_on());
}

}  // namespace
}  // namespace corvanel
