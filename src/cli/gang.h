// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Several boards at once on the command line: `program FILE --repeat` with
// more than one --port runs one series per board (platform/app/board_series.h),
// each board's lines after its port's name, and prints the summary of all.

#include <QStringList>

#include "platform/app/board_series.h"
#include "platform/app/run_options.h"

namespace corvanel {

// Runs `options` (program FILE --repeat and its production options) on each
// of `ports` at the same time; answers the tool's exit code: 128 + the signal
// after a stop, else the first board's (in the order of `ports`) that did not
// end well, else 0. Needs a QCoreApplication and the tool's signal handlers.
[[nodiscard]] int run_gang(const Options& options, const QStringList& ports);
// The ports are options.ports.
[[nodiscard]] int run_gang(const Options& options);

}  // namespace corvanel
