// SPDX-License-Identifier: GPL-3.0-or-later
// How close Verify of a full PIC16F877A image comes to the serial line's limit on
// the real board firmware (the ELF, run by simavr), with the host's default
// settings: the board identifies itself and the send-ahead window is the one its
// declared receive buffer allows, no probe.
//
// Two runs of the same verify:
//   in-process  the engine in this process on the simulated board; its time is
//               the simulator's clock (what a host without any latency of its own
//               would see), and the wall time the simulation took is printed too
//   tool        `corvanel verify` over `corvanel-simboard` (a pseudo-terminal,
//               the simulation kept to the wall clock); the tool's own elapsed
//               time. Only as good as the computer: a simulation that cannot keep
//               up with 16 MHz stretches it (see the in-process wall time)
// For each: the bytes each way, the window, the measured time, the duplex limit
// (max(out, in) x 10 / baud + pauses) and measured / duplex beside the target 1.10.
// The simulator's UART takes 12 bit times a byte and rounds its divisor, slower
// than the wire: the "sim line" columns use the byte time the simulated line
// really has, the figure the firmware and the host can be judged by.
//
// Run by hand (docs/benchmarks.md); it is no test. Example:
//   firmware_verify_bench --bin build/bin --firmware build/firmware/corvanel-board-328p.elf

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "board/chip_state_file.h"
#include "board/simavr_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/image/intel_hex_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace corvanel;
using bench::run_command;

constexpr const char* kModel = "PIC16F877A";
constexpr std::int32_t kConfig = 0x3FF2;  // no code protection: reads back as written
constexpr long kBaud = 56000;
constexpr double kTarget = 1.10;

// The host's clock is the simulator's: the engine's waits (the identify answer)
// pass as the board's time does.
class CountingHost final : public NullEngineHost {
public:
    explicit CountingHost(const SimulatedBoard& board) : board_(board) {}
    void set_status_text(std::string_view text) override { status.assign(text); }
    void pause(int milliseconds) override { pause_ms += milliseconds; }
    [[nodiscard]] double clock_seconds() override {
        return static_cast<double>(board_.now_ns()) / 1e9;
    }
    std::string status;
    long long pause_ms = 0;

private:
    const SimulatedBoard& board_;
};

// Counts the answer bytes the engine takes.
class CountingChannel final : public SimulatedBoardChannel {
public:
    using SimulatedBoardChannel::SimulatedBoardChannel;
    std::vector<std::uint8_t> read_all() override {
        auto bytes = SimulatedBoardChannel::read_all();
        answers += bytes.size();
        return bytes;
    }
    std::uint64_t answers = 0;
};

struct Run {
    std::uint64_t out = 0;
    std::uint64_t in = 0;
    std::int32_t window = 0;
    double pauses = 0.0;
    double seconds = 0.0;
    double wall = 0.0;
    std::string result;
};

// The seconds one byte takes on the simulated line (SimulatorHooks::line_tick):
// the firmware's divisor at double speed, 12 bit times.
double simulated_byte_seconds() {
    const long divisor = (16'000'000L + 4L * kBaud) / (8L * kBaud);  // UBRR + 1
    const double uart = 8.0 * static_cast<double>(divisor) * 12.0 / 16e6;
    return std::max(uart, 10.0 / kBaud) + 16.0 / 16e6;
}

