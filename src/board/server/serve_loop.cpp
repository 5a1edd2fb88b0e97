#include "board/server/serve_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace corvanel::board_server {

namespace {

int poll_timeout_ms(const Transmitter& out, const BoardChannel& channel, Clock::time_point now) {
    int timeout = 200;  // wake regularly to notice a stop signal
    if (const auto due = out.next_due()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
        timeout = static_cast<int>(std::clamp<long long>(wait, 0, timeout));
    }
    if (channel.in_flight_count() > 0) {
        timeout = std::min(timeout, 1);
    }
    return timeout;
}

}  // namespace

int serve(const Terminal& terminal, BoardChannel& channel, Transmitter& out,
          const volatile std::sig_atomic_t& stop) {
    std::vector<std::uint8_t> buffer(256);
    while (stop == 0) {
        pollfd fds{terminal.master, POLLIN, 0};
        const int ready = poll(&fds, 1, poll_timeout_ms(out, channel, Clock::now()));
        if (ready < 0 && errno != EINTR) {
            std::perror("corvanel-board: poll");
            return 1;
        }
        if (ready > 0 && (fds.revents & POLLIN) != 0) {
            const ssize_t n = read(terminal.master, buffer.data(), buffer.size());
            if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                std::perror("corvanel-board: read");
                return 1;
            }
            for (ssize_t i = 0; i < n; ++i) {
                channel.write_byte(buffer[static_cast<std::size_t>(i)]);
            }
        }
        const auto now = Clock::now();
        for (const std::uint8_t answer : channel.read_all()) {
            out.queue(answer, now);
        }
        if (!out.send_due(terminal.master, Clock::now())) {
            std::perror("corvanel-board: write");
            return 1;
        }
    }
    return 0;
}

}  // namespace corvanel::board_server
