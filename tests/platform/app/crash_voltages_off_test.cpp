// SPDX-License-Identifier: GPL-3.0-or-later
// The last way out with several boards open: the voltages-off bytes go to
// every open port, and never to one that was closed (its descriptor number
// may by then be another file's).

#include <gtest/gtest.h>

#if defined(__unix__) || defined(__APPLE__)

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "core/link/board_protocol.h"
#include "platform/app/crash_voltages_off.h"

namespace corvanel {
namespace {

std::vector<unsigned char> drain(int descriptor) {
    std::vector<unsigned char> bytes;
    unsigned char byte = 0;
    while (::read(descriptor, &byte, 1) == 1) {
        bytes.push_back(byte);
    }
    return bytes;
}

TEST(CrashVoltagesOff, EveryOpenPortAndNoClosedOne) {
    std::array<std::array<int, 2>, 4> boards{};
    for (auto& ends : boards) {
        ASSERT_EQ(::pipe(ends.data()), 0);
        ASSERT_EQ(::fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
        ASSERT_EQ(::fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
        add_crash_port_descriptor(ends[1]);
    }
    EXPECT_EQ(crash_port_count(), 4);
    const std::vector<unsigned char> off(board_command::kLongestCommandBytes,
                                         board_command::kVoltagesOff);
    write_voltages_off_to_port();
    for (const auto& ends : boards) {
        EXPECT_EQ(drain(ends[0]), off);
    }
    // The second board's port closes; the others stay open.
    remove_crash_port_descriptor(boards[1][1]);
    write_voltages_off_to_port();
    for (std::size_t n = 0; n < boards.size(); ++n) {
        EXPECT_EQ(drain(boards[n][0]), n == 1 ? std::vector<unsigned char>{} : off) << n;
    }
    for (const auto& ends : boards) {
        remove_crash_port_descriptor(ends[1]);
        ::close(ends[0]);
        ::close(ends[1]);
    }
    EXPECT_EQ(crash_port_count(), 0);
}

}  // namespace
}  // namespace corvanel

#endif
