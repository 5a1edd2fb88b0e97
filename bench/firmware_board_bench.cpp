// SPDX-License-Identifier: GPL-3.0-or-later
// Program All and Verify of a full PIC16F1509 over a board that behaves as the
// firmware does, with the tool's default settings, against the least time the
// line and the chip allow.
//
// The board server stands for the firmware board: it answers identify (107)
// with the firmware's 255-byte receive buffer, and spends the firmware's own
// time on each byte it takes (--command-us, below). The tool runs with a
// configuration folder of its own and no link options, so the window is the
// one the board declares. Printed per run:
//   out, in    bytes the host sends and the board answers (from the same
//              operation run in this process against the virtual board, in the
//              link mode the tool announced)
//   waits      the chip's programming waits (the script's pauses) in seconds
//   duplex     max(out, in) x 10 / baud + waits: each direction's bytes at 10
//              bits a byte on its own wire at once, and the chip's waits (the
//              least time of a host that sends ahead)
//   lockstep   (out + in) x 10 / baud + waits: the two directions one after the
//              other
//   measured   the elapsed time the tool reports (the fastest of --runs N)
//   ratio      measured / duplex, beside the target (and measured / lockstep)
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

constexpr const char* kModel = "PIC16F1509";
constexpr const char* kBaud = "56000";
// The firmware's receive ring (docs/board-protocol.md, identify).
constexpr const char* kFirmwareBuffer = "255";
// The firmware's own time per byte it takes, at 16 MHz: a data word is 16 PGC
// clocks of 1 us high and 1 us low plus the loop (some 38 us) over its 3 bytes;
// a chip command 6 clocks and TDLY2's 5 us (some 20 us) over its 2 bytes.
constexpr const char* kFirmwareCommandUs = "13";

constexpr double kTarget = 1.15;

// The window of "Send-ahead: 85 (board's buffer)" in the tool's output; 0 without one.
std::int32_t announced_window(const std::string& output) {
    const std::string mark = "Send-ahead: ";
    const auto at = output.find(mark);
    return at == std::string::npos ? 0 : std::atoi(output.c_str() + at + mark.size());
}

}  // namespace

int main(int argc, char** argv) {
    fs::path bin = fs::path(argv[0]).parent_path() / ".." / "bin";
    int runs = 1;
    std::string command_us = kFirmwareCommandUs;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--bin") {
            bin = argv[i + 1];
        } else if (arg == "--command-us") {
            command_us = argv[i + 1];
        } else if (arg == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr,
                         "Usage: firmware_board_bench [--bin DIR] [--runs N] [--command-us N]\n");
            return 2;
        }
    }
    const std::string tool = (bin / "corvanel").string();
    const std::string server = (bin / "corvanel-board").string();
    const std::string devices = (bin / "corvaneldevices.txt").string();
    const fs::path work = fs::temp_directory_path() / "corvanel-firmware-bench";

    DeviceDatabase database;
    if (load_device_database(devices, database).status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "cannot load %s\n", devices.c_str());
        return 1;
    }
    const int number = bench::model_number(database, kModel);
    ActiveModel model;
    MemoryImage image;
    if (number == 0 || !apply_model(database, number, model, image)) {
        std::fprintf(stderr, "no model %s\n", kModel);
        return 1;
    }
    // A full random program; the configuration words stay erased (no protection).
    image.clear_image();
    bench::fill_random(image, 1509);
    fs::create_directories(work / "config");
    // No settings of whoever runs it: the tool's defaults.
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    const fs::path hex = work / "1509.hex";
    if (!save_hex_file(hex.string(), image).saved) {
        std::fprintf(stderr, "cannot write %s\n", hex.c_str());
        return 1;
    }

    Child board_server;
    if (!board_server.start({server, "--chip", kModel, "--baud", kBaud, "--rx-buffer",
                             kFirmwareBuffer, "--command-us", command_us},
                            (work / "server.err").string())) {
        std::fprintf(stderr, "cannot start %s\n", server.c_str());
        return 1;
    }
    const std::string port = board_server.first_line();
    std::printf("# %s at %s baud, board server --rx-buffer %s --command-us %s, identify on\n",
                kModel, kBaud, kFirmwareBuffer, command_us.c_str());
    std::printf("%-8s %7s %7s %7s %8s %8s %9s %7s %7s %7s\n", "op", "out", "in", "waits", "duplex",
                "lockstep", "measured", "ratio", "target", "/lock");
    // The fastest of the runs, per operation: Program All, Verify.
    std::vector<double> best(2, 0.0);
    std::int32_t window = 0;
    for (int run = 1; run <= runs; ++run) {
        const auto [code, output] =
            run_tool({tool, "--devices", devices, "--model", kModel, "--port", port, "--baud",
                      kBaud, "program", "--verify", hex.string()});
        if (code != 0) {
            std::printf("# run %d: exit %d\n%s", run, code, output.c_str());
            return 1;
        }
        // "Chip programmed. 14.87 seconds elapsed..." and "Chip verified. ...".
        const auto programmed = output.find("Chip programmed. ");
        const auto verified = output.find("Chip verified. ");
        if (programmed == std::string::npos || verified == std::string::npos) {
            std::printf("# run %d: no result\n%s", run, output.c_str());
            return 1;
        }
        const std::vector<double> seconds = {
            elapsed_of(output.substr(programmed, verified - programmed)).value_or(0.0),
            elapsed_of(output.substr(verified)).value_or(0.0)};
        for (std::size_t i = 0; i < best.size(); ++i) {
            best[i] = run == 1 ? seconds[i] : std::min(best[i], seconds[i]);
        }
        window = announced_window(output);
        std::printf("# run %d: program %.2f s, verify %.2f s\n", run, seconds[0], seconds[1]);
    }
    std::printf("# the tool announced Send-ahead: %d; the counts use it and the fast link\n",
                window);
    // Counted as the tool ran it: the fast link comes with any window.
    auto board = VirtualBoard::with_chip(kModel);
    const Counts program = count_operation(database, number, image, *board, OperationKind::Program,
                                           window > 0, window);
    const Counts verify =
        count_operation(database, number, image, *board, OperationKind::Verify, window > 0, window);
    const double baud = std::atof(kBaud);
    const auto row = [&](const char* name, std::uint64_t out, std::uint64_t in, double waits,
                         double measured) {
        const double duplex = static_cast<double>(std::max(out, in)) * 10.0 / baud + waits;
        const double lockstep = static_cast<double>(out + in) * 10.0 / baud + waits;
        std::printf("%-8s %7llu %7llu %7.2f %8.2f %8.2f %9.2f %7.3f %7.2f %7.3f\n", name,
                    static_cast<unsigned long long>(out), static_cast<unsigned long long>(in),
                    waits, duplex, lockstep, measured, measured / duplex, kTarget,
                    measured / lockstep);
        return duplex;
    };
    const double program_limit = row("program", program.out, program.in, program.pauses, best[0]);
    const double verify_limit = row("verify", verify.out, verify.in, verify.pauses, best[1]);
    const double both = best[0] + best[1];
    std::printf("%-8s %7llu %7llu %7.2f %8.2f %8s %9.2f %7.3f %7.2f\n", "both",
                static_cast<unsigned long long>(program.out + verify.out),
                static_cast<unsigned long long>(program.in + verify.in),
                program.pauses + verify.pauses, program_limit + verify_limit, "-", both,
                both / (program_limit + verify_limit), kTarget);
    board_server.stop();
    return 0;
}
