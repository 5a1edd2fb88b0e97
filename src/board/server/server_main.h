// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// corvanel-board: the virtual programmer board with an emulated PIC on a
// pseudo-terminal, so that the window application, the command-line tool and the
// tests talk to it through the very same serial code they use for a real board.

namespace corvanel::board_server {

// The whole program: answers the exit status.
[[nodiscard]] int run_board_server(int argc, char** argv);

}  // namespace corvanel::board_server
