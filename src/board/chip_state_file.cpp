// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_state_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/files/read_file.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

constexpr std::int32_t kConfigByteBase = 0x4000;
constexpr std::int32_t kEepromByteBase = 0x4200;
// Configuration space up to configuration word 2, and further where the chip keeps
// factory calibration words beyond it (files of other chips keep their old layout).
std::int32_t config_last(const Pic14Chip& chip) {
    std::int32_t last = 0x2008;
    for (const std::int32_t address : chip.info().calibration_words) {
        last = std::max(last, address);
    }
    return std::min(last, kConfigSpaceLast);
}
constexpr std::size_t kBytesPerRecord = 16;

// A memory of the chip as the file holds it: word address k at byte address
// byte_base + 2k.
struct Region {
    std::int32_t first_address = 0;  // the chip's address of the first word
    std::int64_t byte_base = 0;
    std::vector<std::uint16_t> words;
};

// Where each memory lies in the file. Classic chips: configuration space from
// 2000h at byte 4000h, EEPROM at byte 4200h. Enhanced chips keep their own address
// map: configuration space from 8000h at byte 10000h (up to the last configuration
// or calibration word), the 16F183xx's calibration words at E000h (byte 1C000h),
// EEPROM byte i at F000h + i (byte 1E000h + 2i).
std::vector<Region> layout(const Pic14Chip& chip) {
    std::vector<Region> regions;
    Region flash{0, 0, {}};
    for (std::int32_t a = 0; a < chip.flash_size(); ++a) {
        flash.words.push_back(chip.flash(a));
    }
    regions.push_back(std::move(flash));
    if (!chip.enhanced()) {
        Region config{kConfigSpaceFirst, kConfigByteBase, {}};
        for (std::int32_t a = kConfigSpaceFirst; a <= config_last(chip); ++a) {
            config.words.push_back(chip.config_space(a));
        }
        regions.push_back(std::move(config));
        Region eeprom{0, kEepromByteBase, {}};
        for (std::int32_t i = 0; i < chip.eeprom_size(); ++i) {
            eeprom.words.push_back(chip.eeprom(i));
        }
        regions.push_back(std::move(eeprom));
        return regions;
    }
    std::int32_t last = kEnhancedDeviceId + chip.config_word_count();
    std::vector<std::int32_t> apart;  // calibration words outside 8000h-801Fh
    for (const std::int32_t address : chip.info().calibration_words) {
        if (address < kEnhancedConfigFirst + kEnhancedConfigWords) {
            last = std::max(last, address);
        } else {
            apart.push_back(address);
        }
    }
    Region config{kEnhancedConfigFirst, 2 * kEnhancedConfigFirst, {}};
    for (std::int32_t a = kEnhancedConfigFirst; a <= last; ++a) {
        config.words.push_back(chip.config_space(a));
    }
    regions.push_back(std::move(config));
    if (!apart.empty()) {
        Region calibration{apart.front(), 2 * static_cast<std::int64_t>(apart.front()), {}};
        for (const std::int32_t address : apart) {
            calibration.words.push_back(chip.config_space(address));
        }
        regions.push_back(std::move(calibration));
    }
    Region eeprom{0, 2 * kEnhancedEepromFirst, {}};
    for (std::int32_t i = 0; i < chip.eeprom_size(); ++i) {
        eeprom.words.push_back(chip.eeprom(i));
    }
    regions.push_back(std::move(eeprom));
    return regions;
}

// Appends the little-endian words as data records starting at a byte address,
// with an extended linear address record (type 04) wherever the upper 16 bits of
// the address change.
void write_records(std::string& out, std::int64_t& upper, std::int64_t base,
                   const std::vector<std::uint16_t>& words) {
    std::string data;
    for (const std::uint16_t w : words) {
        data += hex4_swapped(w);
    }
    for (std::size_t offset = 0; offset < data.size(); offset += 2 * kBytesPerRecord) {
        const std::int64_t address = base + static_cast<std::int64_t>(offset / 2);
        // A record never crosses a 64 KiB boundary: the regions start on 16-byte bounds.
        if ((address >> 16) != upper) {
            upper = address >> 16;
            const std::string extended =
                "02000004" + hex4(static_cast<std::int32_t>(upper & 0xFFFF));
            out += ":" + extended + hex_checksum(extended) + "\r\n";
        }
        const std::string piece = data.substr(offset, 2 * kBytesPerRecord);
        const std::string record = hex2(static_cast<std::int32_t>(piece.size() / 2)) +
                                   hex4(static_cast<std::int32_t>(address & 0xFFFF)) + "00" + piece;
        out += ":" + record + hex_checksum(record) + "\r\n";
    }
}

// Word-wide memories being filled byte by byte from the file.
struct Contents {
    std::vector<Region> regions;

    static void put(std::uint16_t& word, std::int32_t byte_address, std::int32_t value) {
        if (byte_address % 2 == 0) {
            word = static_cast<std::uint16_t>((word & 0xFF00) | value);
        } else {
            word = static_cast<std::uint16_t>((word & 0x00FF) | (value << 8));
        }
    }

