// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line of both board programs: corvanel-board (the emulated board)
// and corvanel-simboard (the board firmware on a simulated ATmega328P). One table
// of options; each option says which of the two programs takes it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "board/board_channel.h"

namespace corvanel::board_server {

enum class BoardProgram { Emulated, Simulated };

// "corvanel-board" or "corvanel-simboard", as messages name the program.
[[nodiscard]] const char* program_name(BoardProgram program);
// The --help text.
[[nodiscard]] std::string usage(BoardProgram program);

struct Options {
    std::string chip = "PIC16F877A";
    // Bits 4:0 of the chip's device ID word, or the revision word's bits 11:0 on
    // enhanced parts whose device ID fills its word.
    std::uint16_t revision = 0;
    bool revision_given = false;
    // The Vpp the board drives on MCLR, reported as measured by identify; nothing:
    // not known, no window is checked. On the simulated board: the Vpp rail that
    // its firmware measures.
    std::optional<double> vpp;
    // The emulated board's fixed Vdd supply, given to the chip and reported by identify.
    double vdd = 5.0;
    // The emulated board selects Vpp levels (45h, 49h, 46h) and checks its rail.
    bool vpp_levels = false;
    // The Vdd rail a failed regulator gives: measured, given to the chip, checked.
    std::optional<double> vdd_rail;
    // The chip's Vdd from elsewhere (a target that powers itself), checked after
    // voltages-on.
    std::optional<double> target_vdd;
    // The simulated AVR's band-gap, off its 1.1 V to show the calibration.
    std::optional<double> bandgap;
    // A board of the original protocol: no identify (107).
    bool plain = false;
    std::optional<std::string> state_file;
    std::optional<std::string> port_name;
    long baud = 0;
    long latency_ms = 0;
    // The line carries nothing while it runs faster than this (a bridge that
    // cannot keep the rate a 104 47h switched to).
    std::optional<long> drop_above;
    std::optional<std::size_t> rx_buffer;
    // What the board's firmware spends on each byte it takes before it answers or
    // looks at the line again: decoding it and clocking the chip's command. A
    // board without it would keep up with any host that sends at the line's rate.
    long command_us = 10;
    BoardFaults faults;
    // The simulated board's firmware image (an ELF file).
    std::string firmware;
    // The simulated board resets when its terminal is opened (an Arduino's DTR).
    bool reset_on_open = false;
    // The simulated board's USB serial bridge carries no more than this (0: any rate).
    long bridge_limit = 0;
};

// The options' defaults for the program (its chip and line rate differ).
[[nodiscard]] Options default_options(BoardProgram program);

// A whole decimal number of at most 18 digits.
[[nodiscard]] std::optional<std::uint64_t> parse_count(const std::string& text);

// Parses the command line into `options` (which starts from default_options);
// answers an exit code when the program must end at once (after --help, --list or
// a usage error).
[[nodiscard]] std::optional<int> parse_options(BoardProgram program, int argc, char** argv,
                                               Options& options);

}  // namespace corvanel::board_server
