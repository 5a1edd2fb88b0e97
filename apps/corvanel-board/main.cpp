// SPDX-License-Identifier: GPL-3.0-or-later
// corvanel-board: the virtual programmer board on a pseudo-terminal.

#include "board/server/server_main.h"

int main(int argc, char** argv) {
    return corvanel::board_server::run_board_server(argc, argv);
}
