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

}  // namespace
}  // namespace corvanel
