// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/pic14_chip.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

#include "board/virtual_board.h"
#include "support/chip_facts.h"
#include "support/raw_host.h"

namespace corvanel {

// Test listings name the chip, not the bytes of its description.
void PrintTo(const ChipInfo& chip, std::ostream* os) {
    *os << chip.name;
}

namespace {

using test::RawHost;

constexpr std::uint8_t kLoadConfig = 0x00;
constexpr std::uint8_t kLoadProgram = 0x02;
constexpr std::uint8_t kLoadData = 0x03;
constexpr std::uint8_t kReadProgram = 0x04;
constexpr std::uint8_t kReadData = 0x05;
constexpr std::uint8_t kBeginErasePrograming = 0x08;
constexpr std::uint8_t kBulkEraseProgram = 0x09;
constexpr std::uint8_t kBulkEraseData = 0x0B;
constexpr std::uint8_t kBeginProgrammingOnly = 0x18;
constexpr std::uint8_t kChipErase = 0x1F;

// The erase sequence each family's programming documents prescribe.
void erase_chip(RawHost& host, ChipFamily family) {
    switch (family) {
        case ChipFamily::F84A:
        case ChipFamily::F83_84:
        case ChipFamily::F62x:  // 09 and 0B are carried out by the 08 after them
            host.load(kLoadProgram, 0x3FFF);
            host.command(kBulkEraseProgram);
            host.command(kBeginErasePrograming);
            host.load(kLoadData, 0xFF);
            host.command(kBulkEraseData);
            host.command(kBeginErasePrograming);
            // Configuration word: full erase through the code-protect removal sequence.
            host.load(kLoadConfig, 0x3FFF);
            host.increment(7);
            host.command(0x01);
            host.command(0x07);
            host.command(kBeginErasePrograming);
            break;
        case ChipFamily::F87x:
            host.load(kLoadConfig, 0x3FFF);
            host.increment(7);
            host.command(0x01);
            host.command(0x07);
            host.command(kBeginErasePrograming);
            host.command(0x01);
            host.command(0x07);
            break;
        case ChipFamily::F62xA:
        case ChipFamily::F629_675:
        case ChipFamily::F6xx:
        case ChipFamily::F785:
        case ChipFamily::F91x:
        case ChipFamily::F88x:
        case ChipFamily::F61x:
        case ChipFamily::F72x:
            host.load(kLoadConfig, 0x3FFF);
            host.command(kBulkEraseProgram);
            host.command(kBulkEraseData);
            break;
        case ChipFamily::F716:
        case ChipFamily::F7x:
        case ChipFamily::F7x7:
            host.load(kLoadConfig, 0x3FFF);
            host.command(kBulkEraseProgram);
            break;
        case ChipFamily::F87xA:
        case ChipFamily::F87_88:
        case ChipFamily::F81x:
            host.load(kLoadConfig, 0x3FFF);
            host.command(kChipErase);
            break;
        default:  // the enhanced mid-range: enhanced_chip_test.cpp
            break;
    }
    host.reenter();
}

// One programming cycle as the family starts and ends it: 08 where it has it,
// otherwise 18, then its end command if it has one.
void program_cycle(RawHost& host, const FamilyRules& rules) {
    const auto knows = [&rules](int code) { return ((rules.commands >> code) & 1U) != 0; };
    host.command(rules.begin_08 != WriteCycle::None ? kBeginErasePrograming
                                                    : kBeginProgrammingOnly);
    for (const std::uint8_t end : {std::uint8_t{0x17}, std::uint8_t{0x0A}, std::uint8_t{0x0E}}) {
        if (knows(end)) {
            host.command(end);
            break;
        }
    }
}

std::uint16_t pattern(std::int32_t address) {
    return static_cast<std::uint16_t>((address * 0x0123 + 0x0405) & 0x3FFF);
}

class EveryChip : public ::testing::TestWithParam<ChipInfo> {};

// For each chip: erase, program one latch block and the next block partly, one EEPROM
// byte and configuration word 1, then read everything back; then the same after the
// chip's own erase sequence.
TEST_P(EveryChip, ProgramsReadsAndErasesThroughRawBytes) {
    const ChipInfo info = GetParam();
    VirtualBoard board{Pic14Chip(info)};
    board.chip().set_flash(0, 0x1234);
    board.chip().set_eeprom(0, 0x12);
    board.chip().set_config_space(0x2007, 0);
    RawHost host(board);
    host.voltages_on(VoltageSequence::VppFirst);
    erase_chip(host, info.family);
    EXPECT_EQ(board.chip().flash(0), 0x3FFF);
    EXPECT_EQ(board.chip().eeprom(0), 0xFF);

    // One block of latches: load, increment, ..., then one programming command.
    for (std::int32_t a = 0; a < info.latches; ++a) {
        host.load(kLoadProgram, pattern(a));
        if (a + 1 < info.latches) {
            host.increment();
        }
    }
    program_cycle(host, family_rules(info.family));
    host.increment();
    host.load(kLoadData, 0xA5);
    program_cycle(host, family_rules(info.family));

    host.reenter();
    for (std::int32_t a = 0; a < info.latches; ++a) {
        EXPECT_EQ(host.read(kReadProgram), pattern(a)) << info.name << " word " << a;
        host.increment();
    }
    EXPECT_EQ(host.read(kReadProgram), 0x3FFF) << "beyond the block";
    host.reenter();
    host.increment(info.latches);
    EXPECT_EQ(host.read(kReadData), info.eeprom_bytes > 0 ? 0xA5 : 0);

    // Configuration word 1 at 2007h, and the device ID at 2006h.
    host.load(kLoadConfig, 0x3FFF);
    host.increment(6);
    EXPECT_EQ(host.read(kReadProgram), info.device_id) << info.name;
    host.increment();
    host.load(kLoadProgram, 0x0000);
    program_cycle(host, family_rules(info.family));
    const auto unimplemented =
        static_cast<std::uint16_t>(info.unimplemented_config_bits & ~info.config1_mask);
    EXPECT_EQ(host.read(kReadProgram), unimplemented) << info.name;

    host.reenter();
    erase_chip(host, info.family);
    EXPECT_EQ(host.read(kReadProgram), 0x3FFF);
    host.load(kLoadConfig, 0x3FFF);
    host.increment(7);
    EXPECT_EQ(host.read(kReadProgram), (info.config1_mask | unimplemented) & 0x3FFF);
    EXPECT_EQ(board.chip().eeprom(info.latches), 0xFF);
}

// The classic chips; the enhanced mid-range has its own address map and sequences
// (enhanced_chip_test.cpp).
std::vector<ChipInfo> classic_chips() {
    std::vector<ChipInfo> chips;
    for (const ChipInfo& chip : known_chips()) {
        if (!family_rules(chip.family).enhanced && !family_rules(chip.family).eight_bit) {
            chips.push_back(chip);
        }
    }
    return chips;
}

INSTANTIATE_TEST_SUITE_P(Chips, EveryChip, ::testing::ValuesIn(classic_chips()),
                         [](const auto& param) { return param.param.name; });

TEST(Pic14Chip, FindsChipsByNameIgnoringCaseAndPrefix) {
    EXPECT_EQ(find_chip("PIC16F877A")->flash_words, 8192);
    EXPECT_EQ(find_chip("pic16f628a")->name, "PIC16F628A");
    EXPECT_EQ(find_chip("16f84a")->name, "PIC16F84A");
    EXPECT_EQ(find_chip("16f690")->name, "PIC16F690");
    EXPECT_FALSE(find_chip("PIC16F878"));
    EXPECT_FALSE(find_chip(""));
    EXPECT_FALSE(Pic14Chip::create("PIC18F452"));
    EXPECT_EQ(known_chip_names().size(), known_chips().size());
}

// The emulator's chip rows against the catalogue's facts, chip by chip, and no
// chip on one side only (the device file is compared with the same table).
TEST(Pic14Chip, EveryEmulatedChipHasTheCatalogueFacts) {
    std::size_t emulated = 0;
    for (const ChipInfo& chip : known_chips()) {
        if (chip.empty_socket) {
            continue;
        }
        SCOPED_TRACE(chip.name);
        const test::ChipFacts* facts = nullptr;
        for (const test::ChipFacts& row : test::kChips) {
            if (chip.name == row.name) {
                facts = &row;
            }
        }
        const bool enhanced =
            family_rules(chip.family).enhanced || family_rules(chip.family).eight_bit;
        if (enhanced && facts == nullptr) {
            continue;  // the enhanced rows are checked against their own catalogue
        }
        ++emulated;
        ASSERT_NE(facts, nullptr) << "not in the catalogue's table";
        EXPECT_EQ(chip.flash_words, facts->flash_words);
        EXPECT_EQ(chip.eeprom_bytes, facts->eeprom_bytes);
        EXPECT_EQ(chip.device_id, facts->device_id);
        if (!enhanced) {
            const int revision_bits = facts->id_mask == 0 ? 0 : facts->id_mask == 0x3FF0 ? 4 : 5;
            EXPECT_EQ(chip.revision_bits, revision_bits);
        }
        EXPECT_EQ(chip.latches, facts->write_latches);
        EXPECT_EQ(chip.config1_mask, facts->config_mask1);
        EXPECT_EQ(chip.config2_mask, facts->config_mask2);
        if (chip.needs_vpp_first) {
            EXPECT_EQ(facts->voltages, VoltageSequence::VppFirst);
        }
    }
    EXPECT_EQ(emulated, std::size(test::kChips));
}

TEST(Pic14Chip, VppFirstChipEnteredWithVddFirstReadsZerosAndIgnoresWrites) {
    for (const char* name : {"PIC16F628A", "PIC16F88", "PIC12F675"}) {
        auto board = VirtualBoard::with_chip(name);
        ASSERT_TRUE(board);
        board->chip().set_flash(0, 0x2805);
        board->chip().set_eeprom(0, 0x42);
        RawHost host(*board);
        host.voltages_on(VoltageSequence::VddFirst);
        EXPECT_FALSE(board->chip().in_programming_mode());
        EXPECT_EQ(host.read(kReadProgram), 0) << name;
        EXPECT_EQ(host.read(kReadData), 0) << name;
        host.load(kLoadProgram, 0x0000);
        host.command(kBeginErasePrograming);
        host.load(kLoadConfig, 0x3FFF);
        host.command(kBulkEraseProgram);
        host.command(kBulkEraseData);
        host.command(kChipErase);

        host.reenter(VoltageSequence::VppFirst);
        EXPECT_EQ(host.read(kReadProgram), 0x2805) << name;
        EXPECT_EQ(host.read(kReadData), 0x42) << name;
    }
    // A chip that takes either order enters with Vdd first.
    auto board = VirtualBoard::with_chip("PIC16F877A");
    board->chip().set_flash(0, 0x2805);
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VddFirst);
    EXPECT_EQ(host.read(kReadProgram), 0x2805);
}

TEST(Pic14Chip, ProgrammingOnlyClearsBitsWhileEraseProgrammingReplacesTheBlock) {
    auto board = VirtualBoard::with_chip("PIC16F877A");
    for (std::int32_t a = 0; a < 16; ++a) {
        board->chip().set_flash(a, 0x0F0F);
    }
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VddFirst);
    host.load(kLoadProgram, 0x3F00);
    host.command(kBeginProgrammingOnly);  // word 0 only loaded, the others stay 3FFFh
    host.command(0x17);                   // an externally timed cycle ends with End Programming
    EXPECT_EQ(board->chip().flash(0), 0x0F00);
    EXPECT_EQ(board->chip().flash(1), 0x0F0F);

