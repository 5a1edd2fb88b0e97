// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/virtual_board.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/cut_short_commands.h"

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

TEST(VirtualBoard, ThreeVoltagesOffBytesSwitchOffWhateverCommandWasCutShort) {
    for (const test::CutShortCommand& c : test::cut_short_commands()) {
        SCOPED_TRACE(c.name);
        auto board = VirtualBoard::with_chip("PIC16F628A");
        ASSERT_TRUE(board);
        ASSERT_EQ(board->feed(101), Bytes{101});
        Bytes answers;
        Bytes sent = c.sent;
        sent.insert(sent.end(), {103, 103, 103});
        for (const std::uint8_t byte : sent) {
            const Bytes a = board->feed(byte);
            answers.insert(answers.end(), a.begin(), a.end());
        }
        EXPECT_EQ(answers, c.answers);
        EXPECT_FALSE(board->voltages_on());
        EXPECT_FALSE(board->mid_command());
    }
}

TEST(VirtualBoard, EchoesCommandsAndAnswersReadsWithTheChipWord) {
    auto board = VirtualBoard::with_chip("PIC16F84A");
    board->chip().set_flash(0, 0x2805);
    EXPECT_EQ(feed_all(*board, {100, 101, 104, 4, 106, 103}),
              (Bytes{100, 101, 104, 0x05, 0x28, 106, 103}));
    // Without voltages nothing is clocked: the pulled-up data line reads 3FFFh, and
    // a load reaches no chip.
    EXPECT_EQ(feed_all(*board, {104, 4, 106}), (Bytes{104, 0xFF, 0x3F, 106}));
    EXPECT_EQ(feed_all(*board, {104, 2, 105, 0x00, 0x00, 104, 8}), (Bytes{104, 105, 104}));
    board->advance_time(10'000);
    EXPECT_EQ(board->chip().flash(0), 0x2805);
    // Bytes that are not commands get no answer; the next command is understood.
    EXPECT_EQ(feed_all(*board, {0, 255, 113, 100}), (Bytes{100}));
    EXPECT_EQ(board->ignored_bytes(), 3U);
    // A data word of 0xFFFF reaches the chip as 14 bits; the code byte as 6 bits (0x84 -> 04).
    EXPECT_EQ(feed_all(*board, {102, 104, 2, 105, 0xFF, 0xFF, 104, 8}),
              (Bytes{102, 104, 105, 104}));
    board->advance_time(10'000);  // the programming cycle's time
    EXPECT_EQ(feed_all(*board, {104, 0x84, 106}), (Bytes{104, 0xFF, 0x3F, 106}));
    // Codes 40h-7Fh are the board's own extensions: 44h is none, and reaches no chip.
    EXPECT_EQ(feed_all(*board, {104, 0x44, 106}), (Bytes{104, 0, 0, 106}));
    EXPECT_TRUE(board->voltages_on());
    // A chip put into a live socket is powered but out of programming mode until
    // the next voltages-on: it does not drive the data line.
    board->replace_chip(*Pic14Chip::create("PIC16F84A"));
    EXPECT_TRUE(board->voltages_on());
    EXPECT_EQ(feed_all(*board, {104, 4, 106}), (Bytes{104, 0, 0, 106}));
    EXPECT_EQ(feed_all(*board, {101, 104, 4, 106}), (Bytes{101, 104, 0xFF, 0x3F, 106}));
}

// The chip's Vdd is the board's: above the chip's absolute maximum it is recorded
// once, whichever way the voltages came on; the catalogue's F parts take 5 V.
TEST(VirtualBoard, GivesTheChipItsVddAndAnLfPartAt5VoltsRecordsAFault) {
    struct Case {
        const char* chip;
        double vdd;
        int entry;  // 101, 102, or 40h for the low-voltage key
        const char* fault;
    };
    const Case cases[] = {
        {"PIC16LF1826", 5.0, 101, "Vdd 5.0 V above the PIC16LF1826's absolute maximum (4.0 V)"},
        {"PIC12LF1552", 5.0, 0x40, "Vdd 5.0 V above the PIC12LF1552's absolute maximum (4.0 V)"},
        {"PIC16LF1826", 3.3, 102, nullptr},
        {"PIC16F1826", 5.0, 102, nullptr},
        {"PIC16F877A", 5.0, 101, nullptr},
        {"PIC16F877A", 7.0, 101, "Vdd 7.0 V above the PIC16F877A's absolute maximum (6.5 V)"},
        {"none", 7.0, 101, nullptr},
    };
    for (const Case& c : cases) {
        auto board = VirtualBoard::with_chip(c.chip);
        ASSERT_TRUE(board) << c.chip;
        EXPECT_EQ(board->vdd(), VirtualBoard::kDefaultVddVolts);
        board->set_vdd(c.vdd);
        for (int round = 0; round < 2; ++round) {
            if (c.entry == 0x40) {
                feed_all(*board, {104, 0x40, 103});
            } else {
                feed_all(*board, {c.entry, 103});
            }
        }
        if (c.fault) {
            EXPECT_EQ(board->chip().faults(), std::vector<std::string>{c.fault}) << c.chip;
        } else {
            EXPECT_TRUE(board->chip().faults().empty()) << c.chip << " " << c.vdd;
        }
    }
}

}  // namespace
}  // namespace corvanel

