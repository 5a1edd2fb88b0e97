// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The board server's main loop: bytes from the terminal go to the board channel
// over the receive line, its answers go back through the transmitter, until a
// stop is asked for.

#include <csignal>
#include <functional>
#include <optional>

#include "board/board_channel.h"
#include "board/server/pseudo_terminal.h"
#include "board/server/receive_line.h"
#include "board/server/transmitter.h"

namespace corvanel::board_server {

// Serves until `stop` becomes non-zero (set from a signal handler); answers the
// exit status (0, or 1 when the terminal failed). The host's bytes reach the board
// through `in`, its answers leave through `out`, both on time to the microsecond;
// the board spends `command_time` on each byte it takes before it answers.
// `between` runs on every turn of the loop (at least every 200 ms, and at once after
// a signal), between the bytes the board takes.
// The line rate (104 47h): the board starts at `start_baud`; a switch it takes
// moves both halves of the line to the new rate once its answer has left, and
// the new rate holds only when two no-operations (100) come inside the check
// window; anything else, or the window closing, takes the line back. Above
// `drop_above` the line carries nothing either way (a USB bridge that cannot
// keep such a rate).
struct LineRates {
    long start_baud = 0;
    std::optional<long> drop_above;
};

[[nodiscard]] int serve(const Terminal& terminal, BoardChannel& channel, Transmitter& out,
                        ReceiveLine& in, Clock::duration command_time,
                        const volatile std::sig_atomic_t& stop,
                        const std::function<void()>& between = {}, const LineRates& rates = {});

}  // namespace corvanel::board_server
