// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The byte protocol spoken to the programmer board. The board understands seven
// one-byte commands (100 to 106); two of them carry data bytes. Every command is
// answered (one byte, three for a read), and every answer byte drives the
// algorithm interpreter one step further. Lock-step, the host sends nothing
// after a command until the board has answered; with send-ahead (see
// ScriptRunner::window) it may send on while a bounded number of answers are due.
//
// Every byte is written on its own; after the last byte of each command the
// host's pending events get one pass, so the window stays alive during long
// operations without a pass between the bytes of one command (which would
// only hold the command back on the line).

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/devices/voltage_sequence.h"
#include "core/link/board_protocol.h"
#include "core/link/byte_channel.h"
#include "core/link/wire_encoder.h"

namespace corvanel {

class ProgrammerLink {
public:
    // The serial line; without one (or while it is closed) written bytes are dropped.
    ByteChannel* channel = nullptr;
    // Lets the host's pending window events run; called after every command written.
    std::function<void()> process_events;
    // Runs one interpreter step; called once per received byte by MSComm1_OnComm.
    std::function<void()> on_received_byte;
    // A byte came that is not the answer the commands written ask for: the board
    // is out of step. `expected` is the byte that was due, -1 when none was. The
    // batch's later bytes are thrown away and no more are compared until the
    // expected answers are forgotten (discard_waiting_bytes).
    std::function<void(std::uint8_t received, std::int32_t expected)> on_answer_fault;
    // Opens the port again when it was lost (the adapter pulled and plugged in
    // again, the board server restarted); answers port_ready. Asked by every
    // operation that finds the port not ready.
    std::function<bool()> reopen_lost_port;

    // Serial line set-up, kept here for the port commands and the operation starters.
    std::int32_t port_number = 1;
    std::string baud_text = "56000";
    // The user chose the rate ("Change Baud Rate", the tool's --baud): the line
    // stays at it, no faster rate is agreed with the board (104 47h).
    bool rate_pinned = false;
    // The rate agreed with the board after identify; 0 while the line runs at
    // baud_text (see core/engine/line_rate.h).
    std::int32_t agreed_rate = 0;
    // Rate codes whose check failed since the port was opened (bit k: code k):
    // not tried again while it stays open.
    std::uint8_t failed_rates = 0;
    // A silent board was asked at the faster rates once since the port opened.
    bool rates_searched = false;
    bool port_ready = false;
    // Why the port did not open, when the user can mend it (the virtual board's
    // chip state file): said with "Serial port N error!". Empty otherwise.
    std::string port_fault;
    // The "Test Vpp" toggle has the voltages on: the interpreter drops every byte.
    bool vpp_test_on = false;

    // The last byte handed to the interpreter, 0 to 255.
    std::int32_t received_byte = 0;

    // Frames the chip's commands for its command set (104-106 or 108-110); the
    // operation sets it from the model it runs for.
    WireEncoder encoder;

    // Blocks (111, 112): on a board that declares them (identify's feature bit 10)
    // runs of loads (or reads) and address steps go out as blocks the board clocks
    // itself, and no more bytes than `receive_buffer` are ever in flight: commands
    // beyond it wait in the link until answers make room. The interpreter sees the
    // answers of the single commands it sent, in their order. Off: every command
    // goes out as it is sent, as to a board of the original protocol.
    void set_blocks(bool on, std::size_t receive_buffer);
    [[nodiscard]] bool blocks() const { return blocks_; }
    // The host's pause, for the quiet a block given up needs (see
    // voltages_off_after_fault).
    std::function<void(int milliseconds)> pause;
    // A step has ended: with nothing in flight no answer will come to move the
    // interpreter on, so the run being gathered goes out now (as a block, or as the
    // single commands when it is one word or less).
    void flush_when_idle();
    // Blocks and single commands written so far (for the tests and the benchmarks).
    [[nodiscard]] std::uint64_t blocks_written() const { return blocks_written_; }

