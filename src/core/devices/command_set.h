// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The chip command sets of the 14-bit parts, one row each. The older parts take
// 6-bit commands and 16-clock data frames, LSb first; the parts sold today take
// 8-bit commands and 24-bit payloads, MSb first. A model names its set
// ("commandset: 8bit"); without the key it takes 6-bit commands.
//
// Everything the host does differently for a set is a field of its row: the board
// commands that frame it, the codes an algorithm may send and which of them may
// change the chip's memory, the identify and protection-read scripts, the board
// features it needs. A set this file does not know (a test's, a later family's)
// is a row defined where it is needed and handed to add_command_set.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/devices/config_fields.h"
#include "core/image/memory_image.h"

namespace corvanel {

// What follows a command on the wire. Board command 104 clocks only as many bits
// as the 6-bit set is wide: a wider code reaches the chip cut to that width, as
// another command (80h in 6 bits is 00h, Load Configuration). In the 8-bit set
// every command has one frame it must be sent with: a 24-bit payload (Load PC
// Address, the loads), a read (the two reads) or nothing.
enum class Frame : std::uint8_t {
    Any,      // whatever the instruction sends (the 6-bit set: data frames are free)
    None,     // a bare command: "sF8"
    Payload,  // a command and its data: "s80-8007", "s00-flash"
    Read,     // a command and a word read back: "flash=sFE"
};

// Codes `first` to `last` of a set, the frame they go with, and whether they
// leave every memory of the chip as it was: a load only fills the write latches,
// a read or an address move touches nothing, and a board extension never reaches
// the chip. Every other code may start an erase or a write, so a calibration word
// read before it lives only in the program from then on.
struct CodeRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
    Frame frame = Frame::Any;
    bool keeps_memory = false;
};

// The codes of a block (111 write, 112 read) for one memory: the flags byte
// (board_command::kBlockFlag8Bit for the set's framing, kBlockFlagStep when `step`
// follows each word), the load and read commands and the step command.
struct BlockCodes {
    std::uint8_t flags = 0;
    std::uint8_t load = 0;
    std::uint8_t read = 0;
    std::uint8_t step = 0;
};

// The payload's region bits, as the chips' programming specifications number
// them (bit 0 EEPROM, bit 1 program memory, bit 2 user IDs, bit 3 configuration).
namespace erase_region {
inline constexpr int kEeprom = 0x1;
inline constexpr int kFlash = 0x2;
inline constexpr int kUserIds = 0x4;
inline constexpr int kConfig = 0x8;
inline constexpr int kAll = kEeprom | kFlash | kUserIds | kConfig;
}  // namespace erase_region

// The bit of each region in the payload of a set's region erase; 0 for a region
// the erase cannot name (every bit 0: the set has no region erase).
struct EraseRegionBits {
    int eeprom = 0;
    int flash = 0;
    int user_ids = 0;
    int config = 0;
    [[nodiscard]] constexpr int all() const { return eeprom | flash | user_ids | config; }
};

struct CommandSet {
    std::string_view key;   // the device file's value, in lower case: "6bit"
    std::string_view name;  // as messages and tables name it: "6-bit"

    // The board commands that clock a chip command, a data frame in and a read
    // frame out, and how many bytes answer the read: the word, low byte first,
    // then one more (ScriptRunner::read_step takes every byte the row names).
    std::uint8_t command = 0;
    std::uint8_t payload_in = 0;
    std::uint8_t payload_out = 0;
    std::uint8_t read_answer_bytes = 3;
    // The code a chip command is cut to before it goes out (the 6-bit board clocks
    // six bits and keeps 40h-7Fh for itself).
    std::uint8_t command_mask = 0xFF;

    // Runs of program memory and of data memory as the board clocks them itself.
    BlockCodes program_block;
    BlockCodes data_block;

    // The board extension after 104 that puts Vdd on with MCLR low and clocks
    // the set's low-voltage key.
    std::uint8_t low_voltage_key = 0;

    // Identify's feature bits a board must declare to frame the set's commands
    // (0: the original seven commands do) and to clock its low-voltage key.
    std::uint16_t commands_feature = 0;
    std::uint16_t low_voltage_feature = 0;

    // What an algorithm of the set may send, in ascending order.
    std::span<const CodeRange> codes;
    // The set's Bulk Erase whose regions a payload may select ("bulkerase:
    // payload"), judged by the chip's erase selection rather than by its row; -1
    // when the set has none.
    std::int32_t payload_erase_code = -1;
    // The regions that erase's payload names, one bit each: "sCC-regions" fills
    // the payload from them with the regions an operation does not keep.
    EraseRegionBits erase_regions;

    // "Identify Chip" in the set's commands: the revision word, then the ID word.
    std::string_view identify_script;
    // The script that reads configuration word `word` into "protection" before a
    // verify, so that memory the chip hides is not reported as a mismatch.
    std::string (*protection_read)(const AddressMap& map, int word) = nullptr;
    // The protection bits of a part of the set whose configuration fields the data
    // do not list; null where the set has no such rule.
    ProtectionBits (*fallback_protection)(bool has_eeprom) = nullptr;
};

// The sets this program knows, in the order "Identify Chip" tries them, and any
// added since.
[[nodiscard]] const CommandSet& six_bit_commands();
[[nodiscard]] const CommandSet& eight_bit_commands();
[[nodiscard]] std::span<const CommandSet* const> command_sets();
// Adds a set defined elsewhere (it must outlive every use); a set whose key is
// taken already is not added. Answers whether it was.
bool add_command_set(const CommandSet& set);
// Takes an added set out again; the sets of this file stay.
void remove_command_set(const CommandSet& set);

// The set of the device file's value ("6bit", "8bit", in any letter case);
// nothing for a value no set has.
[[nodiscard]] const CommandSet* parse_command_set(std::string_view text);
// The set of a model's "commandset:" value: the 6-bit set when it is empty.
[[nodiscard]] const CommandSet& command_set_of(std::string_view text);
// "6bit or 8bit": the values the device file may give, for its messages.
[[nodiscard]] std::string command_set_keys();

// The row of codes that holds `code`; null when the set has no such code.
[[nodiscard]] const CodeRange* code_range(const CommandSet& set, std::int32_t code);
// Whether chip command `code` leaves the chip's memories as they were (a code the
// set does not have may do anything).
[[nodiscard]] bool keeps_memory(const CommandSet& set, std::int32_t code);

// How Bulk Erase (18h) of the 8-bit set chooses what it erases. The older
// families take the regions from the PC (8000h: program memory, user IDs and
// configuration; F000h: the EEPROM) and no data; the newer ones (16F171xx,
// 16F180xx, 16F181xx, 16F175xx, 16F131xx) take them from a 24-bit payload whose
// bits name them, and clock in the next 24 bits as that payload whether the
// host sends one or not. A model names its way ("bulkerase: payload"); without
// the key an 8-bit model selects by the PC.
enum class EraseSelection { ProgramCounter, Payload };

// "pc" or "payload", in any letter case; nothing for any other text.
[[nodiscard]] std::optional<EraseSelection> parse_erase_selection(std::string_view text);

}  // namespace corvanel
