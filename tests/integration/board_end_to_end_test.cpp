// SPDX-License-Identifier: GPL-3.0-or-later
// The five operations end to end on the in-process virtual board, with a
// PIC16F877A-like model described by a small device file of the test's own.

#include <gtest/gtest.h>

#include <ostream>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "support/engine_fakes.h"
#include "support/test_devices.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A line that loses bytes the host sends (they arrive while the board's receive
// buffer is full): bytes number `first` to `first + count - 1`, counted from 1
// over the channel's life, never reach the board. Nothing is lost by default.
class LossyChannel : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        ++sent_;
        if (sent_ >= first && sent_ < first + count) {
            return;
        }
        BoardChannel::write_byte(byte);
    }
    [[nodiscard]] std::uint64_t sent() const { return sent_; }

    std::uint64_t first = 0;
    std::uint64_t count = 0;

private:
    std::uint64_t sent_ = 0;
};

class BoardTest : public ::testing::Test {
protected:
    BoardTest() : board_(*VirtualBoard::with_chip("PIC16F877A")), channel_(board_) {
        const DatabaseLoadResult loaded =
            parse_device_database(test::kTestDevice877A, "test", state.database);
        EXPECT_EQ(loaded.status, DatabaseStatus::Loaded) << loaded.message;
        EXPECT_TRUE(apply_model(state.database, 1, state.model, state.image));
        state.image.clear_image();
        state.host = &host;
        state.link.channel = &channel_;
        state.link.port_ready = true;
    }

    // The host loop: a notification while bytes wait and the threshold is 1;
    // while nothing comes, the clock moves on and the time-out is checked.
    std::string run(OperationKind kind) {
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        for (int idle = 0; state.runner.running() && idle < 100;) {
            if (channel_.receive_threshold() == 1 && channel_.has_waiting()) {
                state.link.MSComm1_OnComm();
                idle = 0;
            } else {
                host.now += 1.0;
                (void)check_timeout(state, host.now);
                ++idle;
            }
        }
        EXPECT_FALSE(state.runner.running());
        return host.status();
    }

    void fill_random_image(unsigned seed) {
        std::mt19937 random(seed);
        // A program that ends inside a block, so the last block is part blank.
        for (std::int32_t i = 0; i < 1003; ++i) {
            ASSERT_TRUE(
                state.image.set_flash_word(i, static_cast<std::int32_t>(random() & 0x3FFF)));
        }
        ASSERT_TRUE(state.image.set_flash_word(8191, 0x2ABC));
        for (std::int32_t i = 0; i < 200; ++i) {
            ASSERT_TRUE(state.image.set_eeprom_byte(i, static_cast<std::int32_t>(random() & 0xFF)));
        }
        // Bits this chip lacks read back as 1.
        state.image.config1 = 0x3F72;
    }

    VirtualBoard board_;
    LossyChannel channel_;
    test::RecordingHost host;
    ProgramState state;
};

TEST_F(BoardTest, ProgramThenVerifyThenReadBack) {
    fill_random_image(877);
    const MemoryImage written = state.image;

    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    EXPECT_EQ(board_.chip().flash(1002), written.flash[1002]);
    EXPECT_EQ(board_.chip().config_word(1), 0x3F72);

    EXPECT_TRUE(run(OperationKind::Verify).starts_with("Chip verified. "));
    EXPECT_TRUE(host.messages.empty());

    EXPECT_TRUE(run(OperationKind::Read).starts_with("Chip read. "));
    EXPECT_EQ(state.image.flash, written.flash);
    EXPECT_EQ(state.image.eeprom, written.eeprom);
    EXPECT_EQ(state.image.config1, written.config1);
    EXPECT_FALSE(board_.voltages_on());
}

TEST_F(BoardTest, VerifyFindsAChangedWord) {
    fill_random_image(1);
    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    const std::int32_t at = 0x12;
    board_.chip().set_flash(at, 0);
    EXPECT_TRUE(run(OperationKind::Verify).starts_with("Chip verify failed. "));
    ASSERT_EQ(host.messages.size(), 1U);
    EXPECT_NE(host.messages[0].text.find("FLASH Word 0012h,   0000h,   "), std::string::npos);
    EXPECT_EQ(state.report.mismatch_count, 1);
}