    host.increment(9);  // PC 9, in the block 8..15
    host.load(kLoadProgram, 0x1111);
    host.command(kBeginErasePrograming);
    EXPECT_EQ(board->chip().flash(9), 0x1111);
    EXPECT_EQ(board->chip().flash(8), 0x3FFF);
    EXPECT_EQ(board->chip().flash(15), 0x3FFF);
    EXPECT_EQ(board->chip().flash(16), 0x3FFF);
    EXPECT_EQ(board->chip().flash(7), 0x0F0F);

    // Latches return to blank after a cycle: a second cycle without a load changes nothing.
    board->chip().set_flash(9, 0x2222);
    host.command(kBeginErasePrograming);
    EXPECT_EQ(board->chip().flash(9), 0x2222);
}

TEST(Pic14Chip, BulkEraseScopeFollowsTheAddressCounterAndTheFamily) {
    // 16F628A: 09 always clears the configuration word; the user IDs only go with the
    // address counter in configuration space.
    auto board = VirtualBoard::with_chip("PIC16F628A");
    Pic14Chip& chip = board->chip();
    chip.set_flash(5, 0);
    chip.set_config_space(0x2007, 0);
    chip.set_config_space(0x2000, 0x0123);
    EXPECT_EQ(chip.config_word(1), 0x1E00) << "bits 12:9 are not implemented and read as 1";
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.command(kBulkEraseProgram);
    EXPECT_EQ(chip.flash(5), 0x3FFF);
    EXPECT_EQ(chip.config_word(1), 0x3FFF);
    EXPECT_EQ(chip.config_space(0x2000), 0x0123);
    host.load(kLoadConfig, 0x3FFF);
    host.command(kBulkEraseProgram);
    EXPECT_EQ(chip.config_word(1), 0x3FFF);
    EXPECT_EQ(chip.config_space(0x2000), 0x3FFF);

    // 16F84A and 16F87xA: the bulk erase is carried out by the following 08.
    for (const char* name : {"PIC16F84A", "PIC16F876A"}) {
        auto b = VirtualBoard::with_chip(name);
        b->chip().set_flash(0, 0);
        b->chip().set_eeprom(0, 0);
        RawHost h(*b);
        h.voltages_on(VoltageSequence::VddFirst);
        h.command(kBulkEraseProgram);
        h.command(kBulkEraseData);
        EXPECT_EQ(b->chip().flash(0), 0) << name;
        EXPECT_EQ(b->chip().eeprom(0), 0) << name;
        h.command(kBeginErasePrograming);
        EXPECT_EQ(b->chip().flash(0), 0x3FFF) << name;
        EXPECT_EQ(b->chip().eeprom(0), 0xFF) << name;
    }

    // 1F is not a 16F628A command.
    chip.set_flash(0, 0);
    host.command(kChipErase);
    EXPECT_EQ(chip.flash(0), 0);
}

