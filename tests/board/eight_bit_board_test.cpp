// SPDX-License-Identifier: GPL-3.0-or-later
// The 8-bit command set on the virtual board (the board server's board): a session
// per family through commands 108-110 and extension 42h, protection and erase
// regions, and the two command sets kept apart.

#include <gtest/gtest.h>

#include "board/eight_bit_session.h"
#include "board/virtual_board.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes feed(VirtualBoard& board, const Bytes& bytes) {
    Bytes answers;
    for (const std::uint8_t byte : bytes) {
        const Bytes got = board.feed(byte);
        answers.insert(answers.end(), got.begin(), got.end());
    }
    return answers;
}

TEST(EightBitBoard, EverySessionStepIsAnsweredAndEveryMemoryReadsBack) {
    for (const bool low_voltage : {false, true}) {
        for (const std::string& name : test::eight_bit_session_chips()) {
            SCOPED_TRACE(name + (low_voltage ? " low voltage" : " high voltage"));
            auto board = VirtualBoard::with_chip(name);
            ASSERT_TRUE(board);
            board->set_vdd(3.3);  // the LF parts stand 4.0 V at most
            const auto session = test::eight_bit_session(board->chip().info(), low_voltage);
            std::size_t step_number = 0;
            for (const auto& step : session.steps) {
                ASSERT_EQ(feed(*board, step.send), step.answers) << "step " << step_number;
                board->advance_time(step.wait_us);
                ++step_number;
            }
            const Pic14Chip& chip = board->chip();
            EXPECT_FALSE(chip.powered());
            EXPECT_EQ(chip.faults(), std::vector<std::string>{});
            for (std::size_t i = 0; i < session.flash.size(); ++i) {
                EXPECT_EQ(chip.flash(static_cast<std::int32_t>(i)), session.flash[i]);
            }
            EXPECT_EQ(chip.config_space(0x8000), session.user_id);
            if (session.eeprom_byte >= 0) {
                EXPECT_EQ(chip.eeprom(0), session.eeprom_byte);
            }
        }
    }
}

