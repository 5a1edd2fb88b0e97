// SPDX-License-Identifier: GPL-3.0-or-later
// Interpreter steps per second: a Verify of a full PIC16F877A image (8192 FLASH
// words, 256 EEPROM bytes, configuration word 1) against the in-process virtual
// board, repeated for about two seconds. Pauses return at once and window events
// are not processed, so the figure is the cost of the interpreter, the protocol
// and the board emulation alone. The watch for stray bytes after each
// operation's final answer is no work of theirs: it is timed apart and taken out
// of the figure (the in-process board answers at once, so it is one look only).

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "support/test_devices.h"

namespace {

using namespace corvanel;

// Records the status line and reads a real clock; everything else is silent.
class QuietHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    double clock_seconds() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    std::string status;
};

// The in-process board as a line whose answers could come late: the engine
// then watches for stray bytes after each operation as on a serial port.
class WatchedBoardChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    [[nodiscard]] bool answers_at_once() const override { return false; }
};

}  // namespace

// --watch: the end-of-operation watch runs as on a serial line (50 ms a run);
// it is timed apart either way.
int main(int argc, char** argv) {
    const bool watch = argc > 1 && std::string_view(argv[1]) == "--watch";
    ProgramState state;
    if (parse_device_database(corvanel::test::kTestDevice877A, "bench", state.database).status !=
            DatabaseStatus::Loaded ||
        !apply_model(state.database, 1, state.model, state.image)) {
        std::fprintf(stderr, "device file of the benchmark not accepted\n");
        return 1;
    }
    state.image.clear_image();

    auto board = VirtualBoard::with_chip("PIC16F877A");
    if (!board) {
        std::fprintf(stderr, "the virtual board has no PIC16F877A\n");
        return 1;
    }
    std::mt19937 random(877);
    for (std::int32_t i = 0; i < state.image.flash_size; ++i) {
        const auto word = static_cast<std::int32_t>(random() & 0x3FFF);
        (void)state.image.set_flash_word(i, word);
        board->chip().set_flash(i, static_cast<std::uint16_t>(word));
    }
    for (std::int32_t i = 0; i < state.image.eeprom_size; ++i) {
        const auto byte = static_cast<std::int32_t>(random() & 0xFF);
        (void)state.image.set_eeprom_byte(i, byte);
        board->chip().set_eeprom(i, static_cast<std::uint8_t>(byte));
    }
    state.image.config1 = 0x3F72;
    board->chip().set_config_space(kConfig1Address, 0x3F72);

    WatchedBoardChannel watched_channel(*board);
    BoardChannel plain_channel(*board);
    BoardChannel& channel = watch ? watched_channel : plain_channel;
    QuietHost host;
    state.host = &host;
    state.link.channel = &channel;
    state.link.port_ready = true;

    const auto started = std::chrono::steady_clock::now();
    const std::uint64_t steps_before = state.runner.steps_run();
    int runs = 0;
    double seconds = 0.0;
    do {
        (void)start_operation(state, OperationKind::Verify);
        while (channel.receive_threshold() == 1 && channel.has_waiting()) {
            state.link.MSComm1_OnComm();
        }
        if (host.status.rfind("Chip verified. ", 0) != 0) {
            std::fprintf(stderr, "verify did not pass: %s\n", host.status.c_str());
            return 1;
        }
        ++runs;
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    } while (seconds < 2.0);

    const std::uint64_t steps = state.runner.steps_run() - steps_before;
    const double watched = state.settle_seconds;
    std::printf("Verify of a full PIC16F877A image: %llu steps per run\n",
                static_cast<unsigned long long>(steps / static_cast<std::uint64_t>(runs)));
    std::printf("%d runs in %.2f s, of which %.3f ms per run watching for stray bytes\n", runs,
                seconds, watched * 1000.0 / runs);
    std::printf("%.0f interpreter steps per second (the watch left out)\n",
                static_cast<double>(steps) / (seconds - watched));
    return 0;
}
