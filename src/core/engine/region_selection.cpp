// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/region_selection.h"

#include <algorithm>

#include "core/devices/config_fields.h"
#include "core/devices/instruction_decode.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

// Configuration words 1 up to this many are copied; numbers the image does not
// hold read as erased and are not stored, so a larger bound costs nothing.
constexpr int kMostConfigWords = 8;

}  // namespace

std::optional<RegionSelection> parse_region_list(std::string_view text) {
    RegionSelection selection{false, false, false, false};
    bool any = false;
    while (true) {
        const auto comma = text.find(',');
        const std::string word = lower_copy(text.substr(0, comma));
        if (word == "flash") {
            selection.flash = true;
        } else if (word == "eeprom") {
            selection.eeprom = true;
        } else if (word == "id") {
            selection.user_ids = true;
        } else if (word == "config") {
            selection.config = true;
        } else if (word == "all") {
            selection = RegionSelection{};
        } else {
            return std::nullopt;
        }
        any = true;
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    if (!any) {
        return std::nullopt;
    }
    return selection;
}

std::string region_list_text(const RegionSelection& selection) {
    if (selection.all()) {
        return "all";
    }
    std::string text;
    const auto add = [&text](bool on, const char* word) {
        if (on) {
            text += text.empty() ? "" : ",";
            text += word;
        }
    };
    add(selection.flash, "flash");
    add(selection.eeprom, "eeprom");
    add(selection.user_ids, "id");
    add(selection.config, "config");
    return text;
}

RegionSelection programmed_regions(RegionSelection selection, bool preserve_eeprom) {
    if (preserve_eeprom) {
        selection.eeprom = false;
    }
    return selection;
}

bool needs_chip_read(const RegionSelection& programmed, const MemoryImage& shape) {
    // A chip without EEPROM has none to keep.
    return !programmed.flash || !programmed.user_ids || !programmed.config ||
           (!programmed.eeprom && shape.eeprom_size > 0);
}

MemoryImage merge_regions(const MemoryImage& buffer, const MemoryImage& chip,
                          const RegionSelection& from_buffer) {
    MemoryImage merged = buffer;
    if (!from_buffer.flash) {
        for (std::int32_t index = 0; index < merged.flash_size; ++index) {
            (void)merged.set_flash_word(index, chip.flash_word(index));
        }
    }
    if (!from_buffer.eeprom) {
        for (std::int32_t index = 0; index < merged.eeprom_size; ++index) {
            (void)merged.set_eeprom_byte(index, chip.eeprom_byte(index));
        }
    }
    if (!from_buffer.user_ids) {
        for (int index = 0; index < kUserIdCount; ++index) {
            (void)merged.set_user_id(index, chip.user_id(index));
        }
    }
    if (!from_buffer.config) {
        for (int number = 1; number <= kMostConfigWords; ++number) {
            (void)merged.set_config_word(number, chip.config_word(number));
        }
    }
    return merged;
}

std::optional<std::string> kept_region_refusal(const MemoryImage& chip,
                                               const RegionSelection& programmed,
                                               const ProtectionBits& protection) {
    if (!programmed.flash && protection.program_protected(chip)) {
        return std::string(
            "Code protection is on: the chip's program memory cannot be read "
            "to be kept. Program All refused.");
    }
    if (!programmed.eeprom && chip.eeprom_size > 0 && protection.data_protected(chip)) {
        return std::string(
            "Data code protection is on: the chip's EEPROM cannot be read "
            "to be kept. Program All refused.");
    }
    return std::nullopt;
}

RegionSelection kept_regions(const RegionSelection& programmed, const MemoryImage& shape) {
    return RegionSelection{!programmed.flash && shape.flash_size > 0,
                           !programmed.eeprom && shape.eeprom_size > 0, !programmed.user_ids,
                           !programmed.config};
}

bool erase_keeps_regions(const InstructionList& program_algorithm) {
    return std::any_of(program_algorithm.begin(), program_algorithm.end(),
                       [](const std::string& text) {
                           return decode_instruction(text).kind == InstructionKind::EraseRegions;
                       });
}

std::optional<std::string> kept_reads_differ(const MemoryImage& first, const MemoryImage& second,
                                             const RegionSelection& programmed) {
    const auto differ = [](std::string where, std::int32_t address, std::string one,
                           std::string two) {
        return where + " " + hex4h(address) + " read " + one + ", then " + two;
    };
    if (!programmed.flash) {
        for (std::int32_t at = 0; at < first.flash_size; ++at) {
            if (first.flash_word(at) != second.flash_word(at)) {
                return differ("Program memory", at, hex4h(first.flash_word(at)),
                              hex4h(second.flash_word(at)));
            }
        }
    }
    if (!programmed.eeprom) {
        for (std::int32_t at = 0; at < first.eeprom_size; ++at) {
            if (first.eeprom_byte(at) != second.eeprom_byte(at)) {
                return differ("EEPROM", at, hex2h(first.eeprom_byte(at)),
                              hex2h(second.eeprom_byte(at)));
            }
        }
    }
    if (!programmed.user_ids) {
        for (int index = 0; index < kUserIdCount; ++index) {
            if (first.user_id(index) != second.user_id(index)) {
                return "User ID " + std::to_string(index) + " read " + hex4h(first.user_id(index)) +
                       ", then " + hex4h(second.user_id(index));
            }
        }
    }
    if (!programmed.config) {
        for (int number = 1; number <= first.config_count(); ++number) {
            if (first.config_word(number) != second.config_word(number)) {
                return "Configuration word " + std::to_string(number) + " read " +
                       hex4h(first.config_word(number)) + ", then " +
                       hex4h(second.config_word(number));
            }
        }
    }
    return std::nullopt;
}

}  // namespace corvanel
