// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// corvanel-simboard's serving loop: the simulated board follows the wall clock,
// the host's bytes reach its serial line with the pauses between them kept, and
// its answers go back to the terminal.

#include <csignal>

#include "board/server/pseudo_terminal.h"
#include "board/simavr_board.h"

namespace corvanel::board_server {

// Serves until `stop` becomes non-zero; answers the exit status (0, or 1 when the
// terminal failed or the firmware crashed). Timing faults of the chip's pins are
// reported on standard error as they happen.
[[nodiscard]] int serve_simulated(const Terminal& terminal, SimulatedBoard& board,
                                  const volatile std::sig_atomic_t& stop);

}  // namespace corvanel::board_server
