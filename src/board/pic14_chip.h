// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An emulated 14-bit PIC as the programmer board sees it through its ICSP pins:
// a 6-bit command, an optional 16-clock data frame in (load) or out (read), and
// the two supply pins Vdd and Vpp whose order decides whether the chip enters
// programming mode. The chip follows its family's rules (chip_catalogue.h): the
// commands it knows, its write latches, what its erases reach, its factory
// calibration and its code protection.
//
// The chip keeps its own clock in microseconds; the board moves it on. A
// programming or erase cycle takes its family's time: when the next command, data
// frame, read or power-off comes before that time is up, the cycle's work is lost
// (the cells keep their previous content, an erase leaves memory unerased). An
// externally timed cycle is ended by its end command the same way.
//
// Pic14Chip is the core every command set shares; what a command or frame does is
// the business of the chip's decoder (chip_decoder.h), one a command set.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/chip_catalogue.h"
#include "core/devices/voltage_sequence.h"

namespace corvanel {

class ChipDecoder;

// The name that stands for an empty socket ("--chip none").
inline constexpr std::string_view kEmptySocketName = "NONE";

// Every chip the virtual board can emulate, in a fixed order.
[[nodiscard]] const std::vector<ChipInfo>& known_chips();
[[nodiscard]] std::vector<std::string> known_chip_names();
// Finds a chip by name, ignoring letter case; the "PIC" prefix may be left out.
// "none" gives the empty socket.
[[nodiscard]] std::optional<ChipInfo> find_chip(std::string_view name);

// Chip command codes (6 bits on the wire).
namespace chip_command {
inline constexpr std::uint8_t kLoadConfiguration = 0x00;
inline constexpr std::uint8_t kBulkEraseSetup1 = 0x01;
inline constexpr std::uint8_t kLoadProgram = 0x02;
inline constexpr std::uint8_t kLoadData = 0x03;
inline constexpr std::uint8_t kReadProgram = 0x04;
inline constexpr std::uint8_t kReadData = 0x05;
inline constexpr std::uint8_t kIncrementAddress = 0x06;
inline constexpr std::uint8_t kBulkEraseSetup2 = 0x07;
inline constexpr std::uint8_t kBeginEraseProgramming = 0x08;
inline constexpr std::uint8_t kBulkEraseProgram = 0x09;
inline constexpr std::uint8_t kEndProgramming629 = 0x0A;
inline constexpr std::uint8_t kBulkEraseData = 0x0B;
inline constexpr std::uint8_t kEndProgramming7x = 0x0E;
inline constexpr std::uint8_t kRowErase = 0x11;
inline constexpr std::uint8_t kResetAddress = 0x16;
inline constexpr std::uint8_t kEndProgramming = 0x17;
inline constexpr std::uint8_t kBeginProgrammingOnly = 0x18;
inline constexpr std::uint8_t kChipErase = 0x1F;
inline constexpr std::uint8_t kLoadPcAddress = 0x1D;  // 16F183xx: a 24-clock address frame
}  // namespace chip_command

// The enhanced mid-range's configuration space and the PC space of the 16F183xx.
inline constexpr std::int32_t kEnhancedConfigFirst = 0x8000;
inline constexpr std::int32_t kEnhancedConfigWords = 0x20;  // 8000h-801Fh are kept
inline constexpr std::int32_t kEnhancedRevision = 0x8005;
inline constexpr std::int32_t kEnhancedDeviceId = 0x8006;
inline constexpr std::int32_t kEnhancedEepromFirst = 0xF000;
// The low-voltage key "MCHP", clocked LSb first.
inline constexpr std::uint32_t kLowVoltageKey = 0x4D434850;
// The 32 bits of a key sent MSb first as the chip's pins assemble them (the first
// clocked in bit 0): the 8-bit command set's parts take "MCHP" that way.
[[nodiscard]] constexpr std::uint32_t key_msb_first(std::uint32_t key) {
    std::uint32_t out = 0;
    for (int i = 0; i < 32; ++i) {
        out = (out << 1) | ((key >> i) & 1U);
    }
    return out;
}

inline constexpr std::int32_t kConfigSpaceFirst = 0x2000;
inline constexpr std::int32_t kConfigSpaceLast = 0x200A;  // last location the chip may hold

class Pic14Chip {
public:
    // A fresh chip: memories erased, factory calibration drawn from `seed` (the
    // same seed gives the same calibration; without one every chip differs).
    explicit Pic14Chip(ChipInfo info, std::optional<std::uint32_t> seed = std::nullopt);
    // The chip of that name (letter case ignored), freshly erased; nothing for an unknown name.
    [[nodiscard]] static std::optional<Pic14Chip> create(
        std::string_view name, std::optional<std::uint32_t> seed = std::nullopt);

    [[nodiscard]] const ChipInfo& info() const { return info_; }
    [[nodiscard]] const FamilyRules& rules() const { return family_rules(info_.family); }

