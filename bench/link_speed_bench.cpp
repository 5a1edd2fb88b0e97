// SPDX-License-Identifier: GPL-3.0-or-later
// How close the chip operations come to the speed of the serial line.
//
// For Program All, Verify, Read All and Blank Check of full random images of
// PIC16F84A, 16F628A and 16F877A this prints, per line transport and link mode:
//   out, in      bytes the host sends and the board answers
//   trips        round trips: the times the host had to wait for the board
//                (sending ahead: the batches of answers it took in)
//   pauses       the script's pauses ("w", "wprog") in seconds
//   lock-step    (out + in) x 10 / baud + pauses: the least time when each
//                round trip carries both directions one after the other
//   duplex       max(out, in) x 10 / baud + pauses: the least time with both
//                directions busy at once
//   measured     the elapsed time the command-line tool reports (the fastest
//                of --runs N)
//   and the measured time divided by each limit.
// The board server runs as the ideal board of these limits (`--command-us 0`).
// Its pseudo-terminal is no wire: every round trip through it also costs the
// wake-up of two processes. Before each series the bench measures a bare
// round trip (a no-operation command and its answer, nothing else; the best of
// several batches) and prints what it costs beyond its two bytes on the line;
// the "floor" column is the
// lock-step limit plus that much for every round trip, the least time any host
// could reach over this terminal, and /floor the measured time divided by it.
// The byte figures come from running the same operation in this process against
// the virtual board; the time from the real tool over the board server (a
// pseudo-terminal with `--baud N`) or over the in-process board (`--port
// virtual`, which skips the pauses: its limits are not given).
//
// It is run by hand (see docs/benchmarks.md); it is no test. Example:
//   link_speed_bench --bin build/bin --chips 877a --ops verify --lines 56000
//       --modes normal,fast,window,fastwindow,auto
// The auto mode lets the tool measure the window (--window auto, with the fast
// link); its counts use the window the tool printed. With --server-args the
// board server stands for a board with faults instead ('--rx-buffer 1'), and the
// bench prints how many bytes its receive buffer lost.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/image/intel_hex_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace corvanel;
using bench::Child;
using bench::Counts;
using bench::elapsed_of;
using bench::run_tool;

struct ChipCase {
    std::string key;    // as given on the command line
    std::string model;  // the model name of the device file
    std::int32_t config1;
};

// Configuration words that every emulated chip reads back as written (no code
// protection, only implemented bits changed).
const std::vector<ChipCase> kChips = {
    {"84a", "PIC16F84A", 0x3FF2},
    {"628a", "PIC16F628A", 0x21F2},
    {"877a", "PIC16F877A", 0x3FF2},
};

struct OperationCase {
    std::string key;
    OperationKind kind;
    std::string tool_command;
};

const std::vector<OperationCase> kOperations = {
    {"program", OperationKind::Program, "program"},
    {"verify", OperationKind::Verify, "verify"},
    {"read", OperationKind::Read, "read"},
    {"blank", OperationKind::Blank, "blank"},
};

// A link mode: the tool's options for it and how the in-process count run is set up.
struct Mode {
    std::string key;
    bool fast = false;
    std::int32_t window = 0;  // answer bytes sent ahead; 0: lock-step
    // The tool measures the window on the board (--window auto); the counts
    // then use the window it printed.
    bool automatic = false;

    [[nodiscard]] std::vector<std::string> tool_args() const {
        std::vector<std::string> args;
        if (fast) {
            args.emplace_back("--fast");
        }
        if (automatic) {
            args.emplace_back("--window");
            args.emplace_back("auto");
        } else if (window > 0) {
            args.emplace_back("--window");
            args.push_back(std::to_string(window));
        }
        return args;
    }
};

// The window of the "window" modes.
constexpr std::int32_t kBenchWindow = 64;

std::optional<Mode> mode_named(const std::string& key) {
    if (key == "normal") {
        return Mode{key};
    }
    if (key == "fast") {
        return Mode{key, true};
    }
    if (key == "window") {
        return Mode{key, false, kBenchWindow};
    }
    if (key == "fastwindow") {
        return Mode{key, true, kBenchWindow};
    }
    if (key == "auto") {
        return Mode{key, true, 0, true};
    }
    return std::nullopt;
}

// The window of the tool's start line "Begin verify. Send-ahead: 64 (measured)":
// 0 for lock-step, nothing when the line has no such text.
std::optional<std::int32_t> measured_window(const std::string& output) {
    const std::string mark = "Send-ahead: ";
    const auto at = output.find(mark);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const std::string rest = output.substr(at + mark.size());
    return rest.rfind("lock-step", 0) == 0 ? 0 : std::atoi(rest.c_str());
}

