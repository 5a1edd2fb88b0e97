// SPDX-License-Identifier: GPL-3.0-or-later
// The real board firmware on a simulated ATmega328P, with an emulated PIC on its
// ICSP pins: the byte protocol bit by bit, the five chip operations of the shipped
// models through the firmware, and firmware builds that break a time the chip needs.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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

// The same firmware at 250000 baud: the family runs take a quarter of the time.
const std::string kFastFirmware = kFirmwareDir + "/corvanel-board-328p-250k.elf";

std::unique_ptr<SimulatedBoard> board_with(const std::string& chip,
                                           const std::string& firmware = kFirmware,
                                           long baud = 56000) {
    std::string error;
    auto board = SimulatedBoard::load(firmware, *Pic14Chip::create(chip, 7), baud, error);
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

// One model of the shipped device database with its chip on the simulated board.
class ModelOnFirmware {
public:
    ModelOnFirmware(const std::string& name, const std::string& firmware = kFirmware,
                    long baud = 56000)
        : board_(board_with(name, firmware, baud)) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        if (board_) {
            channel_ = std::make_unique<SimulatedBoardChannel>(*board_);
            state.link.channel = channel_.get();
        }
        state.host = &host;
        state.link.port_ready = true;
    }

    [[nodiscard]] bool ready() const { return board_ != nullptr; }

    // The host loop: a notification while answers wait, else the host's clock moves on
    // (a second at a time) and the time-out is checked.
    std::string run(OperationKind kind) {
        host.messages.clear();
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        for (int idle = 0; state.runner.running() && idle < 20;) {
            if (channel_->receive_threshold() == 1 && channel_->has_waiting()) {
                state.link.MSComm1_OnComm();
                idle = 0;
            } else {
                host.now += 1.0;
                (void)check_timeout(state, host.now);
                ++idle;
            }
        }
        EXPECT_FALSE(state.runner.running()) << operation_name(kind) << " did not finish";
        board_->run_for(5000);
        std::fprintf(stderr, "TIMING %s %.3f s\n", std::string(operation_name(kind)).c_str(), board_->now_ns() / 1e9);
        EXPECT_FALSE(board_->voltages_on()) << operation_name(kind) << " left the voltages on";
        return host.status();
    }

    // A short program (so the loops stop early), a few EEPROM bytes, configuration
    // word 1 at random within the chip's bits with code protection off.
    void fill_image(std::uint32_t seed) {
        std::mt19937 random(seed);
        state.image.clear_image();
        for (std::int32_t a = 0; a < 40 && a < state.image.flash_size; ++a) {
            ASSERT_TRUE(state.image.set_flash_word(a, static_cast<std::int32_t>(random() & 0x3FFF)));
        }
        for (std::int32_t a = 0; a < 8 && a < state.image.eeprom_size; ++a) {
            ASSERT_TRUE(state.image.set_eeprom_byte(a, static_cast<std::int32_t>(random() & 0xFF)));
        }
        const ChipInfo& info = chip().info();
        const std::int32_t unprotected = chip().rules().cp_bits | chip().rules().cpd_bits;
        const std::int32_t word = static_cast<std::int32_t>(random() & 0x3FFF) | unprotected;
        state.image.config1 =
            (word & info.config1_mask) | (info.unimplemented_config_bits & ~info.config1_mask & 0x3FFF);
    }

    // The image as the chip holds it after a Program All: the chip's factory
    // calibration where the model keeps it.
    MemoryImage as_chip_holds(const MemoryImage& image) {
        MemoryImage expected = image;
        if (const auto& word = state.model.calibration_word) {
            expected.set_flash_word(word->address, chip().flash(word->address));
        }
        const std::int32_t bits = state.model.calibration_config_bits;
        expected.config1 = (image.config1 & ~bits) | (chip().config_word(1) & bits);
        return expected;
    }

    Pic14Chip& chip() { return board_->chip(); }
    SimulatedBoard& board() { return *board_; }

    test::RecordingHost host;
    ProgramState state;

private:
    std::unique_ptr<SimulatedBoard> board_;
    std::unique_ptr<SimulatedBoardChannel> channel_;
};

bool starts_with(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
}

// One model of every classic family (small members: the simulation runs the line
// and the programming times as they are).
class FirmwareFamilyTest : public ::testing::TestWithParam<std::string> {};

TEST_P(FirmwareFamilyTest, ProgramVerifyReadEraseBlankCheckThroughTheFirmware) {
    ModelOnFirmware bench(GetParam(), kFastFirmware, 250000);
    ASSERT_TRUE(bench.ready());
    // The fast link with a send-ahead window of 64: the firmware's buffer must hold
    // what the host sends ahead, and the line stays busy (the tests run quicker).
    bench.state.runner.fast_link = true;
    bench.state.runner.window = 64;
    bench.fill_image(static_cast<std::uint32_t>(GetParam().size()) * 7919u);
    const MemoryImage written = bench.as_chip_holds(bench.state.image);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "))
        << bench.host.status();
    for (std::int32_t a = 0; a < written.flash_size; ++a) {
        ASSERT_EQ(bench.chip().flash(a), written.flash[static_cast<std::size_t>(a)])
            << "FLASH word " << a;
    }
    for (std::int32_t a = 0; a < written.eeprom_size; ++a) {
        ASSERT_EQ(bench.chip().eeprom(a), written.eeprom[static_cast<std::size_t>(a)])
            << "EEPROM byte " << a;
    }
    EXPECT_EQ(bench.chip().config_word(1), written.config1);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "))
        << bench.host.status();
    EXPECT_TRUE(bench.host.messages.empty());

    bench.state.image.clear_image();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Read), "Chip read. ")) << bench.host.status();
    EXPECT_EQ(bench.state.image.flash, written.flash);
    EXPECT_EQ(bench.state.image.eeprom, written.eeprom);
    EXPECT_EQ(bench.state.image.config1, written.config1);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. ")) << bench.host.status();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. ")) << bench.host.status();
    EXPECT_EQ(bench.chip().flash(0), 0x3FFF);

    // The firmware kept every time the chip needs.
    EXPECT_EQ(fault_list(bench.board().pins()), "");
}

INSTANTIATE_TEST_SUITE_P(
    Families, FirmwareFamilyTest,
    ::testing::Values("PIC16F84A", "PIC16F627A", "PIC16F873A", "PIC16F87", "PIC16F818", "PIC12F629",
                      "PIC16F84", "PIC16F627", "PIC16F870", "PIC12F683", "PIC16F785", "PIC16F913",
                      "PIC16F882", "PIC12F609", "PIC16F716", "PIC16F72", "PIC16F737", "PIC16F722"),
    [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace corvanel
