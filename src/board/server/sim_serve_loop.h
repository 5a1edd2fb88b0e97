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
//
// With `reset_on_open` the board behaves as an Uno or a Nano on its USB port: it
// stays in reset until the host opens the terminal, and every open resets it
// (the DTR line). The bootloader then holds the line for kBootloaderMs, taking
// whatever the host sends for its own; the firmware starts after it and sends its
// banner. For each open, standard error says when the banner had gone out and
// when the host's first byte came, or that a byte came before the banner.
inline constexpr int kBootloaderMs = 500;
[[nodiscard]] int serve_simulated(const Terminal& terminal, SimulatedBoard& board,
                                  const volatile std::sig_atomic_t& stop,
                                  bool reset_on_open = false);

}  // namespace corvanel::board_server
