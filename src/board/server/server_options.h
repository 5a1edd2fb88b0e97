// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The board server's command line.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "board/board_channel.h"

namespace corvanel::board_server {

extern const char* const kUsage;

struct Options {
    std::string chip = "PIC16F877A";
    // Bits 4:0 of the chip's device ID word, or the revision word's bits 11:0 on
    // enhanced parts whose device ID fills its word.
    std::uint16_t revision = 0;
    bool revision_given = false;
    // The Vpp the board drives on MCLR; nothing: not known, no window is checked.
    std::optional<double> vpp;
    std::optional<std::string> state_file;
    std::optional<std::string> port_name;
    long baud = 0;
    long latency_ms = 0;
    std::optional<std::size_t> rx_buffer;
    // What the board's firmware spends on each byte it takes before it answers or
    // looks at the line again: decoding it and clocking the chip's command. A
    // board without it would keep up with any host that sends at the line's rate.
    long command_us = 10;
    BoardFaults faults;
};

// A whole decimal number of at most 18 digits.
[[nodiscard]] std::optional<std::uint64_t> parse_count(const std::string& text);

// Parses the command line into `options`; answers an exit code when the program
// must end at once (after --help, --list or a usage error).
[[nodiscard]] std::optional<int> parse_options(int argc, char** argv, Options& options);

}  // namespace corvanel::board_server