    // --- The ICSP pins -------------------------------------------------------------
    // Voltages on in the given order. The chip enters programming mode (PC 0, latches
    // blank) unless it needs Vpp first and got Vdd first; then it runs its program and
    // ignores the programming pins until the voltages go off again.
    void power_on(VoltageSequence order);
    void power_off();
    [[nodiscard]] bool powered() const { return powered_; }
    [[nodiscard]] bool in_programming_mode() const { return programming_mode_; }

    // A 6-bit command (bits 7:6 of the byte never reach the chip).
    void command(std::uint8_t code);
    // The data frame after a load command; bits 15:14 fall off the frame.
    void data_frame(std::uint16_t value);
    // The read frame after a read command: the 14-bit word, or the data byte in bits
    // 7:0. Without a preceding read command, or outside programming mode, the data
    // line is not driven and the frame reads 0.
    [[nodiscard]] std::uint16_t read_frame();

    // The chip's clock: time passes. A cycle whose time is up completes.
    void advance_time(std::uint64_t microseconds);
    [[nodiscard]] std::uint64_t now_us() const { return clock_us_; }
    // A programming or erase cycle is running.
    [[nodiscard]] bool busy() const { return cycle_.has_value(); }

    // The address counter: 0..1FFFh in program memory, 2000h..3FFFh in configuration space
    // (enhanced chips: 0..7FFFh and 8000h..FFFFh).
    [[nodiscard]] std::int32_t pc() const { return pc_; }

    // --- The memories, for tests and chip state files ------------------------------
    [[nodiscard]] std::int32_t flash_size() const { return info_.flash_words; }
    [[nodiscard]] std::int32_t eeprom_size() const { return info_.eeprom_bytes; }
    // Out-of-range indexes read blank (3FFFh, FFh) and are not written.
    [[nodiscard]] std::uint16_t flash(std::int32_t address) const;
    void set_flash(std::int32_t address, std::uint16_t value);  // kept to 14 bits
    [[nodiscard]] std::uint8_t eeprom(std::int32_t index) const;
    void set_eeprom(std::int32_t index, std::uint8_t value);
    // A configuration space word as the chip holds it (2000h..200Ah; locations it
    // lacks read 0, configuration words show their unimplemented bits). Code
    // protection does not hide these.
    [[nodiscard]] std::uint16_t config_space(std::int32_t address) const;
    // Stores a word of 2000h..200Ah as a programming cycle would, without the AND of a
    // program-only cycle: user IDs, reserved and calibration words whole (14 bits),
    // configuration words under their mask. The device ID and absent locations are
    // not writable.
    void set_config_space(std::int32_t address, std::uint16_t value);
    // 1 or 2 (enhanced chips: 1 to config_word_count()); 0 for a word the chip lacks.
    [[nodiscard]] std::uint16_t config_word(int number) const;
    [[nodiscard]] std::uint16_t device_id_word() const;
    void set_revision(std::uint8_t revision);  // the revision bits of the device ID word

    // Program memory or data memory is code-protected by configuration word 1.
    [[nodiscard]] bool program_protected() const;
    [[nodiscard]] bool data_protected() const;

    // Everything blank, as after a chip erase (on the 12F629 family also the OSCCAL
    // word and the band-gap bits); calibration words in configuration space stay.
    void erase_everything();

    // --- Enhanced mid-range (12F1xxx/16F1xxx) ------------------------------------------
    // Configuration space lies at 8000h: user IDs 8000h-8003h, the revision at 8005h
    // (full-word ID parts), the device ID at 8006h, configuration words from 8007h,
    // calibration words after them (E000h on the 16F183xx). config_space(),
    // set_config_space() and config_word(1..4) take these addresses on these chips.
    // The 8-bit command set's parts share this address map.
    [[nodiscard]] bool enhanced() const { return rules().enhanced || rules().eight_bit; }
    [[nodiscard]] int config_word_count() const;
    // Vdd on with MCLR held low: the chip runs its program and listens for the
    // low-voltage key.
    void power_on_mclr_low();
    // The 32 key bits as clocked after power_on_mclr_low(), the first clocked in bit
    // 0. The key 4D434850h enters programming mode when the chip's LVP bit is set;
    // any other key, or the bit clear, leaves the chip out of it until power-off.
    // Called on an unpowered chip it first powers Vdd with MCLR low.
    void lvp_key(std::uint32_t key);
    [[nodiscard]] bool low_voltage_mode() const { return low_voltage_mode_; }
    // The 24-clock frame after 1D Load PC Address (16F183xx): start bit 0, the
    // address in bits 16:1, zeros above. Without a 1D before it the frame is ignored.
    void load_pc(std::uint32_t frame24);
    // The 8-bit command set (16F188xx, 16F153xx, 16F184xx, 16F152xx, 16F171xx...): an
    // 8-bit command, a 24-bit payload in (the value in bits 16:1, bit 0 the stop bit)
    // and the 24-bit payload out after a read command. The chip takes them as the
    // clocks they are: after a command that takes a payload the next 24 clocks are
    // its payload whatever the board meant them to be, and a read while the chip
    // waits for input gives it 24 zero bits (the line is not driven) and reads 0. A chip of a 6-bit
    // set ignores them and drives nothing (the payload reads 0; the empty socket FFFFFFh).
    void command8(std::uint8_t code);
    void payload(std::uint32_t frame24);
    [[nodiscard]] std::uint32_t read_payload();
    // The Vpp the board drives on MCLR with the voltages on (high-voltage entry).
    // Above the chip's window it is recorded as a fault (once); below it the chip stays
    // out of programming mode.
    void vpp_applied(double volts);
    // The Vdd the board gives the chip at voltages-on. Above the chip's absolute
    // maximum it is recorded as a fault (once: the damage is done).
    void vdd_applied(double volts);
    // The absolute maximum rating of Vdd: 4.0 V on LF parts, 6.5 V on the others;
    // 0 for the empty socket.
    [[nodiscard]] double vdd_max_volts() const;
    // What the chip was put through that its programming documents forbid (a Vdd
    // above its absolute maximum, a Vpp above its window, 09 with PC above the configuration words,
    // 18 on a configuration word), in order; the chip ignored the forbidden commands.
    [[nodiscard]] const std::vector<std::string>& faults() const { return faults_; }
    // The revision word at 8005h of full-word ID parts (bits 13:12 read 10b).
    [[nodiscard]] std::uint16_t revision_word() const;
    void set_revision_word(std::uint16_t word);

private:
    // The command sets' decoders (chip_decoder.h) turn commands and frames into
    // operations on these memories, latches and cycles.
    friend class ChipDecoder;
    friend class SixBitDecoder;
    friend class ClassicDecoder;
    friend class EnhancedDecoder;
    friend class EightBitDecoder;