namespace corvanel {
namespace {

// The corners of blocks (111, 112; their words end to end in
// integration/block_board_test.cpp): with the voltages off, with flags it does not
// know and with no words a block is read to its end and answered, clocking
// nothing; a block cut short is given up with the voltages off; a plain board
// ignores both bytes; 104 47h takes its rate code only on a board that lists rates.
TEST(VirtualBoardBlocks, AnswersEveryBlockAndClocksOnlyWhatItMay) {
    struct Case {
        const char* name;
        bool powered;
        bool plain;
        std::vector<int> bytes;
        Bytes answer;
        std::uint64_t words_clocked;
    };
    const std::vector<Case> cases = {
        {"write, two words", true, false, {111, 2, 2, 6, 2, 0x34, 0x12, 0x78, 0x36}, Bytes{111}, 2},
        {"read", true, false, {112, 2, 4, 6, 2}, Bytes{0xFF, 0x3F, 0xFF, 0x3F, 112}, 2},
        {"read, voltages off", false, false, {112, 2, 4, 6, 1}, Bytes{0xFF, 0x3F, 112}, 0},
        {"write, voltages off", false, false, {111, 2, 2, 6, 1, 1, 0}, Bytes{111}, 0},
        {"unknown flag", true, false, {112, 6, 4, 6, 1}, Bytes{0xFF, 0xFF, 112}, 0},
        {"no words", true, false, {111, 2, 2, 6, 0}, Bytes{111}, 0},
        {"plain board", true, true, {111, 112}, Bytes{}, 0},
    };
    auto board = VirtualBoard::with_chip("PIC16F877A");
    ASSERT_TRUE(board);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board->set_plain(c.plain);
        (void)feed_all(*board, {103});
        if (c.powered) {
            ASSERT_EQ(feed_all(*board, {101}), Bytes{101});
        }
        const std::uint64_t before = board->block_words();
        Bytes answer;
        for (const int b : c.bytes) {
            const Bytes a = board->feed(static_cast<std::uint8_t>(b));
            answer.insert(answer.end(), a.begin(), a.end());
        }
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(board->block_words() - before, c.words_clocked);
        EXPECT_FALSE(board->mid_command());
    }

    board->set_plain(false);
    ASSERT_EQ(feed_all(*board, {101}), Bytes{101});
    EXPECT_EQ(feed_all(*board, {111, 2, 2, 6, 3, 0x11}), Bytes{});
    board->line_quiet();
    EXPECT_FALSE(board->voltages_on());
    EXPECT_EQ(feed_all(*board, {100}), Bytes{100});

    // No rates listed: 104 47h is an extension it lacks, and the next byte a command.
    EXPECT_EQ(feed_all(*board, {104, 0x47, 100}), (Bytes{104, 100}));
    board->set_line_rates(0x18);
    EXPECT_EQ(feed_all(*board, {104, 0x47, 4}), Bytes{104});
    EXPECT_EQ(board->take_rate_request(), std::optional<std::uint8_t>(4));
    EXPECT_EQ(feed_all(*board, {104, 0x47, 2}), Bytes{104});  // not listed
    EXPECT_EQ(board->take_rate_request(), std::nullopt);
    ASSERT_EQ(feed_all(*board, {101}), Bytes{101});
    EXPECT_EQ(feed_all(*board, {104, 0x47, 3}), Bytes{104});  // the chip is powered
    EXPECT_EQ(board->take_rate_request(), std::nullopt);
}

}  // namespace
}  // namespace corvanel
