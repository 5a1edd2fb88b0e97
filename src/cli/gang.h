// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Several boards at once: `program FILE --repeat` with more than one --port
// runs one series per board, each in its own thread with its own port, chip
// insertion, Program All and Verify (the single-board series of
// cli/repeat.cpp, unchanged). What the boards share is here: the serial
// numbers (core/engine/serial_pool.h) and the production log, whose lines name
// their port. A stop signal ends every board between two steps with its
// voltages off.

#include <QStringList>

#include <mutex>
#include <optional>

#include "cli/options.h"
#include "core/engine/serial_pool.h"

namespace corvanel {

struct GangShared {
    // With --serial: the numbers every board takes from.
    std::optional<SerialPool> serials;
    // Held while a board appends its line to the shared log.
    std::mutex log_mutex;
};

// "All 4 boards: 12 chips, 11 passed, 1 failed." (", 1 cancelled" as the
// single board's summary has it).
[[nodiscard]] std::string gang_summary_text(int boards, std::int64_t passed, std::int64_t failed,
                                            std::int64_t cancelled);

// Runs `options` (program FILE --repeat and its production options) on each
// of `ports` at the same time; answers the tool's exit code: 128 + the signal
// after a stop, else the first board's (in the order of `ports`) that did not
// end well, else 0. Needs a QCoreApplication and the tool's signal handlers.
[[nodiscard]] int run_gang(const Options& options, const QStringList& ports);
// The ports are options.ports.
[[nodiscard]] int run_gang(const Options& options);

}  // namespace corvanel
