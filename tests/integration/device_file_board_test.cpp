// SPDX-License-Identifier: GPL-3.0-or-later
// Every model of the shipped device database, run through all five chip
// operations against the virtual board's emulation of the same chip: the
// algorithms of the file must really erase, program, read, blank-check and
// verify that chip.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/device_identity.h"
#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/config_sections.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/engine/script_runner.h"
#include "core/image/hex_text.h"
#include "core/link/board_identity.h"
#include "core/link/board_protocol.h"
#include "core/text/ascii_text.h"
#include "support/engine_fakes.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

using test::kShippedFile;
using test::shipped_database;
using test::shipped_model_names;

// The host, with each pause placed in the byte stream: how many bytes had gone to
// the board when it began. A wait the chip needs must come before the next byte.
class TimedHost : public test::RecordingHost {
public:
    void pause(int milliseconds) override {
        if (channel != nullptr) {
            marks.emplace_back(channel->written().size(), milliseconds);
        }
        RecordingHost::pause(milliseconds);
    }

    const BoardChannel* channel = nullptr;
    std::vector<std::pair<std::size_t, int>> marks;
};

// One model on the in-process board with its chip in the socket (or another
// chip, or none: "none").
class ModelOnBoard {
public:
    explicit ModelOnBoard(const std::string& name, const std::string& chip_name = {})
        : board_(*Pic14Chip::create(chip_name.empty() ? name : chip_name)), channel_(board_) {
        EXPECT_TRUE(test::apply_shipped_model(state, name)) << name;
        state.host = &host;
        state.link.channel = &channel_;
        state.link.port_ready = true;
        host.channel = &channel_;
    }

    // Runs one operation to its end the way the host's receive notification would.
    std::string run(OperationKind kind) {
        host.messages.clear();
        EXPECT_EQ(start_operation(state, kind), StartResult::Started);
        return run_to_end(kind);
    }

    // Runs "Identify Chip" to its end.
    std::string identify() {
        host.messages.clear();
        EXPECT_EQ(start_identify(state), StartResult::Started);
        return run_to_end(OperationKind::Read);
    }

    std::string run_to_end(OperationKind kind) {
        while (channel_.has_waiting() && channel_.receive_threshold() == 1) {
            state.link.MSComm1_OnComm();
            if (between_answers && !between_answers()) {
                break;
            }
        }
        EXPECT_FALSE(state.runner.running()) << operation_name(kind) << " did not finish";
        EXPECT_FALSE(host.program_ends > 0)
            << operation_name(kind) << " met an unknown instruction";
        EXPECT_TRUE(host.commands_enabled);
        EXPECT_FALSE(board_.voltages_on()) << operation_name(kind) << " left the voltages on";
        return host.status();
    }

    // FLASH words and EEPROM bytes at random; configuration words at random within
    // the chip's implemented bits, the others as the chip reads them back.
    void fill_image_at_random(std::uint32_t seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<std::int32_t> word(0, 0x3FFF);
        std::uniform_int_distribution<std::int32_t> byte(0, 0xFF);
        for (std::int32_t& cell : state.image.flash) {
            cell = word(random);
        }
        for (std::int32_t& cell : state.image.eeprom) {
            cell = byte(random);
        }
        const ChipInfo& info = chip().info();
        const auto as_read = [&](std::int32_t value, std::uint16_t mask) {
            return (value & mask) | (info.unimplemented_config_bits & ~mask & 0x3FFF);
        };
        // Code protection stays off: a protected chip reads 0 and verifies nothing.
        state.image.config1 = as_read(word(random) | unprotected_bits(), info.config1_mask);
        if (info.config2_mask != 0) {
            state.image.config2 = as_read(word(random), info.config2_mask);
        }
    }

    // The image as the chip holds it after a Program All: where the model keeps
    // the chip's factory calibration, the chip's value instead of the image's.
    MemoryImage with_chip_calibration(const MemoryImage& image) {
        MemoryImage expected = image;
        if (const auto& word = state.model.calibration_word) {
            expected.set_flash_word(word->address, chip().flash(word->address));
        }
        const std::int32_t bits = state.model.calibration_config_bits;
        expected.config1 = (image.config1 & ~bits) | (chip().config_word(1) & bits);
        return expected;
    }

    Pic14Chip& chip() { return board_.chip(); }
    // Every byte the host has sent to the board.
    [[nodiscard]] const std::vector<std::uint8_t>& sent() const { return channel_.written(); }
    BoardChannel& channel() { return channel_; }
    // The configuration word 1 bits that are 1 while neither memory is protected.
    std::int32_t unprotected_bits() { return chip().rules().cp_bits | chip().rules().cpd_bits; }

    TimedHost host;
    ProgramState state;
    // Runs after each answer is taken; false ends the run there (the operation has
    // been ended from outside).
    std::function<bool()> between_answers;

private:
    VirtualBoard board_;
    BoardChannel channel_;
};

bool starts_with(const std::string& text, std::string_view start) {
    return text.rfind(start, 0) == 0;
}

class ShippedModelTest : public ::testing::TestWithParam<std::string> {};
// The same on one model of each way of using the algorithms, masks, EEPROM and
// supply: what these tests check depends on the model through nothing else.
class ShippedVariantTest : public ShippedModelTest {};

TEST_P(ShippedModelTest, AllFiveOperationsWorkOnTheChip) {
    ModelOnBoard bench(GetParam());
    bench.fill_image_at_random(static_cast<std::uint32_t>(bench.state.selected_model) * 7919u);
    bench.state.image.user_ids = {0x0001, 0x3FFF, 0x1234, 0x2A55};  // __IDLOCS
    const MemoryImage written = bench.with_chip_calibration(bench.state.image);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    for (std::int32_t a = 0; a < written.flash_size; ++a) {
        ASSERT_EQ(bench.chip().flash(a), written.flash[static_cast<std::size_t>(a)])
            << "FLASH word " << a;
    }
    for (std::int32_t a = 0; a < written.eeprom_size; ++a) {
        ASSERT_EQ(bench.chip().eeprom(a), written.eeprom[static_cast<std::size_t>(a)])
            << "EEPROM byte " << a;
    }
    EXPECT_EQ(bench.chip().config_word(1), written.config1);
    if (written.config2_used) {
        EXPECT_EQ(bench.chip().config_word(2), written.config2);
    }
    const AddressMap& map = written.map;
    for (int k = 0; k < kUserIdCount; ++k) {
        EXPECT_EQ(bench.chip().config_space(map.user_id_address + k), written.user_id(k))
            << "ID " << k;
    }

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));
    EXPECT_TRUE(bench.host.messages.empty());

    // A programmed chip is not blank: the blank check really looks.
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is not blank. "));

    bench.state.image.clear_image();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Read), "Chip read. "));
    EXPECT_EQ(bench.state.image.flash, written.flash);
    EXPECT_EQ(bench.state.image.eeprom, written.eeprom);
    EXPECT_EQ(bench.state.image.config1, written.config1);
    EXPECT_EQ(bench.state.image.config2, written.config2);
    EXPECT_EQ(bench.state.image.user_ids, written.user_ids);

    // One FLASH word and one EEPROM byte (where the chip has EEPROM) change in the
    // chip behind the program's back.
    const bool has_eeprom = written.eeprom_size > 0;
    const std::int32_t flash_address = written.flash_size * 3 / 4 + 5;
    const std::int32_t eeprom_address = written.eeprom_size / 2 + 3;
    const std::int32_t changed_word = bench.chip().flash(flash_address) ^ 0x0101;
    const std::int32_t changed_byte = bench.chip().eeprom(eeprom_address) ^ 0x80;
    bench.chip().set_flash(flash_address, static_cast<std::uint16_t>(changed_word));
    std::string expected_report = MismatchReport::header() + "FLASH Word " + hex4h(flash_address) +
                                  ",   " + hex4h(changed_word) + ",   " +
                                  hex4h(written.flash[static_cast<std::size_t>(flash_address)]) +
                                  ",\r\n";
    if (has_eeprom) {
        bench.chip().set_eeprom(eeprom_address, static_cast<std::uint8_t>(changed_byte));
        expected_report +=
            "EEPROM Byte " + hex4h(eeprom_address) + ",   " + hex2h(changed_byte) + ",   " +
            hex2h(written.eeprom[static_cast<std::size_t>(eeprom_address)]) + ",\r\n";
    }
    // And a user ID: the IDs are checked after the configuration words.
    bench.chip().set_config_space(map.user_id_address + 2, 0x0234);
    expected_report += "ID Word " + hex4h(map.user_id_address + 2) + ",   0234h,   1234h,\r\n";
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    EXPECT_EQ(bench.state.report.mismatch_count, has_eeprom ? 3 : 2);
    EXPECT_EQ(bench.state.report.mismatch_report, expected_report);
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_EQ(bench.host.messages[0].text, "Chip verify failed:\r\n\r\n" + expected_report);
    EXPECT_EQ(bench.host.messages.back().kind, message_kind::kError);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_EQ(bench.state.image.flash, written.flash) << "Erase All leaves the image alone";
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
    EXPECT_TRUE(bench.host.messages.empty());
}

