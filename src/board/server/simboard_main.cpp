// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/simboard_main.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <deque>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/config_folder.h"

#include "board/chip_state_file.h"
#include "board/server/port_registration.h"
#include "board/server/pseudo_terminal.h"
#include "board/server/server_options.h"
#include "board/simavr_board.h"

namespace corvanel::board_server {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) {
    g_stop = 1;
}

const char* const kSimUsage =
    "Usage: corvanel-simboard --firmware FILE.elf [--chip NAME] [--state FILE]\n"
    "                         [--register COMn] [--baud N]\n"
    "Runs the board firmware FILE.elf on a simulated ATmega328P at 16 MHz with the\n"
    "emulated chip NAME (default PIC16F628A) on its ICSP pins, and puts its serial\n"
    "line on a pseudo-terminal whose path is the first line of the output.\n"
    "  --firmware FILE  the firmware ELF (build: firmware/corvanel-board-328p.elf)\n"
    "  --chip NAME      the chip in the socket (corvanel-board --list names them)\n"
    "  --state FILE     load the chip from FILE, save it there at the end\n"
    "  --register COMn  make the port COMn lead to the pseudo-terminal\n"
    "  --baud N         the line's rate; must be the firmware's (default 56000)\n";

struct SimOptions {
    std::string firmware;
    std::string chip = "PIC16F628A";
    std::optional<std::string> state_file;
    std::optional<std::string> port_name;
    long baud = 56000;
};

std::optional<int> parse(int argc, char** argv, SimOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kSimUsage;
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "corvanel-simboard: " << arg << " needs a value\n" << kSimUsage;
            return 2;
        }
        const std::string value = argv[++i];
        if (arg == "--firmware") {
            options.firmware = value;
        } else if (arg == "--chip") {
            options.chip = value;
        } else if (arg == "--state") {
            options.state_file = value;
        } else if (arg == "--register") {
            options.port_name = value;
        } else if (arg == "--baud") {
            const auto baud = parse_count(value);
            if (!baud || *baud < 300 || *baud > 1'000'000) {
                std::cerr << "corvanel-simboard: bad baud rate '" << value << "'\n";
                return 2;
            }
            options.baud = static_cast<long>(*baud);
        } else {
            std::cerr << "corvanel-simboard: unknown option " << arg << "\n" << kSimUsage;
            return 2;
        }
    }
    if (options.firmware.empty()) {
        std::cerr << "corvanel-simboard: --firmware FILE.elf is needed\n" << kSimUsage;
        return 2;
    }
    return std::nullopt;
}

}  // namespace

