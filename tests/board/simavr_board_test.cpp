// SPDX-License-Identifier: GPL-3.0-or-later
// The real board firmware on a simulated ATmega328P, with an emulated PIC on its
// ICSP pins: the byte protocol bit by bit, the five chip operations of the shipped
// models through the firmware, and firmware builds that break a time the chip needs.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board/board_eeprom_file.h"
#include "board/chip_state_file.h"
#include "board/eight_bit_session.h"
#include "board/icsp_pins.h"
#include "board/simavr_board.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "core/link/board_protocol.h"
#include "support/cut_short_commands.h"
#include "support/engine_fakes.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

const std::string kFirmwareDir = CORVANEL_FIRMWARE_DIR;
const std::string kFirmware = kFirmwareDir + "/corvanel-board-328p.elf";

// The same firmware at 250000 baud: the family runs take a quarter of the time.
const std::string kFastFirmware = kFirmwareDir + "/corvanel-board-328p-250k.elf";

using Bytes = std::vector<std::uint8_t>;

const Bytes kBanner(board_identity::kBanner, board_identity::kBanner + board_identity::kBannerSize);

// What the firmware sends on its own after reset, up to the banner's length.
Bytes bytes_after_reset(SimulatedBoard& board) {
    Bytes got = board.take_start_bytes();
    board.run_for(5000);  // and nothing more
    const auto more = board.take_answers();
    got.insert(got.end(), more.begin(), more.end());
    return got;
}

// The Vpp level for a chip, as a host picks it: the nominal deepest inside its window.
std::uint8_t level_for(const ChipInfo& info) {
    constexpr std::uint8_t kCodes[] = {board_extension::kVppLow, board_extension::kVppMiddle,
                                       board_extension::kVppHigh};
    std::uint8_t best = kCodes[0];
    double margin = 0;
    for (int i = 0; i < 3; ++i) {
        const double nominal = SimulatedBoard::kLevelVolts[i];
        const double m = std::min(nominal - info.vpp_min_volts, info.vpp_max_volts - nominal);
        if (m > margin) {
            margin = m;
            best = kCodes[i];
        }
    }
    return best;
}

