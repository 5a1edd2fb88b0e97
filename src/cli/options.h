// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line of the tool: options before or after the command, read
// into the run's Options through the option table.

#include <QString>
#include <QStringList>

#include <optional>

#include "platform/app/run_options.h"

namespace corvanel {

// Splits the arguments (the program name first) into options, command and its
// arguments; on a usage error answers nothing and sets `error`.
[[nodiscard]] std::optional<Options> parse_arguments(const QStringList& arguments, QString& error);

}  // namespace corvanel
