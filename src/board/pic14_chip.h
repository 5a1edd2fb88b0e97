#pragma once

// An emulated 14-bit PIC as the programmer board sees it through its ICSP pins:
// a 6-bit command, an optional 16-clock data frame in (load) or out (read), and
// the two supply pins Vdd and Vpp whose order decides whether the chip enters
// programming mode. Commands act at once: the emulation keeps no time, so the
// waits that a real part needs after a programming or erase command are not
// checked (a host that waits too little still gets a correct chip here).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanel {

enum class ChipFamily {
    F84A,      // 16F84A
    F62xA,     // 16F627A, 16F628A, 16F648A
    F87xA,     // 16F873A, 16F874A, 16F876A, 16F877A
    F87_88,    // 16F87, 16F88
    F81x,      // 16F818, 16F819
    F629_675,  // 12F629, 12F675
};

// Order in which the board switches the programming voltages on.
enum class PowerOrder { VddFirst, VppFirst };

struct ChipInfo {
    std::string name;  // upper case, with the "PIC" prefix: "PIC16F877A"
    ChipFamily family = ChipFamily::F84A;
    std::int32_t flash_words = 0;
    std::int32_t eeprom_bytes = 0;
    std::uint16_t device_id = 0;  // bits 13:5 of the word at 2006h; the revision fills 4:0
    std::int32_t latches = 1;     // program memory words written by one programming command
    std::uint16_t config1_mask = 0x3FFF;
    std::uint16_t config2_mask = 0;  // 0: the chip has no configuration word 2
    // How the configuration bits outside the mask read back: 0 or 3FFFh.
    std::uint16_t unimplemented_config_bits = 0;
    // The chip only enters programming mode when Vpp rises before Vdd.
    bool needs_vpp_first = false;
    // No chip in the socket: the data line is pulled up, so every read frame is 3FFFh.
    bool empty_socket = false;
};

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
inline constexpr std::uint8_t kEndProgramming = 0x17;
inline constexpr std::uint8_t kBeginProgrammingOnly = 0x18;
inline constexpr std::uint8_t kChipErase = 0x1F;
}  // namespace chip_command

inline constexpr std::int32_t kConfigSpaceFirst = 0x2000;
inline constexpr std::int32_t kConfigSpaceLast = 0x2008;  // last location the chip may hold

class Pic14Chip {
public:
    explicit Pic14Chip(ChipInfo info);
    // The chip of that name (letter case ignored), freshly erased; nothing for an unknown name.
    [[nodiscard]] static std::optional<Pic14Chip> create(std::string_view name);

    [[nodiscard]] const ChipInfo& info() const { return info_; }

    // --- The ICSP pins -------------------------------------------------------------
    // Voltages on in the given order. The chip enters programming mode (PC 0, latches
    // blank) unless it needs Vpp first and got Vdd first; then it runs its program and
    // ignores the programming pins until the voltages go off again.
    void power_on(PowerOrder order);
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

    // The address counter: 0..1FFFh in program memory, 2000h..3FFFh in configuration space.
    [[nodiscard]] std::int32_t pc() const { return pc_; }

    // --- The memories, for tests and chip state files ------------------------------
    [[nodiscard]] std::int32_t flash_size() const { return info_.flash_words; }
    [[nodiscard]] std::int32_t eeprom_size() const { return info_.eeprom_bytes; }
    // Out-of-range indexes read blank (3FFFh, FFh) and are not written.
    [[nodiscard]] std::uint16_t flash(std::int32_t address) const;
    void set_flash(std::int32_t address, std::uint16_t value);  // kept to 14 bits
    [[nodiscard]] std::uint8_t eeprom(std::int32_t index) const;
    void set_eeprom(std::int32_t index, std::uint8_t value);
    // A configuration space word as the chip reads it back (2000h..3FFFh; locations it
    // lacks read 0, configuration words show their unimplemented bits).
    [[nodiscard]] std::uint16_t config_space(std::int32_t address) const;
    // Stores a word of 2000h..2008h as a programming cycle would, without the AND of a
    // program-only cycle: user IDs and reserved words whole (14 bits), configuration
    // words under their mask. The device ID and absent locations are not writable.
    void set_config_space(std::int32_t address, std::uint16_t value);
    [[nodiscard]] std::uint16_t config_word(int number) const;  // 1 or 2
    [[nodiscard]] std::uint16_t device_id_word() const;
    void set_revision(std::uint8_t revision);  // bits 4:0 of the device ID word (default 0)

    // Everything blank, as after a chip erase (on 12F629/675 also the calibration words).
    void erase_everything();

private:
    enum class LoadTarget { None, Program, Data };
    enum class PendingRead { None, Program, Data };

    void program_latches(bool erase_first);
    void erase_program_memory();
    void erase_config_space();
    void erase_data_memory();
    void reset_latches();
    void leave_programming_mode();
    [[nodiscard]] bool supports(std::uint8_t code) const;
    [[nodiscard]] bool bulk_erase_needs_begin() const;

    ChipInfo info_;
    std::vector<std::uint16_t> flash_;
    std::vector<std::uint8_t> eeprom_;
    // 2000h..2008h; the device ID location is rebuilt from info_ on every read.
    std::uint16_t config_[kConfigSpaceLast - kConfigSpaceFirst + 1] = {};
    std::uint8_t revision_ = 0;

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
    // 16F84A code-protect removal: 01 then 07 arm a full erase for the next 08.
    std::uint8_t last_command_ = 0xFF;
    bool armed_full_erase_ = false;
};

}  // namespace corvanel