// Protection, the erase regions and a cycle cut short, on the 16F18877.
TEST(EightBitBoard, ProtectionEraseRegionsAndShortWaits) {
    using namespace board_command;
    auto board = VirtualBoard::with_chip("PIC16F18877");
    ASSERT_TRUE(board);
    board->chip().set_flash(5, 0x1234);
    board->chip().set_eeprom(0, 0x11);
    const auto pc = [](std::uint16_t address) {
        return Bytes{kChipCommand8, 0x80, kPayload24, static_cast<std::uint8_t>(address & 0xFF),
                     static_cast<std::uint8_t>(address >> 8)};
    };
    const auto run = [&](Bytes bytes, std::uint32_t wait) {
        feed(*board, bytes);
        board->advance_time(wait);
    };
    const Bytes erase = {kChipCommand8, 0x18};
    run({kVoltagesOnVddFirst}, 0);
    // CONFIG5 = 0: CP and CPD on. Reads then give 0.
    run(pc(0x800B), 0);
    run({kChipCommand8, 0x00, kPayload24, 0x00, 0x00, kChipCommand8, 0xE0}, 6'000);
    EXPECT_TRUE(board->chip().program_protected());
    run(pc(0x0005), 0);
    EXPECT_EQ(feed(*board, {kChipCommand8, 0xFC, kReadPayload24}),
              (Bytes{kChipCommand8, 0x00, 0x00, kReadPayload24}));
    // 80FEh erases program memory only: CP stays, the EEPROM keeps its byte.
    run(pc(0x80FE), 0);
    run(erase, 14'000);
    EXPECT_EQ(board->chip().flash(5), 0x3FFF);
    EXPECT_TRUE(board->chip().program_protected());
    EXPECT_EQ(board->chip().eeprom(0), 0x11);
    // A bulk erase cut short by the next command leaves everything as it was.
    run(pc(0x8000), 0);
    run(erase, 1'000);
    run({kChipCommand8, 0xF8}, 0);
    EXPECT_TRUE(board->chip().program_protected());
    // At 8000h it lifts CP and, the data being protected, clears the EEPROM.
    run(pc(0x8000), 0);
    run(erase, 14'000);
    EXPECT_FALSE(board->chip().program_protected());
    EXPECT_EQ(board->chip().eeprom(0), 0xFF);
    // Voltages off: answered, nothing clocked, the read gives the pulled-up line.
    run({kVoltagesOff}, 0);
    EXPECT_EQ(feed(*board, {kChipCommand8, 0xFE, kPayload24, 1, 2, kReadPayload24}),
              (Bytes{kChipCommand8, kPayload24, 0xFF, 0xFF, kReadPayload24}));
    EXPECT_EQ(board->chip().faults(), std::vector<std::string>{});
}

// 18h with its payload on a 16F18076 (bit 0 of the value the EEPROM, bit 1 program
// memory, bit 2 the user IDs, bit 3 the configuration words): each region alone;
// on a protected chip the configuration bit erases everything and the others leave
// program memory and the EEPROM; an erase cut short erases nothing; a bare 18h takes
// the Load PC after it as its payload, as silicon counts clocks.
TEST(EightBitBoard, PayloadEraseTakesItsRegionsFromThePayload) {
    using namespace board_command;
    const auto erase = [](std::uint8_t regions) {
        return Bytes{kChipCommand8, 0x18, kPayload24, regions, 0x00};
    };
    struct Case {
        const char* what;
        bool protect;
        Bytes stream;
        std::uint32_t wait;
        Bytes after;
        bool flash, eeprom, user_id, config;  // erased
    };
    const Bytes load_pc_f000 = {kChipCommand8, 0x80, kPayload24, 0x00, 0xF0};
    Bytes bare = {kChipCommand8, 0x18};
    bare.insert(bare.end(), load_pc_f000.begin(), load_pc_f000.end());
    const Case cases[] = {
        {"EEPROM", false, erase(0x01), 14'000, {}, false, true, false, false},
        {"program memory", false, erase(0x02), 14'000, {}, true, false, false, false},
        {"user IDs", false, erase(0x04), 14'000, {}, false, false, true, false},
        {"configuration", false, erase(0x08), 14'000, {}, false, false, false, true},
        {"everything", false, erase(0x0F), 14'000, {}, true, true, true, true},
        {"protected, program memory", true, erase(0x02), 14'000, {}, false, false, false, false},
        {"protected, EEPROM and IDs", true, erase(0x05), 14'000, {}, false, false, true, false},
        {"protected, configuration", true, erase(0x08), 14'000, {}, true, true, true, true},
        {"cut short",
         false,
         erase(0x0F),
         12'000,
         {kChipCommand8, 0xF8},
         false,
         false,
         false,
         false},
        {"bare 18h", false, bare, 14'000, {}, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto board = VirtualBoard::with_chip("PIC16F18076");
        ASSERT_TRUE(board);
        Pic14Chip& chip = board->chip();
        chip.set_flash(5, 0x1234);
        chip.set_eeprom(0, 0x11);
        chip.set_config_space(0x8000, 0x0123);
        chip.set_config_space(0x8007, 0x0000);
        if (c.protect) {
            chip.set_config_space(0x800B, 0x0000);  // CONFIG5: CP and CPD on
        }
        feed(*board, {kVoltagesOnVppFirst});
        feed(*board, c.stream);
        board->advance_time(c.wait);
        feed(*board, c.after);
        feed(*board, {kVoltagesOff});
        EXPECT_EQ(chip.flash(5) == 0x3FFF, c.flash);
        EXPECT_EQ(chip.eeprom(0) == 0xFF, c.eeprom);
        EXPECT_EQ(chip.config_space(0x8000) == 0x3FFF, c.user_id);
        EXPECT_EQ(chip.config_word(1) == 0x3FFF, c.config);
        EXPECT_EQ(chip.program_protected(), c.protect && !c.config);
    }
}

// Each set's stream on the other's chip writes nothing and enters nothing: the
// 6-bit enhanced write on a 16F18877, the 8-bit write on a 16F1829; the 8-bit key
// on a 6-bit chip and the 6-bit key on an 8-bit chip.
TEST(EightBitBoard, TheOtherCommandSetWritesNothing) {
    using namespace board_command;
    struct Case {
        const char* chip;
        Bytes stream;
    };
    const Bytes six_bit = {kVoltagesOnVppFirst, kChipCommand, 0x02, kDataWord, 0x34, 0x12,
                           kChipCommand,        0x08};
    const Bytes eight_bit = {
        kVoltagesOnVppFirst, kChipCommand8, 0x80, kPayload24,    0,   0, kChipCommand8, 0x00,
        kPayload24,          0x34,          0x12, kChipCommand8, 0xE0};
    const Case cases[] = {{"PIC16F18877", six_bit},
                          {"PIC16F1829", eight_bit},
                          {"PIC16F1829", Bytes{kChipCommand, board_extension::kLowVoltageEntry8}},
                          {"PIC16F18877", Bytes{kChipCommand, board_extension::kLowVoltageEntry}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        auto board = VirtualBoard::with_chip(c.chip);
        ASSERT_TRUE(board);
        const bool key_only = c.stream.size() == 2;
        feed(*board, c.stream);
        if (key_only) {
            EXPECT_TRUE(board->chip().powered());
            EXPECT_FALSE(board->chip().in_programming_mode());
            continue;
        }
        board->advance_time(10'000);
        feed(*board, {kVoltagesOff});
        EXPECT_EQ(board->chip().flash(0), 0x3FFF);
    }
    // Both keys reach their own sets.
    for (const auto& [chip, code] : {std::pair{"PIC16F18877", board_extension::kLowVoltageEntry8},
                                     std::pair{"PIC16F1829", board_extension::kLowVoltageEntry}}) {
        auto board = VirtualBoard::with_chip(chip);
        feed(*board, {kChipCommand, code});
        EXPECT_TRUE(board->chip().in_programming_mode()) << chip;
    }
}

}  // namespace
}  // namespace corvanel
