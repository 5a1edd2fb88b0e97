// SPDX-License-Identifier: GPL-3.0-or-later
// The interpreter's progress texts as the terminal bar and the window's progress
// bar read them, and the time left they estimate from them.

#include <gtest/gtest.h>

#include "core/engine/progress_estimate.h"

namespace corvanel {
namespace {

TEST(ProgressEstimate, ReadsOnlyWholeCounts) {
    struct Case {
        const char* text;
        bool counted;
        char memory;
        long long done;
        long long total;
    };
    const Case cases[] = {
        {"F:120/2048", true, 'F', 120, 2048},
        {"E:128/128", true, 'E', 128, 128},
        {"F:0/1", true, 'F', 0, 1},
        {"CONF1:", false, 0, 0, 0},
        {"ID:", false, 0, 0, 0},
        {"F:5/0", false, 0, 0, 0},
        {"F:-1/8", false, 0, 0, 0},
        {"F:1/2 words", false, 0, 0, 0},
        {"Chip programmed. 1/2 seconds", false, 0, 0, 0},
        {"X:1/2", false, 0, 0, 0},
        {"F:/2", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto count = parse_progress(c.text);
        ASSERT_EQ(count.has_value(), c.counted) << c.text;
        if (count) {
            EXPECT_EQ(count->memory, c.memory) << c.text;
            EXPECT_EQ(count->done, c.done) << c.text;
            EXPECT_EQ(count->total, c.total) << c.text;
        }
    }
}

TEST(ProgressEstimate, TimeLeftFollowsThePaceOfTheCurrentLoop) {
    ProgressEstimate estimate;
    EXPECT_FALSE(estimate.seconds_left());
    // 100 words a second over FLASH: too early to tell, then 18.99 s for the 1899 left.
    estimate.note({'F', 1, 2000}, 10.0);
    estimate.note({'F', 3, 2000}, 10.02);
    EXPECT_FALSE(estimate.seconds_left()) << "a few hundredths of a second say nothing yet";
    estimate.note({'F', 101, 2000}, 11.0);
    ASSERT_TRUE(estimate.seconds_left());
    EXPECT_NEAR(*estimate.seconds_left(), 18.99, 0.001);
    // The EEPROM loop starts its own estimate at its own pace.
    estimate.note({'E', 1, 128}, 30.0);
    EXPECT_FALSE(estimate.seconds_left());
    estimate.note({'E', 65, 128}, 31.0);
    ASSERT_TRUE(estimate.seconds_left());
    EXPECT_NEAR(*estimate.seconds_left(), 63.0 / 64.0, 0.01);
    // A loop that begins again (a verify after the program) starts over too.
    estimate.note({'E', 2, 128}, 32.0);
    EXPECT_FALSE(estimate.seconds_left());
    estimate.reset();
    EXPECT_FALSE(estimate.seconds_left());
}

}  // namespace
}  // namespace corvanel
