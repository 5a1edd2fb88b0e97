// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated chips family by family: write latches, cycle times, code
// protection, factory calibration, commands a family does not know, aliasing and
// the chip's clock. Values below are copied by hand from the chips' programming
// facts and the assembler's configuration headers, not from the emulator's tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_channel.h"
#include "board/chip_state_file.h"
#include "board/pic14_chip.h"
#include "board/virtual_board.h"
#include "support/raw_host.h"

namespace corvanel {
namespace {

using test::RawHost;

struct FamilyCase {
    const char* chip;
    int latches;
    std::uint8_t begin;        // the command that writes program memory
    std::uint8_t end;          // the command that ends it (0: internally timed)
    std::uint32_t program_us;  // the shortest wait that lets the write happen
    std::uint16_t protect;     // configuration word 1 with program (and data) protection on
    bool protects_data;
    const char* erase;             // the family's erase, clearing protection
    const char* unknown;           // commands the family does not know
    const char* wipe_calibration;  // an erase with PC past 2007h that loses them ("" none)
};

// Test listings name the chip, not the bytes of the case.
void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << c.chip;
}

// Script tokens: Lcc load command cc with 3FFFh (FFh for 03), In n increments,
// Wn wait n ms, Ccc command cc. The times are the longest the chips' documents give
// (erases of 6 ms, the 12F629 family's 2.5 and 8 ms, the 16F716's 2 ms, ...).
const FamilyCase kFamilies[] = {
    {"PIC16F84A", 1, 0x08, 0, 8000, 0x000F, false, "L00 I7 C01 C07 C08 W10 C01 C07", "17 1F 0A",
     ""},
    {"PIC16F83", 1, 0x08, 0, 20000, 0x000F, false, "L00 I7 C01 C07 C08 W10 C01 C07", "18 1F", ""},
    {"PIC16F627", 1, 0x08, 0, 13000, 0x02FF, true, "L00 I7 C01 C07 C08 W13 C01 C07", "17 1F", ""},
    {"PIC16F628A", 1, 0x08, 0, 4000, 0x1EFF, true, "L00 C09 W6 C0B W6", "18 1F 01", ""},
    {"PIC16F870", 1, 0x08, 0, 8000, 0x0ECF, true, "L00 I7 C01 C07 C08 W8 C01 C07", "09 0B 1F", ""},
    {"PIC16F877A", 8, 0x08, 0, 8000, 0x1EFF, true, "L00 C1F W8", "0A 01 11", ""},
    {"PIC16F88", 4, 0x18, 0x17, 1000, 0x1EFF, true, "L00 C1F W10", "0A 16", ""},
    {"PIC16F819", 4, 0x18, 0x17, 1000, 0x1EFF, true, "L00 C1F W8", "0A 11", ""},
    {"PIC12F675", 1, 0x08, 0, 2500, 0x3E7F, true, "L00 C09 W8 C0B W8", "1F 17 11 01", ""},
    {"PIC16F690", 4, 0x08, 0, 3000, 0x3F3F, true, "L00 C09 W6 C0B W6", "1F 17 0E", "L00 I8 C09 W6"},
    {"PIC16F785", 4, 0x08, 0, 2500, 0x3F3F, true, "L00 C09 W6 C0B W6", "1F 17", "L00 I9 C09 W6"},
    {"PIC16F916", 8, 0x08, 0, 3000, 0x3F3F, true, "L00 C09 W6 C0B W6", "1F 17 16", "L00 I9 C09 W6"},
    {"PIC16F882", 4, 0x08, 0, 3000, 0x3F3F, true, "L00 C09 W6 C0B W6", "1F 17", "L00 I9 C09 W6"},
    {"PIC12F615", 1, 0x18, 0x0A, 3000, 0x3FBF, false, "L00 C09 W6", "08 03 0B 11", "L00 I8 C09 W6"},
    {"PIC16F716", 4, 0x18, 0x0E, 2000, 0x1FFF, false, "L00 C09 W6", "08 0A 17 0B", ""},
    {"PIC16F77", 2, 0x08, 0x0E, 1000, 0x3FEF, false, "L00 C09 W30", "18 0B 03 1F", ""},
    {"PIC16F777", 2, 0x08, 0x0E, 1000, 0x1FFF, false, "L00 C09 W30", "18 0A 17", ""},
    {"PIC16F727", 8, 0x08, 0, 2500, 0x3FBF, false, "L00 C09 W5", "0B 03 17 1F", "L00 I9 C09 W5"},
};

void run(RawHost& host, std::string_view script) {
    std::istringstream tokens{std::string(script)};
    for (std::string token; tokens >> token;) {
        const int value =
            std::stoi(token.substr(1), nullptr, token[0] == 'I' || token[0] == 'W' ? 10 : 16);
        switch (token[0]) {
            case 'L':
                host.load(static_cast<std::uint8_t>(value), value == 0x03 ? 0xFF : 0x3FFF);
                break;
            case 'I':
                host.increment(value);
                break;
            case 'W':
                host.pause(value);
                break;
            default:
                host.command(static_cast<std::uint8_t>(value));
                break;
        }
    }
}

// The same script with every wait one millisecond shorter.
std::string shortened(std::string_view script) {
    std::istringstream tokens{std::string(script)};
    std::string out;
    for (std::string token; tokens >> token;) {
        if (token[0] == 'W') {
            token = "W" + std::to_string(std::stoi(token.substr(1)) - 1);
        }
        out += token + " ";
    }
    return out;
}

std::uint16_t pattern(std::int32_t address) {
    return static_cast<std::uint16_t>((address * 0x0123 + 0x0405) & 0x3FFF);
}

// Loads `count` words from PC 0 and starts one programming cycle after the last
// load (PC count-1), as an algorithm that believes in `count` latches does.
void program_block(RawHost& host, const FamilyCase& c, int count, std::uint32_t wait_us) {
    for (int a = 0; a < count; ++a) {
        host.load(0x02, pattern(a));
        if (a + 1 < count) {
            host.increment();
        }
    }
    host.command(c.begin);
    host.pause(static_cast<int>(wait_us / 1000));
    if (c.end != 0) {
        host.command(c.end);
    } else {
        host.increment();
    }
}

class Family : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(Family, LatchCountBlockAlignmentAndCycleTimeDecideWhatIsWritten) {
    const FamilyCase& c = GetParam();
    auto board = *VirtualBoard::with_chip(c.chip);
    ASSERT_EQ(board.chip().info().latches, c.latches);
    RawHost host(board, 0);
    host.voltages_on(VoltageSequence::VppFirst);

