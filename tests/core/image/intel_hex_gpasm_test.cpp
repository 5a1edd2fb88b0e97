// SPDX-License-Identifier: GPL-3.0-or-later
// HEX files written by a real assembler from the programs in tests/data: the
// reader must put every word where the assembler's listing says it went.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"

namespace corvanel {
namespace {

#ifdef CORVANEL_GPASM_HEX_DIR

MemoryImage model(std::int32_t flash, std::int32_t eeprom) {
    MemoryImage image;
    image.flash_size = flash;
    image.eeprom_size = eeprom;
    image.config_erased1 = 0x3FFF;
    image.config_erased2 = 0x3FFF;
    image.config2_used = false;
    image.clear_image();
    return image;
}

struct Word {
    std::int32_t address;
    std::int32_t value;
};

struct Program {
    const char* file;
    std::int32_t flash_size;
    std::int32_t eeprom_size;
    std::int32_t config1;
    std::vector<Word> flash;
    std::vector<std::int32_t> eeprom;
    const char* status;
    // __IDLOCS 0x1234 gives one hex digit per user ID word.
    std::array<std::int32_t, kUserIdCount> user_ids{0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF};
};

TEST(IntelHexGpasm, AssembledProgramsLandWhereTheAssemblerPutThem) {
    const Program programs[] = {
        {"hex_16f628a.hex",
         2048,
         128,
         0x3F62,
         {{0x0000, 0x2805},   // goto start
          {0x0004, 0x0009},   // retfie
          {0x0005, 0x1683},   // bsf STATUS, RP0
          {0x0006, 0x0186},   // clrf TRISB
          {0x0007, 0x1283},   // bcf STATUS, RP0
          {0x0008, 0x3055},   // movlw 0x55
          {0x0009, 0x0086},   // movwf PORTB
          {0x000A, 0x280A},   // goto loop
          {0x07FF, 0x343C}},  // retlw 0x3C
         {0x12, 0x34, 'H', 'i', 0xAB},
         "Operation completed. Total 2048 (2K) program words loaded.",
         {0x0001, 0x0002, 0x0003, 0x0004}},
        {"hex_16f877a.hex",
         8192,
         256,
         0x3F32,
         {{0x0000, 0x3018},   // movlw 0x18
          {0x0001, 0x008A},   // movwf PCLATH
          {0x0002, 0x2800},   // goto far_away
          {0x0003, 0x0000},   // nop
          {0x1800, 0x30A5},   // movlw 0xA5
          {0x1801, 0x3E01},   // addlw 0x01
          {0x1802, 0x0063},   // sleep
          {0x1803, 0x2800},   // goto far_away
          {0x1FFF, 0x3477}},  // retlw 0x77
         {'P', 'I', 'C', 0x00, 0xFF, 0x80, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC3},
         "Operation completed. Total 8192 (8K) program words loaded."},
    };
    for (const auto& program : programs) {
        SCOPED_TRACE(program.file);
        MemoryImage image = model(program.flash_size, program.eeprom_size);
        const std::string path = std::string(CORVANEL_GPASM_HEX_DIR) + "/" + program.file;
        const HexOpenReport report = open_hex_file(path, image);
        ASSERT_TRUE(report.loaded) << report.messages.at(0).text;
        EXPECT_TRUE(report.messages.empty());
        EXPECT_EQ(report.status_text, program.status);
        EXPECT_EQ(image.config1, program.config1);
        EXPECT_EQ(image.user_ids, program.user_ids);

        MemoryImage expected = model(program.flash_size, program.eeprom_size);
        expected.config1 = program.config1;
        for (const auto& word : program.flash) {
            expected.flash[static_cast<std::size_t>(word.address)] = word.value;
        }
        for (std::size_t i = 0; i < program.eeprom.size(); ++i) {
            expected.eeprom[i] = program.eeprom[i];
        }
        EXPECT_EQ(image.flash, expected.flash);
        EXPECT_EQ(image.eeprom, expected.eeprom);

        // Written back, the program loads again into the same image.
        MemoryImage again = model(program.flash_size, program.eeprom_size);
        const HexOpenReport reload = open_hex_text(write_hex_text(image), path, again);
        ASSERT_TRUE(reload.loaded);
        EXPECT_EQ(again.flash, image.flash);
        EXPECT_EQ(again.eeprom, image.eeprom);
        EXPECT_EQ(again.config1, image.config1);
        EXPECT_EQ(again.user_ids, image.user_ids);
    }
}

#else

TEST(IntelHexGpasm, AssembledProgramsLandWhereTheAssemblerPutThem) {
    GTEST_SKIP() << "gpasm was not found when the tests were configured";
}

#endif

}  // namespace
}  // namespace corvanel