TEST_P(ShippedVariantTest, ProgramAllOfABlankImageLeavesAnErasedChip) {
    // A blank image shortens every program loop to nothing (or one block); the
    // chip must still come out erased, configuration word included.
    ModelOnBoard bench(GetParam());
    bench.fill_image_at_random(1u);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    bench.state.image.clear_image();
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));
}

// A code-protected build, the way `program --verify` runs it: everything but the
// configuration words is written and verified, then the configuration words are
// written and checked. A later Verify of the protected chip compares what it can
// read and says that program memory is hidden, instead of failing at every word.
// The word that holds CP comes from the configuration fields (CONFIG4 on the
// 16F183xx); the emulated chip honours it from the catalogue.
TEST_P(ShippedVariantTest, CodeProtectedBuildProgramsVerifiesAndThenProtects) {
    ModelOnBoard bench(GetParam());
    bench.state.config_fields = &test::shipped_config_fields();
    const ProtectionBits bits = bench.state.protection();
    ASSERT_NE(bits.program, 0) << "no CP field for " << GetParam();
    // The configuration fields and the emulated silicon (the catalogue) agree.
    EXPECT_EQ(bits.word, bench.chip().rules().protect_word) << GetParam();
    EXPECT_EQ(bits.program, bench.chip().rules().cp_bits) << GetParam();
    if (bench.state.image.eeprom_size > 0) {
        EXPECT_EQ(bits.data, bench.chip().rules().cpd_bits) << GetParam();
    }
    bench.fill_image_at_random(static_cast<std::uint32_t>(bench.state.selected_model) * 31u);
    bench.state.image.user_ids = {0x0004, 0x0003, 0x0002, 0x0001};
    // The CP bits programmed: _CP_ON.
    const std::int32_t protect_word = bench.state.image.config_word(bits.word);
    ASSERT_TRUE(bench.state.image.set_config_word(bits.word, protect_word & ~bits.program));
    ASSERT_TRUE(bits.program_protected(bench.state.image));
    const MemoryImage written = bench.with_chip_calibration(bench.state.image);

    const ConfigSplit program = split_config_sections(bench.state.model.program_list);
    const ConfigSplit verify = split_config_sections(bench.state.model.verify_list);
    ASSERT_TRUE(program.found() && verify.found());
    const auto run_part = [&](OperationKind kind, const InstructionList& part, bool continues) {
        bench.host.messages.clear();
        EXPECT_EQ(start_operation_on(bench.state, kind, part, continues), StartResult::Started);
        return bench.run_to_end(kind);
    };
    EXPECT_TRUE(
        starts_with(run_part(OperationKind::Program, program.rest, false), "Chip programmed. "));
    EXPECT_FALSE(bench.chip().program_protected()) << "protected before the verify";
    EXPECT_TRUE(starts_with(run_part(OperationKind::Verify, verify.rest, true), "Chip verified. "))
        << bench.state.report.mismatch_report;
    EXPECT_TRUE(
        starts_with(run_part(OperationKind::Program, program.config, true), "Chip programmed. "));
    EXPECT_TRUE(
        starts_with(run_part(OperationKind::Verify, verify.config, true), "Chip verified. "))
        << bench.state.report.mismatch_report;
    EXPECT_TRUE(bench.chip().program_protected());
    const std::int32_t ids = written.map.user_id_address;
    for (int k = 0; k < kUserIdCount; ++k) {
        EXPECT_EQ(bench.chip().config_space(ids + k), written.user_id(k));
    }

    // Verify of the protected chip: no mismatch at the hidden words, and it says why.
    const std::string status = bench.run(OperationKind::Verify);
    EXPECT_TRUE(starts_with(status, "Code protection is on: program memory cannot be read. "))
        << status << bench.state.report.mismatch_report;
    EXPECT_EQ(bench.state.report.mismatch_count, 0);
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_EQ(bench.host.messages[0].kind, message_kind::kInformation);
    EXPECT_TRUE(verify_incomplete(bench.state.runner));

    // What it can read still counts: a user ID changed behind the program's back.
    bench.chip().set_config_space(ids + 3, 0x0000);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    EXPECT_EQ(bench.state.report.mismatch_report,
              MismatchReport::header() + "ID Word " + hex4h(ids + 3) + ",   0000h,   0001h,\r\n");
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_NE(bench.host.messages[0].text.find(kProgramMemoryHiddenText), std::string::npos);

    // Read All of the protected chip says so too: the zeros it reads are no program.
    bench.host.messages.clear();
    const std::string read = bench.run(OperationKind::Read);
    EXPECT_TRUE(starts_with(read, "Chip read. " + std::string(kProgramMemoryHiddenText) + " "))
        << read;
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_EQ(bench.host.messages[0].kind, message_kind::kInformation);
    EXPECT_TRUE(verify_incomplete(bench.state.runner));

    // The model's erase removes the protection again.
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_FALSE(bench.chip().program_protected());
}

INSTANTIATE_TEST_SUITE_P(DeviceFile, ShippedModelTest, ::testing::ValuesIn(shipped_model_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });
INSTANTIATE_TEST_SUITE_P(DeviceFile, ShippedVariantTest,
                         ::testing::ValuesIn(test::shipped_model_variants()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// A chip that needs Vpp before Vdd does not enter programming mode when its
// model names the other order: nothing is written, and the verify says so.
class VppFirstModelTest : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> vpp_first_model_names() {
    std::vector<std::string> names;
    for (const std::string& name : shipped_model_names()) {
        const std::optional<ChipInfo> chip = find_chip(name);
        if (chip && chip->needs_vpp_first) {
            names.push_back(name);
        }
    }
    return names;
}

TEST_P(VppFirstModelTest, WrongVoltageOrderFailsToVerify) {
    ModelOnBoard bench(GetParam());
    ASSERT_EQ(bench.state.model.voltage_sequence, VoltageSequence::VppFirst);
    bench.state.model.voltage_sequence = VoltageSequence::VddFirst;
    bench.fill_image_at_random(2u);

    // A chip outside programming mode reads 0000h: where the model keeps a
    // calibration word, Program All stops at once, finding none.
    const std::string programmed = bench.run(OperationKind::Program);
    if (bench.state.model.calibration_word) {
        EXPECT_EQ(programmed, kBadCalibrationStatus);
    } else {
        EXPECT_TRUE(starts_with(programmed, "Chip programmed. ")) << programmed;
    }
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    EXPECT_EQ(bench.state.report.mismatch_count, kMismatchLimit);
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_EQ(bench.chip().flash(0), 0x3FFF) << "the chip was written after all";

    // The right order, with nothing else changed, programs the same chip.
    bench.state.model.voltage_sequence = VoltageSequence::VppFirst;
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));
}

INSTANTIATE_TEST_SUITE_P(DeviceFile, VppFirstModelTest,
                         ::testing::ValuesIn(vpp_first_model_names()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

// Configuration words are compared on the implemented bits only: an image
// may hold anything in the others (0 as some files write them, 1 as the chip
// reads them), while a difference in an implemented bit still fails.
TEST_P(ShippedVariantTest, ConfigWordsCompareOnTheImplementedBitsOnly) {
    ModelOnBoard bench(GetParam());
    const ChipInfo& info = bench.chip().info();
    const std::int32_t as_read = bench.chip().config_word(1);
    // Every unimplemented bit the other way round from what the chip reads.
    bench.state.image.config1 = ((0x2162 | bench.unprotected_bits()) & info.config1_mask) |
                                (~as_read & ~info.config1_mask & 0x3FFF);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));

    // The lowest implemented bit changes in the chip behind the program's back.
    const std::int32_t bit = info.config1_mask & -info.config1_mask;
    const std::int32_t changed = bench.chip().config_word(1) ^ bit;
    const std::int32_t config1 = bench.state.image.map.config_address;
    bench.chip().set_config_space(config1, static_cast<std::uint16_t>(changed));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    // The report shows the whole words, as read and as in the image.
    EXPECT_EQ(bench.state.report.mismatch_report,
              MismatchReport::header() + "CONF Word " + hex4h(config1) + ",   " + hex4h(changed) +
                  ",   " + hex4h(bench.state.image.config1) + ",\r\n");

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
}

