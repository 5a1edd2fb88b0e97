// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Answer bytes on their way out of the board server, each sent no earlier than
// the moment a line of the given baud rate has carried it (10 bits a byte).
//
// A USB serial adapter with a latency timer hands received bytes to the host
// only when its timer runs out: with a latency of N ms a byte that has crossed
// the line waits for the next multiple of N ms (counted from the start).

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace corvanel::board_server {

using Clock = std::chrono::steady_clock;

// How long a line of `baud` takes for a byte (10 bits); zero for a rate of 0.
[[nodiscard]] Clock::duration byte_time_of(long baud);

class Transmitter {
public:
    // A baud rate of 0 sends every byte at once; a latency of 0 hands every byte
    // over as soon as it has crossed the line.
    explicit Transmitter(long baud, Clock::duration latency = Clock::duration::zero(),
                         Clock::time_point epoch = Clock::now());

    // The line's rate for the bytes queued from now on.
    void set_baud(long baud) { byte_time_ = byte_time_of(baud); }
    // An answer byte the board sends from `now` on (after the bytes before it).
    void queue(std::uint8_t byte, Clock::time_point now);

    // Writes the bytes that are due to `fd`; false when the terminal is gone.
    [[nodiscard]] bool send_due(int fd, Clock::time_point now);

    // When the next byte is to be handed to the host.
    [[nodiscard]] std::optional<Clock::time_point> next_due() const;
    // When the line has carried every byte queued so far.
    [[nodiscard]] Clock::time_point line_free() const { return line_free_; }

private:
    struct Byte {
        std::uint8_t byte;
        Clock::time_point due;
    };
    Clock::duration byte_time_;
    Clock::duration latency_;
    Clock::time_point epoch_;
    Clock::time_point line_free_{};
    std::deque<Byte> pending_;
};

}  // namespace corvanel::board_server
