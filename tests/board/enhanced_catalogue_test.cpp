// SPDX-License-Identifier: GPL-3.0-or-later
// The emulator's enhanced chip rows (chip_catalogue.cpp) against the table they were
// written from: table 7.1 of the enhanced catalogue, read here from the catalogue file
// itself, so that a slip in a row shows rather than being copied into a test table.
// The device file is compared with the emulator's rows in device_file_database_test.cpp.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "board/pic14_chip.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/image/memory_image.h"
#include "core/text/ascii_text.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

// The catalogue lives beside the repository (../shared), not in it.
const std::string kCatalogue =
    std::string(CORVANEL_SOURCE_DIR) + "/../shared/pic14-enhanced-catalogue.md";

struct CatalogueChip {
    std::string name;
    std::int32_t flash_words = 0;
    std::int32_t eeprom_bytes = 0;
    std::int32_t device_id = 0;
    bool revision_word = false;  // ID mask 3FFFh: the revision is the word at 8005h
    int config_words = 0;
    std::vector<std::int32_t> masks;
    std::int32_t latches = 0;
    std::int32_t row_words = 0;
    std::int32_t fewest_latches = 0;  // the smallest count any source gives
    int calibration_words = 0;
};

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::string_view rest(line);
    rest.remove_prefix(1);  // the leading '|'
    for (std::size_t bar; (bar = rest.find('|')) != std::string_view::npos;) {
        out.emplace_back(trimmed(rest.substr(0, bar)));
        rest.remove_prefix(bar + 1);
    }
    return out;
}

// "3020h" -> 3020h; -1 for "?" or anything else.
std::int32_t hex_cell(std::string_view text) {
    if (text.empty() || text.back() != 'h') {
        return -1;
    }
    text.remove_suffix(1);
    std::int32_t value = 0;
    for (const char c : text) {
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

// Every whole number in the text, in order ("32 / 32 (AP 16)" -> 32, 32, 16).
std::vector<std::int32_t> numbers(std::string_view text) {
    std::vector<std::int32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        std::int32_t value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        out.push_back(value);
    }
    return out;
}

// "3FFFh/3713h" -> the masks.
std::vector<std::int32_t> masks(std::string_view text) {
    std::vector<std::int32_t> out;
    std::size_t slash;
    while ((slash = text.find('/')) != std::string_view::npos) {
        out.push_back(hex_cell(text.substr(0, slash)));
        text.remove_prefix(slash + 1);
    }
    out.push_back(hex_cell(text));
    return out;
}

// Table 7.1 (or 7.2, the 8-bit command set's), a chip per name (the LF twins with
// their own ID and masks). Parts the catalogue gives no device ID for are left out,
// as the emulator leaves them out.
std::map<std::string, CatalogueChip> read_table(std::istream& in, const std::string& table) {
    std::map<std::string, CatalogueChip> chips;
    bool in_table = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("### ")) {
            in_table = line.starts_with(table);
            continue;
        }
        if (!in_table || !line.starts_with("| PIC")) {
            continue;
        }
        const std::vector<std::string> c = cells(line);
        if (c.size() < 11 || hex_cell(c[2]) < 0) {
            continue;
        }
        CatalogueChip chip;
        chip.name = c[0];
        chip.device_id = hex_cell(c[2]);
        chip.revision_word = c[3].starts_with("3FFFh");
        chip.flash_words = std::stoi(c[4]);
        chip.eeprom_bytes = std::stoi(c[5]);
        chip.config_words = std::stoi(c[6]);
        const std::size_t lf_masks = c[7].find(" (LF: ");
        chip.masks = masks(c[7].substr(0, lf_masks));
        const std::vector<std::int32_t> latch_cell = numbers(c[9]);
        chip.latches = latch_cell.at(0);
        // "32 / ?": the 8-bit set's parts that state their row erase 32 words.
        chip.row_words = c[9].find("/ ?") != std::string::npos ? chip.latches : latch_cell.at(1);
        // Dissenting counts follow the row size in brackets ("32 / 32 (AP 16)").
        chip.fewest_latches = chip.latches;
        for (std::size_t i = 2; i < latch_cell.size(); ++i) {
            chip.fewest_latches = std::min(chip.fewest_latches, latch_cell[i]);
        }
        chip.calibration_words = numbers(c[10]).at(0);
        chips[chip.name] = chip;

        // "PIC16LF1454 (3024h)": the twin shares the row but its ID and, after "LF:",
        // its masks (no regulator bit).
        const std::size_t open = c[1].find(" (");
        if (c[1] == "LF only" || open == std::string::npos) {
            continue;
        }
        CatalogueChip twin = chip;
        twin.name = c[1].substr(0, open);
        twin.device_id = hex_cell(c[1].substr(open + 2, c[1].size() - open - 3));
        if (lf_masks != std::string::npos) {
            twin.masks = masks(c[7].substr(lf_masks + 6, c[7].size() - lf_masks - 7));
        }
        if (twin.device_id >= 0) {
            chips[twin.name] = twin;
        }
    }
    return chips;
}

