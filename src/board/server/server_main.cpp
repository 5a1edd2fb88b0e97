// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/server_main.h"

#include <signal.h>
#include <sys/prctl.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "core/config_folder.h"

#include "board/board_channel.h"
#include "board/chip_state_file.h"
#include "board/server/port_registration.h"
#include "board/server/pseudo_terminal.h"
#include "board/server/receive_line.h"
#include "board/server/serve_loop.h"
#include "board/server/server_options.h"
#include "board/server/transmitter.h"
#include "board/virtual_board.h"

namespace corvanel::board_server {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) {
    g_stop = 1;
}

}  // namespace

int run_board_server(int argc, char** argv) {
    Options options;
    if (const auto exit_code = parse_options(argc, argv, options)) {
        return *exit_code;
    }
    auto chip = corvanel::Pic14Chip::create(options.chip);
    if (!chip) {
        std::cerr << "corvanel-board: unknown chip '" << options.chip
                  << "' (--list shows the known chips)\n";
        return 2;
    }
    const bool revision_word = chip->info().revision_word;
    if (!revision_word && options.revision > 31) {
        std::cerr << "corvanel-board: --revision wants 0 to 31 for " << chip->info().name << "\n";
        return 2;
    }
    const auto apply_revision = [&] {
        if (revision_word) {
            // Bits 13:12 of the revision word read 10b.
            chip->set_revision_word(static_cast<std::uint16_t>(0x2000 | options.revision));
        } else {
            chip->set_revision(static_cast<std::uint8_t>(options.revision));
        }
    };
    apply_revision();
    if (options.state_file && std::filesystem::exists(*options.state_file)) {
        // A state file that cannot be read is never overwritten on exit: stop here.
        const auto loaded = corvanel::load_chip_state_file(*chip, *options.state_file);
        if (!loaded.ok) {
            std::cerr << "corvanel-board: " << loaded.message << "\n";
            return 1;
        }
        // The file keeps an enhanced part's revision word; --revision overrides it.
        if (options.revision_given) {
            apply_revision();
        }
    }

    // Installed before the terminal and the link exist, so that a stop signal at any
    // moment still leads to the clean-up below.
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal_number, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);

    auto terminal = open_terminal();
    if (!terminal) {
        return 1;
    }
    std::optional<std::filesystem::path> link;
    if (options.port_name) {
        link = corvanel::ports_folder() / *options.port_name;
        if (!register_port(*link, terminal->path)) {
            return 1;
        }
    }

    std::cout << terminal->path << std::endl;
    std::cerr << "corvanel-board: " << chip->info().name << " on " << terminal->path << "\n";

    VirtualBoard board(std::move(*chip));
    board.set_vpp(options.vpp);
    BoardChannel channel(board);
    channel.set_faults(options.faults);
    // The answers' times are kept to the microsecond: no timer slack on the waits.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Transmitter out(options.baud, std::chrono::milliseconds(options.latency_ms));
    ReceiveLine in(options.baud, options.rx_buffer);
    // Without a line clock everything goes at once, the board's own time included.
    const auto command_time = options.baud > 0 ? std::chrono::microseconds(options.command_us)
                                               : std::chrono::microseconds(0);
    int status = serve(*terminal, channel, out, in, command_time, g_stop);
    // Whether the host left the chip powered: a host must switch the voltages off
    // on every way out of an operation.
    std::cerr << "corvanel-board: voltages " << (board.voltages_on() ? "on" : "off")
              << " at exit\n";
    // What the chip was put through that its programming documents forbid.
    for (const std::string& fault : board.chip().faults()) {
        std::cerr << "corvanel-board: chip fault: " << fault << "\n";
    }

    if (options.state_file) {
        const auto saved = corvanel::save_chip_state_file(board.chip(), *options.state_file);
        if (!saved.ok) {
            std::cerr << "corvanel-board: " << saved.message << "\n";
            status = 1;
        }
    }
    if (link) {
        unregister_port(*link, terminal->path);
    }
    close_terminal(*terminal);
    return status;
}
}  // namespace corvanel::board_server
