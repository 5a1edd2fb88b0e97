// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/calibration.h"

#include <algorithm>

#include "core/devices/device_identity.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::int32_t kConfigSpaceStart = 0x2000;

}  // namespace

std::optional<FlashCalibration> parse_flash_calibration(std::string_view text) {
    const std::int32_t address = hex_group(text, 0);
    const std::int32_t mask = hex_group(text, 5);
    const std::int32_t value = hex_group(text, 10);
    if (address < 0 || address >= kConfigSpaceStart || mask < 0 || value < 0) {
        return std::nullopt;
    }
    return FlashCalibration{address, mask, value & mask};
}

std::int32_t parse_config_calibration(std::string_view text) {
    return std::max(hex_group(text, 0), 0);
}

std::string bad_calibration_text(const FlashCalibration& calibration, std::int32_t word) {
    return "The calibration word at " + hex4h(calibration.address) + " reads " + hex4h(word) +
           ", which is not a factory calibration value (bits " + hex4h(calibration.check_mask) +
           " must be " + hex4h(calibration.check_value) +
           ").\r\nThe chip has lost its calibration, or it is not this model. The operation "
           "stopped before anything was erased or written, so that no wrong value is written "
           "back as the chip's calibration.\r\nTo give the chip a calibration value again, "
           "put it into the image at " +
           hex4h(calibration.address) + " and run the operation once more.";
}

}  // namespace corvanel
