// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced mid-range address map: the model keys that place the user IDs,
// configuration words and EEPROM, the image's N configuration words, and HEX
// files with type 04 records (user IDs at 10000h, configuration at 1000Eh,
// EEPROM at 1E000h).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/devices/address_map_keys.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/image/hex_text.h"
#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"
#include "support/test_devices.h"

namespace corvanel {
namespace {

struct Applied {
    DeviceDatabase database;
    ActiveModel model;
    MemoryImage image;
};

// Model `number` of the enhanced test devices, applied, with a cleared image.
Applied enhanced(int number) {
    Applied applied;
    const DatabaseLoadResult loaded =
        parse_device_database(test::kTestDevicesEnhanced, "enhanced.txt", applied.database);
    EXPECT_EQ(loaded.status, DatabaseStatus::Loaded) << loaded.message;
    EXPECT_TRUE(apply_model(applied.database, number, applied.model, applied.image));
    applied.image.clear_image();
    return applied;
}

std::string lines(const std::vector<std::string>& records) {
    std::string text;
    for (const auto& record : records) {
        text += record + "\r\n";
    }
    return text;
}

TEST(EnhancedMap, ModelKeysShapeTheImage) {
    const Applied f1847 = enhanced(1);
    EXPECT_EQ(f1847.image.config_count(), 2);
    EXPECT_TRUE(f1847.image.config2_used);
    EXPECT_EQ(f1847.image.map.user_id_address, 0x8000);
    EXPECT_EQ(f1847.image.map.config_address, 0x8007);
    EXPECT_EQ(f1847.image.map.eeprom_address, 0xF000);
    EXPECT_EQ(f1847.image.map.device_id_address(), 0x8006);
    EXPECT_TRUE(f1847.model.low_voltage_entry);
    EXPECT_FALSE(f1847.model.revision_address.has_value());
    EXPECT_EQ(f1847.model.config_mask(2), 0x3703);

    const Applied f1614 = enhanced(2);
    EXPECT_EQ(f1614.image.config_count(), 3);
    EXPECT_EQ(f1614.model.config_mask(3), 0x3F7F);
    EXPECT_EQ(f1614.model.revision_address, 0x8005);
    EXPECT_EQ(f1614.image.config_word(3), 0x3FFF);

    const Applied f18313 = enhanced(3);
    EXPECT_EQ(f18313.image.config_count(), 4);
    EXPECT_EQ(f18313.model.config_mask(4), 0x0003);
    EXPECT_FALSE(f18313.model.low_voltage_entry);
    // Word 5 is no word of this chip: it reads blank and keeps the whole mask.
    EXPECT_EQ(f18313.model.config_mask(5), kWholeWordMask);

    // Applying a classic model after an enhanced one brings the classic map back.
    Applied classic = enhanced(3);
    DeviceDatabase database;
    ASSERT_EQ(parse_device_database(test::kTestDevices, "devs.txt", database).status,
              DatabaseStatus::Loaded);
    ASSERT_TRUE(apply_model(database, 3, classic.model, classic.image));
    EXPECT_TRUE(classic.image.map.classic());
    EXPECT_EQ(classic.image.config_count(), 2);
    EXPECT_FALSE(classic.model.low_voltage_entry);
}

TEST(EnhancedMap, LocateMapsTheModelsAddresses) {
    const Applied f1614 = enhanced(2);
    struct Case {
        std::int32_t address;
        Region region;
        std::int32_t index;
    };
    const std::vector<Case> cases{
        {0x0FFF, Region::Flash, 0x0FFF}, {0x1000, Region::Outside, 0},
        {0x2000, Region::Outside, 0},    {0x2007, Region::Outside, 0},
        {0x8000, Region::UserId, 0},     {0x8003, Region::UserId, 3},
        {0x8004, Region::Outside, 0},    {0x8005, Region::Outside, 0},
        {0x8006, Region::DeviceId, 0},   {0x8007, Region::Config1, 0},
        {0x8008, Region::Config2, 0},    {0x8009, Region::ConfigMore, 2},
        {0x800A, Region::Outside, 0},    {0xF000, Region::Outside, 0},  // no EEPROM
    };
    for (const Case& c : cases) {
        const Location where = f1614.image.locate(c.address);
        EXPECT_EQ(where.region, c.region) << std::hex << c.address;
        EXPECT_EQ(where.index, c.index) << std::hex << c.address;
    }
    const Applied f1847 = enhanced(1);
    EXPECT_EQ(f1847.image.locate(0xF000).region, Region::Eeprom);
    EXPECT_EQ(f1847.image.locate(0xF0FF).index, 0xFF);
    EXPECT_EQ(f1847.image.locate(0xF100).region, Region::Outside);
    // Two words: 8009h is a calibration word, not the image's.
    EXPECT_EQ(f1847.image.locate(0x8009).region, Region::Outside);
}

// The writer's records for the enhanced map, exactly; the classic records are
// checked byte for byte in intel_hex_writer_test.cpp.
TEST(EnhancedMap, WriterPutsTheUpperAreasBehindAType04Record) {
    Applied f1847 = enhanced(1);
    f1847.image.config1 = 0x3FE4;
    f1847.image.config2 = 0x1FFF;
    EXPECT_EQ(write_hex_text(f1847.image),
              lines({":020000040001F9", ":04000E00E43FFF1FAD", ":00000001FF"}));

    f1847.image.flash[0] = 0x2805;
    f1847.image.user_ids = {0x0001, 0x0002, 0x0003, 0x0004};
    f1847.image.eeprom[0] = 0x12;
    f1847.image.eeprom[1] = 0x34;
    EXPECT_EQ(write_hex_text(f1847.image), lines({
                                               ":020000000528D1",
                                               ":020000040001F9",
                                               ":080000000100020003000400EE",
                                               ":04000E00E43FFF1FAD",
                                               ":04E0000012003400D6",
                                               ":00000001FF",
                                           }));
}

struct RoundTripCase {
    const char* what;
    int model;  // of the enhanced test devices
    std::vector<std::int32_t> config;
    bool ids;
    std::int32_t eeprom_bytes;  // filled from byte 0 up
};

// Whatever the image holds, the file written for it loads back into the same
// image under the same model: every configuration word, the user IDs and the
// EEPROM behind the type 04 record.
TEST(EnhancedMap, HexRoundTrip) {
    const std::vector<RoundTripCase> cases{
        {"two words, IDs and EEPROM", 1, {0x3FE4, 0x1FFF}, true, 256},
        {"two words, no IDs, part of the EEPROM", 1, {0x0F84, 0x3703}, false, 17},
        {"three words", 2, {0x0EE3, 0x3F87, 0x3F7F}, true, 0},
        {"four words and EEPROM", 3, {0x2977, 0x3AEF, 0x2003, 0x0003}, true, 256},
        {"four words, all erased", 3, {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, false, 0},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.what);
        Applied written = enhanced(c.model);
        MemoryImage& image = written.image;
        for (std::int32_t i = 0; i < image.flash_size; i += 7) {
            image.flash[static_cast<std::size_t>(i)] = (i * 37) & 0x3FFF;
        }
        for (std::size_t k = 0; k < c.config.size(); ++k) {
            ASSERT_TRUE(image.set_config_word(static_cast<int>(k) + 1, c.config[k]));
        }
        if (c.ids) {
            image.user_ids = {0x0123, 0x3FFF, 0x0000, 0x2ABC};
        }
        for (std::int32_t i = 0; i < c.eeprom_bytes; ++i) {
            image.eeprom[static_cast<std::size_t>(i)] = (i * 13 + 1) & 0xFF;
        }
        const std::string text = write_hex_text(image);
        EXPECT_NE(text.find(":020000040001F9\r\n"), std::string::npos);

        Applied read = enhanced(c.model);
        const HexReadResult result = load_hex_text(text, read.image);
        ASSERT_TRUE(result.loaded);
        EXPECT_EQ(result.out_of_range_count, 0) << result.out_of_range_head;
        EXPECT_TRUE(result.end_record);
        EXPECT_EQ(read.image.flash, image.flash);
        EXPECT_EQ(read.image.eeprom, image.eeprom);
        EXPECT_EQ(read.image.user_ids, image.user_ids);
        for (int number = 1; number <= kMaxConfigWords; ++number) {
            EXPECT_EQ(read.image.config_word(number), image.config_word(number)) << number;
        }
        // And the file written again is the same file.
        EXPECT_EQ(write_hex_text(read.image), text);
    }
}

// Seven configuration words (the 16F132xx, 8007h-800Dh): the model key, the
// sixth and seventh word's erased value and mask, where a HEX file's 1001Ah and
// 1001Ch land, and the file written back.
TEST(EnhancedMap, SevenConfigurationWords) {
    const std::string text =
        "model: PIC16F13276\r\nflash: 16384\r\neeprom: 256\r\nidaddr: 8000\r\n"
        "configaddr: 8007\r\neepromaddr: F000\r\nconfigwords: 7\r\n"
        "configerased: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFE 3FFD\r\n"
        "configmask: 3977 3BE7 3F7F 2B9F 0003 1234 0801\r\n";
    Applied f13276;
    const DatabaseLoadResult loaded = parse_device_database(text, "seven.txt", f13276.database);
    ASSERT_EQ(loaded.status, DatabaseStatus::Loaded) << loaded.message;
    ASSERT_TRUE(apply_model(f13276.database, 1, f13276.model, f13276.image));
    MemoryImage& image = f13276.image;
    image.clear_image();
    EXPECT_EQ(image.config_count(), 7);
    EXPECT_EQ(image.config_word(6), 0x3FFE);
    EXPECT_EQ(image.config_word(7), 0x3FFD);
    EXPECT_EQ(f13276.model.config_mask(6), 0x1234);
    EXPECT_EQ(f13276.model.config_mask(7), 0x0801);
    EXPECT_EQ(image.locate(0x800D).region, Region::ConfigMore);
    EXPECT_EQ(image.locate(0x800D).index, 6);
    EXPECT_EQ(image.locate(0x800E).region, Region::Outside);

    // CONFIG1-CONFIG7, low byte first.
    const std::string words = "EC3FFF3F9F3FFF1FFE3F34120108";
    const std::string file = lines(
        {":020000040001F9", ":0E000E00" + words + hex_checksum("0E000E00" + words), ":00000001FF"});
    const HexReadResult result = load_hex_text(file, image);
    ASSERT_TRUE(result.loaded);
    EXPECT_EQ(result.out_of_range_count, 0) << result.out_of_range_head;
    const std::vector<std::int32_t> expected{0x3FEC, 0x3FFF, 0x3F9F, 0x1FFF,
                                             0x3FFE, 0x1234, 0x0801};
    for (int number = 1; number <= 7; ++number) {
        EXPECT_EQ(image.config_word(number), expected[static_cast<std::size_t>(number - 1)])
            << number;
    }
    // A word past the seventh is no word of the image.
    MemoryImage beyond = image;
    const HexReadResult eighth = load_hex_text(
        lines({":020000040001F9", ":02001C00FF3F" + hex_checksum("02001C00FF3F"), ":00000001FF"}),
        beyond);
    EXPECT_EQ(eighth.out_of_range_count, 1);
    EXPECT_EQ(eighth.out_of_range_head, "800E, ");

    const std::string written = write_hex_text(image);
    EXPECT_NE(written.find(":0E000E00" + words), std::string::npos) << written;
    MemoryImage again = image;
    again.clear_image();
    ASSERT_TRUE(load_hex_text(written, again).loaded);
    EXPECT_EQ(write_hex_text(again), written);
}

TEST(EnhancedMap, ReaderTakesWhatAssemblersWrite) {
    // As gpasm writes a 16F1847 file: the device ID at 1000Ch is accepted
    // and ignored; a calibration word at 10012h is no word of the image.
    Applied f1847 = enhanced(1);
    const HexReadResult ok =
        load_hex_text(lines({":020000040001F9", ":04000E00E43FFF1FAD",
                             ":02000C008014" + hex_checksum("02000C008014"), ":00000001FF"}),
                      f1847.image);
    ASSERT_TRUE(ok.loaded);
    EXPECT_EQ(ok.out_of_range_count, 0);
    EXPECT_EQ(f1847.image.config1, 0x3FE4);
    EXPECT_EQ(f1847.image.config2, 0x1FFF);

    Applied again = enhanced(1);
    const HexReadResult calibration = load_hex_text(
        lines({":020000040001F9", ":020012003412" + hex_checksum("020012003412"), ":00000001FF"}),
        again.image);
    ASSERT_TRUE(calibration.loaded);
    EXPECT_EQ(calibration.out_of_range_count, 1);
    EXPECT_EQ(calibration.out_of_range_head, "8009, ");

    // A classic file's configuration at 400Eh is no configuration of an enhanced model.
    Applied classic_file = enhanced(1);
    const HexReadResult classic = load_hex_text(
        lines({":04400E00E43FFF1F" + hex_checksum("04400E00E43FFF1F"), ":00000001FF"}),
        classic_file.image);
    ASSERT_TRUE(classic.loaded);
    EXPECT_EQ(classic.out_of_range_count, 2);
    EXPECT_EQ(classic_file.image.config1, 0x3FFF);
}

TEST(EnhancedMap, DatabaseRefusesUnsoundMapKeys) {
    const std::string head = "model: X\r\nflash: 2048\r\n";
    struct Case {
        std::string lines;  // after the model's first two lines (lines 3 on)
        int line;
        std::string says;
    };
    const std::vector<Case> cases{
        {"configwords: 8\r\n", 3, "1 to 7"},
        {"configwords: 0\r\n", 3, "1 to 7"},
        {"configwords: two\r\n", 3, "1 to 7"},
        {"configaddr: 80G7\r\n", 3, "hex digits"},
        {"idaddr: 18000\r\n", 3, "hex digits"},
        {"eepromaddr: F0000\r\n", 3, "hex digits"},
        {"revaddr: x\r\n", 3, "hex digits"},
        {"lvp: yes\r\n", 3, "true or false"},
        {"configerased: 3FFF 3FFF\r\nconfigwords: 3\r\n", 3, "3 configuration words"},
        {"configwords: 4\r\nconfigmask: 2977 3AEF 2003\r\n", 4, "4 configuration words"},
        {"configwords: 1\r\nconfigerased: 3FFF 3FFF\r\n", 4, "1 configuration word:"},
        {"configwords: 2\r\nconfigmask: 3FFF 3FFFF\r\n", 4, "2 configuration words"},
        // FLASH up to the model's user IDs: 4000h words would reach the classic 2000h.
        {"flash: 16384\r\n", 3, "2000h"},
        {"flash: 16384\r\nidaddr: 3000\r\n", 3, "3000h"},
        // No program memory at all is no chip, not the smallest image.
        {"flash: 0\r\n", 3, "at least one word"},
        {"configwords: 2\r\nflash: -5\r\n", 4, "at least one word"},
    };
    for (const Case& c : cases) {
        DeviceDatabase database;
        const DatabaseLoadResult result =
            parse_device_database(head + c.lines + "model: Y\r\n", "e.txt", database);
        EXPECT_EQ(result.status, DatabaseStatus::BadLine) << c.lines;
        EXPECT_EQ(result.line_number, c.line) << c.lines;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    }
    // The enhanced map lets FLASH grow to the user IDs at 8000h.
    const std::vector<std::string> sound{
        "configwords: 5\r\nconfigerased: 3FFF 3FFF 3FFF 3FFF 3FFF\r\n",
        "configwords: 7\r\nconfigmask: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 0001\r\n",
        "flash: 16384\r\nidaddr: 8000\r\nconfigaddr: 8007\r\n",
        "configerased: 3FFF 3FFF 3FFF\r\n",  // without a count, as before: not checked
        "lvp: FALSE\r\nrevaddr: 8005\r\neepromaddr: f000\r\n",
    };
    for (const std::string& text : sound) {
        DeviceDatabase database;
        const DatabaseLoadResult result = parse_device_database(head + text, "e.txt", database);
        EXPECT_EQ(result.status, DatabaseStatus::Loaded) << text << result.message;
    }
}

}  // namespace
}  // namespace corvanel
