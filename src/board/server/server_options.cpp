// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/server_options.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "board/family_table.h"
#include "board/pic14_chip.h"
#include "core/devices/vpp_window.h"

#ifndef CORVANEL_VERSION
#define CORVANEL_VERSION "unknown"
#endif

namespace corvanel::board_server {

namespace {

enum Takes : unsigned { kEmulated = 1, kSimulated = 2, kBoth = 3 };

struct OptionRow {
    const char* name;
    const char* value;  // nullptr: a switch
    unsigned takes;
    const char* help;  // lines after the first are indented under it
};

// clang-format off
constexpr OptionRow kOptions[] = {
    {"--firmware", "FILE", kSimulated, "the firmware ELF (build: firmware/corvanel-board-328p.elf); needed"},
    {"--chip", "NAME", kBoth, "chip in the socket (default PIC16F877A; corvanel-simboard\n"
                              "PIC16F628A); --list shows all; none: an empty socket\n"
                              "(every read gives 3FFFh)"},
    {"--revision", "N", kBoth, "the chip's revision (default 0): 0 to 31 in the device ID\n"
                               "word, 0 to 4095 in the revision word of enhanced parts\n"
                               "whose device ID fills its word"},
    {"--vpp", "VOLTS", kBoth, "the Vpp the board drives on MCLR, reported by identify as\n"
                              "measured (corvanel-simboard: the voltage its firmware's\n"
                              "ADC reads); a chip whose window it exceeds records a fault\n"
                              "(reported on exit), below its window the chip stays out of\n"
                              "programming mode"},
    {"--vdd", "VOLTS", kEmulated, "the board's fixed Vdd supply (default 5.0): above a chip's\n"
                                  "absolute maximum (LF parts 4.0 V) it records a fault"},
    {"--vpp-levels", nullptr, kEmulated, "select Vpp levels (104 45h, 49h, 46h) as the firmware's\n"
                                         "board does: Vpp 8.7, 11.5 or 13.0 V (--vpp fixes it, as\n"
                                         "on a board built wrong), voltages-on refused outside\n"
                                         "8.0-9.0, 11.0-12.0 or 12.5-13.5 V"},
    {"--vdd-rail", "VOLTS", kBoth, "the Vdd rail of a failed regulator: what the board\n"
                                   "measures and the chip gets; voltages-on is refused outside\n"
                                   "4.6-5.4 V (5 V selected) or 3.0-3.6 V (3.3 V)"},
    {"--target-vdd", "VOLTS", kBoth, "the chip's Vdd from elsewhere (a target that powers\n"
                                     "itself): measured after voltages-on, which is undone\n"
                                     "outside that range"},
    {"--bandgap", "VOLTS", kSimulated, "the AVR's band-gap (default 1.1; 1.0-1.2 from part to\n"
                                       "part): every rail reads 1.1 / VOLTS of its value until\n"
                                       "the board is calibrated (104 48h)"},
    {"--reset-on-open", nullptr, kSimulated, "stay in reset until the terminal is opened and reset at\n"
                                             "every open, as an Uno's or a Nano's DTR line does; the\n"
                                             "bootloader then takes the line for 500 ms. Reports when\n"
                                             "the banner went out and the host's first byte came"},
    {"--plain", nullptr, kEmulated, "a board of the original protocol: no identify (107)"},
    {"--state", "FILE", kEmulated, "load the chip from this Intel HEX file when it exists,\n"
                                   "save it there on exit (SIGTERM, SIGINT, SIGHUP)"},
    {"--state", "FILE", kSimulated, "load the chip from this Intel HEX file when it exists,\n"
                                    "save it there on exit (SIGTERM, SIGINT, SIGHUP); the\n"
                                    "board's own EEPROM (its Vpp calibration) likewise in\n"
                                    "FILE.board-eeprom.hex"},
    {"--register", "COMn", kBoth, "make the port COMn of the window application point here\n"
                                  "(a link in $XDG_CONFIG_HOME/Tavrelix Corvanel/ports/)"},
    {"--baud", "N", kEmulated, "carry the bytes both ways no faster than N baud allows\n"
                               "(10 bits a byte), answering on time to the microsecond;\n"
                               "the starting rate: the board offers 115200 to 2000000\n"
                               "baud through 104 47h"},
    {"--drop-above", "N", kEmulated, "lose every byte, both ways, while the line runs faster\n"
                                     "than N baud, as a USB bridge that cannot carry the rate"},
    {"--baud", "N", kSimulated, "the line's starting rate; must be the firmware's (default\n"
                                "56000); the line follows the firmware's own switches (47h)"},
    {"--bridge-limit", "N", kSimulated, "a USB serial bridge that carries at most N baud: above\n"
                                        "it the host's bytes reach the firmware garbled (00h)\n"
                                        "and its answers are lost"},
    {"--latency-ms", "N", kEmulated, "hand answers over only every N ms, as a USB serial\n"
                                     "adapter's latency timer does"},
    {"--rx-buffer", "N", kEmulated, "the board buffers N bytes while it is busy with a command;\n"
                                    "bytes beyond that are lost"},
    {"--command-us", "N", kEmulated, "the board's own time for each byte it takes, in\n"
                                     "microseconds (default 10; only with --baud)"},
    {"--stop-after", "N", kEmulated, "go silent after the first N bytes received"},
    {"--drop-answer", "K", kEmulated, "lose the K-th answer byte"},
    {"--duplicate-answer", "K", kEmulated, "send the K-th answer byte twice"},
    {"--garbage-answer", "K", kEmulated, "send a noise byte (FFh) after the K-th answer byte"},
    {"--corrupt-answer", "K", kEmulated, "send the K-th answer byte with its lowest bit flipped"},
    {"--delay-ms", "D", kEmulated, "send every answer D milliseconds late"},
    {"--list", nullptr, kBoth, "list the known chips and exit"},
    {"--families", nullptr, kBoth, "print the chip families' rules as a markdown table and exit"},
    {"--version", nullptr, kBoth, "show the name and version and exit"},
    {"--help", nullptr, kBoth, "show this help and exit"},
};
// clang-format on

unsigned mask(BoardProgram program) {
    return program == BoardProgram::Emulated ? kEmulated : kSimulated;
}

const OptionRow* find_option(BoardProgram program, const std::string& name) {
    for (const OptionRow& row : kOptions) {
        if (name == row.name && (row.takes & mask(program)) != 0) {
            return &row;
        }
    }
    return nullptr;
}

// The program's one volts parser, bounded by what the simulated board's option
// stands for (a bandgap reads 2 V at most, a rail 20 V).
std::optional<double> volts_up_to(const std::string& text, double most) {
    const std::optional<double> volts = parse_volts(text);
    if (!volts || *volts > most) {
        return std::nullopt;
    }
    return volts;
}

}  // namespace

const char* program_name(BoardProgram program) {
    return program == BoardProgram::Emulated ? "corvanel-board" : "corvanel-simboard";
}

std::string usage(BoardProgram program) {
    std::string text;
    if (program == BoardProgram::Emulated) {
        text =
            "Usage: corvanel-board [options]\n"
            "The virtual programmer board with an emulated PIC on a pseudo-terminal.\n";
    } else {
        text =
            "Usage: corvanel-simboard --firmware FILE.elf [options]\n"
            "Runs the board firmware FILE.elf on a simulated ATmega328P at 16 MHz with the\n"
            "emulated chip on its ICSP pins, and puts its serial line on a pseudo-terminal.\n";
    }
    text += "Prints the terminal's device path on the first line of its output.\n\n";
    constexpr std::size_t kHelpColumn = 25;
    for (const OptionRow& row : kOptions) {
        if ((row.takes & mask(program)) == 0) {
            continue;
        }
        std::string line = std::string("  ") + row.name;
        if (row.value != nullptr) {
            line += std::string(" ") + row.value;
        }
        line.resize(std::max(line.size() + 1, kHelpColumn), ' ');
        text += line;
        for (const char* c = row.help; *c != '\0'; ++c) {
            text += *c;
            if (*c == '\n') {
                text += std::string(kHelpColumn, ' ');
            }
        }
        text += '\n';
    }
    if (program == BoardProgram::Emulated) {
        text +=
            "Chip swap: SIGUSR1 takes the chip out (an empty socket), SIGUSR2 puts a fresh\n"
            "blank chip of the same model in; the state file follows the chip.\n";
    }
    return text;
}

Options default_options(BoardProgram program) {
    Options options;
    if (program == BoardProgram::Simulated) {
        options.chip = "PIC16F628A";
        options.baud = 56000;
    }
    return options;
}

std::optional<std::uint64_t> parse_count(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 18) {
        return std::nullopt;
    }
    return std::stoull(text);
}

