// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Choosing, probing and opening the programmer's port. At start-up the ports
// COM1 to COM16 are probed first (so the probe never meets the program's own
// open port), then the configured port is opened with the configured baud rate.

#include <QString>

#include <cstdint>

#include "platform/link/port_control.h"

namespace corvanel {

class SettingsStore;

// The line settings used to probe a port, whatever the working baud rate.
inline constexpr const char* kProbeLineSettings = "9600,n,8,1";
// The working line settings follow the baud rate.
inline constexpr const char* kLineSettingsSuffix = ",n,8,1";
// "Serial Port Number" defaults to the last openable port, or to this when none was.
inline constexpr std::int32_t kNoOpenablePortDefault = 2;

struct PortScan {
    // "- Serial port COMn available" for each openable port, joined by CR LF,
    // no line end after the last.
    QString openable_ports_text;
    // The highest-numbered openable port; 2 when none was.
    std::int32_t last_openable_port = kNoOpenablePortDefault;
};

struct OpenedPort {
    std::int32_t port_number = 0;
    QString baud_text;
    bool port_ready = false;
    QString status_text;  // "Serial port COMn ready..." or "Serial port COMn error!"
};

// 1 when COM n could be opened (at 9600,n,8,1) and closed again, otherwise 0.
[[nodiscard]] int probe_port(SerialPortControl& port, int com_number);

// Probes COM1 to COM16.
[[nodiscard]] PortScan scan_ports(SerialPortControl& port);

// A rate the user chose ("Change Baud Rate") is kept: no faster one is agreed
// with the board. The window stores the default rate on its first start, so a
// stored "56000" is no choice of the user's.
[[nodiscard]] bool baud_rate_chosen(const SettingsStore& store);

// Reads "Serial Port Number" (default: the last openable port) and
// "Serial Port Baud Rate" (default "56000"), storing the defaults when missing,
// and opens that port with "<baud>,n,8,1". A port number or line settings that
// the port refuses before the open count as a failed open.
[[nodiscard]] OpenedPort open_configured_port(SerialPortControl& port, const SettingsStore& store,
                                              std::int32_t last_openable_port);

}  // namespace corvanel
