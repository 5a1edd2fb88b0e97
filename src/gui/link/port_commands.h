// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The user commands around the serial link: "Change Serial Port Number",
// "Change Baud Rate" and "Change Default Programming Time" of the Options menu,
// "Serial Port Pinout" of the Help menu, and the "Test Vpp" label, which switches
// the programming voltages on and off by hand so that Vpp can be adjusted on
// the board. Values are asked for with myinputbox and refusals shown with
// mymsgbox, both with the window title as caption.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/devices/programming_entry.h"

namespace corvanel {

class SerialLink;
struct ProgramState;

// A number as the user typed it, read like leading_number reads it (leading
// blanks, sign, digits, fraction; reading stops at the first other character),
// but kept exactly, so that range tests see 16.4 as more than 16 before any rounding.
struct TypedNumber {
    bool negative = false;
    QString whole;     // digits without leading zeros ("" for zero)
    QString fraction;  // digits without trailing zeros

    [[nodiscard]] static TypedNumber read(const QString& text);
    // lower <= value <= upper, exactly (both bounds whole numbers, lower >= 0).
    [[nodiscard]] bool within(std::int32_t lower, std::int32_t upper) const;
    // The number in decimal without blanks or redundant zeros: "9600", "1200.5".
    [[nodiscard]] QString decimal_text() const;
};

// One COM port as the port dialog shows it: where it leads and whether it can
// be opened now (with the reason when not), as `corvanel ports` says it.
struct PortChoice {
    int number = 0;
    QString target;           // "/dev/ttyUSB0", "virtual", ...
    bool registered = false;  // an entry in the ports folder (the board server's, or the user's)
    bool openable = false;
    QString reason;  // why it cannot be opened
};

// Probes every COM port now (the working port is closed while it runs) and
// answers the ports worth showing: those that can be opened, those with an
// entry in the ports folder, and those whose device exists but cannot be opened.
[[nodiscard]] std::vector<PortChoice> rescan_port_choices(SerialLink& link);

// The port list of the dialog, one port a line, with "V - Virtual board" last.
[[nodiscard]] QString port_choices_text(const std::vector<PortChoice>& choices);

// Makes a COM port lead to the in-process virtual board (an entry "virtual" in
// the ports folder), stores it as the serial port and opens it. The port is
// the highest one that has no entry and no device. Answers its number, 0 when
// none could be set up.
int use_virtual_board(SerialLink& link);

// "Change Serial Port Number" (menuport): the ports found now, the board
// server's registered ports and "Virtual board" (answer V).
void change_serial_port_number(SerialLink& link);

// At start-up: when no serial port at all could be opened on a first start,
// offers the virtual board instead.
void offer_virtual_board_when_no_port(SerialLink& link, bool first_start);
// "Change Baud Rate" (menubaud).
void change_baud_rate(SerialLink& link);
// "Change Default Programming Time" (menuprogtime): holds until the next model is applied.
void change_programming_time(ProgramState& state);

// "Change Board Vpp": asks for the programming voltage the board gives (volts, 0 for
// unknown) and keeps it in the "Board Vpp" setting; a wrong entry changes nothing.
void change_board_vpp(ProgramState& state);
// "Calibrate Board Vpp...": asks for the Vpp a meter shows on the board and stores
// it as the board's calibration (extension 48h); the result in a message and the
// status line, with the board's line ("... (calibrated)").
void calibrate_board_vpp_command(ProgramState& state);
// Asks for the board's Vpp with `question` (a plain board says nothing of it) and
// keeps a valid answer as "Board Vpp"; nothing when none was given.
[[nodiscard]] std::optional<double> ask_board_vpp_setting(const QString& question);
// The stored "Board Vpp" (nothing when unknown).
[[nodiscard]] std::optional<double> stored_board_vpp();
// The stored "Programming entry"; high voltage when absent or unreadable.
[[nodiscard]] ProgrammingEntry stored_programming_entry();
// "Change Board Vdd": asks for the supply voltage the board gives (volts, 0 for
// unknown), showing the applied model's Vdd window, and keeps it in the "Board
// Vdd" setting; a wrong entry changes nothing.
void change_board_vdd(ProgramState& state);
// The stored "Board Vdd" (nothing when unknown).
[[nodiscard]] std::optional<double> stored_board_vdd();
// "Serial Port Pinout" (menuportinfo).
[[nodiscard]] QString serial_port_pinout_text();
void show_serial_port_pinout();
// A click on "Test Vpp" (label_vpp).
void toggle_vpp_test(ProgramState& state);

}  // namespace corvanel
