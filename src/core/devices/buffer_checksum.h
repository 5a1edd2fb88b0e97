// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The checksum of the buffer, the figure a user compares between programmers
// and against a build: the 16-bit sum of every program memory word of the
// model (blank words included), plus each configuration word the model uses
// with only its implemented bits ("configmask:"; all 14 bits without the key).
// EEPROM data and the user IDs are not part of it.

#include <cstdint>
#include <string>

#include "core/devices/model_application.h"
#include "core/image/memory_image.h"

namespace corvanel {

// The implemented bits of configuration word `number` (1, 2, ...) of the model:
// never more than the 14 bits of a program word.
[[nodiscard]] std::int32_t implemented_config_bits(const ActiveModel& model, int number);

// How many configuration words the image holds for its model.
[[nodiscard]] int config_word_count(const MemoryImage& image);

[[nodiscard]] std::uint16_t buffer_checksum(const MemoryImage& image, const ActiveModel& model);

// "Checksum: 1A2B": four upper-case hex digits.
[[nodiscard]] std::string checksum_text(std::uint16_t checksum);

}  // namespace corvanel
