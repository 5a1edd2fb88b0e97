// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/transmitter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace corvanel::board_server {

Clock::duration byte_time_of(long baud) {
    return baud > 0 ? std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(10.0 / static_cast<double>(baud)))
                    : Clock::duration::zero();
}

Transmitter::Transmitter(long baud, Clock::duration latency, Clock::time_point epoch)
    : byte_time_(byte_time_of(baud)),
      latency_(std::max(latency, Clock::duration::zero())),
      epoch_(epoch) {}

void Transmitter::queue(std::uint8_t byte, Clock::time_point now) {
    line_free_ = std::max(line_free_, now) + byte_time_;
    Clock::time_point due = line_free_;
    if (latency_ > Clock::duration::zero() && due > epoch_) {
        const auto ticks = (due - epoch_ + latency_ - Clock::duration(1)) / latency_;
        due = epoch_ + ticks * latency_;
    }
    pending_.push_back({byte, due});
}

bool Transmitter::send_due(int fd, Clock::time_point now) {
    while (!pending_.empty() && pending_.front().due <= now) {
        const std::uint8_t byte = pending_.front().byte;
        const ssize_t written = write(fd, &byte, 1);
        if (written == 1) {
            pending_.pop_front();
        } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            break;
        } else {
            return false;
        }
    }
    return true;
}

std::optional<Clock::time_point> Transmitter::next_due() const {
    if (pending_.empty()) {
        return std::nullopt;
    }
    return pending_.front().due;
}

}  // namespace corvanel::board_server
