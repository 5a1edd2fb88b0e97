// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_state_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/files/read_file.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"

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

// Appends the little-endian words as data records starting at a byte address.
void write_records(std::string& out, std::int32_t base, const std::vector<std::uint16_t>& words) {
    std::string data;
    for (const std::uint16_t w : words) {
        data += hex4_swapped(w);
    }
    for (std::size_t offset = 0; offset < data.size(); offset += 2 * kBytesPerRecord) {
        const std::string piece = data.substr(offset, 2 * kBytesPerRecord);
        const auto address = static_cast<std::int32_t>(base + offset / 2);
        const std::string record =
            hex2(static_cast<std::int32_t>(piece.size() / 2)) + hex4(address) + "00" + piece;
        out += ":" + record + hex_checksum(record) + "\r\n";
    }
}

// Word-wide memories being filled byte by byte from the file.
struct Contents {
    std::vector<std::uint16_t> flash;
    std::vector<std::uint16_t> config;
    std::vector<std::uint16_t> eeprom;

    static void put(std::uint16_t& word, std::int32_t byte_address, std::int32_t value) {
        if (byte_address % 2 == 0) {
            word = static_cast<std::uint16_t>((word & 0xFF00) | value);
        } else {
            word = static_cast<std::uint16_t>((word & 0x00FF) | (value << 8));
        }
    }

    // False when the chip has no location at that byte address.
    bool store(std::int64_t address, std::int32_t value) {
        const auto in = [address](std::int64_t base, std::size_t words) {
            return address >= base && address < base + 2 * static_cast<std::int64_t>(words);
        };
        const auto a = static_cast<std::int32_t>(address);
        if (in(0, flash.size())) {
            put(flash[static_cast<std::size_t>(a / 2)], a, value);
        } else if (in(kConfigByteBase, config.size())) {
            put(config[static_cast<std::size_t>((a - kConfigByteBase) / 2)], a, value);
        } else if (in(kEepromByteBase, eeprom.size())) {
            put(eeprom[static_cast<std::size_t>((a - kEepromByteBase) / 2)], a, value);
        } else {
            return false;
        }
        return true;
    }
};

ChipStateResult failure(int line, std::string message) {
    return {false, std::move(message), line};
}

}  // namespace

std::string chip_state_hex(const Pic14Chip& chip) {
    std::string out;
    std::vector<std::uint16_t> words;
    for (std::int32_t a = 0; a < chip.flash_size(); ++a) {
        words.push_back(chip.flash(a));
    }
    write_records(out, 0, words);
    words.clear();
    for (std::int32_t a = kConfigSpaceFirst; a <= config_last(chip); ++a) {
        words.push_back(chip.config_space(a));
    }
    write_records(out, kConfigByteBase, words);
    words.clear();
    for (std::int32_t i = 0; i < chip.eeprom_size(); ++i) {
        words.push_back(chip.eeprom(i));
    }
    write_records(out, kEepromByteBase, words);
    out += ":00000001FF\r\n";
    return out;
}

ChipStateResult load_chip_state_hex(Pic14Chip& chip, std::string_view text) {
    Pic14Chip blank = chip;
    blank.erase_everything();
    Contents contents;
    for (std::int32_t a = 0; a < blank.flash_size(); ++a) {
        contents.flash.push_back(blank.flash(a));
    }
    for (std::int32_t a = kConfigSpaceFirst; a <= config_last(blank); ++a) {
        contents.config.push_back(blank.config_space(a));
    }
    contents.eeprom.assign(static_cast<std::size_t>(blank.eeprom_size()), 0x00FF);

    std::int64_t upper = 0;
    bool ended = false;
    int line_number = 0;
    std::istringstream lines{std::string(text)};
    for (std::string line; !ended && std::getline(lines, line);) {
        ++line_number;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] != ':') {
            return failure(line_number, "record does not begin with ':'");
        }
        std::string record = line.substr(1);
        for (char& c : record) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
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
                        return failure(line_number,
                                       "address " +
                                           hex6(static_cast<std::int32_t>(upper + address + k)) +
                                           "h is not on this chip");
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

    for (std::size_t a = 0; a < contents.flash.size(); ++a) {
        blank.set_flash(static_cast<std::int32_t>(a), contents.flash[a]);
    }
    for (std::size_t i = 0; i < contents.config.size(); ++i) {
        blank.set_config_space(kConfigSpaceFirst + static_cast<std::int32_t>(i),
                               contents.config[i]);
    }
    for (std::size_t i = 0; i < contents.eeprom.size(); ++i) {
        blank.set_eeprom(static_cast<std::int32_t>(i),
                         static_cast<std::uint8_t>(contents.eeprom[i]));
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
    if (const auto reason = replace_file(path, chip_state_hex(chip))) {
        return failure(0, "cannot save the chip state file " + path + ": " + *reason);
    }
    return {};
}

}  // namespace corvanel