// A 16F628A program as the assembler writes it with the usual
// __CONFIG _CP_OFF & _LVP_OFF & _BOREN_OFF & _MCLRE_ON & _XT_OSC & _WDT_OFF & _PWRTE_ON,
// which sets the unimplemented bits 12:9 (the chip reads them as 1 as well).
TEST(DeviceFileBoardTest, UsualConfigOf628AProgramsAndVerifies) {
    ModelOnBoard bench("PIC16F628A");
    bench.state.image.flash[0] = 0x2805;
    bench.state.image.config1 = 0x3F21;
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_EQ(bench.chip().config_word(1), 0x3F21);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));

    // The same file with bits 12:9 as 0: the chip still matches on every implemented bit.
    bench.state.image.config1 = 0x2121;
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));

    // The watchdog on in the chip: an implemented bit differs.
    bench.chip().set_config_space(0x2007, 0x3F25);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    EXPECT_EQ(bench.state.report.mismatch_report,
              MismatchReport::header() + "CONF Word 2007h,   3F25h,   2121h,\r\n");
}

// A 12F675 leaves the factory with its oscillator calibration (a RETLW at 03FFh)
// and band-gap bits 13:12 in configuration word 1; both must survive Erase All
// and Program All, whatever the file holds there, and Verify must not count them.
TEST(DeviceFileBoardTest, FactoryCalibrationOf12F675SurvivesEraseAndProgram) {
    ModelOnBoard bench("PIC12F675");
    const auto set_band_gap = [&](std::uint16_t bits) {
        const std::uint16_t config = bench.chip().config_word(1);
        bench.chip().set_config_space(0x2007,
                                      static_cast<std::uint16_t>((config & ~0x3000) | bits));
    };
    const auto band_gap = [&] { return bench.chip().config_word(1) & 0x3000; };
    bench.chip().set_flash(0x3FF, 0x3480);
    set_band_gap(0x2000);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_EQ(bench.chip().flash(0x3FF), 0x3480);
    EXPECT_EQ(band_gap(), 0x2000);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));

    // An assembler's file: 3FFFh at 03FFh and __CONFIG _CP_OFF & _CPD_OFF &
    // _BOREN_OFF & _MCLRE_OFF & _WDTE_OFF & _PWRTE_ON & _FOSC_INTRCIO, band-gap 11b.
    bench.state.image.flash[0] = 0x2805;
    bench.state.image.flash[0x3FF] = 0x3FFF;
    bench.state.image.config1 = 0x3F84;
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_EQ(bench.chip().flash(0), 0x2805);
    EXPECT_EQ(bench.chip().flash(0x3FF), 0x3480);
    EXPECT_EQ(band_gap(), 0x2000);
    EXPECT_EQ(bench.chip().config_word(1) & 0x01FF, 0x0184);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));
    EXPECT_TRUE(bench.host.messages.empty());

    // A read shows the chip's own calibration.
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Read), "Chip read. "));
    EXPECT_EQ(bench.state.image.flash[0x3FF], 0x3480);
    EXPECT_EQ(bench.state.image.config1 & 0x3000, 0x2000);

    // The same erase and program without the calibration handling lose both.
    bench.state.image.flash[0x3FF] = 0x3FFF;
    bench.state.image.config1 = 0x3F84;
    bench.state.model.program_list = split_instructions(
        "begin,s00-3fff,s09,w10,s0b,w10,end,begin,calcflash,setflashloop,s02-flash,s08,wprog,s06,"
        "loop,end,begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,s02-config1,s08,w6,end");
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_NE(bench.chip().flash(0x3FF), 0x3480);
    EXPECT_NE(band_gap(), 0x2000);

    // A chip whose calibration is gone is refused before anything is erased:
    // writing 3FFFh back would make it the chip's calibration.
    ModelOnBoard lost("PIC12F675");
    lost.chip().set_flash(0x3FF, 0x3FFF);
    lost.chip().set_flash(0, 0x1234);
    EXPECT_EQ(lost.run(OperationKind::Program), "Calibration word not found! Operation aborted.");
    EXPECT_TRUE(lost.state.operation_failed);
    EXPECT_EQ(lost.chip().flash(0), 0x1234) << "the chip was erased after all";
    ASSERT_EQ(lost.host.messages.size(), 1u);
    EXPECT_EQ(lost.host.messages[0].kind, message_kind::kError);
    EXPECT_TRUE(starts_with(lost.host.messages[0].text,
                            "The calibration word at 03FFh reads 3FFFh, which is not a factory "
                            "calibration value"));
    EXPECT_EQ(lost.run(OperationKind::Erase), "Calibration word not found! Operation aborted.");
    EXPECT_EQ(lost.chip().flash(0), 0x1234);

    // The way out: the value from the chip's label put into the image at 03FFh.
    lost.state.image.flash[0x3FF] = 0x3468;
    EXPECT_TRUE(starts_with(lost.run(OperationKind::Program), "Chip programmed. "));
    EXPECT_EQ(lost.chip().flash(0x3FF), 0x3468);
    EXPECT_TRUE(starts_with(lost.run(OperationKind::Verify), "Chip verified. "));
}

// Replaces every instruction `from` by `to` where `where` (given its index) agrees.
void replace_all(
    InstructionList& list, const std::string& from, const std::string& to,
    const std::function<bool(std::size_t, const InstructionList&)>& where =
        [](std::size_t, const InstructionList&) { return true; }) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == from && where(i, list)) {
            list[i] = to;
        }
    }
}

// Program memory holding `value` everywhere but the 12F629 family's OSCCAL word.
void fill_below_calibration(Pic14Chip& chip, std::uint16_t value) {
    const std::int32_t last =
        chip.rules().osccal_and_bandgap ? chip.flash_size() - 1 : chip.flash_size();
    for (std::int32_t a = 0; a < last; ++a) {
        chip.set_flash(a, value);
    }
}

