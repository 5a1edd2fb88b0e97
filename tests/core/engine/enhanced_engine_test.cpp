// SPDX-License-Identifier: GPL-3.0-or-later
// The interpreter on enhanced mid-range models: the low-voltage entry, up to
// five configuration words, and the device ID with its revision.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/devices/algorithm_check.h"
#include "core/devices/device_identity.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/vpp_guard.h"
#include "support/engine_fakes.h"
#include "support/test_devices.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The engine with model `number` of the enhanced test devices applied.
struct EnhancedBench : test::EngineFixture {
    explicit EnhancedBench(int number) {
        EXPECT_EQ(parse_device_database(test::kTestDevicesEnhanced, "enhanced.txt", state.database)
                      .status,
                  DatabaseStatus::Loaded);
        state.selected_model = number;
        EXPECT_TRUE(apply_model(state.database, number, state.model, state.image));
        state.image.clear_image();
    }

    StartResult start(OperationKind kind) {
        const StartResult result = start_operation(state, kind);
        pump(state, channel);
        return result;
    }

    // How often the two bytes stand in a row among those written.
    [[nodiscard]] int count_pair(std::uint8_t first, std::uint8_t second) const {
        int count = 0;
        const Bytes& bytes = channel.written;
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
            count += bytes[i] == first && bytes[i + 1] == second ? 1 : 0;
        }
        return count;
    }
    [[nodiscard]] int count_byte(std::uint8_t byte) const {
        return static_cast<int>(std::count(channel.written.begin(), channel.written.end(), byte));
    }

    // The data words sent with 105, in order.
    [[nodiscard]] std::vector<std::int32_t> data_words() const {
        std::vector<std::int32_t> words;
        const Bytes& bytes = channel.written;
        for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
            if (bytes[i] == 105 && (i == 0 || bytes[i - 1] != 104)) {
                words.push_back(bytes[i + 1] | (bytes[i + 2] << 8));
                i += 2;
            }
        }
        return words;
    }
};

struct EntryCase {
    const char* what;
    int model;
    ProgrammingEntry entry;
    std::optional<double> board_vpp;
    StartResult result;
    int low_voltage_entries;   // 104 40h sent: the ID read's "beginvppvdd" and the erase's "begin"
    int high_voltage_entries;  // 101 or 102 sent
    int questions;
};

// With low voltage chosen, every entry of a model with "lvp: true" is 104 40h
// and the board's Vpp is not asked about (it never reaches the chip); a model
// without it is refused before a single byte goes out.
TEST(EnhancedEngine, ProgrammingEntry) {
    const std::vector<EntryCase> cases{
        {"high voltage", 1, ProgrammingEntry::HighVoltage, std::nullopt, StartResult::Started, 0, 2,
         0},
        {"low voltage", 1, ProgrammingEntry::LowVoltage, std::nullopt, StartResult::Started, 2, 0,
         0},
        {"low voltage, 13 V board", 1, ProgrammingEntry::LowVoltage, 13.0, StartResult::Started, 2,
         0, 0},
        // Refused outright: no question a hasty Yes (or --force) could answer.
        {"high voltage, 13 V board", 1, ProgrammingEntry::HighVoltage, 13.0, StartResult::Refused,
         0, 0, 0},
        {"low voltage, model without lvp", 3, ProgrammingEntry::LowVoltage, std::nullopt,
         StartResult::Refused, 0, 0, 0},
        {"high voltage, model without lvp", 3, ProgrammingEntry::HighVoltage, std::nullopt,
         StartResult::Started, 0, 1, 0},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.what);
        EnhancedBench bench(c.model);
        bench.state.programming_entry = c.entry;
        bench.state.board_vpp = c.board_vpp;
        bench.channel.read_words.push_back(0x1483);  // a 16F1847, revision 3
        EXPECT_EQ(bench.start(OperationKind::Erase), c.result);
        EXPECT_EQ(bench.count_pair(104, 0x40), c.low_voltage_entries);
        EXPECT_EQ(bench.count_byte(101) + bench.count_byte(102), c.high_voltage_entries);
        int questions = 0;
        for (const auto& message : bench.host.messages) {
            questions += (message.kind & ~message_kind::kDefaultButton2) == message_kind::kQuestion;
        }
        EXPECT_EQ(questions, c.questions);
        if (c.result == StartResult::Started) {
            EXPECT_FALSE(bench.state.runner.running());
            EXPECT_EQ(bench.channel.written.back(), 103);  // the voltages go off at the end
            EXPECT_FALSE(bench.state.operation_refused);
        } else {
            EXPECT_TRUE(bench.state.operation_refused);
        }
        if (c.model == 3 && c.entry == ProgrammingEntry::LowVoltage) {
            EXPECT_TRUE(bench.channel.written.empty());
            ASSERT_EQ(bench.host.messages.size(), 1U);
            EXPECT_NE(bench.host.messages[0].text.find("PIC16F18313"), std::string::npos);
            EXPECT_NE(bench.host.messages[0].text.find("\"lvp: true\""), std::string::npos);
            EXPECT_EQ(bench.host.status(), kLowVoltageRefusedStatus);
            // "Identify Chip" is refused the same way.
            EXPECT_EQ(start_identify(bench.state), StartResult::Refused);
            EXPECT_TRUE(bench.channel.written.empty());
        }
    }
}

