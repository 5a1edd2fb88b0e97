// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/memory_image.h"

#include <algorithm>

namespace corvanel {

namespace {

std::int32_t round_up_to_row(std::int32_t size) {
    return (size + 7) / 8 * 8;
}

template <typename Cells>
std::int32_t last_not(const Cells& cells, std::int32_t blank) {
    for (auto i = static_cast<std::int32_t>(cells.size()) - 1; i >= 0; --i) {
        if (cells[static_cast<std::size_t>(i)] != blank) {
            return i;
        }
    }
    return -1;
}

}  // namespace

std::int32_t normalised_flash_size(std::int32_t size) {
    return round_up_to_row(std::clamp(size, kMinMemorySize, kMaxFlashSize));
}

std::int32_t normalised_eeprom_size(std::int32_t size) {
    if (size <= 0) {
        return 0;
    }
    return round_up_to_row(std::clamp(size, kMinMemorySize, kMaxEepromSize));
}

void MemoryImage::clear_image() {
    flash_size = normalised_flash_size(flash_size);
    eeprom_size = normalised_eeprom_size(eeprom_size);
    flash.assign(static_cast<std::size_t>(flash_size), kBlankFlashWord);
    eeprom.assign(static_cast<std::size_t>(eeprom_size), kBlankEepromByte);
    config1 = config_erased1;
    config2 = config_erased2;
    config_more = config_erased_more;
    user_ids.fill(kBlankFlashWord);
}

std::int32_t MemoryImage::last_used_flash() const {
    return last_not(flash, kBlankFlashWord);
}

std::int32_t MemoryImage::last_used_eeprom() const {
    return last_not(eeprom, kBlankEepromByte);
}

Location MemoryImage::locate(std::int32_t word_address) const {
    if (word_address >= 0 && word_address < static_cast<std::int32_t>(flash.size())) {
        return {Region::Flash, word_address};
    }
    const std::int32_t id_index = word_address - map.user_id_address;
    if (id_index >= 0 && id_index < kUserIdCount) {
        return {Region::UserId, id_index};
    }
    if (word_address == map.device_id_address()) {
        return {Region::DeviceId, 0};
    }
    // Every configuration word the chip has; the classic map always places
    // words 1 and 2, as it did before the count was known.
    const std::int32_t config_index = word_address - map.config_address;
    const int words = map.classic() ? std::max(config_count(), 2) : config_count();
    if (config_index >= 0 && config_index < words) {
        if (config_index < 2) {
            return {config_index == 0 ? Region::Config1 : Region::Config2, 0};
        }
        return {Region::ConfigMore, config_index};
    }
    const std::int32_t eeprom_index = word_address - map.eeprom_address;
    if (eeprom_index >= 0 && eeprom_index < static_cast<std::int32_t>(eeprom.size())) {
        return {Region::Eeprom, eeprom_index};
    }
    return {};
}

std::int32_t MemoryImage::flash_word(std::int32_t index) const {
    if (index < 0 || index >= static_cast<std::int32_t>(flash.size())) {
        return kBlankFlashWord;
    }
    return flash[static_cast<std::size_t>(index)];
}

std::int32_t MemoryImage::eeprom_byte(std::int32_t index) const {
    if (index < 0 || index >= static_cast<std::int32_t>(eeprom.size())) {
        return kBlankEepromByte;
    }
    return eeprom[static_cast<std::size_t>(index)];
}

bool MemoryImage::set_flash_word(std::int32_t index, std::int32_t value) {
    if (index < 0 || index >= static_cast<std::int32_t>(flash.size())) {
        return false;
    }
    flash[static_cast<std::size_t>(index)] = value;
    return true;
}

bool MemoryImage::set_eeprom_byte(std::int32_t index, std::int32_t value) {
    if (index < 0 || index >= static_cast<std::int32_t>(eeprom.size())) {
        return false;
    }
    eeprom[static_cast<std::size_t>(index)] = value;
    return true;
}

std::int32_t MemoryImage::config_word(int number) const {
    if (number == 1) {
        return config1;
    }
    if (number == 2) {
        return config2;
    }
    if (number > 2 && number <= kMaxConfigWords) {
        return config_more[static_cast<std::size_t>(number - 3)];
    }
    return kBlankFlashWord;
}

bool MemoryImage::set_config_word(int number, std::int32_t value) {
    if (number == 1) {
        config1 = value;
        return true;
    }
    if (number == 2) {
        config2 = value;
        return true;
    }
    if (number > 2 && number <= kMaxConfigWords) {
        config_more[static_cast<std::size_t>(number - 3)] = value;
        return true;
    }
    return false;
}

std::int32_t MemoryImage::config_erased(int number) const {
    if (number == 1) {
        return config_erased1;
    }
    if (number == 2) {
        return config_erased2;
    }
    if (number > 2 && number <= kMaxConfigWords) {
        return config_erased_more[static_cast<std::size_t>(number - 3)];
    }
    return kBlankFlashWord;
}

void MemoryImage::set_config_erased(int number, std::int32_t value) {
    if (number == 1) {
        config_erased1 = value;
    } else if (number == 2) {
        config_erased2 = value;
    } else if (number > 2 && number <= kMaxConfigWords) {
        config_erased_more[static_cast<std::size_t>(number - 3)] = value;
    }
}

std::int32_t MemoryImage::user_id(int index) const {
    if (index < 0 || index >= kUserIdCount) {
        return kBlankFlashWord;
    }
    return user_ids[static_cast<std::size_t>(index)];
}

bool MemoryImage::set_user_id(int index, std::int32_t value) {
    if (index < 0 || index >= kUserIdCount) {
        return false;
    }
    user_ids[static_cast<std::size_t>(index)] = value;
    return true;
}

bool MemoryImage::user_ids_used() const {
    return std::any_of(user_ids.begin(), user_ids.end(),
                       [](std::int32_t word) { return word != kBlankFlashWord; });
}

}  // namespace corvanel
