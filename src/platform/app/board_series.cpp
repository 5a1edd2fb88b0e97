// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/board_series.h"

#include "platform/app/console_host.h"

namespace corvanel {

std::string gang_summary_text(int boards, std::int64_t passed, std::int64_t failed,
                              std::int64_t cancelled) {
    const std::int64_t chips = passed + failed + cancelled;
    std::string text = "All " + std::to_string(boards) + " boards: " + std::to_string(chips) +
                       (chips == 1 ? " chip, " : " chips, ") + std::to_string(passed) +
                       " passed, " + std::to_string(failed) + " failed";
    if (cancelled > 0) {
        text += ", " + std::to_string(cancelled) + " cancelled";
    }
    return text + ".";
}

BoardSeriesResult run_board_series(Options options, GangShared* shared, SeriesEvents events) {
    OperationRun run(std::move(options), shared);
    run.set_series_events(std::move(events));
    BoardSeriesResult result;
    result.exit = run.load_run(true);
    if (result.exit == run_exit::kDone) {
        result.exit = run.program_file();
    }
    result.counts = run.repeat_counts();
    result.left_powered = run.left_powered();
    return result;
}

void request_series_stop() {
    ConsoleHost::request_stop();
}

void clear_series_stop() {
    ConsoleHost::clear_stop();
}

}  // namespace corvanel
