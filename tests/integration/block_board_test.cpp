// SPDX-License-Identifier: GPL-3.0-or-later
// Blocks (111, 112) end to end: on a board that declares them, Program All and
// Verify of a full image send runs of loads and reads as blocks, the chip ends up
// as on a board of the original protocol, and the blocks, opened out into the
// commands the board clocks for them, are that board's stream command for command.
// Never more bytes are in flight than the board's buffer holds, and a block's
// answer that goes missing fails the operation with the voltages off.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"
#include "support/shipped_database.h"
#include "support/wire_stream.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::open_blocks;
using test::Opened;
namespace cmd = board_command;

class QuietHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    void end_program() override { ended = true; }
    std::string status;
    bool ended = false;
};

// Counts the bytes written between two reads: the board in this process answers
// at once, so those are the bytes the host had in flight when it next read.
class FlightChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        ++since_read_;
        most_in_flight = std::max(most_in_flight, since_read_);
        BoardChannel::write_byte(byte);
    }
    std::vector<std::uint8_t> read_all() override {
        since_read_ = 0;
        return BoardChannel::read_all();
    }
    std::size_t most_in_flight = 0;

private:
    std::size_t since_read_ = 0;
};

struct Rig {
    // `blocks`: the board declares them; `plain`: it does not even answer identify.
    Rig(const std::string& name, bool blocks, bool plain, std::uint16_t buffer = 255)
        : board(*Pic14Chip::create(name, 1u)), channel(board) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        board.set_blocks(blocks);
        board.set_plain(plain);
        board.set_receive_buffer(buffer);
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        state.auto_window = !plain;
        state.runner.fast_link = true;
        state.runner.window = plain ? 64 : 0;
        if (plain && state.model.vpp_window) {
            // A plain board says nothing of its Vpp: its user tells the program.
            state.board_vpp =
                (state.model.vpp_window->min_volts + state.model.vpp_window->max_volts) / 2;
        }
        (void)identify_board(state);
    }

    std::string run(OperationKind kind) {
        channel.clear_written();
        channel.most_in_flight = 0;
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        while (channel.has_waiting() && channel.receive_threshold() == 1) {
            state.link.MSComm1_OnComm();
        }
        EXPECT_FALSE(state.runner.running());
        EXPECT_FALSE(board.voltages_on()) << operation_name(kind) << " left the voltages on";
        return host.status.substr(0, host.status.find(". ") + 1);
    }

    QuietHost host;
    ProgramState state;
    VirtualBoard board;
    FlightChannel channel;
};

MemoryImage random_image(const ProgramState& state, unsigned seed) {
    MemoryImage image = state.image;
    std::mt19937 random(seed);
    for (auto& word : image.flash) {
        word = static_cast<std::int32_t>(random() & 0x3FFF);
    }
    for (auto& byte : image.eeprom) {
        byte = static_cast<std::int32_t>(random() & 0xFF);
    }
    return image;
}

struct Case {
    const char* model;
    bool write_blocks;  // a family that loads a row before it programs it
};

class BlockBoardTest : public ::testing::TestWithParam<Case> {};

TEST_P(BlockBoardTest, ProgramAndVerifyThroughBlocksAsThroughTheOriginalCommands) {
    const Case& c = GetParam();
    Rig blocks(c.model, true, false);
    // A board that identifies itself without blocks, and one of the original
    // protocol (no 8-bit set there: such a model is refused before voltages-on).
    Rig original(c.model, false, false);
    Rig plain(c.model, false, true);
    // A small buffer: blocks are cut to fit it and wait for room.
    Rig small(c.model, true, false, 40);
    const bool six_bit = plain.state.model.command_set == &six_bit_commands();
    ASSERT_TRUE(blocks.state.link.blocks());
    ASSERT_TRUE(small.state.link.blocks());
    ASSERT_FALSE(original.state.link.blocks());
    ASSERT_FALSE(plain.state.link.blocks());
    const MemoryImage image = random_image(blocks.state, 18877);
    for (Rig* rig : {&blocks, &original, &plain, &small}) {
        rig->state.image = image;
    }
    for (const auto& [kind, result] : {std::pair{OperationKind::Program, "Chip programmed."},
                                       std::pair{OperationKind::Verify, "Chip verified."}}) {
        SCOPED_TRACE(operation_name(kind));
        EXPECT_EQ(original.run(kind), result);
        EXPECT_EQ(blocks.run(kind), result);
        EXPECT_EQ(small.run(kind), result);
        const Opened opened = open_blocks(blocks.channel.written());
        const Opened singles = open_blocks(original.channel.written());
        EXPECT_EQ(singles.write_blocks + singles.read_blocks, 0);
        if (kind == OperationKind::Verify) {
            EXPECT_GT(opened.read_blocks, 0);
        } else if (c.write_blocks) {
            EXPECT_GT(opened.write_blocks, 0);
        }
        EXPECT_EQ(opened.commands, singles.commands);
        EXPECT_EQ(open_blocks(small.channel.written()).commands, singles.commands);
        if (six_bit) {
            EXPECT_EQ(plain.run(kind), result);
            const Opened plain_stream = open_blocks(plain.channel.written());
            EXPECT_EQ(plain_stream.write_blocks + plain_stream.read_blocks, 0);
            EXPECT_EQ(plain_stream.commands, singles.commands);
        }
        EXPECT_LE(blocks.channel.most_in_flight, 255U);
        EXPECT_LE(small.channel.most_in_flight, 40U);
        // Blocks save the wire's bytes, not only round trips.
        if (kind == OperationKind::Verify || c.write_blocks) {
            EXPECT_LT(blocks.channel.written().size() * 3, original.channel.written().size() * 2);
        }
    }
    for (const Rig* rig : {&blocks, &small}) {
        for (std::size_t at = 0; at < image.flash.size(); ++at) {
            ASSERT_EQ(rig->board.chip().flash(static_cast<std::int32_t>(at)),
                      original.board.chip().flash(static_cast<std::int32_t>(at)))
                << at;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, BlockBoardTest,
                         ::testing::Values(Case{"PIC16F1509", true}, Case{"PIC16F18877", true},
                                           Case{"PIC16F877A", true}, Case{"PIC16F628A", false}));

// A block's answer lost on the line, early in a read block, at its end, or in a
// later one: the Verify of a chip that holds the image fails (never a success),
// and the voltages go off.
TEST(BlockFaultTest, ALostBlockAnswerFailsTheOperation) {
    // Counted from the operation's first answer: identify's record comes first.
    for (const std::uint64_t lost : {60ULL, 189ULL, 2000ULL}) {
        SCOPED_TRACE(lost);
        Rig rig("PIC16F1509", true, false);
        rig.state.image = random_image(rig.state, 1509);
        ASSERT_EQ(rig.run(OperationKind::Program), "Chip programmed.");
        BoardFaults faults;
        faults.drop_answer = rig.channel.answers_produced() + lost;
        rig.channel.set_faults(faults);
        ASSERT_EQ(start_operation(rig.state, OperationKind::Verify), StartResult::Started);
        while (rig.channel.has_waiting() && rig.channel.receive_threshold() == 1) {
            rig.state.link.MSComm1_OnComm();
        }
        if (rig.state.runner.running()) {
            EXPECT_TRUE(check_timeout(rig.state, 1e9));
            EXPECT_EQ(rig.host.status, kNotRespondingText);
        } else {
            EXPECT_EQ(rig.host.status, kOutOfStepText);
        }
        EXPECT_TRUE(rig.state.operation_failed);
        EXPECT_FALSE(rig.board.voltages_on());
    }
}

}  // namespace
}  // namespace corvanel
