// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic send-ahead window: the probe sends nothing but no-operation
// commands, grows its bursts while the board answers them completely and on
// time, and grants a window with a margin; a board that answers too much or
// too late gets lock-step. The choice is kept per port and baud rate, and lost
// answers drop the port to lock-step until it is opened again.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/send_ahead_probe.h"
#include "core/link/board_protocol.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

// A board that answers every no-operation, but keeps up with only `capacity`
// bytes written back to back (the rest of a burst is lost in its buffer).
// `copies` answers per command stand for a noisy line; `late_looks` holds
// every answer back for that many looks at the line.
class BurstBoard final : public ByteChannel {
public:
    void write_byte(std::uint8_t byte) override {
        written.push_back(byte);
        if (++since_look_ <= capacity) {
            held_ += copies;
        }
        looks_since_write_ = 0;
    }
    std::vector<std::uint8_t> read_all() override {
        since_look_ = 0;
        if (++looks_since_write_ <= late_looks) {
            return {};
        }
        std::vector<std::uint8_t> bytes(held_, board_command::kNop);
        held_ = 0;
        return bytes;
    }
    void set_receive_threshold(int value) override { threshold = value; }
    [[nodiscard]] int receive_threshold() const override { return threshold; }
    [[nodiscard]] bool is_open() const override { return true; }

    std::vector<std::uint8_t> written;
    std::size_t capacity = std::numeric_limits<std::size_t>::max();
    std::size_t copies = 1;
    int late_looks = 0;
    int threshold = 1;

private:
    std::size_t since_look_ = 0;
    std::size_t held_ = 0;
    int looks_since_write_ = 0;
};

struct ProbeCase {
    const char* name;
    std::size_t capacity;
    std::size_t copies;
    int late_looks;
    std::int32_t window;
    std::int32_t nops_sent;
    const char* reason;
};

// Bursts of 48, 96, 192, 384 and 768 no-operations stand for windows 4 to 64.
const ProbeCase kProbeCases[] = {
    {"keeps_up_with_everything", std::numeric_limits<std::size_t>::max(), 1, 0, 64, 1488, ""},
    {"keeps_up_with_400", 400, 1, 0, 32, 1488, "lost"},
    {"keeps_up_with_150", 150, 1, 0, 8, 336, "lost"},
    {"keeps_up_with_48", 48, 1, 0, 4, 144, "lost"},
    {"keeps_up_with_20", 20, 1, 0, 0, 48, "lost"},
    {"answers_twice", std::numeric_limits<std::size_t>::max(), 2, 0, 0, 48, "extra"},
    {"answers_late", std::numeric_limits<std::size_t>::max(), 1, 2, 0, 48, "late"},
};

class SendAheadProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(SendAheadProbeTest, GrantsTheLargestWindowWhoseBurstCameBackWithAMargin) {
    const ProbeCase& c = GetParam();
    ProgramState state;
    test::RecordingHost host;  // its clock stands still: one look at each burst's answers
    BurstBoard board;
    board.capacity = c.capacity;
    board.copies = c.copies;
    board.late_looks = c.late_looks;
    state.host = &host;
    state.link.channel = &board;

    const ProbeReport report = probe_send_ahead(state);
    EXPECT_EQ(report.window, c.window);
    EXPECT_EQ(report.reason, c.reason);
    EXPECT_EQ(report.nops_sent, c.nops_sent);
    // Nothing but no-operations went out, and the interpreter was never woken.
    EXPECT_EQ(board.written.size(), static_cast<std::size_t>(c.nops_sent));
    EXPECT_TRUE(std::all_of(board.written.begin(), board.written.end(),
                            [](std::uint8_t b) { return b == board_command::kNop; }));
    EXPECT_EQ(board.threshold, 0);
    EXPECT_TRUE(report.window == 0 || report.window >= kAutoWindowMin);
}

