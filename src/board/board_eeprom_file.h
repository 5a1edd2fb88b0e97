// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The programmer board's own EEPROM (the ATmega328P's 1 KB, where the firmware
// keeps the Vpp calibration of 104 48h), kept beside a chip state file so that a
// simulated board restarted with the same state file is the board it was: the
// chip in FILE, the board's EEPROM in FILE.board-eeprom.hex.
//
// The file is Intel HEX as AVR tools write an EEPROM image: byte i at address i,
// records of 16 data bytes (type 00), the end record (type 01), CR LF line ends.
// Loading starts from an erased EEPROM (FFh throughout), reads types 00 and 01
// (skipping blank lines and lines beginning with ';'), refuses an address beyond
// the EEPROM, and answers the bytes only when the whole file is good.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanel {

// "chip.hex" -> "chip.hex.board-eeprom.hex".
[[nodiscard]] std::string board_eeprom_path(const std::string& state_file);

[[nodiscard]] std::string board_eeprom_hex(const std::vector<std::uint8_t>& bytes);

struct BoardEepromResult {
    bool ok = true;
    std::string message;  // empty on success; from a file "PATH:LINE: reason"
    int line = 0;         // line of the file the message is about, 0 for none
    std::vector<std::uint8_t> bytes;
};

// An EEPROM of `size` bytes from the file's text.
[[nodiscard]] BoardEepromResult load_board_eeprom_hex(std::string_view text, std::size_t size);
[[nodiscard]] BoardEepromResult load_board_eeprom_file(const std::string& path, std::size_t size);

// Writes a temporary file beside `path` and renames it over `path`; the reason
// when that failed.
[[nodiscard]] std::optional<std::string> save_board_eeprom_file(
    const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace corvanel