// Algorithms that would fail on silicon fail on the emulated chip too: each case
// spoils one thing of a shipped model and the operation's own check catches it.
TEST(DeviceFileBoardTest, FaultyAlgorithmsFailOnTheEmulatedChip) {
    const std::string to_2008h = "begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,s06,";
    struct Case {
        const char* what;
        const char* model;
        std::function<void(ModelOnBoard&)> spoil;
    };
    const Case cases[] = {
        // Eight-word blocks on a part with four write latches keep only the last four.
        {"wrong latch count", "PIC16F882", [](ModelOnBoard& b) { b.state.model.page_size = 8; }},
        // 1 ms where the part needs 3 ms: the next command cuts every write short.
        {"too-short programming wait", "PIC16F690",
         [](ModelOnBoard& b) { b.state.model.programming_time = 1; }},
        {"too-short wait, externally timed", "PIC16F716",
         [](ModelOnBoard& b) { b.state.model.programming_time = 0; }},
        // Code protection on: the chip reads 0000h until it is erased.
        {"protected chip", "PIC16F877A", [](ModelOnBoard& b) { b.state.image.config1 &= ~0x2000; }},
        // On these parts 08 only erases: data bytes and configuration words written
        // with it, as an earlier version of the device file did, stay erased.
        {"data and configuration written with 08", "PIC16F88",
         [](ModelOnBoard& b) {
             b.state.model.program_list = split_instructions(
                 "begin,s00-3fff,s1f,w10,end,begin,calcflashpage,setflashloop,s02-flash,ifpage,"
                 "s18,wprog,s17,endifpage,s06,loop,end,begin,calceeprom,seteepromloop,s03-eeprom,"
                 "s08,w5,s17,s06,loop,end,begin,s00-3fff,s06,s06,s06,s06,s06,s06,s06,s02-config1,"
                 "s08,wprog,s17,s06,s02-config2,s08,wprog,s17,end");
         }},
        {"data and configuration written with 08", "PIC16F819",
         [](ModelOnBoard& b) {
             replace_all(b.state.model.program_list, "s18", "s08",
                         [](std::size_t i, const InstructionList& list) {
                             return list[i - 1] != "ifpage";  // program blocks keep 18
                         });
         }},
        // An externally timed cycle is only complete with its end command.
        {"end command left out", "PIC16F73",
         [](ModelOnBoard& b) { std::erase(b.state.model.program_list, std::string("s0e")); }},
        // The bulk erase cut short leaves the old content, which programming only ANDs.
        {"too-short bulk erase", "PIC12F675",
         [](ModelOnBoard& b) {
             fill_below_calibration(b.chip(), 0);
             replace_all(b.state.model.program_list, "w10", "w4");
         }},
        // 08 on the 16F62xA programs without erasing: a program run without its erase
        // section cannot set a bit back to 1.
        {"no erase before programming", "PIC16F628A",
         [](ModelOnBoard& b) {
             fill_below_calibration(b.chip(), 0);
             auto& list = b.state.model.program_list;
             list.erase(list.begin(), std::find(list.begin(), list.end(), "end") + 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModelOnBoard bench(c.model);
        bench.fill_image_at_random(5u);
        bench.state.image.config1 |= 0x2000;  // not protected, unless the case says so
        c.spoil(bench);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
        EXPECT_EQ(bench.state.report.mismatch_count, kMismatchLimit);
        // The model's own algorithm erases the chip whatever was done to it.
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
    }

    // Every family, every wait of Program All halved (the programming time too), on a
    // chip whose program memory holds 0000h: a cycle cut short loses its work.
    for (const char* model :
         {"PIC16F84A", "PIC16F83", "PIC16F627", "PIC16F628A", "PIC16F870", "PIC16F877A", "PIC16F88",
          "PIC16F819", "PIC12F675", "PIC16F690", "PIC16F785", "PIC16F916", "PIC16F882", "PIC12F615",
          "PIC16F716", "PIC16F73", "PIC16F737", "PIC16F722"}) {
        SCOPED_TRACE(std::string(model) + ": every wait halved");
        ModelOnBoard bench(model);
        bench.fill_image_at_random(7u);
        fill_below_calibration(bench.chip(), 0);
        bench.state.model.programming_time /= 2;
        for (std::string& instruction : bench.state.model.program_list) {
            if (decode_instruction(instruction).kind == InstructionKind::Wait) {
                instruction = "w" + std::to_string(leading_number(instruction.substr(1)) / 2);
            }
        }
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
    }

    // A bulk erase with the counter on 2008h wipes a 12F683's calibration word there;
    // the shipped erase, which never passes 2007h, keeps it.
    ModelOnBoard bench("PIC12F683");
    const std::uint16_t factory = bench.chip().config_space(0x2008);
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_EQ(bench.chip().config_space(0x2008), factory);
    bench.state.model.erase_list = split_instructions(to_2008h + "s09,w6,s0b,w6,end");
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_NE(bench.chip().config_space(0x2008), factory);
}

// What the byte stream to the board does with the chip, followed the way the chip
// follows it: the address counter, and each command that starts a programming or
// erase cycle with the counter where it stood.
struct CycleStart {
    std::uint8_t command;
    std::int32_t pc;
};

std::vector<CycleStart> cycles_started(const std::vector<std::uint8_t>& sent) {
    std::vector<CycleStart> cycles;
    std::int32_t pc = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        switch (sent[i]) {
            case 101:
            case 102:
                pc = 0;  // entering programming mode
                break;
            case 105:
                i += 2;  // a data frame
                break;
            case 104: {
                const std::uint8_t code = sent[++i] & 0x3F;
                if (code == 0x00) {
                    pc = 0x2000;
                } else if (code == 0x06) {
                    ++pc;
                } else if (code == 0x16) {
                    pc = 0;
                } else if (code == 0x08 || code == 0x18) {
                    cycles.push_back({code, pc});
                }
                break;
            }
            default:
                break;
        }
    }
    return cycles;
}

// On the 16F87/88 and 16F818/819 command 08 only erases, so Program All writes every
// program block, data byte and configuration word with 18. And no shipped algorithm
// programs a calibration word of configuration space: the erases leave those alone,
// and a write-back would AND a misread value into the factory word for good.
TEST(DeviceFileBoardTest, EveryWriteUsesTheChipsProgrammingCommand) {
    for (const std::string& name : shipped_model_names()) {
        SCOPED_TRACE(name);
        ModelOnBoard bench(name);
        bench.fill_image_at_random(11u);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
        const std::vector<CycleStart> cycles = cycles_started(bench.sent());
        const auto& calibration = bench.chip().info().calibration_words;
        for (const CycleStart& cycle : cycles) {
            EXPECT_EQ(std::find(calibration.begin(), calibration.end(), cycle.pc),
                      calibration.end())
                << "a programming cycle at calibration word " << hex4(cycle.pc) << "h";
        }
        if (bench.chip().rules().begin_08_erases_only) {
            const auto begins_with = [&cycles](std::uint8_t command) {
                return std::count_if(cycles.begin(), cycles.end(), [command](const CycleStart& c) {
                    return c.command == command;
                });
            };
            EXPECT_EQ(begins_with(0x08), 0);
            const MemoryImage& image = bench.state.image;
            const std::int32_t blocks = image.flash_size / bench.state.model.page_size;
            const std::int32_t config_words = image.config2_used ? 2 : 1;
            EXPECT_EQ(begins_with(0x18), blocks + image.eeprom_size + config_words);
        }
    }
}

// The 8-bit set's byte stream read back the way the chip reads it: each command
// with the PC it found, its payload when one follows, and how long the host
// waited after it before the next byte went out.
struct EightBitCommand {
    std::uint8_t code;
    std::int32_t pc;
    std::optional<std::int32_t> payload;
    int wait_ms;
};

std::vector<EightBitCommand> eight_bit_commands(
    const std::vector<std::uint8_t>& sent, const std::vector<std::pair<std::size_t, int>>& marks) {
    using namespace board_command;
    std::vector<EightBitCommand> commands;
    std::int32_t pc = 0;
    std::size_t mark = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == kChipCommand8 && i + 1 < sent.size()) {
            ++i;
            commands.push_back({sent[i], pc, std::nullopt, 0});
            if (sent[i] == 0xF8) {
                ++pc;
            }
        } else if (sent[i] == kPayload24 && i + 2 < sent.size()) {
            const std::int32_t value = sent[i + 1] | (sent[i + 2] << 8);
            i += 2;
            if (!commands.empty() && !commands.back().payload) {
                commands.back().payload = value;
                if (commands.back().code == 0x80) {
                    pc = value;
                } else if (commands.back().code == 0x02) {
                    ++pc;
                }
            }
        } else if (sent[i] == kReadPayload24 && !commands.empty() && commands.back().code == 0xFE) {
            ++pc;
        } else if (sent[i] == kVoltagesOnVppFirst || sent[i] == kVoltagesOnVddFirst) {
            pc = 0;
        } else {
            i += command_length(sent[i]) - 1;  // 104 and 105 of the ID probe
        }
        // The pauses that began once this frame had gone, before the next byte.
        for (; mark < marks.size() && marks[mark].first <= i + 1; ++mark) {
            if (marks[mark].first == i + 1 && !commands.empty()) {
                commands.back().wait_ms += marks[mark].second;
            }
        }
    }
    return commands;
}