TEST(Pic14Chip, ConfigurationWordsKeepOnlyTheirImplementedBits) {
    struct Case {
        const char* chip;
        int number;
        std::uint16_t written;
        std::uint16_t read;
    };
    const Case cases[] = {
        {"PIC16F628A", 1, 0x2172, 0x3F72}, {"PIC16F628A", 1, 0x0000, 0x1E00},
        {"PIC16F877A", 1, 0x0000, 0x1030}, {"PIC16F877A", 1, 0x3F72, 0x3F72},
        {"PIC16F88", 2, 0x0000, 0x3FFC},   {"PIC16F84A", 1, 0x3FF1, 0x3FF1},
        {"PIC16F84A", 2, 0x0000, 0x0000},  {"PIC12F675", 1, 0x0E00, 0x0000},
        {"PIC16F690", 1, 0x0000, 0x3000},  {"PIC16F882", 2, 0x0000, 0x38FF},
    };
    for (const Case& c : cases) {
        auto board = VirtualBoard::with_chip(c.chip);
        RawHost host(*board);
        host.voltages_on(VoltageSequence::VppFirst);
        host.load(kLoadConfig, 0x3FFF);
        host.increment(6 + c.number);
        host.load(kLoadProgram, c.written);
        program_cycle(host, board->chip().rules());
        EXPECT_EQ(host.read(kReadProgram), c.read) << c.chip << " config " << c.number;
        EXPECT_EQ(board->chip().config_word(c.number), c.read);
    }
}