std::optional<int> parse_options(BoardProgram program, int argc, char** argv, Options& options) {
    const std::string me = program_name(program);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] == std::string("-h") ? "--help" : argv[i];
        const OptionRow* row = find_option(program, arg);
        if (row == nullptr) {
            std::cerr << me << ": unknown option " << arg << "\n" << usage(program);
            return 2;
        }
        if (arg == "--help") {
            std::cout << usage(program);
            return 0;
        }
        if (arg == "--version") {
            std::cout << me << " " << CORVANEL_VERSION << "\n";
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
        if (arg == "--reset-on-open") {
            options.reset_on_open = true;
            continue;
        }
        if (arg == "--plain") {
            options.plain = true;
            continue;
        }
        if (arg == "--vpp-levels") {
            options.vpp_levels = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::cerr << me << ": " << arg << " needs a value\n" << usage(program);
            return 2;
        }
        const std::string value = argv[++i];
        const auto count = parse_count(value);
        const auto need_count = [&]() {
            if (!count) {
                std::cerr << me << ": " << arg << " needs a whole number, not '" << value << "'\n";
            }
            return count.has_value();
        };
        if (arg == "--firmware") {
            options.firmware = value;
        } else if (arg == "--chip") {
            options.chip = value;
        } else if (arg == "--revision") {
            if (!need_count() || *count > 0xFFF) {
                std::cerr << me
                          << ": --revision wants 0 to 31 (0 to 4095 on enhanced parts with a "
                             "revision word)\n";
                return 2;
            }
            options.revision = static_cast<std::uint16_t>(*count);
            options.revision_given = true;
        } else if (arg == "--vpp") {
            const auto volts = volts_up_to(value, 20.0);
            if (!volts) {
                std::cerr << me << ": --vpp wants volts above 0 and up to 20, not '" << value
                          << "'\n";
                return 2;
            }
            options.vpp = *volts;
        } else if (arg == "--vdd") {
            const auto volts = volts_up_to(value, 10.0);
            if (!volts) {
                std::cerr << me << ": --vdd wants volts above 0 and up to 10, not '" << value
                          << "'\n";
                return 2;
            }
            options.vdd = *volts;
        } else if (arg == "--vdd-rail" || arg == "--target-vdd") {
            const auto volts = volts_up_to(value, 20.0);
            if (!volts) {
                std::cerr << me << ": " << arg << " wants volts above 0 and up to 20, not '"
                          << value << "'\n";
                return 2;
            }
            (arg == "--vdd-rail" ? options.vdd_rail : options.target_vdd) = *volts;
        } else if (arg == "--bandgap") {
            const auto volts = volts_up_to(value, 2.0);
            if (!volts || *volts < 0.5) {
                std::cerr << me << ": --bandgap wants volts from 0.5 to 2, not '" << value << "'\n";
                return 2;
            }
            options.bandgap = *volts;
        } else if (arg == "--state") {
            options.state_file = value;
        } else if (arg == "--register") {
            const std::string digits = value.size() > 3 ? value.substr(3) : "";
            const auto number = parse_count(digits);
            if (value.rfind("COM", 0) != 0 || !number || *number < 1 || *number > 255) {
                std::cerr << me << ": --register wants COM1 to COM255, not '" << value << "'\n";
                return 2;
            }
            options.port_name = "COM" + std::to_string(*number);
        } else if (arg == "--baud") {
            // The simulated AVR's UART divides 16 MHz: rates outside this range do
            // not exist there.
            const bool simulated = program == BoardProgram::Simulated;
            if (!need_count() || *count == 0 ||
                (simulated && (*count < 300 || *count > 1'000'000))) {
                std::cerr << me << ": bad baud rate '" << value << "'\n";
                return 2;
            }
            options.baud = static_cast<long>(*count);
        } else if (arg == "--bridge-limit") {
            if (!need_count() || *count < 300 || *count > 2'000'000) {
                std::cerr << me << ": --bridge-limit wants 300 to 2000000 baud, not '" << value
                          << "'\n";
                return 2;
            }
            options.bridge_limit = static_cast<long>(*count);
        } else if (arg == "--latency-ms") {
            if (!need_count() || *count > 60000) {
                return 2;
            }
            options.latency_ms = static_cast<long>(*count);
        } else if (arg == "--drop-above") {
            if (!need_count() || *count == 0 || *count > 100000000) {
                return 2;
            }
            options.drop_above = static_cast<long>(*count);
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
        } else {
            // The fault injection: a count each.
            if (!need_count()) {
                return 2;
            }
            if (arg == "--stop-after") {
                options.faults.stop_after_bytes = count;
            } else if (arg == "--drop-answer") {
                options.faults.drop_answer = count;
            } else if (arg == "--duplicate-answer") {
                options.faults.duplicate_answer = count;
            } else if (arg == "--garbage-answer") {
                options.faults.garbage_answer = count;
            } else if (arg == "--corrupt-answer") {
                options.faults.corrupt_answer = count;
            } else {
                options.faults.answer_delay = std::chrono::milliseconds(*count);
            }
        }
    }
    if (program == BoardProgram::Simulated && options.firmware.empty()) {
        std::cerr << me << ": --firmware FILE.elf is needed\n" << usage(program);
        return 2;
    }
    return std::nullopt;
}

}  // namespace corvanel::board_server