TEST_F(BoardTest, EraseThenBlankCheck) {
    fill_random_image(2);
    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    EXPECT_TRUE(run(OperationKind::Blank).starts_with("Chip is not blank. "));
    EXPECT_EQ(state.report.mismatch_count, 25);  // cut short

    const MemoryImage before = state.image;
    EXPECT_TRUE(run(OperationKind::Erase).starts_with("Chip erased. "));
    EXPECT_EQ(state.image.flash, before.flash);  // Erase All leaves the image alone
    host.messages.clear();
    EXPECT_EQ(run(OperationKind::Blank).find("Chip is blank. "), 0U);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(BoardTest, StaleAnswersFromTestVppChangeNothing) {
    fill_random_image(3);
    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    // "Test Vpp" on and off while no operation runs: two answers wait unread.
    ASSERT_TRUE(state.link.voltages_on(state.model.voltage_sequence));
    state.link.voltages_off();
    ASSERT_EQ(channel_.waiting_count(), 2U);
    EXPECT_TRUE(run(OperationKind::Verify).starts_with("Chip verified. "));
}

BoardFaults stop_after(std::uint64_t bytes) {
    BoardFaults faults;
    faults.stop_after_bytes = bytes;
    return faults;
}

BoardFaults dropped_answer(std::uint64_t number) {
    BoardFaults faults;
    faults.drop_answer = number;
    return faults;
}

struct FaultCase {
    std::string name;
    BoardFaults faults;
};

// Test listings name the case, not the bytes of the parameter.
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class BoardFaultTest : public BoardTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(BoardFaultTest, SilentBoardAbortsWithinTheTimeout) {
    fill_random_image(4);
    channel_.set_faults(GetParam().faults);
    EXPECT_EQ(run(OperationKind::Program), std::string(kNotRespondingText));
    // The loop's clock moves 1 s per idle turn: given up at the sixth second
    // after the last answer.
    EXPECT_LE(host.now - state.runner.awaiting_since(), kAnswerTimeoutSeconds + 1.0);
    EXPECT_TRUE(host.commands_enabled);
    EXPECT_EQ(channel_.written().back(), 103);  // voltages off, best effort
}

INSTANTIATE_TEST_SUITE_P(Faults, BoardFaultTest,
                         ::testing::Values(FaultCase{"StopsHearing", stop_after(500)},
                                           FaultCase{"LosesAnAnswer", dropped_answer(40)}),
                         [](const auto& info) { return info.param.name; });

TEST_F(BoardTest, OperationAfterAnAbortRunsNormally) {
    fill_random_image(5);
    channel_.set_faults(dropped_answer(10));
    EXPECT_EQ(run(OperationKind::Program), std::string(kNotRespondingText));
    channel_.set_faults({});
    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    EXPECT_TRUE(run(OperationKind::Verify).starts_with("Chip verified. "));
}

// Where each command `command` begins in a stream of the board protocol.
std::vector<std::size_t> command_offsets(const Bytes& stream, std::uint8_t command) {
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < stream.size();) {
        const std::uint8_t byte = stream[i];
        if (byte == command) {
            offsets.push_back(i);
        }
        const bool one_data_byte =
            byte == board_command::kChipCommand || byte == board_command::kChipCommand8;
        const bool two_data_bytes =
            byte == board_command::kDataWord || byte == board_command::kPayload24;
        i += 1 + (one_data_byte ? 1 : two_data_bytes ? 2 : 0);
    }
    return offsets;
}

struct LostBytesCase {
    std::uint8_t command;  // the command whose data bytes the line loses
    std::uint64_t lost;    // how many bytes, from the first data byte on
    std::int32_t window;   // 0: lock-step
};

void PrintTo(const LostBytesCase& c, std::ostream* os) {
    *os << static_cast<int>(c.command) << " losing " << c.lost << ", window " << c.window;
}

class LostBytesTest : public BoardTest, public ::testing::WithParamInterface<LostBytesCase> {};

// The board waits for the rest of a command whose data bytes the line lost, so it
// takes the abort's first voltages-off bytes for that data: the operation fails,
// and still no voltage is left on the chip. The answers the abort draws are not
// taken for the next operation's.
TEST_P(LostBytesTest, AbortedOperationLeavesTheVoltagesOff) {
    const LostBytesCase& c = GetParam();
    fill_random_image(6);
    state.runner.window = c.window;
    channel_.clear_written();
    ASSERT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    // The same image programmed again sends the same bytes: lose some in the middle.
    const std::vector<std::size_t> at = command_offsets(channel_.written(), c.command);
    ASSERT_GT(at.size(), 10U);
    channel_.first = channel_.sent() + at[at.size() / 2] + 2;
    channel_.count = c.lost;

    const std::string status = run(OperationKind::Program);
    EXPECT_TRUE(status == kNotRespondingText || status == kOutOfStepText) << status;
    EXPECT_TRUE(state.operation_failed);
    EXPECT_GE(channel_.sent(), channel_.first + c.lost);  // the loss came
    EXPECT_FALSE(board_.voltages_on());

    channel_.count = 0;
    EXPECT_TRUE(run(OperationKind::Program).starts_with("Chip programmed. "));
    EXPECT_TRUE(run(OperationKind::Verify).starts_with("Chip verified. "));
    EXPECT_FALSE(board_.voltages_on());
}

INSTANTIATE_TEST_SUITE_P(Line, LostBytesTest,
                         ::testing::Values(LostBytesCase{board_command::kDataWord, 1, 0},
                                           LostBytesCase{board_command::kDataWord, 2, 0},
                                           LostBytesCase{board_command::kChipCommand, 1, 0},
                                           LostBytesCase{board_command::kChipCommand, 2, 0},
                                           LostBytesCase{board_command::kDataWord, 1, 16},
                                           LostBytesCase{board_command::kDataWord, 2, 16},
                                           LostBytesCase{board_command::kChipCommand, 1, 16},
                                           LostBytesCase{board_command::kChipCommand, 2, 16}),
                         [](const auto& info) {
                             const LostBytesCase& c = info.param;
                             return std::string(c.command == board_command::kDataWord
                                                    ? "DataWord"
                                                    : "ChipCommand") +
                                    "Loses" + std::to_string(c.lost) +
                                    (c.window == 0 ? "LockStep" : "SendingAhead");
                         });

}  // namespace
}  // namespace corvanel
