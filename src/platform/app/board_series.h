// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Several boards at once: one production series (`program FILE --repeat`)
// per board, each in its own thread with its own port, chip insertion,
// Program All and Verify (the single-board series of
// platform/app/repeat_run.cpp, unchanged). What the boards share is here: the
// serial numbers (core/engine/serial_pool.h) and the production log, whose
// lines name their port. A stop ends every board between two steps with its
// voltages off. The tool's `--port A --port B` (cli/gang.h) and the window's
// "Repeat on Several Boards" share the numbers, the log and the summary
// through this; the window runs each of its boards with run_board_series.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "core/engine/serial_pool.h"
#include "platform/app/operation_run.h"
#include "platform/app/run_options.h"

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

// How one board's series ended.
struct BoardSeriesResult {
    // The run's exit code (platform/app/operation_run.h): 130 after a stop.
    int exit = run_exit::kDone;
    RepeatCounts counts;
    // The in-process virtual board still had its voltages on as its port closed.
    bool left_powered = false;
};

// Runs `options` (program FILE --repeat with its production options, the
// board's port in options.port) on the calling thread until its chips are
// done or a stop comes; its lines go through print_lines, its chips' starts
// and verdicts to `events`. Needs a QCoreApplication.
[[nodiscard]] BoardSeriesResult run_board_series(Options options, GangShared* shared,
                                                 SeriesEvents events);

// A stop for every board's series: each ends between two steps with its
// voltages off. Cleared before the next boards start.
void request_series_stop();
void clear_series_stop();

}  // namespace corvanel
