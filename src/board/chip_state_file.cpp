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

StateRecord parse_state_record(std::string_view text) {
    StateRecord record;
    const std::string line(trimmed(text));
    if (line.empty() || line[0] == ';') {
        record.skip = true;
        return record;
    }
    auto refuse = [&](const char* why) {
        record.error = why;
        return record;
    };
    if (line[0] != ':') {
        return refuse("record does not begin with ':'");
    }
    const std::string digits = upper_copy(line.substr(1));
    if (digits.size() < 10 || digits.size() % 2 != 0) {
        return refuse("record too short or of odd length");
    }
    const std::string body = digits.substr(0, digits.size() - 2);
    if (digits.substr(digits.size() - 2) != hex_checksum(body)) {
        return refuse("bad checksum");
    }
    const std::int32_t count = hexval2(body.substr(0, 2));
    record.address = hexval4(body.substr(2, 4));
    record.type = hexval2(body.substr(6, 2));
    const std::string data = body.substr(8);
    if (count < 0 || record.address < 0 || data.size() != static_cast<std::size_t>(2 * count)) {
        return refuse("byte count does not match the data");
    }
    for (std::size_t at = 0; at < data.size(); at += 2) {
        const std::int32_t value = hexval2(data.substr(at, 2));
        if (value < 0) {
            return refuse("invalid data byte");
        }
        record.data.push_back(static_cast<std::uint8_t>(value));
    }
    return record;
}

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
        const StateRecord record = parse_state_record(line);
        if (record.skip) {
            continue;
        }
        if (!record.error.empty()) {
            return failure(line_number, record.error);
        }
        switch (record.type) {
            case 0x00:
                for (std::size_t k = 0; k < record.data.size(); ++k) {
                    const std::int64_t at = upper + record.address + static_cast<std::int64_t>(k);
                    if (!contents.store(at, record.data[k])) {
                        ChipStateResult result =
                            failure(line_number, "address " + hex6(static_cast<std::int32_t>(at)) +
                                                     "h is not on this chip");
                        result.other_chip = true;
                        return result;
                    }
                }
                break;
            case 0x01:
                ended = true;
                break;
            case 0x04:
                if (record.data.size() != 2) {
                    return failure(line_number, "invalid extended address record");
                }
                upper = static_cast<std::int64_t>(record.data[0] << 8 | record.data[1]) << 16;
                break;
            default:
                return failure(line_number, "unsupported record type " + hex2(record.type));
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