TEST(Pic14Chip, FramesOutOfOrderDoNothing) {
    auto board = VirtualBoard::with_chip("PIC16F819");
    Pic14Chip& chip = board->chip();
    chip.set_flash(0, 0x0AAA);
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.increment();
    EXPECT_EQ(host.read(0x06), 0);  // a read frame after a non-read command is not driven (PC 2)
    host.data(0x0000);              // a data frame with no load before it
    host.command(kLoadProgram);
    host.increment();  // abandons the load (PC 3)
    host.data(0x0000);
    host.command(kBeginErasePrograming);
    EXPECT_EQ(chip.flash(0), 0x0AAA);
    EXPECT_EQ(chip.flash(1), 0x3FFF);
    EXPECT_EQ(chip.flash(2), 0x3FFF);
    EXPECT_EQ(chip.pc(), 3);
}

TEST(Pic14Chip, AddressCounterAliasesProgramMemoryAndStaysInConfigurationSpace) {
    auto board = VirtualBoard::with_chip("PIC16F628A");  // 2K words, 128 EEPROM bytes
    board->chip().set_flash(0, 0x0123);
    board->chip().set_eeprom(0, 0x45);
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.increment(0x800);
    EXPECT_EQ(host.read(kReadProgram), 0x0123);
    EXPECT_EQ(host.read(kReadData), 0x45);  // 800h mod 128 = 0
    host.load(kLoadConfig, 0x3FFF);
    host.increment(9);
    EXPECT_EQ(board->chip().pc(), 0x2009);
    EXPECT_EQ(host.read(kReadProgram), 0);
    host.increment(0x2000 - 9);
    EXPECT_EQ(board->chip().pc(), 0x2000);
}

