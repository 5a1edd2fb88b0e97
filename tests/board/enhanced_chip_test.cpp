// SPDX-License-Identifier: GPL-3.0-or-later
// The enhanced mid-range chips (12F1xxx/16F1xxx, 16F183xx), one member per family,
// driven through the board with the command sequences their programming documents
// give: the right sequence programs, reads and erases; a wrong latch count, a bulk
// erase without Load Configuration, a short wait, a row crossed, a missing or wrong
// low-voltage key fail as the silicon does. Facts are copied by hand from the
// enhanced catalogue's model table, not from the emulator's rows.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board/pic14_chip.h"
#include "board/virtual_board.h"
#include "support/raw_host.h"

namespace corvanel {
namespace {

using test::RawHost;

struct Family {
    const char* chip;
    std::uint16_t id;
    bool revision_word;  // full-word ID, revision at 8005h
    std::int32_t flash;
    std::int32_t eeprom;
    int latches;
    int row;
    std::vector<std::uint16_t> masks;
    std::int32_t calibration_first;
    int calibration_count;
};

void PrintTo(const Family& f, std::ostream* os) {
    *os << f.chip;
}

const Family kFamilies[] = {
    {"PIC16F1459", 0x3023, true, 8192, 0, 32, 32, {0x3EFF, 0x3FF3}, 0x8009, 2},
    {"PIC12F1501", 0x2CC0, false, 1024, 0, 16, 16, {0x0EFB, 0x2E03}, 0x8009, 2},
    {"PIC16F1519", 0x16E0, false, 16384, 0, 32, 32, {0x3EFF, 0x3E13}, 0x8009, 2},
    {"PIC12LF1552", 0x2BC0, false, 2048, 0, 16, 16, {0x0EFB, 0x3E03}, 0x8009, 2},
    {"PIC16LF1554", 0x2F00, false, 4096, 0, 32, 32, {0x0EFB, 0x3E03}, 0x8009, 2},
    {"PIC16LF1567", 0x3047, true, 8192, 0, 32, 32, {0x0EFB, 0x3E03}, 0x8009, 2},
    {"PIC12F1572", 0x3050, true, 2048, 0, 16, 16, {0x0EFB, 0x3F03}, 0x8009, 3},
    {"PIC16F1579", 0x3003, true, 8192, 0, 32, 32, {0x0EFB, 0x3F07}, 0x8009, 3},
    {"PIC16F1619", 0x307D, true, 8192, 0, 32, 32, {0x3EE7, 0x3F87, 0x3F7F}, 0x800A, 3},
    {"PIC16F1703", 0x3061, true, 2048, 0, 16, 16, {0x0EFB, 0x3F87}, 0x8009, 4},
    {"PIC16F1719", 0x305A, true, 16384, 0, 32, 32, {0x3EFF, 0x3F87}, 0x8009, 8},
    {"PIC16F1769", 0x3085, true, 8192, 0, 32, 32, {0x3EFF, 0x3F87}, 0x8009, 12},
    {"PIC16F1779", 0x3090, true, 16384, 0, 32, 32, {0x3EFF, 0x3F87}, 0x8009, 16},
    {"PIC16F1788", 0x302B, true, 16384, 256, 32, 32, {0x3FFF, 0x3F23}, 0x8009, 11},
    {"PIC16F1827", 0x27A0, false, 4096, 256, 8, 32, {0x3FFF, 0x3713}, 0x8009, 2},
    {"PIC12F1840", 0x1B80, false, 4096, 256, 32, 32, {0x3FFF, 0x3703}, 0x8009, 2},
    {"PIC16F1938", 0x23A0, false, 16384, 256, 8, 32, {0x3FFF, 0x3733}, 0x8009, 2},
    {"PIC16F18313", 0x3066, true, 2048, 256, 32, 32, {0x2977, 0x3AEF, 0x2003, 0x0003}, 0xE000, 4},
};

bool load_pc_part(const Family& f) {
    return f.masks.size() == 4;  // the 16F183xx
}

std::uint16_t pattern(std::int32_t address) {
    return static_cast<std::uint16_t>((address * 0x0123 + 0x0405) & 0x3FFF);
}

// A host that waits only where the sequence says so, as a real algorithm does.
struct Bench {
    explicit Bench(const Family& f, std::uint32_t seed = 7)
        : family(f), board(*Pic14Chip::create(f.chip, seed)), host(board, 0) {
        // An LF part is programmed at 3.3 V: the board's 5 V is above its absolute maximum.
        if (std::string_view(f.chip).find("LF") != std::string_view::npos) {
            board.set_vdd(3.3);
        }
    }

