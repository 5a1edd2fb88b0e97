// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tool's commands and options, each described once. The argument parser,
// the dispatch and the --help text are made from these tables; the man page
// (packaging/man/corvanel.1) and the bash completion (packaging/completion/
// corvanel) are written by hand and checked against them by
// tests/cli/command_table_test.cpp, which fails when a command or an option is
// in one place only.

#include <QString>

#include <span>
#include <string_view>

#include "cli/options.h"

namespace corvanel {

class Tool;

// One option. An option that several lines of --help describe ("--window N",
// "--window auto") has one row per line, all with the same name.
struct ToolOption {
    std::string_view name = {};   // "--model"
    std::string_view alias = {};  // "-h" for --help, else empty
    // The value's placeholder in --help ("NAME|NUMBER"); empty: a switch.
    std::string_view value = {};
    // The switch's field in Options; nullptr for an option with a value.
    bool Options::*flag = nullptr;
    // The value's field in Options; nullptr for a switch and for --window,
    // whose value the parser checks itself.
    QString Options::*text = nullptr;
    // Taken only by the commands that name it (ToolCommand::options); any
    // other option goes with every command.
    bool per_command = false;
    // Its lines in the Options part of --help, "\n" between them. Empty: not
    // listed there; a per-command option is then shown after its commands.
    std::string_view help = {};
};

// One command.
struct ToolCommand {
    std::string_view name = {};  // "convert"
    // Its arguments as --help names them, one word each ("IN OUT").
    std::string_view arguments = {};
    // The per-command options it takes, blank-separated ("--verify --force").
    std::string_view options = {};
    // Loads a model first (every command but models).
    bool needs_model = true;
    // Opens the port to the board.
    bool needs_port = false;
    // Its arguments are Intel HEX files (the completion offers them).
    bool hex_arguments = false;
    // Its lines in the Commands part of --help, "\n" between them.
    std::string_view help = {};
    // Runs it, after the database, the model and the argument count are in order.
    int (Tool::*run)() = nullptr;

    [[nodiscard]] int argument_count() const;
    [[nodiscard]] bool takes_option(std::string_view option) const;
};

[[nodiscard]] std::span<const ToolOption> tool_options();
[[nodiscard]] std::span<const ToolCommand> tool_commands();

// A table text as a QString.
[[nodiscard]] QString table_text(std::string_view text);

// The command of that name, nullptr when there is none.
[[nodiscard]] const ToolCommand* find_tool_command(const QString& name);

// The usage error for a per-command option given to a command that does not
// take it ("--verify goes with program and read only"), empty when there is none.
[[nodiscard]] QString misplaced_option_error(const Options& options, const ToolCommand& command);

}  // namespace corvanel
