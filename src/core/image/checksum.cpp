// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/checksum.h"

#include "core/devices/device_identity.h"

namespace corvanel {

std::uint16_t buffer_checksum(const MemoryImage& image, const DeviceModel& model) {
    std::uint32_t sum = 0;
    for (std::int32_t index = 0; index < image.flash_size; ++index) {
        sum += static_cast<std::uint32_t>(image.flash_word(index));
    }
    const ConfigMasks masks = parse_config_masks(model.configmask);
    sum += static_cast<std::uint32_t>(image.config_word(1) & masks.mask1);
    if (image.config2_used) {
        sum += static_cast<std::uint32_t>(image.config_word(2) & masks.mask2);
    }
    return static_cast<std::uint16_t>(sum & 0xFFFFU);
}

}  // namespace corvanel