// Codes 40h-7Fh are the board's own extensions: the file may use them, and
// they go out after 104 like any command code (Load PC Address with its word).
TEST(EnhancedEngine, BoardExtensionCodesPassUnchanged) {
    EXPECT_EQ(algorithm_problem("begin,s41-f000,s7f,end"), "");
    EnhancedBench bench(3);
    bench.run({"begin", "s41-f000", "s7f", "end"}, OperationKind::Erase);
    // The model has an ID: its read comes first, then the script's own bytes.
    const Bytes& written = bench.channel.written;
    const Bytes tail{102, 104, 0x41, 105, 0x00, 0xF0, 104, 0x7F, 103};
    ASSERT_GE(written.size(), tail.size());
    EXPECT_EQ(Bytes(written.end() - static_cast<std::ptrdiff_t>(tail.size()), written.end()), tail);
}

TEST(EnhancedEngine, ProgramAndReadEveryConfigurationWord) {
    EnhancedBench program(3);
    const std::vector<std::int32_t> words{0x2977, 0x3AEF, 0x2003, 0x0003};
    for (int number = 1; number <= 4; ++number) {
        ASSERT_TRUE(program.state.image.set_config_word(number, words[number - 1]));
    }
    EXPECT_EQ(program.start(OperationKind::Program), StartResult::Started);
    EXPECT_EQ(program.data_words(),
              std::vector<std::int32_t>(
                  {0x3FFF, 0x2977, 0x3AEF, 0x2003, 0x0003}));  // 3FFFh: Load Configuration
    EXPECT_EQ(program.host.status().rfind("Chip programmed.", 0), 0U) << program.host.status();

    EnhancedBench read(3);
    read.channel.read_words = {0x1111, 0x2222, 0x0333, 0x0003};
    EXPECT_EQ(read.start(OperationKind::Read), StartResult::Started);
    EXPECT_EQ(read.state.image.config_word(1), 0x1111);
    EXPECT_EQ(read.state.image.config_word(2), 0x2222);
    EXPECT_EQ(read.state.image.config_word(3), 0x0333);
    EXPECT_EQ(read.state.image.config_word(4), 0x0003);
    EXPECT_EQ(read.state.image.config_word(5), 0x3FFF);
}

struct VerifyCase {
    const char* what;
    std::vector<std::int32_t> chip;  // what the four words read
    std::string report;              // the mismatch lines after the header
};