// On the families whose Bulk Erase takes its regions from a payload, Erase All
// and Program All send 18h with a payload naming every region the part has (an
// 18h without one would take the next command's 24 bits as its regions), and wait
// at least their family's times: a 16F18076 TERAB 13 ms, TPINT 2.5 ms a row and 6 ms
// a configuration word, 5 ms an EEPROM byte; a 16F13145 20 ms, 7.5 ms and 13.5 ms;
// the families no figure could be had for at least the 16F131xx's times as its
// specification was read (20, 7 and 12 ms).
TEST(DeviceFileBoardTest, PayloadFamiliesEraseEveryRegionAndWaitTheirTimes) {
    const struct {
        const char* model;
        double erase_ms, row_ms, config_ms, eeprom_ms;
    } cases[] = {{"PIC16F18076", 13, 2.5, 6, 5},
                 {"PIC16F17146", 20, 7, 12, 12},
                 {"PIC16F18146", 20, 7, 12, 12},
                 {"PIC16F17576", 20, 7, 12, 12},
                 {"PIC16F13145", 20, 7.5, 13.5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        ModelOnBoard bench(c.model);
        const std::int32_t regions = 0x0E | (bench.chip().info().eeprom_bytes > 0 ? 0x01 : 0x00);
        bench.fill_image_at_random(5u);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
        const auto commands = eight_bit_commands(bench.sent(), bench.host.marks);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
        int erases = 0;
        int rows = 0;
        int config_words = 0;
        int eeprom_bytes = 0;
        for (const EightBitCommand& command : commands) {
            if (command.code == 0x18) {
                ++erases;
                ASSERT_TRUE(command.payload) << "a bulk erase without its payload";
                EXPECT_EQ(*command.payload, regions);
                EXPECT_GE(command.wait_ms, c.erase_ms);
            } else if (command.code == 0xE0 && command.pc < 0x8000) {
                ++rows;
                EXPECT_GE(command.wait_ms, c.row_ms) << "row at " << hex4(command.pc) << "h";
            } else if (command.code == 0xE0 && command.pc >= 0x8007 && command.pc <= 0x800B) {
                ++config_words;
                EXPECT_GE(command.wait_ms, c.config_ms) << "word at " << hex4(command.pc) << "h";
            } else if (command.code == 0xE0 && command.pc >= 0xF000) {
                ++eeprom_bytes;
                EXPECT_GE(command.wait_ms, c.eeprom_ms) << "byte at " << hex4(command.pc) << "h";
            }
        }
        EXPECT_EQ(erases, 2);  // Erase All, and Program All's own
        EXPECT_EQ(rows, bench.state.image.flash_size / 32);
        EXPECT_EQ(config_words, 5);
        EXPECT_EQ(eeprom_bytes > 0, bench.state.image.eeprom_size > 0);
    }
}

// Program All that keeps memories on a family whose erase takes its regions from a
// payload: the erase names only the regions written (the EEPROM kept on a 16F18076:
// 000Eh; program memory alone on a 16F13145: 0002h), no kept memory is read or
// written, the chip holds it as before, and Verify compares the rest only. On a
// code-protected chip (which erases every region or none) it stops before the erase.
// Every model of such a family erases by regions, no other model does.
TEST(DeviceFileBoardTest, ProgramAllKeepsMemoriesThroughTheRegionErase) {
    for (const std::string& name : test::shipped_model_names()) {
        const DeviceModel& model =
            test::shipped_database().model(test::model_number(test::shipped_database(), name));
        EXPECT_EQ(erase_keeps_regions(split_instructions(model.programalg)),
                  lower_copy(model.bulkerase) == "payload")
            << name;
    }
    const auto region_of = [](std::int32_t pc) {
        if (pc >= 0xF000) {
            return RegionSelection{false, true, false, false};
        }
        if (pc >= 0x8007 && pc <= 0x800D) {
            return RegionSelection{false, false, false, true};
        }
        if (pc >= 0x8000 && pc <= 0x8003) {
            return RegionSelection{false, false, true, false};
        }
        // The revision and the device ID (8005h, 8006h) belong to no region.
        return RegionSelection{pc < 0x8000, false, false, false};
    };
    const auto touches = [](const RegionSelection& a, const RegionSelection& b) {
        return (a.flash && b.flash) || (a.eeprom && b.eeprom) || (a.user_ids && b.user_ids) ||
               (a.config && b.config);
    };
    const struct {
        const char* model;
        RegionSelection kept;
        std::int32_t payload;
    } cases[] = {{"PIC16F18076", {false, true, false, false}, 0x0E},
                 {"PIC16F13145", {false, false, true, true}, 0x02}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        ModelOnBoard bench(c.model);
        const auto fill = [&](std::uint32_t seed) {
            bench.fill_image_at_random(seed);
            for (int k = 0; k < kUserIdCount; ++k) {
                (void)bench.state.image.set_user_id(k, static_cast<std::int32_t>(seed) * 16 + k);
            }
        };
        fill(21u);
        ASSERT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        Pic14Chip& chip = bench.chip();
        const auto snapshot = [&chip] {
            std::vector<std::int32_t> cells;
            for (std::int32_t a = 0; a < chip.flash_size(); ++a) {
                cells.push_back(chip.flash(a));
            }
            for (std::int32_t a = 0; a < chip.eeprom_size(); ++a) {
                cells.push_back(0x10000 + chip.eeprom(a));
            }
            for (std::int32_t a = 0x8000; a <= 0x8003; ++a) {
                cells.push_back(0x20000 + chip.config_space(a));
            }
            for (int n = 1; n <= chip.config_word_count(); ++n) {
                cells.push_back(0x30000 + chip.config_word(n));
            }
            return cells;
        };
        const std::vector<std::int32_t> before = snapshot();

        fill(22u);
        bench.state.erase_keeps = c.kept;
        const std::size_t from = bench.sent().size();
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        const std::vector<std::uint8_t> stream(bench.sent().begin() + static_cast<long>(from),
                                               bench.sent().end());
        int erases = 0;
        for (const EightBitCommand& command : eight_bit_commands(stream, {})) {
            if (command.code == 0x18) {
                ++erases;
                EXPECT_EQ(command.payload, c.payload);
            }
            // CONFIG5 is read for its code protection before the erase; nothing else
            // of a kept memory is read, and nothing of it written.
            const bool protection_read = command.code == 0xFC && command.pc == 0x800B;
            EXPECT_FALSE(command.code != 0x80 && !protection_read &&
                         touches(region_of(command.pc), c.kept))
                << "command " << hex2(command.code) << "h at " << hex4(command.pc) << "h";
        }
        EXPECT_EQ(erases, 1);
        const std::vector<std::int32_t> after = snapshot();
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const int region = before[i] >> 16;  // 0 flash, 1 EEPROM, 2 IDs, 3 configuration
            const bool kept = std::array{c.kept.flash, c.kept.eeprom, c.kept.user_ids,
                                         c.kept.config}[static_cast<std::size_t>(region)];
            if (kept) {
                EXPECT_EQ(after[i], before[i]) << "cell " << i << " of a kept memory";
            }
        }
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verified. "));
        // The image's own kept memories are not on the chip: a full Verify sees it.
        bench.state.erase_keeps = kNoRegions;
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));

        // Code protection on: refused before anything is erased.
        ASSERT_TRUE(bench.state.image.set_config_word(5, bench.state.image.config_word(5) & ~1));
        ASSERT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        ASSERT_TRUE(chip.program_protected());
        const std::vector<std::int32_t> locked = snapshot();
        fill(23u);
        bench.state.erase_keeps = c.kept;
        EXPECT_EQ(bench.run(OperationKind::Program), kRegionEraseProtectedText);
        EXPECT_TRUE(bench.state.operation_failed);
        EXPECT_EQ(snapshot(), locked);
        EXPECT_TRUE(chip.program_protected());
    }
}

