// SPDX-License-Identifier: GPL-3.0-or-later
// Program All and Verify of full images of the 16F18877, 16F1509, 16F877A and
// 16F628A with the tool's default settings, through the board server standing
// for the firmware board (or through corvanel-simboard, the firmware itself in
// simavr), against the least time the chip, the board and the line allow.
//
// The board server stands for the firmware board: it answers identify (107)
// with the firmware's 255-byte receive buffer, and spends the firmware's own
// time on each byte it takes (--command-us, below). The tool runs with a
// configuration folder of its own and no link options, so the window, blocks
// and the line rate are what the board declares. Printed per run:
//   out, in    bytes the host sends and the board answers (from the same
//              operation run in this process against the virtual board, asked
//              to identify as the tool does)
//   waits      the chip's programming waits (the script's pauses) in seconds
//   clocks     the board's clocking time: the words of the full image times
//              kClockUsPerWord
//   floor      waits + clocks + max(out, in) x 10 / rate: the chip's waits, the
//              board's clocks and each direction's bytes at the line rate
//              (--rate, the rate the tool agreed with the board)
//   measured   the elapsed time the tool reports (the fastest of --runs N)
//   ratio      measured / floor
// for Program All, for the Verify after it, and for both.
// It is run by hand (see docs/benchmarks.md); it is no test.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
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
using bench::count_operation;
using bench::Counts;
using bench::elapsed_of;
using bench::run_tool;

// The chips and their seeds for the random images.
struct Chip {
    const char* short_name;
    const char* model;
};
constexpr Chip kChips[] = {{"18877", "PIC16F18877"},
                           {"1509", "PIC16F1509"},
                           {"877a", "PIC16F877A"},
                           {"628a", "PIC16F628A"}};
// The starting rate of the firmware and of the tool's default settings.
constexpr const char* kBaud = "56000";
// The firmware's receive ring (docs/board-protocol.md, identify).
constexpr const char* kFirmwareBuffer = "255";
// The firmware's own time per byte it takes, at 16 MHz: a data word is 16 PGC
// clocks of 1 us high and 1 us low plus the loop (some 38 us) over its 3 bytes;
// a chip command 6 clocks and TDLY2's 5 us (some 20 us) over its 2 bytes.
constexpr const char* kFirmwareCommandUs = "13";
// The firmware's time to clock one word of a block into or out of the chip: the
// load (or read) command, TDLY2, the frame and the step, at 16 MHz. From the
// simulated firmware's cycle counts (tests/board/simavr_board_test.cpp,
// ClockingTimePerWordOfABlock): 64.8 us (6-bit set) and 68.4 us (8-bit set) a word
// written, 60.0 and 65.9 us a word read; the largest is taken for all.
constexpr double kClockUsPerWord = 68.4;

// The window of "Send-ahead: 85 (board's buffer)" in the tool's output; 0 without one.
std::int32_t announced_window(const std::string& output) {
    const std::string mark = "Send-ahead: ";
    const auto at = output.find(mark);
    return at == std::string::npos ? 0 : std::atoi(output.c_str() + at + mark.size());
}

struct Result {
    double program = 0.0;
    double verify = 0.0;
};

}  // namespace

