// SPDX-License-Identifier: GPL-3.0-or-later
// The fast link: instructions that need no board action run inside the step
// instead of costing a no-operation round trip each.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/engine/chip_operations.h"
#include "core/engine/script_runner.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Records the pauses in the trace as "p" and the milliseconds.
class PauseTracingHost : public test::RecordingHost {
public:
    explicit PauseTracingHost(test::Trace* trace) : RecordingHost(trace), trace_(trace) {}
    void pause(int milliseconds) override {
        RecordingHost::pause(milliseconds);
        trace_->push_back("p" + std::to_string(milliseconds));
    }

private:
    test::Trace* trace_;
};

// The command bytes without the no-operation commands.
Bytes without_nops(const Bytes& stream) {
    Bytes kept;
    for (std::size_t i = 0; i < stream.size();) {
        const std::size_t length = stream[i] == 104 ? 2 : stream[i] == 105 ? 3 : 1;
        if (stream[i] != 100) {
            for (std::size_t k = i; k < std::min(i + length, stream.size()); ++k) {
                kept.push_back(stream[k]);
            }
        }
        i += length;
    }
    return kept;
}

class FastLinkTest : public ::testing::Test, protected test::EngineFixture {
protected:
    FastLinkTest() { state.host = &tracing_host; }
    PauseTracingHost tracing_host{&trace};
};

struct ScriptCase {
    std::string name;
    InstructionList script;
    OperationKind kind;
};

class FastLinkScriptTest : public ::testing::TestWithParam<ScriptCase> {};

// The same script on two rigs, one of them fast: the fast one sends the same
// commands without the no-operations and ends the same way.
TEST_P(FastLinkScriptTest, SendsTheSameCommandsWithoutNoOperations) {
    const ScriptCase& c = GetParam();
    struct Rig : test::EngineFixture {
        explicit Rig(bool fast) {
            state.runner.fast_link = fast;
            state.model.page_size = 4;
            for (std::int32_t i = 0; i < 10; ++i) {
                (void)state.image.set_flash_word(i, 0x2800 + i);
            }
            (void)state.image.set_eeprom_byte(2, 0x5A);
            // The chip differs from the image at FLASH word 3.
            for (std::int32_t i = 0; i < 64; ++i) {
                channel.read_words.push_back(i == 3 ? 0x1234 : 0x2800 + i);
            }
        }
    };
    Rig normal(false);
    Rig fast(true);
    EXPECT_EQ(normal.run(c.script, c.kind), StartResult::Started);
    EXPECT_EQ(fast.run(c.script, c.kind), StartResult::Started);
    EXPECT_EQ(fast.channel.written, without_nops(normal.channel.written));
    EXPECT_LT(fast.channel.written.size(), normal.channel.written.size());
    EXPECT_EQ(fast.host.status().substr(0, 12), normal.host.status().substr(0, 12));
    EXPECT_FALSE(fast.state.runner.running());
    EXPECT_EQ(fast.channel.threshold, 0);
    EXPECT_EQ(fast.host.pauses, normal.host.pauses);
    EXPECT_EQ(fast.state.report.mismatch_report, normal.state.report.mismatch_report);
    EXPECT_EQ(fast.state.image.flash, normal.state.image.flash);
    EXPECT_EQ(fast.state.runner.temp_word, normal.state.runner.temp_word);
    EXPECT_EQ(fast.host.enables, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, FastLinkScriptTest,
    ::testing::Values(ScriptCase{"PagedProgram",
                                 {"begin", "calcflashpage", "setflashloop", "s02-flash", "ifpage",
                                  "s08", "wprog", "endifpage", "s06", "loop", "end"},
                                 OperationKind::Program},
                      ScriptCase{"EepromProgram",
                                 {"begin", "calceeprom", "seteepromloop", "s03-eeprom", "s08", "w3",
                                  "s06", "loop", "end"},
                                 OperationKind::Program},
                      ScriptCase{"VerifyWithAMismatch",
                                 {"begin", "calcflash", "setflashloop", "temp=s04", "checkflash",
                                  "s06", "loop", "end"},
                                 OperationKind::Verify},
                      ScriptCase{"ReadEndingWithIdleInstructions",
                                 {"begin", "setflashloop", "flash=s04", "s06", "loop", "end", "w",
                                  "calcflash"},
                                 OperationKind::Read},
                      ScriptCase{"BlankCheckOfConfiguration",
                                 {"begin", "s00-3fff", "temp=s04", "checkblankconfig1", "end"},
                                 OperationKind::Blank}),
    [](const auto& info) { return info.param.name; });

TEST_F(FastLinkTest, APauseIsFollowedDirectlyByTheNextCommand) {
    state.runner.fast_link = true;
    run({"s01", "w10", "wprog", "s02", "w7"});
    // The starter's event pass, the watch for late answers after the last step
    // and the completion routine's pass frame the commands.
    const test::Trace expected{"ev",   "w104", "w1", "ev", "p10", "p5",
                               "w104", "w2",   "ev", "p7", "ev",  "ev"};
    EXPECT_EQ(trace, expected);
    EXPECT_TRUE(host.statuses.empty());
    EXPECT_TRUE(tracing_host.status().starts_with("Chip programmed. "));
    EXPECT_FALSE(state.runner.running());
}

TEST_F(FastLinkTest, AScriptOfIdleInstructionsFinishesInTheFirstStep) {
    state.runner.fast_link = true;
    EXPECT_EQ(
        run({"calcflash", "w2", "setflashloop", "checkblankflash", "loop"}, OperationKind::Blank),
        StartResult::Started);
    EXPECT_TRUE(channel.written.empty());
    // No read came before the checks: every word compares the last temp word.
    EXPECT_FALSE(state.runner.running());
    EXPECT_EQ(tracing_host.enables, 1);
    EXPECT_EQ(channel.threshold, 0);
}

TEST_F(FastLinkTest, The25thMismatchStillEndsWithTheLastInstruction) {
    state.runner.fast_link = true;
    for (int i = 0; i < 64; ++i) {
        channel.read_words.push_back(0);
    }
    run({"begin", "setflashloop", "temp=s04", "checkblankflash", "s06", "loop", "end"},
        OperationKind::Blank);
    EXPECT_EQ(state.report.mismatch_count, 25);
    // begin, 24 x (104 4, 106, 104 6), 104 4, 106, end: after the 25th check
    // nothing but "end".
    ASSERT_EQ(channel.written.size(), 1U + 24U * 5U + 3U + 1U);
    EXPECT_EQ(channel.written.back(), 103);
    EXPECT_EQ(channel.written[channel.written.size() - 2], 106);
    EXPECT_TRUE(tracing_host.status().starts_with("Chip is not blank. "));
}

}  // namespace
}  // namespace corvanel