INSTANTIATE_TEST_SUITE_P(Boards, SendAheadProbeTest, ::testing::ValuesIn(kProbeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// "Test Vpp" switched on from the event processing in the middle of a burst:
// not one more byte goes out, and nothing is remembered.
class VppClickingHost final : public test::RecordingHost {
public:
    void process_events() override {
        if (++events == click_at && state != nullptr) {
            state->link.vpp_test_on = true;
        }
    }
    ProgramState* state = nullptr;
    int click_at = 100;
};

TEST(SendAheadProbe, StopsAtOnceWhenTheVoltagesGoOn) {
    ProgramState state;
    VppClickingHost host;
    host.state = &state;
    BurstBoard board;
    state.host = &host;
    state.link.channel = &board;
    state.auto_window = true;
    state.model.verify_list = {"begin", "end"};

    const SendAheadChoice choice = choose_send_ahead(state, OperationKind::Verify);
    EXPECT_EQ(choice.window, 0);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: lock-step (voltages on)");
    EXPECT_LT(board.written.size(), 100U);
    EXPECT_TRUE(std::all_of(board.written.begin(), board.written.end(),
                            [](std::uint8_t b) { return b == board_command::kNop; }));
    EXPECT_FALSE(state.send_ahead_memory.find(state.link.port_number, state.link.baud_text));
}

TEST(SendAheadProbe, IsMeasuredOncePerPortAndRateAndForgetsLossesOnReopen) {
    ProgramState state;
    test::RecordingHost host;
    BurstBoard board;
    state.host = &host;
    state.link.channel = &board;
    state.link.port_number = 3;
    state.auto_window = true;
    state.image.flash_size = 8192;
    state.image.clear_image();
    (void)state.image.set_flash_word(1000, 0x2805);

    // Erase All gains nothing: no measurement, lock-step.
    SendAheadChoice choice = choose_send_ahead(state, OperationKind::Erase);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: lock-step (not measured)");
    EXPECT_TRUE(board.written.empty());

    choice = choose_send_ahead(state, OperationKind::Program);  // 1001 words: worth it
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: 64 (measured)");
    EXPECT_EQ(state.runner.window, 64);
    const std::size_t probed = board.written.size();

    // Known now: no second probe, and Erase All uses it too.
    choice = choose_send_ahead(state, OperationKind::Erase);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: 64 (measured)");
    EXPECT_EQ(board.written.size(), probed);

    // Another rate is another line: measured again, here on a board that falls behind.
    state.link.baud_text = "19200";
    board.capacity = 100;
    choice = choose_send_ahead(state, OperationKind::Blank);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: 8 (measured)");

    // Lost answers with a window: lock-step for this port until it is opened again.
    note_send_ahead_failure(state);
    choice = choose_send_ahead(state, OperationKind::Verify);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: lock-step (answers lost)");
    EXPECT_EQ(state.runner.window, 0);
    // Failing again in lock-step changes nothing; the other rate keeps its window.
    note_send_ahead_failure(state);
    state.link.baud_text = "56000";
    EXPECT_EQ(send_ahead_text(choose_send_ahead(state, OperationKind::Verify)),
              "Send-ahead: 64 (measured)");
    state.link.baud_text = "19200";
    state.send_ahead_memory.port_opened(4);
    EXPECT_EQ(choose_send_ahead(state, OperationKind::Verify).source,
              SendAheadChoice::Source::AnswersLost);
    state.send_ahead_memory.port_opened(3);
    board.written.clear();
    EXPECT_EQ(send_ahead_text(choose_send_ahead(state, OperationKind::Verify)),
              "Send-ahead: 8 (measured)");
    EXPECT_FALSE(board.written.empty());
}

// A board whose answers come late (the first minutes of a simulated board, an
// identify answer still on its way) runs that operation lock-step; nothing is
// remembered, so the next operation measures again and finds the window.
TEST(SendAheadProbe, ADoubtfulMeasurementIsNotRemembered) {
    ProgramState state;
    test::RecordingHost host;
    BurstBoard board;
    board.late_looks = 2;
    state.host = &host;
    state.link.channel = &board;
    state.auto_window = true;
    std::vector<std::optional<std::int32_t>> stored;
    state.store_measured_window = [&stored](std::optional<std::int32_t> w) { stored.push_back(w); };

    SendAheadChoice choice = choose_send_ahead(state, OperationKind::Verify);
    EXPECT_EQ(choice.window, 0);
    EXPECT_TRUE(stored.empty());
    EXPECT_FALSE(state.send_ahead_memory.find(state.link.port_number, state.link.baud_text));

    board.late_looks = 0;
    choice = choose_send_ahead(state, OperationKind::Verify);
    EXPECT_EQ(send_ahead_text(choice), "Send-ahead: 64 (measured)");
    EXPECT_EQ(stored, (std::vector<std::optional<std::int32_t>>{64}));
}

TEST(SendAheadProbe, ProgramAllOfAFewWordsIsNotWorthMeasuring) {
    ProgramState state;
    state.image.flash_size = 8192;
    state.image.clear_image();
    (void)state.image.set_flash_word(511, 0);  // the script writes words 0 to 511
    EXPECT_FALSE(probe_worth_it(state, OperationKind::Program));
    EXPECT_TRUE(probe_worth_it(state, OperationKind::Read));
    EXPECT_TRUE(probe_worth_it(state, OperationKind::Verify));
    (void)state.image.set_flash_word(512, 0);
    EXPECT_TRUE(probe_worth_it(state, OperationKind::Program));
    EXPECT_FALSE(probe_worth_it(state, OperationKind::Erase));
}

}  // namespace
}  // namespace corvanel
