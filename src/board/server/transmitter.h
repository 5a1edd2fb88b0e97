#pragma once

// Answer bytes on their way out of the board server, each sent no earlier than
// the moment a line of the given baud rate has carried it (10 bits a byte).

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace corvanel::board_server {

using Clock = std::chrono::steady_clock;

class Transmitter {
public:
    // A baud rate of 0 sends every byte at once.
    explicit Transmitter(long baud);

    void queue(std::uint8_t byte, Clock::time_point now);

    // Writes the bytes that are due to `fd`; false when the terminal is gone.
    [[nodiscard]] bool send_due(int fd, Clock::time_point now);

    [[nodiscard]] std::optional<Clock::time_point> next_due() const;

private:
    struct Byte {
        std::uint8_t byte;
        Clock::time_point due;
    };
    Clock::duration byte_time_;
    Clock::time_point line_free_{};
    std::deque<Byte> pending_;
};

}  // namespace corvanel::board_server
