// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/simboard_main.h"

#include <iostream>

#include "board/server/server_options.h"
#include "board/server/server_session.h"
#include "board/server/sim_serve_loop.h"
#include "board/simavr_board.h"

namespace corvanel::board_server {

namespace {
constexpr const char* kProgram = "corvanel-simboard";
}  // namespace

int run_simulated_board_server(int argc, char** argv) {
    Options options = default_options(BoardProgram::Simulated);
    if (const auto exit_code = parse_options(BoardProgram::Simulated, argc, argv, options)) {
        return *exit_code;
    }
    int exit_code = 0;
    auto chip = load_chip(kProgram, options, exit_code);
    if (!chip) {
        return exit_code;
    }
    std::string error;
    auto board = SimulatedBoard::load(options.firmware, std::move(*chip), options.baud, error);
    if (!board) {
        std::cerr << kProgram << ": " << error << "\n";
        return 1;
    }
    if (options.vpp) {
        board->set_vpp_supply(*options.vpp);
    }
    if (options.vdd_rail) {
        board->hold_vdd_rail(static_cast<int>(*options.vdd_rail * 1000.0 + 0.5));
    }
    if (options.target_vdd) {
        board->hold_target_vdd(static_cast<int>(*options.target_vdd * 1000.0 + 0.5));
    }
    board->set_bridge_limit(options.bridge_limit);
    if (options.bandgap) {
        board->set_bandgap_millivolts(static_cast<int>(*options.bandgap * 1000.0 + 0.5));
    }
    const auto session = ServerSession::open(options);
    if (!session) {
        return 1;
    }
    std::cerr << kProgram << ": " << board->chip().info().name << " on " << session->terminal().path
              << ", firmware " << options.firmware << "\n";

    int status = serve_simulated(session->terminal(), *board, ServerSession::stop_flag(),
                                 options.reset_on_open);
    std::cerr << kProgram << ": voltages " << (board->voltages_on() ? "on" : "off") << " at exit\n";
    report_chip_faults(kProgram, board->chip());
    if (!save_chip(kProgram, board->chip(), options)) {
        status = 1;
    }
    return status;
}

}  // namespace corvanel::board_server
