// The fast link on every model of the shipped device database: each operation
// gives the same chip and the same result as without it, and the board hears
// the very same commands in the same order, only without the no-operations.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::kShippedFile;
using test::shipped_database;
using test::shipped_model_names;

class QuietHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    void end_program() override { ended = true; }
    std::string status;
    bool ended = false;
};

// The command bytes of a stream without its no-operation commands (100 where a
// command starts; a data byte of 100 stays).
Bytes without_nops(const Bytes& stream) {
    Bytes kept;
    for (std::size_t i = 0; i < stream.size();) {
        std::size_t length = 1;
        if (stream[i] == board_command::kChipCommand) {
            length = 2;
        } else if (stream[i] == board_command::kDataWord) {
            length = 3;
        }
        if (stream[i] != board_command::kNop) {
            kept.insert(
                kept.end(), stream.begin() + static_cast<std::ptrdiff_t>(i),
                stream.begin() + static_cast<std::ptrdiff_t>(std::min(i + length, stream.size())));
        }
        i += length;
    }
    return kept;
}

std::size_t nop_count(const Bytes& stream) {
    return stream.size() - without_nops(stream).size();
}

// One model with its chip on the in-process board, the link fast or not.
struct Rig {
    Rig(const std::string& name, bool fast) : board(*Pic14Chip::create(name)), channel(board) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        state.runner.fast_link = fast;
    }

    // Runs the operation to its end; answers the result line and the bytes sent.
    std::pair<std::string, Bytes> run(OperationKind kind) {
        channel.clear_written();
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        while (channel.has_waiting() && channel.receive_threshold() == 1) {
            state.link.MSComm1_OnComm();
        }
        EXPECT_FALSE(state.runner.running()) << operation_name(kind) << " did not finish";
        EXPECT_FALSE(host.ended);
        EXPECT_FALSE(board.voltages_on()) << operation_name(kind) << " left the voltages on";
        const std::string result = host.status.substr(0, host.status.find(". ") + 1);
        return {result, channel.written()};
    }

    QuietHost host;
    ProgramState state;
    VirtualBoard board;
    BoardChannel channel;
};

class FastLinkModelTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FastLinkModelTest, EveryOperationGivesTheSameResultWithoutTheNoOperations) {
    Rig normal(GetParam(), false);
    Rig fast(GetParam(), true);
    std::mt19937 random(static_cast<std::uint32_t>(normal.state.selected_model) * 131u);
    for (std::size_t i = 0; i < normal.state.image.flash.size(); ++i) {
        normal.state.image.flash[i] = static_cast<std::int32_t>(random() & 0x3FFF);
    }
    for (std::size_t i = 0; i < normal.state.image.eeprom.size(); ++i) {
        normal.state.image.eeprom[i] = static_cast<std::int32_t>(random() & 0xFF);
    }
    fast.state.image = normal.state.image;
    const MemoryImage written = normal.state.image;

    const struct {
        OperationKind kind;
        std::string_view result;
    } steps[] = {
        {OperationKind::Program, "Chip programmed."}, {OperationKind::Verify, "Chip verified."},
        {OperationKind::Blank, "Chip is not blank."}, {OperationKind::Read, "Chip read."},
        {OperationKind::Erase, "Chip erased."},       {OperationKind::Blank, "Chip is blank."},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(operation_name(step.kind)));
        const auto [normal_result, normal_bytes] = normal.run(step.kind);
        const auto [fast_result, fast_bytes] = fast.run(step.kind);
        if (!step.result.empty()) {
            EXPECT_EQ(normal_result, step.result);
        }
        EXPECT_EQ(fast_result, normal_result);
        EXPECT_EQ(fast_bytes, without_nops(normal_bytes));
        EXPECT_EQ(nop_count(fast_bytes), 0U);
        EXPECT_GT(nop_count(normal_bytes), 0U);
        EXPECT_EQ(fast.state.report.mismatch_report, normal.state.report.mismatch_report);
        EXPECT_EQ(fast.state.image.flash, normal.state.image.flash);
        EXPECT_EQ(fast.state.image.eeprom, normal.state.image.eeprom);
        EXPECT_EQ(fast.state.image.config1, normal.state.image.config1);
        EXPECT_EQ(fast.state.image.config2, normal.state.image.config2);
    }
    // The verify passed against the chip both links programmed, and the read gave the file back.
    EXPECT_EQ(fast.state.image.flash, written.flash);
    EXPECT_EQ(fast.state.image.eeprom, written.eeprom);
}

INSTANTIATE_TEST_SUITE_P(DeviceFile, FastLinkModelTest, ::testing::ValuesIn(shipped_model_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace corvanel
