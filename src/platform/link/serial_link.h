// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programmer's serial line of a running program: the port object MSComm1,
// what the start-up scan found, and the link state of the program (port number,
// baud rate, port ready) kept in step with the port. The window application and
// the command-line tool each own one; it attaches MSComm1 to the program's
// ProgrammerLink so that received bytes drive the interpreter.

#include <QString>

#include <functional>

#include "platform/link/port_setup.h"
#include "platform/link/serial_channel.h"

namespace corvanel {

struct ProgramState;
class SettingsStore;

// Keeps the send-ahead windows measured on boards that do not identify
// themselves in `store`, per port (named by `port_name` when asked) and the
// link's baud rate, so that the next run need not measure again. A stored value
// outside 0..kAutoWindowMax counts as none.
void keep_measured_windows(ProgramState& state, const SettingsStore& store,
                           std::function<QString()> port_name);

// Right after a port was opened: asks the board what it is (identify_board)
// and answers the status text with the board's description appended.
QString identify_opened_board(ProgramState& state, const QString& status_text);

class SerialLink {
public:
    // Attaches to `state.link` (channel and receive handler); detaches on destruction.
    explicit SerialLink(ProgramState& state);
    ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    QtSerialChannel MSComm1;
    PortScan scan;

    // Probes COM1 to COM16 (at start-up, before the working port is opened).
    void scan_ports();
    // Opens the configured port; the link's port number, baud rate and
    // port_ready follow, and the status line shows "Serial port COMn ready..."
    // or "Serial port COMn error!". Answers port_ready.
    bool open_configured_port();
    // Closes the port; port_ready becomes false.
    void close_port();

    // A virtual port emulates the applied model's chip. Call after a model was
    // applied: an open virtual port with another chip is closed (its state file
    // written) and opened again with the new chip.
    void follow_applied_model();

    [[nodiscard]] ProgramState& state() { return state_; }

private:
    // The port failed (see QtSerialChannel::set_lost_handler): the running
    // operation is aborted, voltages-off tried, the port closed and no longer
    // ready. The next operation opens it again.
    void port_lost();
    // Before an operation: opens a lost port again; answers port_ready.
    bool reopen_lost_port();
    // The link's port_fault after an open: the virtual board's reason when it
    // did not start, else empty.
    void note_port_fault();

    ProgramState& state_;
};

}  // namespace corvanel
