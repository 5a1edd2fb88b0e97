// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The emulated chip's ICSP pins, bit by bit: pin levels with their times (in
// nanoseconds) come in from a board simulation, and the front end turns them into
// the chip's commands, data frames and read frames, moving the chip's clock on
// from the same times. It also drives PGD during a read frame, and notes every
// time the board breaks that the chip needs:
//   - PGC high or low for less than 100 ns;
//   - PGD changed less than 100 ns before or after the falling edge that takes it;
//   - a data or read frame begun less than 1 us after its command (TDLY);
//   - Vdd first, Vpp raised too late after Vdd on chips with an entry window
//     (16F818/819: 250 us, 16F7x7: 100 us); such a chip then runs its program and
//     does not enter programming mode;
//   - the board driving PGD against the chip during a read frame;
//   - PGM high while MCLR rises to Vpp;
//   - PGC or PGD moving while Vdd is off (the chip's pins would feed it through
//     their protection diodes);
//   - the entry hold (TENTH): less than 250 us from the last supply edge (Vdd or
//     MCLR rising, whichever is later; Vdd alone for the low-voltage key) to the
//     first clock;
//   - Vdd, at the level the board's regulator gives, above the chip's absolute
//     maximum (4.0 V for the LF parts, 6.5 V for the others).
// The Vpp level MCLR rises to goes to the chip (Pic14Chip::vpp_applied), which
// judges it against its window.
//
// Framing: a command is 6 bits LSb first; after a load (00, 02, 03) comes a 16-clock
// data frame (start 0, 14 bits, stop 0), after a read (04, 05) a 16-clock read frame
// whose bits the chip puts on PGD after each rising edge, after Load PC (1Dh) a
// 24-clock frame. With Vdd on and MCLR held low, 33 clocks carry the low-voltage key;
// after the right key the clocks carry commands as above, MCLR staying low.
// The 8-bit command set's parts (16F188xx and later) take 8-bit commands MSb first;
// after 80h, 00h and 02h (and 18h on the families that take the erase's regions in
// a payload) comes a 24-clock payload in, after FCh and FEh a 24-clock
// payload out, both MSb first; their key is 32 clocks MSb first, with no 33rd.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/pic14_chip.h"

namespace corvanel {

struct IcspFault {
    std::uint64_t at_ns = 0;
    std::string what;
};

class IcspPins {
public:
    // The chip must outlive the front end.
    explicit IcspPins(Pic14Chip& chip);

    // Pin levels as the board sets them, at time `ns` (never earlier than the last call).
    void set_vdd(bool on, std::uint64_t ns);
    void set_vpp(bool on, std::uint64_t ns);  // MCLR at Vpp (true) or held low
    void set_pgm(bool high, std::uint64_t ns);
    // The levels of the board's rails: Vdd as its regulator gives it (checked when
    // Vdd is switched on, or changes while on), Vpp as MCLR rises to it (0: not known).
    void set_vdd_millivolts(int millivolts, std::uint64_t ns);
    void set_vpp_volts(double volts) { vpp_volts_ = volts; }
    [[nodiscard]] int vdd_millivolts() const { return vdd_mv_; }
    void set_clock(bool high, std::uint64_t ns);
    // The board drives PGD with `level`, or lets go of it (`driven` false).
    void set_data(bool driven, bool level, std::uint64_t ns);
    // Time passes with no pin moving (programming cycles run on).
    void advance_to(std::uint64_t ns);

    // What the chip puts on PGD: nothing while it does not drive the line.
    [[nodiscard]] std::optional<bool> chip_data() const { return chip_drive_; }

    [[nodiscard]] const std::vector<IcspFault>& faults() const { return faults_; }
    void clear_faults() { faults_.clear(); }

    // The low-voltage key (32 bits as clocked) and the Load PC frame (24 bits) go to
    // the chip's lvp_key() and load_pc() where Pic14Chip has them (the enhanced
    // families); these hooks hear them too, for tests and for a chip without them.
    std::function<void(std::uint32_t key)> on_lvp_key;
    std::function<void(std::uint32_t frame24)> on_load_pc;
    [[nodiscard]] int lvp_keys_seen() const { return lvp_keys_seen_; }
    // Each edge of PGC while the chip has Vdd (rising: true), for tests that time the
    // board's clocking and waits.
    std::function<void(bool rising, std::uint64_t ns)> on_clock_edge;
    // Every entry hold seen: last supply edge to the first rising edge of PGC.
    [[nodiscard]] const std::vector<std::uint64_t>& entry_holds_ns() const { return entry_holds_; }

    // The minimum and maximum times the front end checks.
    static constexpr std::uint64_t kClockMinNs = 100;
    static constexpr std::uint64_t kSetupHoldNs = 100;
    static constexpr std::uint64_t kDelayAfterCommandNs = 1000;
    static constexpr std::uint32_t kLowVoltageKey = 0x4D434850;  // "MCHP"
    static constexpr std::uint64_t kEntryHoldNs = 250'000;
    // The absolute maximum Vdd of a chip (its name says LF or not).
    [[nodiscard]] static int absolute_max_vdd_millivolts(const ChipInfo& info);

private:
    enum class Phase { Command, DataIn, ReadOut, LoadPc, Key, PayloadIn, PayloadOut };

    void fault(std::uint64_t ns, std::string what);
    void supply_changed(std::uint64_t ns);
    void check_vdd_level(std::uint64_t ns);
    void falling_edge(std::uint64_t ns);
    void rising_edge(std::uint64_t ns);
    void begin_frame_check(std::uint64_t ns);
    // The 8-bit command set: the command's bits MSb first; the payload that follows.
    void command8_bit(bool bit, std::uint64_t ns);
    [[nodiscard]] bool eight_bit() const { return chip_.rules().eight_bit; }
    [[nodiscard]] bool board_data() const { return board_drives_ && board_level_; }
    [[nodiscard]] std::optional<std::uint64_t> entry_window_ns() const;

    Pic14Chip& chip_;
    std::uint64_t now_ns_ = 0;

    bool vdd_ = false;
    bool vpp_ = false;
    bool pgm_ = false;
    bool clock_ = false;
    bool board_drives_ = true;
    bool board_level_ = false;
    std::optional<bool> chip_drive_;
    std::uint64_t vdd_on_at_ = 0;
    std::uint64_t vpp_on_at_ = 0;
    bool chip_on_ = false;      // power_on given to the chip
    bool lvp_session_ = false;  // the low-voltage key was clocked: commands follow

    std::uint64_t last_clock_edge_ = 0;
    std::uint64_t last_fall_ = 0;
    std::uint64_t last_data_change_ = 0;
    bool data_taken_since_change_ = false;
    std::uint64_t command_done_at_ = 0;
    bool check_delay_ = false;

    Phase phase_ = Phase::Command;
    int bits_ = 0;
    std::uint32_t shift_ = 0;
    std::uint16_t read_word_ = 0;
    std::uint32_t read_payload_ = 0;
    std::uint8_t command8_ = 0;
    int lvp_keys_seen_ = 0;

    int vdd_mv_ = 0;  // 0: not known, not checked
    double vpp_volts_ = 0;
    std::uint64_t supply_edge_at_ = 0;
    bool awaiting_first_clock_ = false;
    std::vector<std::uint64_t> entry_holds_;

    std::vector<IcspFault> faults_;
};

}  // namespace corvanel
