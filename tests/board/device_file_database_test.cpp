// SPDX-License-Identifier: GPL-3.0-or-later
// The shipped device database: its line ends, and every model against the chip
// facts (sizes, write block, voltage order, configuration words) and against the
// virtual board's emulation of the chip of the same name.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "board/pic14_chip.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/devices/vdd_window.h"
#include "core/engine/script_runner.h"
#include "core/image/memory_image.h"
#include "support/chip_facts.h"

namespace corvanel {
namespace {

std::string read_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

const std::string kSourceFile = std::string(CORVANEL_SOURCE_DIR) + "/data/corvaneldevices.txt";
const std::string kShippedFile = std::string(CORVANEL_BIN_DIR) + "/corvaneldevices.txt";

using test::ChipFacts;
using test::kChips;
using test::kVpp;

TEST(DeviceFileTest, ShippedFileKeepsCrLfLineEnds) {
    const std::string bytes = read_bytes(kSourceFile);
    ASSERT_FALSE(bytes.empty()) << kSourceFile;
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "the last line must be ended too";

    int line = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "lone LF ending line " << line;
            ++line;
        } else if (bytes[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n')
                << "lone CR ending line " << line;
        }
    }

    // The repository must hand the file out unconverted on every platform.
    const std::string attributes = read_bytes(std::string(CORVANEL_SOURCE_DIR) + "/.gitattributes");
    EXPECT_NE(attributes.find("data/corvaneldevices.txt -text"), std::string::npos);