    // The right latch count: every word of the block lands.
    program_block(host, c, c.latches, c.program_us + 1000);
    for (int a = 0; a < c.latches; ++a) {
        EXPECT_EQ(board.chip().flash(a), pattern(a)) << c.chip << " word " << a;
    }
    host.reenter();
    run(host, c.erase);
    host.reenter();

    // Twice as many words for one cycle: the early loads were overwritten in their
    // latches, so the first block stays blank.
    program_block(host, c, 2 * c.latches, c.program_us + 1000);
    for (int a = 0; a < 2 * c.latches; ++a) {
        EXPECT_EQ(board.chip().flash(a), a < c.latches ? 0x3FFF : pattern(a))
            << c.chip << " word " << a;
    }
    host.reenter();
    run(host, c.erase);
    host.reenter();

    // A wait just short of the cycle time: the next command cuts the cycle and the
    // word keeps its erased value. Waited out, the same write lands.
    for (const bool long_enough : {false, true}) {
        host.load(0x02, 0x1234);
        host.command(c.begin);
        board.advance_time(long_enough ? c.program_us : c.program_us - 100);
        host.command(c.end != 0 ? c.end : std::uint8_t{0x06});
        EXPECT_EQ(board.chip().flash(0), long_enough ? 0x1234 : 0x3FFF)
            << c.chip << (long_enough ? ": the write was lost" : ": an interrupted cycle wrote");
        host.reenter();
    }
}

TEST_P(Family, ProtectedChipReadsZeroUntilErasedAndUnknownCommandsDoNothing) {
    const FamilyCase& c = GetParam();
    auto board = *VirtualBoard::with_chip(c.chip);
    Pic14Chip& chip = board.chip();
    chip.set_flash(1, 0x1234);
    chip.set_eeprom(1, 0x56);
    chip.set_config_space(0x2000, 0x0011);
    RawHost host(board);
    host.voltages_on(VoltageSequence::VppFirst);

    // Commands this family does not know change neither memory nor the address counter.
    const std::string before = chip_state_hex(chip);
    host.increment();
    std::istringstream unknown{std::string(c.unknown)};
    for (std::string code; unknown >> code;) {
        host.command(static_cast<std::uint8_t>(std::stoi(code, nullptr, 16)));
        host.data(0x0000);
        EXPECT_EQ(chip.pc(), 1) << c.chip << " command " << code;
    }
    EXPECT_EQ(chip_state_hex(chip), before) << c.chip;
    EXPECT_EQ(host.read(0x04), 0x1234);

    // Protected: program memory reads 0, protected data memory 0, the
    // configuration word stays readable.
    chip.set_config_space(0x2007, c.protect);
    host.reenter();
    host.increment();
    EXPECT_EQ(host.read(0x04), 0) << c.chip;
    if (chip.eeprom_size() > 0) {
        EXPECT_EQ(host.read(0x05), c.protects_data ? 0 : 0x56) << c.chip;
    }
    host.load(0x00, 0x3FFF);
    host.increment(7);
    const std::uint16_t config = host.read(0x04);
    EXPECT_EQ(config & chip.info().config1_mask, c.protect & chip.info().config1_mask) << c.chip;

    // The erase with every wait a millisecond short is cut off each time: the chip
    // stays as it was, protected.
    host.reenter();
    RawHost hasty(board, 0);
    run(hasty, shortened(c.erase));
    host.reenter();
    EXPECT_TRUE(chip.program_protected()) << c.chip << ": an interrupted erase went through";
    EXPECT_EQ(chip.flash(1), 0x1234) << c.chip;

    run(host, c.erase);
    host.reenter();
    EXPECT_FALSE(chip.program_protected()) << c.chip;
    host.increment();
    EXPECT_EQ(host.read(0x04), 0x3FFF) << c.chip;
    if (chip.eeprom_size() > 0) {
        EXPECT_EQ(host.read(0x05), 0xFF) << c.chip;
    }
}

TEST_P(Family, OnlyAnEraseWithTheAddressPastTheConfigurationWordsLosesCalibration) {
    const FamilyCase& c = GetParam();
    auto board = *VirtualBoard::with_chip(c.chip);
    const std::vector<std::int32_t> words = board.chip().info().calibration_words;
    if (words.empty()) {
        EXPECT_STREQ(c.wipe_calibration, "") << c.chip;
        return;
    }
    std::vector<std::uint16_t> factory;
    for (const std::int32_t a : words) {
        factory.push_back(board.chip().config_space(a));
        EXPECT_NE(factory.back(), 0x3FFF) << c.chip << " " << a;
    }
    RawHost host(board);
    host.voltages_on(VoltageSequence::VppFirst);
    run(host, c.erase);
    host.reenter();
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(board.chip().config_space(words[i]), factory[i]) << c.chip;
    }
    run(host, c.wipe_calibration);
    host.reenter();
    for (const std::int32_t a : words) {
        EXPECT_EQ(board.chip().config_space(a), 0x3FFF) << c.chip << " " << a;
    }
}

