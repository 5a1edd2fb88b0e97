// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/command_set.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/image/hex_text.h"
#include "core/link/board_protocol.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

namespace bc = board_command;
namespace ext = board_extension;

// 00h-3Fh are the chip's commands, their low six bits all the chip hears; 40h,
// 41h, 43h and 44h the board extensions a 6-bit part may use (42h belongs to the
// 8-bit set's low-voltage entry). Load Configuration (00h), the loads (02h, 03h),
// the reads (04h, 05h), Increment Address (06h) and Reset Address (16h) change no
// memory.
constexpr std::array<CodeRange, 8> kSixBitCodes{{
    {0x00, 0x00, Frame::Any, true},
    {0x01, 0x01, Frame::Any, false},
    {0x02, 0x06, Frame::Any, true},
    {0x07, 0x15, Frame::Any, false},
    {0x16, 0x16, Frame::Any, true},
    {0x17, ext::kChipCommandMask, Frame::Any, false},
    {ext::kLowVoltageEntry, ext::kLoadPcAddress, Frame::Any, true},
    {ext::kVdd3V3, ext::kVdd5V, Frame::Any, true},
}};

// The 8-bit set: Load NVM (00h, 02h with increment), Bulk Erase (18h), Load PC
// Address (80h), End Externally Timed (82h), Begin Externally Timed (C0h), Begin
// Internally Timed (E0h), Row Erase (F0h), Increment Address (F8h), Read NVM
// (FCh, FEh with increment). The board's extensions are the link's business here.
// Bulk Erase's frame is the chip's, not the set's (payload_erase_code).
constexpr std::array<CodeRange, 11> kEightBitCodes{{
    {0x00, 0x00, Frame::Payload, true},
    {0x02, 0x02, Frame::Payload, true},
    {0x18, 0x18, Frame::Any, false},
    {0x80, 0x80, Frame::Payload, true},
    {0x82, 0x82, Frame::None, false},
    {0xC0, 0xC0, Frame::None, false},
    {0xE0, 0xE0, Frame::None, false},
    {0xF0, 0xF0, Frame::None, false},
    {0xF8, 0xF8, Frame::None, true},
    {0xFC, 0xFC, Frame::Read, true},
    {0xFE, 0xFE, Frame::Read, true},
}};

// Load Configuration sets the address counter to the first user ID word (2000h,
// 8000h on the enhanced parts) and increments walk up to the word (2007h on every
// classic part, 800Ah for CONFIG4 of a 16F183xx); one read.
std::string six_bit_protection_read(const AddressMap& map, int word) {
    std::string text = "begin,s00-3fff";
    for (std::int32_t a = map.user_id_address; a < map.config_word_address(word); ++a) {
        text += ",s06";
    }
    return text + ",protection=s04,end";
}

// Load PC Address straight to the word (CONFIG5 of these parts is 800Bh), Read NVM.
std::string eight_bit_protection_read(const AddressMap& map, int word) {
    return "begin,s80-" + hex4(map.config_word_address(word)) + ",protection=sfc,end";
}

constexpr std::uint8_t kStepEachWord = bc::kBlockFlagStep;
constexpr std::uint8_t kEightBitFraming = bc::kBlockFlag8Bit;

const CommandSet kSixBit{
    .key = "6bit",
    .name = "6-bit",
    .command = bc::kChipCommand,
    .payload_in = bc::kDataWord,
    .payload_out = bc::kReadWord,
    .read_answer_bytes = 3,
    .command_mask = 0xFF,
    // Load Program Memory (02h) or Load Data Memory (03h), Read Program Memory
    // (04h) or Read Data Memory (05h), Increment Address (06h) after each word.
    .program_block = {kStepEachWord, 0x02, 0x04, 0x06},
    .data_block = {kStepEachWord, 0x03, 0x05, 0x06},
    .low_voltage_key = ext::kLowVoltageEntry,
    .commands_feature = 0,
    .low_voltage_feature = board_identity::kHasLowVoltageEntry,
    .codes = kSixBitCodes,
    .payload_erase_code = -1,
    .erase_regions = {},
    // Vpp before Vdd (the order every part accepts), Load Configuration (the
    // counter jumps to 2000h, or 8000h on the enhanced parts), to the revision
    // (8005h on the enhanced parts whose ID fills the whole word; 2005h, ignored,
    // on the others) and the ID word.
    .identify_script = "beginvppvdd,s00-3fff,s06,s06,s06,s06,s06,revision=s04,s06,deviceid=s04,end",
    .protection_read = six_bit_protection_read,
    .fallback_protection = nullptr,
};

