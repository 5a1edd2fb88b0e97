// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command-line tool `corvanel`: the window application's chip operations
// and HEX file handling for scripts, Makefiles and production benches, on the
// same core, engine, device database, link and virtual board. One run of it
// works on the database, the model, the image and the port; its commands and
// options are listed once, in cli/command_table.*.

#include <QString>
#include <QStringList>

#include <span>

#include "platform/app/operation_run.h"

namespace corvanel {

// Runs the tool on its arguments (the program name first); needs a
// QCoreApplication. Answers the exit code.
[[nodiscard]] int run_command_line_tool(const QStringList& arguments);

// The --help text, made from the command table.
[[nodiscard]] QString command_line_help();

struct ToolCommand;

// Everything one run of the tool works on.
class Tool : public OperationRun {
public:
    // `gang`: the serial numbers and the log this board shares with the other
    // boards of a gang run (platform/app/board_series.h); nothing for a run on one board.
    explicit Tool(Options options, GangShared* gang = nullptr);

    [[nodiscard]] int run();

private:
    // The command table names the commands' functions.
    friend std::span<const ToolCommand> tool_commands();

    [[nodiscard]] int save_hex(const QString& path);
    // Before a Read All: a target save_hex would refuse is refused now, as it
    // would be then, before the chip is read for nothing.
    [[nodiscard]] int refuse_target(const QString& path);
    void print_image();

    [[nodiscard]] int cmd_models();
    [[nodiscard]] int cmd_ports();
    [[nodiscard]] int cmd_check();
    [[nodiscard]] int cmd_dump();
    [[nodiscard]] int cmd_convert();
    [[nodiscard]] int cmd_program();
    [[nodiscard]] int cmd_verify();
    [[nodiscard]] int cmd_read();
    [[nodiscard]] int cmd_erase();
    [[nodiscard]] int cmd_blank();
    [[nodiscard]] int cmd_simple(OperationKind kind);
    [[nodiscard]] int cmd_detect();
    [[nodiscard]] int cmd_board();
    [[nodiscard]] int cmd_config();
    [[nodiscard]] int cmd_osccal();
    [[nodiscard]] int cmd_job();
    [[nodiscard]] int cmd_make_job();
    [[nodiscard]] int cmd_board_test();

    [[nodiscard]] bool expect_args(int count);
};

}  // namespace corvanel