// A board whose firmware has started and sent its banner, which is taken, with the
// Vpp level for its chip selected.
std::unique_ptr<SimulatedBoard> board_with(const std::string& chip,
                                           const std::string& firmware = kFirmware,
                                           long baud = 56000) {
    std::string error;
    auto board = SimulatedBoard::load(firmware, *Pic14Chip::create(chip, 7), baud, error);
    EXPECT_TRUE(board) << error;
    if (board) {
        EXPECT_EQ(bytes_after_reset(*board), kBanner);
        board->send(board_command::kChipCommand);
        board->send(level_for(board->chip().info()));
        EXPECT_TRUE(board->run_until_answer(200'000));
        EXPECT_EQ(board->take_answers(), std::vector<std::uint8_t>{board_command::kChipCommand});
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
    // No-operation; a byte that is no command is ignored without an answer; an
    // extension the board lacks is answered and does nothing.
    EXPECT_EQ(exchange(*board, {100, 7, 200, 100}, 2), (Bytes{100, 100}));
    EXPECT_EQ(exchange(*board, {104, 0x45}, 1), (Bytes{104}));
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
        EXPECT_FALSE(board_->voltages_on()) << operation_name(kind) << " left the voltages on";
        return host.status();
    }

    // A short program (so the loops stop early), a few EEPROM bytes, configuration
    // word 1 at random within the chip's bits with code protection off.
    void fill_image(std::uint32_t seed) {
        std::mt19937 random(seed);
        state.image.clear_image();
        for (std::int32_t a = 0; a < 40 && a < state.image.flash_size; ++a) {
            ASSERT_TRUE(
                state.image.set_flash_word(a, static_cast<std::int32_t>(random() & 0x3FFF)));
        }
        for (std::int32_t a = 0; a < 8 && a < state.image.eeprom_size; ++a) {
            ASSERT_TRUE(state.image.set_eeprom_byte(a, static_cast<std::int32_t>(random() & 0xFF)));
        }
        const ChipInfo& info = chip().info();
        const std::int32_t unprotected = chip().rules().cp_bits | chip().rules().cpd_bits;
        const std::int32_t word = static_cast<std::int32_t>(random() & 0x3FFF) | unprotected;
        state.image.config1 = (word & info.config1_mask) |
                              (info.unimplemented_config_bits & ~info.config1_mask & 0x3FFF);
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
    // The board comes up at 3.3 V; the LF parts stay there, the others get 5 V.
    const bool lf = IcspPins::absolute_max_vdd_millivolts(bench.chip().info()) < 5000;
    EXPECT_EQ(bench.board().vdd_selected_millivolts(), 3300);
    if (!lf) {
        EXPECT_EQ(
            exchange(bench.board(), {board_command::kChipCommand, board_extension::kVdd5V}, 1),
            Bytes{board_command::kChipCommand});
    }
    const int vdd = lf ? 3300 : 5000;

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

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "))
        << bench.host.status();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "))
        << bench.host.status();
    EXPECT_EQ(bench.chip().flash(0), 0x3FFF);

    // The firmware kept every time the chip needs, at the Vdd chosen above.
    EXPECT_EQ(fault_list(bench.board().pins()), "");
    EXPECT_EQ(bench.board().pins().vdd_millivolts(), vdd);
    const auto& holds = bench.board().pins().entry_holds_ns();
    ASSERT_FALSE(holds.empty());
    const auto [shortest, longest] = std::minmax_element(holds.begin(), holds.end());
    EXPECT_GE(*shortest, IcspPins::kEntryHoldNs);
    std::cout << "[ hold     ] " << GetParam() << " at " << vdd << " mV: " << holds.size()
              << " entries, " << *shortest << " to " << *longest << " ns\n";
}

// Every family; under the sanitizers one family of each way the firmware drives the
// pins (Vdd or Vpp first, 3.3 V, a kept calibration, the enhanced parts, the Load PC
// of the 16F183xx): their memories and algorithms already ran in-process there.
std::vector<std::string> firmware_families() {
    if (test::narrow_model_sets()) {
        return {"PIC16F84A", "PIC16F627A", "PIC12F629", "PIC16F1454", "PIC16LF1554", "PIC16F18313"};
    }
    return {"PIC16F84A", "PIC16F627A", "PIC16F873A", "PIC16F87", "PIC16F818", "PIC12F629",
            "PIC16F84", "PIC16F627", "PIC16F870", "PIC12F683", "PIC16F785", "PIC16F913",
            "PIC16F882", "PIC12F609", "PIC16F716", "PIC16F72", "PIC16F737", "PIC16F722",
            // The enhanced mid-range families, the 16F183xx with their Load PC.
            "PIC16F1454", "PIC12F1501", "PIC16F1512", "PIC12LF1552", "PIC16LF1554", "PIC16LF1566",
            "PIC12F1571", "PIC16F1574", "PIC12F1612", "PIC16F1703", "PIC16F1713", "PIC16F1764",
            "PIC16F1773", "PIC16F1782", "PIC12F1822", "PIC12F1840", "PIC16F1933", "PIC16F18313"};
}

INSTANTIATE_TEST_SUITE_P(Families, FirmwareFamilyTest, ::testing::ValuesIn(firmware_families()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// The lock-step path at the default 56000 baud: a 16F627A programmed with a
// full-size image and verified (the one full-size run: some 10 s of simulated time).
TEST(SimulatedFirmware, LockStepProgramAllAndVerifyOfAFullImage) {
    ModelOnFirmware bench("PIC16F627A");
    ASSERT_TRUE(bench.ready());
    bench.state.runner.fast_link = true;
    std::mt19937 random(627);
    for (std::int32_t a = 0; a < bench.state.image.flash_size; ++a) {
        ASSERT_TRUE(
            bench.state.image.set_flash_word(a, static_cast<std::int32_t>(random() & 0x3FFF)));
    }
    bench.state.image.config1 = 0x3F72;
    const MemoryImage written = bench.state.image;
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "))
        << bench.host.status();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "))
        << bench.host.status();
    for (std::int32_t a = 0; a < written.flash_size; ++a) {
        ASSERT_EQ(bench.chip().flash(a), written.flash[static_cast<std::size_t>(a)]) << a;
    }
    EXPECT_EQ(fault_list(bench.board().pins()), "");
}

// The firmware takes a 103 that comes where it waits for data as data: three of
// them, as a host sends when it gives an operation up, switch it off whatever
// command the line cut short.
TEST(SimulatedFirmware, ThreeVoltagesOffBytesSwitchOffWhateverCommandWasCutShort) {
    for (const test::CutShortCommand& c : test::cut_short_commands()) {
        SCOPED_TRACE(c.name);
        auto board = board_with("PIC16F628A");
        ASSERT_TRUE(board);
        ASSERT_EQ(exchange(*board, {101}, 1), Bytes{101});
        Bytes sent = c.sent;
        sent.insert(sent.end(), {103, 103, 103});
        EXPECT_EQ(exchange(*board, sent, c.answers.size()), c.answers);
        EXPECT_FALSE(board->voltages_on());
        EXPECT_EQ(fault_list(board->pins()), "");
    }
}

// The board extensions: 40h clocks the low-voltage key with Vdd on and MCLR low
// (Vpp never), 41h sends 1Dh and makes the next data word a 24-clock frame.
TEST(SimulatedFirmware, LowVoltageKeyAndLoadPcExtensions) {
    auto board = board_with("PIC16F628A");
    ASSERT_TRUE(board);
    std::vector<std::uint32_t> keys;
    std::vector<std::uint32_t> frames;
    board->pins().on_lvp_key = [&](std::uint32_t key) { keys.push_back(key); };
    board->pins().on_load_pc = [&](std::uint32_t frame) { frames.push_back(frame); };

    EXPECT_EQ(exchange(*board, {104, 0x40}, 1), (Bytes{104}));
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{0x4D434850}));
    EXPECT_TRUE(board->voltages_on());
    // MCLR stayed low and a classic 16F628A knows no key: Vdd alone, no programming mode.
    EXPECT_FALSE(board->chip().in_programming_mode());
    EXPECT_EQ(exchange(*board, {104, 0x41, 105, 0x34, 0x12}, 2), (Bytes{104, 105}));
    EXPECT_EQ(frames, (std::vector<std::uint32_t>{0x1234u << 1}));
    // A plain data word after that is a 16-clock frame again: no second 24-clock frame.
    EXPECT_EQ(exchange(*board, {105, 0x01, 0x00, 103}, 2), (Bytes{105, 103}));
    EXPECT_EQ(frames.size(), 1U);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_EQ(fault_list(board->pins()), "");
}

// The 8-bit command set through the firmware, bit by bit: the session of the virtual
// board's test (eight_bit_board_test.cpp), each family once, high voltage and the
// MSb-first key, with every time the chip needs kept and no faults.
TEST(SimulatedFirmware, EightBitSessionOfEveryFamily) {
    for (const bool low_voltage : {false, true}) {
        for (const std::string& name : test::eight_bit_session_chips()) {
            SCOPED_TRACE(name + (low_voltage ? " low voltage" : " high voltage"));
            auto board = board_with(name, kFastFirmware, 250000);
            ASSERT_TRUE(board);
            const auto session = test::eight_bit_session(board->chip().info(), low_voltage);
            std::size_t step_number = 0;
            for (const auto& step : session.steps) {
                ASSERT_EQ(exchange(*board, step.send, step.answers.size()), step.answers)
                    << "step " << step_number;
                board->run_for(step.wait_us);
                ++step_number;
            }
            EXPECT_FALSE(board->voltages_on());
            EXPECT_EQ(board->chip().flash(3), session.flash[3]);
            EXPECT_EQ(fault_list(board->pins()), "");
            EXPECT_EQ(board->chip().faults(), std::vector<std::string>{});
            EXPECT_EQ(board->pins().lvp_keys_seen(), low_voltage ? 1 : 0);
        }
    }
}

// Low-voltage entry through the firmware: MCLR stays low, the board clocks the key,
// and the enhanced chip is programmed and verified without any Vpp.
TEST(SimulatedFirmware, LowVoltageEntryProgramsAnEnhancedChip) {
    ModelOnFirmware bench("PIC12F1822", kFastFirmware, 250000);
    ASSERT_TRUE(bench.ready());
    bench.state.programming_entry = ProgrammingEntry::LowVoltage;
    bench.fill_image(1822u);
    const MemoryImage written = bench.as_chip_holds(bench.state.image);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "))
        << bench.host.status();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "))
        << bench.host.status();
    EXPECT_EQ(bench.chip().flash(0), written.flash[0]);
    EXPECT_GE(bench.board().pins().lvp_keys_seen(), 2);
    EXPECT_EQ(fault_list(bench.board().pins()), "");
}

// A host that goes silent with the voltages on: the board switches them off itself
// (a build with a 100 ms time-out instead of 10 s, so the test is quick).
TEST(SimulatedFirmware, ASilentHostGetsItsVoltagesSwitchedOff) {
    auto board = board_with("PIC16F628A", kFirmwareDir + "/corvanel-board-328p-short-silence.elf");
    ASSERT_TRUE(board);
    EXPECT_EQ(exchange(*board, {102}, 1).size(), 1U);
    board->run_for(60'000);
    EXPECT_TRUE(board->chip().in_programming_mode());
    board->run_for(80'000);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_FALSE(board->chip().powered());
    // And it still answers.
    EXPECT_EQ(exchange(*board, {100}, 1), (std::vector<std::uint8_t>{100}));
}

// Firmware builds that break one time each: the chip notices.
TEST(SimulatedFirmware, AClockTooFastForTheChipIsCaught) {
    ModelOnFirmware bench("PIC16F627A", kFirmwareDir + "/corvanel-board-328p-fast-clock.elf");
    ASSERT_TRUE(bench.ready());
    for (std::int32_t a = 0; a < 8; ++a) {
        ASSERT_TRUE(bench.state.image.set_flash_word(a, 0x1555 + a));
    }
    (void)bench.run(OperationKind::Program);
    const std::string faults = fault_list(bench.board().pins());
    EXPECT_NE(faults.find("PGC high for only 62 ns"), std::string::npos) << faults;
}

TEST(SimulatedFirmware, VddFirstEntryKeepsTheWindowOfThe16F818) {
    // The firmware raises Vpp 50 us after Vdd: inside the 16F818's 250 us.
    auto good = board_with("PIC16F818");
    ASSERT_TRUE(good);
    EXPECT_EQ(exchange(*good, {101}, 1), (Bytes{101}));
    EXPECT_TRUE(good->chip().in_programming_mode());
    EXPECT_EQ(fault_list(good->pins()), "");

    // 400 us is too late: the chip runs its program, reads give 0.
    auto late = board_with("PIC16F818", kFirmwareDir + "/corvanel-board-328p-late-vpp.elf");
    ASSERT_TRUE(late);
    EXPECT_EQ(exchange(*late, {101}, 1), (Bytes{101}));
    EXPECT_FALSE(late->chip().in_programming_mode());
    EXPECT_NE(fault_list(late->pins()).find("after Vdd (the chip needs it within 250000 ns)"),
              std::string::npos);
    EXPECT_EQ(exchange(*late, {104, 0x04, 106}, 4), (Bytes{104, 0, 0, 106}));
    // Vpp first needs no window.
    late->pins().clear_faults();
    EXPECT_EQ(exchange(*late, {102}, 1), (Bytes{102}));
    EXPECT_TRUE(late->chip().in_programming_mode());
    EXPECT_EQ(fault_list(late->pins()), "");
}

std::uint16_t field(const Bytes& record, std::size_t at) {
    return static_cast<std::uint16_t>(record.at(at) | (record.at(at + 1) << 8));
}

// Identify and wait for its record: the version-2 record and 107.
Bytes identify(SimulatedBoard& board) {
    return exchange(board, {board_command::kIdentify}, board_identity::kRecordSize2 + 1);
}

// The banner comes first after reset; identify reports the board with its rails
// measured through the ADC; Vdd select works only with the voltages off; with the
// voltages off the chip commands are answered and nothing is clocked.
TEST(SimulatedFirmware, BannerIdentifyVddSelectAndNoClocksWithoutVoltages) {
    namespace id = board_identity;
    std::string error;
    auto board = SimulatedBoard::load(kFirmware, *Pic14Chip::create("PIC16F628A", 7), 56000, error);
    ASSERT_TRUE(board) << error;
    EXPECT_EQ(bytes_after_reset(*board), kBanner);
    EXPECT_EQ(kBanner,
              (Bytes{0x0D, 0x0A, 'C', 'O', 'R', 'V', 'A', 'N', 'E', 'L', ' ', '1', 0x0D, 0x0A}));

    Bytes record = identify(*board);
    ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
    EXPECT_EQ(record[id::kVersionAt], id::kVersion2);
    // 40h-44h, 108-110, Vpp and Vdd measured, levels, calibration, the chip's Vdd,
    // blocks, the line rates 250k, 500k and 1M, and the board-timed wait.
    EXPECT_EQ(field(record, id::kFeaturesAt), 0x1FFF);
    EXPECT_EQ(field(record, id::kReceiveBufferAt), 255);
    EXPECT_EQ(field(record, id::kVddSelectedAt), 3300);
    EXPECT_NEAR(field(record, id::kVddMeasuredAt), 3300, 20);
    // After reset: the low level, no calibration, nothing refused or measured yet.
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 8700, 30);
    EXPECT_EQ(record[id::kVppLevelAt], id::kLevelLow);
    EXPECT_EQ(record[id::kStatusAt], 0);
    EXPECT_EQ(record[id::kRefusalAt], id::kRefusedNone);
    EXPECT_EQ(field(record, id::kTargetVddAt), 0);
    EXPECT_EQ(record[id::kLineRatesAt], 0x1C);
    EXPECT_EQ(record.back(), board_command::kIdentify);

    // 5 V, measured at once; a select with the voltages on changes nothing, and the
    // chip's Vdd is measured at voltages-on.
    EXPECT_EQ(exchange(*board, {104, board_extension::kVppMiddle, 104, board_extension::kVdd5V}, 2),
              (Bytes{104, 104}));
    EXPECT_EQ(board->vdd_selected_millivolts(), 5000);
    EXPECT_EQ(
        exchange(*board, {102, 104, board_extension::kVdd3V3, 104, board_extension::kVppLow}, 3),
        (Bytes{102, 104, 104}));
    EXPECT_EQ(board->vdd_selected_millivolts(), 5000);
    EXPECT_EQ(board->vpp_level(), 1);
    EXPECT_EQ(board->pins().vdd_millivolts(), 5000);
    EXPECT_TRUE(board->chip().in_programming_mode());
    // Identify switches the voltages off before it measures.
    record = identify(*board);
    ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_EQ(field(record, id::kVddSelectedAt), 5000);
    EXPECT_NEAR(field(record, id::kVddMeasuredAt), 5000, 20);
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 11500, 40);
    EXPECT_EQ(record[id::kVppLevelAt], id::kLevelMiddle);
    EXPECT_NEAR(field(record, id::kTargetVddAt), 5000, 60);
    EXPECT_EQ(exchange(*board, {104, board_extension::kVdd3V3}, 1), Bytes{104});
    EXPECT_EQ(board->vdd_selected_millivolts(), 3300);

    // Voltages off: answered, 3FFFh read, nothing written into the chip, no pin moved.
    const std::uint16_t before = board->chip().flash(0);
    EXPECT_EQ(exchange(*board,
                       {104, 0x02, 105, 0x55, 0x15, 104, 0x08, 104, 0x04, 106, 104,
                        board_extension::kLoadPcAddress, 105, 0x01, 0x00},
                       10),
              (Bytes{104, 105, 104, 104, 0xFF, 0x3F, 106, 104, 105}));
    board->run_for(10'000);
    EXPECT_EQ(board->chip().flash(0), before);
    EXPECT_EQ(fault_list(board->pins()), "");
}

// Each Vpp level moves the rail to its nominal, identify reports it, and a chip
// whose window holds it enters programming mode there and takes a word.
TEST(SimulatedFirmware, EachVppLevelProgramsAChipOfItsWindow) {
    namespace id = board_identity;
    struct Case {
        const char* chip;
        std::uint8_t code;
        std::uint8_t level;
        int millivolts;
    };
    for (const Case& c : {Case{"PIC16F1847", board_extension::kVppLow, id::kLevelLow, 8700},
                          Case{"PIC16F785", board_extension::kVppMiddle, id::kLevelMiddle, 11500},
                          Case{"PIC16F84A", board_extension::kVppHigh, id::kLevelHigh, 13000}}) {
        SCOPED_TRACE(c.chip);
        auto board = board_with(c.chip);
        ASSERT_TRUE(board);
        EXPECT_EQ(exchange(*board, {104, c.code, 104, board_extension::kVdd5V}, 2),
                  (Bytes{104, 104}));
        const Bytes record = identify(*board);
        ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
        EXPECT_EQ(record[id::kVppLevelAt], c.level);
        EXPECT_NEAR(field(record, id::kVppMeasuredAt), c.millivolts, c.millivolts / 50);
        EXPECT_DOUBLE_EQ(board->vpp_supply(), c.millivolts / 1000.0);
        // Vpp first, 5 V; a word programmed at address 0 and read back.
        EXPECT_EQ(exchange(*board, {102, 104, 0x02, 105, 0x34, 0x12, 104, 0x08}, 4),
                  (Bytes{102, 104, 105, 104}));
        board->run_for(10'000);
        EXPECT_EQ(exchange(*board, {104, 0x04, 106, 103}, 5), (Bytes{104, 0x34, 0x12, 106, 103}));
        EXPECT_EQ(board->chip().flash(0), 0x1234);
        EXPECT_EQ(fault_list(board->pins()), "");
    }
}

// The board checks its own rails before every voltages-on and the chip's Vdd just
// after it: a forced Vpp outside the selected level, a Vdd rail that is not the
// selected one (a failed regulator at 8 V, or 3.3 V selected while the rail is
// still at 5 V), a chip's Vdd from elsewhere. Each is refused without an answer,
// with the voltages off and no fault in the chip; identify names the reason once.
TEST(SimulatedFirmware, VoltagesOnIsRefusedOutsideTheRailsWithTheReason) {
    namespace id = board_identity;
    struct Case {
        const char* what;
        const char* chip;
        std::uint8_t vdd;  // 43h or 44h
        double vpp;        // 0: the level's own rail
        int vdd_rail_mv;   // 0: the selected rail
        int target_mv;     // 0: the switched rail
        std::uint8_t refusal;
    };
    const Case cases[] = {
        {"13 V on the low level", "PIC16F1847", board_extension::kVdd5V, 13.0, 0, 0,
         id::kRefusedVppHigh},
        {"7.5 V on the low level", "PIC16F1847", board_extension::kVdd5V, 7.5, 0, 0,
         id::kRefusedVppLow},
        {"the Vdd rail at 8 V", "PIC16F628A", board_extension::kVdd5V, 0, 8000, 0,
         id::kRefusedVddRail},
        {"3.3 V selected, the rail at 5 V", "PIC16LF1554", board_extension::kVdd3V3, 0, 5000, 0,
         id::kRefusedVddRail},
        {"3.3 V selected, the chip at 5 V", "PIC16LF1554", board_extension::kVdd3V3, 0, 0, 5000,
         id::kRefusedTargetVdd},
        {"5 V selected, no Vdd at the chip", "PIC16F628A", board_extension::kVdd5V, 0, 0, 1,
         id::kRefusedTargetVdd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto board = board_with(c.chip);
        ASSERT_TRUE(board);
        EXPECT_EQ(exchange(*board, {104, c.vdd}, 1), Bytes{104});
        if (c.vpp > 0) {
            board->set_vpp_supply(c.vpp);
        }
        if (c.vdd_rail_mv > 0) {
            board->hold_vdd_rail(c.vdd_rail_mv);
        }
        if (c.target_mv > 0) {
            board->hold_target_vdd(c.target_mv);
        }
        // The low-voltage entry raises no Vpp: only the Vdd checks apply to it.
        std::vector<Bytes> entries = {{101}, {102}};
        if (c.vpp == 0) {
            entries.push_back({104, board_extension::kLowVoltageEntry});
        }
        for (const Bytes& entry : entries) {
            EXPECT_EQ(exchange(*board, entry, 1), Bytes{});
            EXPECT_FALSE(board->voltages_on());
            EXPECT_FALSE(board->chip().in_programming_mode());
            const Bytes record = identify(*board);
            ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
            EXPECT_EQ(record[id::kRefusalAt], c.refusal);
        }
        // Reported once.
        EXPECT_EQ(identify(*board).at(id::kRefusalAt), id::kRefusedNone);
        EXPECT_EQ(fault_list(board->pins()), "");
        EXPECT_EQ(board->chip().faults().size(), 0U);
        // Let go, the same board switches on.
        board->hold_vdd_rail(std::nullopt);
        board->hold_target_vdd(std::nullopt);
        if (c.vpp > 0) {
            board->set_vpp_supply(SimulatedBoard::kLevelVolts[0]);
        }
        EXPECT_EQ(exchange(*board, {102, 103}, 2), (Bytes{102, 103}));
        EXPECT_EQ(identify(*board).at(id::kRefusalAt), id::kRefusedNone);
    }
}

// A band-gap of 1.2 V makes the board read every rail 8 % low: a 9.4 V rail reads
// 8.6 V and passes the low level. One meter reading (48h, then 105 with the rail in
// 10 mV) corrects every rail to within 1 %, is kept in the EEPROM over a reset, and
// the 9.4 V rail is refused; a reading 20 % off is refused, and 0 erases it.
TEST(SimulatedFirmware, CalibrationFromOneMeterReadingCorrectsEveryRail) {
    namespace id = board_identity;
    auto board = board_with("PIC16F1847");
    ASSERT_TRUE(board);
    board->set_bandgap_millivolts(1200);
    board->set_vpp_supply(9.4);
    Bytes record = identify(*board);
    ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
    EXPECT_EQ(record[id::kStatusAt], 0);
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 9400 * 1100 / 1200, 40);
    // The fault being mended: switched on, and the chip notes its window exceeded.
    EXPECT_EQ(exchange(*board, {102, 103}, 2), (Bytes{102, 103}));
    ASSERT_EQ(board->chip().faults().size(), 1U);

    // A meter 20 % off: nothing stored.
    EXPECT_EQ(exchange(*board, {104, board_extension::kVppCalibrate, 105, 0xB0, 0x04}, 2),
              (Bytes{104, 105}));  // 1200 = 12.00 V
    EXPECT_EQ(identify(*board).at(id::kStatusAt), 0);
    // A command between 48h and its 105 cancels it: the 105 is a data word again.
    EXPECT_EQ(exchange(*board, {104, board_extension::kVppCalibrate, 100, 105, 0xAC, 0x03}, 3),
              (Bytes{104, 100, 105}));
    EXPECT_EQ(identify(*board).at(id::kStatusAt), 0);

    // The meter reads 9.40 V.
    EXPECT_EQ(exchange(*board, {104, board_extension::kVppCalibrate, 105, 0xAC, 0x03}, 2),
              (Bytes{104, 105}));
    for (const bool after_reset : {false, true}) {
        SCOPED_TRACE(after_reset ? "after a reset" : "at once");
        if (after_reset) {
            board->reset();
            EXPECT_EQ(bytes_after_reset(*board), kBanner);
        }
        record = identify(*board);
        ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
        EXPECT_EQ(record[id::kStatusAt], id::kStatusCalibrated);
        EXPECT_NEAR(field(record, id::kVppMeasuredAt), 9400, 94);
        EXPECT_NEAR(field(record, id::kVddMeasuredAt), 3300, 33);
        EXPECT_EQ(exchange(*board, {102}, 1), Bytes{});
        EXPECT_EQ(identify(*board).at(id::kRefusalAt), id::kRefusedVppHigh);
    }
    board->set_vpp_supply(8.7);
    record = identify(*board);
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 8700, 87);
    EXPECT_EQ(exchange(*board, {102, 103}, 2), (Bytes{102, 103}));
    EXPECT_NEAR(field(identify(*board), id::kTargetVddAt), 3300, 66);

    EXPECT_EQ(exchange(*board, {104, board_extension::kVppCalibrate, 105, 0, 0}, 2),
              (Bytes{104, 105}));
    EXPECT_EQ(identify(*board).at(id::kStatusAt), 0);
    EXPECT_EQ(board->chip().faults().size(), 1U);
}

// A Nano's 5 V after its USB diode is 4.4-4.7 V: the firmware measures AVcc against
// the bandgap, so both rails read within 2 % whatever AVcc is.
TEST(SimulatedFirmware, RailsReadTrueWhateverTheAvcc) {
    namespace id = board_identity;
    for (const int avcc : {5000, 4700, 4500, 4400}) {
        SCOPED_TRACE(avcc);
        std::string error;
        auto board =
            SimulatedBoard::load(kFirmware, *Pic14Chip::create("PIC16F628A", 7), 56000, error);
        ASSERT_TRUE(board) << error;
        board->set_avcc_millivolts(avcc);
        (void)bytes_after_reset(*board);
        for (const double vpp : {8.5, 12.5}) {
            board->set_vpp_supply(vpp);
            const Bytes record = identify(*board);
            ASSERT_EQ(record.size(), id::kRecordSize2 + 1U);
            EXPECT_NEAR(field(record, id::kVppMeasuredAt), vpp * 1000, vpp * 20);
            EXPECT_NEAR(field(record, id::kVddMeasuredAt), 3300, 66);
        }
        board->set_vpp_supply(13.0);
        EXPECT_EQ(exchange(*board,
                           {104, board_extension::kVdd5V, 104, board_extension::kVppHigh, 102}, 3),
                  (Bytes{104, 104, 102}));
        EXPECT_TRUE(board->chip().in_programming_mode());
        EXPECT_EQ(exchange(*board, {103}, 1), Bytes{103});
    }
}

// The entry hold of every entry the firmware makes, Vdd first, Vpp first and the
// low-voltage key: at least 250 us in the shipped build, and a build that waits only
// 100 us is caught on each.
TEST(SimulatedFirmware, EntryHoldOfEveryEntryIsCheckedByTheChip) {
    const std::vector<Bytes> entries = {
        {101, 104, 0x04, 106, 103},
        {102, 104, 0x04, 106, 103},
        {104, board_extension::kLowVoltageEntry, 104, 0x04, 106, 103}};
    for (const bool short_hold : {false, true}) {
        for (const auto& entry : entries) {
            SCOPED_TRACE(std::string(short_hold ? "100 us build, " : "shipped build, ") + "entry " +
                         std::to_string(entry[0]));
            auto board = board_with(
                "PIC16F1847",
                short_hold ? kFirmwareDir + "/corvanel-board-328p-short-hold.elf" : kFirmware);
            ASSERT_TRUE(board);
            (void)exchange(*board, entry, 6);
            const auto& holds = board->pins().entry_holds_ns();
            ASSERT_EQ(holds.size(), 1U);
            std::cout << "[ hold     ] " << (short_hold ? "100 us build" : "shipped build")
                      << ", entry " << int{entry[0]} << "/" << int{entry[1]} << ": " << holds[0]
                      << " ns\n";
            const std::string faults = fault_list(board->pins());
            if (short_hold) {
                EXPECT_LT(holds[0],
                          IcspPins::kEntryHoldNs);  // 100 us and the check of the chip's Vdd
                EXPECT_NE(faults.find("after the last supply edge (the chip needs 250000 ns)"),
                          std::string::npos)
                    << faults;
            } else {
                EXPECT_GE(holds[0], 300'000U);
                EXPECT_EQ(faults, "");
            }
        }
    }
}

// An LF part at 5 V is a fault the moment Vdd switches on; at 3.3 V it programs.
TEST(SimulatedFirmware, FiveVoltsOnAnLfPartIsAFault) {
    auto board = board_with("PIC16LF1554");
    ASSERT_TRUE(board);
    EXPECT_EQ(exchange(*board, {102, 103}, 2), (Bytes{102, 103}));
    EXPECT_EQ(fault_list(board->pins()), "");
    EXPECT_EQ(exchange(*board, {104, board_extension::kVdd5V, 102, 103}, 3),
              (Bytes{104, 102, 103}));
    EXPECT_NE(fault_list(board->pins())
                  .find("Vdd 5.0 V above the PIC16LF1554's absolute maximum of 4.0 V"),
              std::string::npos)
        << fault_list(board->pins());
}

// More read commands than the buffer holds, sent at once (a host far beyond the
// window the board promises): the board loses bytes, switches the voltages off and
// answers only what it took in whole; once the line has been quiet it answers again.
TEST(SimulatedFirmware, AnOverflowingHostGetsTooFewAnswersAndAChipWithoutVoltages) {
    auto board = board_with("PIC16F628A");
    ASSERT_TRUE(board);
    EXPECT_EQ(exchange(*board, {102}, 1).size(), 1U);
    std::vector<std::uint8_t> burst(700, 106);
    const auto answers = exchange(*board, burst, 3 * burst.size());
    EXPECT_LT(answers.size(), 3 * burst.size());
    EXPECT_FALSE(board->voltages_on());
    EXPECT_FALSE(board->chip().powered());
    while (board->bytes_on_the_way() > 0) {
        board->run_for(1000);
    }
    board->run_for(30'000);
    (void)board->take_answers();
    EXPECT_EQ(exchange(*board, {100}, 1), (std::vector<std::uint8_t>{100}));
}

// The send-ahead window of the tool far beyond 64 on a Read All: the firmware takes
// its bytes in under interrupt while it answers, so the read still comes out right
// or fails loudly; it never reports a wrong image as read.
TEST(SimulatedFirmware, AHugeWindowNeverReadsWrongData) {
    ModelOnFirmware bench("PIC16F628A");
    ASSERT_TRUE(bench.ready());
    for (std::int32_t a = 0; a < 64; ++a) {
        bench.chip().set_flash(a, static_cast<std::uint16_t>(a * 97));
    }
    bench.state.runner.fast_link = true;
    bench.state.runner.window = 4096;
    const std::string status = bench.run(OperationKind::Read);
    if (starts_with(status, "Chip read. ")) {
        for (std::int32_t a = 0; a < 64; ++a) {
            EXPECT_EQ(bench.state.image.flash[static_cast<std::size_t>(a)], a * 97) << a;
        }
    } else {
        EXPECT_TRUE(starts_with(status, "Programmer not responding!") ||
                    starts_with(status, "Programmer answers out of step!"))
            << status;
    }
}

// --- Blocks (111, 112) and the line rate (104 47h) -------------------------------------

// A word as the line carries it: low byte, high byte.
Bytes le(std::uint16_t word) {
    return {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>(word >> 8)};
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// 104 47h `code` as a host sends it: the answer at the old rate, then 10 ms later
// the `check` bytes at the new one, each waited for. What came back.
Bytes switch_rate(SimulatedBoard& board, std::uint8_t code, const Bytes& check) {
    Bytes got = exchange(board, {104, board_extension::kLineRate, code}, 1);
    board.run_for(10'000);
    for (const std::uint8_t byte : check) {
        got = join({got, exchange(board, {byte}, 1)});
    }
    return got;
}

constexpr long kStartingBaud = 16'000'000 / (8 * 36);  // 56000 at UBRR 35: 55555

// A block as the single commands a board without blocks gets, with their answers
// (`words`: what a read block reads).
std::pair<Bytes, Bytes> as_singles(const Bytes& block, const std::vector<std::uint16_t>& words) {
    using namespace board_command;
    const bool eight_bit = (block[1] & kBlockFlag8Bit) != 0;
    const std::uint8_t command = eight_bit ? kChipCommand8 : kChipCommand;
    Bytes send;
    Bytes answers;
    for (std::size_t i = 0; i < block[4]; ++i) {
        send = join({send, {command, block[2]}});
        answers.push_back(command);
        if (block[0] == kWriteBlock) {
            const std::uint8_t data = eight_bit ? kPayload24 : kDataWord;
            send = join({send, {data, block[5 + 2 * i], block[6 + 2 * i]}});
            answers.push_back(data);
        } else {
            const std::uint8_t frame = eight_bit ? kReadPayload24 : kReadWord;
            send.push_back(frame);
            answers = join({answers, le(words[i]), {frame}});
        }
        if ((block[1] & kBlockFlagStep) != 0) {
            send = join({send, {command, block[3]}});
            answers.push_back(command);
        }
    }
    return {send, answers};
}

// A row of 32 words written (31 in a write block, the last alone so that the PC
// stays in the row for its programming) and read back in a read block, in each
// command set, at the starting rate and after a switch: the chip holds, and the
// read answers, what the same words as single commands give on a second board; the
// chip notices no broken time, and the firmware takes every byte before the UART's
// buffer is full (at 1 Mbaud a byte every 160 clocks, while it clocks the chip).
TEST(SimulatedFirmware, BlocksDoWhatTheirSingleCommandsDoInBothSetsAtEveryRate) {
    using namespace board_command;
    struct Case {
        const char* chip;
        bool eight_bit;
        std::uint8_t rate_code;  // 0: no switch
        long baud;
    };
    for (const Case& c : {Case{"PIC16F1847", false, 0, kStartingBaud},
                          Case{"PIC16F1847", false, board_identity::kRate1000000, 1'000'000},
                          Case{"PIC16F18877", true, 0, kStartingBaud},
                          Case{"PIC16F18877", true, board_identity::kRate500000, 500'000}}) {
        SCOPED_TRACE(std::string(c.chip) + " at " + std::to_string(c.baud));
        std::mt19937 random(static_cast<std::uint32_t>(c.baud));
        std::vector<std::uint16_t> words(32);
        Bytes write = {kWriteBlock, c.eight_bit ? kBlockFlag8Bit : kBlockFlagStep, 0x02,
                       static_cast<std::uint8_t>(c.eight_bit ? 0x00 : 0x06), 31};
        Bytes read_answers;
        for (auto& w : words) {
            w = static_cast<std::uint16_t>(random() & 0x3FFF);
            write = join({write, le(w)});
            read_answers = join({read_answers, le(w)});
        }
        write.resize(5 + 2 * 31);
        read_answers.push_back(kReadBlock);
        const Bytes read = {kReadBlock, write[1],
                            static_cast<std::uint8_t>(c.eight_bit ? 0xFE : 0x04), write[3], 32};
        const std::uint8_t command = c.eight_bit ? kChipCommand8 : kChipCommand;
        const std::uint8_t data = c.eight_bit ? kPayload24 : kDataWord;
        // PC to 0: Load PC Address, or Reset Address.
        const Bytes to_zero = c.eight_bit ? Bytes{command, 0x80, data, 0, 0} : Bytes{command, 0x16};
        const Bytes to_zero_answers = c.eight_bit ? Bytes{command, data} : Bytes{command};
        const Bytes last =
            join({{command, static_cast<std::uint8_t>(c.eight_bit ? 0x00 : 0x02), data},
                  le(words[31]),
                  {command, static_cast<std::uint8_t>(c.eight_bit ? 0xE0 : 0x08)}});
        for (const bool blocks : {true, false}) {
            SCOPED_TRACE(blocks ? "blocks" : "single commands");
            auto board = board_with(c.chip);
            ASSERT_TRUE(board);
            if (c.rate_code != 0) {
                ASSERT_EQ(switch_rate(*board, c.rate_code, {100, 100}), (Bytes{104, 100, 100}));
            }
            EXPECT_EQ(board->uart_baud(), c.baud);
            const auto [w_send, w_answers] =
                blocks ? std::pair{write, Bytes{kWriteBlock}} : as_singles(write, {});
            const auto [r_send, r_answers] =
                blocks ? std::pair{read, read_answers} : as_singles(read, words);
            const Bytes first =
                join({{kVoltagesOnVppFirst}, to_zero_answers, w_answers, {command, data, command}});
            ASSERT_EQ(exchange(*board, join({{kVoltagesOnVppFirst}, to_zero, w_send, last}),
                               first.size()),
                      first);
            board->run_for(6'000);  // the row's programming
            const Bytes second = join({to_zero_answers, r_answers, {kVoltagesOff}});
            EXPECT_EQ(exchange(*board, join({to_zero, r_send, {kVoltagesOff}}), second.size()),
                      second);
            for (std::int32_t a = 0; a < 32; ++a) {
                EXPECT_EQ(board->chip().flash(a), words[static_cast<std::size_t>(a)]) << a;
            }
            EXPECT_EQ(fault_list(board->pins()), "");
            EXPECT_EQ(board->chip().faults(), std::vector<std::string>{});
            EXPECT_EQ(board->receive_overruns(), 0U);
        }
    }
}

// The firmware's own time for each word of a block, from the simulator's cycle
// count: a block of 125 words (the most the buffer holds: 5 + 2 x 125 bytes) less a
// block of one, at 1 Mbaud, where the line brings words faster than the pins clock
// them. docs/board.md gives the figure, which the benchmarks' floors use. The
// 255 bytes come in one burst while the block clocks, and none is lost; PGC stays
// high at least 1 us, what the level shifter needs beside the chip's 100 ns
// (docs/board.md, "The ICSP lines"), and low at least 0.5 us (0.25 us in a read).
TEST(SimulatedFirmware, ClockingTimePerWordOfABlock) {
    for (const bool eight_bit : {false, true}) {
        SCOPED_TRACE(eight_bit ? "8-bit set" : "6-bit set");
        auto board = board_with(eight_bit ? "PIC16F18877" : "PIC16F1847");
        ASSERT_TRUE(board);
        std::uint64_t last_edge = 0;
        std::uint64_t shortest_high = UINT64_MAX;
        std::uint64_t shortest_low = UINT64_MAX;
        board->pins().on_clock_edge = [&](bool rising, std::uint64_t ns) {
            if (last_edge != 0) {
                auto& shortest = rising ? shortest_low : shortest_high;
                shortest = std::min(shortest, ns - last_edge);
            }
            last_edge = ns;
        };
        ASSERT_EQ(switch_rate(*board, board_identity::kRate1000000, {100, 100}),
                  (Bytes{104, 100, 100}));
        ASSERT_EQ(exchange(*board, {102}, 1), Bytes{102});
        const auto block_ns = [&](bool write, std::uint8_t n) {
            const std::uint8_t command =
                write ? board_command::kWriteBlock : board_command::kReadBlock;
            Bytes bytes = {
                command, eight_bit ? board_command::kBlockFlag8Bit : board_command::kBlockFlagStep,
                static_cast<std::uint8_t>(write       ? 0x02
                                          : eight_bit ? 0xFE
                                                      : 0x04),
                static_cast<std::uint8_t>(eight_bit ? 0x00 : 0x06), n};
            bytes.resize(bytes.size() + (write ? 2U * n : 0U), 0x15);
            const std::uint64_t start = board->now_ns();
            for (const std::uint8_t byte : bytes) {
                board->send(byte);
            }
            Bytes answers;
            while (answers.size() < (write ? 1U : 2U * n + 1) && board->run_until_answer(100'000)) {
                answers = join({answers, board->take_answers()});
            }
            EXPECT_EQ(answers.back(), command);
            return static_cast<double>(board->now_ns() - start);
        };
        for (const bool write : {true, false}) {
            shortest_high = shortest_low = UINT64_MAX;
            const double one = block_ns(write, 1);
            const double per_word_us = (block_ns(write, 125) - one) / 124 / 1000;
            std::cout << (eight_bit ? "8-bit" : "6-bit") << " set, " << (write ? "write" : "read")
                      << " block: " << per_word_us << " us a word\n";
            // 60-72 us (the 6-bit read keeps each low time 1 us); a call a bit, or
            // a wait longer than the chip and the level shifter need, shows as 80 us
            // and more.
            EXPECT_LT(per_word_us, eight_bit || write ? 70.0 : 75.0);
            // A bit written holds PGD on the chip's side of the shifter through the
            // low time; a bit read needs only the chip's 100 ns.
            EXPECT_GE(shortest_high, 1000U);
            EXPECT_GE(shortest_low, write ? 500U : 250U);
        }
        EXPECT_EQ(fault_list(board->pins()), "");
        EXPECT_EQ(board->receive_overruns(), 0U);
    }
}

// Runs until `count` answer bytes have come, or `us` of simulated time has passed
// without one; what came.
Bytes answers_within(SimulatedBoard& board, std::size_t count, std::uint64_t us) {
    Bytes answers;
    while (answers.size() < count && board.run_until_answer(us)) {
        answers = join({answers, board.take_answers()});
    }
    return answers;
}

// 104 4Ah t holds the command after it until t ms (and at most 1 ms more) have
// passed since the last clock before it, or since the wait's own last byte came in
// when that is later. Bytes keep coming in meanwhile (a burst of 200 during the
// longest wait, none lost), the voltages stay on through it, a 103 queued behind it
// switches them off after it, and identify declares it (bit 12).
TEST(SimulatedFirmware, BoardTimedWaitHoldsTheNextCommandItsTime) {
    struct Case {
        std::uint8_t ms;
        std::uint64_t late_us;  // the wait's bytes sent this long after the command before
    };
    auto board = board_with("PIC16F1847");
    ASSERT_TRUE(board);
    const Bytes record = identify(*board);
    ASSERT_EQ(record.size(), board_identity::kRecordSize2 + 1U);
    EXPECT_NE(field(record, board_identity::kFeaturesAt) & board_identity::kHasBoardWait, 0);
    ASSERT_EQ(switch_rate(*board, board_identity::kRate1000000, {100, 100}),
              (Bytes{104, 100, 100}));
    ASSERT_EQ(exchange(*board, {board_command::kVoltagesOnVppFirst}, 1), Bytes{102});
    std::vector<std::pair<bool, std::uint64_t>> edges;
    board->pins().on_clock_edge = [&](bool rising, std::uint64_t ns) {
        edges.emplace_back(rising, ns);
    };
    const Bytes wait = {104, board_extension::kBoardWait};
    const Bytes increment = {104, 0x06};
    const auto send = [&](const Bytes& bytes) {
        for (const std::uint8_t byte : bytes) {
            board->send(byte);
        }
    };
    for (const Case& c : {Case{0, 0}, Case{1, 0}, Case{4, 0}, Case{255, 0}, Case{4, 3000}}) {
        SCOPED_TRACE(std::to_string(c.ms) + " ms, sent " + std::to_string(c.late_us) + " us late");
        edges.clear();
        const Bytes tail = join({wait, {c.ms}, increment});
        Bytes expected = {104, 104, 104};
        if (c.late_us == 0) {
            send(join({increment, tail}));
        } else {
            send(increment);
            EXPECT_EQ(answers_within(*board, 1, 1'000), Bytes{104});
            board->run_for(c.late_us);
            send(tail);
            expected = {104, 104};
        }
        if (c.ms == 255) {
            EXPECT_EQ(answers_within(*board, 1, 1'000), Bytes{104});
            board->run_for(100'000);
            EXPECT_EQ(board->take_answers(), Bytes{});
            const Bytes nops(200, board_command::kNop);
            send(nops);
            expected = join({{104, 104}, nops});
        }
        EXPECT_EQ(answers_within(*board, expected.size(), 300'000), expected);
        // The last fall of the command before, the first rise of the one after.
        ASSERT_EQ(edges.size(), 24U);
        ASSERT_FALSE(edges[11].first);
        ASSERT_TRUE(edges[12].first);
        const std::uint64_t gap = edges[12].second - edges[11].second;
        std::cout << static_cast<int>(c.ms) << " ms wait: " << gap * 16 / 1000
                  << " cycles from the last clock to the next\n";
        const std::uint64_t from = c.late_us * 1000 + c.ms * 1'000'000ULL;
        EXPECT_GE(gap, from);
        // The late bytes' own time on the line (some 40 us) comes on top.
        EXPECT_LE(gap, from + 1'000'000 + (c.late_us == 0 ? 0 : 100'000));
    }
    EXPECT_EQ(board->receive_overruns(), 0U);

    send(
        {board_command::kChipCommand, board_extension::kBoardWait, 4, board_command::kVoltagesOff});
    board->run_for(3'800);
    EXPECT_TRUE(board->voltages_on());
    EXPECT_EQ(board->take_answers(), Bytes{});
    EXPECT_EQ(answers_within(*board, 1, 1'000), Bytes{104});
    board->run_for(100);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_EQ(answers_within(*board, 1, 5'000), Bytes{103});
    EXPECT_EQ(fault_list(board->pins()), "");
}

// Blocks at their edges (a count of 0, flags the board does not know, the voltages
// off), then a block whose next byte does not come within 50 ms: given up with the
// voltages off and no answer, and its tail, late, is not taken for commands.
TEST(SimulatedFirmware, BlockEdgesAndABlockCutShort) {
    using namespace board_command;
    auto board = board_with("PIC16F1847");
    ASSERT_TRUE(board);
    const std::uint16_t before = board->chip().flash(0);
    EXPECT_EQ(
        exchange(*board,
                 {kVoltagesOnVppFirst,
                  kWriteBlock,
                  2,
                  2,
                  6,
                  0,
                  kReadBlock,
                  2,
                  4,
                  6,
                  0,
                  kReadBlock,
                  6,
                  4,
                  6,
                  1,
                  kWriteBlock,
                  4,
                  2,
                  6,
                  1,
                  0,
                  0,
                  kVoltagesOff,
                  kReadBlock,
                  2,
                  4,
                  6,
                  1,
                  kReadBlock,
                  1,
                  0xFE,
                  0,
                  1,
                  kWriteBlock,
                  2,
                  2,
                  6,
                  1,
                  0,
                  0},
                 14),
        (Bytes{kVoltagesOnVppFirst, kWriteBlock, kReadBlock, 0xFF, 0xFF, kReadBlock, kWriteBlock,
               kVoltagesOff, 0xFF, 0x3F, kReadBlock, 0xFF, 0xFF, kReadBlock, kWriteBlock}));
    EXPECT_EQ(board->chip().flash(0), before);

    const auto send = [&](const Bytes& bytes) {
        for (const std::uint8_t byte : bytes) {
            board->send(byte);
        }
    };
    ASSERT_EQ(exchange(*board, {kVoltagesOnVppFirst}, 1), Bytes{kVoltagesOnVppFirst});
    send({kWriteBlock, 2, 2, 6, 4, 1, 0, 2, 0});
    board->run_for(45'000);
    EXPECT_TRUE(board->voltages_on());
    board->run_for(15'000);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_FALSE(board->chip().powered());
    send({3, 0, 100, 4, 0, 100});  // the tail, with a 100 in it
    board->run_for(15'000);
    EXPECT_EQ(board->take_answers(), Bytes{});
    board->run_for(10'000);
    EXPECT_EQ(exchange(*board, {100}, 1), Bytes{100});
    EXPECT_EQ(fault_list(board->pins()), "");
}

// 104 47h: answered at the old rate; the new rate is kept only when two 100s come
// and are answered at it within 1 s, else (another byte, one check, a bridge that
// cannot carry it) the board is back at the old rate a second on and answers there.
// A code it does not list, or the voltages on, change nothing; code 0 needs no check.
TEST(SimulatedFirmware, RateSwitchIsKeptOnlyAfterItsCheck) {
    using namespace board_identity;
    struct Case {
        const char* name;
        std::uint8_t code;
        long bridge_limit;
        bool powered;
        Bytes check;
        Bytes answers;
        long baud_after;
    };
    for (const Case& c : {
             Case{"kept", kRate1000000, 0, false, {100, 100}, {104, 100, 100}, 1'000'000},
             Case{"a wrong check", kRate500000, 0, false, {100, 107}, {104, 100}, kStartingBaud},
             Case{"one check", kRate1000000, 0, false, {100}, {104, 100}, kStartingBaud},
             Case{"a 500k bridge", kRate1000000, 500'000, false, {100}, {104}, kStartingBaud},
             Case{"not listed", kRate2000000, 0, false, {100, 100}, {104, 100, 100}, kStartingBaud},
             Case{"voltages on", kRate1000000, 0, true, {100, 100}, {104, 100, 100}, kStartingBaud},
         }) {
        SCOPED_TRACE(c.name);
        auto board = board_with("PIC16F628A");
        ASSERT_TRUE(board);
        board->set_bridge_limit(c.bridge_limit);
        if (c.powered) {
            ASSERT_EQ(exchange(*board, {102}, 1), Bytes{102});
        }
        EXPECT_EQ(switch_rate(*board, c.code, c.check), c.answers);
        board->run_for(1'100'000);
        EXPECT_EQ(board->uart_baud(), c.baud_after);
        EXPECT_EQ(board->voltages_on(), c.powered);
        EXPECT_EQ(exchange(*board, {100}, 1), Bytes{100});
        EXPECT_EQ(switch_rate(*board, kRateStarting, {100}), (Bytes{104, 100}));
        EXPECT_EQ(board->uart_baud(), kStartingBaud);
    }
}

// The front end alone, driven pin by pin.
struct PinDriver {
    Pic14Chip chip = *Pic14Chip::create("PIC16F628A", 1);
    IcspPins pins{chip};
    std::uint64_t ns = 1000;

    void bit(bool value, std::uint64_t half_ns) {
        pins.set_data(true, value, ns);
        pins.set_clock(true, ns += half_ns);
        pins.set_clock(false, ns += half_ns);
        ns += half_ns;
    }
    void bits(std::uint32_t value, int count, std::uint64_t half_ns = 500) {
        for (int i = 0; i < count; ++i) {
            bit(((value >> i) & 1) != 0, half_ns);
        }
    }
    std::uint16_t read(std::uint64_t half_ns = 500) {
        pins.set_data(false, false, ns);
        std::uint32_t frame = 0;
        for (int i = 0; i < 16; ++i) {
            pins.set_clock(true, ns += half_ns);
            frame |= static_cast<std::uint32_t>(pins.chip_data().value_or(true)) << i;
            pins.set_clock(false, ns += half_ns);
        }
        pins.set_data(true, false, ns += half_ns);
        return static_cast<std::uint16_t>((frame >> 1) & 0x3FFF);
    }
};

TEST(IcspFrontEnd, DecodesFramesAndCatchesShortClocksAndLateData) {
    PinDriver d;
    d.pins.set_vpp(true, d.ns);
    d.pins.set_vdd(true, d.ns += 50'000);
    EXPECT_TRUE(d.chip.in_programming_mode());
    d.ns += 300'000;
    d.bits(0x02, 6);  // Load Data for Program Memory
    d.ns += 2000;
    d.bits(0x1234 << 1, 16);
    d.bits(0x08, 6);  // Begin Programming
    d.ns += 5'000'000;
    d.bits(0x04, 6);  // Read Data from Program Memory
    d.ns += 2000;
    EXPECT_EQ(d.read(), 0x1234);
    EXPECT_EQ(d.chip.flash(0), 0x1234);
    EXPECT_EQ(fault_list(d.pins), "");

    // A data frame begun 700 ns after its command (500 ns low, 200 ns to the edge).
    d.bits(0x02, 6);
    d.bits(0x0FFF << 1, 16, 200);
    EXPECT_NE(fault_list(d.pins).find("frame begun 700 ns after its command"), std::string::npos)
        << fault_list(d.pins);
    d.pins.clear_faults();

    // A clock of 60 ns halves (a board toggling PGC with back-to-back writes).
    d.bits(0x06, 6, 60);
    EXPECT_NE(fault_list(d.pins).find("PGC high for only 60 ns"), std::string::npos);
    d.pins.clear_faults();
    // PGD moved 50 ns before the falling edge that takes it.
    d.pins.set_clock(true, d.ns += 500);
    d.pins.set_data(true, true, d.ns += 450);
    d.pins.set_clock(false, d.ns += 50);
    EXPECT_NE(fault_list(d.pins).find("PGD set only 50 ns before the falling edge"),
              std::string::npos);
}

// Clocks and data with the chip unpowered, a short entry hold and the supply levels.
TEST(IcspFrontEnd, CatchesPinsMovingWithoutVddAShortHoldAndTooMuchVdd) {
    PinDriver d;
    d.bits(0x5, 3);
    std::string faults = fault_list(d.pins);
    EXPECT_NE(faults.find("PGC rose while Vdd is off"), std::string::npos) << faults;
    EXPECT_NE(faults.find("PGC fell while Vdd is off"), std::string::npos) << faults;
    EXPECT_NE(faults.find("PGD rose while Vdd is off"), std::string::npos) << faults;
    EXPECT_TRUE(d.pins.entry_holds_ns().empty());
    d.pins.clear_faults();

    // Vpp first, Vdd 50 us later, the first clock 200 us after Vdd: too soon.
    d.pins.set_vdd_millivolts(5000, d.ns);
    d.pins.set_vpp(true, d.ns += 1000);
    d.pins.set_vdd(true, d.ns += 50'000);
    d.ns += 200'000;
    d.bits(0x06, 6);
    // The first rising edge comes half a bit after the wait.
    EXPECT_EQ(d.pins.entry_holds_ns(), (std::vector<std::uint64_t>{200'500}));
    EXPECT_EQ(
        fault_list(d.pins),
        "257000 ns: first clock 200500 ns after the last supply edge (the chip needs 250000 ns)\n");

    // The same chip as an LF part: 5 V is a fault when it reaches the chip.
    Pic14Chip lf = *Pic14Chip::create("PIC16LF1554", 1);
    IcspPins pins(lf);
    pins.set_vdd_millivolts(5000, 100);
    EXPECT_EQ(fault_list(pins), "");
    pins.set_vdd(true, 200);
    pins.set_vdd(false, 300);
    pins.set_vdd_millivolts(3300, 400);
    pins.set_vdd(true, 500);
    EXPECT_EQ(fault_list(pins),
              "200 ns: Vdd 5.0 V above the PIC16LF1554's absolute maximum of 4.0 V\n");
    EXPECT_EQ(IcspPins::absolute_max_vdd_millivolts(d.chip.info()), 6500);
}

TEST(IcspFrontEnd, LowVoltageKeyIsThirtyThreeClocksWithMclrLow) {
    PinDriver d;
    std::vector<std::uint32_t> keys;
    d.pins.on_lvp_key = [&](std::uint32_t key) { keys.push_back(key); };
    d.pins.set_vdd(true, d.ns);
    d.ns += 300'000;
    d.bits(0x4D434850, 32);
    d.bits(0, 1);
    EXPECT_EQ(d.pins.lvp_keys_seen(), 1);
    // A classic 16F628A does not enter programming mode by the key.
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{0x4D434850}));
    EXPECT_FALSE(d.chip.in_programming_mode());
}

// corvanel-simboard started with `arguments` after --firmware: its process and the
// terminal's path (its first line of output); standard error goes to `errors`.
struct SimboardProcess {
    pid_t pid = -1;
    std::string device;
};
SimboardProcess start_simboard(const std::vector<std::string>& arguments,
                               const std::filesystem::path& errors) {
    const std::string program = std::string(CORVANEL_BIN_DIR) + "/corvanel-simboard";
    std::vector<std::string> all = {program, "--firmware", kFirmware};
    all.insert(all.end(), arguments.begin(), arguments.end());
    int out[2];
    if (pipe(out) != 0) {
        return {};
    }
    SimboardProcess process;
    process.pid = fork();
    if (process.pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (auto& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    for (char c = 0; read(out[0], &c, 1) == 1 && c != '\n';) {
        process.device += c;
    }
    close(out[0]);
    return process;
}

int raw_terminal(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
    }
    return fd;
}

// corvanel-simboard end to end: the firmware behind a pseudo-terminal, talked to
// with plain POSIX calls, stopped with a signal; the chip it leaves in its state file.
TEST(SimulatedBoardServer, ServesTheFirmwareOnAPseudoTerminalAndKeepsTheChip) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("simboard-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path state = dir / "chip.hex";
    const auto [pid, device] = start_simboard({"--chip", "PIC16F628A", "--state", state.string(),
                                               "--vpp", "13", "--bridge-limit", "500000"},
                                              dir / "server.err");
    ASSERT_TRUE(device.starts_with("/dev/")) << device;

    const int fd = raw_terminal(device);
    ASSERT_GE(fd, 0);
    const auto ask = [&](const std::vector<std::uint8_t>& bytes, std::size_t count,
                         std::chrono::milliseconds patience = std::chrono::seconds(5)) {
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + patience;
        while (got.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd watch{fd, POLLIN, 0};
            if (poll(&watch, 1, 50) > 0) {
                std::uint8_t buffer[16];
                const ssize_t n = read(fd, buffer, sizeof buffer);
                got.insert(got.end(), buffer, buffer + std::max<ssize_t>(n, 0));
            }
        }
        return got;
    };
    EXPECT_EQ(ask({}, kBanner.size()), kBanner);
    // The line follows the firmware's rate; the bridge cannot carry 1 Mbaud, so that
    // check goes unanswered and the board is back at its starting rate (waited for
    // generously: the simulation may run behind the wall clock), while 500 kbaud holds.
    const auto switch_to = [&](std::uint8_t code) {
        Bytes got = ask({104, board_extension::kLineRate, code}, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (std::size_t check = 0; check < 2 && got.size() == 1 + check; ++check) {
            got = join({got, ask({100}, 1, std::chrono::milliseconds(300))});
        }
        return got;
    };
    EXPECT_EQ(switch_to(board_identity::kRate1000000), Bytes{104});
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(ask({100}, 1), Bytes{100});
    EXPECT_EQ(switch_to(board_identity::kRate500000), (Bytes{104, 100, 100}));
    // --vpp forces 13 V whatever the level: inside the high level's range. A word in
    // a write block of one, read back in a read block of one.
    EXPECT_EQ(ask({104, board_extension::kVppHigh, 102, 111, 0, 0x02, 0, 1, 0x21, 0x03}, 3),
              (Bytes{104, 102, 111}));
    EXPECT_EQ(ask({104, 0x08}, 1), (Bytes{104}));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the programming time
    EXPECT_EQ(ask({112, 0, 0x04, 0, 1, 103}, 4), (Bytes{0x21, 0x03, 112, 103}));
    close(fd);

    kill(pid, SIGTERM);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream err(dir / "server.err");
    const std::string messages((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(messages.find("voltages off at exit"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("timing fault"), std::string::npos) << messages;
    auto chip = *Pic14Chip::create("PIC16F628A");
    ASSERT_TRUE(load_chip_state_file(chip, state.string()).ok);
    EXPECT_EQ(chip.flash(0), 0x0321);
    fs::remove_all(dir);
}

// corvanel-simboard started as docs/board.md shows it (no --reset-on-open), a host
// that opens the terminal after an idle spell: its first identify is answered as soon
// as one asked right after it (within the host's short wait of 250 ms more: the time
// the simulation itself needs varies with the computer's load), every time, and a
// word programs. The first byte after an idle spell used to wait for up to a second of
// idle time to be simulated, and the host took the board for a plain one.
TEST(SimulatedBoardServer, TheDocumentedStartAnswersTheFirstIdentifyInTime) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("simboard-start-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const auto [pid, device] = start_simboard({"--chip", "PIC16F628A"}, dir / "server.err");
    ASSERT_TRUE(device.starts_with("/dev/")) << device;
    using Clock = std::chrono::steady_clock;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        std::this_thread::sleep_for(std::chrono::milliseconds(900));
        const int fd = raw_terminal(device);
        ASSERT_GE(fd, 0);
        tcflush(fd, TCIFLUSH);  // the banner of the start, as a host drops it on opening
        const auto ask = [&](const Bytes& bytes, std::size_t count, Clock::duration patience) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            Bytes got;
            const auto end = Clock::now() + patience;
            while (got.size() < count && Clock::now() < end) {
                pollfd watch{fd, POLLIN, 0};
                if (poll(&watch, 1, 5) > 0) {
                    std::uint8_t buffer[32];
                    const ssize_t n = read(fd, buffer, sizeof buffer);
                    got.insert(got.end(), buffer, buffer + std::max<ssize_t>(n, 0));
                }
            }
            return got;
        };
        Clock::duration took[2];
        for (auto& time : took) {
            const auto start = Clock::now();
            const Bytes record = ask({board_command::kIdentify}, board_identity::kRecordSize2 + 1,
                                     std::chrono::seconds(3));
            time = Clock::now() - start;
            ASSERT_EQ(record.size(), board_identity::kRecordSize2 + 1U);
            EXPECT_EQ(record.front(), board_identity::kVersion2);
        }
        EXPECT_LT(took[0], took[1] + std::chrono::milliseconds(250))
            << std::chrono::duration_cast<std::chrono::milliseconds>(took[0]).count()
            << " ms after the idle spell, "
            << std::chrono::duration_cast<std::chrono::milliseconds>(took[1]).count()
            << " ms right after";
        // A word at address `round`, read back.
        const auto word = static_cast<std::uint8_t>(0x40 + round);
        Bytes bytes = {104, board_extension::kVdd5V, 104, board_extension::kVppMiddle, 102};
        Bytes answers = {104, 104, 102};
        for (int i = 0; i < round; ++i) {
            bytes.insert(bytes.end(), {104, 0x06});
            answers.push_back(104);
        }
        bytes.insert(bytes.end(), {104, 0x02, 105, word, 0x01, 104, 0x08});
        answers.insert(answers.end(), {104, 105, 104});
        EXPECT_EQ(ask(bytes, answers.size(), std::chrono::seconds(2)), answers);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the programming time
        EXPECT_EQ(ask({104, 0x04, 106, 103}, 5, std::chrono::seconds(2)),
                  (Bytes{104, word, 0x01, 106, 103}));
        close(fd);
    }
    kill(pid, SIGTERM);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    std::ifstream err(dir / "server.err");
    const std::string messages((std::istreambuf_iterator<char>(err)), {});
    EXPECT_EQ(messages.find("timing fault"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("above"), std::string::npos) << messages;
    fs::remove_all(dir);
}

// corvanel-simboard --state keeps the board as well as the chip: a Vpp calibration
// stored by 48h is there after a restart with the same state file (in its sibling
// FILE.board-eeprom.hex, written on exit); a state file of before, with no sibling,
// starts an uncalibrated board; a sibling that does not load stops the server
// before it serves, and is left as it was.
TEST(SimulatedBoardServer, KeepsTheBoardsCalibrationBesideTheStateFile) {
    namespace fs = std::filesystem;
    namespace id = board_identity;
    const fs::path dir =
        fs::temp_directory_path() / ("simboard-eeprom-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path state = dir / "chip.hex";
    const fs::path eeprom = board_eeprom_path(state.string());
    // The band-gap makes the board read its 9.4 V rail 8 % low until calibrated.
    const std::vector<std::string> arguments = {
        "--chip", "PIC16F628A", "--state", state.string(), "--bandgap", "1.2", "--vpp", "9.4"};
    // One run of the server: `bytes` sent after identify; answers the status byte of
    // identify before and after them.
    const auto run = [&](const Bytes& bytes, std::size_t answers) {
        const auto [pid, device] = start_simboard(arguments, dir / "server.err");
        EXPECT_TRUE(device.starts_with("/dev/")) << device;
        const int fd = raw_terminal(device);
        EXPECT_GE(fd, 0);
        const auto ask = [&](const Bytes& out, std::size_t count) {
            EXPECT_EQ(write(fd, out.data(), out.size()), static_cast<ssize_t>(out.size()));
            Bytes got;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (got.size() < count && std::chrono::steady_clock::now() < end) {
                pollfd watch{fd, POLLIN, 0};
                if (poll(&watch, 1, 50) > 0) {
                    std::uint8_t buffer[32];
                    const ssize_t n = read(fd, buffer, sizeof buffer);
                    got.insert(got.end(), buffer, buffer + std::max<ssize_t>(n, 0));
                }
            }
            return got;
        };
        EXPECT_EQ(ask({}, kBanner.size()), kBanner);
        const auto status = [&] {
            const Bytes record = ask({board_command::kIdentify}, id::kRecordSize2 + 1);
            return record.size() == id::kRecordSize2 + 1U ? int{record[id::kStatusAt]} : -1;
        };
        const int before = status();
        EXPECT_EQ(ask(bytes, answers).size(), answers);
        const int after = status();
        close(fd);
        kill(pid, SIGTERM);
        int exit_status = -1;
        EXPECT_EQ(waitpid(pid, &exit_status, 0), pid);
        EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0);
        return std::pair{before, after};
    };

    // A state file of before: the chip loads, the board starts uncalibrated.
    ASSERT_TRUE(save_chip_state_file(*Pic14Chip::create("PIC16F628A"), state.string()).ok);
    // The meter reads 9.40 V.
    EXPECT_EQ(run({104, board_extension::kVppCalibrate, 105, 0xAC, 0x03}, 2),
              std::pair(0, int{id::kStatusCalibrated}));
    ASSERT_TRUE(fs::exists(eeprom));
    EXPECT_EQ(run({100}, 1), std::pair(int{id::kStatusCalibrated}, int{id::kStatusCalibrated}));
    // Erased (0) and restarted: erased still.
    EXPECT_EQ(run({104, board_extension::kVppCalibrate, 105, 0, 0}, 2),
              std::pair(int{id::kStatusCalibrated}, 0));
    EXPECT_EQ(run({100}, 1), std::pair(0, 0));

    // A sibling with a bad checksum: refused with its name and line, not overwritten.
    const std::string bad = ":10000000C7E785187AFFFFFFFFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n";
    std::ofstream(eeprom, std::ios::binary) << bad;
    const auto [pid, device] = start_simboard(arguments, dir / "server.err");
    int exit_status = -1;
    ASSERT_EQ(waitpid(pid, &exit_status, 0), pid);
    EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 1);
    std::ifstream err(dir / "server.err");
    const std::string messages((std::istreambuf_iterator<char>(err)), {});
    EXPECT_NE(messages.find(eeprom.string() + ":1: bad checksum"), std::string::npos) << messages;
    std::ifstream kept(eeprom, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), bad);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace corvanel
