// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/server_options.h"

#include <cstdlib>
#include <iostream>

#include "board/family_table.h"
#include "board/pic14_chip.h"

#ifndef CORVANEL_VERSION
#define CORVANEL_VERSION "unknown"
#endif

namespace corvanel::board_server {

const char* const kUsage =
    "Usage: corvanel-board [options]\n"
    "The virtual programmer board with an emulated PIC on a pseudo-terminal.\n"
    "Prints the terminal's device path on the first line of its output.\n"
    "\n"
    "  --chip NAME            chip in the socket (default PIC16F877A); --list shows all;\n"
    "                         none: an empty socket (every read gives 3FFFh)\n"
    "  --revision N           the chip's revision (default 0): 0 to 31 in the device ID\n"
    "                         word, 0 to 4095 in the revision word of enhanced parts\n"
    "                         whose device ID fills its word\n"
    "  --vpp VOLTS            the Vpp the board drives on MCLR; a chip whose window it\n"
    "                         exceeds records a fault (reported on exit), below its\n"
    "                         window the chip stays out of programming mode\n"
    "  --state FILE           load the chip from this Intel HEX file when it exists,\n"
    "                         save it there on exit (SIGTERM, SIGINT, SIGHUP)\n"
    "  --register COMn        make the port COMn of the window application point here\n"
    "                         (a link in $XDG_CONFIG_HOME/Tavrelix Corvanel/ports/)\n"
    "  --baud N               carry the bytes both ways no faster than N baud allows\n"
    "                         (10 bits a byte), answering on time to the microsecond\n"
    "  --latency-ms N         hand answers over only every N ms, as a USB serial\n"
    "                         adapter's latency timer does\n"
    "  --rx-buffer N          the board buffers N bytes while it is busy with a command;\n"
    "                         bytes beyond that are lost\n"
    "  --command-us N         the board's own time for each byte it takes, in\n"
    "                         microseconds (default 10; only with --baud)\n"
    "  --stop-after N         go silent after the first N bytes received\n"
    "  --drop-answer K        lose the K-th answer byte\n"
    "  --duplicate-answer K   send the K-th answer byte twice\n"
    "  --garbage-answer K     send a noise byte (FFh) after the K-th answer byte\n"
    "  --corrupt-answer K     send the K-th answer byte with its lowest bit flipped\n"
    "  --delay-ms D           send every answer D milliseconds late\n"
    "  --list                 list the known chips and exit\n"
    "  --families             print the chip families' rules as a markdown table and exit\n"
    "  --version              show the name and version and exit\n"
    "  --help                 show this help and exit\n";

std::optional<std::uint64_t> parse_count(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 18) {
        return std::nullopt;
    }
    return std::stoull(text);
}

// Parses the command line; answers an exit code when the program must end at once.
std::optional<int> parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "corvanel-board " << CORVANEL_VERSION << "\n";
            return 0;
        }
        if (arg == "--list") {
            for (const std::string& name : corvanel::known_chip_names()) {
                std::cout << name << "\n";
            }
            return 0;
        }
        if (arg == "--families") {
            std::cout << corvanel::family_table_markdown();
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "corvanel-board: " << arg << " needs a value (or is unknown)\n" << kUsage;
            return 2;
        }
        const std::string value = argv[++i];
        const auto count = parse_count(value);
        const auto need_count = [&]() {
            if (!count) {
                std::cerr << "corvanel-board: " << arg << " needs a whole number, not '" << value
                          << "'\n";
            }
            return count.has_value();
        };
        if (arg == "--chip") {
            options.chip = value;
        } else if (arg == "--revision") {
            if (!need_count() || *count > 0xFFF) {
                std::cerr << "corvanel-board: --revision wants 0 to 31 (0 to 4095 on enhanced "
                             "parts with a revision word)\n";
                return 2;
            }
            options.revision = static_cast<std::uint16_t>(*count);
            options.revision_given = true;
        } else if (arg == "--vpp") {
            char* end = nullptr;
            const double volts = std::strtod(value.c_str(), &end);
            if (value.empty() || end == nullptr || *end != '\0' || !(volts > 0.0) || volts > 20.0) {
                std::cerr << "corvanel-board: --vpp wants volts above 0 and up to 20, not '"
                          << value << "'\n";
                return 2;
            }
            options.vpp = volts;
        } else if (arg == "--state") {
            options.state_file = value;
        } else if (arg == "--register") {
            const std::string digits = value.size() > 3 ? value.substr(3) : "";
            const auto number = parse_count(digits);
            if (value.rfind("COM", 0) != 0 || !number || *number < 1 || *number > 255) {
                std::cerr << "corvanel-board: --register wants COM1 to COM255, not '" << value
                          << "'\n";
                return 2;
            }
            options.port_name = "COM" + std::to_string(*number);
        } else if (arg == "--baud") {
            if (!need_count() || *count == 0) {
                return 2;
            }
            options.baud = static_cast<long>(*count);
        } else if (arg == "--latency-ms") {
            if (!need_count() || *count > 60000) {
                return 2;
            }
            options.latency_ms = static_cast<long>(*count);
        } else if (arg == "--rx-buffer") {
            if (!need_count()) {
                return 2;
            }
            options.rx_buffer = static_cast<std::size_t>(*count);
        } else if (arg == "--command-us") {
            if (!need_count() || *count > 1000000) {
                return 2;
            }
            options.command_us = static_cast<long>(*count);
        } else if (arg == "--stop-after") {
            if (!need_count()) {
                return 2;
            }
            options.faults.stop_after_bytes = count;
        } else if (arg == "--drop-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.drop_answer = count;
        } else if (arg == "--duplicate-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.duplicate_answer = count;
        } else if (arg == "--garbage-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.garbage_answer = count;
        } else if (arg == "--corrupt-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.corrupt_answer = count;
        } else if (arg == "--delay-ms") {
            if (!need_count()) {
                return 2;
            }
            options.faults.answer_delay = std::chrono::milliseconds(*count);
        } else {
            std::cerr << "corvanel-board: unknown option " << arg << "\n" << kUsage;
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace corvanel::board_server
