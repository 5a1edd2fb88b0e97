// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/family_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "board/chip_catalogue.h"
#include "board/pic14_chip.h"
#include "core/image/hex_text.h"

namespace corvanel {
namespace {

std::string join(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty()) {
            out += separator;
        }
        out += part;
    }
    return out;
}

// The chip's name as the docs write it: without the "PIC" prefix.
std::string short_name(const std::string& name) {
    return name.rfind("PIC", 0) == 0 ? name.substr(3) : name;
}

// Microseconds as milliseconds, "-" for a cycle the family does not have.
std::string ms(std::uint32_t us) {
    if (us == 0) {
        return "-";
    }
    std::string text = std::to_string(us / 1000);
    if (us % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%03u", static_cast<unsigned>(us % 1000));
        std::string digits = fraction;
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

bool knows(const FamilyRules& rules, int command) {
    return ((rules.commands >> command) & 1U) != 0;
}

// The commands besides the four every family knows (load and read, increment).
std::string commands(const FamilyRules& rules) {
    std::vector<std::string> out;
    for (int command = 0; command < 64; ++command) {
        const bool common =
            command == 0x00 || command == 0x02 || command == 0x04 || command == 0x06;
        if (!common && knows(rules, command)) {
            out.push_back(hex2(command));
        }
    }
    return join(out, " ");
}

// program / data / configuration / 18 / bulk erase, in milliseconds.
std::string cycle_times(const FamilyRules& rules) {
    std::string program = ms(rules.program_us);
    if (rules.config_us != 0 && rules.config_us != rules.program_us) {
        program += " (config " + ms(rules.config_us) + ")";
    }
    std::string erase = ms(rules.bulk_erase_us);
    std::vector<std::string> extra;
    if (knows(rules, 0x1F) && rules.chip_erase_us != rules.bulk_erase_us) {
        extra.push_back("1F " + ms(rules.chip_erase_us));
    }
    if (knows(rules, 0x01) && rules.setup_erase_us != rules.bulk_erase_us) {
        extra.push_back("set-up " + ms(rules.setup_erase_us));
    }
    if (knows(rules, 0x11)) {
        extra.push_back("11 " + ms(rules.row_erase_us));
    }
    if (rules.begin_08_erases_only) {
        extra.push_back("08 " + ms(rules.row_erase_us));
    }
    if (!extra.empty()) {
        erase += " (" + join(extra, ", ") + ")";
    }
    return program + " / " + ms(rules.data_us) + " / " + ms(rules.program_only_us) + " / " + erase +
           " ms";
}

// The enhanced mid-range: what 09, 0B and 11 reach by PC.
std::string enhanced_erases(const FamilyRules& rules, const std::string& rows) {
    std::vector<std::string> out;
    out.push_back(
        "09 (config always, user IDs with PC 8000h to the last config word, a fault "
        "above it" +
        std::string(rules.bulk_erase_clears_protected_data ? ", protected data too" : "") + ")");
    if (knows(rules, 0x0B)) {
        out.push_back("0B data unless protected");
    }
    if (rules.load_pc_address) {
        out.push_back("09 with PC in the EEPROM at F000h erases it");
    }
    out.push_back("11 (" + rows + ", user IDs only in config space, not while protected)");
    out.push_back("calibration words never erased");
    return join(out, "; ");
}

// One row per enhanced chip: what the family table cannot say chip by chip.
std::string enhanced_chip_table() {
    std::string out =
        "| Chip | Family | Device ID | Revision | Flash words | EEPROM bytes | Latches / row | "
        "Config words (implemented bits) | Calibration words |\n"
        "|---|---|---|---|---|---|---|---|---|\n";
    for (const ChipInfo& chip : known_chips()) {
        const FamilyRules& rules = family_rules(chip.family);
        if (chip.empty_socket || !rules.enhanced) {
            continue;
        }
        std::vector<std::string> masks;
        for (const std::uint16_t mask :
             {chip.config1_mask, chip.config2_mask, chip.config3_mask, chip.config4_mask}) {
            if (mask != 0) {
                masks.push_back(hex4h(mask));
            }
        }
        std::string calibration = std::to_string(chip.calibration_words.size());
        if (!chip.calibration_words.empty()) {
            calibration += " at " + hex4h(chip.calibration_words.front());
        }
        const std::int32_t row = chip.row_words > 0 ? chip.row_words : rules.row_words;
        out += "| " + short_name(chip.name) + " | " + rules.label + " | " + hex4h(chip.device_id) +
               " | " + (chip.revision_word ? "word at 8005h" : "bits 4:0 of 8006h") + " | " +
               std::to_string(chip.flash_words) + " | " + std::to_string(chip.eeprom_bytes) +
               " | " + std::to_string(chip.latches) + " / " + std::to_string(row) + " | " +
               std::to_string(chip.config_words) + ": " + join(masks, " ") + " | " + calibration +
               " |\n";
    }
    return out;
}

std::string erases(const FamilyRules& rules, bool has_calibration) {
    std::vector<std::string> out;
    std::vector<std::string> bulk;
    if (knows(rules, 0x09)) {
        bulk.push_back("09");
    }
    if (knows(rules, 0x0B)) {
        bulk.push_back("0B");
    }
    if (!bulk.empty()) {
        std::string text = join(bulk, ", ");
        if (rules.bulk_erase_needs_begin) {
            text += " wait for 08";
        }
        text += rules.bulk_reach == BulkEraseReach::ConfigAlways
                    ? " (config always)"
                    : " (config with PC in config space)";
        if (rules.bulk_erase_clears_protected_data) {
            text += ", protected data too";
        }
        out.push_back(text);
    }
    if (knows(rules, 0x1F)) {
        out.push_back("1F");
    }
    if (knows(rules, 0x01) && knows(rules, 0x07)) {
        out.push_back("01 07 08 set-up erase");
    }
    const std::string row = std::to_string(rules.row_words) + " words";
    if (knows(rules, 0x11)) {
        out.push_back("11 (" + row +
                      (rules.row_erase_ignored_when_protected ? ", not while protected" : "") +
                      ")");
    }
    if (rules.begin_08_erases_only) {
        out.push_back("08 erases a row (" + row + "), 18 writes");
    }
    if (rules.osccal_and_bandgap) {
        out.push_back("erases the OSCCAL word (last word) and band-gap bits 13:12");
    }
    if (has_calibration) {
        out.push_back(rules.calibration_erase == CalibrationErase::AllPast2008
                          ? "calibration words erased with PC past 2008h"
                          : "a calibration word erased once PC has reached it");
    }
    return out.empty() ? "-" : join(out, "; ");
}

// A mask as bit ranges, highest first: 3FF0h gives "13:4", 3030h "13:12, 5:4".
std::string bits(std::uint16_t mask) {
    if (mask == 0) {
        return "-";
    }
    std::vector<std::string> out;
    for (int bit = 15; bit >= 0;) {
        if (((mask >> bit) & 1U) == 0) {
            --bit;
            continue;
        }
        const int high = bit;
        while (bit >= 0 && ((mask >> bit) & 1U) != 0) {
            --bit;
        }
        const int low = bit + 1;
        out.push_back(high == low ? std::to_string(high)
                                  : std::to_string(high) + ":" + std::to_string(low));
    }
    return join(out, ", ");
}

struct FamilyRow {
    ChipFamily family;
    std::vector<const ChipInfo*> chips;
};

}  // namespace

std::string family_table_markdown() {
    std::vector<FamilyRow> families;
    for (const ChipInfo& chip : known_chips()) {
        if (chip.empty_socket) {
            continue;
        }
        FamilyRow* row = nullptr;
        for (FamilyRow& existing : families) {
            if (existing.family == chip.family) {
                row = &existing;
            }
        }
        if (row == nullptr) {
            families.push_back({chip.family, {}});
            row = &families.back();
        }
        row->chips.push_back(&chip);
    }

    std::string out =
        "| Family | Chips | Latches | Commands besides 00 02 04 06 | Cycle times (program / data "
        "/ 18 / erase) | Erase | CP / CPD bits | Voltages on |\n"
        "|---|---|---|---|---|---|---|---|\n";
    std::string documents;
    for (const FamilyRow& row : families) {
        const FamilyRules& rules = family_rules(row.family);
        std::vector<std::string> names;
        bool has_calibration = false;
        // Latch counts with the members that have them when the family's chips differ.
        std::vector<std::pair<std::int32_t, std::vector<std::string>>> latches;
        for (const ChipInfo* chip : row.chips) {
            names.push_back(short_name(chip->name));
            has_calibration = has_calibration || !chip->calibration_words.empty();
            bool found = false;
            for (auto& [count, members] : latches) {
                if (count == chip->latches) {
                    members.push_back(short_name(chip->name));
                    found = true;
                }
            }
            if (!found) {
                latches.push_back({chip->latches, {short_name(chip->name)}});
            }
        }
        std::string latch_text;
        if (latches.size() == 1) {
            latch_text = std::to_string(latches.front().first);
        } else {
            std::vector<std::string> parts;
            for (const auto& [count, members] : latches) {
                parts.push_back(std::to_string(count) + " (" + join(members, ", ") + ")");
            }
            latch_text = join(parts, ", ");
        }
        std::string label = rules.label;
        if (rules.revision_bits == 0) {
            label += " (no device ID)";
        }
        std::string erase_text;
        std::string protection = bits(rules.cp_bits) + " / " + bits(rules.cpd_bits);
        std::string voltages = rules.needs_vpp_first ? "Vpp first" : "either order";
        std::string command_text = commands(rules);
        if (rules.eight_bit) {
            command_text = "8-bit set: 80 00 02 FC FE F8 E0 C0 82 18 F0";
            erase_text =
                rules.erase_select == EraseSelect::ByPayload
                    ? "18h by its payload: bit 1 the EEPROM, bit 2 flash, bit 3 user IDs, bit 4 "
                      "config (protected: everything, the only erase that lifts CP; the others "
                      "leave protected flash and EEPROM)"
                    : "18h by PC: up to the last config word flash and config (user IDs from "
                      "8000h), 80FEh flash only, F000h the EEPROM";
            erase_text += "; F0h (32-word rows); calibration words never erased";
            documents += "- " + std::string(rules.label) + ": " + rules.document + "\n";
            protection = "config " + std::to_string(rules.protect_word) + ": " + protection;
            voltages += ", or the low-voltage key MSb first with config " +
                        std::to_string(rules.lvp_word) + " bit 13 set";
        } else if (rules.enhanced) {
            std::vector<std::int32_t> row_sizes;
            for (const ChipInfo* chip : row.chips) {
                const std::int32_t size = chip->row_words > 0 ? chip->row_words : rules.row_words;
                if (std::find(row_sizes.begin(), row_sizes.end(), size) == row_sizes.end()) {
                    row_sizes.push_back(size);
                }
            }
            std::vector<std::string> sizes;
            for (const std::int32_t size : row_sizes) {
                sizes.push_back(std::to_string(size));
            }
            erase_text = enhanced_erases(rules, join(sizes, " or ") + "-word rows");
            if (rules.protect_word != 1) {
                protection = "config " + std::to_string(rules.protect_word) + ": " + protection;
            }
            voltages += ", or the low-voltage key with config " + std::to_string(rules.lvp_word) +
                        " bit 13 set";
        } else {
            erase_text = erases(rules, has_calibration);
        }
        out += "| " + label + " | " + join(names, ", ") + " | " + latch_text + " | " +
               command_text + " | " + cycle_times(rules) + " | " + erase_text + " | " + protection +
               " | " + voltages + " |\n";
    }
    out += "\nThe documents the 8-bit command set's families are written from:\n\n" + documents;
    out += "\nThe enhanced mid-range chips one by one (configuration words from 8007h):\n\n" +
           enhanced_chip_table();
    return out;
}

}  // namespace corvanel
