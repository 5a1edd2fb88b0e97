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
//   111 flags load step n, n x (low high)   write block;  answer: 111 at its end
//   112 flags read step n        read block;   answers: n x (low, high), then 112
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
//   104 45h, 49h, 46h   Vpp level low, middle, high (only on a board given levels)
//   104 48h   Vpp calibration: the next 105 carries the rail as a meter reads it
//   104 4Ah t board-timed wait of t ms (feature bit 12): the board's clock, not
//             this class, keeps it (take_board_wait)
// Other codes of that range do nothing; this board's Vdd is a fixed supply, so the
// Vdd select (43h, 44h) is among them.
//
// Identify answers the version-2 record. A board given levels, a measured Vdd rail
// or a chip's Vdd checks them at voltages-on as the firmware does: a voltages-on
// outside them is not answered, and identify then names the reason.

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
    // Blocks (111, 112, feature bit 10): on unless the board is plain or told not.
    void set_blocks(bool blocks) { blocks_ = blocks; }
    [[nodiscard]] bool has_blocks() const { return blocks_ && !plain_; }
    // The line rates it declares (bit k: rate code k; feature bit 11 with any).
    // The board answers 104 47h code, and a listed code (or 0) asked while the
    // voltages are off is left for whoever drives the line (take_rate_request):
    // the rate and its check exchange are the line's business, not the chip's.
    void set_line_rates(std::uint8_t rates) { line_rates_ = rates; }
    [[nodiscard]] std::optional<std::uint8_t> take_rate_request() {
        auto request = rate_request_;
        rate_request_.reset();
        return request;
    }
    // Board-timed waits (104 4Ah t, feature bit 12): on unless the board is plain or
    // told not. The board answers 104 at once; whoever drives it holds its next
    // byte and that answer until t ms have passed on its clock (the board server's
    // real one, the in-process channel's simulated one) and takes the wait here.
    void set_board_waits(bool waits) { board_waits_ = waits; }
    [[nodiscard]] bool has_board_waits() const { return board_waits_ && !plain_; }
    [[nodiscard]] std::optional<std::uint8_t> take_board_wait() {
        auto wait = board_wait_;
        board_wait_.reset();
        return wait;
    }
    // Milliseconds of board waits taken so far (for the tests and the benchmarks).
    [[nodiscard]] std::uint64_t board_waited_ms() const { return board_waited_ms_; }
    // No byte came for a while: a block cut short is given up, voltages off (the
    // firmware's rule for a block whose next byte is kBlockByteGapMs late).
    void line_quiet();
    // Words clocked by blocks (for the tests).
    [[nodiscard]] std::uint64_t block_words() const { return block_words_; }
    // Vpp levels (45h, 49h, 46h): the board's Vpp is the selected level's nominal
    // (low after start), unless set_vpp fixed it (a board built wrong); voltages-on
    // is refused while it lies outside the level's range.
    void set_vpp_levels(bool levels) { vpp_levels_ = levels; }
    [[nodiscard]] std::optional<double> effective_vpp() const;
    // The Vdd rail as the board measures it (a failed regulator): given to the chip
    // instead of vdd(), reported by identify, and voltages-on refused while it lies
    // outside 4.6-5.4 V (vdd() of 4.0 V or more) or 3.0-3.6 V.
    void set_vdd_rail(std::optional<double> volts) { vdd_rail_ = volts; }
    // The chip's Vdd from elsewhere (a target that powers itself): measured after
    // voltages-on, which is undone and not answered when it lies outside that range.
    void set_target_vdd(std::optional<double> volts) { target_vdd_ = volts; }
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
    enum class State {
        Command,
        ChipCode,
        DataLow,
        DataHigh,
        ChipCode8,
        PayloadLow,
        PayloadHigh,
        RateCode,
        WaitTime,
        BlockFlags,
        BlockCode,
        BlockStep,
        BlockCount,
        BlockLow,
        BlockHigh
    };
    std::vector<std::uint8_t> block_byte(std::uint8_t byte);
    // Clocks one word of a block: load (or read), the frame, the step.
    std::uint16_t block_word(std::uint16_t word);
    [[nodiscard]] bool block_clocks() const;
    // TENTH: PGC and PGD held low after Vdd rises, before the first key clock.
    static constexpr std::uint64_t kEntryHoldUs = 250;

    // False when a voltages-on it makes is refused (not answered).
    bool extension(std::uint8_t code);
    void calibrate(std::uint16_t meter_10mv);
    // The checks of a voltages-on (with_vpp: MCLR rises): false, the reason kept for
    // identify and the chip left unpowered, when one fails.
    bool rails_allow(bool with_vpp);
    bool target_allows();
    [[nodiscard]] bool measures_vdd() const { return vdd_rail_ || target_vdd_; }
    [[nodiscard]] double rail_vdd() const { return vdd_rail_.value_or(vdd_); }
    [[nodiscard]] bool vdd_fits(double volts) const;
    [[nodiscard]] double read(double volts) const { return volts * calibration_; }

    Pic14Chip chip_;
    State state_ = State::Command;
    std::uint8_t data_low_ = 0;
    // The next data word goes out as the address frame of a Load PC Address (104 41h).
    bool data_is_pc_address_ = false;
    // The next data word is a meter's reading of Vpp (104 48h).
    bool data_is_calibration_ = false;
    bool vpp_levels_ = false;
    int level_ = 0;  // 0 low, 1 middle, 2 high
    std::optional<double> vdd_rail_;
    std::optional<double> target_vdd_;
    double calibration_ = 1.0;
    bool calibrated_ = false;
    std::uint8_t refusal_ = board_identity::kRefusedNone;
    std::uint16_t target_measured_mv_ = 0;
    std::optional<double> vpp_;
    double vdd_ = kDefaultVddVolts;
    // The firmware's buffer, so that hosts treat every board alike.
    std::uint16_t receive_buffer_ = 255;
    bool plain_ = false;
    bool blocks_ = true;
    std::uint8_t line_rates_ = 0;
    std::optional<std::uint8_t> rate_request_;
    bool board_waits_ = true;
    std::optional<std::uint8_t> board_wait_;
    std::uint64_t board_waited_ms_ = 0;
    // The block being read: its command, flags, codes and the words still due.
    std::uint8_t block_command_ = 0;
    std::uint8_t block_flags_ = 0;
    std::uint8_t block_code_ = 0;
    std::uint8_t block_step_ = 0;
    std::uint8_t block_left_ = 0;
    std::uint64_t block_words_ = 0;
    std::uint64_t ignored_bytes_ = 0;
    std::uint64_t commands_done_ = 0;
};

}  // namespace corvanel
