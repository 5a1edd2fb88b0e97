// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/simboard_main.h"

#include <filesystem>
#include <iostream>

#include "board/board_eeprom_file.h"
#include "board/server/server_options.h"
#include "board/server/server_session.h"
#include "board/server/sim_serve_loop.h"
#include "board/simavr_board.h"

namespace corvanel::board_server {

namespace {
constexpr const char* kProgram = "corvanel-simboard";

// With --state the board's own EEPROM (its Vpp calibration) lives beside the chip's
// file: a board restarted with the same file is calibrated as it was. A file that
// cannot be read stops the server, so that it is never overwritten on exit.
bool load_board_eeprom(const Options& options, SimulatedBoard& board) {
    if (!options.state_file) {
        return true;
    }
    const std::string path = board_eeprom_path(*options.state_file);
    if (!std::filesystem::exists(path)) {
        return true;  // a state file of before, or a board never calibrated
    }
    const BoardEepromResult loaded = load_board_eeprom_file(path, SimulatedBoard::kEepromBytes);
    if (!loaded.ok) {
        std::cerr << kProgram << ": " << loaded.message << "\n";
        return false;
    }
    if (!board.set_eeprom(loaded.bytes)) {
        std::cerr << kProgram << ": " << path << ": the simulator took no EEPROM\n";
        return false;
    }
    return true;
}

bool save_board_eeprom(const Options& options, const SimulatedBoard& board) {
    if (!options.state_file) {
        return true;
    }
    const auto failed =
        save_board_eeprom_file(board_eeprom_path(*options.state_file), board.eeprom());
    if (failed) {
        std::cerr << kProgram << ": " << *failed << "\n";
    }
    return !failed;
}

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
    if (!load_board_eeprom(options, *board)) {
        return 1;
    }
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
    if (!save_board_eeprom(options, *board)) {
        status = 1;
    }
    return status;
}

}  // namespace corvanel::board_server