TEST(Pic14Chip, TwelveF675CalibrationIsLostOnErase) {
    auto board = VirtualBoard::with_chip("PIC12F675");
    Pic14Chip& chip = board->chip();
    EXPECT_EQ(chip.flash(0x3FF) & 0xFF00, 0x3400) << "a RETLW from the factory";
    EXPECT_NE(chip.config_word(1) & 0x3000, 0x3000) << "band-gap bits from the factory";
    RawHost host(*board);
    host.voltages_on(VoltageSequence::VppFirst);
    host.load(kLoadConfig, 0x3FFF);
    host.command(kBulkEraseProgram);
    EXPECT_EQ(chip.flash(0x3FF), 0x3FFF);
    EXPECT_EQ(chip.config_word(1), 0x31FF);
}

TEST(Pic14Chip, EmptySocketAnswersEveryReadWithAllOnes) {
    auto board = VirtualBoard::with_chip("none");
    ASSERT_TRUE(board.has_value());
    EXPECT_TRUE(board->chip().info().empty_socket);
    RawHost host(*board);
    for (const VoltageSequence order : {VoltageSequence::VddFirst, VoltageSequence::VppFirst}) {
        host.voltages_on(order);
        host.load(kLoadConfig, 0x3FFF);
        host.increment(6);
        EXPECT_EQ(host.read(kReadProgram), 0x3FFF);
        EXPECT_EQ(host.read(kReadData), 0x3FFF);
        host.voltages_off();
    }
}

}  // namespace
}  // namespace corvanel
