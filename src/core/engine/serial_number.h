// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Serial numbers for production: each chip gets its own number, written into
// the image Program All programs, and the number steps on after each chip that
// was programmed well. The number is stored low byte first in `byte_count`
// bytes, either as a RETLW table in program memory (one word 34xxh per byte, so
// firmware reads byte n with a computed jump into the table) or as EEPROM bytes.
//
// On the command line: START[:STEP]@F:ADDRESS[/BYTES] (program memory, ADDRESS
// a hex word address) or START[:STEP]@E:ADDRESS[/BYTES] (EEPROM, ADDRESS a hex
// byte address); START and STEP decimal, STEP 1 and BYTES 2 unless given.
// There is no default location: the user names it, because wherever a default
// pointed (the reset vector) it would write over somebody's code.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"
#include "core/engine/region_selection.h"
#include "core/image/memory_image.h"

namespace corvanel {

enum class SerialLocation { RetlwTable, Eeprom };

inline constexpr int kMaxSerialBytes = 4;
inline constexpr std::int32_t kRetlwOpcode = 0x3400;

struct SerialNumber {
    std::uint64_t value = 1;
    std::uint64_t step = 1;
    SerialLocation location = SerialLocation::RetlwTable;
    // -1: no location chosen yet.
    std::int32_t address = -1;
    int byte_count = 2;

    // The largest number `byte_count` bytes hold.
    [[nodiscard]] std::uint64_t largest() const;
};

// The memory the number is written into is one of `regions`: a Program All that
// erases around those memories would leave the number unwritten.
[[nodiscard]] bool serial_in_regions(const SerialNumber& serial, const RegionSelection& regions);

// The production log's reason on the pass of the chip that took the last
// number the bytes hold: the series of chips ends there.
inline constexpr const char* kNoSerialLeft = "no serial number left";

// "1 byte", "2 bytes": the serial's byte count as the messages say it.
[[nodiscard]] std::string byte_count_text(int byte_count);

// Parses the command line's form; on a fault answers nothing and sets `error`.
[[nodiscard]] std::optional<SerialNumber> parse_serial_text(std::string_view text,
                                                            std::string& error);
// "F:3F0/2" or "E:10/2": where the number goes, as parse_serial_text reads it;
// empty when no location is chosen.
[[nodiscard]] std::string serial_location_text(const SerialNumber& serial);

// Why the number cannot be written into an image of that shape (no location,
// outside the memory, too large for its bytes, on the model's factory
// calibration word, which every operation writes back with the chip's own value
// and Verify does not compare), or nothing when it can.
[[nodiscard]] std::optional<std::string> serial_refusal(const SerialNumber& serial,
                                                        const MemoryImage& shape,
                                                        const ActiveModel& model);

// The location holds data of the loaded file (a program memory word that is
// neither erased nor a RETLW, an EEPROM byte that is not FFh): the text names
// the first such address and the word found. Nothing when the number only
// fills erased cells or an existing RETLW table.
[[nodiscard]] std::optional<std::string> serial_overwrites(const SerialNumber& serial,
                                                           const MemoryImage& image);

// Writes the current number into `image` (serial_refusal must have said nothing).
void write_serial(const SerialNumber& serial, MemoryImage& image);

// The number a chip's image holds at the serial's location; nothing when the
// locations do not hold one (a program memory word that is not a RETLW).
[[nodiscard]] std::optional<std::uint64_t> read_serial(const SerialNumber& serial,
                                                       const MemoryImage& image);

// The next number; nothing when it would not fit the bytes.
[[nodiscard]] std::optional<std::uint64_t> next_serial(const SerialNumber& serial);

}  // namespace corvanel
