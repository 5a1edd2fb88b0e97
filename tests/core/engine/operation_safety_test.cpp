// SPDX-License-Identifier: GPL-3.0-or-later
// Every way an operation can go wrong ends it as a failure with the chip
// unpowered: a script instruction nobody knows, a script that would never end,
// and an answer stream that has lost its step with the commands.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/engine/chip_operations.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kOff = board_command::kVoltagesOff;

// The fake board, which in addition sends one byte nobody asked for after its
// answer to the given command (a board that answers twice, noise on the line).
class ChattyChannel : public test::FakeChannel {
public:
    void write_byte(std::uint8_t byte) override {
        test::FakeChannel::write_byte(byte);
        if (byte == extra_after && answering) {
            incoming.push_back(byte);
            extra_after = 0;
        }
    }
    std::uint8_t extra_after = 0;
};

class OperationSafety : public ::testing::Test, protected test::EngineFixture {
protected:
    // The operation ended as a failure: no result text, the commands unlocked,
    // voltages-off the last byte sent, nothing running.
    void expect_failed_with(std::string_view status, const Bytes& written) {
        EXPECT_EQ(host.status(), status);
        EXPECT_TRUE(host.commands_enabled);
        EXPECT_TRUE(state.operation_failed);
        EXPECT_FALSE(state.runner.running());
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(written.back(), kOff);
    }
};

TEST_F(OperationSafety, UnrecognizedInstructionSwitchesTheVoltagesOffBeforeTheProgramEnds) {
    run({"begin", "s02-flash", "bogus", "end"});
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, unrecognized_instruction_text("bogus"));
    EXPECT_EQ(host.program_ends, 1);
    EXPECT_EQ(channel.written.back(), kOff);
    EXPECT_FALSE(state.runner.running());
}

// A "loop" after a finished loop once went back to that loop's start for ever.
TEST_F(OperationSafety, LoopAfterAFinishedLoopGoesOn) {
    run({"begin", "setflashloop", "s02-flash", "s06", "loop", "s02-flash", "s06", "loop", "end"});
    EXPECT_EQ(host.status().rfind("Chip programmed. ", 0), 0u) << host.status();
    std::size_t frames = 0;
    for (std::size_t i = 0; i + 2 < channel.written.size(); ++i) {
        if (channel.written[i] == 104 && channel.written[i + 1] == 0x02) {
            ++frames;
        }
    }
    EXPECT_EQ(frames, 64u + 1u) << "each word once in the loop, then one more word";
    EXPECT_FALSE(state.operation_failed);
}

