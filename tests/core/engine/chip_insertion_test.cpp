// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/chip_insertion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvanel {
namespace {

// The 16F628A: ID 1060h, revision in the low five bits.
constexpr DeviceIdKey k628A{0x1060, 0x3FE0};
constexpr std::int32_t kEmpty = 0x3FFF;

// A fake socket read at each poll: the word it answers, poll by poll. The loop
// is the one the tool and the window run: read, hand the word to the watch,
// program on ChipInserted. Answers the polls at which a chip was programmed.
std::vector<int> run(const std::vector<std::int32_t>& socket, bool passes = true) {
    ChipInsertionWatch watch(k628A);
    std::vector<int> programmed;
    for (std::size_t poll = 0; poll < socket.size(); ++poll) {
        if (watch.poll_result(socket[poll]) == SocketEvent::ChipInserted) {
            EXPECT_EQ(watch.phase(), ChipInsertionWatch::Phase::ChipReady);
            programmed.push_back(static_cast<int>(poll));
            watch.chip_done(passes);
        }
    }
    EXPECT_EQ(watch.passed() + watch.failed(), static_cast<std::int64_t>(programmed.size()));
    return programmed;
}

std::vector<std::int32_t> repeated(std::int32_t word, int polls) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(polls), word);
}

std::vector<std::int32_t> joined(std::initializer_list<std::vector<std::int32_t>> parts) {
    std::vector<std::int32_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(ChipInsertion, EachChipIsProgrammedOnceBetweenItsInsertionAndItsRemoval) {
    const struct {
        const char* what;
        std::vector<std::int32_t> socket;
        std::vector<int> programmed;
    } cases[] = {
        {"an empty socket", repeated(kEmpty, 20), {}},
        {"0000h is empty too", repeated(0x0000, 20), {}},
        {"a chip left in the socket for a long time",
         joined({repeated(kEmpty, 3), repeated(0x1062, 50)}),
         {4}},
        {"three chips swapped in",
         joined({repeated(0x1062, 4), repeated(kEmpty, 3), repeated(0x1063, 4), repeated(kEmpty, 2),
                 repeated(0x1062, 3)}),
         {1, 8, 14}},
        // Contacts that touch one by one: a garbled read, then the chip's own ID.
        {"a bouncing insertion",
         joined({{kEmpty, 0x0040, kEmpty, 0x1062, 0x1040}, repeated(0x1062, 5)}),
         {6}},
        // One empty read while the chip sits crooked is no removal.
        {"a single empty read is no removal",
         joined({repeated(0x1062, 3),
                 {kEmpty},
                 repeated(0x1062, 5),
                 repeated(kEmpty, 2),
                 repeated(0x1062, 2)}),
         {1, 12}},
        // A read that failed (-1) counts neither for the chip nor for the socket.
        {"failed reads in between",
         {0x1062, -1, 0x1062, -1, kEmpty, -1, kEmpty, 0x1062, 0x1062},
         {2, 8}},
        // Another model's chip is refused and must leave before the next one counts.
        {"a wrong chip, then the right one",
         joined({repeated(0x0D00, 6), repeated(kEmpty, 2), repeated(0x1061, 2)}),
         {9}},
        {"a wrong chip swapped straight for the right one without an empty read",
         joined({repeated(0x0D00, 3), repeated(0x1061, 6)}),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run(c.socket), c.programmed);
        EXPECT_EQ(run(c.socket, false), c.programmed);  // a failed chip is not retried either
    }
}

TEST(ChipInsertion, EventsPromptsAndSummary) {
    ChipInsertionWatch watch(k628A);
    EXPECT_EQ(insertion_prompt(watch.phase(), "PIC16F628A"), "Insert a PIC16F628A.");
    EXPECT_EQ(watch.poll_result(0x0D00), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(0x0D00), SocketEvent::WrongChip);
    EXPECT_EQ(watch.chip_word(), 0x0D00);
    EXPECT_EQ(insertion_prompt(watch.phase(), "PIC16F628A"), "Remove the chip.");
    watch.chip_done(true);  // nothing was inserted: not counted
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::ChipRemoved);
    EXPECT_EQ(watch.poll_result(0x1062), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(0x1062), SocketEvent::ChipInserted);
    EXPECT_EQ(insertion_prompt(watch.phase(), "PIC16F628A"), "Programming the PIC16F628A.");
    // Reads while the chip is being programmed change nothing.
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::None);
    watch.chip_done(false);
    EXPECT_EQ(repeat_summary_text(watch), "Repeat ended: 1 chip, 0 passed, 1 failed.");

    // A chip cancelled at a question is counted neither way, waits for its
    // removal like any other, and the summary says so.
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(kEmpty), SocketEvent::ChipRemoved);
    EXPECT_EQ(watch.poll_result(0x1062), SocketEvent::None);
    EXPECT_EQ(watch.poll_result(0x1062), SocketEvent::ChipInserted);
    watch.chip_cancelled();
    EXPECT_EQ(insertion_prompt(watch.phase(), "PIC16F628A"), "Remove the chip.");
    watch.chip_cancelled();  // counted once
    EXPECT_EQ(watch.passed() + watch.failed(), 1);
    EXPECT_EQ(repeat_summary_text(watch),
              "Repeat ended: 2 chips, 0 passed, 1 failed, 1 cancelled.");

    EXPECT_EQ(repeat_refusal(k628A, "PIC16F628A", false, true), std::nullopt);
    EXPECT_EQ(repeat_refusal(k628A, "PIC16F628A", true, false), std::nullopt);
    EXPECT_NE(repeat_refusal(k628A, "PIC16F628A", false, false), std::nullopt);
    const auto no_id = repeat_refusal(std::nullopt, "PIC16F84", true, true);
    ASSERT_TRUE(no_id.has_value());
    EXPECT_EQ(no_id->rfind("PIC16F84 has no device ID", 0), 0U);
}

}  // namespace
}  // namespace corvanel
