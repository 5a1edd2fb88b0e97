// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/buffer_checksum.h"

#include "core/image/hex_text.h"

namespace corvanel {

std::int32_t implemented_config_bits(const ActiveModel& model, int number) {
    return model.config_mask(number) & kBlankFlashWord;
}

int config_word_count(const MemoryImage& image) {
    return image.config_count();
}

std::uint16_t buffer_checksum(const MemoryImage& image, const ActiveModel& model) {
    std::uint32_t sum = 0;
    // Every cell the model has, so that an all-blank chip of 1K words sums to
    // 1024 x 3FFFh and two programmers agree on it.
    for (std::int32_t index = 0; index < image.flash_size; ++index) {
        sum += static_cast<std::uint32_t>(image.flash_word(index) & kBlankFlashWord);
    }
    for (int number = 1; number <= config_word_count(image); ++number) {
        sum += static_cast<std::uint32_t>(image.config_word(number) &
                                          implemented_config_bits(model, number));
    }
    return static_cast<std::uint16_t>(sum & 0xFFFFU);
}

std::string checksum_text(std::uint16_t checksum) {
    return "Checksum: " + hex4(checksum);
}

}  // namespace corvanel