    // Board-timed waits (104 4Ah, identify's feature bit 12): the script's pauses go
    // to the board, which keeps the chip's time while the host sends on. Off: the
    // host pauses itself, as with a board of the original protocol.
    bool board_waits = false;
    // 104 4Ah and the milliseconds (0-255), answered 104 once the board has waited.
    void send_board_wait(std::uint8_t milliseconds);
    // Milliseconds of board waits sent and not yet answered (queued in the link
    // or on the line): the board runs them before the answers that follow them.
    [[nodiscard]] int board_wait_due_ms() const { return board_wait_due_ms_; }

    // The board's supply choice sent before every voltages-on (104 and extension
    // 43h or 44h); nothing for a board without Vdd select. The board's answer to it
    // is checked and kept from the interpreter, which sent one command only.
    std::optional<std::uint8_t> vdd_select;
    // The board's Vpp level (104 and extension 45h, 49h or 46h), sent with the Vdd
    // select before every high-voltage voltages-on; nothing for a board without levels.
    std::optional<std::uint8_t> vpp_level;

    // The one check every voltages-on passes (101, 102, 104 40h/42h): answers why
    // the voltages must stay off, or an empty text. `low_voltage`: the entry applies
    // Vdd only. Whoever owns the link installs it; a refused voltages-on sends
    // nothing at all, and `refusal` keeps the reason.
    std::function<std::string(bool low_voltage)> voltages_check;
    std::string refusal;

    // "56000,n,8,1": the line settings of the working connection.
    [[nodiscard]] std::string line_settings() const { return baud_text + ",n,8,1"; }

    void send_nop();
    // 101 for Vdd before Vpp, 102 for Vpp before Vdd; with no sequence named
    // nothing is sent at all (and no answer will come). False, with nothing sent,
    // when voltages_check refuses.
    [[nodiscard]] bool voltages_on(VoltageSequence sequence);
    // 104 and the board extension 40h (42h for the 8-bit set): Vdd on with MCLR
    // low, then the low-voltage key; Vpp is never applied. Answered with one byte
    // like any 104 command. False, with nothing sent, when voltages_check refuses.
    [[nodiscard]] bool voltages_on_low_voltage();
    // Answers whether voltages_check lets the voltages on (the reason in `refusal`).
    [[nodiscard]] bool voltages_allowed(bool low_voltage);
    void voltages_off();
    // Voltages off from wherever the board is in the conversation, for the ways out
    // of a failed operation: a board that lost bytes it was sent may be inside a
    // command and read a lone 103 as its data. kLongestCommandBytes times 103; the
    // answers still due and those these bytes draw (one to three) are forgotten,
    // left for the next operation's start to throw away.
    void voltages_off_after_fault();
    // 104 and the chip command code (the chip hears its low 6 bits); 108 and the
    // code for the 8-bit set.
    void send_chip_command(std::int32_t code);
    // 105 (109), low byte, high byte. Values outside 0..FFFFh (an erased
    // configuration word the device file left undefined, -1) are cut to their low
    // 16 bits, so -1 goes out as FFFFh and the chip keeps the erased pattern 3FFFh.
    void send_data_word(std::int32_t value);
    // 106 (110); the board answers low byte, high byte and one more byte.
    void request_data_word();

    // 107: the board answers its 11-byte record and 107, or, a board of the
    // original protocol, nothing. The caller reads the answer itself
    // (take_waiting_bytes); no answer of it is due to the interpreter.
    void send_identify();
    // 104 and a board extension the board answers with 104 only (Vdd select, Vpp
    // level); like identify, the caller reads the answer itself.
    void send_select(std::uint8_t code);
    // 105, low byte, high byte as they are, whatever the chip's command set: a
    // value for the board itself (the meter reading after extension 48h).
    void send_board_word(std::uint16_t value);
    // 104, 47h and a rate code; like identify, the caller reads the answer itself.
    void send_line_rate(std::uint8_t code);
    // 100 on its own, for the check exchange of a new line rate; the caller
    // reads the answer itself.
    void send_check();
    // Every byte waiting, oldest first; forgets the answers still due.
    std::vector<std::uint8_t> take_waiting_bytes();

    // Tells the channel that the host has paused that long (see ByteChannel).
    void note_pause(int milliseconds);

    // 0: received bytes stay waiting; 1: the host raises a receive notification.
    void set_receive_notification(int threshold);

