// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic send-ahead window on the emulated board: the byte stream the
// board hears starts with the probe's no-operations alone, sent while the
// voltages are off, then the operation runs ahead by the window measured;
// the next operation on the port uses what was measured, and an operation
// that loses answers leaves the port lock-step.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

// Records the status line and reads a real clock.
class StatusHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { statuses.emplace_back(text); }
    double clock_seconds() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::vector<std::string> statuses;
};

// Notes where the first byte written with the chip powered lies.
class PowerWatchingChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        if (!first_powered && board().voltages_on()) {
            first_powered = written().size();
        }
        BoardChannel::write_byte(byte);
    }
    std::optional<std::size_t> first_powered;
};

struct AutoRig {
    AutoRig() : board(*Pic14Chip::create("PIC16F877A", 1u)), channel(board) {
        EXPECT_TRUE(test::apply_shipped_model(state, "PIC16F877A"));
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        state.runner.fast_link = true;
        std::mt19937 random(877);
        for (auto& word : state.image.flash) {
            word = static_cast<std::int32_t>(random() & 0x3FFF);
        }
    }

    // Runs the operation to its end; answers the bytes the board heard.
    std::vector<std::uint8_t> run(OperationKind kind) {
        channel.clear_written();
        channel.first_powered.reset();
        host.statuses.clear();
        most_outstanding = 0;
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        while (channel.has_waiting() && channel.receive_threshold() == 1) {
            most_outstanding = std::max(most_outstanding, channel.waiting_count());
            state.link.MSComm1_OnComm();
        }
        if (state.runner.running()) {
            (void)check_timeout(state, 1e9);
        }
        EXPECT_FALSE(board.voltages_on());
        return channel.written();
    }

    // Runs the operation with a board whose answers take their time.
    bool start_operation_and_wait(OperationKind kind) {
        host.statuses.clear();
        if (start_operation(state, kind) != StartResult::Started) {
            return false;
        }
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (state.runner.running() && std::chrono::steady_clock::now() < give_up) {
            if (channel.has_waiting() && channel.receive_threshold() == 1) {
                state.link.MSComm1_OnComm();
            }
        }
        return !state.runner.running();
    }

    [[nodiscard]] std::string start_line() const {
        return host.statuses.empty() ? "" : host.statuses.front();
    }

    StatusHost host;
    ProgramState state;
    VirtualBoard board;
    PowerWatchingChannel channel;
    std::size_t most_outstanding = 0;
};

std::size_t leading_nops(const std::vector<std::uint8_t>& stream) {
    return static_cast<std::size_t>(
        std::find_if(stream.begin(), stream.end(),
                     [](std::uint8_t b) { return b != board_command::kNop; }) -
        stream.begin());
}

TEST(AutoWindowBoardTest, ProbesWithNoOperationsOnlyThenSendsAheadByWhatItMeasured) {
    AutoRig rig;
    (void)rig.run(OperationKind::Program);  // lock-step: the window is not automatic yet
    ASSERT_EQ(rig.host.statuses.back().rfind("Chip programmed. ", 0), 0U);
    ASSERT_EQ(rig.start_line(), "Begin program all.");

    rig.state.auto_window = true;
    const std::vector<std::uint8_t> first = rig.run(OperationKind::Verify);
    EXPECT_EQ(rig.start_line(), "Begin verify. Send-ahead: 64 (measured)");
    EXPECT_EQ(rig.host.statuses.back().rfind("Chip verified. ", 0), 0U);
    // The recorded stream: 48 + 96 + 192 + 384 + 768 no-operations and nothing
    // else, all of them before the operation switched the voltages on.
    constexpr std::size_t kProbeBytes = 1488;
    EXPECT_EQ(leading_nops(first), kProbeBytes);
    ASSERT_TRUE(rig.channel.first_powered.has_value());
    EXPECT_GT(*rig.channel.first_powered, kProbeBytes);
    EXPECT_GT(rig.most_outstanding, 32U);
    EXPECT_LE(rig.most_outstanding, 64U);

    // The port's window is known: the next operation sends no probe.
    const std::vector<std::uint8_t> second = rig.run(OperationKind::Verify);
    EXPECT_EQ(rig.start_line(), "Begin verify. Send-ahead: 64 (measured)");
    EXPECT_EQ(leading_nops(second), 0U);
    EXPECT_EQ(second.size(), first.size() - kProbeBytes);

    // An answer lost in the middle: the operation fails, and the port runs
    // lock-step from then on until it is opened again.
    BoardFaults faults;
    faults.drop_answer = rig.channel.answers_produced() + 3000;
    rig.channel.set_faults(faults);
    (void)rig.run(OperationKind::Verify);
    EXPECT_TRUE(rig.state.operation_failed);
    rig.channel.set_faults({});
    (void)rig.run(OperationKind::Verify);
    EXPECT_EQ(rig.start_line(), "Begin verify. Send-ahead: lock-step (answers lost)");
    EXPECT_EQ(rig.host.statuses.back().rfind("Chip verified. ", 0), 0U);
    EXPECT_LE(rig.most_outstanding, 3U);

    rig.state.send_ahead_memory.port_opened(rig.state.link.port_number);
    const std::vector<std::uint8_t> reopened = rig.run(OperationKind::Read);
    EXPECT_EQ(rig.start_line(), "Begin read all. Send-ahead: 64 (measured)");
    EXPECT_EQ(leading_nops(reopened), kProbeBytes);
    EXPECT_EQ(rig.host.statuses.back().rfind("Chip read. ", 0), 0U);
}

TEST(AutoWindowBoardTest, OnlyABoardWhoseAnswersCanComeLateIsWatchedAfterTheEnd) {
    AutoRig rig;
    rig.state.model.blank_list = {"begin", "end"};
    // One look after the final answer: no byte can come later from this board.
    (void)rig.run(OperationKind::Blank);
    ASSERT_EQ(rig.host.statuses.back().rfind("Chip is blank. ", 0), 0U);
    EXPECT_LT(rig.state.settle_seconds, kSettleSeconds / 2);
    // Delayed answers come when their time has come: the line is watched.
    BoardFaults delayed;
    delayed.answer_delay = std::chrono::microseconds(1);
    rig.channel.set_faults(delayed);
    rig.state.settle_seconds = 0.0;
    (void)rig.start_operation_and_wait(OperationKind::Blank);
    EXPECT_GE(rig.state.settle_seconds, kSettleSeconds);
}

}  // namespace
}  // namespace corvanel
