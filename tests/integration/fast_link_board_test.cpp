// SPDX-License-Identifier: GPL-3.0-or-later
// The fast link and send-ahead on every model of the shipped device database:
// each operation gives the same chip and the same result as lock-step, and the
// board hears the very same commands in the same order (the fast link only
// without the no-operations). With send-ahead the board never has more answers
// outstanding than the window allows, and a lost, doubled or noisy answer byte
// fails the operation, never a wrong success.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_channel.h"
#include "board/chip_catalogue.h"
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
using test::shipped_model_variants;

class QuietHost final : public NullEngineHost {
public:
    void set_status_text(std::string_view text) override { status.assign(text); }
    void end_program() override { ended = true; }
    void pause(int /*milliseconds*/) override {
        if (channel != nullptr) {
            unanswered_at_pause = std::max(unanswered_at_pause, channel->waiting_count());
        }
    }
    std::string status;
    bool ended = false;
    // The board answers at once, so what waits unread is what the host has outstanding.
    const BoardChannel* channel = nullptr;
    std::size_t unanswered_at_pause = 0;
};

// Notes how many answers are outstanding whenever a voltage command starts.
class WatchedChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        if (command_left_ == 0) {
            command_left_ = board_command::command_length(byte);
            if (byte >= board_command::kVoltagesOnVddFirst && byte <= board_command::kVoltagesOff) {
                unanswered_at_voltages = std::max(unanswered_at_voltages, waiting_count());
            }
        }
        --command_left_;
        BoardChannel::write_byte(byte);
    }
    std::size_t unanswered_at_voltages = 0;

private:
    int command_left_ = 0;
};

