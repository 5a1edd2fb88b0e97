// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The board server's main loop: bytes from the terminal go to the board channel
// over the receive line, its answers go back through the transmitter, until a
// stop is asked for.

#include <csignal>
#include <functional>

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
[[nodiscard]] int serve(const Terminal& terminal, BoardChannel& channel, Transmitter& out,
                        ReceiveLine& in, Clock::duration command_time,
                        const volatile std::sig_atomic_t& stop,
                        const std::function<void()>& between = {});

}  // namespace corvanel::board_server
