// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The buffer's checksum as programmers show it for these parts: the 16-bit
// sum of every program memory word of the model (blank words included) plus
// each configuration word ANDed with the bits the chip implements. EEPROM and
// user IDs are not part of it.

#include <cstdint>

#include "core/devices/device_database.h"
#include "core/image/memory_image.h"

namespace corvanel {

[[nodiscard]] std::uint16_t buffer_checksum(const MemoryImage& image, const DeviceModel& model);

}  // namespace corvanel
