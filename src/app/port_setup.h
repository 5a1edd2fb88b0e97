#pragma once

// Finding the serial ports that can be opened at start-up and opening the
// configured one. The port itself is reached through SerialPortControl; without
// a port object every port counts as absent.

#include <QString>

namespace corvanel {

class SerialPortControl;

// State of the programmer's serial line as far as choosing and opening go.
struct PortSetup {
    int port_number = 2;
    QString baud_text = QStringLiteral("56000");
    bool port_ready = false;
    // "- Serial port COMn available" per openable port, joined by CR LF.
    QString openable_ports_text;
    // Highest port found openable at start-up; 2 when none was.
    int last_openable_port = 2;
};

// The program-wide port state.
[[nodiscard]] PortSetup& port_setup();

// 1 when COM port n could be opened (at 9600,n,8,1) and closed again.
[[nodiscard]] int probe_port(SerialPortControl* port, int n);

// Probes COM1 to COM16 and records the openable ones.
void scan_ports(SerialPortControl* port, PortSetup& setup);

// Opens the port named by "Serial Port Number" (default: the last openable
// port) at the baud rate of "Serial Port Baud Rate" and answers the status
// line text: "Serial port COMn ready..." or "Serial port COMn error!".
[[nodiscard]] QString open_configured_port(SerialPortControl* port, PortSetup& setup);

}  // namespace corvanel
