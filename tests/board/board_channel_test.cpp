// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/board_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

class BoardChannelTest : public ::testing::Test {
protected:
    void write(const Bytes& bytes) {
        for (const std::uint8_t b : bytes) {
            channel.write_byte(b);
        }
    }

    VirtualBoard board = *VirtualBoard::with_chip("PIC16F877A");
    BoardChannel channel{board};
};

TEST_F(BoardChannelTest, QueuesAnswersUntilTheyAreRead) {
    EXPECT_TRUE(channel.is_open());
    EXPECT_FALSE(channel.has_waiting());
    channel.set_receive_threshold(1);
    EXPECT_EQ(channel.receive_threshold(), 1);
    board.chip().set_flash(0, 0x1234);
    write({101, 104, 4, 106});
    EXPECT_EQ(channel.waiting_count(), 5U);
    EXPECT_EQ(channel.read_all(), (Bytes{101, 104, 0x34, 0x12, 106}));
    EXPECT_FALSE(channel.has_waiting());
    EXPECT_EQ(channel.written(), (Bytes{101, 104, 4, 106}));

    channel.set_open(false);
    write({100});
    EXPECT_FALSE(channel.has_waiting());
    EXPECT_EQ(channel.bytes_written(), 4U);
}

TEST_F(BoardChannelTest, InjectedFaults) {
    struct Case {
        const char* name;
        BoardFaults faults;
        Bytes expected;
    };
    BoardFaults stop;
    stop.stop_after_bytes = 3;  // 100, 101, 104 heard; the code byte is not
    BoardFaults drop;
    drop.drop_answer = 4;  // the low byte of the read
    BoardFaults twice;
    twice.duplicate_answer = 2;
    BoardFaults noise;
    noise.garbage_answer = 4;
    BoardFaults changed;
    changed.corrupt_answer = 4;  // 34h arrives as 35h: nothing more, nothing less
    const Case cases[] = {
        {"none", {}, {100, 101, 104, 0x34, 0x12, 106, 103}},
        {"stop", stop, {100, 101}},
        {"drop", drop, {100, 101, 104, 0x12, 106, 103}},
        {"duplicate", twice, {100, 101, 101, 104, 0x34, 0x12, 106, 103}},
        {"noise", noise, {100, 101, 104, 0x34, 0xFF, 0x12, 106, 103}},
        {"changed", changed, {100, 101, 104, 0x35, 0x12, 106, 103}},
    };
    for (const Case& c : cases) {
        VirtualBoard b = *VirtualBoard::with_chip("PIC16F877A");
        b.chip().set_flash(0, 0x1234);
        BoardChannel ch(b);
        ch.set_faults(c.faults);
        for (const std::uint8_t byte : Bytes{100, 101, 104, 4, 106, 103}) {
            ch.write_byte(byte);
        }
        EXPECT_EQ(ch.read_all(), c.expected) << c.name;
        EXPECT_EQ(ch.written().size(), 6U) << c.name;
    }
}

// A long-running board keeps a bounded record (none at all in the board server),
// while the count and the fault injection still see every byte.
TEST_F(BoardChannelTest, TheRecordKeepsOnlyTheLatestBytesUpToItsLimit) {
    BoardFaults stop;
    stop.stop_after_bytes = 1000;
    channel.set_faults(stop);
    channel.set_record_limit(8);
    for (int i = 0; i < 1000; ++i) {
        channel.write_byte(100);
    }
    channel.write_byte(103);
    ASSERT_GE(channel.written().size(), 8U);
    EXPECT_LE(channel.written().size(), 10U);
    EXPECT_EQ(channel.written().back(), 103);
    EXPECT_EQ(channel.bytes_written(), 1001U);
    // The 1001st byte was not heard: no 103 among the answers.
    const Bytes answers = channel.read_all();
    EXPECT_EQ(answers.size(), 1000U);
    EXPECT_EQ(answers.back(), 100);

    channel.set_record_limit(0);
    channel.write_byte(100);
    EXPECT_TRUE(channel.written().empty());
    EXPECT_EQ(channel.written().capacity(), 0U);
    EXPECT_EQ(channel.bytes_written(), 1002U);
}

TEST_F(BoardChannelTest, SlowAnswersBecomeReadableAfterTheDelayOnTheInjectedClock) {
    auto now = std::chrono::steady_clock::time_point{} + 1h;
    channel.set_clock([&now] { return now; });
    BoardFaults slow;
    slow.answer_delay = 20ms;
    channel.set_faults(slow);

    write({100});
    now += 10ms;
    write({103});
    EXPECT_FALSE(channel.has_waiting());
    EXPECT_EQ(channel.in_flight_count(), 2U);
    EXPECT_TRUE(channel.read_all().empty());
    now += 10ms;  // the first answer is due, the second not yet
    EXPECT_EQ(channel.waiting_count(), 1U);
    EXPECT_EQ(channel.read_all(), (Bytes{100}));
    now += 10ms;
    EXPECT_EQ(channel.read_all(), (Bytes{103}));
    EXPECT_EQ(channel.in_flight_count(), 0U);
}

}  // namespace
}  // namespace corvanel
