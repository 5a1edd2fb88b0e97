// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/devices/instruction_kind.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <string>

#include "core/engine/chip_operations.h"
#include "core/engine/script_runner.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using K = InstructionKind;

// One text of every kind. A kind added to the language without a line here
// fails the first test: its row in the table is then checked against the
// interpreter like every other.
const std::map<K, std::string>& sample_texts() {
    static const std::map<K, std::string> texts{
        {K::Begin, "begin"},
        {K::End, "end"},
        {K::CalcFlash, "calcflash"},
        {K::CalcFlashPage, "calcflashpage"},
        {K::CalcEeprom, "calceeprom"},
        {K::SetFlashLoop, "setflashloop"},
        {K::SetEepromLoop, "seteepromloop"},
        {K::Loop, "loop"},
        {K::IfPage, "ifpage"},
        {K::EndIfPage, "endifpage"},
        {K::WriteFlash, "s02-flash"},
        {K::WriteEeprom, "s03-eeprom"},
        {K::WriteConfig1, "s00-config1"},
        {K::WriteConfig2, "s00-config2"},
        {K::ReadFlash, "flash=s04"},
        {K::ReadEeprom, "eeprom=s05"},
        {K::ReadConfig1, "config1=s04"},
        {K::ReadConfig2, "config2=s04"},
        {K::ReadTemp, "temp=s04"},
        {K::CheckBlankFlash, "checkblankflash"},
        {K::CheckBlankEeprom, "checkblankeeprom"},
        {K::CheckBlankConfig1, "checkblankconfig1"},
        {K::CheckBlankConfig2, "checkblankconfig2"},
        {K::CheckFlash, "checkflash"},
        {K::CheckEeprom, "checkeeprom"},
        {K::CheckConfig1, "checkconfig1"},
        {K::CheckConfig2, "checkconfig2"},
        {K::WriteLiteral, "s02-3fff"},
        {K::Command, "s3f"},
        {K::WaitProg, "wprog"},
        {K::Wait, "w1"},
        {K::BeginVppFirst, "beginvppvdd"},
        {K::ReadDeviceId, "deviceid=s04"},
        {K::CheckDeviceId, "checkdeviceid"},
        {K::SetCalLoop, "setcalloop"},
        {K::StepCommand, "s06-next"},
        {K::ReadCalFlash, "calflash=s04"},
        {K::ReadCalConfig, "calconfig1=s04"},
        {K::ReadCalSpace1, "calspace1=s04"},
        {K::ReadCalSpace2, "calspace2=s04"},
        {K::WriteCalFlash, "s02-calflash"},
        {K::WriteCalConfig, "s02-calconfig1"},
        {K::WriteCalSpace1, "s02-calspace1"},
        {K::WriteCalSpace2, "s02-calspace2"},
        {K::IfUserIds, "ifuserids"},
        {K::EndIfUserIds, "endifuserids"},
        {K::WriteUserId, "s02-userid1"},
        {K::ReadUserId, "userid1=s04"},
        {K::CheckUserId, "checkuserid1"},
        {K::ReadProtection, "protection=s04"},
        {K::WriteConfigMore, "s02-config3"},
        {K::ReadConfigMore, "config4=s04"},
        {K::CheckBlankConfigMore, "checkblankconfig5"},
        {K::CheckConfigMore, "checkconfig3"},
        {K::ReadRevision, "revision=s04"},
        {K::WriteRowStart, "s80-row"},
        {K::WriteAddress, "s80-address"},
        {K::EraseRegions, "s18-regions"},
    };
    return texts;
}

constexpr std::size_t kKinds = static_cast<std::size_t>(K::Unrecognized);

TEST(InstructionKindTest, EveryKindHasATextThatDecodesToIt) {
    EXPECT_EQ(sample_texts().size(), kKinds);
    for (const auto& [kind, text] : sample_texts()) {
        EXPECT_EQ(decode_instruction(text).kind, kind) << text;
    }
}

// What one instruction alone does on a board that answers everything.
struct RunResult {
    std::uint64_t answers = 0;
    std::int32_t address = 0;
    std::string status;
};

RunResult run_alone(const std::string& text, bool fast_link) {
    test::EngineFixture bench;
    bench.state.runner.fast_link = fast_link;
    bench.channel.read_words.push_back(0x12);  // a word every read may bring
    const std::uint64_t before = bench.state.link.answers_requested();
    bench.run({text});
    return {bench.state.link.answers_requested() - before, bench.state.runner.address(),
            bench.host.status()};
}

// The table against the interpreter: the answers a kind's commands ask, whether
// it needs the board at all (with the fast link an idle instruction sends
// nothing) and whether it moves the loop address.
TEST(InstructionKindTest, TableSaysWhatTheInterpreterDoes) {
    for (const auto& [kind, text] : sample_texts()) {
        const KindTraits& traits = traits_of(kind);
        ASSERT_EQ(traits.kind, kind) << text;
        const RunResult lock_step = run_alone(text, false);
        EXPECT_EQ(lock_step.answers, static_cast<std::uint64_t>(traits.answer_bytes))
            << text << " (" << lock_step.status << ")";
        EXPECT_EQ(lock_step.address, traits.moves_address ? 1 : 0) << text;
        const RunResult fast = run_alone(text, true);
        EXPECT_EQ(fast.answers, traits.needs_board ? lock_step.answers : 0U) << text;
        EXPECT_EQ(fast.address, lock_step.address) << text;
    }
}

// Only what cannot depend on an earlier answer runs ahead, and every kind that
// reads or checks a word says what it may hold.
TEST(InstructionKindTest, KindsThatRunAheadAskNoQuestion) {
    for (std::size_t i = 0; i <= kKinds; ++i) {
        const KindTraits& traits = traits_of(static_cast<K>(i));
        if (traits.runs_ahead) {
            EXPECT_NE(traits.role, KindRole::Voltages) << i;
            EXPECT_NE(traits.role, KindRole::Pause) << i;
            EXPECT_NE(traits.role, KindRole::Confirm) << i;
            EXPECT_NE(traits.memory, KindMemory::Calibration) << i;
        }
        if (traits.moves_address) {
            EXPECT_NE(traits.role, KindRole::Flow) << i;
        }
    }
    EXPECT_TRUE(word_fits(K::ReadEeprom, 0xFF));
    EXPECT_FALSE(word_fits(K::ReadEeprom, 0x100));
    EXPECT_TRUE(word_fits(K::CheckEeprom, 0x1234));  // the low byte only is compared
    EXPECT_FALSE(word_fits(K::ReadFlash, 0x4000));
    EXPECT_FALSE(word_fits(K::CheckConfig1, -1));
    EXPECT_TRUE(word_fits(K::ReadTemp, 0xBEEF));
}

}  // namespace
}  // namespace corvanel
