// SPDX-License-Identifier: GPL-3.0-or-later
// The board server's clock: both halves of the line charged at 10 bits a byte,
// the board's receive buffer, and an adapter's latency timer. Time is given
// explicitly, so nothing here waits.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "board/server/receive_line.h"
#include "board/server/transmitter.h"

namespace corvanel::board_server {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);

// At 10000 baud a byte takes exactly 1 ms on the line.
constexpr long kBaud = 10000;

struct Taken {
    std::uint8_t byte;
    Clock::duration at;
};

// A board that is busy for `busy` after every byte it takes.
struct FakeBoard {
    Clock::duration busy{};
    std::vector<Taken> taken;
    ReceiveLine::Board function() {
        return [this](std::uint8_t byte, Clock::time_point at) {
            taken.push_back({byte, at - t0});
            return at + busy;
        };
    }
};

TEST(BoardServerClock, HostBytesArriveOneAfterAnotherAtTheBaudRate) {
    ReceiveLine line(kBaud, std::nullopt);
    FakeBoard board;
    for (std::uint8_t b : {104, 6, 106}) {
        line.arrive(b, t0);
    }
    line.run_until(t0 + microseconds(999), board.function());
    EXPECT_TRUE(board.taken.empty());
    EXPECT_EQ(line.next_event(), t0 + milliseconds(1));
    line.run_until(t0 + milliseconds(3), board.function());
    ASSERT_EQ(board.taken.size(), 3U);
    EXPECT_EQ(board.taken[0].at, milliseconds(1));
    EXPECT_EQ(board.taken[1].at, milliseconds(2));
    EXPECT_EQ(board.taken[2].at, milliseconds(3));
    EXPECT_FALSE(line.next_event());
    // A byte written after the line fell idle starts afresh.
    line.arrive(100, t0 + milliseconds(10));
    line.run_until(t0 + milliseconds(20), board.function());
    EXPECT_EQ(board.taken.back().at, milliseconds(11));
    EXPECT_EQ(line.lost(), 0U);
}

TEST(BoardServerClock, ABusyBoardBuffersWhatArrivesAndLosesWhatDoesNotFit) {
    struct Case {
        std::optional<std::size_t> buffer;
        std::size_t taken;
        std::uint64_t lost;
    };
    for (const Case c : {Case{std::nullopt, 6, 0}, Case{2, 3, 3}, Case{0, 1, 5}}) {
        ReceiveLine line(kBaud, c.buffer);
        FakeBoard board{milliseconds(10), {}};
        for (int i = 0; i < 6; ++i) {
            line.arrive(static_cast<std::uint8_t>(i), t0);
        }
        line.run_until(t0 + milliseconds(100), board.function());
        EXPECT_EQ(board.taken.size(), c.taken);
        EXPECT_EQ(line.lost(), c.lost);
        // The buffered bytes are taken in order, each when the board is free again.
        for (std::size_t i = 1; i < board.taken.size(); ++i) {
            EXPECT_EQ(board.taken[i].byte, i);
            EXPECT_EQ(board.taken[i].at, milliseconds(1) + i * milliseconds(10));
        }
    }
}

TEST(BoardServerClock, AnswersLeaveAtTheBaudRateAndWaitForTheLatencyTimer) {
    struct Case {
        Clock::duration latency;
        std::vector<Clock::duration> due;
    };
    const std::vector<Case> cases = {
        {Clock::duration::zero(), {milliseconds(1), milliseconds(2), milliseconds(3)}},
        {milliseconds(16), {milliseconds(16), milliseconds(16), milliseconds(16)}},
        {milliseconds(2), {milliseconds(2), milliseconds(2), milliseconds(4)}},
    };
    for (const Case& c : cases) {
        Transmitter out(kBaud, c.latency, t0);
        for (std::uint8_t b : {0x34, 0x12, 106}) {
            out.queue(b, t0);
        }
        EXPECT_EQ(out.line_free(), t0 + milliseconds(3));
        ASSERT_TRUE(out.next_due());
        EXPECT_EQ(*out.next_due() - t0, c.due.front());
        // Writing to no terminal fails, but only once a byte is due.
        EXPECT_TRUE(out.send_due(-1, t0 + c.due.front() - microseconds(1)));
        EXPECT_FALSE(out.send_due(-1, t0 + c.due.front()));
    }
}

}  // namespace
}  // namespace corvanel::board_server
