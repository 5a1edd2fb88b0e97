// SPDX-License-Identifier: GPL-3.0-or-later
// The family table the docs carry: every emulated chip stands in exactly one
// family row, with that family's voltage order, and a family whose members differ
// in their write latches names the members of each count.

#include "board/family_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/pic14_chip.h"

namespace corvanel {
namespace {

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream parts(line);
    for (std::string cell; std::getline(parts, cell, '|');) {
        const auto first = cell.find_first_not_of(' ');
        const auto last = cell.find_last_not_of(' ');
        out.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    return out;  // out[0] is the empty text before the first bar
}

TEST(FamilyTable, EveryEmulatedChipStandsInOneRowWithItsVoltageOrder) {
    std::istringstream table(family_table_markdown());
    std::map<std::string, int> rows_naming;
    std::map<std::string, std::string> voltages;
    std::map<std::string, int> row_of;
    std::string line;
    int rows = 0;
    for (int number = 0; std::getline(table, line); ++number) {
        if (number < 2) {
            continue;  // heading and rule
        }
        if (line.empty()) {
            break;  // the enhanced chips' own table follows
        }
        const std::vector<std::string> row = cells(line);
        ASSERT_EQ(row.size(), 9u) << line;
        ++rows;
        std::istringstream chips(row[2]);
        for (std::string chip; std::getline(chips, chip, ',');) {
            chip.erase(0, chip.find_first_not_of(' '));
            ++rows_naming[chip];
            voltages[chip] = row[8];
            row_of[chip] = rows;
        }
    }
    // One row per family: a family split over two rows, or two families merged
    // into one, would give the docs a family the emulator does not have.
    std::map<ChipFamily, std::set<int>> rows_of_family;
    std::map<int, std::set<ChipFamily>> families_in_row;
    std::size_t emulated = 0;
    for (const ChipInfo& chip : known_chips()) {
        if (chip.empty_socket) {
            continue;
        }
        ++emulated;
        const std::string name = chip.name.substr(3);
        rows_of_family[chip.family].insert(row_of[name]);
        families_in_row[row_of[name]].insert(chip.family);
        EXPECT_EQ(rows_naming[name], 1) << name;
        // Enhanced parts add the low-voltage key to the order.
        EXPECT_EQ(voltages[name].rfind(chip.needs_vpp_first ? "Vpp first" : "either order", 0), 0u)
            << name;
        EXPECT_EQ(voltages[name].find("low-voltage key") != std::string::npos,
                  family_rules(chip.family).enhanced || family_rules(chip.family).eight_bit)
            << name;
    }
    EXPECT_EQ(rows_naming.size(), emulated);
    EXPECT_EQ(static_cast<std::size_t>(rows), rows_of_family.size());
    for (const auto& [family, its_rows] : rows_of_family) {
        EXPECT_EQ(its_rows.size(), 1u) << "family " << static_cast<int>(family);
    }
    for (const auto& [row, its_families] : families_in_row) {
        EXPECT_EQ(its_families.size(), 1u) << "row " << row;
    }

    const std::string text = family_table_markdown();
    // One row per enhanced chip, with its ID, revision place, sizes and masks.
    EXPECT_NE(text.find("| 16F1829 | 12F1822/16F182x | 27E0h | bits 4:0 of 8006h | 8192 | 256 | "
                        "32 / 32 | 2: 3FFFh 3703h | 2 at 8009h |"),
              std::string::npos);
    EXPECT_NE(text.find("| 16F18313 | 16F183xx | 3066h | word at 8005h | 2048 | 256 | 32 / 32 | "
                        "4: 2977h 3AEFh 2003h 0003h | 4 at E000h |"),
              std::string::npos);
    EXPECT_NE(text.find("| 16LF1938 | 16F193x/194x, 16LF190x | 24A0h | bits 4:0 of 8006h | 16384 | "
                        "256 | 8 / 32 | 2: 3FFFh 3703h | 2 at 8009h |"),
              std::string::npos);
    EXPECT_NE(text.find("| 4 (16F913, 16F914), 8 (16F916, 16F917, 16F946) |"), std::string::npos);
    EXPECT_NE(text.find("| 13:12, 5:4 / 8 |"), std::string::npos) << "the 16F87x's CP bits";
    EXPECT_NE(text.find("| 2.5 (config 5) / - / 1 / 5 (11 2.5) ms |"), std::string::npos)
        << "the 16F72x's cycle times";
}

}  // namespace
}  // namespace corvanel
