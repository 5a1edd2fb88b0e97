// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/model_application.h"

#include <gtest/gtest.h>

#include "core/engine/mismatch_report.h"

namespace corvanel {
namespace {

DeviceDatabase database(const std::string& text) {
    DeviceDatabase db;
    EXPECT_EQ(parse_device_database(text, "t", db).status, DatabaseStatus::Loaded);
    return db;
}

TEST(SplitInstructions, CommasCutAndNothingIsTrimmed) {
    using L = InstructionList;
    EXPECT_EQ(split_instructions(""), (L{""}));
    EXPECT_EQ(split_instructions("Begin,END"), (L{"begin", "end"}));
    EXPECT_EQ(split_instructions("begin,end,"), (L{"begin", "end"}));
    EXPECT_EQ(split_instructions("begin,end,,"), (L{"begin", "end", ""}));
    EXPECT_EQ(split_instructions("a,,b"), (L{"a", "", "b"}));
    EXPECT_EQ(split_instructions(" s3f , w10"), (L{" s3f ", " w10"}));
    EXPECT_EQ(split_instructions(","), (L{""}));
}

TEST(ApplyModel, ConvertsEveryField) {
    const auto db = database(
        "programalgdef 2: Begin,S02-3FFF,end\r\n"
        "model: PIC16F877A\r\nflash: 8192\r\neeprom: 256\r\nconfigerased: 3fff 0003\r\n"
        "config2used: TRUE\r\nvoltageseq: VppVdd\r\nprogtime: 8.5\r\npagesize: 8\r\n"
        "programalg: 2\r\n");
    ActiveModel active;
    MemoryImage image;
    ASSERT_TRUE(apply_model(db, 1, active, image));
    image.clear_image();
    EXPECT_EQ(active.model_name, "PIC16F877A");
    EXPECT_EQ(image.flash_size, 8192);
    EXPECT_EQ(image.eeprom_size, 256);
    EXPECT_EQ(image.config_erased1, 0x3FFF);
    EXPECT_EQ(image.config_erased2, 0x0003);
    EXPECT_EQ(image.config2, 0x0003);
    EXPECT_TRUE(image.config2_used);
    EXPECT_EQ(active.voltage_sequence, VoltageSequence::VppFirst);
    EXPECT_EQ(active.programming_time, 8);  // 8.5 rounds to the even 8
    EXPECT_EQ(active.page_size, 8);
    EXPECT_EQ(active.program_list, (InstructionList{"begin", "s02-3fff", "end"}));
    EXPECT_EQ(active.erase_list, (InstructionList{""}));
}

TEST(ApplyModel, InvalidFlagsKeepThePreviousModelsValues) {
    const auto db = database(
        "model: First\r\nflash: 64\r\nconfig2used: true\r\nvoltageseq: vddvpp\r\n"
        "configerased: 3FFF\r\n"
        "model: Second\r\nflash: 64\r\nconfig2used: yes\r\nvoltageseq: vpp\r\n"
        "configerased: 12G4-00\r\n");
    ActiveModel active;
    MemoryImage image;
    ASSERT_TRUE(apply_model(db, 1, active, image));
    EXPECT_EQ(image.config_erased1, 0x3FFF);
    EXPECT_EQ(image.config_erased2, -1);  // shorter than nine characters
    ASSERT_TRUE(apply_model(db, 2, active, image));
    EXPECT_TRUE(image.config2_used);
    EXPECT_EQ(active.voltage_sequence, VoltageSequence::VddFirst);
    EXPECT_EQ(image.config_erased1, -1);
    EXPECT_EQ(image.config_erased2, -1);
    EXPECT_FALSE(apply_model(db, 3, active, image));
    EXPECT_FALSE(apply_model(db, 0, active, image));
    EXPECT_EQ(active.model_name, "Second");
}

TEST(ApplyModel, SizesOutsideTheImageLimitsAreBroughtInside) {
    // (A FLASH beyond 2000h words, or of none, is refused by the device file itself.)
    const std::tuple<const char*, const char*, std::int32_t, std::int32_t> cases[] = {
        {"1024", "64", 1024, 64}, {"1", "0", 64, 0},         {"2", "-5", 64, 0},
        {"10", "10", 64, 64},     {"100", "100", 104, 104},  {"8190", "99999", 8192, 0x1000},
        {"", "", 64, 0},          {"8192.5", "1", 8192, 64},
    };
    for (const auto& [flash, eeprom, flash_size, eeprom_size] : cases) {
        const auto db =
            database(std::string("model: M\r\nflash: ") + flash + "\r\neeprom: " + eeprom + "\r\n");
        ActiveModel active;
        MemoryImage image;
        ASSERT_TRUE(apply_model(db, 1, active, image));
        image.clear_image();
        EXPECT_EQ(image.flash_size, flash_size) << flash;
        EXPECT_EQ(image.eeprom_size, eeprom_size) << eeprom;
        EXPECT_EQ(static_cast<std::int32_t>(image.flash.size()), flash_size);
        EXPECT_EQ(static_cast<std::int32_t>(image.eeprom.size()), eeprom_size);
    }
}

TEST(MemoryImage, ClearLastUsedAndBoundsSafeAccess) {
    MemoryImage image;
    image.flash_size = 64;
    image.eeprom_size = 0;
    image.config_erased1 = 0x3FFF;
    image.config_erased2 = 0x0003;
    image.config2_used = false;
    image.clear_image();
    EXPECT_EQ(image.last_used_flash(), -1);
    EXPECT_EQ(image.last_used_eeprom(), -1);
    EXPECT_EQ(image.config2, 0x0003);  // cleared even when the chip has no word 2

    EXPECT_TRUE(image.set_flash_word(0, 0x1234));
    EXPECT_EQ(image.last_used_flash(), 0);
    EXPECT_TRUE(image.set_flash_word(10, 0x3FFF));
    EXPECT_EQ(image.last_used_flash(), 0);
    EXPECT_TRUE(image.set_flash_word(63, 0));
    EXPECT_EQ(image.last_used_flash(), 63);

    EXPECT_FALSE(image.set_flash_word(64, 1));
    EXPECT_FALSE(image.set_flash_word(-1, 1));
    EXPECT_FALSE(image.set_eeprom_byte(0, 1));
    EXPECT_EQ(image.flash_word(64), kBlankFlashWord);
    EXPECT_EQ(image.eeprom_byte(0), kBlankEepromByte);

    image.clear_image();
    image.clear_image();
    EXPECT_EQ(image.last_used_flash(), -1);
    EXPECT_EQ(image.config1, 0x3FFF);
}

TEST(MemoryImage, AddressMap) {
    MemoryImage image;
    image.flash_size = 1024;
    image.eeprom_size = 128;
    image.clear_image();
    const std::tuple<std::int32_t, Region, std::int32_t> cases[] = {
        {0, Region::Flash, 0},         {1023, Region::Flash, 1023},   {1024, Region::Outside, 0},
        {0x2000, Region::UserId, 0},   {0x2003, Region::UserId, 3},   {0x2004, Region::Outside, 0},
        {0x2006, Region::DeviceId, 0}, {0x2007, Region::Config1, 0},  {0x2008, Region::Config2, 0},
        {0x2100, Region::Eeprom, 0},   {0x217F, Region::Eeprom, 127}, {0x2180, Region::Outside, 0},
        {-1, Region::Outside, 0},
    };
    for (const auto& [address, region, index] : cases) {
        const Location where = image.locate(address);
        EXPECT_EQ(where.region, region) << std::hex << address;
        EXPECT_EQ(where.index, index) << std::hex << address;
    }
}

TEST(MismatchReport, LinesAndTheTwentyFifthMismatch) {
    MismatchReport report;
    report.reset_report();
    EXPECT_FALSE(report.record_mismatch("FLASH Word 0012h", "0000h", "3FFFh"));
    EXPECT_FALSE(report.record_mismatch("EEPROM Byte 0005h", "00h", "FFh"));
    EXPECT_EQ(report.mismatch_report,
              "Memory Location,   Read Value,   Expected,\r\n"
              "FLASH Word 0012h,   0000h,   3FFFh,\r\n"
              "EEPROM Byte 0005h,   00h,   FFh,\r\n");
    int brakes = 0;
    for (int i = 2; i < 30; ++i) {
        brakes += report.record_mismatch("CONF Word 2007h", "0000h", "3FFFh") ? 1 : 0;
    }
    EXPECT_EQ(brakes, 1);  // only the 25th answers true
    report.reset_report();
    EXPECT_EQ(report.mismatch_count, 0);
    EXPECT_EQ(report.mismatch_report, MismatchReport::header());
}

}  // namespace
}  // namespace corvanel