const CommandSet kEightBit{
    .key = "8bit",
    .name = "8-bit",
    .command = bc::kChipCommand8,
    .payload_in = bc::kPayload24,
    .payload_out = bc::kReadPayload24,
    .read_answer_bytes = 3,
    .command_mask = 0xFF,
    // Load Data for NVM with increment (02h), Read Data from NVM with increment
    // (FEh): the address moves by itself, no step is clocked. The EEPROM at F000h
    // takes the same commands.
    .program_block = {kEightBitFraming, 0x02, 0xFE, 0x00},
    .data_block = {kEightBitFraming, 0x02, 0xFE, 0x00},
    .low_voltage_key = ext::kLowVoltageEntry8,
    .commands_feature = board_identity::kHasCommands8,
    .low_voltage_feature = board_identity::kHasLowVoltageEntry8,
    .codes = kEightBitCodes,
    .payload_erase_code = 0x18,
    .erase_regions = {.eeprom = erase_region::kEeprom,
                      .flash = erase_region::kFlash,
                      .user_ids = erase_region::kUserIds,
                      .config = erase_region::kConfig},
    // These parts hear none of the 6-bit commands: the revision at 8005h and the
    // ID at 8006h through Load PC Address (80h) and Read NVM (FCh).
    .identify_script = "beginvppvdd,s80-8005,revision=sfc,s80-8006,deviceid=sfc,end",
    .protection_read = eight_bit_protection_read,
    // CP in bit 0 of CONFIG5, CPD in bit 1 (config_fields.h).
    .fallback_protection = eight_bit_protection,
};

std::vector<const CommandSet*>& registry() {
    static std::vector<const CommandSet*> sets{&kSixBit, &kEightBit};
    return sets;
}

}  // namespace

const CommandSet& six_bit_commands() {
    return kSixBit;
}

const CommandSet& eight_bit_commands() {
    return kEightBit;
}

std::span<const CommandSet* const> command_sets() {
    return registry();
}

bool add_command_set(const CommandSet& set) {
    if (parse_command_set(set.key) != nullptr) {
        return false;
    }
    registry().push_back(&set);
    return true;
}

void remove_command_set(const CommandSet& set) {
    if (&set == &kSixBit || &set == &kEightBit) {
        return;
    }
    std::erase(registry(), &set);
}

const CommandSet* parse_command_set(std::string_view text) {
    const std::string lower = lower_copy(text);
    for (const CommandSet* set : registry()) {
        if (set->key == lower) {
            return set;
        }
    }
    return nullptr;
}

const CommandSet& command_set_of(std::string_view text) {
    const CommandSet* set = parse_command_set(text);
    return set != nullptr ? *set : kSixBit;
}

std::string command_set_keys() {
    std::string keys;
    const auto sets = command_sets();
    for (std::size_t i = 0; i < sets.size(); ++i) {
        if (i > 0) {
            keys += i + 1 == sets.size() ? " or " : ", ";
        }
        keys += sets[i]->key;
    }
    return keys;
}

const CodeRange* code_range(const CommandSet& set, std::int32_t code) {
    const auto row = std::find_if(set.codes.begin(), set.codes.end(), [code](const CodeRange& r) {
        return code >= r.first && code <= r.last;
    });
    return row != set.codes.end() ? &*row : nullptr;
}

bool keeps_memory(const CommandSet& set, std::int32_t code) {
    const CodeRange* row = code_range(set, code);
    return row != nullptr && row->keeps_memory;
}

std::optional<EraseSelection> parse_erase_selection(std::string_view text) {
    const std::string lower = lower_copy(text);
    if (lower == "pc") {
        return EraseSelection::ProgramCounter;
    }
    if (lower == "payload") {
        return EraseSelection::Payload;
    }
    return std::nullopt;
}

}  // namespace corvanel
