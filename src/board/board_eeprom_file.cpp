// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/board_eeprom_file.h"

#include <algorithm>
#include <sstream>

#include "board/chip_state_file.h"
#include "core/files/read_file.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"

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
        const StateRecord record = parse_state_record(line);
        if (record.skip) {
            continue;
        }
        if (!record.error.empty()) {
            return failure(line_number, record.error);
        }
        if (record.type == 0x01) {
            BoardEepromResult result;
            result.bytes = std::move(bytes);
            return result;
        }
        if (record.type != 0x00) {
            return failure(line_number, "unsupported record type " + hex2(record.type));
        }
        const std::size_t count = record.data.size();
        if (static_cast<std::size_t>(record.address) + count > size) {
            return failure(line_number,
                           "address " +
                               hex4(record.address + static_cast<std::int32_t>(count) - 1) +
                               "h is beyond the board's " + std::to_string(size) + "-byte EEPROM");
        }
        std::copy(record.data.begin(), record.data.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(record.address));
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
