// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Factory calibration a chip carries in memory that an erase would wipe: an
// oscillator calibration word in program memory (on some parts a RETLW at the
// last program word) and calibration bits in configuration word 1 (the band-gap
// bits of some parts). The device file names where they are:
//
//   calflash: AAAA MMMM VVVV   the program word at AAAA is calibration; a value
//                              read from a chip is only taken as such when its
//                              bits MMMM equal VVVV (3C00 3400: a RETLW)
//   calconfig: BBBB            the bits BBBB of configuration word 1 are calibration
//
// The algorithms save them before an erase and write them back afterwards (see
// the "cal..." instructions of the interpreter); Verify and Blank Check leave
// them out of the comparison, and a program loop writes the chip's own value
// over them, whatever the image holds there.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanel {

struct FlashCalibration {
    std::int32_t address = 0;
    std::int32_t check_mask = 0;
    std::int32_t check_value = 0;

    // True when a word read from the chip has the form of a factory value.
    [[nodiscard]] bool accepts(std::int32_t word) const {
        return word >= 0 && (word & check_mask) == check_value;
    }
};

// "AAAA MMMM VVVV" (letter case ignored); nothing unless all three are four hex
// digits and the address is a program-memory address (below 2000h).
[[nodiscard]] std::optional<FlashCalibration> parse_flash_calibration(std::string_view text);

// "BBBB": the calibration bits of configuration word 1; 0 (none) unless four hex digits.
[[nodiscard]] std::int32_t parse_config_calibration(std::string_view text);

// The message when the word read where the calibration should be is not one
// and the image holds none there either: the operation stops before anything
// is erased or written.
[[nodiscard]] std::string bad_calibration_text(const FlashCalibration& calibration,
                                               std::int32_t word);

inline constexpr std::string_view kBadCalibrationStatus =
    "Calibration word not found! Operation aborted.";
// The two reads of a calibration value differed: the line garbled one of them.
inline constexpr std::string_view kUnsteadyCalibrationStatus =
    "Calibration read twice with two values! Operation aborted.";

}  // namespace corvanel
