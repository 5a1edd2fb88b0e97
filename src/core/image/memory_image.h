// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one in-memory copy of a chip: FLASH program words, EEPROM data bytes and
// the configuration words and user IDs, shaped by the applied model.
//
// Two address maps share the image. The classic mid-range keeps the user IDs
// at 2000h, the configuration words at 2007h and the EEPROM at 2100h in HEX
// files; the enhanced mid-range (12F1xxx/16F1xxx) keeps them at 8000h, 8007h
// (up to five words) and F000h. The model says which (see AddressMap).

#include <array>
#include <cstdint>
#include <vector>

#include "core/image/program_word.h"

namespace corvanel {

inline constexpr std::int32_t kBlankEepromByte = 0xFF;

// Chip word addresses of the 14-bit PIC address map.
inline constexpr std::int32_t kUserIdFirst = 0x2000;
inline constexpr std::int32_t kUserIdLast = 0x2003;
inline constexpr std::int32_t kDeviceIdAddress = 0x2006;
inline constexpr std::int32_t kConfig1Address = 0x2007;
inline constexpr std::int32_t kConfig2Address = 0x2008;
inline constexpr std::int32_t kEepromBase = 0x2100;
// The four user ID words at 2000h..2003h.
inline constexpr std::int32_t kUserIdCount = 4;
// The most configuration words any 14-bit part has (the 16F132xx: 8007h-800Dh).
inline constexpr int kMaxConfigWords = 7;
// The device ID word lies this far above the first user ID word.
inline constexpr std::int32_t kDeviceIdOffset = 6;

// Where the user IDs, the configuration words and the EEPROM lie, as chip word
// addresses (the EEPROM's as HEX files place it). Defaults: the classic map.
struct AddressMap {
    std::int32_t user_id_address = kUserIdFirst;
    std::int32_t config_address = kConfig1Address;
    std::int32_t eeprom_address = kEepromBase;

    [[nodiscard]] std::int32_t device_id_address() const {
        return user_id_address + kDeviceIdOffset;
    }
    // Configuration word `number` (1 to 7).
    [[nodiscard]] std::int32_t config_word_address(int number) const {
        return config_address + number - 1;
    }
    // Any area beyond the 16-bit byte addresses of a HEX file (the enhanced map):
    // such files need type 04 records.
    [[nodiscard]] bool classic() const {
        return user_id_address == kUserIdFirst && config_address == kConfig1Address &&
               eeprom_address == kEepromBase;
    }
    friend bool operator==(const AddressMap&, const AddressMap&) = default;
};

// Size limits the memory tables and the HEX writer rely on. The tables always
// show 8 rows of 8 cells, and every FLASH byte address must fit four hex digits.
inline constexpr std::int32_t kMinMemorySize = 64;
inline constexpr std::int32_t kMaxFlashSize = 0x8000;
// EEPROM bytes live at byte address 4200h onwards in a HEX file; 1000h bytes
// is four times the largest data EEPROM of any 14-bit part.
inline constexpr std::int32_t kMaxEepromSize = 0x1000;

// A model size that breaks those limits is brought inside them: negative or
// small sizes grow to 64 (EEPROM: 0 and below mean "no EEPROM"), sizes that are
// not a multiple of 8 are rounded up to the next multiple, and sizes above the
// maximum are cut to it. The chip is then simply larger or smaller than the
// image; nothing outside the image is ever read or written.
[[nodiscard]] std::int32_t normalised_flash_size(std::int32_t size);
[[nodiscard]] std::int32_t normalised_eeprom_size(std::int32_t size);

// Config1 and Config2 are words 1 and 2; ConfigMore is word 3 to 7, its index
// the word number minus one (2 to 6).
enum class Region { Flash, UserId, DeviceId, Config1, Config2, ConfigMore, Eeprom, Outside };

struct Location {
    Region region = Region::Outside;
    std::int32_t index = 0;  // cell index within flash or eeprom
};

struct MemoryImage {
    std::vector<std::int32_t> flash;
    std::vector<std::int32_t> eeprom;
    std::int32_t config1 = kBlankFlashWord;
    std::int32_t config2 = kBlankFlashWord;
    // Configuration words 3 to 7 of the parts that have them.
    std::array<std::int32_t, kMaxConfigWords - 2> config_more{
        kBlankFlashWord, kBlankFlashWord, kBlankFlashWord, kBlankFlashWord, kBlankFlashWord};
    // User ID words 2000h..2003h (8000h..8003h on the enhanced map); erased (3FFFh) unless a file,
    // the chip or the user gave them a value.
    std::array<std::int32_t, kUserIdCount> user_ids{kBlankFlashWord, kBlankFlashWord,
                                                    kBlankFlashWord, kBlankFlashWord};

    std::int32_t flash_size = kMinMemorySize;
    std::int32_t eeprom_size = 0;
    std::int32_t config_erased1 = kBlankFlashWord;
    std::int32_t config_erased2 = kBlankFlashWord;
    bool config2_used = false;
    std::array<std::int32_t, kMaxConfigWords - 2> config_erased_more{
        kBlankFlashWord, kBlankFlashWord, kBlankFlashWord, kBlankFlashWord, kBlankFlashWord};
    // The model's "configwords:" (1 to 7); 0 without the key: 2 when
    // config2_used, else 1.
    int config_words = 0;
    AddressMap map;

    // The configuration words the chip has, 1 to 7.
    [[nodiscard]] int config_count() const {
        if (config_words >= 1 && config_words <= kMaxConfigWords) {
            return config_words;
        }
        return config2_used ? 2 : 1;
    }

    // Re-creates the cells in the model's shape (normalising the sizes first),
    // blanks them and sets the configuration words to their erased values.
    void clear_image();

    // Highest index whose cell is not blank, or -1 for an all-blank memory.
    [[nodiscard]] std::int32_t last_used_flash() const;
    [[nodiscard]] std::int32_t last_used_eeprom() const;

    // Where a chip word address lands in this image.
    [[nodiscard]] Location locate(std::int32_t word_address) const;

    // Bounds-safe cell access: reads outside the cells give the blank value,
    // writes outside them are ignored and answer false.
    [[nodiscard]] std::int32_t flash_word(std::int32_t index) const;
    [[nodiscard]] std::int32_t eeprom_byte(std::int32_t index) const;
    bool set_flash_word(std::int32_t index, std::int32_t value);
    bool set_eeprom_byte(std::int32_t index, std::int32_t value);

    // Configuration word 1 to 7 by its number; other numbers read 3FFFh and are not stored.
    [[nodiscard]] std::int32_t config_word(int number) const;
    bool set_config_word(int number, std::int32_t value);
    // The erased value of configuration word 1 to 7 (the model's "configerased:").
    [[nodiscard]] std::int32_t config_erased(int number) const;
    void set_config_erased(int number, std::int32_t value);

    // User ID word 0..3 (the map's first ID word + index); other indexes read 3FFFh and are not
    // stored.
    [[nodiscard]] std::int32_t user_id(int index) const;
    bool set_user_id(int index, std::int32_t value);
    // Some user ID word is not erased: only then are the IDs written to the chip
    // and to HEX files, so an image without IDs works as it always did.
    [[nodiscard]] bool user_ids_used() const;
};

}  // namespace corvanel
