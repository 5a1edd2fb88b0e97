// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/board_channel.h"

#include <algorithm>

namespace corvanel {

BoardChannel::BoardChannel(VirtualBoard& board) : board_(board) {}

void BoardChannel::set_clock(Clock clock) {
    clock_ = std::move(clock);
}

std::chrono::steady_clock::time_point BoardChannel::now() const {
    return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void BoardChannel::set_record_limit(std::size_t bytes) {
    record_limit_ = bytes;
    if (written_.size() > bytes) {
        written_.erase(written_.begin(),
                       written_.begin() + static_cast<std::ptrdiff_t>(written_.size() - bytes));
    }
    written_.shrink_to_fit();
}

void BoardChannel::note_pause(int milliseconds) {
    if (milliseconds > 0) {
        board_.advance_time(static_cast<std::uint64_t>(milliseconds) * 1000U);
    }
}

void BoardChannel::write_byte(std::uint8_t byte) {
    if (!open_) {
        return;
    }
    ++bytes_written_;
    if (record_limit_ > 0) {
        if (written_.size() >= record_limit_ + record_limit_ / 4) {
            written_.erase(written_.begin(),
                           written_.begin() +
                               static_cast<std::ptrdiff_t>(written_.size() - record_limit_ + 1));
        }
        written_.push_back(byte);
    }
    if (faults_.stop_after_bytes && bytes_written_ > *faults_.stop_after_bytes) {
        return;
    }
    const auto ready_at = now() + faults_.answer_delay;
    for (const std::uint8_t answer : board_.feed(byte)) {
        ++answers_produced_;
        if (faults_.drop_answer && answers_produced_ == *faults_.drop_answer) {
            continue;
        }
        const bool corrupt = faults_.corrupt_answer && answers_produced_ == *faults_.corrupt_answer;
        queue_.push_back({static_cast<std::uint8_t>(corrupt ? answer ^ 0x01 : answer), ready_at});
        if (faults_.duplicate_answer && answers_produced_ == *faults_.duplicate_answer) {
            queue_.push_back({answer, ready_at});
        }
        if (faults_.garbage_answer && answers_produced_ == *faults_.garbage_answer) {
            queue_.push_back({kNoiseByte, ready_at});
        }
    }
    if (simulated_waits_) {
        if (const auto wait = board_.take_board_wait()) {
            board_.advance_time(static_cast<std::uint64_t>(*wait) * 1000U);
        }
    }
}

std::vector<std::uint8_t> BoardChannel::read_all() {
    std::vector<std::uint8_t> bytes;
    if (!open_) {
        return bytes;
    }
    const auto t = now();
    // Answers leave the board in order, so the ready ones are always at the front.
    while (!queue_.empty() && queue_.front().ready_at <= t) {
        bytes.push_back(queue_.front().byte);
        queue_.pop_front();
    }
    return bytes;
}

std::size_t BoardChannel::waiting_count() const {
    if (!open_) {
        return 0;
    }
    const auto t = now();
    const auto first_late = std::find_if(queue_.begin(), queue_.end(),
                                         [t](const Pending& p) { return p.ready_at > t; });
    return static_cast<std::size_t>(first_late - queue_.begin());
}

bool BoardChannel::has_waiting() const {
    return waiting_count() > 0;
}

std::size_t BoardChannel::in_flight_count() const {
    return queue_.size() - waiting_count();
}

}  // namespace corvanel
