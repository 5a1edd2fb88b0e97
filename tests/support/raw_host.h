// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drives a virtual board with the raw protocol bytes a host would send, checking
// that every command is answered with the right number of bytes.
//
// The chip on the board keeps its own clock. By default the host is patient: after
// every chip command it waits longer than any programming or erase cycle takes, so
// tests about what the commands do need not count milliseconds. A host made with a
// pause of 0 waits only where it calls pause(), as a real algorithm does.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "board/virtual_board.h"

namespace corvanel::test {

class RawHost {
public:
    static constexpr int kPatientMs = 50;

    explicit RawHost(VirtualBoard& board, int pause_after_command_ms = kPatientMs)
        : board_(board), pause_ms_(pause_after_command_ms) {}

    void pause(int milliseconds) {
        board_.advance_time(static_cast<std::uint64_t>(milliseconds) * 1000U);
    }

    void voltages_on(VoltageSequence order) {
        expect_answers({order == VoltageSequence::VddFirst ? std::uint8_t{101} : std::uint8_t{102}},
                       1);
    }
    void voltages_off() { expect_answers({103}, 1); }
    void command(std::uint8_t code) {
        expect_answers({104, code}, 1);
        pause(pause_ms_);
    }
    void data(std::uint16_t word) {
        expect_answers(
            {105, static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)}, 1);
    }
    void load(std::uint8_t code, std::uint16_t word) {
        command(code);
        data(word);
    }
    void increment(int times = 1) {
        for (int i = 0; i < times; ++i) {
            command(0x06);
        }
    }
    std::uint16_t read(std::uint8_t code) {
        command(code);
        const std::vector<std::uint8_t> answer = board_.feed(106);
        EXPECT_EQ(answer.size(), 3U);
        if (answer.size() != 3) {
            return 0xFFFF;
        }
        return static_cast<std::uint16_t>(answer[0] | (answer[1] << 8));
    }
    // Re-entering programming mode is the only way back from configuration space to 0.
    void reenter(VoltageSequence order = VoltageSequence::VppFirst) {
        voltages_off();
        voltages_on(order);
    }

private:
    void expect_answers(std::vector<std::uint8_t> bytes, std::size_t expected) {
        std::size_t answers = 0;
        for (const std::uint8_t b : bytes) {
            answers += board_.feed(b).size();
        }
        EXPECT_EQ(answers, expected) << "command " << int(bytes[0]);
    }

    VirtualBoard& board_;
    int pause_ms_;
};

}  // namespace corvanel::test