int main(int argc, char** argv) {
    fs::path bin = fs::path(argv[0]).parent_path() / ".." / "bin";
    int runs = 1;
    std::string command_us = kFirmwareCommandUs;
    std::string chips = "18877,1509,877a,628a";
    std::string board_kind = "server";
    double rate = std::atof(kBaud);
    std::vector<std::string> extra;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--bin") {
            bin = argv[i + 1];
        } else if (arg == "--command-us") {
            command_us = argv[i + 1];
        } else if (arg == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (arg == "--chips") {
            chips = argv[i + 1];
        } else if (arg == "--board") {
            board_kind = argv[i + 1];
        } else if (arg == "--rate") {
            rate = std::atof(argv[i + 1]);
        } else if (arg == "--server-arg") {
            extra.emplace_back(argv[i + 1]);
        } else {
            std::fprintf(stderr,
                         "Usage: firmware_board_bench [--bin DIR] [--runs N] [--command-us N]\n"
                         "  [--chips 18877,1509,877a,628a] [--board server|simboard] [--rate N]\n"
                         "  [--server-arg ARG]...\n");
            return 2;
        }
    }
    const std::string tool = (bin / "corvanel").string();
    const std::string devices = (bin / "corvaneldevices.txt").string();
    const fs::path work = fs::temp_directory_path() / "corvanel-firmware-bench";
    const bool simulated = board_kind == "simboard";

    DeviceDatabase database;
    if (load_device_database(devices, database).status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "cannot load %s\n", devices.c_str());
        return 1;
    }
    fs::create_directories(work / "config");
    // No settings of whoever runs it: the tool's defaults.
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    if (simulated) {
        std::printf("# corvanel-simboard (the firmware in simavr), starting at %s baud\n", kBaud);
    } else {
        std::printf("# board server --baud %s --rx-buffer %s --command-us %s\n", kBaud,
                    kFirmwareBuffer, command_us.c_str());
    }
    std::printf("# floor: waits + %.1f us a word clocked + the bytes at %.0f baud\n",
                kClockUsPerWord, rate);
    std::printf("%-8s %-8s %7s %7s %7s %7s %8s %9s %7s\n", "chip", "op", "out", "in", "waits",
                "clocks", "floor", "measured", "ratio");
    for (const Chip& chip : kChips) {
        if (("," + chips + ",").find("," + std::string(chip.short_name) + ",") ==
            std::string::npos) {
            continue;
        }
        const int number = bench::model_number(database, chip.model);
        ActiveModel model;
        MemoryImage image;
        if (number == 0 || !apply_model(database, number, model, image)) {
            std::fprintf(stderr, "no model %s\n", chip.model);
            return 1;
        }
        // A full random program; the configuration words stay erased (no protection).
        image.clear_image();
        bench::fill_random(image, static_cast<unsigned>(number));
        const fs::path hex = work / (std::string(chip.short_name) + ".hex");
        if (!save_hex_file(hex.string(), image).saved) {
            std::fprintf(stderr, "cannot write %s\n", hex.c_str());
            return 1;
        }
        std::vector<std::string> server_argv;
        if (simulated) {
            server_argv = {(bin / "corvanel-simboard").string(), "--chip", chip.model};
        } else {
            server_argv = {(bin / "corvanel-board").string(),
                           "--chip",
                           chip.model,
                           "--baud",
                           kBaud,
                           "--rx-buffer",
                           kFirmwareBuffer,
                           "--command-us",
                           command_us};
        }
        server_argv.insert(server_argv.end(), extra.begin(), extra.end());
        Child board_server;
        if (!board_server.start(server_argv, (work / "server.err").string())) {
            std::fprintf(stderr, "cannot start %s\n", server_argv[0].c_str());
            return 1;
        }
        const std::string port = board_server.first_line();
        Result best;
        std::int32_t window = 0;
        for (int run = 1; run <= runs; ++run) {
            const auto [code, output] =
                run_tool({tool, "--devices", devices, "--model", chip.model, "--port", port,
                          "program", "--verify", hex.string()});
            const auto programmed = output.find("Chip programmed. ");
            const auto verified = output.find("Chip verified. ");
            if (code != 0 || programmed == std::string::npos || verified == std::string::npos) {
                std::printf("# %s run %d: exit %d\n%s", chip.model, run, code, output.c_str());
                return 1;
            }
            const Result seconds{
                elapsed_of(output.substr(programmed, verified - programmed)).value_or(0.0),
                elapsed_of(output.substr(verified)).value_or(0.0)};
            best.program = run == 1 ? seconds.program : std::min(best.program, seconds.program);
            best.verify = run == 1 ? seconds.verify : std::min(best.verify, seconds.verify);
            window = announced_window(output);
        }
        board_server.stop();
        // Counted as the tool ran it: identified, the fast link with any window.
        auto board = VirtualBoard::with_chip(chip.model);
        const Counts program = count_operation(database, number, image, *board,
                                               OperationKind::Program, true, window, true);
        const Counts verify = count_operation(database, number, image, *board,
                                              OperationKind::Verify, true, window, true);
        const double words = static_cast<double>(image.flash.size() + image.eeprom.size());
        const double clocks = words * kClockUsPerWord / 1e6;
        const auto row = [&](const char* name, const Counts& counts, double measured) {
            const double line = static_cast<double>(std::max(counts.out, counts.in)) * 10.0 / rate;
            const double floor = counts.pauses + clocks + line;
            std::printf("%-8s %-8s %7llu %7llu %7.2f %7.2f %8.2f %9.2f %7.3f\n", chip.short_name,
                        name, static_cast<unsigned long long>(counts.out),
                        static_cast<unsigned long long>(counts.in), counts.pauses, clocks, floor,
                        measured, measured / floor);
            return floor;
        };
        const double floor =
            row("program", program, best.program) + row("verify", verify, best.verify);
        std::printf("%-8s %-8s %7s %7s %7s %7s %8.2f %9.2f %7.3f\n", chip.short_name, "both", "-",
                    "-", "-", "-", floor, best.program + best.verify,
                    (best.program + best.verify) / floor);
        std::fflush(stdout);
    }
    return 0;
}