INSTANTIATE_TEST_SUITE_P(Families, Family, ::testing::ValuesIn(kFamilies),
                         [](const auto& param) { return std::string(param.param.chip); });

TEST(ChipFamilies, EveryFamilyIsCoveredAbove) {
    std::vector<ChipFamily> seen;
    for (const FamilyCase& c : kFamilies) {
        seen.push_back(find_chip(c.chip)->family);
    }
    for (const ChipInfo& info : known_chips()) {
        if (family_rules(info.family).enhanced || family_rules(info.family).eight_bit) {
            continue;  // enhanced_chip_test.cpp and eight_bit_board_test.cpp cover those
        }
        EXPECT_NE(std::find(seen.begin(), seen.end(), info.family), seen.end()) << info.name;
    }
}

TEST(ChipFamilies, TwelveF675LosesItsCalibrationToEveryBulkErase) {
    // OSCCAL (a RETLW) and the band-gap bits are the chip's own and differ per seed.
    auto board = VirtualBoard(*Pic14Chip::create("PIC12F675", 3));
    Pic14Chip& chip = board.chip();
    const std::uint16_t osccal = chip.flash(0x3FF);
    EXPECT_EQ(osccal & 0xFF00, 0x3400);
    EXPECT_NE(chip.config_word(1) & 0x3000, 0x3000);
    EXPECT_EQ(Pic14Chip::create("PIC12F675", 3)->flash(0x3FF), osccal);
    chip.set_config_space(0x2007, 0x3EFF);  // data protected: 09 erases it too
    chip.set_eeprom(0, 0x12);
    chip.set_config_space(0x2000, 0x0001);
    RawHost host(board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.command(0x09);  // PC 0: program memory, OSCCAL and configuration, not the IDs
    EXPECT_EQ(chip.flash(0x3FF), 0x3FFF);
    EXPECT_EQ(chip.config_word(1), 0x31FF) << "band-gap bits read 11b after an erase";
    EXPECT_EQ(chip.eeprom(0), 0xFF);
    EXPECT_EQ(chip.config_space(0x2000), 0x0001);
    host.load(0x00, 0x3FFF);
    host.command(0x09);
    EXPECT_EQ(chip.config_space(0x2000), 0x3FFF);
    // A protected 12F675 still shows its OSCCAL word.
    chip.set_flash(0x3FF, 0x3480);
    chip.set_config_space(0x2007, 0x3F7F);
    host.reenter();
    host.increment(0x3FF);
    EXPECT_EQ(host.read(0x04), 0x3480);
}

TEST(ChipFamilies, SixteenF62xAConfigurationSpaceAboveTwoZeroZeroFhIsProgramMemory) {
    for (const char* name : {"PIC16F628A", "PIC16F877A"}) {
        const bool aliases = std::string_view(name) == "PIC16F628A";
        auto board = *VirtualBoard::with_chip(name);
        board.chip().set_flash(0x15, 0x0AAA);
        RawHost host(board);
        host.voltages_on(VoltageSequence::VppFirst);
        host.load(0x00, 0x3FFF);
        host.increment(0x0F);
        EXPECT_EQ(host.read(0x04), 0) << name << ": 200Fh is an empty configuration location";
        host.increment(6);  // 2015h
        EXPECT_EQ(host.read(0x04), aliases ? 0x0AAA : 0) << name;
        // 08 only programs on the 16F62xA (bits go from 1 to 0), so the word written
        // has no bit the cell lacks.
        host.load(0x02, 0x0A0A);
        host.command(0x08);
        EXPECT_EQ(board.chip().flash(0x15), aliases ? 0x0A0A : 0x0AAA) << name;
    }
}

TEST(ChipFamilies, ConfigurationWritesLeaveTheProgramLatchesLoaded) {
    // 16F727: eight latches, and Reset Address (16) brings PC back to 0 without
    // leaving programming mode, so the latches loaded before an ID write survive it.
    auto board = *VirtualBoard::with_chip("PIC16F727");
    RawHost host(board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.load(0x02, 0x0101);  // latch 0
    host.load(0x00, 0x0042);  // PC 2000h: user ID 0
    host.command(0x08);
    EXPECT_EQ(board.chip().config_space(0x2000), 0x0042);
    host.command(0x16);
    host.increment(7);
    host.load(0x02, 0x0707);
    host.command(0x08);
    EXPECT_EQ(board.chip().flash(0), 0x0101) << "the latch loaded before the ID write";
    EXPECT_EQ(board.chip().flash(7), 0x0707);
    // Leaving programming mode does clear them.
    host.load(0x02, 0x0000);
    host.reenter();
    host.increment(15);
    host.load(0x02, 0x0F0F);
    host.command(0x08);
    EXPECT_EQ(board.chip().flash(8), 0x3FFF);
    EXPECT_EQ(board.chip().flash(15), 0x0F0F);
}

TEST(ChipFamilies, DeviceIdsCarryTheRevisionInTheirFamilysWidth) {
    struct Case {
        const char* chip;
        std::uint8_t revision;
        std::uint16_t word;
    };
    const Case cases[] = {
        {"PIC16F690", 0x03, 0x1403}, {"PIC16F913", 0x1F, 0x13EF}, {"PIC16F88", 0x12, 0x0762},
        {"PIC16F84", 0x05, 0x0000},  {"PIC16F887", 0x1F, 0x209F}, {"PIC16F877A", 0x07, 0x0E27},
    };
    for (const Case& c : cases) {
        auto board = *VirtualBoard::with_chip(c.chip);
        board.chip().set_revision(c.revision);
        RawHost host(board);
        host.voltages_on(VoltageSequence::VppFirst);
        host.load(0x00, 0x3FFF);
        host.increment(6);
        EXPECT_EQ(host.read(0x04), c.word) << c.chip;
    }
}

TEST(ChipFamilies, StateFileKeepsTheFactoryCalibration) {
    for (const char* name : {"PIC16F727", "PIC16F690", "PIC12F675", "PIC16F882"}) {
        const Pic14Chip original = *Pic14Chip::create(name, 11);
        const std::string text = chip_state_hex(original);
        Pic14Chip other = *Pic14Chip::create(name, 12);
        ASSERT_TRUE(load_chip_state_hex(other, text).ok) << name;
        EXPECT_EQ(chip_state_hex(other), text) << name;
        for (const std::int32_t a : original.info().calibration_words) {
            EXPECT_EQ(other.config_space(a), original.config_space(a)) << name << " " << a;
        }
        EXPECT_EQ(other.flash(other.flash_size() - 1), original.flash(original.flash_size() - 1));
        EXPECT_EQ(other.config_word(1), original.config_word(1)) << name;
    }
    // A file written before the calibration words were saved leaves the chip's own.
    Pic14Chip chip = *Pic14Chip::create("PIC16F727", 5);
    const std::uint16_t factory = chip.config_space(0x200A);
    ASSERT_TRUE(load_chip_state_hex(chip, ":020000000528D1\r\n:00000001FF\r\n").ok);
    EXPECT_EQ(chip.flash(0), 0x2805);
    EXPECT_EQ(chip.config_space(0x200A), factory);
}

TEST(ChipFamilies, InProcessTheHostsPausesAreTheChipsClock) {
    auto board = *VirtualBoard::with_chip("PIC16F77");
    BoardChannel channel(board);
    const auto send = [&channel](std::initializer_list<std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) {
            channel.write_byte(b);
        }
    };
    send({101, 104, 0x02, 105, 0x34, 0x12, 104, 0x08});
    channel.note_pause(1);
    send({104, 0x0E, 104, 0x06, 104, 0x02, 105, 0x78, 0x06, 104, 0x08, 104, 0x0E});  // no pause
    EXPECT_EQ(board.chip().now_us(), 1000U);
    EXPECT_EQ(board.chip().flash(0), 0x1234);
    EXPECT_EQ(board.chip().flash(1), 0x3FFF) << "ended before its time";
}

}  // namespace
}  // namespace corvanel