    Pic14Chip& chip() { return board.chip(); }
    void enter() { host.voltages_on(VoltageSequence::VppFirst); }
    void reenter() { host.reenter(); }
    void to(std::int32_t address) {  // from PC 0 or 8000h within the same space
        host.increment(address & 0x7FFF);
    }

    // 00 with 3FFFh (PC 8000h), 09, then the EEPROM: 0B, or 1D F000h and 09 again.
    void bulk_erase(bool load_configuration = true) {
        if (load_configuration) {
            host.load(0x00, 0x3FFF);
        }
        host.command(0x09);
        host.pause(5);
        if (family.eeprom > 0 && !load_pc_part(family)) {
            host.command(0x0B);
            host.pause(5);
        } else if (family.eeprom > 0) {
            host.command(0x41);
            host.data(0xF000);
            host.command(0x09);
            host.pause(5);
        }
        reenter();
    }
    // Words from `first` for `count` words, 08 at the last one (no 06 after it).
    void write_program(std::int32_t first, int count, int wait_ms = 3) {
        host.command(0x16);
        to(first);
        for (int i = 0; i < count; ++i) {
            host.load(0x02, pattern(first + i));
            if (i + 1 < count) {
                host.increment();
            }
        }
        host.command(0x08);
        host.pause(wait_ms);
        host.increment();
    }
    std::uint16_t read_program(std::int32_t address) {
        host.command(0x16);
        to(address);
        return host.read(0x04);
    }
    std::uint16_t read_config(std::int32_t address) {
        host.load(0x00, 0x3FFF);
        to(address);
        const std::uint16_t word = host.read(0x04);
        reenter();
        return word;
    }
    // One configuration-space word with 08 (5 ms: configuration words need it).
    void write_config(std::int32_t address, std::uint16_t value) {
        host.load(0x00, 0x3FFF);
        to(address);
        host.load(0x02, value);
        host.command(0x08);
        host.pause(5);
        reenter();
    }
    void write_eeprom(std::int32_t index, std::uint8_t value) {
        if (load_pc_part(family)) {
            host.command(0x41);
            host.data(static_cast<std::uint16_t>(0xF000 + index));
            host.load(0x02, value);
        } else {
            host.command(0x16);
            to(index);
            host.load(0x03, value);
        }
        host.command(0x08);
        host.pause(5);
    }
    std::uint16_t read_eeprom(std::int32_t index) {
        if (load_pc_part(family)) {
            host.command(0x41);
            host.data(static_cast<std::uint16_t>(0xF000 + index));
            return host.read(0x04);
        }
        host.command(0x16);
        to(index);
        return host.read(0x05);
    }
    std::vector<std::uint16_t> calibration() {
        std::vector<std::uint16_t> words;
        for (int i = 0; i < family.calibration_count; ++i) {
            words.push_back(chip().config_space(family.calibration_first + i));
        }
        return words;
    }

