// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The named fields of the configuration words: for every chip, which bits of
// each configuration word make up the oscillator, watchdog, power-up timer,
// MCLR, brown-out, LVP, code protection ... settings, and the value of each
// option. The table is the file "corvanelconfig.txt" beside the program, written
// by tools/make_config_fields.py from the gputils processor headers:
//
//   chip: PIC16F628A
//   word: 1 2007
//   field: FOSC 0013 Oscillator
//   option: 0001 XT XT oscillator: Crystal/resonator on RA6/OSC2/CLKOUT and RA7/OSC1/CLKIN
//
// A field owns the bits of its mask; an option is chosen when the word's bits
// under the mask equal its value.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/image/memory_image.h"

namespace corvanel {

inline constexpr const char* kConfigFieldsFileName = "corvanelconfig.txt";

struct ConfigOption {
    std::int32_t value = 0;  // the field's bits for this option
    std::string name;        // "XT"
    std::string text;        // "XT oscillator: Crystal/resonator ..."
};

struct ConfigField {
    std::string name;       // "FOSC"
    std::int32_t mask = 0;  // the bits of the word it owns
    std::string title;      // "Oscillator"
    std::vector<ConfigOption> options;
};

struct ConfigWordFields {
    int number = 1;            // configuration word 1, 2, ...
    std::int32_t address = 0;  // 2007h, 2008h
    std::vector<ConfigField> fields;
};

struct ChipConfigFields {
    std::string chip;  // "PIC16F628A"
    std::vector<ConfigWordFields> words;

    // Word 1 or 2; nullptr when the chip has no fields for it.
    [[nodiscard]] const ConfigWordFields* word(int number) const;
};

struct ConfigFieldTable {
    std::vector<ChipConfigFields> chips;

    // By name, letter case ignored; nullptr for a chip the table does not know.
    [[nodiscard]] const ChipConfigFields* find(std::string_view chip) const;
};

struct ConfigFieldsLoadResult {
    bool ok = true;
    std::string message;  // names the file and line when not ok
};

// Reads the table from its text (LF or CR LF lines); lines starting with "#" and
// empty lines are notes. A line of another form, or one out of place (an option
// before any field), is an error naming the line.
[[nodiscard]] ConfigFieldsLoadResult parse_config_fields(std::string_view text,
                                                         std::string_view source_name,
                                                         ConfigFieldTable& table);
[[nodiscard]] ConfigFieldsLoadResult load_config_fields(const std::string& path,
                                                        ConfigFieldTable& table);

// The option the word selects in the field; nullptr when its bits match none.
[[nodiscard]] const ConfigOption* selected_option(const ConfigField& field, std::int32_t word);

// The word with the field's bits set to the option's and every other bit kept.
[[nodiscard]] std::int32_t with_option(std::int32_t word, const ConfigField& field,
                                       const ConfigOption& option);

// The configuration word that holds code protection, and its bits that protect
// program memory ("CP") and data memory ("CPD"); 0 where the chip has no such
// field. Most parts keep them in word 1, the 16F183xx in word 4 and later parts in
// word 5. A memory is protected while any of its bits is programmed (0), as with
// the older parts' CP1:CP0 pairs.
struct ProtectionBits {
    std::int32_t program = 0;
    std::int32_t data = 0;
    int word = 1;

    // `value`: the protection word, as the chip or the image holds it.
    [[nodiscard]] bool program_protected(std::int32_t value) const {
        return program != 0 && (value & program) != program;
    }
    [[nodiscard]] bool data_protected(std::int32_t value) const {
        return data != 0 && (value & data) != data;
    }
    [[nodiscard]] bool program_protected(const MemoryImage& image) const {
        return program_protected(image.config_word(word));
    }
    [[nodiscard]] bool data_protected(const MemoryImage& image) const {
        return data_protected(image.config_word(word));
    }
};
[[nodiscard]] ProtectionBits protection_bits(const ChipConfigFields* chip);
// Every part of the 8-bit command set keeps CP in bit 0 of CONFIG5 and, where it
// has data EEPROM, most of them CPD in bit 1: the bits for such a part that the
// configuration field data does not list (the program keeps of them what the
// model's configuration mask implements).
[[nodiscard]] constexpr ProtectionBits eight_bit_protection(bool has_eeprom) {
    return {0x0001, has_eeprom ? 0x0002 : 0, 5};
}

// One line per field: "Oscillator (FOSC): XT, XT oscillator: ..." or, for bits
// that match no option, "Oscillator (FOSC): bits 0012h match no option".
[[nodiscard]] std::vector<std::string> describe_config_word(const ConfigWordFields& word_fields,
                                                            std::int32_t word);

}  // namespace corvanel
