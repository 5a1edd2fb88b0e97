// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace corvanel::board_server {

std::optional<Terminal> open_terminal() {
    Terminal t;
    t.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) {
        std::perror("corvanel-board: pseudo-terminal");
        return std::nullopt;
    }
    const char* name = ptsname(t.master);
    if (name == nullptr) {
        std::perror("corvanel-board: ptsname");
        return std::nullopt;
    }
    t.path = name;
    t.slave = open(name, O_RDWR | O_NOCTTY);
    if (t.slave < 0) {
        std::perror("corvanel-board: open slave");
        return std::nullopt;
    }
    termios settings{};
    if (tcgetattr(t.slave, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(t.slave, TCSANOW, &settings);
    }
    fcntl(t.master, F_SETFL, fcntl(t.master, F_GETFL) | O_NONBLOCK);
    return t;
}

void close_terminal(Terminal& terminal) {
    if (terminal.slave >= 0) {
        close(terminal.slave);
    }
    if (terminal.master >= 0) {
        close(terminal.master);
    }
    terminal.slave = terminal.master = -1;
}

}  // namespace corvanel::board_server
