// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programmer board: it takes the host's command bytes off the serial line,
// drives the chip's ICSP pins and answers every command with exactly one byte
// (three for a read), sent once the command's last data byte has arrived.
//
//   100 nop                      answer: 100
//   101 voltages on, Vdd first   answer: 101
//   102 voltages on, Vpp first   answer: 102
//   103 voltages off             answer: 103
//   104 code                     chip command;  answer: 104
//   105 low high                 data frame;    answer: 105
//   106                          read frame;    answers: low, high, 106
//   107 identify                 answers: the identity record (11 bytes), 107
//   108 code                     8-bit chip command, MSb first;  answer: 108
//   109 low high                 24-bit payload, the word shifted left one place,
//                                MSb first;  answer: 109
//   110                          24-bit read payload;  answers: low, high, 110
//
// While the voltages are off, 104, 105 and 106 are answered but nothing moves on
// the chip's pins (a clock into an unpowered chip drives current through its clamp
// diodes): a read then answers 3FFFh, the pulled-up data line.
//
// Any other byte where a command is expected is not a command: the board ignores
// it without answering (and counts it).
//
// Chip command codes 40h-7Fh after 104 never reach the chip: they are the board's
// own extensions (no PIC command set uses them), answered with 104 like any chip
// command:
//   104 40h   low-voltage entry: Vdd on with MCLR held low (Vpp never applied), the
//             key 4D434850h clocked LSb first on PGD, then a 33rd clock
//   104 41h   Load PC Address: chip command 1Dh; the data word of the next 105 goes
//             out as a 24-clock frame, the address shifted left one place
//   104 42h   low-voltage entry of the 8-bit command set: as 40h, the key MSb
//             first and no 33rd clock
// Other codes of that range do nothing; this board's Vdd is a fixed supply, so the
// Vdd select (43h, 44h) is among them.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "board/pic14_chip.h"
#include "core/link/board_protocol.h"

namespace corvanel {

class VirtualBoard {
public:
    static constexpr double kDefaultVddVolts = 5.0;

    explicit VirtualBoard(Pic14Chip chip);
    // A board with the named chip in its socket (letter case ignored); nothing for an unknown name.
    [[nodiscard]] static std::optional<VirtualBoard> with_chip(std::string_view name);

    // One byte from the host; answers the bytes it produced (none while a command
    // still waits for its data bytes).
    std::vector<std::uint8_t> feed(std::uint8_t byte);

    // Time passes for the chip in the socket (its programming and erase cycles).
    void advance_time(std::uint64_t microseconds) { chip_.advance_time(microseconds); }

    [[nodiscard]] Pic14Chip& chip() { return chip_; }
    [[nodiscard]] const Pic14Chip& chip() const { return chip_; }

    [[nodiscard]] bool voltages_on() const { return chip_.powered(); }
    // The Vpp the board drives on MCLR with the voltages on (101, 102); nothing when
    // not known, and then the chip's window is not checked. A known Vpp is reported
    // as measured by identify.
    void set_vpp(std::optional<double> volts) { vpp_ = volts; }
    [[nodiscard]] std::optional<double> vpp() const { return vpp_; }
    // The board's fixed Vdd supply (5.0 V unless set), given to the chip at every
    // voltages-on and reported by identify.
    void set_vdd(double volts) { vdd_ = volts; }
    [[nodiscard]] double vdd() const { return vdd_; }
    // What identify declares as the receive buffer: the bytes a host may have in flight.
    void set_receive_buffer(std::uint16_t bytes) { receive_buffer_ = bytes; }
    // A board of the original protocol: 107 is ignored like any other unknown byte.
    void set_plain(bool plain) { plain_ = plain; }
    // The answer to 107: the identity record, then 107.
    [[nodiscard]] std::vector<std::uint8_t> identity() const;

    // Another chip in the socket (the empty socket to take one out). The board's
    // voltages stay as they are: a chip put in while they are on is powered but out
    // of programming mode until the next voltages-on.
    void replace_chip(Pic14Chip chip);
    // True between a command byte and its last data byte.
    [[nodiscard]] bool mid_command() const { return state_ != State::Command; }
    [[nodiscard]] std::uint64_t ignored_bytes() const { return ignored_bytes_; }
    [[nodiscard]] std::uint64_t commands_done() const { return commands_done_; }

private:
    enum class State { Command, ChipCode, DataLow, DataHigh, ChipCode8, PayloadLow, PayloadHigh };
    // TENTH: PGC and PGD held low after Vdd rises, before the first key clock.
    static constexpr std::uint64_t kEntryHoldUs = 250;

    void extension(std::uint8_t code);

    Pic14Chip chip_;
    State state_ = State::Command;
    std::uint8_t data_low_ = 0;
    // The next data word goes out as the address frame of a Load PC Address (104 41h).
    bool data_is_pc_address_ = false;
    std::optional<double> vpp_;
    double vdd_ = kDefaultVddVolts;
    // The firmware's buffer, so that hosts treat every board alike.
    std::uint16_t receive_buffer_ = 255;
    bool plain_ = false;
    std::uint64_t ignored_bytes_ = 0;
    std::uint64_t commands_done_ = 0;
};

}  // namespace corvanel
