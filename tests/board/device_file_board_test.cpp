// Every model of the shipped device database, run through all five chip
// operations against the virtual board's emulation of the same chip: the
// algorithms of the file must really erase, program, read, blank-check and
// verify that chip.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/devices/device_database.h"
#include "core/devices/device_identity.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"
#include "support/engine_fakes.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

using test::kShippedFile;
using test::shipped_database;
using test::shipped_model_names;

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
    BoardChannel& channel() { return channel_; }
    // The configuration word 1 bits that are 1 while neither memory is protected.
    std::int32_t unprotected_bits() { return chip().rules().cp_bits | chip().rules().cpd_bits; }

    test::RecordingHost host;
    ProgramState state;

private:
    VirtualBoard board_;
    BoardChannel channel_;
};

bool starts_with(const std::string& text, std::string_view start) {
    return text.rfind(start, 0) == 0;
}

class ShippedModelTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedModelTest, AllFiveOperationsWorkOnTheChip) {
    ModelOnBoard bench(GetParam());
    bench.fill_image_at_random(static_cast<std::uint32_t>(bench.state.selected_model) * 7919u);
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
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    EXPECT_EQ(bench.state.report.mismatch_count, has_eeprom ? 2 : 1);
    EXPECT_EQ(bench.state.report.mismatch_report, expected_report);
    ASSERT_EQ(bench.host.messages.size(), 1u);
    EXPECT_EQ(bench.host.messages[0].text, "Chip verify failed:\r\n\r\n" + expected_report);
    EXPECT_EQ(bench.host.messages.back().kind, message_kind::kError);

    EXPECT_TRUE(starts_with(bench.run(OperationKind::Erase), "Chip erased. "));
    EXPECT_EQ(bench.state.image.flash, written.flash) << "Erase All leaves the image alone";
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Blank), "Chip is blank. "));
    EXPECT_TRUE(bench.host.messages.empty());
}

TEST_P(ShippedModelTest, ProgramAllOfABlankImageLeavesAnErasedChip) {
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

INSTANTIATE_TEST_SUITE_P(DeviceFile, ShippedModelTest, ::testing::ValuesIn(shipped_model_names()),
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
TEST_P(ShippedModelTest, ConfigWordsCompareOnTheImplementedBitsOnly) {
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
    bench.chip().set_config_space(0x2007, static_cast<std::uint16_t>(changed));
    EXPECT_TRUE(starts_with(bench.run(OperationKind::Verify), "Chip verify failed. "));
    // The report shows the whole words, as read and as in the image.
    EXPECT_EQ(bench.state.report.mismatch_report, MismatchReport::header() + "CONF Word 2007h,   " +
                                                      hex4h(changed) + ",   " +
                                                      hex4h(bench.state.image.config1) + ",\r\n");

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

}  // namespace
}  // namespace corvanel