// The board server's count of bytes its receive buffer lost, and of those the
// ones other than no-operations (the probe's bursts may lose no-operations).
std::pair<unsigned long long, unsigned long long> bytes_lost(const fs::path& server_err) {
    std::ifstream in(server_err);
    std::string line;
    unsigned long long lost = 0;
    unsigned long long other = 0;
    while (std::getline(in, line)) {
        unsigned long long a = 0;
        unsigned long long b = 0;
        if (std::sscanf(line.c_str(),
                        "corvanel-board: receive buffer full, %llu bytes lost so far, %llu", &a,
                        &b) == 2) {
            lost = a;
            other = b;
        }
    }
    return {lost, other};
}

// Runs one operation in this process against the virtual board and counts.
Counts count_operation(const DeviceDatabase& database, int model_number, const MemoryImage& image,
                       VirtualBoard& board, OperationKind kind, const Mode& mode) {
    return bench::count_operation(database, model_number, image, board, kind, mode.fast,
                                  mode.window);
}

// What a bare round trip over the board server's terminal costs beyond its two
// bytes on the line, in seconds: no-operation commands sent one at a time, in
// batches, of which the fastest counts. The same round trip takes two to four
// times as long from one minute to the next on some machines (where the
// scheduler puts the processes); the floor is what the terminal allows at best.
// Nothing when the terminal does not answer.
std::optional<double> terminal_overhead(const std::string& device, double baud) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    const auto round_trips = [fd](int count) {
        for (int i = 0; i < count; ++i) {
            const unsigned char nop = 100;
            unsigned char answer = 0;
            pollfd wait{fd, POLLIN, 0};
            if (write(fd, &nop, 1) != 1 || poll(&wait, 1, 1000) != 1 || read(fd, &answer, 1) != 1) {
                return false;
            }
        }
        return true;
    };
    constexpr int kBatches = 8;
    constexpr int kTrips = 400;
    std::optional<double> best;
    bool answered = round_trips(kTrips);  // both processes settle first
    for (int batch = 0; batch < kBatches && answered; ++batch) {
        const auto start = std::chrono::steady_clock::now();
        answered = round_trips(kTrips);
        const double each =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
            kTrips;
        best = best ? std::min(*best, each) : each;
    }
    close(fd);
    if (!answered || !best) {
        return std::nullopt;
    }
    return *best - 2.0 * 10.0 / baud;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

bool wanted(const std::vector<std::string>& list, const std::string& key) {
    return std::find(list.begin(), list.end(), key) != list.end();
}

void usage() {
    std::fprintf(stderr,
                 "Usage: link_speed_bench [--bin DIR] [--chips 84a,628a,877a]\n"
                 "       [--ops program,verify,read,blank] [--lines 56000,115200,inproc]\n"
                 "       [--modes normal,fast,window,fastwindow,auto] [--runs N] [--work DIR]\n"
                 "       [--server-args 'ARGS'] [--counts-only]\n"
                 "--runs N times each operation N times and keeps the fastest (default 1).\n"
                 "auto is the fast link with the window the tool measures (--window auto).\n"
                 "--server-args gives the board server these options instead of the ideal\n"
                 "board's --command-us 0 (e.g. '--rx-buffer 16 --command-us 30').\n"
                 "DIR holds corvanel, corvanel-board and corvaneldevices.txt (default: the\n"
                 "folder of this program's build, ../bin).\n");
}

}  // namespace

