// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The board server's end of the serial line: a pseudo-terminal whose slave side
// the window application or the command-line tool opens as a serial port.

#include <optional>
#include <string>

namespace corvanel::board_server {

struct Terminal {
    int master = -1;
    int slave = -1;
    std::string path;
};

// Opens a pseudo-terminal in raw mode with a non-blocking master. The slave side
// stays open for the whole run: without any open slave, reads on the master fail
// with EIO whenever the host closes and reopens the port.
[[nodiscard]] std::optional<Terminal> open_terminal();
void close_terminal(Terminal& terminal);

}  // namespace corvanel::board_server