// The command bytes of a stream without its no-operation commands (100 where a
// command starts; a data byte of 100 stays).
Bytes without_nops(const Bytes& stream) {
    Bytes kept;
    for (std::size_t i = 0; i < stream.size();) {
        const std::size_t length = board_command::command_length(stream[i]);
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

constexpr std::int32_t kWindow = 64;

// The variants, and the smallest model of every emulated family the database has
// (not under the sanitizers' narrower sets): the family's rules answer the fast
// link and send-ahead as they answer lock-step, whatever the variant.
std::vector<std::string> variants_and_families() {
    std::vector<std::string> names = shipped_model_variants();
    if (test::narrow_model_sets()) {
        return names;
    }
    std::map<ChipFamily, ChipInfo> smallest;
    for (const ChipInfo& chip : make_chip_table()) {
        if (chip.empty_socket || test::model_number(shipped_database(), chip.name) == 0) {
            continue;
        }
        const auto known = smallest.find(chip.family);
        if (known == smallest.end() || chip.flash_words < known->second.flash_words) {
            smallest[chip.family] = chip;
        }
    }
    for (const auto& [family, chip] : smallest) {
        if (std::find(names.begin(), names.end(), chip.name) == names.end()) {
            names.push_back(chip.name);
        }
    }
    return names;
}

// One model with its chip on the in-process board, the link fast or not, lock-step
// or sending ahead.
struct Rig {
    Rig(const std::string& name, bool fast, std::int32_t window = 0)
        // One seed for every rig: the same factory calibration in each chip.
        : board(*Pic14Chip::create(name, 1u)), channel(board) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        state.runner.fast_link = fast;
        state.runner.window = window;
        host.channel = &channel;
    }

    // Hands the board's answers over until none wait; the board answers at once,
    // so what waits after a step is everything the host has outstanding.
    void pump() {
        while (channel.has_waiting() && channel.receive_threshold() == 1) {
            most_outstanding = std::max(most_outstanding, channel.waiting_count());
            state.link.MSComm1_OnComm();
        }
    }

    // Runs the operation to its end; answers the result line and the bytes sent.
    std::pair<std::string, Bytes> run(OperationKind kind) {
        channel.clear_written();
        most_outstanding = 0;
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        pump();
        EXPECT_FALSE(state.runner.running()) << operation_name(kind) << " did not finish";
        EXPECT_FALSE(state.operation_failed) << operation_name(kind);
        EXPECT_FALSE(host.ended);
        EXPECT_FALSE(board.voltages_on()) << operation_name(kind) << " left the voltages on";
        const std::string result = host.status.substr(0, host.status.find(". ") + 1);
        return {result, channel.written()};
    }

    QuietHost host;
    ProgramState state;
    VirtualBoard board;
    WatchedChannel channel;
    std::size_t most_outstanding = 0;
};

// Random words in every location, the same for every rig of a model.
MemoryImage random_image(const Rig& rig) {
    MemoryImage image = rig.state.image;
    std::mt19937 random(static_cast<std::uint32_t>(rig.state.selected_model) * 131u);
    for (auto& word : image.flash) {
        word = static_cast<std::int32_t>(random() & 0x3FFF);
    }
    for (auto& byte : image.eeprom) {
        byte = static_cast<std::int32_t>(random() & 0xFF);
    }
    for (auto& word : image.user_ids) {
        word = static_cast<std::int32_t>(random() & 0x3FFF);
    }
    return image;
}

class FastLinkModelTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FastLinkModelTest, EveryOperationGivesTheSameResultWithoutTheNoOperations) {
    Rig normal(GetParam(), false);
    Rig fast(GetParam(), true);
    Rig window(GetParam(), false, kWindow);
    Rig fast_window(GetParam(), true, kWindow);
    const MemoryImage written = random_image(normal);
    for (Rig* rig : {&normal, &fast, &window, &fast_window}) {
        rig->state.image = written;
    }

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
        const auto [window_result, window_bytes] = window.run(step.kind);
        const auto [fast_window_result, fast_window_bytes] = fast_window.run(step.kind);
        if (!step.result.empty()) {
            EXPECT_EQ(normal_result, step.result);
        }
        EXPECT_EQ(fast_result, normal_result);
        EXPECT_EQ(fast_bytes, without_nops(normal_bytes));
        EXPECT_EQ(nop_count(fast_bytes), 0U);
        EXPECT_GT(nop_count(normal_bytes), 0U);
        for (const Rig* rig : {&fast, &window, &fast_window}) {
            EXPECT_EQ(rig->state.report.mismatch_report, normal.state.report.mismatch_report);
            EXPECT_EQ(rig->state.image.flash, normal.state.image.flash);
            EXPECT_EQ(rig->state.image.eeprom, normal.state.image.eeprom);
            EXPECT_EQ(rig->state.image.config1, normal.state.image.config1);
            EXPECT_EQ(rig->state.image.config2, normal.state.image.config2);
            EXPECT_EQ(rig->state.image.user_ids, normal.state.image.user_ids);
        }
        EXPECT_EQ(window_result, normal_result);
        EXPECT_EQ(fast_window_result, normal_result);
        // Sending ahead, the host keeps the board busy but never beyond the window
        // (Program All and Erase All pause after every few commands), and every
        // answer is in before a pause or a voltage change.
        for (const Rig* rig : {&window, &fast_window}) {
            EXPECT_EQ(rig->host.unanswered_at_pause, 0U);
            EXPECT_EQ(rig->channel.unanswered_at_voltages, 0U);
            EXPECT_LE(rig->most_outstanding, static_cast<std::size_t>(kWindow));
            if (step.kind != OperationKind::Erase && step.kind != OperationKind::Program) {
                EXPECT_GT(rig->most_outstanding, static_cast<std::size_t>(kWindow / 2));
            }
        }
        if (normal.state.report.mismatch_count < kMismatchLimit) {
            EXPECT_EQ(window_bytes, normal_bytes);
            EXPECT_EQ(fast_window_bytes, fast_bytes);
        } else {
            // At the 25th mismatch the checking ends: the reads already sent ahead
            // are answered, then the script goes on to its "end" as lock-step does.
            const auto ends_alike = [](const Bytes& ahead, const Bytes& lock_step) {
                // A command is at most 3 bytes and asks for at least one answer.
                EXPECT_LE(ahead.size(), lock_step.size() + 3 * kWindow);
                const Bytes until_end(lock_step.begin(), lock_step.end() - 1);
                return ahead.size() >= lock_step.size() &&
                       std::equal(until_end.begin(), until_end.end(), ahead.begin()) &&
                       ahead.back() == board_command::kVoltagesOff;
            };
            EXPECT_TRUE(ends_alike(window_bytes, normal_bytes));
            EXPECT_TRUE(ends_alike(fast_window_bytes, fast_bytes));
        }
    }
    // The verify passed against the chip every link programmed, and the read gave the
    // file back (with the chip's own calibration word where the model keeps one).
    MemoryImage expected = written;
    if (const auto& calibration = normal.state.model.calibration_word) {
        expected.set_flash_word(calibration->address,
                                normal.board.chip().flash(calibration->address));
    }
    for (const Rig* rig : {&fast, &window, &fast_window}) {
        EXPECT_EQ(rig->state.image.flash, expected.flash);
        EXPECT_EQ(rig->state.image.eeprom, expected.eeprom);
        EXPECT_EQ(rig->state.image.user_ids, expected.user_ids);
    }
}