std::optional<std::map<std::string, CatalogueChip>> catalogue_chips(
    const std::string& table = "### 7.1 ") {
    std::ifstream in(kCatalogue);
    if (!in) {
        return std::nullopt;
    }
    return read_table(in, table);
}

// Table 7.1 against the enhanced mid-range's rows, table 7.2 against the 8-bit
// command set's.
TEST(EnhancedCatalogueTest, EmulatorRowsAreTheCatalogueTable) {
    for (const bool eight_bit : {false, true}) {
        const std::string table = eight_bit ? "### 7.2 " : "### 7.1 ";
        SCOPED_TRACE(table);
        const auto catalogue = catalogue_chips(table);
        if (!catalogue) {
            GTEST_SKIP() << "the enhanced catalogue is not beside the repository (" << kCatalogue
                         << "): the emulator's rows are not checked against it";
        }
        // A table the reader misses entirely would make every check below vacuous.
        ASSERT_GE(catalogue->size(), 150U) << "table not found or not read in " << kCatalogue;

        std::size_t emulated = 0;
        for (const ChipInfo& chip : known_chips()) {
            const FamilyRules& rules = family_rules(chip.family);
            if (chip.empty_socket || (eight_bit ? !rules.eight_bit : !rules.enhanced)) {
                continue;
            }
            // The catalogue predates the 16F132xx; their rows come from the chip
            // maker's web programmer (see kGroupBRows).
            if (chip.family == ChipFamily::B132xx) {
                continue;
            }
            ++emulated;
            SCOPED_TRACE(chip.name);
            const auto found = catalogue->find(chip.name);
            ASSERT_NE(found, catalogue->end()) << "an emulated chip the catalogue does not list";
            const CatalogueChip& facts = found->second;
            EXPECT_EQ(chip.flash_words, facts.flash_words);
            EXPECT_EQ(chip.eeprom_bytes, facts.eeprom_bytes);
            EXPECT_EQ(chip.device_id, facts.device_id);
            EXPECT_EQ(chip.revision_word, facts.revision_word);
            EXPECT_EQ(chip.config_words, facts.config_words);
            const std::int32_t chip_masks[] = {chip.config1_mask, chip.config2_mask,
                                               chip.config3_mask, chip.config4_mask,
                                               chip.config5_mask};
            ASSERT_EQ(facts.masks.size(), static_cast<std::size_t>(facts.config_words));
            for (int word = 1; word <= 5; ++word) {
                SCOPED_TRACE(word);
                const std::int32_t wanted = word <= facts.config_words ? facts.masks[word - 1] : 0;
                EXPECT_EQ(chip_masks[word - 1], wanted);
            }
            EXPECT_EQ(chip.latches, facts.latches);
            EXPECT_EQ(chip.row_words, facts.row_words);
            EXPECT_EQ(static_cast<int>(chip.calibration_words.size()), facts.calibration_words);
            EXPECT_DOUBLE_EQ(chip.vpp_min_volts, 8.0);
            EXPECT_DOUBLE_EQ(chip.vpp_max_volts, 9.0);
        }
        // Every part of the table with a known ID, and its twin, is emulated.
        EXPECT_EQ(emulated, catalogue->size());
    }
}

// The device file writes the fewest latches any source gives: writing fewer words
// than the chip has latches is always safe.
TEST(EnhancedCatalogueTest, DeviceFileWritesTheFewestLatchesAnySourceGives) {
    const auto catalogue = catalogue_chips();
    if (!catalogue) {
        GTEST_SKIP() << "the enhanced catalogue is not beside the repository (" << kCatalogue
                     << ")";
    }
    const DeviceDatabase& database = test::shipped_database();
    ASSERT_GT(database.model_count(), 0);
    ActiveModel active;
    MemoryImage image;
    int checked = 0;
    for (int number = 1; number <= database.model_count(); ++number) {
        ASSERT_TRUE(apply_model(database, number, active, image));
        const auto found = catalogue->find(active.model_name);
        if (found == catalogue->end()) {
            continue;  // a classic model
        }
        ++checked;
        EXPECT_EQ(active.page_size, found->second.fewest_latches) << active.model_name;
    }
    EXPECT_EQ(checked, static_cast<int>(catalogue->size()));
}

}  // namespace
}  // namespace corvanel
