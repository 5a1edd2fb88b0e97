// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmark programs share: reading the time a program reports,
// running the tool and the board server as child processes, finding a model,
// a random image, and counting one operation's bytes on the virtual board.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/image/memory_image.h"

namespace corvanel::bench {

// The seconds of the result text "... 12.34 seconds elapsed..." (the last one).
inline std::optional<double> elapsed_of(const std::string& text) {
    const auto at = text.rfind(" seconds elapsed");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    auto begin = text.rfind(' ', at - 1);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return std::atof(text.substr(begin, at - begin).c_str());
}

// A child process; killed and reaped when the object goes.
class Child {
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // Starts the program with its standard output on a pipe; false when it fails.
    bool start(const std::vector<std::string>& argv, const std::string& err_file) {
        int pipe_fds[2];
        if (pipe(pipe_fds) != 0) {
            return false;
        }
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipe_fds[1], 1);
            const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                dup2(err, 2);
            }
            close(pipe_fds[0]);
            close(pipe_fds[1]);
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(pipe_fds[1]);
        out_ = pipe_fds[0];
        return pid_ > 0;
    }

    // The first line of its output (the board server's device path).
    std::string first_line() {
        std::string line;
        char c = 0;
        while (read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }

    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (out_ >= 0) {
            close(out_);
            out_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Runs a shell command line and answers its exit status and output (standard
// error included).
inline std::pair<int, std::string> run_command(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return {-1, output};
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// Runs the tool and answers its output and exit status.
inline std::pair<int, std::string> run_tool(const std::vector<std::string>& argv) {
    std::string command;
    for (const std::string& a : argv) {
        command += "'" + a + "' ";
    }
    return run_command(command);
}

// The number of the model called `name` in the database; 0 when it has none.
inline int model_number(const DeviceDatabase& database, std::string_view name) {
    int number = 0;
    for (int n = 1; n <= database.model_count(); ++n) {
        if (database.model(n).name == name) {
            number = n;
        }
    }
    return number;
}

// Fills every FLASH word and EEPROM byte with random values from `seed`.
inline void fill_random(MemoryImage& image, unsigned seed) {
    std::mt19937 random(seed);
    for (std::int32_t i = 0; i < image.flash_size; ++i) {
        (void)image.set_flash_word(i, static_cast<std::int32_t>(random() % 0x3FFF));
    }
    for (std::int32_t i = 0; i < image.eeprom_size; ++i) {
        (void)image.set_eeprom_byte(i, static_cast<std::int32_t>(random() % 0xFF));
    }
}

// Counts the host's pauses; every other wish of the engine is granted at once.
class CountingHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    void pause(int milliseconds) override { pause_ms += milliseconds; }
    std::string status;
    long long pause_ms = 0;
};

// What one operation asks of the line.
struct Counts {
    std::uint64_t out = 0;    // bytes the host sends
    std::uint64_t in = 0;     // answer bytes the board gives
    std::uint64_t trips = 0;  // receive notifications that had bytes
    double pauses = 0.0;      // the script's pauses, seconds
    std::string result;       // the status text it ended with
};

// Runs one operation in this process against the virtual board, in the given
// link mode, and counts.
// With `identify` the board is asked first, as the tool does: its window, and
// blocks where it declares them.
inline Counts count_operation(const DeviceDatabase& database, int model_number,
                              const MemoryImage& image, VirtualBoard& board, OperationKind kind,
                              bool fast_link, std::int32_t window, bool identify = false) {
    ProgramState state;
    CountingHost host;
    state.host = &host;
    state.database = database;
    (void)apply_model(state.database, model_number, state.model, state.image);
    state.image = image;
    BoardChannel channel(board);
    state.link.channel = &channel;
    state.link.port_ready = true;
    state.runner.fast_link = fast_link;
    state.runner.window = window;
    if (identify) {
        (void)identify_board(state);
        state.auto_window = true;
    }
    Counts counts;
    const std::uint64_t board_waited = board.board_waited_ms();
    (void)start_operation(state, kind);
    while (state.runner.running() && channel.has_waiting()) {
        ++counts.trips;
        state.link.MSComm1_OnComm();
    }
    counts.out = channel.bytes_written();
    counts.in = channel.answers_produced();
    // The script's pauses, whether the host waited them or handed them to the board.
    counts.pauses =
        static_cast<double>(host.pause_ms +
                            static_cast<long long>(board.board_waited_ms() - board_waited)) /
        1000.0;
    counts.result = host.status;
    return counts;
}

}  // namespace corvanel::bench
