// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/script_runner.h"

#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

#include "core/engine/chip_operations.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using K = InstructionKind;

// --- Recognising instructions --------------------------------------------------

struct DecodeCase {
    std::string text;
    InstructionKind kind;
    std::int32_t code = 0;
    std::int32_t value = 0;
};

// Test listings name the case, not the bytes of the parameter.
void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.text;
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, FirstFittingRuleDecides) {
    const DecodeCase& c = GetParam();
    const DecodedInstruction d = decode_instruction(c.text);
    EXPECT_EQ(d.kind, c.kind) << "'" << c.text << "'";
    if (c.kind != K::Unrecognized) {
        EXPECT_EQ(d.code, c.code) << c.text;
        EXPECT_EQ(d.value, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeTest,
    ::testing::Values(
        DecodeCase{"begin", K::Begin}, DecodeCase{"end", K::End},
        DecodeCase{"calcflashpage", K::CalcFlashPage},
        DecodeCase{"seteepromloop", K::SetEepromLoop}, DecodeCase{"endifpage", K::EndIfPage},
        DecodeCase{"s02-flash", K::WriteFlash, 2}, DecodeCase{"s3a-eeprom", K::WriteEeprom, 0x3A},
        DecodeCase{"s02-config1", K::WriteConfig1, 2},
        DecodeCase{"s02-config2", K::WriteConfig2, 2},
        // Only characters 2 and 3 are the code; what lies between is not looked at.
        DecodeCase{"s02xyz-flash", K::WriteFlash, 2}, DecodeCase{"flash=s04", K::ReadFlash, 4},
        DecodeCase{"eeprom=s05", K::ReadEeprom, 5}, DecodeCase{"config1=s04", K::ReadConfig1, 4},
        DecodeCase{"config2=s04", K::ReadConfig2, 4}, DecodeCase{"temp=s1f", K::ReadTemp, 0x1F},
        DecodeCase{"checkblankconfig2", K::CheckBlankConfig2},
        DecodeCase{"checkeeprom", K::CheckEeprom},
        DecodeCase{"s02-3fff", K::WriteLiteral, 2, 0x3FFF}, DecodeCase{"s3f", K::Command, 0x3F},
        DecodeCase{"wprog", K::WaitProg}, DecodeCase{"w25", K::Wait, 0, 25},
        DecodeCase{"w", K::Wait, 0, 0}, DecodeCase{"w2.5", K::Wait, 0, 2},
        DecodeCase{"w3.5", K::Wait, 0, 4}, DecodeCase{"w-5", K::Wait, 0, -5},
        // Nothing is trimmed, and the language is lower case.
        DecodeCase{"", K::Unrecognized}, DecodeCase{"begin ", K::Unrecognized},
        DecodeCase{" s3f", K::Unrecognized}, DecodeCase{"BEGIN", K::Unrecognized},
        DecodeCase{"send", K::Unrecognized}, DecodeCase{"s02-3ff", K::Unrecognized},
        // Codes and literals that are not hex digits are not instructions.
        DecodeCase{"sg0", K::Unrecognized}, DecodeCase{"s-flash", K::Unrecognized},
        DecodeCase{"flash=s", K::Unrecognized}, DecodeCase{"temp=s4", K::Unrecognized},
        DecodeCase{"s02-3fgf", K::Unrecognized}, DecodeCase{"s0 -3fff", K::Unrecognized},
        // User IDs: the digit names the word 2000h + N - 1 (value N - 1).
        DecodeCase{"ifuserids", K::IfUserIds}, DecodeCase{"endifuserids", K::EndIfUserIds},
        DecodeCase{"s02-userid1", K::WriteUserId, 2, 0},
        DecodeCase{"s18-userid4", K::WriteUserId, 0x18, 3},
        DecodeCase{"userid2=s04", K::ReadUserId, 4, 1},
        DecodeCase{"checkuserid3", K::CheckUserId, 0, 2},
        DecodeCase{"protection=s04", K::ReadProtection, 4},
        DecodeCase{"s02-userid5", K::Unrecognized}, DecodeCase{"s02-userid", K::Unrecognized},
        DecodeCase{"userid0=s04", K::Unrecognized}, DecodeCase{"checkuserid", K::Unrecognized},
        DecodeCase{"userid1=s4", K::Unrecognized}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

// --- Running scripts on a board that answers every command ---------------------

class ScriptTest : public ::testing::Test, protected test::EngineFixture {
protected:
    void fill_flash(std::int32_t count, std::int32_t first = 0x100) {
        for (std::int32_t i = 0; i < count; ++i) {
            ASSERT_TRUE(state.image.set_flash_word(i, first + i));
        }
    }
    std::vector<std::string> progress_texts() const {
        std::vector<std::string> texts;
        for (const std::string& s : host.statuses) {
            if (s.starts_with("F:") || s.starts_with("E:") || s.starts_with("CONF")) {
                texts.push_back(s);
            }
        }
        return texts;
    }
};

TEST_F(ScriptTest, SingleChipCommandAndLiteralWrite) {
    EXPECT_EQ(run({"s3f"}), StartResult::Started);
    EXPECT_EQ(channel.written, (Bytes{104, 63}));
    EXPECT_TRUE(host.status().starts_with("Chip programmed. "));

    channel.written.clear();
    run({"s02-3fff"});
    EXPECT_EQ(channel.written, (Bytes{104, 2, 105, 255, 63}));
}

TEST_F(ScriptTest, ScriptMayBeginWithAMultiStepInstruction) {
    channel.read_words = {0x0ABC};
    state.runner.set_phase(3);  // left over from an interrupted operation
    run({"temp=s04", "s3f"});
    EXPECT_EQ(state.runner.temp_word, 0x0ABC);
    EXPECT_EQ(channel.written, (Bytes{104, 4, 106, 104, 0x3F}));
    EXPECT_FALSE(state.runner.running());
}

TEST_F(ScriptTest, EveryCommandIsFollowedByEventProcessing) {
    run({"s02-3fff"});
    const test::Trace expected{"w104", "w2", "ev", "w105", "w255", "w63", "ev"};
    test::Trace seen;
    for (const std::string& entry : trace) {
        // From the first byte on; the starter lets events run before it.
        if (entry.starts_with("w") || (entry == "ev" && !seen.empty())) {
            seen.push_back(entry);
        }
    }
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(test::Trace(seen.begin(), seen.begin() + 7), expected);
}

TEST_F(ScriptTest, ThreeWordFlashWriteLoop) {
    fill_flash(3, 0x2801);
    run({"begin", "calcflash", "setflashloop", "s02-flash", "s06", "loop", "end"});
    EXPECT_EQ(progress_texts(), (std::vector<std::string>{"F:1/3", "F:2/3", "F:3/3"}));
    const Bytes expected{101,                                        // begin
                         100,                                        // calcflash
                         100, 104, 2, 105, 0x01, 0x28, 104, 6, 100,  // word 0
                         100, 104, 2, 105, 0x02, 0x28, 104, 6, 100,  // word 1
                         100, 104, 2, 105, 0x03, 0x28, 104, 6, 100,  // word 2
                         100,                                        // loop left
                         103};
    EXPECT_EQ(channel.written, expected);
    EXPECT_EQ(state.runner.address(), 0);  // the test that ends the loop resets it
    EXPECT_FALSE(state.runner.running());
    EXPECT_EQ(channel.threshold, 0);
}

TEST_F(ScriptTest, IfPageBlockRunsAfterEveryPageSizeWord) {
    state.model.page_size = 4;
    fill_flash(10);
    run({"calcflash", "setflashloop", "s02-flash", "ifpage", "s08", "endifpage", "loop"});
    std::vector<int> programmed_after;  // words written when each 104,8 went out
    int words = 0;
    for (std::size_t i = 0; i + 1 < channel.written.size(); ++i) {
        if (channel.written[i] == 105) {
            ++words;
            i += 2;
        } else if (channel.written[i] == 104 && channel.written[i + 1] == 8) {
            programmed_after.push_back(words);
        }
    }
    EXPECT_EQ(words, 10);
    EXPECT_EQ(programmed_after, (std::vector<int>{4, 8}));
}

struct PageCase {
    std::int32_t page_size;
    std::int32_t last_used;  // -1: blank image
    std::int32_t expected_last_flash;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << "page " << c.page_size << ", last used " << c.last_used;
}

class CalcFlashPageTest : public ::testing::TestWithParam<PageCase>,
                          protected test::EngineFixture {};

TEST_P(CalcFlashPageTest, EndsOnAPageBoundary) {
    const PageCase& c = GetParam();
    state.model.page_size = c.page_size;
    if (c.last_used >= 0) {
        ASSERT_TRUE(state.image.set_flash_word(c.last_used, 0));
    }
    run({"calcflashpage"});
    EXPECT_EQ(state.runner.last_flash, c.expected_last_flash);
}

INSTANTIATE_TEST_SUITE_P(Table, CalcFlashPageTest,
                         ::testing::Values(PageCase{8, -1, 7}, PageCase{8, 7, 7},
                                           PageCase{8, 8, 15}, PageCase{8, 0, 7},
                                           PageCase{1, -1, -1}, PageCase{1, 9, 9},
                                           // A page size below 1 acts as 1.
                                           PageCase{0, -1, -1}, PageCase{-4, 9, 9},
                                           // Above the largest FLASH it acts as 8000h.
                                           PageCase{2147483647, -1, 0x7FFF}));

TEST_F(ScriptTest, CalcFlashOnBlankImageSkipsTheLoop) {
    run({"calcflash", "setflashloop", "s02-flash", "loop", "s3f"});
    EXPECT_EQ(state.runner.last_flash, -1);
    EXPECT_EQ(state.runner.address(), 0);
    EXPECT_EQ(channel.written, (Bytes{100, 100, 104, 0x3F}));
}

TEST_F(ScriptTest, CalcEepromFindsTheLastUsedByte) {
    ASSERT_TRUE(state.image.set_eeprom_byte(5, 0));
    run({"calceeprom", "seteepromloop", "s03-eeprom", "loop"});
    EXPECT_EQ(state.runner.last_eeprom, 5);
    EXPECT_EQ(progress_texts().back(), "E:6/6");
}

TEST_F(ScriptTest, ReadsAssembleLowAndHighByte) {
    // (An EEPROM byte above FFh would be an answer out of step: see operation_safety_test.)
    channel.read_words = {0x1234, 0x0034, 0x2FCF, 0x0003, 0xBEEF};
    run({"flash=s04", "eeprom=s05", "config1=s04", "config2=s04", "temp=s04"});
    EXPECT_EQ(state.image.flash[0], 0x1234);
    EXPECT_EQ(state.image.eeprom[1], 0x34);  // the FLASH read moved the address on
    EXPECT_EQ(state.image.config1, 0x2FCF);
    EXPECT_EQ(state.image.config2, 0x0003);
    EXPECT_EQ(state.runner.temp_word, 0xBEEF);  // stored whole, not cut to 14 bits
    EXPECT_EQ(state.runner.address(), 2);       // FLASH and EEPROM reads count
    EXPECT_EQ(progress_texts(), (std::vector<std::string>{"F:1/0", "E:2/0", "CONF1:", "CONF2:"}));
    // Per read: the chip command, then 106; the third answer starts the next one.
    EXPECT_EQ(channel.written,
              (Bytes{104, 4, 106, 104, 5, 106, 104, 4, 106, 104, 4, 106, 104, 4, 106}));
}

TEST_F(ScriptTest, ReadOfTheHighestWordGives8000h) {
    channel.read_words = {0x8000};
    run({"temp=s04"});
    EXPECT_EQ(state.runner.temp_word, 32768);
}

struct CheckCase {
    std::string name;
    std::string instruction;
    std::int32_t temp_word;
    std::string line;  // empty: no mismatch
};

// Test listings name the case, not the bytes of the parameter.
void PrintTo(const CheckCase& c, std::ostream* os) {
    *os << c.name;
}

class CheckTest : public ::testing::TestWithParam<CheckCase>, protected test::EngineFixture {};

TEST_P(CheckTest, RecordsTheExpectedLine) {
    const CheckCase& c = GetParam();
    ASSERT_TRUE(state.image.set_flash_word(5, 0x0123));
    ASSERT_TRUE(state.image.set_eeprom_byte(5, 0x34));
    state.image.config1 = 0x3F72;
    state.image.config2 = 0x0003;
    state.image.config_erased1 = 0x3FFF;
    state.image.config_erased2 = 0x0003;
    state.runner.temp_word = c.temp_word;
    state.model.verify_list = {"w", c.instruction};
    ASSERT_EQ(start_operation(state, OperationKind::Verify), StartResult::Started);
    state.runner.set_address(5);  // where a loop would stand
    test::pump(state, channel);
    const std::string header = MismatchReport::header();
    if (c.line.empty()) {
        EXPECT_EQ(state.report.mismatch_count, 0);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(host.status().starts_with("Chip verified. "));
    } else {
        EXPECT_EQ(state.report.mismatch_report, header + c.line + "\r\n");
        ASSERT_EQ(host.messages.size(), 1U);
        EXPECT_EQ(host.messages[0].text, "Chip verify failed:\r\n\r\n" + header + c.line + "\r\n");
        EXPECT_EQ(host.messages[0].kind, 16);
        EXPECT_EQ(host.messages[0].caption, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CheckTest,
    ::testing::Values(
        CheckCase{"BlankFlashDiffers", "checkblankflash", 0, "FLASH Word 0005h,   0000h,   3FFFh,"},
        CheckCase{"BlankFlashMatches", "checkblankflash", 0x3FFF, ""},
        CheckCase{"BlankEepromDiffers", "checkblankeeprom", 0x1200,
                  "EEPROM Byte 0005h,   00h,   FFh,"},
        CheckCase{"BlankEepromComparesLowByte", "checkblankeeprom", 0x12FF, ""},
        CheckCase{"BlankConfig1", "checkblankconfig1", 0x3F00,
                  "CONF Word 2007h,   3F00h,   3FFFh,"},
        CheckCase{"BlankConfig2", "checkblankconfig2", 0x0003, ""},
        CheckCase{"FlashDiffers", "checkflash", 0x3FFF, "FLASH Word 0005h,   3FFFh,   0123h,"},
        CheckCase{"FlashMatches", "checkflash", 0x0123, ""},
        CheckCase{"EepromLowByteMatches", "checkeeprom", 0x1234, ""},
        CheckCase{"EepromDiffers", "checkeeprom", 0x0035, "EEPROM Byte 0005h,   35h,   34h,"},
        CheckCase{"Config1", "checkconfig1", 0x3F73, "CONF Word 2007h,   3F73h,   3F72h,"},
        CheckCase{"Config2", "checkconfig2", 0x0001, "CONF Word 2008h,   0001h,   0003h,"}),
    [](const auto& info) { return info.param.name; });

TEST_F(ScriptTest, TwentyFifthMismatchJumpsToTheLastInstruction) {
    fill_flash(40);  // every word differs from what the blank board reads back
    InstructionList verify{"begin", "setflashloop", "temp=s04", "checkflash", "s06", "loop", "end"};
    run(verify, OperationKind::Verify);
    EXPECT_EQ(state.report.mismatch_count, 25);
    int lines = 0;
    for (std::size_t at = 0;
         (at = state.report.mismatch_report.find("\r\n", at)) != std::string::npos; at += 2) {
        ++lines;
    }
    EXPECT_EQ(lines, 26);  // the header and 25 mismatches
    // The check still sent its no-op; then "end" ran, then the operation finished.
    ASSERT_GE(channel.written.size(), 2U);
    EXPECT_EQ(channel.written[channel.written.size() - 2], 100);
    EXPECT_EQ(channel.written.back(), 103);
    EXPECT_TRUE(host.status().starts_with("Chip verify failed. "));
    EXPECT_EQ(host.messages.size(), 1U);
}

TEST_F(ScriptTest, FourBytesInOneNotificationRunFourSteps) {
    channel.answering = false;
    state.model.program_list = {"s01", "s02", "temp=s04", "s05"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    EXPECT_EQ(channel.written, (Bytes{104, 1}));
    // Answers to s01, to s02, to 104 of the read, then the low byte of the word.
    channel.incoming = {104, 104, 104, 0x34};
    state.link.MSComm1_OnComm();
    EXPECT_EQ(channel.written, (Bytes{104, 1, 104, 2, 104, 4, 106}));
    EXPECT_EQ(state.runner.phase(), 3);
    EXPECT_EQ(state.runner.word_accumulator(), 0x34);
    channel.incoming = {0x12, 106, 104};
    state.link.MSComm1_OnComm();
    EXPECT_EQ(state.runner.temp_word, 0x1234);
    EXPECT_TRUE(host.status().starts_with("Chip programmed. "));
}

TEST_F(ScriptTest, EmptyInstructionEndsTheProgram) {
    run({"begin", "", "end"});
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text,
              "Unrecognized symbolic instruction ''.\r\nThe program must end.");
    EXPECT_EQ(host.messages[0].kind, 16);
    EXPECT_EQ(host.program_ends, 1);
    // Nothing after the message but voltages-off, as after every failure (a
    // board inside a command reads the first ones as its data): the chip must
    // not stay powered.
    EXPECT_EQ(channel.written, (Bytes{101, 103, 103, 103}));
    EXPECT_EQ(channel.threshold, 0);
    EXPECT_FALSE(state.runner.running());
    EXPECT_FALSE(host.status().starts_with("Chip"));  // no completion routine
    // Stray answers afterwards (even with a host that keeps notifying) do not
    // bring the message back.
    channel.threshold = 1;
    channel.incoming = {1, 2};
    state.link.MSComm1_OnComm();
    EXPECT_EQ(host.messages.size(), 1U);
}

TEST_F(ScriptTest, UnknownInstructionIsQuotedInTheMessage) {
    run({"s0x-flash"});
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_EQ(host.messages[0].text,
              "Unrecognized symbolic instruction 's0x-flash'.\r\nThe program must end.");
    EXPECT_EQ(channel.written, (Bytes{103, 103, 103}));  // voltages-off only
}

TEST_F(ScriptTest, PausesBeforeTheirNoOperation) {
    state.model.programming_time = 7;
    run({"w25", "w", "w2.5", "w-5", "wprog"});
    EXPECT_EQ(host.pauses, (std::vector<int>{25, 0, 2, 0, 7}));
    EXPECT_EQ(channel.written, (Bytes{100, 100, 100, 100, 100}));
    state.model.programming_time = -3;
    host.pauses.clear();
    run({"wprog"});
    EXPECT_EQ(host.pauses, (std::vector<int>{0}));
}

TEST_F(ScriptTest, TestVppOnDropsEveryByte) {
    channel.answering = false;
    state.model.program_list = {"s01", "s02"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    state.link.vpp_test_on = true;
    channel.incoming = {104, 104};
    state.link.MSComm1_OnComm();
    EXPECT_EQ(channel.written, (Bytes{104, 1}));
    EXPECT_EQ(state.runner.next_instruction(), 2);
    EXPECT_EQ(channel.threshold, 1);  // untouched
}

TEST_F(ScriptTest, StrayByteDuringWriteWithReadPhaseIsDropped) {
    channel.answering = false;
    state.model.program_list = {"s02-flash"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    state.runner.set_phase(2);
    channel.incoming = {104};
    state.link.MSComm1_OnComm();
    EXPECT_EQ(channel.written, (Bytes{104, 2}));
    EXPECT_EQ(state.runner.phase(), 2);
    EXPECT_EQ(state.runner.next_instruction(), 1);
    EXPECT_EQ(channel.threshold, 1);
}

// --- Corners a faulty device file can reach ------------------------------------

TEST_F(ScriptTest, SkippedLoopWithoutLoopFinishesTheScript) {
    state.runner.set_address(0);
    run({"calcflash", "setflashloop", "s02-flash", "end"});
    EXPECT_EQ(channel.written, (Bytes{100, 100}));
    EXPECT_TRUE(host.status().starts_with("Chip programmed. "));
}

TEST_F(ScriptTest, SkippedIfPageWithoutEndIfPageFinishesTheScript) {
    run({"ifpage", "s08", "end"});
    EXPECT_EQ(channel.written, (Bytes{100}));
    EXPECT_TRUE(host.status().starts_with("Chip programmed. "));
}

TEST_F(ScriptTest, LoopWithoutLoopSetGoesOn) {
    run({"loop", "s3f"});
    EXPECT_EQ(channel.written, (Bytes{100, 104, 0x3F}));
}

TEST_F(ScriptTest, LoopLeftOverFromAnEarlierOperationIsNotFollowed) {
    fill_flash(2);
    run({"calcflash", "setflashloop", "s02-flash", "loop"});
    EXPECT_EQ(state.runner.loop_start(), 0);  // a loop that has ended is forgotten
    channel.written.clear();
    run({"begin", "loop", "end"});  // no loop-set here: "loop" must not jump to 2
    EXPECT_EQ(channel.written, (Bytes{101, 100, 103}));
}

TEST_F(ScriptTest, LoopWhoseBodyNeverMovesTheAddressEndsAfterOnePass) {
    run({"setflashloop", "s06", "loop", "s3f"});
    EXPECT_EQ(channel.written, (Bytes{100, 104, 6, 100, 104, 0x3F}));
    EXPECT_EQ(state.runner.address(), 0);
}

TEST_F(ScriptTest, LoopEndBeyondTheImageNeverTouchesOutsideIt) {
    // 64 words, page size 48: the last page ends at word 95.
    state.model.page_size = 48;
    ASSERT_TRUE(state.image.set_flash_word(63, 0x0AAA));
    run({"calcflashpage", "setflashloop", "s02-flash", "loop"});
    EXPECT_EQ(state.runner.last_flash, 95);
    const Bytes tail(channel.written.end() - 7, channel.written.end());
    EXPECT_EQ(tail, (Bytes{104, 2, 105, 0xFF, 0x3F, 100, 100}));  // word 95 goes out blank

    channel.read_words.assign(96, 0x0123);
    run({"calcflashpage", "setflashloop", "flash=s04", "loop"});
    EXPECT_EQ(state.image.flash.size(), 64U);
    EXPECT_EQ(state.image.flash[63], 0x0123);
}

TEST_F(ScriptTest, UnrecognisedLiteralEndsTheProgramBeforeSending) {
    run({"begin", "s02-3fxf"});
    EXPECT_EQ(host.program_ends, 1);
    // None of the literal, then voltages off.
    EXPECT_EQ(channel.written, (Bytes{101, 103, 103, 103}));
}

TEST_F(ScriptTest, ConfigWordsAreWrittenWithTheirProgress) {
    state.image.config1 = 0x3F72;
    state.image.config2 = -1;  // undefined erased value: goes out as FFFFh
    run({"s00-config1", "s02-config2"});
    EXPECT_EQ(progress_texts(), (std::vector<std::string>{"CONF1:", "CONF2:"}));
    EXPECT_EQ(channel.written, (Bytes{104, 0, 105, 0x72, 0x3F, 104, 2, 105, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace corvanel