// Verify compares each word under its own mask and names it by its address.
TEST(EnhancedEngine, VerifyNamesTheRealAddresses) {
    const std::vector<VerifyCase> cases{
        {"all agree", {0x2977, 0x3AEF, 0x2003, 0x0003}, ""},
        // Bits outside the masks (2977h 3AEFh 2003h 0003h) are the silicon's.
        {"unimplemented bits differ", {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, ""},
        {"word 3 differs",
         {0x2977, 0x3AEF, 0x0003, 0x0003},
         "CONF Word 8009h,   0003h,   2003h,\r\n"},
        {"words 1 and 4 differ",
         {0x2976, 0x3AEF, 0x2003, 0x0001},
         "CONF Word 8007h,   2976h,   2977h,\r\nCONF Word 800Ah,   0001h,   0003h,\r\n"},
    };
    for (const VerifyCase& c : cases) {
        SCOPED_TRACE(c.what);
        EnhancedBench verify(3);
        const std::vector<std::int32_t> words{0x2977, 0x3AEF, 0x2003, 0x0003};
        for (int number = 1; number <= 4; ++number) {
            ASSERT_TRUE(verify.state.image.set_config_word(number, words[number - 1]));
        }
        verify.channel.read_words.assign(c.chip.begin(), c.chip.end());
        EXPECT_EQ(verify.start(OperationKind::Verify), StartResult::Started);
        EXPECT_EQ(verify.state.report.mismatch_report, MismatchReport::header() + c.report);
    }

    // Blank check of three words against their erased values.
    EnhancedBench blank(2);
    blank.channel.read_words = {0x2001, 0x3078, 0x3FFF, 0x3FFF, 0x3F7E};  // revision, ID, words
    EXPECT_EQ(blank.start(OperationKind::Blank), StartResult::Started);
    EXPECT_EQ(blank.state.report.mismatch_report,
              MismatchReport::header() + "CONF Word 8009h,   3F7Eh,   3FFFh,\r\n");
}

// The two ID formats: the classic one keeps the revision in the ID word's low
// bits; the full-word one (3000h and up) in the word at 8005h ("revaddr:").
TEST(EnhancedEngine, DeviceIdAndRevision) {
    DeviceDatabase database;
    ASSERT_EQ(parse_device_database(test::kTestDevicesEnhanced, "e.txt", database).status,
              DatabaseStatus::Loaded);
    struct Case {
        std::int32_t id_word;
        std::int32_t revision_word;
        std::string report;
    };
    const std::vector<Case> cases{
        {0x1483, 0x3FFF, "The chip in the socket answers as PIC16F1847 (ID 1480h, revision 3)."},
        {0x3078, 0x2005, "The chip in the socket answers as PIC16F1614 (ID 3078h, revision 5)."},
        {0x3078, 0x2FFF, "The chip in the socket answers as PIC16F1614 (ID 3078h, revision 4095)."},
        {0x3079, 0x2002,
         "The chip in the socket answers as an unknown chip (ID 3079h, revision 2), which no "
         "model of the device database has."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(identify_report(database, c.id_word, c.revision_word), c.report);
    }

    // Identify Chip reads the revision word, then the ID.
    EnhancedBench identify(2);
    identify.channel.read_words = {0x2003, 0x3078};
    EXPECT_EQ(start_identify(identify.state), StartResult::Started);
    pump(identify.state, identify.channel);
    EXPECT_EQ(identify.host.status(),
              "The chip in the socket answers as PIC16F1614 (ID 3078h, revision 3).");

    // The model's own ID algorithm reads the revision too; a 16F1847 in the
    // socket of a 16F1614 is asked about, with the revision of its own format.
    EnhancedBench wrong(2);
    wrong.channel.read_words = {0x3FFF, 0x1483};
    EXPECT_EQ(wrong.start(OperationKind::Erase), StartResult::Started);
    ASSERT_EQ(wrong.host.messages.size(), 1U);
    EXPECT_EQ(wrong.host.messages[0].text,
              "The chip in the socket answers as PIC16F1847 (ID 1480h, revision 3), not "
              "PIC16F1614. Continue?");
    EXPECT_TRUE(wrong.state.operation_refused);
}

}  // namespace
}  // namespace corvanel
