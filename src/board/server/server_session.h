// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What both board mains (corvanel-board and corvanel-simboard) do around their
// serving loop: the chip from its name, revision and state file; the stop and
// chip-swap signals; the pseudo-terminal, its registration as a COM number and
// its path on the first line of the output; and the clean-up at the end.

#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "board/pic14_chip.h"
#include "board/server/pseudo_terminal.h"
#include "board/server/server_options.h"

namespace corvanel::board_server {

// The chip swap asked for by the last signal: SIGUSR1 takes the chip out,
// SIGUSR2 puts a fresh blank one in.
enum class ChipSwap { None, Remove, Insert };

class ServerSession {
public:
    // Installs the signal handlers, opens the terminal, registers it and prints its
    // path; nothing (with the reason on standard error) when the terminal or the
    // registration failed.
    [[nodiscard]] static std::unique_ptr<ServerSession> open(const Options& options);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    [[nodiscard]] const Terminal& terminal() const { return terminal_; }
    // Non-zero once a stop signal (SIGTERM, SIGINT, SIGHUP) came.
    [[nodiscard]] static const volatile std::sig_atomic_t& stop_flag();
    // The chip swap asked for since the last call.
    [[nodiscard]] static ChipSwap take_chip_swap();

private:
    ServerSession(Terminal terminal, std::optional<std::filesystem::path> link);

    Terminal terminal_;
    std::optional<std::filesystem::path> link_;
};

// The chip of the options: its name, its revision, the state file's contents when
// the file exists. Nothing, with `exit_code` set and the reason on standard error,
// for an unknown chip, a revision it cannot have or an unreadable state file.
[[nodiscard]] std::optional<Pic14Chip> load_chip(const std::string& program, const Options& options,
                                                 int& exit_code);
// A fresh blank chip of the options' model and revision (a swap's new chip).
[[nodiscard]] Pic14Chip fresh_chip(const Options& options);
// Saves the chip to the options' state file, if any; false (with the reason on
// standard error) when that failed.
[[nodiscard]] bool save_chip(const std::string& program, const Pic14Chip& chip,
                             const Options& options);
// Prints what the chip was put through that its programming documents forbid.
void report_chip_faults(const std::string& program, const Pic14Chip& chip);

}  // namespace corvanel::board_server