int main(int argc, char** argv) {
    fs::path bin = fs::path(argv[0]).parent_path() / ".." / "bin";
    std::vector<std::string> chips = {"84a", "628a", "877a"};
    std::vector<std::string> ops = {"program", "verify", "read", "blank"};
    std::vector<std::string> lines = {"56000", "115200", "inproc"};
    std::vector<std::string> modes = {"normal"};
    fs::path work = fs::temp_directory_path() / "corvanel-link-bench";
    bool counts_only = false;
    int runs = 1;
    std::vector<std::string> server_args = {"--command-us", "0"};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--counts-only") {
            counts_only = true;
            continue;
        }
        if (i + 1 >= argc) {
            usage();
            return 2;
        }
        const std::string value = argv[++i];
        if (arg == "--bin") {
            bin = value;
        } else if (arg == "--chips") {
            chips = split(value);
        } else if (arg == "--ops") {
            ops = split(value);
        } else if (arg == "--lines") {
            lines = split(value);
        } else if (arg == "--modes") {
            modes = split(value);
        } else if (arg == "--work") {
            work = value;
        } else if (arg == "--server-args") {
            server_args.clear();
            std::stringstream words(value);
            for (std::string word; words >> word;) {
                server_args.push_back(word);
            }
        } else if (arg == "--runs") {
            runs = std::max(1, std::atoi(value.c_str()));
        } else {
            usage();
            return 2;
        }
    }
    const std::string tool = (bin / "corvanel").string();
    const std::string server = (bin / "corvanel-board").string();
    const std::string devices = (bin / "corvaneldevices.txt").string();

    DeviceDatabase database;
    if (load_device_database(devices, database).status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "cannot load %s\n", devices.c_str());
        return 1;
    }
    fs::create_directories(work / "config");
    // The tool reads the window's settings for its defaults: none here.
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);

    std::printf("%-6s %-8s %-7s %-12s %7s %7s %7s %7s %9s %9s %9s %9s %6s %6s %6s\n", "chip", "op",
                "line", "mode", "out", "in", "trips", "pauses", "lockstep", "duplex", "floor",
                "measured", "/lock", "/dupl", "/floor");
    for (const ChipCase& chip : kChips) {
        if (!wanted(chips, chip.key)) {
            continue;
        }
        const int number = bench::model_number(database, chip.model);
        ActiveModel model;
        MemoryImage image;
        if (number == 0 || !apply_model(database, number, model, image)) {
            std::fprintf(stderr, "no model %s\n", chip.model.c_str());
            return 1;
        }
        image.clear_image();
        bench::fill_random(image, static_cast<unsigned>(image.flash_size));
        image.config1 = chip.config1;
        const fs::path hex = work / (chip.key + ".hex");
        if (!save_hex_file(hex.string(), image).saved) {
            std::fprintf(stderr, "cannot write %s\n", hex.c_str());
            return 1;
        }

        for (const std::string& mode_key : modes) {
            const auto mode = mode_named(mode_key);
            if (!mode) {
                std::fprintf(stderr, "unknown mode %s\n", mode_key.c_str());
                return 2;
            }
            // The byte figures, on a board that is programmed first and erased
            // before the blank check, as in the timed runs; with the window the
            // tool measured in the automatic mode.
            const auto count_all = [&](std::int32_t window) {
                Mode counted_mode = *mode;
                counted_mode.automatic = false;
                counted_mode.window = window;
                auto board = VirtualBoard::with_chip(chip.model);
                std::vector<std::pair<std::string, Counts>> counted;
                for (const OperationCase& op : kOperations) {
                    if (op.kind == OperationKind::Blank) {
                        (void)count_operation(database, number, image, *board, OperationKind::Erase,
                                              counted_mode);
                    }
                    counted.emplace_back(op.key, count_operation(database, number, image, *board,
                                                                 op.kind, counted_mode));
                }
                return counted;
            };
            std::vector<std::pair<std::string, Counts>> counted =
                count_all(mode->automatic ? kBenchWindow : mode->window);
            std::int32_t counted_window = mode->automatic ? kBenchWindow : mode->window;

            for (const std::string& line : lines) {
                const bool inproc = line == "inproc";
                const double baud = inproc ? 0.0 : std::atof(line.c_str());
                Child board_server;
                std::optional<double> overhead;
                std::string port = "virtual:" + (work / (chip.key + "-chip.hex")).string();
                if (!counts_only && !inproc) {
                    std::vector<std::string> server_argv = {server, "--chip", chip.model, "--baud",
                                                            line};
                    server_argv.insert(server_argv.end(), server_args.begin(), server_args.end());
                    if (!board_server.start(server_argv, (work / "server.err").string())) {
                        std::fprintf(stderr, "cannot start %s\n", server.c_str());
                        return 1;
                    }
                    port = board_server.first_line();
                    overhead = terminal_overhead(port, baud);
                    if (overhead) {
                        std::printf(
                            "# %s at %s baud: a bare round trip costs %.0f us beyond its "
                            "two bytes on the line\n",
                            chip.key.c_str(), line.c_str(), *overhead * 1e6);
                    }
                } else {
                    fs::remove(work / (chip.key + "-chip.hex"));
                }
                for (const OperationCase& op : kOperations) {
                    const bool timed = wanted(ops, op.key);
                    if (!timed && op.kind != OperationKind::Program) {
                        continue;  // the chip must hold the image for what follows
                    }
                    std::optional<double> measured;
                    std::optional<std::int32_t> window_seen;
                    std::string failure;
                    if (!counts_only) {
                        std::vector<std::string> args = {
                            tool,      "--devices", devices,
                            "--model", chip.model,  "--port",
                            port,      "--baud",    inproc ? "56000" : line};
                        for (const std::string& a : mode->tool_args()) {
                            args.push_back(a);
                        }
                        if (op.kind == OperationKind::Blank) {
                            auto erase = args;
                            erase.push_back("erase");
                            (void)run_tool(erase);
                        }
                        args.push_back(op.tool_command);
                        if (op.kind == OperationKind::Read) {
                            args.push_back((work / "read.hex").string());
                        } else if (op.kind != OperationKind::Blank) {
                            args.push_back(hex.string());
                        }
                        for (int run = 0; run < (timed ? runs : 1) && failure.empty(); ++run) {
                            const auto [code, output] = run_tool(args);
                            const auto seconds = elapsed_of(output);
                            if (seconds && (!measured || *seconds < *measured)) {
                                measured = seconds;
                                window_seen = measured_window(output);
                            }
                            if (code != 0) {
                                failure = "exit " + std::to_string(code);
                            }
                        }
                    }
                    if (!timed) {
                        continue;
                    }
                    if (mode->automatic && window_seen) {
                        std::printf(
                            "# %s %s at %s: the tool measured Send-ahead: %s\n", chip.key.c_str(),
                            op.key.c_str(), line.c_str(),
                            *window_seen > 0 ? std::to_string(*window_seen).c_str() : "lock-step");
                        if (*window_seen != counted_window) {
                            counted_window = *window_seen;
                            counted = count_all(counted_window);
                        }
                    }
                    const Counts* c = nullptr;
                    for (const auto& [key, counts] : counted) {
                        if (key == op.key) {
                            c = &counts;
                        }
                    }
                    const double pauses = inproc ? 0.0 : c->pauses;
                    const double lock =
                        inproc ? 0.0 : static_cast<double>(c->out + c->in) * 10.0 / baud + pauses;
                    const double duplex =
                        inproc
                            ? 0.0
                            : static_cast<double>(std::max(c->out, c->in)) * 10.0 / baud + pauses;
                    const std::optional<double> floor =
                        overhead ? std::optional<double>(lock +
                                                         static_cast<double>(c->trips) * *overhead)
                                 : std::nullopt;
                    char limits[64];
                    if (inproc) {
                        std::snprintf(limits, sizeof limits, "%9s %9s %9s", "-", "-", "-");
                    } else if (floor) {
                        std::snprintf(limits, sizeof limits, "%9.2f %9.2f %9.2f", lock, duplex,
                                      *floor);
                    } else {
                        std::snprintf(limits, sizeof limits, "%9.2f %9.2f %9s", lock, duplex, "-");
                    }
                    char time_text[96];
                    if (measured && !inproc) {
                        char per_floor[16] = "     -";
                        if (floor) {
                            std::snprintf(per_floor, sizeof per_floor, "%6.2f", *measured / *floor);
                        }
                        std::snprintf(time_text, sizeof time_text, "%9.2f %6.2f %6.2f %s",
                                      *measured, *measured / lock, *measured / duplex, per_floor);
                    } else if (measured) {
                        std::snprintf(time_text, sizeof time_text, "%9.2f %6s %6s %6s", *measured,
                                      "-", "-", "-");
                    } else {
                        std::snprintf(time_text, sizeof time_text, "%9s %6s %6s %6s", "-", "-", "-",
                                      "-");
                    }
                    std::printf("%-6s %-8s %-7s %-12s %7llu %7llu %7llu %7.2f %s %s %s\n",
                                chip.key.c_str(), op.key.c_str(), line.c_str(), mode->key.c_str(),
                                static_cast<unsigned long long>(c->out),
                                static_cast<unsigned long long>(c->in),
                                static_cast<unsigned long long>(c->trips), pauses, limits,
                                time_text, failure.c_str());
                    std::fflush(stdout);
                }
                if (!counts_only && !inproc) {
                    board_server.stop();
                    const auto [lost, other] = bytes_lost(work / "server.err");
                    std::printf(
                        "# %s at %s baud: the board's receive buffer lost %llu bytes, %llu "
                        "of them other than no-operations\n",
                        chip.key.c_str(), line.c_str(), lost, other);
                }
            }
        }
    }
    return 0;
}
