// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/chip_operations.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <string>
#include <vector>

#include "core/engine/operation_stop.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

class OperationTest : public ::testing::Test, protected test::EngineFixture {};

TEST(OperationNameTest, NamesRoundTrip) {
    for (const auto kind : {OperationKind::Program, OperationKind::Erase, OperationKind::Read,
                            OperationKind::Blank, OperationKind::Verify}) {
        EXPECT_EQ(operation_from_name(operation_name(kind)), kind);
    }
    EXPECT_EQ(operation_name(OperationKind::Blank), "blank");
    EXPECT_FALSE(operation_from_name("").has_value());
    EXPECT_FALSE(operation_from_name("Verify").has_value());
}

struct ElapsedCase {
    double seconds;
    std::string text;
};

void PrintTo(const ElapsedCase& c, std::ostream* os) {
    *os << c.seconds << " s";
}

class ElapsedTextTest : public ::testing::TestWithParam<ElapsedCase> {};

TEST_P(ElapsedTextTest, WholeSecondsAndCutHundredths) {
    EXPECT_EQ(elapsed_seconds_text(GetParam().seconds), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, ElapsedTextTest,
                         ::testing::Values(ElapsedCase{0.004, "0.00"}, ElapsedCase{1.0625, "1.06"},
                                           ElapsedCase{61.5, "61.50"}, ElapsedCase{12.25, "12.25"},
                                           ElapsedCase{2.5, "2.50"}, ElapsedCase{2.3, "2.30"},
                                           ElapsedCase{0.999, "0.99"}, ElapsedCase{0.0, "0.00"},
                                           // A clock that went backwards shows no minus sign.
                                           ElapsedCase{-3.0, "0.00"}));

TEST_F(OperationTest, PortNotReadyOnlyWritesTheStatusLine) {
    state.link.port_ready = false;
    ASSERT_TRUE(state.report.record_mismatch("FLASH Word 0000h", "0000h", "3FFFh") == false);
    for (const auto kind : {OperationKind::Program, OperationKind::Erase, OperationKind::Read,
                            OperationKind::Blank, OperationKind::Verify}) {
        list_of(kind) = {"begin", "end"};
        EXPECT_EQ(start_operation(state, kind), StartResult::PortNotReady);
        EXPECT_EQ(host.status(), "Serial port 3 error!");
    }
    EXPECT_EQ(state.report.mismatch_count, 1);  // the last report is kept
    EXPECT_EQ(host.disables, 0);
    EXPECT_TRUE(channel.written.empty());
    EXPECT_FALSE(state.runner.running());
}

struct CompletionCase {
    OperationKind kind;
    bool mismatch;
    std::string start_text;
    std::string result_text;
    std::string message_heading;  // empty: no message box
};

void PrintTo(const CompletionCase& c, std::ostream* os) {
    *os << c.start_text << (c.mismatch ? " with mismatches" : "");
}

class CompletionTest : public ::testing::TestWithParam<CompletionCase>,
                       protected test::EngineFixture {};

TEST_P(CompletionTest, StartTextResultTextAndElapsedTime) {
    const CompletionCase& c = GetParam();
    // A check that fails (or not), then a pause of 1.5 s on the test clock.
    channel.read_words = {c.mismatch ? 0x0000 : 0x3FFF};
    run({"begin", "temp=s04", "checkblankflash", "w1500", "end"}, c.kind);
    ASSERT_GE(host.statuses.size(), 3U);
    EXPECT_EQ(host.statuses.front(), c.start_text);
    EXPECT_EQ(host.status(), c.result_text + "1.50 seconds elapsed...");
    EXPECT_EQ(state.elapsed_text, "1.50");
    EXPECT_EQ(host.disables, 1);
    EXPECT_EQ(host.enables, 1);
    EXPECT_TRUE(host.commands_enabled);
    EXPECT_FALSE(state.runner.running());
    EXPECT_EQ(channel.threshold, 0);
    if (c.message_heading.empty()) {
        EXPECT_TRUE(host.messages.empty());
    } else {
        ASSERT_EQ(host.messages.size(), 1U);
        EXPECT_EQ(host.messages[0].text,
                  c.message_heading + "\r\n\r\n" + state.report.mismatch_report);
        EXPECT_EQ(host.messages[0].kind, 16);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CompletionTest,
    ::testing::Values(
        CompletionCase{OperationKind::Program, false, "Begin program all.", "Chip programmed. ",
                       ""},
        CompletionCase{OperationKind::Erase, false, "Begin erase all.", "Chip erased. ", ""},
        CompletionCase{OperationKind::Read, false, "Begin read all.", "Chip read. ", ""},
        CompletionCase{OperationKind::Blank, false, "Begin blank check.", "Chip is blank. ", ""},
        CompletionCase{OperationKind::Blank, true, "Begin blank check.", "Chip is not blank. ",
                       "Chip is not blank:"},
        CompletionCase{OperationKind::Verify, false, "Begin verify.", "Chip verified. ", ""},
        CompletionCase{OperationKind::Verify, true, "Begin verify.", "Chip verify failed. ",
                       "Chip verify failed:"}));

TEST_F(OperationTest, OnlyBlankCheckAndVerifyResetTheReport) {
    channel.read_words = {0x0000};
    run({"temp=s04", "checkblankflash"}, OperationKind::Blank);
    ASSERT_EQ(state.report.mismatch_count, 1);
    run({"begin", "end"}, OperationKind::Program);
    run({"begin", "end"}, OperationKind::Erase);
    run({"begin", "end"}, OperationKind::Read);
    EXPECT_EQ(state.report.mismatch_count, 1);
    run({"begin", "end"}, OperationKind::Verify);
    EXPECT_EQ(state.report.mismatch_count, 0);
}

TEST_F(OperationTest, ReadAllShowsTheBlankImageFirstAndTheReadImageLast) {
    ASSERT_TRUE(state.image.set_flash_word(0, 0x0000));
    state.image.config1 = 0x1234;
    channel.read_words = {0x0ABC};
    list_of(OperationKind::Read) = {"begin", "flash=s04", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Read), StartResult::Started);
    // Before the first answer: cleared, redrawn, and only then the first command.
    EXPECT_EQ(state.image.flash[0], 0x3FFF);
    EXPECT_EQ(state.image.config1, 0x3FFF);
    EXPECT_EQ(host.redraws, 1);
    test::pump(state, channel);
    EXPECT_EQ(state.image.flash[0], 0x0ABC);
    EXPECT_EQ(host.redraws, 2);
}

TEST_F(OperationTest, EraseAndProgramLeaveTheImageAsItWas) {
    ASSERT_TRUE(state.image.set_flash_word(3, 0x0123));
    run({"begin", "s00-3fff", "s1f", "w10", "end"}, OperationKind::Erase);
    EXPECT_EQ(state.image.flash[3], 0x0123);
    EXPECT_EQ(host.redraws, 0);
}

TEST_F(OperationTest, SecondStartWhileRunningChangesNothing) {
    channel.answering = false;
    list_of(OperationKind::Program) = {"begin", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    list_of(OperationKind::Verify) = {"s3f"};
    EXPECT_EQ(start_operation(state, OperationKind::Verify), StartResult::Busy);
    EXPECT_EQ(state.runner.operation_name, "program");
    EXPECT_EQ(channel.written, (Bytes{101}));
}

TEST_F(OperationTest, StaleBytesBeforeAnOperationChangeNothing) {
    const InstructionList verify{"begin",    "temp=s04",   "checkflash",
                                 "temp=s04", "checkflash", "end"};
    ASSERT_TRUE(state.image.set_flash_word(0, 0x0111));
    ASSERT_TRUE(state.image.set_flash_word(1, 0x0222));
    channel.read_words = {0x0111, 0x0222};
    run(verify, OperationKind::Verify);
    const Bytes clean = channel.written;
    ASSERT_TRUE(host.status().starts_with("Chip verified. "));

    // The answers to "Test Vpp" and a late byte of some earlier command wait unread.
    channel.written.clear();
    channel.incoming = {101, 103, 104};
    channel.read_words = {0x0111, 0x0222};
    run(verify, OperationKind::Verify);
    EXPECT_EQ(channel.written, clean);
    EXPECT_TRUE(host.status().starts_with("Chip verified. "));
    EXPECT_EQ(state.report.mismatch_count, 0);
}

// --- A board that stops answering -------------------------------------------

TEST_F(OperationTest, SilentBoardIsGivenUpAfterTheTimeout) {
    channel.answering = false;
    list_of(OperationKind::Program) = {"begin", "s3f", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    const double started = host.now;
    EXPECT_FALSE(check_timeout(state, started + kAnswerTimeoutSeconds - 0.1));
    EXPECT_TRUE(state.runner.running());

    EXPECT_TRUE(check_timeout(state, started + kAnswerTimeoutSeconds + 0.1));
    // Voltages off once for every byte of the longest command: a board inside a
    // command whose bytes were lost takes the first ones as its data.
    EXPECT_EQ(channel.written, (Bytes{101, 103, 103, 103}));
    EXPECT_EQ(host.status(), "Programmer not responding! Operation aborted.");
    EXPECT_TRUE(host.commands_enabled);
    EXPECT_FALSE(state.runner.running());
    EXPECT_EQ(channel.threshold, 0);

    EXPECT_FALSE(check_timeout(state, started + 60));
    EXPECT_EQ(channel.written, (Bytes{101, 103, 103, 103}));
    // A late answer, and those the voltages-off bytes drew, are not taken for the
    // next operation's first one.
    channel.incoming = {101, 103, 103, 103};
    channel.answering = true;
    run({"s3f"}, OperationKind::Program);
    EXPECT_EQ(channel.written, (Bytes{101, 103, 103, 103, 104, 0x3F}));
    EXPECT_TRUE(host.status().starts_with("Chip programmed. "));
}

TEST_F(OperationTest, EveryAnswerRestartsTheWait) {
    channel.answering = false;
    list_of(OperationKind::Program) = {"s01", "s02", "s03"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    host.now += 4;
    channel.incoming = {104};
    state.link.MSComm1_OnComm();
    EXPECT_FALSE(check_timeout(state, host.now + 4));
    EXPECT_TRUE(check_timeout(state, host.now + 5.5));
}

TEST_F(OperationTest, ScriptPauseDoesNotCountAgainstTheBoard) {
    channel.answering = false;
    list_of(OperationKind::Program) = {"w8000", "s3f"};
    const double started = host.now;
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    ASSERT_EQ(host.now, started + 8);  // the test clock moved on during the pause
    EXPECT_FALSE(check_timeout(state, started + 12));
    EXPECT_TRUE(check_timeout(state, started + 13.5));
}

TEST_F(OperationTest, NoBeginCommandMeansNoAnswerAndAnAbort) {
    state.model.voltage_sequence = VoltageSequence::None;  // "begin" sends nothing
    list_of(OperationKind::Program) = {"begin", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    EXPECT_TRUE(channel.written.empty());
    EXPECT_TRUE(check_timeout(state, host.now + 6));
    EXPECT_EQ(host.status(), std::string(kNotRespondingText));
}

TEST_F(OperationTest, TestVppHoldsTheTimeout) {
    channel.answering = false;
    list_of(OperationKind::Program) = {"s01", "s02"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    state.link.vpp_test_on = true;
    EXPECT_FALSE(check_timeout(state, host.now + 30));
    state.link.vpp_test_on = false;
    EXPECT_FALSE(check_timeout(state, host.now + 34));
    EXPECT_TRUE(check_timeout(state, host.now + 36));
}

// Every way a Read All can end early puts back the image it replaced, with the
// voltages off and the commands unlocked: the board falling silent, "Stop"
// (which waits for the board's next answer) and a stop that cannot wait (the
// window closing).
enum class ReadEnd { Timeout, StopAtNextAnswer, StopNow };

TEST_F(OperationTest, ReadAllEndedEarlyPutsThePreviousImageBack) {
    const struct {
        ReadEnd end;
        const char* status;
    } cases[] = {
        {ReadEnd::Timeout, "Programmer not responding! Operation aborted."},
        {ReadEnd::StopAtNextAnswer, "Operation stopped."},
        {ReadEnd::StopNow, "Operation stopped."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        state.image.clear_image();
        state.image.set_flash_word(0, 0x2805);
        state.image.set_flash_word(3, 0x0123);
        const MemoryImage previous = state.image;
        channel.written.clear();
        channel.answering = true;
        channel.read_words = {0x0001, 0x0002, 0x0003, 0x0004};
        list_of(OperationKind::Read) = {"begin", "setflashloop", "flash=s04", "s06", "loop", "end"};
        ASSERT_EQ(start_operation(state, OperationKind::Read), StartResult::Started);
        // The board answers the first two words.
        while (state.image.flash[1] != 0x0002 && !channel.incoming.empty()) {
            state.link.MSComm1_OnComm();
        }
        ASSERT_EQ(state.image.flash[1], 0x0002) << "the read had begun";
        switch (c.end) {
            case ReadEnd::Timeout:
                channel.answering = false;
                EXPECT_TRUE(check_timeout(state, host.now + 10));
                break;
            case ReadEnd::StopAtNextAnswer:
                EXPECT_TRUE(request_stop(state));
                EXPECT_TRUE(state.runner.running()) << "not before the board has answered";
                state.link.MSComm1_OnComm();
                break;
            case ReadEnd::StopNow:
                EXPECT_TRUE(stop_now(state));
                break;
        }
        EXPECT_EQ(host.status(), c.status);
        EXPECT_FALSE(state.runner.running());
        EXPECT_TRUE(state.operation_failed);
        EXPECT_TRUE(host.commands_enabled);
        EXPECT_EQ(state.image.flash, previous.flash);
        EXPECT_FALSE(state.image_before_read.has_value());
        ASSERT_FALSE(channel.written.empty());
        EXPECT_EQ(channel.written.back(), 103) << "voltages off last";
        EXPECT_EQ(channel.threshold, 0);
    }
    // A stop asked of an operation that has ended does not reach the next one.
    EXPECT_FALSE(request_stop(state));
    channel.answering = true;
    channel.read_words = {0x0011};
    run({"begin", "flash=s04", "end"}, OperationKind::Read);
    EXPECT_EQ(host.status().rfind("Chip read. ", 0), 0u) << host.status();
}

TEST_F(OperationTest, NoTimeoutWhileIdle) {
    EXPECT_FALSE(check_timeout(state, 1e9));
    run({"s3f"});
    EXPECT_FALSE(check_timeout(state, host.now + 100));
    EXPECT_EQ(channel.written, (Bytes{104, 0x3F}));
}

}  // namespace
}  // namespace corvanel
