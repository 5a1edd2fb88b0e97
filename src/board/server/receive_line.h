// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The host-to-board half of the serial line and the board's receive buffer.
//
// A byte the host writes reaches the board only when a line of the given baud
// rate has carried it (10 bits a byte, one byte after the other). The board
// takes a byte at once unless it is busy sending the answers to an earlier
// command (its firmware sends them before it looks at the line again); bytes
// that arrive meanwhile wait in its receive buffer, and those beyond the
// buffer's size are lost, as on a board with a small UART buffer.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "board/server/transmitter.h"

namespace corvanel::board_server {

class ReceiveLine {
public:
    // The board hands a byte it takes at `at` to whoever acts on it; the answer is
    // the moment the board is free again (no earlier than `at`).
    using Board = std::function<Clock::time_point(std::uint8_t byte, Clock::time_point at)>;

    // A baud rate of 0 carries every byte at once; no buffer size means a buffer
    // that never overflows.
    ReceiveLine(long baud, std::optional<std::size_t> buffer_size);

    // The line's rate from now on (0: every byte at once); bytes already on their
    // way keep their times.
    void set_baud(long baud);
    // A byte the host has written, seen on the terminal at `now`.
    void arrive(std::uint8_t byte, Clock::time_point now);

    // Hands to `board` every byte the board takes up to `now`, in order and each
    // with the moment it is taken.
    void run_until(Clock::time_point now, const Board& board);

    // How far ahead the line's traffic is settled: a byte the host writes from
    // `now` on arrives no earlier than this, so every event before it can be
    // played out at once (the board's answers still leave at their own times).
    [[nodiscard]] Clock::time_point settled_until(Clock::time_point now) const;

    // When run_until has something to do next; nothing while all is done.
    [[nodiscard]] std::optional<Clock::time_point> next_event() const;

    // Bytes lost because the board's receive buffer was full.
    [[nodiscard]] std::uint64_t lost() const { return lost_; }
    // Of those, the bytes other than no-operation commands (100): a host that
    // measures the buffer with bursts of no-operations loses only those.
    [[nodiscard]] std::uint64_t lost_other_than_nops() const { return lost_other_; }

private:
    struct Byte {
        std::uint8_t byte;
        Clock::time_point at;
    };
    Clock::duration byte_time_;
    std::size_t buffer_size_;
    Clock::time_point line_free_{};
    Clock::time_point board_free_{};
    std::deque<Byte> on_line_;   // still travelling, with the moment each arrives
    std::deque<Byte> buffered_;  // arrived while the board was busy
    std::uint64_t lost_ = 0;
    std::uint64_t lost_other_ = 0;
};

}  // namespace corvanel::board_server
