// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real board firmware on a simulated ATmega328P at 16 MHz (simavr), with an
// emulated PIC on its ICSP pins. The firmware's UART is the serial line: bytes the
// host sends reach it at the line's rate, its answers come back as it sends them.
// Its port D pins go through the bit-level ICSP front end (icsp_pins.h) to the
// chip, with the time taken from the simulator's cycle counter, so the chip sees
// the real waits and the front end notes every time the firmware breaks.
//
// Pins as the firmware wires them (docs/board.md): PD2 PGC, PD3 PGD, PD4 low =
// MCLR at Vpp, PD5 low = Vdd on, PD6 PGM, PD7 low = a 5 V Vdd rail (else 3.3 V),
// PB0 high = the middle Vpp level, PB0 and PB1 high = the high level (else low).
// A switch pin that is not an output is pulled to "off" by its base resistor (PD7:
// to 3.3 V; PB0, PB1: to the low level); PGD reads the AVR's own pull-up while
// neither side drives it. The ADC, against AVcc (5 V unless set), sees the Vpp rail
// on A0 through 33k over 10k, the Vdd rail on A1 and the chip's Vdd (after the
// switch) on A2 through 10k over 10k each, and the 1.1 V bandgap on its channel
// 1110b.
//
// The line follows the firmware's UART: it carries a byte in the time the rate set by
// UBRR0 and U2X0 gives (10 bits a byte), so a firmware that switches its rate (104
// 47h) is heard at the new one. A bridge limit makes it a USB serial bridge that
// cannot carry more: above it, every byte in either direction is garbled or lost.
//
// Time runs only while the owner runs the simulation (run_for, run_until_answer):
// in a test as fast as the computer allows, in the board server at the wall clock.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/icsp_pins.h"
#include "board/pic14_chip.h"
#include "core/link/byte_channel.h"

namespace corvanel {

class SimulatedBoard {
public:
    static constexpr std::uint32_t kCpuHz = 16'000'000;

    ~SimulatedBoard();
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    // Loads the firmware ELF and puts `chip` in the socket; the line runs at `baud`
    // (10 bits a byte) until the firmware sets its UART, then at the UART's rate.
    // Nothing, with the reason in `error`, when the file does not load.
    [[nodiscard]] static std::unique_ptr<SimulatedBoard> load(const std::string& elf_path,
                                                              Pic14Chip chip, long baud,
                                                              std::string& error);

    // A byte from the host: it reaches the firmware once the line has carried the
    // bytes before it and itself.
    void send(std::uint8_t byte) { to_board_.push_back(byte); }
    [[nodiscard]] std::size_t bytes_on_the_way() const { return to_board_.size(); }
    // Answer bytes the firmware has sent and nobody has taken yet.
    [[nodiscard]] std::vector<std::uint8_t> take_answers();
    [[nodiscard]] std::size_t answers_waiting() const { return answers_.size(); }