    // False when the chip has no location at that byte address.
    bool store(std::int64_t address, std::int32_t value) {
        for (Region& region : regions) {
            const std::int64_t offset = address - region.byte_base;
            if (offset >= 0 && offset < 2 * static_cast<std::int64_t>(region.words.size())) {
                put(region.words[static_cast<std::size_t>(offset / 2)],
                    static_cast<std::int32_t>(offset), value);
                return true;
            }
        }
        return false;
    }
};

ChipStateResult failure(int line, std::string message) {
    return {false, std::move(message), line};
}

}  // namespace

std::string chip_state_hex(const Pic14Chip& chip) {
    std::string out;
    std::int64_t upper = 0;
    for (const Region& region : layout(chip)) {
        write_records(out, upper, region.byte_base, region.words);
    }
    out += ":00000001FF\r\n";
    return out;
}

ChipStateResult load_chip_state_hex(Pic14Chip& chip, std::string_view text) {
    Pic14Chip blank = chip;
    blank.erase_everything();
    Contents contents;
    contents.regions = layout(blank);

    std::int64_t upper = 0;
    bool ended = false;
    int line_number = 0;
    std::istringstream lines{std::string(text)};
    for (std::string line; !ended && std::getline(lines, line);) {
        ++line_number;
        line = std::string(trimmed(line));
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] != ':') {
            return failure(line_number, "record does not begin with ':'");
        }
        const std::string record = upper_copy(line.substr(1));
        if (record.size() < 10 || record.size() % 2 != 0) {
            return failure(line_number, "record too short or of odd length");
        }
        const std::string body = record.substr(0, record.size() - 2);
        if (record.substr(record.size() - 2) != hex_checksum(body)) {
            return failure(line_number, "bad checksum");
        }
        const std::int32_t count = hexval2(body.substr(0, 2));
        const std::int32_t address = hexval4(body.substr(2, 4));
        const std::int32_t type = hexval2(body.substr(6, 2));
        const std::string data = body.substr(8);
        if (count < 0 || address < 0 || data.size() != static_cast<std::size_t>(2 * count)) {
            return failure(line_number, "byte count does not match the data");
        }
        switch (type) {
            case 0x00:
                for (std::int32_t k = 0; k < count; ++k) {
                    const std::int32_t value =
                        hexval2(data.substr(static_cast<std::size_t>(2 * k), 2));
                    if (value < 0) {
                        return failure(line_number, "invalid data byte");
                    }
                    if (!contents.store(upper + address + k, value)) {
                        ChipStateResult result = failure(
                            line_number, "address " +
                                             hex6(static_cast<std::int32_t>(upper + address + k)) +
                                             "h is not on this chip");
                        result.other_chip = true;
                        return result;
                    }
                }
                break;
            case 0x01:
                ended = true;
                break;
            case 0x04: {
                const std::int32_t high = count == 2 ? hexval4(data) : -1;
                if (high < 0) {
                    return failure(line_number, "invalid extended address record");
                }
                upper = static_cast<std::int64_t>(high) << 16;
                break;
            }
            default:
                return failure(line_number, "unsupported record type " + hex2(type));
        }
    }
    if (!ended) {
        return failure(0, "no end-of-file record");
    }

    const std::vector<Region>& regions = contents.regions;
    for (std::size_t r = 0; r < regions.size(); ++r) {
        const Region& region = regions[r];
        const bool is_flash = r == 0;
        const bool is_eeprom = r + 1 == regions.size();
        for (std::size_t i = 0; i < region.words.size(); ++i) {
            const auto address = region.first_address + static_cast<std::int32_t>(i);
            if (is_flash) {
                blank.set_flash(address, region.words[i]);
            } else if (is_eeprom) {
                blank.set_eeprom(address, static_cast<std::uint8_t>(region.words[i]));
            } else if (address == kEnhancedRevision && blank.info().revision_word) {
                blank.set_revision_word(region.words[i]);
            } else {
                blank.set_config_space(address, region.words[i]);
            }
        }
    }
    chip = std::move(blank);
    return {};
}

ChipStateResult load_chip_state_file(Pic14Chip& chip, const std::string& path) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        return failure(0, "cannot read " + path + ": " + file.error);
    }
    ChipStateResult result = load_chip_state_hex(chip, file.bytes);
    if (!result.ok) {
        result.message = path + (result.line > 0 ? ":" + std::to_string(result.line) : "") + ": " +
                         result.message;
    }
    return result;
}

ChipStateResult save_chip_state_file(const Pic14Chip& chip, const std::string& path) {
    if (const auto reason = replace_file(path, chip_state_hex(chip), TargetLinks::WrittenThrough)) {
        return failure(0, "cannot save the chip state file " + path + ": " + *reason);
    }
    return {};
}

}  // namespace corvanel
