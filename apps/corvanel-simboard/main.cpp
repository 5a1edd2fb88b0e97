// SPDX-License-Identifier: GPL-3.0-or-later
// corvanel-simboard: the real board firmware, simulated, on a pseudo-terminal.

#include "board/server/simboard_main.h"

int main(int argc, char** argv) {
    return corvanel::board_server::run_simulated_board_server(argc, argv);
}