    // The copy beside the programs is the file itself, byte for byte.
    EXPECT_EQ(read_bytes(kShippedFile), bytes);
}

// The enhanced mid-range chips of the emulator and those of the 8-bit command
// set: the models after the classic ones.
bool enhanced_or_eight_bit(const ChipInfo& chip) {
    const FamilyRules& rules = family_rules(chip.family);
    return rules.enhanced || rules.eight_bit;
}
std::size_t enhanced_chip_count() {
    return static_cast<std::size_t>(std::count_if(
        known_chips().begin(), known_chips().end(),
        [](const ChipInfo& chip) { return !chip.empty_socket && enhanced_or_eight_bit(chip); }));
}

TEST(DeviceFileTest, EveryModelMatchesItsChip) {
    DeviceDatabase database;
    const DatabaseLoadResult loaded = load_device_database(kShippedFile, database);
    ASSERT_EQ(loaded.status, DatabaseStatus::Loaded) << loaded.message;
    // The classic models first, then the enhanced mid-range ones (the next test).
    ASSERT_EQ(database.model_count(), static_cast<int>(std::size(kChips) + enhanced_chip_count()));

    // Applied in file order into one active model, as the chooser would: a model
    // that forgot a flag would silently inherit its predecessor's value.
    ActiveModel active;
    MemoryImage image;
    for (int number = 1; number <= static_cast<int>(std::size(kChips)); ++number) {
        const ChipFacts& facts = kChips[number - 1];
        SCOPED_TRACE(facts.name);
        ASSERT_TRUE(apply_model(database, number, active, image));
        image.clear_image();

        EXPECT_EQ(active.model_name, facts.name);
        EXPECT_EQ(image.flash_size, facts.flash_words);
        EXPECT_EQ(image.eeprom_size, facts.eeprom_bytes);
        EXPECT_EQ(active.page_size, facts.write_latches);
        EXPECT_EQ(active.voltage_sequence, facts.voltages);
        const bool has_config2 = facts.config_mask2 != 0;
        EXPECT_EQ(image.config2_used, has_config2);
        EXPECT_EQ(active.config_mask1, facts.config_mask1);
        EXPECT_EQ(image.config_erased1, facts.config_erased1);
        if (has_config2) {
            EXPECT_EQ(active.config_mask2, facts.config_mask2);
            EXPECT_EQ(image.config_erased2, 0x3FFF);
        }
        EXPECT_GT(active.programming_time, 0);
        ASSERT_TRUE(active.vpp_window.has_value()) << "no vpp: key";
        EXPECT_DOUBLE_EQ(active.vpp_window->min_volts, facts.vpp_min);
        EXPECT_DOUBLE_EQ(active.vpp_window->max_volts, facts.vpp_max);
        const DeviceModel& model = database.model(number);
        EXPECT_FALSE(model.config2used.empty());
        EXPECT_FALSE(model.voltageseq.empty());

        // The board's emulation of the same chip agrees with the facts, and the
        // erased configuration values are what that chip reads after an erase.
        const std::optional<ChipInfo> chip = find_chip(facts.name);
        ASSERT_TRUE(chip.has_value());
        EXPECT_EQ(chip->flash_words, facts.flash_words);
        EXPECT_EQ(chip->eeprom_bytes, facts.eeprom_bytes);
        EXPECT_EQ(chip->device_id & 0x3FE0, facts.device_id);
        EXPECT_EQ(chip->latches, facts.write_latches);
        EXPECT_EQ(chip->config2_mask != 0, has_config2);
        if (chip->needs_vpp_first) {
            EXPECT_EQ(facts.voltages, kVpp) << "the chip only enters programming Vpp first";
        }
        Pic14Chip erased(*chip);
        erased.erase_everything();
        // Calibration bits follow the chip, not the erase.
        const std::int32_t calibration = active.calibration_config_bits;
        EXPECT_EQ(image.config_erased1 & ~calibration, erased.config_word(1) & ~calibration);
        if (has_config2) {
            EXPECT_EQ(image.config_erased2, erased.config_word(2));
        }

        // The implemented bits and the device ID are the chip's own, and the ID
        // read algorithm really reads the ID word.
        EXPECT_EQ(active.config_mask1, chip->config1_mask);
        if (has_config2) {
            EXPECT_EQ(active.config_mask2, chip->config2_mask);
        }
        if (facts.device_id == 0) {
            EXPECT_FALSE(active.device_id.has_value()) << "the chip has no device ID";
            EXPECT_TRUE(active.id_list.empty());
        } else {
            ASSERT_TRUE(active.device_id.has_value()) << "no deviceid: key";
            EXPECT_EQ(active.device_id->id, facts.device_id);
            EXPECT_EQ(active.device_id->mask, facts.id_mask);
            EXPECT_TRUE(id_matches(*active.device_id, erased.device_id_word()));
            EXPECT_NE(std::find(active.id_list.begin(), active.id_list.end(), "deviceid=s04"),
                      active.id_list.end());
        }

        // Every algorithm works in sections between "begin" and "end", so no
        // list can leave the programming voltages on.
        const InstructionList* lists[] = {&active.erase_list,  &active.program_list,
                                          &active.read_list,   &active.blank_list,
                                          &active.verify_list, &active.id_list};
        for (const InstructionList* list : lists) {
            if (list == &active.id_list && facts.device_id == 0) {
                continue;
            }
            ASSERT_GE(list->size(), 2u);
            EXPECT_TRUE(list->front() == "begin" || list->front() == "beginvppvdd");
            EXPECT_EQ(list->back(), "end");
            bool on = false;
            for (const std::string& instruction : *list) {
                if (instruction == "begin" || instruction == "beginvppvdd") {
                    EXPECT_FALSE(on) << "voltages switched on twice";
                    on = true;
                } else if (instruction == "end") {
                    EXPECT_TRUE(on) << "voltages switched off twice";
                    on = false;
                } else {
                    EXPECT_TRUE(on) << instruction << " sent outside programming mode";
                }
                // A typing slip would end the program in the middle of an operation.
                EXPECT_NE(decode_instruction(instruction).kind, InstructionKind::Unrecognized)
                    << "'" << instruction << "'";
            }
        }
    }
}

// The enhanced mid-range models after the classic ones, against the emulated chip
// of the same name: what the program believes against what the silicon is (the
// emulator's rows are checked against the catalogue in enhanced_catalogue_test.cpp),
// and the algorithms that only these parts need (every configuration word, the
// revision word of the full-word-ID parts).
TEST(DeviceFileTest, EveryEnhancedModelMatchesItsChip) {
    DeviceDatabase database;
    ASSERT_EQ(load_device_database(kShippedFile, database).status, DatabaseStatus::Loaded);
    ActiveModel active;
    MemoryImage image;
    std::vector<std::string> names;
    for (int number = static_cast<int>(std::size(kChips)) + 1; number <= database.model_count();
         ++number) {
        ASSERT_TRUE(apply_model(database, number, active, image));
        image.clear_image();
        SCOPED_TRACE(active.model_name);
        names.push_back(active.model_name);
        const std::optional<ChipInfo> chip = find_chip(active.model_name);
        ASSERT_TRUE(chip.has_value()) << "no emulated chip of that name";
        ASSERT_TRUE(enhanced_or_eight_bit(*chip));
        const bool eight_bit = family_rules(chip->family).eight_bit;
        // The command set the program frames with is the chip's.
        EXPECT_EQ(active.command_set, eight_bit ? &eight_bit_commands() : &six_bit_commands());
        EXPECT_EQ(image.flash_size, chip->flash_words);
        EXPECT_EQ(image.eeprom_size, chip->eeprom_bytes);
        // Fewer words than the chip's latches at once: safe where sources disagree.
        EXPECT_GE(active.page_size, 1);
        EXPECT_LE(active.page_size, chip->latches);
        EXPECT_EQ(chip->latches % std::max(active.page_size, 1), 0);
        EXPECT_EQ(image.config_count(), chip->config_words);
        EXPECT_EQ(image.map.config_address, 0x8007);
        EXPECT_EQ(image.map.user_id_address, 0x8000);
        EXPECT_EQ(image.map.eeprom_address, 0xF000);
        EXPECT_TRUE(active.low_voltage_entry);
        ASSERT_TRUE(active.vpp_window.has_value());
        EXPECT_DOUBLE_EQ(active.vpp_window->min_volts, chip->vpp_min_volts);
        EXPECT_DOUBLE_EQ(active.vpp_window->max_volts, chip->vpp_max_volts);
        ASSERT_TRUE(active.device_id.has_value());
        EXPECT_EQ(active.device_id->id, chip->device_id);
        EXPECT_EQ(active.device_id->mask, chip->revision_word ? 0x3FFF : 0x3FE0);
        EXPECT_EQ(active.revision_address.has_value(), chip->revision_word);
        const auto reads_revision = std::find(active.id_list.begin(), active.id_list.end(),
                                              eight_bit ? "revision=sfc" : "revision=s04");
        EXPECT_EQ(reads_revision != active.id_list.end(), chip->revision_word);

        const std::int32_t chip_masks[] = {
            chip->config1_mask, chip->config2_mask, chip->config3_mask, chip->config4_mask,
            chip->config5_mask, chip->config6_mask, chip->config7_mask};
        ASSERT_LE(chip->config_words, static_cast<int>(std::size(chip_masks)));
        for (int word = 1; word <= chip->config_words; ++word) {
            SCOPED_TRACE(word);
            EXPECT_EQ(active.config_mask(word), chip_masks[word - 1]);
            EXPECT_EQ(image.config_word(word), 0x3FFF) << "erased";
        }
        Pic14Chip erased(*chip);
        EXPECT_TRUE(id_matches(*active.device_id, erased.device_id_word()));
    }
    // Every enhanced chip and every chip of the 8-bit set the emulator knows is a
    // model, once.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
    EXPECT_EQ(names.size(), enhanced_chip_count());
}

// The programming supply of every model. An LF part (absolute maximum about 4 V)
// must never be given 5 V, so its window ends at 3.6 V; every other listed part
// takes 5 V, for erasing too. The board offers 3.3 V and 5 V, and the program picks
// 5 V where the window holds it: so every model must be erasable at one of the two,
// and an LF model at 3.3 V. Apart from the 16F72x every classic family needs 4.5 V
// or more for its bulk or chip erase (the programming specifications' tables).
TEST(DeviceFileTest, EveryModelHasItsVddWindow) {
    DeviceDatabase database;
    ASSERT_EQ(load_device_database(kShippedFile, database).status, DatabaseStatus::Loaded);
    ActiveModel active;
    MemoryImage image;
    int lf_models = 0;
    for (int number = 1; number <= database.model_count(); ++number) {
        ASSERT_TRUE(apply_model(database, number, active, image));
        const std::string& name = active.model_name;
        SCOPED_TRACE(name);
        ASSERT_TRUE(active.vdd_window.has_value()) << "no vdd: key";
        const VddWindow& window = *active.vdd_window;
        const bool low_voltage_part = name.find("LF") != std::string::npos;
        EXPECT_EQ(window.erase_min_volts.has_value(), window.erase_max_volts.has_value());
        if (window.erase_min_volts) {
            // The erase window narrows the write window; it never widens it.
            EXPECT_GE(*window.erase_min_volts, window.min_volts);
            EXPECT_LE(*window.erase_max_volts, window.max_volts);
        }
        if (low_voltage_part) {
            ++lf_models;
            EXPECT_DOUBLE_EQ(window.max_volts, 3.6);
            EXPECT_FALSE(window.contains(5.0));
            EXPECT_TRUE(window.contains_for_erase(3.3));
        } else {
            EXPECT_GE(window.max_volts, 5.0);
            EXPECT_TRUE(window.contains_for_erase(5.0));
        }
        const bool classic = number <= static_cast<int>(std::size(kChips));
        const bool is_16f72x = name.rfind("PIC16F72", 0) == 0 && name.size() == 9;
        if (classic && !is_16f72x) {
            EXPECT_GE(window.erase_min_volts.value_or(window.min_volts), 4.5)
                << "the erase of this family needs 4.5 V";
        }
    }
    // The LF twins of the enhanced families, the LF-only parts, and the 37 LF
    // twins of the 8-bit command set.
    EXPECT_EQ(lf_models, 128);
}

}  // namespace
}  // namespace corvanel
