// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/serve_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "core/link/board_protocol.h"

namespace corvanel::board_server {

namespace {

// A sleeping process wakes up later than asked, by some tens of microseconds
// and now and then much more. The loop sleeps until this long before the next
// byte is due and looks at the clock for the rest, so that an answer leaves on
// time rather than when the scheduler gets round to it.
constexpr Clock::duration kWakeUpMargin = std::chrono::microseconds(150);

// How long to sleep at most: until shortly before the next byte is due on either
// half of the line, and no longer than 200 ms so that a stop signal is noticed.
// Answers that the fault injection holds back are looked at every ms.
timespec wait_time(const Transmitter& out, const ReceiveLine& in, const BoardChannel& channel,
                   Clock::time_point now) {
    Clock::duration wait = std::chrono::milliseconds(200);
    for (const auto& due : {out.next_due(), in.next_event()}) {
        if (due) {
            wait = std::min(wait, std::max(*due - now - kWakeUpMargin, Clock::duration::zero()));
        }
    }
    if (channel.in_flight_count() > 0) {
        wait = std::min<Clock::duration>(wait, std::chrono::milliseconds(1));
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

}  // namespace

int serve(const Terminal& terminal, BoardChannel& channel, Transmitter& out, ReceiveLine& in,
          Clock::duration command_time, const volatile std::sig_atomic_t& stop,
          const std::function<void()>& between, const LineRates& rates) {
    std::vector<std::uint8_t> buffer(256);
    // The board acts on a byte at the moment it arrives over the line; its answers
    // leave from that moment on, not from when this loop got round to it. The chip's
    // clock follows the real time between the bytes it takes, so a host that waits
    // too little after a programming command interrupts the cycle as on a real chip.
    std::optional<Clock::time_point> last_taken;
    const auto move_clock_to = [&](Clock::time_point at) {
        if (last_taken && at > *last_taken) {
            const auto passed =
                std::chrono::duration_cast<std::chrono::microseconds>(at - *last_taken);
            channel.board().advance_time(static_cast<std::uint64_t>(passed.count()));
        }
        if (!last_taken || at > *last_taken) {
            last_taken = at;
        }
    };
    // The line rate: the one in use, the one to go back to while the switch to it
    // is checked, and the check's end and the no-operations seen so far.
    long baud = rates.start_baud;
    long fallback_baud = baud;
    std::optional<Clock::time_point> check_until;
    int checks_seen = 0;
    const auto set_rate = [&](long to) {
        baud = to;
        in.set_baud(to);
        out.set_baud(to);
        std::fprintf(stderr, "corvanel-board: line rate %ld baud\n", to);
    };
    const auto check_fails = [&] {
        check_until.reset();
        set_rate(fallback_baud);
    };
    const auto carried = [&] { return !rates.drop_above || baud <= *rates.drop_above; };
    const ReceiveLine::Board board = [&](std::uint8_t byte, Clock::time_point at) {
        if (check_until && at > *check_until) {
            check_fails();
        }
        if (!carried()) {
            return at;  // lost on the way: the board never sees it
        }
        if (check_until) {
            if (byte != board_command::kNop) {
                check_fails();
                return at;
            }
            if (++checks_seen == 2) {
                check_until.reset();
            }
        }
        move_clock_to(at);
        channel.write_byte(byte);
        // A board-timed wait holds its answer and the next command back that long
        // on this clock; the chip's clock follows when the next byte is taken.
        const auto wait = channel.board().take_board_wait();
        const Clock::time_point done =
            at + command_time + std::chrono::milliseconds(wait.value_or(0));
        for (const std::uint8_t answer : channel.read_all()) {
            out.queue(answer, done);
        }
        if (const auto code = channel.board().take_rate_request(); code && rates.start_baud > 0) {
            const long to = *code == board_identity::kRateStarting
                                ? rates.start_baud
                                : static_cast<long>(board_identity::rate_of_code(*code));
            if (to != baud) {
                // The answer leaves at the old rate; the check window opens after it.
                fallback_baud = baud;
                set_rate(to);
                checks_seen = 0;
                if (*code != board_identity::kRateStarting) {
                    check_until = out.line_free() +
                                  std::chrono::milliseconds(board_identity::kRateCheckWindowMs);
                }
            }
        }
        return std::max(done, out.line_free());
    };
    std::uint64_t lost_reported = 0;
    while (stop == 0) {
        if (between) {
            between();
        }
        pollfd fds{terminal.master, POLLIN, 0};
        const timespec timeout = wait_time(out, in, channel, Clock::now());
        const int ready = ppoll(&fds, 1, &timeout, nullptr);
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
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                in.arrive(buffer[static_cast<std::size_t>(i)], now);
            }
        }
        const auto now = Clock::now();
        if (check_until && now > *check_until) {
            check_fails();
        }
        // What the host has sent so far is played out as far as it is settled:
        // the board's answers are queued with their own times, and the loop
        // only has to wake up to hand them over.
        in.run_until(in.settled_until(now), board);
        // Answers the fault injection held back (--delay-ms) leave when they are ready.
        for (const std::uint8_t answer : channel.read_all()) {
            out.queue(answer, now);
        }
        if (in.lost() != lost_reported) {
            lost_reported = in.lost();
            std::fprintf(stderr,
                         "corvanel-board: receive buffer full, %llu bytes lost so far, %llu of "
                         "them other than no-operations\n",
                         static_cast<unsigned long long>(lost_reported),
                         static_cast<unsigned long long>(in.lost_other_than_nops()));
        }
        if (!out.send_due(terminal.master, Clock::now())) {
            std::perror("corvanel-board: write");
            return 1;
        }
    }
    // Time also passed after the last byte: a cycle that has run its course by now
    // is done before the chip is saved.
    move_clock_to(Clock::now());
    return 0;
}

}  // namespace corvanel::board_server