// The answer bytes the operation asks of the rig's chip as it stands (run on a copy).
std::uint64_t answers_of(const Rig& rig, OperationKind kind) {
    Rig copy(rig.state.model.model_name, rig.state.runner.fast_link, rig.state.runner.window);
    copy.board = rig.board;
    copy.state.image = rig.state.image;
    (void)copy.run(kind);
    return copy.channel.answers_produced();
}

// A wrong answer stream sending ahead: the operation fails, out of step or
// timed out, with the chip unpowered; never a result. Each fault falls in the
// middle of the operation, with the window full.
TEST(SendAheadFaultTest, LostDoubledOrNoisyAnswersFailTheOperation) {
    using Fault = std::optional<std::uint64_t> BoardFaults::*;
    const struct {
        const char* name;
        Fault fault;
        std::uint64_t answer;  // counted from the first answer of the operation
    } faults[] = {
        {"lost", &BoardFaults::drop_answer, 1001},
        {"doubled", &BoardFaults::duplicate_answer, 1001},
        {"noise", &BoardFaults::garbage_answer, 1001},
        {"lost late", &BoardFaults::drop_answer, 5000},
        {"doubled high byte", &BoardFaults::duplicate_answer, 1002},
        {"noise after the last", &BoardFaults::garbage_answer, 0},
    };
    for (const bool fast : {false, true}) {
        for (const OperationKind kind : {OperationKind::Verify, OperationKind::Read}) {
            for (const auto& fault : faults) {
                SCOPED_TRACE(std::string(fault.name) + (fast ? " fast " : " ") +
                             std::string(operation_name(kind)));
                Rig rig("PIC16F628A", fast, kWindow);
                rig.state.image = random_image(rig);
                const MemoryImage before = rig.state.image;
                (void)rig.run(OperationKind::Program);
                // The answers of the operation about to start, the last one included.
                BoardFaults faults;
                faults.*fault.fault = rig.channel.answers_produced() +
                                      (fault.answer != 0 ? fault.answer : answers_of(rig, kind));
                rig.channel.set_faults(faults);
                ASSERT_EQ(start_operation(rig.state, kind), StartResult::Started);
                rig.pump();
                if (rig.state.runner.running()) {
                    // Still waiting for an answer that never comes.
                    EXPECT_TRUE(check_timeout(rig.state, 1e9));
                    EXPECT_EQ(rig.host.status, kNotRespondingText);
                } else {
                    EXPECT_EQ(rig.host.status, kOutOfStepText);
                }
                EXPECT_TRUE(rig.state.operation_failed);
                EXPECT_FALSE(rig.board.voltages_on());
                if (rig.host.status == kOutOfStepText) {
                    EXPECT_EQ(rig.state.image.flash, before.flash);  // the read is undone
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(DeviceFile, FastLinkModelTest,
                         ::testing::ValuesIn(variants_and_families()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace corvanel
