// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/receive_line.h"

#include <algorithm>
#include <limits>

#include "core/link/board_protocol.h"

namespace corvanel::board_server {

ReceiveLine::ReceiveLine(long baud, std::optional<std::size_t> buffer_size)
    : byte_time_(byte_time_of(baud)),
      buffer_size_(buffer_size.value_or(std::numeric_limits<std::size_t>::max())) {}

void ReceiveLine::set_baud(long baud) {
    byte_time_ = byte_time_of(baud);
}

void ReceiveLine::arrive(std::uint8_t byte, Clock::time_point now) {
    line_free_ = std::max(line_free_, now) + byte_time_;
    on_line_.push_back({byte, line_free_});
}

void ReceiveLine::run_until(Clock::time_point now, const Board& board) {
    for (;;) {
        const bool next_on_line = !on_line_.empty() && on_line_.front().at <= now;
        // A waiting byte is taken when the board is free, unless a byte still on
        // the line arrives before that (it then goes to the buffer first).
        if (!buffered_.empty() && board_free_ <= now &&
            (!next_on_line || board_free_ <= on_line_.front().at)) {
            const Byte taken = buffered_.front();
            buffered_.pop_front();
            board_free_ = std::max(board_free_, board(taken.byte, board_free_));
            continue;
        }
        if (!next_on_line) {
            return;
        }
        const Byte arrived = on_line_.front();
        on_line_.pop_front();
        if (board_free_ > arrived.at || !buffered_.empty()) {
            if (buffered_.size() < buffer_size_) {
                buffered_.push_back(arrived);
            } else {
                ++lost_;
                if (arrived.byte != board_command::kNop) {
                    ++lost_other_;
                }
            }
            continue;
        }
        board_free_ = std::max(arrived.at, board(arrived.byte, arrived.at));
    }
}

Clock::time_point ReceiveLine::settled_until(Clock::time_point now) const {
    if (byte_time_ == Clock::duration::zero()) {
        return now;
    }
    return std::max(line_free_, now) + byte_time_ - Clock::duration(1);
}

std::optional<Clock::time_point> ReceiveLine::next_event() const {
    std::optional<Clock::time_point> next;
    if (!on_line_.empty()) {
        next = on_line_.front().at;
    }
    if (!buffered_.empty() && (!next || board_free_ < *next)) {
        next = board_free_;
    }
    return next;
}

}  // namespace corvanel::board_server
