// SPDX-License-Identifier: GPL-3.0-or-later
// The real board firmware on a simulated ATmega328P, with an emulated PIC on its
// ICSP pins: the byte protocol bit by bit, the five chip operations of the shipped
// models through the firmware, and firmware builds that break a time the chip needs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "board/icsp_pins.h"
#include "board/simavr_board.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "support/engine_fakes.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

const std::string kFirmwareDir = CORVANEL_FIRMWARE_DIR;
const std::string kFirmware = kFirmwareDir + "/corvanel-board-328p.elf";

std::unique_ptr<SimulatedBoard> board_with(const std::string& chip,
                                           const std::string& firmware = kFirmware) {
    std::string error;
    auto board = SimulatedBoard::load(firmware, *Pic14Chip::create(chip, 7), 56000, error);
    EXPECT_TRUE(board) << error;
    if (board) {
        board->run_for(2000);  // the firmware starts up
    }
    return board;
}

std::string fault_list(IcspPins& pins) {
    std::string text;
    for (const auto& fault : pins.faults()) {
        text += std::to_string(fault.at_ns) + " ns: " + fault.what + "\n";
    }
    return text;
}

// Sends the bytes and collects `count` answer bytes (or what came within 50 ms).
std::vector<std::uint8_t> exchange(SimulatedBoard& board, const std::vector<std::uint8_t>& bytes,
                                   std::size_t count) {
    for (const auto byte : bytes) {
        board.send(byte);
    }
    std::vector<std::uint8_t> answers;
    while (answers.size() < count && board.run_until_answer(50'000)) {
        const auto got = board.take_answers();
        answers.insert(answers.end(), got.begin(), got.end());
    }
    board.run_for(1000);
    const auto late = board.take_answers();
    answers.insert(answers.end(), late.begin(), late.end());
    return answers;
}

TEST(SimulatedFirmware, SpeaksTheByteProtocolBitByBit) {
    auto board = board_with("PIC16F628A");
    ASSERT_TRUE(board);
    using Bytes = std::vector<std::uint8_t>;
    // No-operation; a byte that is no command is ignored without an answer; an
    // extension the board lacks is answered and does nothing.
    EXPECT_EQ(exchange(*board, {100, 7, 200, 100}, 2), (Bytes{100, 100}));
    EXPECT_EQ(exchange(*board, {104, 0x42}, 1), (Bytes{104}));
    EXPECT_FALSE(board->voltages_on());

    // Vpp first; load 2ABCh at program word 0, program it (4 ms), read it back.
    EXPECT_EQ(exchange(*board, {102}, 1), (Bytes{102}));
    EXPECT_TRUE(board->chip().in_programming_mode());
    EXPECT_EQ(exchange(*board, {104, 0x02, 105, 0xBC, 0x2A, 104, 0x08}, 3), (Bytes{104, 105, 104}));
    board->run_for(6000);
    EXPECT_EQ(exchange(*board, {104, 0x04, 106}, 4), (Bytes{104, 0xBC, 0x2A, 106}));
    EXPECT_EQ(board->chip().flash(0), 0x2ABC);
    // The next word is blank; the data line comes back to the board after the frame.
    EXPECT_EQ(exchange(*board, {104, 0x06, 104, 0x04, 106}, 5), (Bytes{104, 104, 0xFF, 0x3F, 106}));
    // Configuration space: the device ID of a 16F628A.
    EXPECT_EQ(exchange(*board, {104, 0x00, 105, 0xFF, 0x3F}, 2), (Bytes{104, 105}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(exchange(*board, {104, 0x06}, 1), (Bytes{104}));
    }
    EXPECT_EQ(exchange(*board, {104, 0x04, 106}, 4), (Bytes{104, 0x60, 0x10, 106}));
    EXPECT_EQ(exchange(*board, {103}, 1), (Bytes{103}));
    EXPECT_FALSE(board->voltages_on());
    EXPECT_FALSE(board->chip().powered());
    EXPECT_EQ(fault_list(board->pins()), "");
}

}  // namespace
}  // namespace corvanel
