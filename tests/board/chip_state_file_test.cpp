// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/chip_state_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "core/image/hex_text.h"

namespace corvanel {
namespace {

Pic14Chip random_chip(const char* name, unsigned seed) {
    Pic14Chip chip = *Pic14Chip::create(name);
    std::mt19937 random(seed);
    for (std::int32_t a = 0; a < chip.flash_size(); ++a) {
        chip.set_flash(a, static_cast<std::uint16_t>(random() & 0x3FFF));
    }
    for (std::int32_t i = 0; i < chip.eeprom_size(); ++i) {
        chip.set_eeprom(i, static_cast<std::uint8_t>(random()));
    }
    for (std::int32_t a = 0x2000; a <= 0x2008; ++a) {
        chip.set_config_space(a, static_cast<std::uint16_t>(random() & 0x3FFF));
    }
    return chip;
}

std::string record(const std::string& body) {
    return ":" + body + hex_checksum(body) + "\r\n";
}

TEST(ChipStateFile, SavedStateLoadsBackAndSavesIdentically) {
    for (const char* name : {"PIC16F877A", "PIC16F88", "PIC12F629", "PIC16F84A"}) {
        const Pic14Chip original = random_chip(name, 7);
        const std::string text = chip_state_hex(original);
        Pic14Chip loaded = *Pic14Chip::create(name);
        const ChipStateResult result = load_chip_state_hex(loaded, text);
        ASSERT_TRUE(result.ok) << name << ": " << result.message;
        EXPECT_EQ(chip_state_hex(loaded), text) << name;
        for (std::int32_t a = 0x2000; a <= 0x2008; ++a) {
            EXPECT_EQ(loaded.config_space(a), original.config_space(a)) << name << " " << a;
        }
        EXPECT_EQ(loaded.eeprom(loaded.eeprom_size() - 1),
                  original.eeprom(original.eeprom_size() - 1));
    }
}

// Enhanced parts keep their own map: configuration space at 8000h (byte 10000h),
// the 16F183xx's calibration words at E000h, EEPROM at F000h (byte 1E000h), behind
// type 04 records; configuration words 3 and 4, calibration and revision included.
TEST(ChipStateFile, EnhancedChipsKeepTheirMapAndEveryWord) {
    for (const char* name :
         {"PIC16F18325", "PIC16F1619", "PIC16F1829", "PIC16F1459", "PIC16F18446", "PIC16F15244"}) {
        SCOPED_TRACE(name);
        Pic14Chip original = *Pic14Chip::create(name, 3);
        original.set_revision(9);
        original.set_flash(0x1FF, 0x1234);
        original.set_eeprom(0xFF, 0x5A);
        original.set_config_space(0x8002, 0x0042);
        for (int k = 1; k <= original.config_word_count(); ++k) {
            original.set_config_space(0x8006 + k, static_cast<std::uint16_t>(0x3FFF - k));
        }
        const std::string text = chip_state_hex(original);
        EXPECT_NE(text.find(record("020000040001")), std::string::npos);
        if (original.eeprom_size() > 0) {
            EXPECT_NE(text.find(":10E1F000FF00FF00FF00FF00FF00FF00FF005A00"), std::string::npos);
        }
        // Other calibration; the revision word comes from the file, the ID word's
        // revision bits belong to the chip.
        Pic14Chip loaded = *Pic14Chip::create(name, 4);
        if (!loaded.info().revision_word) {
            loaded.set_revision(9);
        }
        const ChipStateResult result = load_chip_state_hex(loaded, text);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(chip_state_hex(loaded), text);
        EXPECT_EQ(loaded.flash(0x1FF), 0x1234);
        EXPECT_EQ(loaded.eeprom(0xFF), original.eeprom(0xFF));
        EXPECT_EQ(loaded.config_space(0x8002), 0x0042);
        EXPECT_EQ(loaded.revision_word(), original.revision_word());
        for (int k = 1; k <= original.config_word_count(); ++k) {
            EXPECT_EQ(loaded.config_word(k), original.config_word(k)) << k;
        }
        for (const std::int32_t a : original.info().calibration_words) {
            EXPECT_EQ(loaded.config_space(a), original.config_space(a)) << a;
        }
    }
    // A classic address is not on an enhanced chip.
    Pic14Chip chip = *Pic14Chip::create("PIC16F1829");
    EXPECT_FALSE(load_chip_state_hex(chip, record("02400E00FF3F") + ":00000001FF\r\n").ok);
}

TEST(ChipStateFile, UsesTheProgramsAddressLayout) {
    Pic14Chip chip = *Pic14Chip::create("PIC16F84A");
    chip.set_flash(0, 0x2805);
    chip.set_config_space(0x2007, 0x3FF1);
    chip.set_eeprom(0, 0x12);
    const std::string text = chip_state_hex(chip);
    EXPECT_EQ(text.substr(0, 45), ":100000000528FF3FFF3FFF3FFF3FFF3FFF3FFF3F11\r\n");
    EXPECT_NE(text.find(":10400000FF3FFF3FFF3FFF3FFF3FFF3F6005F13FA7\r\n"), std::string::npos);
    EXPECT_NE(text.find(":024010000000AE\r\n"), std::string::npos);  // no configuration word 2
    EXPECT_NE(text.find(":104200001200FF00FF00FF00FF00FF00FF00FF00"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
    // 1024 words in 128 records, 9 configuration words in 2, 64 EEPROM bytes in 8, end.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128 + 2 + 8 + 1);
}

TEST(ChipStateFile, LoadsSparseFilesOntoAnErasedChipAndFollowsExtendedAddresses) {
    Pic14Chip chip = *Pic14Chip::create("PIC16F877A");
    chip.set_flash(1, 0);
    const std::string text = record("020000040000") + record("020002000528") +
                             "\r\n; a comment\r\n" + record("02400E00F13F") +
                             record("024202000012") + record("00000001");
    const ChipStateResult result = load_chip_state_hex(chip, text);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(chip.flash(0), 0x3FFF);
    EXPECT_EQ(chip.flash(1), 0x2805);
    EXPECT_EQ(chip.config_word(1), 0x3FF1 | 0x1030);
    EXPECT_EQ(chip.eeprom(1), 0x00);
    EXPECT_EQ(chip.eeprom(0), 0xFF);
}

TEST(ChipStateFile, RejectsBadFilesWithTheLineAndLeavesTheChipAlone) {
    struct Case {
        std::string text;
        int line;
        const char* message_part;
    };
    const std::string good = record("020000000528");
    const Case cases[] = {
        {good + ":020000000528D2\r\n" + record("00000001"), 2, "checksum"},
        {good + "020000000528D1\r\n", 2, "':'"},
        {good + record("0200000005") + record("00000001"), 2, "count"},
        {good + record("020000020000") + record("00000001"), 2, "type"},
        {record("02440000FFFF") + record("00000001"), 1, "not on this chip"},
        {record("020000040001") + record("020000000528") + record("00000001"), 2,
         "not on this chip"},
        {good, 0, "end-of-file"},
        {good + ":00", 2, "short"},
    };
    for (const Case& c : cases) {
        Pic14Chip chip = *Pic14Chip::create("PIC16F877A");
        chip.set_flash(0, 0x0111);
        const ChipStateResult result = load_chip_state_hex(chip, c.text);
        EXPECT_FALSE(result.ok) << c.text;
        EXPECT_EQ(result.line, c.line) << c.text;
        EXPECT_NE(result.message.find(c.message_part), std::string::npos) << result.message;
        EXPECT_EQ(chip.flash(0), 0x0111) << c.text;
    }
}

TEST(ChipStateFile, SavesAndLoadsThroughFiles) {
    const std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) / "corvanel-chip-state-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "chip.hex").string();
    const Pic14Chip original = random_chip("PIC16F628A", 3);
    ASSERT_TRUE(save_chip_state_file(original, path).ok);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    Pic14Chip loaded = *Pic14Chip::create("PIC16F628A");
    ASSERT_TRUE(load_chip_state_file(loaded, path).ok);
    EXPECT_EQ(chip_state_hex(loaded), chip_state_hex(original));

    std::ofstream(path, std::ios::trunc) << ":0200000005\r\n";
    const ChipStateResult bad = load_chip_state_file(loaded, path);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.message.find(path + ":1: "), std::string::npos) << bad.message;
    EXPECT_FALSE(load_chip_state_file(loaded, (folder / "missing.hex").string()).ok);
    EXPECT_FALSE(save_chip_state_file(original, (folder / "no" / "such" / "x.hex").string()).ok);
    std::filesystem::remove_all(folder);
}

// A failed save names the file and leaves neither a temporary file nor a changed
// target; a leftover of a killed save is cleared by the next one.
TEST(ChipStateFile, FailedAndInterruptedSavesLeaveNoTemporaryFile) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(::testing::TempDir()) / "corvanel-chip-state-save-test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const Pic14Chip chip = random_chip("PIC16F628A", 5);

    const std::string locked = (folder / "locked.hex").string();
    std::ofstream(locked) << "old";
    fs::permissions(locked, fs::perms::owner_read);
    const ChipStateResult refused = save_chip_state_file(chip, locked);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find(locked), std::string::npos) << refused.message;
    EXPECT_NE(refused.message.find("read-only"), std::string::npos) << refused.message;
    fs::permissions(locked, fs::perms::owner_all);

    const std::string path = (folder / "chip.hex").string();
    std::ofstream((folder / ".chip.hex.tmp").string()) << ":10000000 half a record";
    ASSERT_TRUE(save_chip_state_file(chip, path).ok);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"chip.hex", "locked.hex"}));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace corvanel
