// SPDX-License-Identifier: GPL-3.0-or-later
// Board-timed waits (104 4Ah, feature bit 12) end to end: a board that declares
// them is handed every pause of the script and the host sends on; any other board
// hears the commands it heard before, with the host pausing itself. The chip
// emulator still judges the time the board waited, and a stopped operation's
// voltages-off reaches the chip behind no more than 300 ms of board waits.

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/operation_stop.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"
#include "support/shipped_database.h"
#include "support/wire_stream.h"

namespace corvanel {
namespace {

class PausingHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    void pause(int milliseconds) override { paused_ms += milliseconds; }
    std::string status;
    long long paused_ms = 0;
};

enum class Board { Plain, NoWaits, Waits };

// The tool's defaults against a board of the given kind.
struct Rig {
    Rig(const std::string& name, Board kind, ByteChannel* own_channel = nullptr)
        : board(*Pic14Chip::create(name, 1u)), channel(board) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        board.set_plain(kind == Board::Plain);
        board.set_board_waits(kind == Board::Waits);
        state.host = &host;
        state.link.channel = own_channel != nullptr ? own_channel : &channel;
        state.link.port_ready = true;
        state.auto_window = kind != Board::Plain;
        state.runner.fast_link = true;
        state.runner.window = kind == Board::Plain ? 64 : 0;
        if (kind == Board::Plain && state.model.vpp_window) {
            state.board_vpp =
                (state.model.vpp_window->min_volts + state.model.vpp_window->max_volts) / 2;
        }
        (void)identify_board(state);
    }

    std::string run(OperationKind kind) {
        channel.clear_written();
        host.paused_ms = 0;
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        while (channel.has_waiting() && channel.receive_threshold() == 1) {
            state.link.MSComm1_OnComm();
        }
        EXPECT_FALSE(state.runner.running());
        EXPECT_FALSE(board.voltages_on()) << operation_name(kind) << " left the voltages on";
        return host.status.substr(0, host.status.find(". ") + 1);
    }

    PausingHost host;
    ProgramState state;
    VirtualBoard board;
    BoardChannel channel;
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

int sum(const std::vector<std::uint8_t>& waits) {
    return std::accumulate(waits.begin(), waits.end(), 0);
}

// The 16F628A waits after every word, the 16F72 400 ms after its bulk erase (more
// than one 4Ah carries), the 16F18877 after every row in the 8-bit set.
class BoardWaitStreamTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BoardWaitStreamTest, OnlyABoardThatDeclaresWaitsIsHandedThem) {
    const std::string model = GetParam();
    Rig waits(model, Board::Waits);
    Rig no_waits(model, Board::NoWaits);
    Rig plain(model, Board::Plain);
    ASSERT_TRUE(waits.state.link.board_waits);
    ASSERT_FALSE(no_waits.state.link.board_waits);
    ASSERT_FALSE(plain.state.link.board_waits);
    const bool six_bit = waits.state.model.command_set == &six_bit_commands();
    const MemoryImage image = random_image(waits.state, 628);
    for (Rig* rig : {&waits, &no_waits, &plain}) {
        rig->state.image = image;
    }
    for (const auto& [kind, result] : {std::pair{OperationKind::Program, "Chip programmed."},
                                       std::pair{OperationKind::Verify, "Chip verified."}}) {
        SCOPED_TRACE(operation_name(kind));
        EXPECT_EQ(no_waits.run(kind), result);
        EXPECT_EQ(waits.run(kind), result);
        const test::Opened handed = test::open_blocks(waits.channel.written());
        const test::Opened kept = test::open_blocks(no_waits.channel.written());
        // The host waited as before where the board keeps no time, and not at all
        // where it does: the board waited every millisecond of it instead.
        EXPECT_TRUE(kept.waits.empty());
        EXPECT_EQ(waits.host.paused_ms, 0);
        EXPECT_EQ(sum(handed.waits), no_waits.host.paused_ms);
        EXPECT_EQ(handed.commands, kept.commands);
        if (kind == OperationKind::Program) {
            EXPECT_GT(no_waits.host.paused_ms, 0);
            EXPECT_GT(handed.waits.size(), 1U);
        }
        if (model == "PIC16F72" && kind == OperationKind::Program) {
            // 400 ms: 255, then the rest.
            ASSERT_GE(handed.waits.size(), 2U);
            EXPECT_EQ(handed.waits[0], 255);
            EXPECT_EQ(handed.waits[1], 145);
        }
        if (six_bit) {
            EXPECT_EQ(plain.run(kind), result);
            const test::Opened original = test::open_blocks(plain.channel.written());
            EXPECT_TRUE(original.waits.empty());
            EXPECT_EQ(plain.host.paused_ms, no_waits.host.paused_ms);
            EXPECT_EQ(original.commands, kept.commands);
        }
    }
    for (std::size_t at = 0; at < image.flash.size(); ++at) {
        ASSERT_EQ(waits.board.chip().flash(static_cast<std::int32_t>(at)),
                  no_waits.board.chip().flash(static_cast<std::int32_t>(at)))
            << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Models, BoardWaitStreamTest,
                         ::testing::Values("PIC16F628A", "PIC16F72", "PIC16F18877"));

// The board's wait is the chip's programming time: a model that waits too little
// writes words the chip never finished, and Verify says so, through 4Ah as
// through the host's own pause.
TEST(BoardWaitTest, AWaitTooShortForTheChipFailsVerify) {
    for (const Board kind : {Board::Waits, Board::NoWaits}) {
        Rig rig("PIC16F628A", kind);
        rig.state.model.programming_time = 1;
        rig.state.image = random_image(rig.state, 1);
        EXPECT_EQ(rig.run(OperationKind::Program), "Chip programmed.");
        EXPECT_EQ(test::open_blocks(rig.channel.written()).waits.empty(), kind != Board::Waits);
        EXPECT_EQ(rig.run(OperationKind::Verify), "Chip verify failed.");
    }
}

// A board on a clock of its own: it takes the bytes at once, except after a
// board-timed wait, until the clock has run that long; bytes wait in its buffer.
class ClockedBoardChannel final : public ByteChannel {
public:
    explicit ClockedBoardChannel(VirtualBoard& board) : board_(board) {}
    void write_byte(std::uint8_t byte) override {
        inbox_.push_back(byte);
        take_bytes();
    }
    std::vector<std::uint8_t> read_all() override {
        std::vector<std::uint8_t> bytes(outbox_.begin(), outbox_.end());
        outbox_.clear();
        return bytes;
    }
    void set_receive_threshold(int threshold) override { threshold_ = threshold; }
    [[nodiscard]] int receive_threshold() const override { return threshold_; }
    [[nodiscard]] bool is_open() const override { return true; }
    [[nodiscard]] bool answers_at_once() const override { return true; }