int run_simulated_board_server(int argc, char** argv) {
    SimOptions options;
    if (const auto exit_code = parse(argc, argv, options)) {
        return *exit_code;
    }
    auto chip = Pic14Chip::create(options.chip);
    if (!chip) {
        std::cerr << "corvanel-simboard: unknown chip '" << options.chip << "'\n";
        return 2;
    }
    if (options.state_file && std::filesystem::exists(*options.state_file)) {
        const auto loaded = load_chip_state_file(*chip, *options.state_file);
        if (!loaded.ok) {
            std::cerr << "corvanel-simboard: " << loaded.message << "\n";
            return 1;
        }
    }
    std::string error;
    auto board = SimulatedBoard::load(options.firmware, std::move(*chip), options.baud, error);
    if (!board) {
        std::cerr << "corvanel-simboard: " << error << "\n";
        return 1;
    }

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
        link = ports_folder() / *options.port_name;
        if (!register_port(*link, terminal->path)) {
            close_terminal(*terminal);
            return 1;
        }
    }
    std::cout << terminal->path << std::endl;
    std::cerr << "corvanel-simboard: " << board->chip().info().name << " on " << terminal->path
              << ", firmware " << options.firmware << "\n";

    // The simulation follows the wall clock in slices of at most 1 ms. On a computer
    // too slow for that it lags behind; while the board is idle the lag is dropped
    // (the idle time is not simulated), so answers do not come later and later. A
    // reader thread stamps every byte from the host with its arrival time, and a byte
    // goes on the simulated line no sooner after the last answer than it arrived after
    // that answer went out: the host's pauses (programming times) keep their length
    // for the chip whatever the lag.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const std::uint64_t start_ns = board->now_ns();
    const auto wall_ns = [&] {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    };
    struct Arrival {
        std::uint8_t byte;
        std::uint64_t at_ns;
    };
    std::mutex arrivals_mutex;
    std::deque<Arrival> arrivals;
    std::atomic<bool> reader_failed{false};
    std::atomic<bool> reader_stop{false};
    std::thread reader([&] {
        while (!reader_stop.load()) {
            pollfd watch{terminal->master, POLLIN, 0};
            if (poll(&watch, 1, 20) <= 0) {
                continue;
            }
            std::uint8_t buffer[512];
            const ssize_t got = read(terminal->master, buffer, sizeof buffer);
            if (got > 0) {
                const std::uint64_t at = wall_ns();
                const std::lock_guard<std::mutex> lock(arrivals_mutex);
                for (ssize_t i = 0; i < got; ++i) {
                    arrivals.push_back({buffer[i], at});
                }
            } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO &&
                       errno != EINTR) {
                std::perror("corvanel-simboard: read");
                reader_failed = true;
                return;
            } else if (got <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });

    int status = 0;
    std::size_t faults_reported = 0;
    std::uint64_t offset_ns = 0;  // wall time not simulated (idle lag dropped)
    // When the last answers went to the host: wall time and simulated time.
    std::uint64_t answered_wall_ns = 0;
    std::uint64_t answered_sim_ns = 0;
    while (g_stop == 0 && status == 0) {
        if (reader_failed.load()) {
            status = 1;
            break;
        }
        const std::uint64_t sim_ns = board->now_ns() - start_ns;
        bool waiting = false;
        {
            const std::lock_guard<std::mutex> lock(arrivals_mutex);
            while (!arrivals.empty()) {
                const Arrival next = arrivals.front();
                const std::uint64_t due =
                    next.at_ns > answered_wall_ns ? answered_sim_ns + (next.at_ns - answered_wall_ns)
                                                  : 0;
                if (due > sim_ns) {
                    break;
                }
                board->send(next.byte);
                arrivals.pop_front();
            }
            waiting = !arrivals.empty();
        }
        const std::uint64_t target = wall_ns() - offset_ns;
        if (sim_ns < target) {
            const bool idle = !waiting && board->bytes_on_the_way() == 0 &&
                              board->answers_waiting() == 0;
            if (idle && target - sim_ns > 2'000'000) {
                offset_ns += target - sim_ns - 1'000'000;
            }
            // A host silent for 1 s is in no programming pause (the longest are some
            // hundred ms): its next byte need not wait for the idle time to be simulated.
            const std::uint64_t wall = wall_ns();
            if (idle && !waiting && wall - answered_wall_ns > 1'000'000'000) {
                answered_wall_ns = wall;
                answered_sim_ns = sim_ns;
            }
            const std::uint64_t behind_us = (target - sim_ns) / 1000;
            if (!board->run_for(behind_us < 1000 ? behind_us + 1 : 1000)) {
                std::cerr << "corvanel-simboard: the firmware crashed\n";
                status = 1;
            }
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const auto answers = board->take_answers();
        if (!answers.empty()) {
            answered_wall_ns = wall_ns();
            answered_sim_ns = board->now_ns() - start_ns;
        }
        std::size_t sent = 0;
        while (sent < answers.size() && g_stop == 0) {
            const ssize_t n = write(terminal->master, answers.data() + sent, answers.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
        }
        const auto& faults = board->pins().faults();
        for (; faults_reported < faults.size(); ++faults_reported) {
            std::cerr << "corvanel-simboard: timing fault at " << faults[faults_reported].at_ns
                      << " ns: " << faults[faults_reported].what << "\n";
        }
    }
    reader_stop = true;
    reader.join();
    std::cerr << "corvanel-simboard: voltages " << (board->voltages_on() ? "on" : "off")
              << " at exit\n";
    if (options.state_file) {
        const auto saved = save_chip_state_file(board->chip(), *options.state_file);
        if (!saved.ok) {
            std::cerr << "corvanel-simboard: " << saved.message << "\n";
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
