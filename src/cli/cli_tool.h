#pragma once

// The command-line tool `corvanel`: the window application's chip operations
// and HEX file handling for scripts, Makefiles and production benches, on the
// same core, engine, device database, link and virtual board.

#include <QStringList>

#include <string>

namespace corvanel {

// Exit codes of the tool.
namespace cli_exit {
inline constexpr int kDone = 0;           // loaded, saved, programmed, verified, blank
inline constexpr int kRefused = 1;        // the file or the chip said no
inline constexpr int kUsage = 2;          // usage or device database error
inline constexpr int kLink = 3;           // port not ready, programmer not responding
inline constexpr int kInterrupted = 130;  // Ctrl-C during an operation: stopped, voltages off
}  // namespace cli_exit

// Runs the tool on its arguments (the program name first); needs a
// QCoreApplication. Answers the exit code.
[[nodiscard]] int run_command_line_tool(const QStringList& arguments);

// The program's arguments as the bytes the system gave them. A file name that
// is not valid text in the local encoding cannot come back unchanged from its
// QString; with these the tool finds the original bytes again.
void set_raw_arguments(int argc, const char* const* argv);
// The bytes to hand to the file system for an argument: the raw argument it
// was decoded from, else the local 8-bit encoding of the text.
[[nodiscard]] std::string file_name_bytes(const QString& argument);

// The --help text.
[[nodiscard]] QString command_line_help();

}  // namespace corvanel