// A 12F675's calibration is erased and written back in one unit. When Erase All or
// Program All ends in between (the time-out's abort, a board fallen silent, an
// answer lost on the line), the values are shown and kept in a recovery file, and
// the next run offers them; a calibration read that gives two values stops before
// anything is erased.
TEST(DeviceFileBoardTest, CalibrationSurvivesAnOperationEndedAfterTheErase) {
    const std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) / "corvanel-calibration-recovery";
    std::filesystem::remove_all(folder);
    // Ended once the erase has wiped the calibration: by the host's time-out, by
    // the board falling silent, or by an answer lost on the line.
    enum class End { Aborted, Silent, LostAnswer };
    for (const OperationKind kind : {OperationKind::Erase, OperationKind::Program}) {
        for (const End end : {End::Aborted, End::Silent, End::LostAnswer}) {
            SCOPED_TRACE(std::string(operation_name(kind)) + " end " +
                         std::to_string(static_cast<int>(end)));
            ModelOnBoard bench("PIC12F675");
            bench.state.calibration_folder = folder;
            bench.fill_image_at_random(3u);
            const std::uint16_t osccal = bench.chip().flash(0x3FF);
            const std::uint16_t band_gap = bench.chip().config_word(1) & 0x3000;

            bool faulted = false;
            bench.between_answers = [&bench, &faulted, end] {
                if (!faulted) {
                    if (!bench.state.runner.calibration_at_risk() ||
                        bench.chip().flash(0x3FF) != 0x3FFF) {
                        return true;
                    }
                    faulted = true;
                    BoardFaults faults;
                    switch (end) {
                        case End::Aborted:
                            abort_operation(bench.state, kNotRespondingText);
                            return false;
                        case End::Silent:
                            faults.stop_after_bytes = bench.channel().bytes_written();
                            break;
                        case End::LostAnswer:
                            faults.drop_answer = bench.channel().answers_produced() + 1;
                            break;
                    }
                    bench.channel().set_faults(faults);
                }
                if (bench.channel().has_waiting() || !bench.state.runner.running()) {
                    return true;
                }
                // Nothing more comes: the host's time-out ends it, and its
                // voltages-off reaches a board that has its hearing back.
                bench.channel().set_faults(BoardFaults{});
                EXPECT_TRUE(check_timeout(bench.state, 1e9));
                return false;
            };
            const std::string ended = bench.run(kind);
            EXPECT_TRUE(ended == kNotRespondingText || ended == kOutOfStepText) << ended;
            EXPECT_EQ(bench.chip().flash(0x3FF), 0x3FFF) << "the erase did run";
            ASSERT_FALSE(bench.host.messages.empty());
            const std::string shown = bench.host.messages.back().text;
            EXPECT_EQ(shown.rfind("OSCCAL was " + hex4h(osccal) + ", band-gap " +
                                      (band_gap == 0x2000   ? "10"
                                       : band_gap == 0x1000 ? "01"
                                                            : "00") +
                                      "b: ",
                                  0),
                      0u)
                << shown;
            const auto file = calibration_recovery_file(folder, "PIC12F675");
            EXPECT_TRUE(std::filesystem::exists(file)) << shown;

            // The next run asks, and "Yes" gives the chip its calibration back.
            bench.between_answers = nullptr;
            bench.host.question_answer = message_result::kYes;
            EXPECT_TRUE(starts_with(bench.run(kind), kind == OperationKind::Erase
                                                         ? "Chip erased. "
                                                         : "Chip programmed. "));
            ASSERT_FALSE(bench.host.messages.empty());
            EXPECT_NE(bench.host.messages.front().text.find("Write it back to the chip now?"),
                      std::string::npos);
            EXPECT_EQ(bench.chip().flash(0x3FF), osccal);
            EXPECT_EQ(bench.chip().config_word(1) & 0x3000, band_gap);
            EXPECT_FALSE(std::filesystem::exists(file)) << "the recovery file has served";
        }
    }

    // A run that ends well leaves no recovery file: the one written before the
    // erase has served.
    {
        ModelOnBoard bench("PIC12F675");
        bench.state.calibration_folder = folder;
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        EXPECT_FALSE(std::filesystem::exists(calibration_recovery_file(folder, "PIC12F675")));
    }
    // The values cannot be saved before the erase (the folder's name taken by a
    // file; another chip's values in the file): the user is told where and asked,
    // "No" leaves the chip as it was, "Yes" erases and writes them back.
    const std::filesystem::path blocked = folder / "blocked";
    std::ofstream(blocked) << "a file, not a folder";
    const std::filesystem::path other = folder / "other";
    ASSERT_TRUE(save_calibration(calibration_recovery_file(other, "PIC12F675"),
                                 SavedCalibration{0x3401, -1}));
    for (const auto& where : {blocked, other}) {
        SCOPED_TRACE(where.string());
        for (const int answer : {message_result::kNo, message_result::kYes}) {
            ModelOnBoard bench("PIC12F675");
            bench.state.calibration_folder = where;
            bench.chip().set_flash(0, 0x0123);
            const std::uint16_t osccal = bench.chip().flash(0x3FF);
            bench.host.question_answer = answer;
            const std::string status = bench.run(OperationKind::Erase);
            ASSERT_FALSE(bench.host.messages.empty());
            const std::string asked = bench.host.messages.back().text;
            EXPECT_NE(asked.find("cannot be saved in " +
                                 calibration_recovery_file(where, "PIC12F675").string()),
                      std::string::npos)
                << asked;
            EXPECT_NE(asked.find("Erase the chip anyway?"), std::string::npos) << asked;
            if (answer == message_result::kNo) {
                EXPECT_EQ(status, kCalibrationNotSavedStatus);
                EXPECT_EQ(bench.chip().flash(0), 0x0123) << "nothing may be erased";
            } else {
                EXPECT_TRUE(starts_with(status, "Chip erased. ")) << status;
                EXPECT_EQ(bench.chip().flash(0), 0x3FFF);
                EXPECT_EQ(bench.chip().flash(0x3FF), osccal);
            }
        }
    }
    EXPECT_EQ(load_saved_calibration(calibration_recovery_file(other, "PIC12F675"))->word, 0x3401)
        << "another chip's values are not replaced";

    // The two reads of the calibration word disagree (a garbled answer): nothing is
    // erased, and the chip keeps its calibration.
    ModelOnBoard bench("PIC12F675");
    bench.chip().set_flash(0, 0x0123);
    const std::uint16_t osccal = bench.chip().flash(0x3FF);
    bench.between_answers = [&bench, osccal] {
        if (bench.state.runner.kept_calibration_word >= 0) {
            bench.chip().set_flash(0x3FF, osccal ^ 0x0001);
        }
        return true;
    };
    EXPECT_EQ(bench.run(OperationKind::Erase), kUnsteadyCalibrationStatus);
    EXPECT_EQ(bench.chip().flash(0), 0x0123) << "nothing may be erased";
}