TEST_F(OperationSafety, AScriptPastItsStepLimitIsAborted) {
    list_of(OperationKind::Program) = {"begin", "setflashloop", "s02-flash", "s06", "loop", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    EXPECT_GE(state.runner.step_limit, operation_step_limit(state.image, 6));
    state.runner.step_limit = 40;  // as if the script went on for ever
    test::pump(state, channel);
    expect_failed_with(kScriptTooLongText, channel.written);
    EXPECT_EQ(state.runner.operation_steps, 41u);
}

TEST(OperationStepLimitTest, GrowsWithTheImageAndTheScript) {
    MemoryImage small;
    small.flash_size = 64;
    small.eeprom_size = 0;
    MemoryImage large;
    large.flash_size = 8192;
    large.eeprom_size = 256;
    EXPECT_LT(operation_step_limit(small, 10), operation_step_limit(large, 10));
    EXPECT_LT(operation_step_limit(large, 10), operation_step_limit(large, 20));
    // Every word of the FLASH read in a loop of the whole script, four steps each.
    EXPECT_GT(operation_step_limit(large, 10), 4u * 10u * 8192u);
}

struct OutOfStepCase {
    const char* name;
    OperationKind kind;
    InstructionList script;
    std::vector<std::int32_t> words;  // what the board reads back
    std::uint8_t extra_after;         // 0: no byte too many
};

void PrintTo(const OutOfStepCase& c, std::ostream* out) {
    *out << c.name;
}

class OutOfStep : public ::testing::TestWithParam<OutOfStepCase> {};

TEST_P(OutOfStep, FailsWithVoltagesOffAndLeavesTheImageAlone) {
    const OutOfStepCase& c = GetParam();
    test::RecordingHost host;
    ChattyChannel channel;
    ProgramState state;
    state.host = &host;
    state.link.channel = &channel;
    state.link.port_ready = true;
    state.model.voltage_sequence = VoltageSequence::VddFirst;
    state.image.flash_size = 16;
    state.image.eeprom_size = 16;
    state.image.clear_image();
    ASSERT_TRUE(state.image.set_flash_word(0, 0x1234));
    ASSERT_TRUE(state.image.set_eeprom_byte(1, 0x56));
    state.image.config1 = 0x2162;
    const MemoryImage before = state.image;

    channel.read_words.assign(c.words.begin(), c.words.end());
    channel.extra_after = c.extra_after;
    switch (c.kind) {
        case OperationKind::Read:
            state.model.read_list = c.script;
            break;
        case OperationKind::Verify:
            state.model.verify_list = c.script;
            break;
        default:
            state.model.program_list = c.script;
            break;
    }
    ASSERT_EQ(start_operation(state, c.kind), StartResult::Started);
    test::pump(state, channel);

    EXPECT_EQ(host.status(), kOutOfStepText);
    EXPECT_TRUE(state.operation_failed);
    EXPECT_TRUE(host.commands_enabled);
    EXPECT_FALSE(state.runner.running());
    ASSERT_FALSE(channel.written.empty());
    EXPECT_EQ(channel.written.back(), kOff);
    EXPECT_EQ(state.image.flash, before.flash);
    EXPECT_EQ(state.image.eeprom, before.eeprom);
    EXPECT_EQ(state.image.config1, before.config1);
    EXPECT_TRUE(host.messages.empty()) << "no report of a verify that did not finish";
}

const InstructionList kReadFlash = {"begin", "setflashloop", "flash=s04", "s06", "loop", "end"};

INSTANTIATE_TEST_SUITE_P(
    Table, OutOfStep,
    ::testing::Values(
        OutOfStepCase{"FlashWordAbove3FFF", OperationKind::Read, kReadFlash, {0x0001, 0x4001}, 0},
        OutOfStepCase{"ConfigWordAbove3FFF",
                      OperationKind::Read,
                      {"begin", "config1=s04", "end"},
                      {0xFF62},
                      0},
        OutOfStepCase{"EepromByteAboveFF",
                      OperationKind::Read,
                      {"begin", "seteepromloop", "eeprom=s05", "s06", "loop", "end"},
                      {0x0012, 0x6A56},
                      0},
        OutOfStepCase{"ByteAfterTheFinalAnswerOfARead", OperationKind::Read, kReadFlash, {}, kOff},
        OutOfStepCase{"ByteAfterTheFinalAnswerOfAProgram",
                      OperationKind::Program,
                      {"begin", "s02-flash", "end"},
                      {},
                      kOff},
        OutOfStepCase{"VerifiedWordAbove3FFF",
                      OperationKind::Verify,
                      {"begin", "setflashloop", "temp=s04", "checkflash", "s06", "loop", "end"},
                      {0x1234, 0x7FFF},
                      0},
        OutOfStepCase{"DoubledAnswerInTheMiddleOfAVerify",
                      OperationKind::Verify,
                      {"begin", "s02-flash", "temp=s04", "checkflash", "end"},
                      {0x1234},
                      board_command::kDataWord}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OperationSafety, AGoodReadStillCommitsWhatItRead) {
    channel.read_words = {0x0001, 0x0002};
    run({"begin", "setflashloop", "flash=s04", "s06", "loop", "end"}, OperationKind::Read);
    EXPECT_EQ(host.status().rfind("Chip read. ", 0), 0u) << host.status();
    EXPECT_FALSE(state.operation_failed);
    EXPECT_EQ(state.image.flash[0], 0x0001);
    EXPECT_EQ(state.image.flash[1], 0x0002);
    EXPECT_FALSE(state.image_before_read.has_value());
}

}  // namespace
}  // namespace corvanel