void print_row(const char* what, const Run& run) {
    const double bytes = static_cast<double>(std::max(run.out, run.in));
    const double duplex = bytes * 10.0 / kBaud + run.pauses;
    const double sim_line = bytes * simulated_byte_seconds() + run.pauses;
    std::printf("%-11s %7llu %7llu %6d %7.2f %9.2f %9.2f %6.2f %9.2f %6.2f %6.2f  %s\n", what,
                static_cast<unsigned long long>(run.out), static_cast<unsigned long long>(run.in),
                run.window, run.pauses, run.seconds, duplex, run.seconds / duplex, sim_line,
                run.seconds / sim_line, kTarget, run.result.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    fs::path bin = fs::path(argv[0]).parent_path();
    fs::path firmware = bin / ".." / "firmware" / "corvanel-board-328p.elf";
    fs::path work = fs::temp_directory_path() / "corvanel-firmware-verify-bench";
    bool tool_run = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--no-tool") {
            tool_run = false;
        } else if (i + 1 < argc && arg == "--bin") {
            bin = argv[++i];
        } else if (i + 1 < argc && arg == "--firmware") {
            firmware = argv[++i];
        } else if (i + 1 < argc && arg == "--work") {
            work = argv[++i];
        } else {
            std::fprintf(stderr,
                         "Usage: firmware_verify_bench [--bin DIR] [--firmware ELF] [--work DIR]\n"
                         "       [--no-tool]\n"
                         "DIR holds corvanel, corvanel-simboard and corvaneldevices.txt.\n");
            return 2;
        }
    }
    fs::remove_all(work);
    fs::create_directories(work / "config");
    // The tool's defaults: no settings file.
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);

    const std::string devices = (bin / "corvaneldevices.txt").string();
    DeviceDatabase database;
    if (load_device_database(devices, database).status != DatabaseStatus::Loaded) {
        std::fprintf(stderr, "cannot load %s\n", devices.c_str());
        return 1;
    }
    const int number = bench::model_number(database, kModel);
    ProgramState state;
    state.database = database;
    if (number == 0 || !apply_model(state.database, number, state.model, state.image)) {
        std::fprintf(stderr, "no model %s\n", kModel);
        return 1;
    }
    MemoryImage& image = state.image;
    image.clear_image();
    bench::fill_random(image, static_cast<unsigned>(image.flash_size));
    image.config1 = kConfig;
    const fs::path hex = work / "877a.hex";
    if (!save_hex_file(hex.string(), image).saved) {
        std::fprintf(stderr, "cannot write %s\n", hex.c_str());
        return 1;
    }

    // The chip already holds the image: only the verify is timed.
    auto chip = Pic14Chip::create(kModel, 7);
    if (!chip || !load_chip_state_file(*chip, hex.string()).ok) {
        std::fprintf(stderr, "cannot put the image in an emulated %s\n", kModel);
        return 1;
    }
    std::string error;
    auto board = SimulatedBoard::load(firmware.string(), *chip, kBaud, error);
    if (!board) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    (void)board->take_start_bytes();

    std::printf("# %s verify at %ld baud; a simulated line byte takes %.1f us (the wire: %.1f)\n",
                kModel, kBaud, simulated_byte_seconds() * 1e6, 10.0 / kBaud * 1e6);
    std::printf("%-11s %7s %7s %6s %7s %9s %9s %6s %9s %6s %6s\n", "run", "out", "in", "window",
                "pauses", "measured", "duplex", "/dupl", "sim line", "/line", "target");

    CountingHost host(*board);
    state.host = &host;
    CountingChannel channel(*board);
    state.link.channel = &channel;
    state.link.port_ready = true;
    state.auto_window = true;  // the default "Send-Ahead Window": automatic
    Run in_process;
    if (identify_board(state) != BoardAnswer::Identified) {
        std::fprintf(stderr, "the simulated firmware did not identify itself\n");
        return 1;
    }
    channel.answers = 0;
    const std::uint64_t written_before = channel.bytes_written();
    const std::uint64_t start_ns = board->now_ns();
    const auto wall_start = std::chrono::steady_clock::now();
    (void)start_operation(state, OperationKind::Verify);
    in_process.window = state.runner.window;
    while (state.runner.running() && channel.has_waiting()) {
        state.link.MSComm1_OnComm();
    }
    in_process.seconds = static_cast<double>(board->now_ns() - start_ns) / 1e9;
    in_process.wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    in_process.out = channel.bytes_written() - written_before;
    in_process.in = channel.answers;
    in_process.pauses = static_cast<double>(host.pause_ms) / 1000.0;
    in_process.result = host.status;
    print_row("in-process", in_process);
    std::printf("# the simulation of %.2f s took %.2f s of wall time (%.2fx real time)\n",
                in_process.seconds, in_process.wall, in_process.seconds / in_process.wall);

    if (tool_run) {
        const fs::path state_file = work / "chip.hex";
        fs::copy_file(hex, state_file, fs::copy_options::overwrite_existing);
        const std::string server_out = (work / "server.out").string();
        const std::string command = "'" + (bin / "corvanel-simboard").string() + "' --firmware '" +
                                    firmware.string() + "' --chip " + kModel + " --state '" +
                                    state_file.string() + "' >'" + server_out + "' 2>'" +
                                    (work / "server.err").string() + "' & echo $!";
        const auto [code, pid_text] = run_command(command);
        const int pid = std::atoi(pid_text.c_str());
        std::string device;
        for (int tries = 0; tries < 100 && device.empty(); ++tries) {
            std::ifstream in(server_out);
            std::getline(in, device);
            if (device.empty()) {
                run_command("sleep 0.05");
            }
        }
        if (code != 0 || pid <= 0 || device.empty()) {
            std::fprintf(stderr, "cannot start corvanel-simboard\n");
            return 1;
        }
        const auto [tool_code, output] = run_command(
            "'" + (bin / "corvanel").string() + "' --devices '" + devices + "' --model " + kModel +
            " --port " + device + " --banner-wait verify '" + hex.string() + "'");
        run_command("kill -TERM " + std::to_string(pid) + "; while kill -0 " + std::to_string(pid) +
                    " 2>/dev/null; do sleep 0.05; done");
        Run tool = in_process;  // the same bytes, with the window the tool chose
        const auto seconds = bench::elapsed_of(output);
        const auto at = output.find("Send-ahead: ");
        if (at != std::string::npos) {
            tool.window = std::atoi(output.c_str() + at + 12);
        }
        tool.seconds = seconds.value_or(0.0);
        tool.result = tool_code == 0 ? "" : "exit " + std::to_string(tool_code);
        if (tool.window != in_process.window) {
            tool.result += " (window differs: the byte counts are the in-process run's)";
        }
        print_row("tool", tool);
    }
    return 0;
}