    enum class LoadTarget { None, Program, Data };
    enum class PendingRead { None, Program, Data };

    // What a programming or erase cycle does on the memories once its time is up.
    using CycleWork = std::function<void(Pic14Chip&)>;
    // A programming or erase cycle under way.
    struct Cycle {
        std::uint64_t ends_at = 0;
        // Externally timed: only the command set's end command completes the cycle.
        bool needs_end = false;
        CycleWork work;
    };

    // A cycle that does `work` once `duration_us` is up (at once for no time);
    // `needs_end`: externally timed.
    void start_cycle(CycleWork work, std::uint32_t duration_us, bool needs_end = false);
    // `ending`: the event is the command set's end command.
    void settle(bool ending = false);
    void erase_data_memory();
    void reset_latches();
    void reset_program_latches();
    void leave_programming_mode();
    void factory_calibration(std::uint32_t seed);
    [[nodiscard]] bool supports(std::uint8_t code) const;
    [[nodiscard]] bool is_calibration_word(std::int32_t address) const;
    // The cell of a calibration word kept apart from configuration space (enhanced
    // chips), or nothing.
    [[nodiscard]] std::uint16_t* calibration_cell(std::int32_t address);
    void fault(std::string text);
    // A fault that a long-running board would otherwise repeat at every power-up.
    void fault_once(std::string text);

    ChipInfo info_;
    // The decoder of the chip's command set; decoders hold no state of their own.
    const ChipDecoder* decoder_;
    std::vector<std::uint16_t> flash_;
    std::vector<std::uint8_t> eeprom_;
    // 2000h..200Ah; the device ID location is rebuilt from info_ on every read.
    std::uint16_t config_[kConfigSpaceLast - kConfigSpaceFirst + 1] = {};
    std::uint8_t revision_ = 0;
    // Enhanced chips: 8000h-801Fh, and the calibration words in the order of
    // info_.calibration_words.
    std::vector<std::uint16_t> enhanced_config_;
    std::vector<std::uint16_t> enhanced_calibration_;
    bool awaiting_key_ = false;
    bool low_voltage_mode_ = false;
    bool pending_pc_load_ = false;
    // The 8-bit set's load or read moves the PC on once its payload has passed.
    bool increment_after_ = false;
    // The 8-bit set's shift register: the bits clocked in since the last whole
    // command or payload, and the command whose payload the next 24 clocks carry.
    // The chip counts clocks, not the board's frames: a payload the host never sends
    // takes its bits from whatever comes next.
    std::uint32_t shift8_ = 0;
    int shift8_bits_ = 0;
    std::optional<std::uint8_t> payload_for_;
    std::vector<std::string> faults_;

    bool powered_ = false;
    bool programming_mode_ = false;
    std::int32_t pc_ = 0;
    std::vector<std::uint16_t> latches_;
    std::uint16_t data_latch_ = 0xFF;
    std::uint16_t config_latch_ = 0x3FFF;
    LoadTarget target_ = LoadTarget::None;
    std::optional<LoadTarget> pending_load_;
    PendingRead pending_read_ = PendingRead::None;
    // Bulk erases that the next Begin Erase/Programming carries out (16F84A, 16F87xA).
    bool armed_program_erase_ = false;
    bool armed_data_erase_ = false;
    // Set-up erase: 01 then 07 arm an erase for the next 08.
    std::uint8_t last_command_ = 0xFF;
    bool armed_setup_erase_ = false;
    // A set-up erase ran; the 01, 07 after it close the sequence instead of arming.
    bool setup_erase_open_ = false;

    std::uint64_t clock_us_ = 0;
    std::optional<Cycle> cycle_;
};

}  // namespace corvanel
