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

// A board whose firmware has started and sent its banner, which is taken.
std::unique_ptr<SimulatedBoard> board_with(const std::string& chip,
                                           const std::string& firmware = kFirmware,
                                           long baud = 56000) {
    std::string error;
    auto board = SimulatedBoard::load(firmware, *Pic14Chip::create(chip, 7), baud, error);
    EXPECT_TRUE(board) << error;
    if (board) {
        EXPECT_EQ(bytes_after_reset(*board), kBanner);
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

// The banner comes first after reset; identify reports the board with both rails
// measured through the ADC; Vdd select works only with the voltages off; with the
// voltages off the chip commands are answered and nothing is clocked; a Vpp rail
// above the ceiling is refused.
TEST(SimulatedFirmware, BannerIdentifyVddSelectAndNoClocksWithoutVoltages) {
    namespace id = board_identity;
    std::string error;
    auto board = SimulatedBoard::load(kFirmware, *Pic14Chip::create("PIC16F628A", 7), 56000, error);
    ASSERT_TRUE(board) << error;
    EXPECT_EQ(bytes_after_reset(*board), kBanner);
    EXPECT_EQ(kBanner,
              (Bytes{0x0D, 0x0A, 'C', 'O', 'R', 'V', 'A', 'N', 'E', 'L', ' ', '1', 0x0D, 0x0A}));

    board->set_vpp_supply(12.0);
    Bytes record = exchange(*board, {board_command::kIdentify}, id::kRecordSize + 1);
    ASSERT_EQ(record.size(), id::kRecordSize + 1U);
    EXPECT_EQ(record[id::kVersionAt], id::kVersion);
    // 40h-44h, 108-110, Vpp and Vdd measured.
    EXPECT_EQ(field(record, id::kFeaturesAt), 0x7F);
    EXPECT_EQ(field(record, id::kReceiveBufferAt), 255);
    EXPECT_EQ(field(record, id::kVddSelectedAt), 3300);
    EXPECT_NEAR(field(record, id::kVddMeasuredAt), 3300, 20);
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 12000, 30);
    EXPECT_EQ(record.back(), board_command::kIdentify);

    // 5 V, measured at once; a select with the voltages on changes nothing.
    EXPECT_EQ(exchange(*board, {104, board_extension::kVdd5V}, 1), Bytes{104});
    EXPECT_EQ(board->vdd_selected_millivolts(), 5000);
    EXPECT_EQ(exchange(*board, {102, 104, board_extension::kVdd3V3}, 2), (Bytes{102, 104}));
    EXPECT_EQ(board->vdd_selected_millivolts(), 5000);
    EXPECT_EQ(board->pins().vdd_millivolts(), 5000);
    // Identify switches the voltages off before it measures.
    board->set_vpp_supply(8.5);
    record = exchange(*board, {board_command::kIdentify}, id::kRecordSize + 1);
    ASSERT_EQ(record.size(), id::kRecordSize + 1U);
    EXPECT_FALSE(board->voltages_on());
    EXPECT_EQ(field(record, id::kVddSelectedAt), 5000);
    EXPECT_NEAR(field(record, id::kVddMeasuredAt), 5000, 20);
    EXPECT_NEAR(field(record, id::kVppMeasuredAt), 8500, 30);
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

    // A Vpp rail above 14.5 V: voltages-on is not answered and MCLR stays low; the
    // low-voltage entry needs no Vpp and goes on.
    board->set_vpp_supply(16.0);
    EXPECT_EQ(exchange(*board, {102}, 1), Bytes{});
    EXPECT_EQ(exchange(*board, {101}, 1), Bytes{});
    EXPECT_FALSE(board->voltages_on());
    EXPECT_FALSE(board->chip().powered());
    EXPECT_EQ(exchange(*board, {104, board_extension::kLowVoltageEntry, 103}, 2),
              (Bytes{104, 103}));
    // 3.3 V selected but the rail still at 5 V: no entry of either kind is answered.
    board->set_vpp_supply(13.0);
    board->hold_vdd_rail(5000);
    EXPECT_EQ(exchange(*board, {102}, 1), Bytes{});
    EXPECT_EQ(exchange(*board, {104, board_extension::kLowVoltageEntry}, 1), Bytes{});
    EXPECT_FALSE(board->voltages_on());
    board->hold_vdd_rail(std::nullopt);
    EXPECT_EQ(exchange(*board, {102}, 1), Bytes{102});
    EXPECT_TRUE(board->chip().in_programming_mode());
    EXPECT_EQ(exchange(*board, {103}, 1), Bytes{103});
    EXPECT_EQ(fault_list(board->pins()), "");
}

// A Nano's 5 V after its USB diode is 4.4-4.7 V: the firmware measures AVcc against
// the bandgap, so both rails read within 2 % whatever AVcc is, and a 14.0 V Vpp
// (under the 14.5 V ceiling, but 15.9 V when AVcc were taken for 5.00 V) is let on.
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
            const Bytes record = exchange(*board, {board_command::kIdentify}, id::kRecordSize + 1);
            ASSERT_EQ(record.size(), id::kRecordSize + 1U);
            EXPECT_NEAR(field(record, id::kVppMeasuredAt), vpp * 1000, vpp * 20);
            EXPECT_NEAR(field(record, id::kVddMeasuredAt), 3300, 66);
        }
        board->set_vpp_supply(14.0);
        EXPECT_EQ(exchange(*board, {104, board_extension::kVdd5V, 102}, 2), (Bytes{104, 102}));
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
                EXPECT_LT(holds[0], 150'000U);
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

// corvanel-simboard end to end: the firmware behind a pseudo-terminal, talked to
// with plain POSIX calls, stopped with a signal; the chip it leaves in its state file.
TEST(SimulatedBoardServer, ServesTheFirmwareOnAPseudoTerminalAndKeepsTheChip) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("simboard-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path state = dir / "chip.hex";
    const std::string program = std::string(CORVANEL_BIN_DIR) + "/corvanel-simboard";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int err = open((dir / "server.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        execl(program.c_str(), program.c_str(), "--firmware", kFirmware.c_str(), "--chip",
              "PIC16F628A", "--state", state.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string device;
    for (char c = 0; read(out[0], &c, 1) == 1 && c != '\n';) {
        device += c;
    }
    close(out[0]);
    ASSERT_TRUE(device.starts_with("/dev/")) << device;

    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    const auto ask = [&](const std::vector<std::uint8_t>& bytes, std::size_t count) {
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::vector<std::uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
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
    EXPECT_EQ(ask({102, 104, 0x02, 105, 0x21, 0x03}, 3), (Bytes{102, 104, 105}));
    EXPECT_EQ(ask({104, 0x08}, 1), (Bytes{104}));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the programming time
    EXPECT_EQ(ask({104, 0x04, 106, 103}, 5), (Bytes{104, 0x21, 0x03, 106, 103}));
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

}  // namespace
}  // namespace corvanel