    void tick_ms() {
        board_.advance_time(1000);
        ++now_ms_;
        take_bytes();
    }
    [[nodiscard]] bool has_waiting() const { return !outbox_.empty(); }
    [[nodiscard]] long long now_ms() const { return now_ms_; }
    // Board waits the board has yet to run: the one running and those in its buffer.
    [[nodiscard]] long long waits_ahead_ms() const {
        const std::vector<std::uint8_t> buffered(inbox_.begin(), inbox_.end());
        return std::max(0LL, busy_until_ms_ - now_ms_) + sum(test::open_blocks(buffered).waits);
    }

private:
    void take_bytes() {
        if (busy_until_ms_ > now_ms_) {
            return;
        }
        // A wait is answered once it has run.
        outbox_.insert(outbox_.end(), held_.begin(), held_.end());
        held_.clear();
        while (!inbox_.empty() && busy_until_ms_ <= now_ms_) {
            const std::uint8_t byte = inbox_.front();
            inbox_.pop_front();
            const std::vector<std::uint8_t> answers = board_.feed(byte);
            if (const auto wait = board_.take_board_wait(); wait && *wait > 0) {
                busy_until_ms_ = now_ms_ + *wait;
                held_ = answers;
            } else {
                outbox_.insert(outbox_.end(), answers.begin(), answers.end());
            }
        }
    }

    VirtualBoard& board_;
    std::deque<std::uint8_t> inbox_;
    std::deque<std::uint8_t> outbox_;
    std::vector<std::uint8_t> held_;
    long long now_ms_ = 0;
    long long busy_until_ms_ = 0;
    int threshold_ = 0;
};

// Stopped in the middle of a stream of waits (the Stop button, Ctrl-C and a fault
// all end in the same voltages-off), the chip is unpowered within the 300 ms of
// board waits the host may have out; until then no answer is late for them.
TEST(BoardWaitTest, AStopReachesTheVoltagesOffBehindAtMost300MsOfWaits) {
    auto chip = *Pic14Chip::create("PIC16F628A", 1u);
    VirtualBoard board(std::move(chip));
    ClockedBoardChannel clocked(board);
    Rig rig("PIC16F628A", Board::Waits, &clocked);
    ASSERT_TRUE(rig.state.link.board_waits);
    rig.state.image = random_image(rig.state, 2);
    // Long enough a wait that the window alone would put well over 300 ms of them
    // on the board.
    rig.state.model.programming_time = 40;
    ASSERT_EQ(start_operation(rig.state, OperationKind::Program), StartResult::Started);
    long long most_ahead = 0;
    const auto turn = [&] {
        clocked.tick_ms();
        if (clocked.has_waiting() && clocked.receive_threshold() == 1) {
            rig.state.link.MSComm1_OnComm();
        }
        most_ahead = std::max(most_ahead, clocked.waits_ahead_ms());
    };
    // Some tens of words into the program memory.
    for (int ms = 0; ms < 1500; ++ms) {
        turn();
    }
    ASSERT_TRUE(rig.state.runner.running());
    ASSERT_TRUE(board.voltages_on());
    // The host sends ahead: the board has waits of several words queued.
    EXPECT_GE(clocked.waits_ahead_ms(), 200);
    EXPECT_LE(most_ahead, board_extension::kBoardWaitInFlightMs);
    // The answer awaited comes after the waits ahead of it: its deadline counts them.
    const int due = rig.state.link.board_wait_due_ms();
    ASSERT_GT(due, 0);
    EXPECT_FALSE(check_timeout(rig.state, rig.state.runner.awaiting_since() +
                                              kAnswerTimeoutSeconds + due / 1000.0 - 0.01));
    ASSERT_TRUE(stop_now(rig.state));
    EXPECT_EQ(rig.host.status, kOperationStoppedText);
    const long long stopped_at = clocked.now_ms();
    while (board.voltages_on() && clocked.now_ms() - stopped_at < 2000) {
        clocked.tick_ms();
    }
    EXPECT_FALSE(board.voltages_on());
    EXPECT_LE(clocked.now_ms() - stopped_at, board_extension::kBoardWaitInFlightMs + 1);
}

}  // namespace
}  // namespace corvanel
