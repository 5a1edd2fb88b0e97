// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The last way out of the window and of the command-line tool: a crash
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, or SIGABRT from abort() and qFatal). Nothing of the program can
// be trusted then, so the handler only writes the board's voltages-off command straight to the open
// port's descriptor (write() is async-signal-safe) and raises the signal again with its default
// action, so the crash still ends the program as a crash (core file, exit status). Without POSIX
// signals nothing is installed.

namespace corvanel {

// Installs the handler for the five signals. Safe to call more than once.
void install_crash_voltages_off();

// Writes the voltages-off bytes straight to every open port's descriptor, as
// the handler does; async-signal-safe, for the other handlers that end the
// program from inside a signal.
void write_voltages_off_to_port();

// The descriptors of the open serial ports (a virtual board lives in the
// program and ends with it): added when a port opens and removed before it
// closes. Several boards programming at once each have theirs; the first 16
// are kept.
void add_crash_port_descriptor(int descriptor);
void remove_crash_port_descriptor(int descriptor);
// How many ports the handler would write to.
[[nodiscard]] int crash_port_count();

}  // namespace corvanel