// Program All and Erase All read the device ID first. A chip that answers as
// another model, or an empty socket, is asked about; "No" leaves the chip as it
// was, with the voltages off and the commands unlocked.
TEST(DeviceFileBoardTest, DeviceIdGuardAsksBeforeProgramAndErase) {
    struct Case {
        const char* chip;
        std::uint8_t revision;
        OperationKind kind;
        const char* question;
        const char* cancelled;
    };
    const Case cases[] = {
        {"PIC16F877A", 2, OperationKind::Program,
         "The chip in the socket answers as PIC16F877A (ID 0E20h, revision 2), not PIC16F628A. "
         "Continue?",
         "Program all cancelled."},
        {"PIC16F648A", 19, OperationKind::Erase,
         "The chip in the socket answers as PIC16F648A (ID 1100h, revision 19), not "
         "PIC16F628A. Continue?",
         "Erase all cancelled."},
        {"PIC12F675", 1, OperationKind::Program,
         "The chip in the socket answers as PIC12F675 (ID 0FC0h, revision 1), not "
         "PIC16F628A. Continue?",
         "Program all cancelled."},
        {"none", 0, OperationKind::Erase, "No chip found (device ID 3FFFh). Continue?",
         "Erase all cancelled."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        ModelOnBoard bench("PIC16F628A", c.chip);
        bench.chip().set_revision(c.revision);
        bench.chip().set_flash(0, 0x1234);
        bench.state.image.flash[0] = 0x2805;

        EXPECT_EQ(bench.run(c.kind), c.cancelled);
        ASSERT_EQ(bench.host.messages.size(), 1u);
        EXPECT_EQ(bench.host.messages[0].text, c.question);
        EXPECT_EQ(bench.host.messages.back().kind, message_kind::kQuestion);
        EXPECT_TRUE(bench.state.operation_refused);
        if (!bench.chip().info().empty_socket) {
            EXPECT_EQ(bench.chip().flash(0), 0x1234) << "the chip was touched after all";
        }

        // "Yes" goes on with the operation itself.
        bench.host.question_answer = message_result::kYes;
        const std::string done = bench.run(c.kind);
        EXPECT_TRUE(starts_with(
            done, c.kind == OperationKind::Erase ? "Chip erased. " : "Chip programmed. "))
            << done;
        EXPECT_FALSE(bench.state.operation_refused);
    }

    // The model's own chip is never asked about.
    ModelOnBoard right("PIC16F628A");
    right.chip().set_revision(7);
    EXPECT_TRUE(starts_with(right.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_TRUE(right.host.messages.empty());
}

// Blank Check, Read All and Verify read the device ID first as well: an empty
// socket (every read answers 3FFFh, which looks blank) is a clear "no chip".
// "No" ends the operation with the voltages off; a Read All keeps the image.
TEST(DeviceFileBoardTest, EmptySocketFailsBlankCheckReadAndVerify) {
    const struct {
        OperationKind kind;
        const char* cancelled;
    } cases[] = {
        {OperationKind::Blank, "Blank check cancelled."},
        {OperationKind::Read, "Read all cancelled."},
        {OperationKind::Verify, "Verify cancelled."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(operation_name(c.kind));
        ModelOnBoard bench("PIC16F628A", "none");
        bench.state.image.flash[3] = 0x2805;
        EXPECT_EQ(bench.run(c.kind), c.cancelled);
        ASSERT_EQ(bench.host.messages.size(), 1u);
        EXPECT_EQ(bench.host.messages[0].text, "No chip found (device ID 3FFFh). Continue?");
        EXPECT_TRUE(bench.state.operation_refused);
        EXPECT_EQ(bench.state.image.flash[3], 0x2805) << "the image was lost";
    }
    // A model's own chip goes on without a question.
    ModelOnBoard right("PIC16F628A");
    EXPECT_TRUE(starts_with(right.run(OperationKind::Blank), "Chip is blank. "));
    EXPECT_TRUE(right.host.messages.empty());
}

// A byte doubled or thrown in anywhere in the ID read (14 answer bytes) puts
// every later answer out of step: the word read is not the chip's ID and a byte
// is left over. That is reported as out of step, never as a question about
// another chip, and the chip is not touched.
TEST(DeviceFileBoardTest, DeviceIdReadOutOfStepIsNotTakenForAnotherChip) {
    for (std::uint64_t answer = 1; answer <= 14; ++answer) {
        for (const bool doubled : {true, false}) {
            SCOPED_TRACE(std::to_string(answer) + (doubled ? " doubled" : " noise after"));
            ModelOnBoard bench("PIC16F628A");
            BoardFaults faults;
            (doubled ? faults.duplicate_answer : faults.garbage_answer) = answer;
            bench.channel().set_faults(faults);
            bench.chip().set_flash(0, 0x1234);
            bench.host.question_answer = message_result::kYes;
            EXPECT_EQ(bench.run(OperationKind::Program), kOutOfStepText);
            EXPECT_TRUE(bench.host.messages.empty()) << bench.host.messages[0].text;
            EXPECT_EQ(bench.chip().flash(0), 0x1234) << "the chip was touched after all";
        }
    }
}

// "Identify Chip" names every emulated chip by its model, whichever model is
// applied, with the revision; chips the database lacks are reported unknown.
TEST(DeviceFileBoardTest, IdentifyChipNamesEveryEmulatedChip) {
    for (const ChipInfo& info : known_chips()) {
        if (info.device_id == 0) {
            continue;  // 16F83, 16F84: no ID to read
        }
        if (info.revision_word) {
            continue;  // enhanced parts whose ID fills its word: the revision is at 8005h
        }
        SCOPED_TRACE(info.name);
        // The 16F84A model powers up Vdd first; the ID read must not.
        ModelOnBoard bench("PIC16F84A", info.name);
        bench.chip().set_revision(3);
        const std::string status = bench.identify();
        // Parts that share an ID (16F636 and 16F639) are named together.
        std::string names;
        for (const DeviceModel& model : shipped_database().models) {
            const auto key = parse_device_id(model.deviceid);
            if (key && key->id == info.device_id) {
                names += (names.empty() ? "" : " or ") + model.name;
            }
        }
        const bool in_database = names.find(info.name) != std::string::npos;
        const std::string id = " (ID " + hex4h(info.device_id) + ", revision 3)";
        if (info.revision_bits == 0) {
            // 16F83, 16F84: no device ID at all; the location reads 0000h.
            EXPECT_EQ(status, "No chip found (device ID 0000h).");
            EXPECT_EQ(bench.state.runner.device_id_word, 0);
            continue;
        }
        if (in_database) {
            EXPECT_EQ(status, "The chip in the socket answers as " + names + id + ".");
        } else {
            EXPECT_EQ(status, "The chip in the socket answers as an unknown chip" + id +
                                  ", which no model of the device database has.");
        }
        EXPECT_EQ(bench.state.runner.device_id_word, info.device_id | 3);
    }
    ModelOnBoard empty("PIC16F84A", "none");
    EXPECT_EQ(empty.identify(), "No chip found (device ID 3FFFh).");
}

// The parts of the 8-bit command set hear nothing in the 6-bit identify: a board
// that frames 8-bit commands asks again in them, and names every such chip with
// its revision (8005h). A board of the original protocol is not asked: no 108
// reaches it.
TEST(DeviceFileBoardTest, IdentifyNamesThe8BitPartsOnABoardThatFramesTheirCommands) {
    int named = 0;
    for (const ChipInfo& info : known_chips()) {
        if (info.empty_socket || !family_rules(info.family).eight_bit) {
            continue;
        }
        SCOPED_TRACE(info.name);
        ModelOnBoard bench("PIC16F84A", info.name);
        bench.state.board_answer = BoardAnswer::Identified;
        bench.state.board = BoardIdentity{1, board_identity::kHasCommands8, 64, 0, 0, 0};
        EXPECT_NE(bench.identify().find("answers as " + info.name + " (ID " +
                                        hex4h(info.device_id) + ", revision"),
                  std::string::npos);
        ++named;
    }
    EXPECT_GT(named, 100);
    ModelOnBoard plain("PIC16F84A", "PIC16F18877");
    plain.state.board_answer = BoardAnswer::Plain;
    EXPECT_EQ(plain.identify(), "No chip found (device ID 0000h).");
    const std::vector<std::uint8_t>& sent = plain.sent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), board_command::kChipCommand8), 0);
}

// An empty socket on a board that frames 8-bit commands is read in both sets
// and found empty, lock-step and sending ahead alike: a chip absent, never a
// line fault (which would end a batch run and drop the link to lock-step).
TEST(DeviceFileBoardTest, AnEmptySocketIsNoChipInBothCommandSetsAtAnyWindow) {
    for (const std::int32_t window : {0, 1, 16}) {
        SCOPED_TRACE("window " + std::to_string(window));
        ModelOnBoard empty("PIC16F628A", "none");
        empty.state.board_answer = BoardAnswer::Identified;
        empty.state.board = BoardIdentity{1, board_identity::kHasCommands8, 64, 0, 0, 0};
        empty.state.runner.window = window;
        empty.state.runner.fast_link = window > 0;
        EXPECT_EQ(empty.identify(), "No chip found (device ID 3FFFh).");
        EXPECT_FALSE(empty.state.operation_failed);
        EXPECT_TRUE(no_chip_answer(empty.state.runner.device_id_word));
        const std::vector<std::uint8_t>& sent = empty.sent();
        EXPECT_GT(std::count(sent.begin(), sent.end(), board_command::kChipCommand8), 0);
    }
}

// Program All of a 16F18877 speaks the 8-bit set only: every command is a
// no-operation or a voltage switch (100-103) or an 8-bit command, a payload or a
// read (108-110), each with its own data bytes; none of 104-106. And the chip
// holds the image afterwards.
TEST(DeviceFileBoardTest, ProgramAllOfAn8BitPartSendsOnlyItsOwnBoardCommands) {
    ModelOnBoard bench("PIC16F18877");
    bench.fill_image_at_random(18877);
    EXPECT_EQ(bench.run(OperationKind::Program).rfind("Chip programmed.", 0), 0u);
    const std::vector<std::uint8_t>& sent = bench.sent();
    std::size_t i = 0;
    std::set<std::uint8_t> commands;
    while (i < sent.size()) {
        const std::uint8_t command = sent[i];
        commands.insert(command);
        const bool known =
            (command >= board_command::kNop && command <= board_command::kVoltagesOff) ||
            (command >= board_command::kChipCommand8 && command <= board_command::kReadPayload24);
        ASSERT_TRUE(known) << "byte " << i << ": board command " << int{command};
        i += board_command::command_length(command);
    }
    EXPECT_EQ(i, sent.size()) << "a command cut short";
    EXPECT_EQ(commands, (std::set<std::uint8_t>{100, 102, 103, 108, 109, 110}));
    EXPECT_EQ(bench.run(OperationKind::Verify).rfind("Chip verified.", 0), 0u);
}

// An algorithm of the other command set cannot work: the chip takes neither the
// framing nor the codes. Each chip is programmed with its own algorithms, then
// verified with those of a part of the other set (same address map): the
// verify fails, it does not pass by accident.
TEST(DeviceFileBoardTest, AnAlgorithmOfTheOtherCommandSetFailsToVerify) {
    const struct {
        const char* model;
        const char* other;
    } cases[] = {{"PIC16F18877", "PIC16F18346"}, {"PIC16F18346", "PIC16F18877"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        ModelOnBoard bench(c.model);
        bench.fill_image_at_random(7);
        ASSERT_EQ(bench.run(OperationKind::Program).rfind("Chip programmed.", 0), 0u);
        ASSERT_EQ(bench.run(OperationKind::Verify).rfind("Chip verified.", 0), 0u);
        ProgramState other;
        ASSERT_TRUE(test::apply_shipped_model(other, c.other));
        bench.state.model.verify_list = other.model.verify_list;
        bench.state.model.command_set = other.model.command_set;
        bench.state.model.device_id.reset();  // the ID read would stop it sooner
        EXPECT_EQ(bench.run(OperationKind::Verify).rfind("Chip verify failed.", 0), 0u);
    }
}

// A payload family's Program All: the erase given, then program memory in rows,
// the EEPROM byte by byte with its own wait, the user IDs and the five
// configuration words with theirs.
std::string payload_program(const std::string& erase, bool eeprom, int word_ms, int eeprom_ms) {
    const auto words = [word_ms](const char* what) {
        std::string text;
        for (int i = 1; i <= 5 && (i <= 4 || std::string(what) == "config"); ++i) {
            text += std::string(i > 1 ? ",sf8," : "") + "s00-" + what + std::to_string(i) +
                    ",se0,w" + std::to_string(word_ms);
        }
        return text;
    };
    return erase +
           ",begin,s80-0000,calcflashpage,setflashloop,s02-flash,ifpage,s80-row,se0,wprog,"
           "s80-address,endifpage,loop,end," +
           (eeprom ? "begin,s80-f000,calceeprom,seteepromloop,s00-eeprom,se0,w" +
                         std::to_string(eeprom_ms) + ",sf8,loop,end,"
                   : std::string()) +
           "begin,ifuserids,s80-8000," + words("userid") + ",endifuserids,end," +
           "begin,s80-8007," + words("config") + ",end";
}

// The families whose 18h takes its regions from a payload, with the algorithms of
// the device file (18h and the payload 000Fh naming every region; the 16F180xx's
// erase of 16 ms, rows of 3 ms and configuration words of 8 ms, the 16F131xx's 24,
// 9 and 17 ms) and with the ones it held before (18h by PC, 3 ms rows on the
// 16F131xx): the old Erase All leaves a used chip unerased and a protected one
// locked, the old Program All does not verify; the right ones program, verify,
// erase, blank-check and unlock a code-protected chip.
TEST(DeviceFileBoardTest, PayloadEraseFamiliesNeedTheAlgorithmsOfTheirOwnDocuments) {
    struct Algorithms {
        std::string erase;
        std::string program;
        int row_ms;
    };
    struct Case {
        const char* model;
        Algorithms old_ones;
        Algorithms right;
    };
    const std::string old_erase_18076 = "begin,s80-8000,s18,w14,s80-f000,s18,w14,end";
    const std::string old_erase_13145 = "begin,s80-8000,s18,w14,end";
    const Case cases[] = {
        {"PIC16F18076",
         {old_erase_18076, payload_program(old_erase_18076, true, 10, 6), 3},
         {"begin,s18-000f,w16,end", payload_program("begin,s18-000f,w16,end", true, 8, 6), 3}},
        {"PIC16F13145",
         {old_erase_13145, payload_program(old_erase_13145, false, 10, 0), 3},
         {"begin,s18-000e,w24,end", payload_program("begin,s18-000e,w24,end", false, 17, 0), 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        ModelOnBoard bench(c.model);
        const auto use = [&](const Algorithms& a) {
            bench.state.model.erase_list = split_instructions(a.erase);
            bench.state.model.program_list = split_instructions(a.program);
            bench.state.model.programming_time = a.row_ms;
        };
        const auto status = [&](OperationKind kind, std::string_view expected) {
            const std::string got = bench.run(kind);
            EXPECT_TRUE(starts_with(got, expected)) << operation_name(kind) << ": " << got;
        };

        use(c.right);
        bench.fill_image_at_random(11u);
        status(OperationKind::Program, "Chip programmed. ");
        status(OperationKind::Verify, "Chip verified. ");

        // The old algorithms on the used chip.
        use(c.old_ones);
        status(OperationKind::Erase, "Chip erased. ");
        status(OperationKind::Blank, "Chip is not blank. ");
        bench.fill_image_at_random(12u);
        status(OperationKind::Program, "Chip programmed. ");
        status(OperationKind::Verify, "Chip verify failed. ");

        use(c.right);
        status(OperationKind::Erase, "Chip erased. ");
        status(OperationKind::Blank, "Chip is blank. ");
        status(OperationKind::Program, "Chip programmed. ");
        status(OperationKind::Verify, "Chip verified. ");

        // CP on (CONFIG5 bit 0): only the erase with the configuration region lifts it.
        ASSERT_TRUE(bench.state.image.set_config_word(5, bench.state.image.config_word(5) & ~1));
        status(OperationKind::Program, "Chip programmed. ");
        ASSERT_TRUE(bench.chip().program_protected());
        use(c.old_ones);
        status(OperationKind::Erase, "Chip erased. ");
        EXPECT_TRUE(bench.chip().program_protected());
        status(OperationKind::Blank, "Chip is not blank. ");
        use(c.right);
        status(OperationKind::Erase, "Chip erased. ");
        EXPECT_FALSE(bench.chip().program_protected());
        status(OperationKind::Blank, "Chip is blank. ");
    }
}

// The emulated 16F180xx and 16F131xx take their cycles from their own figures, not
// from the device file: Program All over a used chip with every wait as the device
// file has it verifies, and with any one wait a little below the family's figure
// (the erase leaves the old content, which programming only ANDs; a cut write leaves
// its row, word or byte as it was) it does not. The 16F131xx's rows of 7 ms and
// configuration words of 13 ms, enough for the figures the review read, are not.
TEST(DeviceFileBoardTest, PayloadFamiliesFailAWaitBelowTheirFigures) {
    struct Waits {
        int erase_ms, row_ms, word_ms, eeprom_ms;
    };
    const struct {
        const char* model;
        const char* what;
        Waits waits;
        bool verifies;
    } cases[] = {
        {"PIC16F18076", "the device file's waits", {16, 3, 8, 6}, true},
        {"PIC16F18076", "erase 12 ms (TERAB 13 ms)", {12, 3, 8, 6}, false},
        {"PIC16F18076", "row 2 ms (TPINT 2.5 ms)", {16, 2, 8, 6}, false},
        {"PIC16F18076", "configuration word 5 ms (6 ms)", {16, 3, 5, 6}, false},
        {"PIC16F18076", "EEPROM byte 4 ms (5 ms)", {16, 3, 8, 4}, false},
        {"PIC16F13145", "the device file's waits", {24, 9, 17, 0}, true},
        {"PIC16F13145", "erase 19 ms (TERAB 20 ms)", {19, 9, 17, 0}, false},
        {"PIC16F13145", "row 7 ms (TPINT 7.5 ms)", {24, 7, 17, 0}, false},
        {"PIC16F13145", "configuration word 13 ms (13.5 ms)", {24, 9, 13, 0}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + ", " + c.what);
        ModelOnBoard bench(c.model);
        const bool eeprom = bench.chip().info().eeprom_bytes > 0;
        bench.fill_image_at_random(21u);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));

        const std::string erase = std::string("begin,s18-") + (eeprom ? "000f" : "000e") + ",w" +
                                  std::to_string(c.waits.erase_ms) + ",end";
        bench.state.model.erase_list = split_instructions(erase);
        bench.state.model.program_list =
            split_instructions(payload_program(erase, eeprom, c.waits.word_ms, c.waits.eeprom_ms));
        bench.state.model.programming_time = c.waits.row_ms;
        bench.fill_image_at_random(22u);
        EXPECT_TRUE(starts_with(bench.run(OperationKind::Program), "Chip programmed. "));
        const std::string verify = bench.run(OperationKind::Verify);
        EXPECT_TRUE(starts_with(verify, c.verifies ? "Chip verified. " : "Chip verify failed. "))
            << verify;
    }
}

}  // namespace
}  // namespace corvanel
