// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/board_eeprom_file.h"

#include <algorithm>
#include <sstream>

#include "core/files/read_file.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

constexpr std::size_t kBytesPerRecord = 16;

BoardEepromResult failure(int line, const std::string& message) {
    BoardEepromResult result;
    result.ok = false;
    result.message = message;
    result.line = line;
    return result;
}

}  // namespace

std::string board_eeprom_path(const std::string& state_file) {
    return state_file + ".board-eeprom.hex";
}

std::string board_eeprom_hex(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += kBytesPerRecord) {
        const std::size_t count = std::min(kBytesPerRecord, bytes.size() - at);
        std::string record =
            hex2(static_cast<std::int32_t>(count)) + hex4(static_cast<std::int32_t>(at)) + "00";
        for (std::size_t k = 0; k < count; ++k) {
            record += hex2(bytes[at + k]);
        }
        out += ":" + record + hex_checksum(record) + "\r\n";
    }
    out += ":00000001FF\r\n";
    return out;
}

BoardEepromResult load_board_eeprom_hex(std::string_view text, std::size_t size) {
    std::vector<std::uint8_t> bytes(size, 0xFF);
    int line_number = 0;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
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
        if (type == 0x01) {
            BoardEepromResult result;
            result.bytes = std::move(bytes);
            return result;
        }
        if (type != 0x00) {
            return failure(line_number, "unsupported record type " + hex2(type));
        }
        if (static_cast<std::size_t>(address) + static_cast<std::size_t>(count) > size) {
            return failure(line_number, "address " + hex4(address + count - 1) +
                                            "h is beyond the board's " + std::to_string(size) +
                                            "-byte EEPROM");
        }
        for (std::int32_t k = 0; k < count; ++k) {
            const std::int32_t value = hexval2(data.substr(static_cast<std::size_t>(2 * k), 2));
            if (value < 0) {
                return failure(line_number, "invalid data byte");
            }
            bytes[static_cast<std::size_t>(address + k)] = static_cast<std::uint8_t>(value);
        }
    }
    return failure(0, "no end-of-file record");
}

BoardEepromResult load_board_eeprom_file(const std::string& path, std::size_t size) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        return failure(0, "cannot read " + path + ": " + file.error);
    }
    BoardEepromResult result = load_board_eeprom_hex(file.bytes, size);
    if (!result.ok) {
        result.message = path + (result.line > 0 ? ":" + std::to_string(result.line) : "") + ": " +
                         result.message;
    }
    return result;
}

std::optional<std::string> save_board_eeprom_file(const std::string& path,
                                                  const std::vector<std::uint8_t>& bytes) {
    if (const auto reason =
            replace_file(path, board_eeprom_hex(bytes), TargetLinks::WrittenThrough)) {
        return "cannot save the board's EEPROM file " + path + ": " + *reason;
    }
    return std::nullopt;
}

}  // namespace corvanel
