// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/server_main.h"

#include <sys/prctl.h>

#include <algorithm>
#include <iostream>

#include "board/board_channel.h"
#include "board/server/receive_line.h"
#include "board/server/serve_loop.h"
#include "board/server/server_options.h"
#include "board/server/server_session.h"
#include "board/server/transmitter.h"
#include "board/virtual_board.h"

namespace corvanel::board_server {

namespace {

constexpr const char* kProgram = "corvanel-board";
// Rate codes 1 to 5 (115200 to 2000000 baud), bit k for code k.
constexpr std::uint8_t kEveryLineRate = 0x3E;

// Chip swap, for batch programming: the state file follows the chip in the socket.
// A chip taken out is saved there (nothing it went through is lost), and a fresh
// chip starts the file afresh. Answers false when the state file could not be written.
bool swap_chip(ChipSwap swap, VirtualBoard& board, bool& socket_empty, const Options& options) {
    bool saved = true;
    if (swap == ChipSwap::Remove && !socket_empty) {
        report_chip_faults(kProgram, board.chip());
        saved = save_chip(kProgram, board.chip(), options);
        board.replace_chip(*Pic14Chip::create(kEmptySocketName));
        socket_empty = true;
        std::cerr << kProgram << ": chip removed" << std::endl;
    } else if (swap == ChipSwap::Insert) {
        if (!socket_empty) {
            report_chip_faults(kProgram, board.chip());
        }
        board.replace_chip(fresh_chip(options));
        socket_empty = false;
        saved = save_chip(kProgram, board.chip(), options);
        std::cerr << kProgram << ": blank " << board.chip().info().name << " inserted" << std::endl;
    }
    return saved;
}

}  // namespace

int run_board_server(int argc, char** argv) {
    Options options = default_options(BoardProgram::Emulated);
    if (const auto exit_code = parse_options(BoardProgram::Emulated, argc, argv, options)) {
        return *exit_code;
    }
    int exit_code = 0;
    auto chip = load_chip(kProgram, options, exit_code);
    if (!chip) {
        return exit_code;
    }
    const auto session = ServerSession::open(options);
    if (!session) {
        return 1;
    }
    std::cerr << kProgram << ": " << chip->info().name << " on " << session->terminal().path
              << "\n";

    VirtualBoard board(std::move(*chip));
    board.set_vpp(options.vpp);
    board.set_vdd(options.vdd);
    board.set_plain(options.plain);
    board.set_vpp_levels(options.vpp_levels);
    board.set_vdd_rail(options.vdd_rail);
    board.set_target_vdd(options.target_vdd);
    // With a line clock the board offers every rate of 47h: the rates are the
    // line's business here, and --drop-above says which of them arrive.
    board.set_line_rates(options.baud > 0 ? kEveryLineRate : 0);
    // A board without --rx-buffer loses nothing; it declares the firmware's buffer so
    // that hosts send ahead as they would to the real board.
    board.set_receive_buffer(static_cast<std::uint16_t>(
        options.rx_buffer ? std::min<std::size_t>(*options.rx_buffer, 0xFFFF) : 255));
    BoardChannel channel(board);
    channel.set_faults(options.faults);
    // The server runs for days: it keeps no record of the bytes it took.
    channel.set_record_limit(0);
    // The board's waits (104 4Ah) run on the server's clock, as its answers do.
    channel.set_simulated_waits(false);
    // The answers' times are kept to the microsecond: no timer slack on the waits.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Transmitter out(options.baud, std::chrono::milliseconds(options.latency_ms));
    ReceiveLine in(options.baud, options.rx_buffer);
    // Without a line clock everything goes at once, the board's own time included.
    const auto command_time = options.baud > 0 ? std::chrono::microseconds(options.command_us)
                                               : std::chrono::microseconds(0);
    bool socket_empty = false;
    bool state_saved = true;
    int status = serve(
        session->terminal(), channel, out, in, command_time, ServerSession::stop_flag(),
        [&] {
            const ChipSwap swap = ServerSession::take_chip_swap();
            if (swap != ChipSwap::None) {
                state_saved &= swap_chip(swap, board, socket_empty, options);
            }
        },
        LineRates{options.baud, options.drop_above});
    // Whether the host left the chip powered: a host must switch the voltages off
    // on every way out of an operation.
    std::cerr << kProgram << ": voltages " << (board.voltages_on() ? "on" : "off") << " at exit\n";
    report_chip_faults(kProgram, board.chip());
    // An emptied socket leaves the file with the chip last taken out.
    if (!socket_empty) {
        state_saved &= save_chip(kProgram, board.chip(), options);
    }
    return state_saved ? status : 1;
}

}  // namespace corvanel::board_server