    // Throws away every byte waiting in the receive buffer (answers nobody waits
    // for, such as those to the "Test Vpp" commands) and forgets the answers still
    // due. Answers how many bytes there were.
    std::size_t discard_waiting_bytes();

    // Answer bytes due to the commands written since the last discard.
    [[nodiscard]] std::size_t answers_due() const { return expected_.size(); }

    // The receive handler: reads every waiting byte and, for each in arrival
    // order, compares it with the answer due (every answer is the command byte
    // itself; a read's is the low and the high byte, then 106 where the encoder
    // says the board sends it, else any byte), stores it in
    // received_byte and runs one interpreter step. A call made
    // while the threshold is 0, or while an earlier call is still handing over
    // bytes (from the event processing inside a step), does nothing: the bytes
    // wait for the next notification.
    void MSComm1_OnComm();

    // Bytes of the batch being handed over that come after the current one.
    [[nodiscard]] std::size_t undelivered_bytes() const { return undelivered_; }

    // Answer bytes the commands written so far ask of the board: one for every
    // command, three for a read (kReadWord). Sending ahead counts with it.
    [[nodiscard]] std::uint64_t answers_requested() const { return answers_requested_; }

private:
    // One answer byte due: `byte` unless any value may come (a read's data), and
    // whether it goes to the interpreter.
    struct ExpectedAnswer {
        std::uint8_t byte = 0;
        bool any = false;
        bool delivered = true;
        // Blocks: the answers of the single commands the interpreter sent, handed
        // to it before and after this byte (which is then delivered or not).
        std::vector<std::uint8_t> before;
        std::vector<std::uint8_t> after;
        // Bytes that stop being in flight when this answer has come.
        std::size_t release = 0;
        // A board wait's milliseconds, run before this answer comes.
        std::uint8_t wait_ms = 0;
    };
    // A board command ready for the line with the answers it asks for.
    struct Unit {
        std::vector<std::uint8_t> bytes;
        std::vector<ExpectedAnswer> answers;
    };
    // The run of loads (reads) being gathered into a block: its codes, the words
    // complete so far, and the commands of the word not yet complete.
    struct Run {
        BlockWord codes;
        bool active = false;
        int phase = 0;  // 1: the load or read is in, 2: its word too (the step is due)
        std::vector<std::uint16_t> words;        // complete words (a read's are placeholders)
        std::uint16_t word = 0;                  // the word of the one not yet complete
        std::vector<WireCommand> word_commands;  // every command of the run, in order
        std::size_t complete_commands = 0;       // of word_commands, in complete words
    };
    void deliver(std::uint8_t byte);
    // The commands the running model's set frames for a chip command, a data word
    // and a read; the block gathering asks the set's row, never the bytes.
    [[nodiscard]] bool is_chip_command(const WireCommand& command) const;
    [[nodiscard]] bool is_data_word(const WireCommand& command) const;
    [[nodiscard]] bool is_read(const WireCommand& command) const;
    // Forgets every answer due, with the board waits they stood for.
    void forget_expected();
    void queue_command(const WireCommand& command);
    void gather(const WireCommand& command);
    void close_run();
    void queue_unit(Unit unit);
    void pump();
    [[nodiscard]] static Unit single_unit(const WireCommand& command);
    void forget_queued();
    void write(std::uint8_t byte);
    void write_bytes(const WireCommand& command);
    void send(const WireCommand& command);
    // After the last byte of a command that the board answers with its own byte
    // (any byte where `checked` is false).
    void end_command(std::uint8_t echo, bool checked = true);
    void write_supply_select(bool with_vpp_level);
    void write_select(std::uint8_t code);

    std::deque<ExpectedAnswer> expected_;
    bool blocks_ = false;
    std::size_t receive_buffer_ = 0;
    Run run_;
    std::deque<Unit> queue_;
    std::size_t in_flight_ = 0;
    // A block was written and may still be clocking on the board.
    bool block_out_ = false;
    std::uint64_t blocks_written_ = 0;
    // Commands were written since the waiting bytes were last thrown away: a
    // byte with no answer due is then one too many.
    bool tracking_ = false;
    bool delivering_ = false;
    std::size_t undelivered_ = 0;
    std::uint64_t answers_requested_ = 0;
    int board_wait_due_ms_ = 0;
};

}  // namespace corvanel