    const Family& family;
    VirtualBoard board;
    RawHost host;
};

// A configuration word with its highest implemented bit cleared (bit 13, LVP, and
// the protection bits of the 16F183xx's word 4 kept).
std::uint16_t config_value(std::uint16_t mask) {
    std::uint16_t bits = static_cast<std::uint16_t>(mask & ~0x2000);
    if (mask == 0x0003) {
        bits = 0;
    }
    if (bits == 0) {
        return 0x3FFF;
    }
    int bit = 13;
    while (((bits >> bit) & 1) == 0) {
        --bit;
    }
    return static_cast<std::uint16_t>(0x3FFF & ~(1U << bit));
}

class EnhancedFamily : public ::testing::TestWithParam<Family> {};

TEST_P(EnhancedFamily, TheCatalogueSequencesProgramReadAndErase) {
    const Family& f = GetParam();
    Bench bench(f);
    const ChipInfo& info = bench.chip().info();
    EXPECT_EQ(info.flash_words, f.flash);
    EXPECT_EQ(info.eeprom_bytes, f.eeprom);
    EXPECT_EQ(info.latches, f.latches);
    EXPECT_EQ(bench.chip().config_word_count(), static_cast<int>(f.masks.size()));
    ASSERT_EQ(info.calibration_words.size(), static_cast<std::size_t>(f.calibration_count));
    EXPECT_EQ(info.calibration_words.front(), f.calibration_first);
    bench.chip().set_revision(3);
    const std::vector<std::uint16_t> calibration = bench.calibration();
    bench.chip().set_flash(5, 0);
    bench.enter();

    // Device ID at 8006h; the revision in its low bits or in the word at 8005h.
    EXPECT_EQ(bench.read_config(0x8006), f.revision_word ? f.id : f.id | 3);
    EXPECT_EQ(bench.read_config(0x8005), f.revision_word ? 0x2003 : 0x3FFF);

    bench.bulk_erase();
    EXPECT_EQ(bench.read_program(5), 0x3FFF);
    bench.write_program(0, f.latches);
    bench.write_program(f.latches, 3);  // a row written in part
    for (std::int32_t a = 0; a < f.latches + 3; ++a) {
        ASSERT_EQ(bench.read_program(a), pattern(a)) << a;
    }
    EXPECT_EQ(bench.read_program(f.latches + 3), 0x3FFF);
    // PC 0000h-7FFFh aliases program memory.
    EXPECT_EQ(bench.read_program(f.flash + 1), pattern(1));

    for (std::size_t k = 0; k < f.masks.size(); ++k) {
        bench.write_config(0x8007 + static_cast<std::int32_t>(k), config_value(f.masks[k]));
    }
    for (std::int32_t a = 0x8000; a <= 0x8003; ++a) {
        bench.write_config(a, static_cast<std::uint16_t>(0x0010 + a - 0x8000));
    }
    for (std::size_t k = 0; k < f.masks.size(); ++k) {
        const std::uint16_t mask = f.masks[k];
        EXPECT_EQ(bench.read_config(0x8007 + static_cast<std::int32_t>(k)),
                  (config_value(mask) & mask) | (0x3FFF & ~mask))
            << "config " << k + 1;
    }
    EXPECT_EQ(bench.read_config(0x8002), 0x0012);
    if (f.eeprom > 0) {
        bench.write_eeprom(0, 0x5A);
        bench.write_eeprom(1, 0xA5);
        bench.write_eeprom(1, 0x3C);  // 08 erases the byte first
        EXPECT_EQ(bench.read_eeprom(0), 0x5A);
        EXPECT_EQ(bench.read_eeprom(1), 0x3C);
    }

    bench.bulk_erase();
    EXPECT_EQ(bench.read_program(0), 0x3FFF);
    EXPECT_EQ(bench.read_config(0x8002), 0x3FFF);
    for (std::size_t k = 0; k < f.masks.size(); ++k) {
        EXPECT_EQ(bench.read_config(0x8007 + static_cast<std::int32_t>(k)), 0x3FFF);
    }
    if (f.eeprom > 0) {
        EXPECT_EQ(bench.read_eeprom(1), 0xFF);
    }
    EXPECT_EQ(bench.calibration(), calibration);
    EXPECT_EQ(bench.read_config(f.calibration_first), calibration.front());
    EXPECT_TRUE(bench.chip().faults().empty());
}

TEST_P(EnhancedFamily, WrongSequencesFailAsTheSiliconDoes) {
    const Family& f = GetParam();
    Bench bench(f);
    const std::vector<std::uint16_t> calibration = bench.calibration();
    bench.enter();

    // Twice the latches: the second half overwrites the first, which is never written.
    bench.write_program(0, 2 * f.latches);
    EXPECT_EQ(bench.read_program(0), 0x3FFF);
    EXPECT_EQ(bench.read_program(f.latches), pattern(f.latches));
    // Across a row boundary: 08 writes the row of the PC, the words of the row
    // before land in it at their low bits.
    bench.bulk_erase();
    bench.write_program(2 * f.latches + 2, f.latches);
    EXPECT_EQ(bench.read_program(2 * f.latches + 2), 0x3FFF);
    EXPECT_EQ(bench.read_program(3 * f.latches + 2), pattern(2 * f.latches + 2));
    EXPECT_EQ(bench.read_program(3 * f.latches), pattern(3 * f.latches));
    // The next command before TPINT is up: the row is lost.
    bench.write_program(8 * f.latches, f.latches, 1);
    EXPECT_EQ(bench.read_program(8 * f.latches), 0x3FFF);
    // A configuration word needs 5 ms, not the 2.5 ms of a row.
    bench.host.load(0x00, 0x3FFF);
    bench.to(0x8007);
    bench.host.load(0x02, 0x0000);
    bench.host.command(0x08);
    bench.host.pause(3);
    bench.reenter();
    EXPECT_EQ(bench.read_config(0x8007), 0x3FFF);
    // 18 writes program memory when 0A ends it after 1 ms, not before.
    bench.host.command(0x16);
    bench.host.load(0x02, 0x1111);
    bench.host.command(0x18);
    bench.host.pause(1);
    bench.host.command(0x0A);
    bench.host.load(0x02, 0x2222);
    bench.host.increment(f.latches);
    bench.host.load(0x02, 0x2222);
    bench.host.command(0x18);
    bench.host.command(0x0A);
    EXPECT_EQ(bench.chip().flash(0), 0x1111);
    EXPECT_EQ(bench.chip().flash(f.latches), 0x3FFF);
    // 18 on a configuration word is refused and recorded.
    bench.host.load(0x00, 0x3FFF);
    bench.to(0x8007);
    bench.host.load(0x02, 0x0000);
    bench.host.command(0x18);
    bench.host.pause(3);
    bench.host.command(0x0A);
    EXPECT_EQ(bench.chip().config_word(1), 0x3FFF);
    ASSERT_EQ(bench.chip().faults().size(), 1U);
    bench.reenter();

    // Without Load Configuration the bulk erase keeps the user IDs.
    bench.write_config(0x8000, 0x0055);
    bench.bulk_erase(false);
    EXPECT_EQ(bench.read_config(0x8000), 0x0055);
    EXPECT_EQ(bench.read_program(0), 0x3FFF);
    // 11 in configuration space erases only the user IDs; 09 above the configuration
    // words must not be sent: the chip records it and erases nothing.
    bench.write_program(0, 1);
    bench.host.load(0x00, 0x3FFF);
    bench.host.command(0x11);
    bench.host.pause(3);
    EXPECT_EQ(bench.chip().config_space(0x8000), 0x3FFF);
    EXPECT_EQ(bench.chip().flash(0), pattern(0));
    bench.to(0x8007 + static_cast<std::int32_t>(f.masks.size()));
    bench.host.command(0x09);
    bench.host.pause(5);
    EXPECT_EQ(bench.chip().flash(0), pattern(0));
    EXPECT_EQ(bench.chip().faults().size(), 2U);
    bench.reenter();
    EXPECT_EQ(bench.calibration(), calibration);
}

TEST_P(EnhancedFamily, CodeProtectionHidesMemoryUntilTheBulkErase) {
    const Family& f = GetParam();
    Bench bench(f);
    const std::vector<std::uint16_t> calibration = bench.calibration();
    const bool word4 = f.masks.size() == 4;
    const std::int32_t protect = word4 ? 0x800A : 0x8007;
    const std::uint16_t cp = word4 ? 0x0001 : 0x0080;
    const std::uint16_t cpd = f.eeprom > 0 ? (word4 ? 0x0002 : 0x0100) : 0;
    bench.enter();
    bench.write_program(0, 2);
    if (f.eeprom > 0) {
        bench.write_eeprom(0, 0x12);
    }
    bench.write_config(0x8001, 0x0033);
    bench.write_config(protect, static_cast<std::uint16_t>(0x3FFF & ~(cp | cpd)));
    EXPECT_EQ(bench.read_program(1), 0x0000);
    EXPECT_EQ(bench.read_config(0x8001), 0x0033) << "user IDs stay readable";
    EXPECT_EQ(bench.read_config(0x8006) & 0x3FE0, f.id & 0x3FE0);
    bench.host.command(0x16);
    bench.host.command(0x11);  // row erase: ignored while protected
    bench.host.pause(3);
    bench.host.load(0x00, 0x3FFF);
    bench.host.command(0x11);  // in configuration space: the user IDs, protected or not
    bench.host.pause(3);
    EXPECT_EQ(bench.chip().config_space(0x8001), 0x3FFF);
    bench.reenter();
    bench.write_config(0x8001, 0x0033);
    bench.write_program(4, 1);  // blocked
    EXPECT_EQ(bench.chip().flash(0), pattern(0));
    EXPECT_EQ(bench.chip().flash(4), 0x3FFF);
    if (f.eeprom > 0) {
        EXPECT_EQ(bench.read_eeprom(0), 0x00);
        if (!load_pc_part(f)) {
            bench.host.command(0x0B);  // no effect on protected data
            bench.host.pause(5);
            EXPECT_EQ(bench.chip().eeprom(0), 0x12);
        }
    }
    // 09 with PC in program memory lifts protection and takes protected data along.
    bench.host.command(0x16);
    bench.host.command(0x09);
    bench.host.pause(5);
    bench.reenter();
    EXPECT_EQ(bench.read_program(0), 0x3FFF);
    EXPECT_EQ(bench.read_config(protect), 0x3FFF);
    EXPECT_EQ(bench.read_config(0x8001), 0x0033);
    if (f.eeprom > 0) {
        EXPECT_EQ(bench.read_eeprom(0), 0xFF);
    }
    EXPECT_EQ(bench.calibration(), calibration);
}

TEST_P(EnhancedFamily, LowVoltageEntryNeedsTheKeyAndTheLvpBit) {
    const Family& f = GetParam();
    Bench bench(f);
    const auto id_read = [&bench] {
        bench.host.load(0x00, 0x3FFF);
        bench.host.increment(6);
        return bench.host.read(0x04);
    };
    const std::uint16_t id = f.id;  // revision 0
    // The board's extension 40h: Vdd with MCLR low, the key, the 33rd clock.
    bench.host.command(0x40);
    EXPECT_TRUE(bench.chip().low_voltage_mode());
    EXPECT_EQ(id_read(), id);
    bench.host.voltages_off();
    // Vdd with MCLR low and no key, or a wrong one: the chip runs its program.
    bench.chip().power_on_mclr_low();
    EXPECT_EQ(id_read(), 0);
    bench.chip().lvp_key(0x4D434851);
    EXPECT_EQ(id_read(), 0);
    bench.chip().lvp_key(kLowVoltageKey);  // one key per power-up
    EXPECT_FALSE(bench.chip().in_programming_mode());
    // LVP cannot be cleared from low-voltage mode; with high voltage it can, and then
    // the key no longer enters.
    const std::int32_t lvp_word = f.masks.size() == 4 ? 0x8009 : 0x8008;
    bench.host.command(0x40);
    bench.write_config(lvp_word, 0x1FFF);
    EXPECT_NE(bench.chip().config_space(lvp_word) & 0x2000, 0);
    bench.host.voltages_off();
    bench.host.voltages_on(VoltageSequence::VddFirst);  // either order enters with high voltage
    bench.write_config(lvp_word, 0x1FFF);
    EXPECT_EQ(bench.chip().config_space(lvp_word) & 0x2000, 0);
    bench.host.command(0x40);
    EXPECT_FALSE(bench.chip().in_programming_mode());
    EXPECT_EQ(id_read(), 0);
}

INSTANTIATE_TEST_SUITE_P(Families, EnhancedFamily, ::testing::ValuesIn(kFamilies),
                         [](const auto& param) { return std::string(param.param.chip); });

TEST(EnhancedChips, EveryFamilyIsCoveredAndEveryCatalogueRowIsThere) {
    std::vector<ChipFamily> seen;
    for (const Family& f : kFamilies) {
        seen.push_back(find_chip(f.chip)->family);
    }
    int total = 0;
    int lf = 0;
    for (const ChipInfo& info : known_chips()) {
        if (!family_rules(info.family).enhanced) {
            continue;
        }
        EXPECT_NE(std::find(seen.begin(), seen.end(), info.family), seen.end()) << info.name;
        EXPECT_EQ(info.vpp_max_volts, 9.0) << info.name;
        ++total;
        lf += info.name.find("LF") != std::string::npos ? 1 : 0;
    }
    // 92 base models less the 16F1458 (no device ID known), ten of them LF only, and
    // 81 LF twins with IDs of their own.
    EXPECT_EQ(total, 91 + 81);
    EXPECT_EQ(lf, 10 + 81);
    // LF twins have their own ID and, where they lack the VCAP bit, their own mask.
    EXPECT_EQ(find_chip("16LF1827")->device_id, 0x28A0);
    EXPECT_EQ(find_chip("16LF1827")->config2_mask, 0x3703);
    EXPECT_EQ(find_chip("16F1827")->config2_mask, 0x3713);
    EXPECT_EQ(find_chip("16LF18325")->device_id, 0x3040);
}

// Where sources give a chip fewer latches than it has, rows written with the smaller
// count still land whole: the latches not loaded hold 3FFFh and leave their cells.
TEST(EnhancedChips, RowsOfTheSmallerDisputedLatchCountStillWork) {
    for (const auto& [name, smaller] :
         {std::pair{"PIC16F1579", 16}, std::pair{"PIC12F1840", 16}, std::pair{"PIC16F1705", 8}}) {
        SCOPED_TRACE(name);
        auto board = *VirtualBoard::with_chip(name);
        RawHost host(board);
        host.voltages_on(VoltageSequence::VppFirst);
        for (std::int32_t a = 0; a < 64; ++a) {
            host.load(0x02, pattern(a));
            if ((a + 1) % smaller == 0) {
                host.command(0x08);  // patient host: the cycle's time passes
            }
            host.increment();
        }
        for (std::int32_t a = 0; a < 64; ++a) {
            ASSERT_EQ(board.chip().flash(a), pattern(a)) << a;
        }
    }
}

TEST(EnhancedChips, LoadPcAddressReachesTheEepromOfThe16F183xx) {
    auto board = *VirtualBoard::with_chip("PIC16F18325");
    RawHost host(board);
    board.chip().set_eeprom(3, 0x77);
    host.voltages_on(VoltageSequence::VppFirst);
    host.command(0x41);
    host.data(0xF003);
    EXPECT_EQ(board.chip().pc(), 0xF003);
    EXPECT_EQ(host.read(0x04), 0x77);
    host.command(0x06);
    host.data(0x0123);  // a data word without 41h before it is not an address
    EXPECT_EQ(board.chip().pc(), 0xF004);
    board.chip().load_pc(0x1000 << 1);  // no 1D before the frame: ignored
    EXPECT_EQ(board.chip().pc(), 0xF004);
    host.command(0x09);  // 09 in the EEPROM erases it
    EXPECT_EQ(board.chip().eeprom(3), 0xFF);
    // The PC wraps from FFFFh to 8000h.
    host.command(0x41);
    host.data(0xFFFF);
    host.increment();
    EXPECT_EQ(board.chip().pc(), 0x8000);
}

TEST(EnhancedChips, AVppAboveTheWindowIsAFaultAndOneBelowItKeepsTheChipOut) {
    auto board = *VirtualBoard::with_chip("PIC16F1829");
    RawHost host(board);
    board.set_vpp(8.5);
    host.voltages_on(VoltageSequence::VppFirst);
    EXPECT_TRUE(board.chip().in_programming_mode());
    EXPECT_TRUE(board.chip().faults().empty());
    board.set_vpp(12.5);
    host.reenter();
    host.reenter();  // recorded once
    ASSERT_EQ(board.chip().faults().size(), 1U);
    EXPECT_EQ(board.chip().faults()[0], "Vpp 12.5 V above the PIC16F1829's window (8.0-9.0 V)");
    board.set_vpp(5.0);
    host.reenter();
    EXPECT_FALSE(board.chip().in_programming_mode());
    // The low-voltage entry never drives Vpp.
    host.command(0x40);
    EXPECT_TRUE(board.chip().in_programming_mode());
    EXPECT_EQ(board.chip().faults().size(), 1U);
    // A classic chip has no window here: nothing is recorded.
    auto classic = *VirtualBoard::with_chip("PIC16F877A");
    classic.set_vpp(13.0);
    RawHost(classic).voltages_on(VoltageSequence::VppFirst);
    EXPECT_TRUE(classic.chip().faults().empty());
}

}  // namespace
}  // namespace corvanel
