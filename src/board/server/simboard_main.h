// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// corvanel-simboard: the real board firmware on a simulated ATmega328P, with an
// emulated chip on its ICSP pins, behind a pseudo-terminal.

namespace corvanel::board_server {

[[nodiscard]] int run_simulated_board_server(int argc, char** argv);

}  // namespace corvanel::board_server
