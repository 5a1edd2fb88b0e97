// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// COM port numbers on every platform. The program and its settings speak of
// COM1 to COM16; on Windows that is the port's own name, elsewhere each number
// maps to a device through a default table that the user can override per port
// with an entry in the "ports" folder beside the settings file:
//   ports/COMn -> /dev/ttyUSB3        a symbolic link to the device, or
//   ports/COMn containing "/dev/ttyX" a small text file naming the device, or
//   ports/COMn containing "virtual"   the in-process virtual board, emulating the
//                                     chip of the applied model
//                                     ("virtual:FILE.hex" also names a chip state file).

#include <QString>

#include <optional>

namespace corvanel {

inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 16;

struct PortTarget {
    enum class Kind { None, Device, Virtual };
    Kind kind = Kind::None;
    QString device;  // Kind::Device: the device path, or the port name on Windows
    QString
        state_file;  // Kind::Virtual: chip contents loaded at open, saved at close; may be empty
    QString origin;  // where the mapping came from: "default" or the override entry's path

    [[nodiscard]] bool is_virtual() const { return kind == Kind::Virtual; }
    [[nodiscard]] bool is_none() const { return kind == Kind::None; }
    // "virtual", "virtual (state FILE)", the device path, or empty.
    [[nodiscard]] QString describe() const;
};

// The built-in device of COM n: COM1-COM4 /dev/ttyS0-3, COM5-COM12 /dev/ttyUSB0-7,
// COM13-COM16 /dev/ttyACM0-3; "COMn" on Windows; empty outside 1 to 16.
[[nodiscard]] QString default_port_device(int com_number);

// The folder holding the per-port overrides: the settings folder + "/ports".
[[nodiscard]] QString default_ports_folder();

// Where COM n leads: the override in `ports_folder` when there is one, else the
// default table. Numbers outside 1 to 16 give Kind::None.
[[nodiscard]] PortTarget map_com_port(int com_number, const QString& ports_folder);

// Reads a port as the command line and the override files write it: "COMn"
// (any letter case), "virtual" or "virtual:FILE", or a device path.
// COM numbers are resolved through `ports_folder`.
[[nodiscard]] PortTarget parse_port_target(const QString& text, const QString& ports_folder);

// "COM5", "com5" -> 5; anything else (including COM0, COM17, " com5") -> nothing.
[[nodiscard]] std::optional<int> parse_com_name(const QString& text);

}  // namespace corvanel
