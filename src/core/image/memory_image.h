// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one in-memory copy of a chip: FLASH program words, EEPROM data bytes and
// the two configuration words, shaped by the applied model.

#include <array>
#include <cstdint>
#include <vector>

namespace corvanel {

inline constexpr std::int32_t kBlankFlashWord = 0x3FFF;
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

enum class Region { Flash, UserId, DeviceId, Config1, Config2, Eeprom, Outside };

struct Location {
    Region region = Region::Outside;
    std::int32_t index = 0;  // cell index within flash or eeprom
};

struct MemoryImage {
    std::vector<std::int32_t> flash;
    std::vector<std::int32_t> eeprom;
    std::int32_t config1 = kBlankFlashWord;
    std::int32_t config2 = kBlankFlashWord;
    // User ID words 2000h..2003h; erased (3FFFh) unless a file, the chip or the
    // user gave them a value.
    std::array<std::int32_t, kUserIdCount> user_ids{kBlankFlashWord, kBlankFlashWord,
                                                    kBlankFlashWord, kBlankFlashWord};

    std::int32_t flash_size = kMinMemorySize;
    std::int32_t eeprom_size = 0;
    std::int32_t config_erased1 = kBlankFlashWord;
    std::int32_t config_erased2 = kBlankFlashWord;
    bool config2_used = false;

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

    // Configuration word 1 or 2 by its number; other numbers read 3FFFh and are not stored.
    [[nodiscard]] std::int32_t config_word(int number) const;
    bool set_config_word(int number, std::int32_t value);

    // User ID word 0..3 (2000h + index); other indexes read 3FFFh and are not stored.
    [[nodiscard]] std::int32_t user_id(int index) const;
    bool set_user_id(int index, std::int32_t value);
    // Some user ID word is not erased: only then are the IDs written to the chip
    // and to HEX files, so an image without IDs works as it always did.
    [[nodiscard]] bool user_ids_used() const;
};

}  // namespace corvanel
