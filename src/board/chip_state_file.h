// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The contents of an emulated chip as an Intel HEX file, in the layout the
// program itself uses: FLASH word a at byte address 2a, low byte first; the
// configuration space 2000h-2008h (user IDs, reserved words, device ID,
// configuration words, factory calibration words) at byte addresses 4000h-4011h,
// up to 200Ah (4015h) on chips with calibration words there; EEPROM byte i at byte
// address 4200h + 2i (high byte 00). Enhanced mid-range chips keep their own map:
// configuration space from 8000h at byte 10000h up to the last configuration or
// calibration word (the revision word 8005h included), the 16F183xx's calibration
// words E000h-E003h at byte 1C000h, EEPROM byte i at byte 1E000h + 2i, behind type
// 04 records. Saving writes every location, in records of
// 16 data bytes (type 00) and the end record (type 01), CR LF line ends. Loading
// reads types 00, 01 and 04 (skipping blank lines and lines beginning with ';'), starts from an
// erased chip, ignores the device ID (it belongs to the chip) and changes the chip only when the
// whole file is good. A location the file does not give keeps the chip's own factory
// calibration, so files written before the calibration words were saved still load.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "board/pic14_chip.h"

namespace corvanel {

struct ChipStateResult {
    bool ok = true;
    std::string message;  // empty on success
    int line = 0;         // line of the file the message is about, 0 for none
    // The file gives a location this chip lacks: it was saved for another one.
    bool other_chip = false;
};

// One line of a state file (the chip's, or the simulated board's EEPROM beside it):
// a blank line or one beginning with ';' is skipped; any other must be a record
// whose length, checksum, byte count and data digits check out.
struct StateRecord {
    bool skip = false;
    std::string error;  // why the line is no record; empty when it is one
    std::int32_t address = 0;
    std::int32_t type = 0;
    std::vector<std::uint8_t> data;
};
[[nodiscard]] StateRecord parse_state_record(std::string_view line);

[[nodiscard]] std::string chip_state_hex(const Pic14Chip& chip);
[[nodiscard]] ChipStateResult load_chip_state_hex(Pic14Chip& chip, std::string_view text);

// The same through a file. Saving writes a temporary file beside the target and
// renames it over the target, so an interrupted save never leaves half a file.
[[nodiscard]] ChipStateResult load_chip_state_file(Pic14Chip& chip, const std::string& path);
[[nodiscard]] ChipStateResult save_chip_state_file(const Pic14Chip& chip, const std::string& path);

}  // namespace corvanel
