// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What choosing, probing and opening a port needs from the serial port: the
// four operations of the port set-up, apart from the byte traffic.

#include <QString>

namespace corvanel {

class SerialPortControl {
public:
    virtual ~SerialPortControl() = default;

    // Names the COM port (1 to 16) that the next open uses; false when the
    // number leads nowhere or the port is open.
    [[nodiscard]] virtual bool select_port(int com_number) = 0;
    // "baud,parity,data bits,stop bits", e.g. "56000,n,8,1"; false when refused.
    [[nodiscard]] virtual bool set_line_settings(const QString& settings) = 0;
    // Opens the selected port with the line settings; false when absent, in use
    // or the settings do not suit it.
    [[nodiscard]] virtual bool open() = 0;
    // Closes the port; false when it was not open.
    virtual bool close() = 0;
};

}  // namespace corvanel