    // Runs the simulation on for `microseconds`; false when the AVR stopped or crashed.
    bool run_for(std::uint64_t microseconds);
    // Runs until an answer byte is waiting, at most `microseconds`; true if one is.
    bool run_until_answer(std::uint64_t microseconds);
    // Runs until the firmware has sent as many bytes as its start-up banner has, at
    // most `microseconds`, and takes what it sent: the banner, from a firmware that
    // has one, once after reset. For a test that talks to the board in-process.
    [[nodiscard]] std::vector<std::uint8_t> take_start_bytes(std::uint64_t microseconds = 20'000);
    // An external reset (an Uno's or a Nano's DTR line when the host opens its port):
    // the AVR starts its firmware again, every pin an input (so both switches off);
    // bytes still on the line and answers not taken are lost. The clock runs on.
    void reset();

    // The rate the firmware's UART runs at now (16 MHz over its divisor), in baud;
    // 0 while its receiver is off.
    [[nodiscard]] long uart_baud() const;
    // A bridge that carries no more than `baud` (0: any rate). While the firmware's
    // rate is above it, a byte from the host reaches the UART as 00h (a slower
    // frame read too fast, with its stop bit missed) and the board's answers are lost.
    void set_bridge_limit(long baud) { bridge_limit_ = baud; }
    // Bytes the firmware would have lost on a real ATmega328P: one that starts while
    // its UART already holds three unread (two in the buffer, one in the shift
    // register). The simulator's UART queues them instead.
    [[nodiscard]] std::uint64_t receive_overruns() const { return receive_overruns_; }

    [[nodiscard]] std::uint64_t now_ns() const;
    [[nodiscard]] Pic14Chip& chip() { return chip_; }
    [[nodiscard]] IcspPins& pins() { return pins_; }
    [[nodiscard]] bool voltages_on() const { return vdd_on_ || vpp_on_; }
    [[nodiscard]] bool crashed() const { return crashed_; }

    // The board's Vpp rail: what the firmware's ADC measures and what MCLR rises
    // to. It follows the level pins (the nominals below: fixed resistors, low after
    // reset) until a rail is forced here (a board built wrong, a boost gone astray).
    static constexpr double kLevelVolts[3] = {8.7, 11.5, 13.0};  // low, middle, high
    void set_vpp_supply(double volts);
    [[nodiscard]] double vpp_supply() const { return vpp_volts_; }
    // 0 low, 1 middle, 2 high: what the level pins select now.
    [[nodiscard]] int vpp_level() const { return level_; }
    // The Vdd the firmware has selected on the regulator: 3300 or 5000 millivolts.
    [[nodiscard]] int vdd_selected_millivolts() const { return vdd_5v_ ? 5000 : 3300; }
    // A Vdd rail that does not follow the selection (a 5 V switch stuck on, a rail
    // that has not fallen yet): the ADC and the chip see `millivolts` until it is
    // let go (nothing).
    void hold_vdd_rail(std::optional<int> millivolts);
    [[nodiscard]] int vdd_rail_millivolts() const {
        return vdd_rail_held_mv_.value_or(vdd_selected_millivolts());
    }
    // A chip's Vdd that is not the switched rail (a target that powers itself, a
    // switch that does not pass): what the chip's Vdd sense reads while the voltages
    // are on, until let go (nothing).
    void hold_target_vdd(std::optional<int> millivolts);
    // What the chip's Vdd sense sees: the rail through the switch, else 0 V.
    [[nodiscard]] int target_vdd_millivolts() const;

    // The AVR's band-gap (1.0-1.2 V from part to part; 1100 unless set), which the
    // firmware takes for 1.1 V: every rail then reads 1100 / this of its value.
    void set_bandgap_millivolts(int millivolts);

    // The board's 5 V, the ADC's reference: 5000 on an Uno, 4400-4700 on a Nano
    // behind its USB diode.
    void set_avcc_millivolts(int millivolts);
    [[nodiscard]] int avcc_millivolts() const { return avcc_mv_; }

    // The ATmega328P's own EEPROM (1 KB), where the firmware keeps the board's Vpp
    // calibration. It survives a reset, as on the real part; set it before the
    // first run to give the board what a previous run left (false: not 1 KB).
    static constexpr std::size_t kEepromBytes = 1024;
    [[nodiscard]] std::vector<std::uint8_t> eeprom() const;
    bool set_eeprom(const std::vector<std::uint8_t>& bytes);

    // The ADC's dividers: the voltage on the pin is the rail's times these.
    static constexpr double kVppDivider = 10.0 / (33.0 + 10.0);
    static constexpr double kVddDivider = 10.0 / (10.0 + 10.0);

private:
    struct Simulator;

    SimulatedBoard(Pic14Chip chip, long baud);
    void port_written(std::uint8_t port, std::uint8_t ddr);
    void port_b_written(std::uint8_t port, std::uint8_t ddr);
    void feed_line();
    void feed_adc();
    void quiet_uart();
    friend struct SimulatorHooks;  // the simulator's callbacks

    std::unique_ptr<Simulator> sim_;
    Pic14Chip chip_;
    IcspPins pins_;
    long baud_;
    std::uint64_t cycles_per_byte_;
    std::deque<std::uint8_t> to_board_;
    std::deque<std::uint8_t> answers_;
    std::uint8_t port_ = 0;
    std::uint8_t ddr_ = 0;
    bool vdd_on_ = false;
    bool vpp_on_ = false;
    bool vdd_5v_ = false;
    std::optional<int> vdd_rail_held_mv_;
    std::optional<int> target_vdd_held_mv_;
    std::uint8_t port_b_ = 0;
    std::uint8_t ddr_b_ = 0;
    int level_ = 0;
    bool vpp_forced_ = false;
    double vpp_volts_ = kLevelVolts[0];
    int bandgap_mv_ = 1100;
    int avcc_mv_ = 5000;
    bool crashed_ = false;
    long bridge_limit_ = 0;
    std::uint64_t receive_overruns_ = 0;
};

// The simulated board behind a ByteChannel, for the engine in the same process. The
// simulation runs while the host looks for answers (up to `patience_us` of simulated
// time each look) and for the host's pauses.
class SimulatedBoardChannel : public ByteChannel {
public:
    explicit SimulatedBoardChannel(SimulatedBoard& board, std::uint64_t patience_us = 20'000)
        : board_(board), patience_us_(patience_us) {}

    void write_byte(std::uint8_t byte) override;
    std::vector<std::uint8_t> read_all() override;
    void set_receive_threshold(int threshold) override { threshold_ = threshold; }
    [[nodiscard]] int receive_threshold() const override { return threshold_; }
    [[nodiscard]] bool is_open() const override { return true; }
    void note_pause(int milliseconds) override;

    // Runs the simulation until an answer is waiting (or the patience is used up).
    [[nodiscard]] bool has_waiting();
    [[nodiscard]] std::uint64_t bytes_written() const { return written_; }

private:
    SimulatedBoard& board_;
    std::uint64_t patience_us_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t written_ = 0;
    int threshold_ = 0;
};

}  // namespace corvanel
