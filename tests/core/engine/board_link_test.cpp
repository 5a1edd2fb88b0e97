// SPDX-License-Identifier: GPL-3.0-or-later
// The link's side of a board that says what it is: the identify record read
// at the port, the supply and programming-voltage guards fed from it, and the
// answers checked byte for byte against the commands that asked for them.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/devices/vdd_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/send_ahead_probe.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An identify answer: the 11-byte record and 107.
Bytes record(int version, std::uint16_t features, int buffer, int vdd_selected, int vdd_measured,
             int vpp_measured) {
    auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    auto hi = [](int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
    return {static_cast<std::uint8_t>(version),
            lo(features),
            hi(features),
            lo(buffer),
            hi(buffer),
            lo(vdd_selected),
            hi(vdd_selected),
            lo(vdd_measured),
            hi(vdd_measured),
            lo(vpp_measured),
            hi(vpp_measured),
            107};
}

// A version-2 answer: the version-1 fields, then the Vpp level, the status, the
// last refusal, the target's Vdd and the reserved byte, and 107.
Bytes record2(std::uint16_t features, int vdd_selected, int vdd_measured, int vpp_measured,
              int level, int status = 0, int refusal = 0, int target_vdd = 0) {
    Bytes b = record(2, features, 64, vdd_selected, vdd_measured, vpp_measured);
    b.pop_back();
    for (const int v : {level, status, refusal, target_vdd & 0xFF, target_vdd >> 8, 0, 107}) {
        b.push_back(static_cast<std::uint8_t>(v));
    }
    return b;
}

constexpr std::uint16_t kSelectAndVpp = board_feature::kVddSelect | board_feature::kVppMeasured;

// --- Identify -------------------------------------------------------------------
// A board that selects Vdd (the firmware's record, a later version with every
// feature bit) is named with the Vdd this model gets, not the one it last gave.

struct IdentifyCase {
    const char* name;
    Bytes answer;
    BoardAnswer expected;
    std::string text;         // board_status_text
    std::int32_t window = 0;  // the declared window, when identified
    int asked = 1;            // 107s written: a garbled answer is asked once more
};

void PrintTo(const IdentifyCase& c, std::ostream* os) {
    *os << c.name;
}

class IdentifyTest : public ::testing::TestWithParam<IdentifyCase>,
                     protected test::EngineFixture {};

TEST_P(IdentifyTest, ReadsTheRecordOrTakesThePlainBoard) {
    const IdentifyCase& c = GetParam();
    channel.identify_answer = c.answer;
    EXPECT_EQ(identify_board(state), c.expected);
    EXPECT_EQ(state.board_answer, c.expected);
    EXPECT_EQ(state.board.has_value(), c.expected == BoardAnswer::Identified);
    EXPECT_EQ(board_status_text(state), c.text);
    EXPECT_EQ(std::count(channel.written.begin(), channel.written.end(), 107), c.asked);
    if (state.board) {
        EXPECT_EQ(state.board->send_ahead_window(), c.window);
    }
    // Nothing of the answer is left for the next operation's commands.
    EXPECT_TRUE(channel.incoming.empty());
    EXPECT_EQ(state.link.answers_due(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Records, IdentifyTest,
    ::testing::Values(
        // The board gives 3.3 V: 5 V is selected, and the rails read again.
        IdentifyCase{"Firmware", record(1, kSelectAndVpp | 0x03, 64, 3300, 0, 8600),
                     BoardAnswer::Identified, "Corvanel board v1, Vdd 5.0 V, Vpp 8.6 V", 21, 2},
        IdentifyCase{"ServerWithoutVpp", record(1, 0x03, 256, 5000, 0, 0), BoardAnswer::Identified,
                     "Corvanel board v1, Vdd 5.0 V", 85},
        IdentifyCase{"MeasuredVddOnly", record(1, board_feature::kVddMeasured, 96, 0, 4650, 0),
                     BoardAnswer::Identified, "Corvanel board v1, Vdd 4.65 V", 32},
        IdentifyCase{"Version2WithLevelsAndCalibration",
                     record2(kSelectAndVpp | board_identity::kHasVppLevels |
                                 board_identity::kHasVppCalibration,
                             5000, 4980, 8700, board_identity::kLevelLow, 1),
                     BoardAnswer::Identified,
                     "Corvanel board v2, Vdd 5.0 V, Vpp 8.7 V (calibrated)", 21},
        IdentifyCase{"Version2CutToAVersion1Length",
                     [] {
                         Bytes b = record(2, 0, 64, 5000, 0, 0);
                         return b;
                     }(),
                     BoardAnswer::Garbled, std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"UnknownVersion", record(3, 0, 64, 5000, 0, 0), BoardAnswer::Garbled,
                     std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{
            "SilentBoardIsPlain", {}, BoardAnswer::Plain, "Plain board (original protocol)"},
        IdentifyCase{
            "EchoOnlyIsGarbled", {107}, BoardAnswer::Garbled, std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"ShortRecord", Bytes{1, 0, 0, 64, 0, 0xE4, 0x0C, 0, 0, 0, 107},
                     BoardAnswer::Garbled, std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"RecordTooLong",
                     [] {
                         Bytes b = record(1, 0, 64, 5000, 0, 0);
                         b.push_back(107);
                         return b;
                     }(),
                     BoardAnswer::Garbled, std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"WrongClosingByte",
                     [] {
                         Bytes b = record(1, 0, 64, 5000, 0, 0);
                         b.back() = 106;
                         return b;
                     }(),
                     BoardAnswer::Garbled, std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"VersionZero", record(0, 0, 64, 5000, 0, 0), BoardAnswer::Garbled,
                     std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"NoBuffer", record(1, 0, 2, 5000, 0, 0), BoardAnswer::Garbled,
                     std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"VddBeyondAnyPart", record(1, 0, 64, 9000, 0, 0), BoardAnswer::Garbled,
                     std::string(kGarbledBoardText), 0, 2},
        IdentifyCase{"VppBeyondAnyModule", record(1, 0, 64, 5000, 0, 40000), BoardAnswer::Garbled,
                     std::string(kGarbledBoardText), 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IdentifyTest, NothingIsSentWhileTestVppHoldsTheVoltages) {
    channel.identify_answer = record(1, 0, 64, 5000, 0, 0);
    state.link.vpp_test_on = true;
    EXPECT_EQ(identify_board(state), BoardAnswer::NotAsked);
    EXPECT_TRUE(channel.written.empty());
}

// --- Guards ---------------------------------------------------------------------

struct GuardCase {
    const char* name;
    const char* model;
    const char* vdd;  // the model's "vdd:" text; "" for none
    OperationKind kind;
    std::optional<double> board_vdd;  // "Board Vdd" / --vdd
    std::optional<double> board_vpp;  // "Board Vpp"
    Bytes identify;                   // the board's answer to 107; empty: a plain board
    const char* asked;                // a piece of the question; "" for none
    Bytes first_commands;             // what reaches the board first when the user goes on
    bool hard = false;                // refused whatever the answer: nothing but 107 is sent
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

class GuardTest : public ::testing::TestWithParam<GuardCase>, protected test::EngineFixture {};

TEST_P(GuardTest, AsksBeforeAnyVoltageAndSelectsTheSupply) {
    const GuardCase& c = GetParam();
    state.model.model_name = c.model;
    if (*c.vdd != '\0') {
        state.model.vdd_window = parse_vdd_window(c.vdd);
        ASSERT_TRUE(state.model.vdd_window) << c.vdd;
    }
    state.model.vpp_window = VppWindow{8.0, 9.0};
    state.board_vdd = c.board_vdd;
    // A plain board's Vpp must be known for a window that tops at 9 V.
    state.board_vpp = c.board_vpp || !c.identify.empty() ? c.board_vpp : 8.5;
    channel.identify_answer = c.identify;
    (void)identify_board(state);
    channel.written.clear();
    const std::size_t answered_at_open = 0;

    // No: nothing but the board's identify reaches it, and the operation is refused.
    host.question_answer = message_result::kNo;
    const StartResult refused = run({"begin", "s02", "end"}, c.kind);
    if (*c.asked == '\0') {
        EXPECT_EQ(refused, StartResult::Started);
        EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
    } else {
        EXPECT_EQ(refused, StartResult::Refused);
        ASSERT_EQ(host.messages.size(), 1U);
        EXPECT_NE(host.messages[0].text.find(c.asked), std::string::npos) << host.messages[0].text;
        for (std::size_t i = answered_at_open; i < channel.written.size(); ++i) {
            EXPECT_EQ(channel.written[i], 107) << "byte " << i << " before any voltage";
        }
        EXPECT_TRUE(state.operation_refused);
        // Yes: the operation runs, unless the voltage would harm the chip.
        host.question_answer = message_result::kYes;
        channel.written.clear();
        EXPECT_EQ(run({"begin", "s02", "end"}, c.kind),
                  c.hard ? StartResult::Refused : StartResult::Started);
        if (c.hard) {
            EXPECT_EQ(std::count(channel.written.begin(), channel.written.end(), 107),
                      static_cast<std::ptrdiff_t>(channel.written.size()));
            EXPECT_EQ(host.messages.back().kind, message_kind::kError);
            return;
        }
    }
    // The voltages-on and what comes before it (107s of the identify skipped).
    Bytes sent;
    for (const std::uint8_t b : channel.written) {
        if (b != 107 || !sent.empty()) {
            sent.push_back(b);
        }
    }
    sent.resize(std::min(sent.size(), c.first_commands.size()));
    EXPECT_EQ(sent, c.first_commands);
    EXPECT_FALSE(state.operation_failed);
}

const Bytes kVddSelectBoard = record(1, kSelectAndVpp, 64, 3300, 0, 8500);

INSTANTIATE_TEST_SUITE_P(
    Decisions, GuardTest,
    ::testing::Values(GuardCase{"LfPartOnA5VoltSetting",
                                "PIC16LF1554",
                                "1.8 3.6",
                                OperationKind::Program,
                                5.0,
                                std::nullopt,
                                {},
                                "The board's Vdd is 5.0 V, above the window of "
                                "PIC16LF1554 (1.8-3.6 V)",
                                {},
                                true},
                      GuardCase{"LfPartWithVddUnknown",
                                "PIC16LF1554",
                                "1.8 3.6",
                                OperationKind::Verify,
                                std::nullopt,
                                std::nullopt,
                                {},
                                "is a low-voltage part",
                                {101}},
                      GuardCase{"LfPartWithoutWindowStillAsked",
                                "PIC12LF1552",
                                "",
                                OperationKind::Read,
                                std::nullopt,
                                std::nullopt,
                                {},
                                "not known",
                                {101}},
                      GuardCase{"BoardReports3V3",
                                "PIC16LF1554",
                                "1.8 3.6",
                                OperationKind::Program,
                                5.0,
                                std::nullopt,
                                record(1, 0, 64, 3300, 0, 0),
                                "",
                                {101}},
                      GuardCase{"BoardReports5VOverridesTheSetting",
                                "PIC16LF1554",
                                "1.8 3.6",
                                OperationKind::Program,
                                3.3,
                                std::nullopt,
                                record(1, 0, 64, 5000, 0, 0),
                                "The board's Vdd is 5.0 V, above the window",
                                {},
                                true},
                      GuardCase{"VddSelectPicks3V3ForAnLfPart",
                                "PIC16LF1554",
                                "1.8 3.6",
                                OperationKind::Program,
                                5.0,
                                std::nullopt,
                                kVddSelectBoard,
                                "",
                                {104, 0x43, 101}},
                      GuardCase{"VddSelectPicks5VWhereTheWindowHoldsIt",
                                "PIC16F1847",
                                "2.3 5.5",
                                OperationKind::Program,
                                std::nullopt,
                                std::nullopt,
                                kVddSelectBoard,
                                "",
                                {104, 0x44, 101}},
                      GuardCase{
                          "MeasuredVppTooHigh",
                          "PIC16F1847",
                          "2.3 5.5",
                          OperationKind::Program,
                          std::nullopt,
                          std::nullopt,
                          record(1, kSelectAndVpp, 64, 5000, 0, 13000),
                          "The board measured a Vpp of 13.0 V, above the window of PIC16F1847 "
                          "(8.0-9.0 V): it can damage the chip.\r\nTurn the Vpp trimmer down to "
                          "8.5-8.8 V.",
                          {},
                          true},
                      GuardCase{"MeasuredVppOutranksTheSetting",
                                "PIC16F1847",
                                "2.3 5.5",
                                OperationKind::Program,
                                std::nullopt,
                                13.0,
                                kVddSelectBoard,
                                "",
                                {104, 0x44, 101}},
                      GuardCase{"SettingVppWithoutMeasurement",
                                "PIC16F1847",
                                "2.3 5.5",
                                OperationKind::Verify,
                                5.0,
                                13.0,
                                {},
                                "The board's Vpp is 13.0 V, above the window",
                                {},
                                true},
                      GuardCase{"EraseWindowForProgramAll",
                                "PIC16F1847",
                                "2.0 5.5 erase 2.7 5.5",
                                OperationKind::Program,
                                2.5,
                                std::nullopt,
                                {},
                                "2.5 V",
                                {101}},
                      GuardCase{"WriteWindowForVerify",
                                "PIC16F1847",
                                "2.0 5.5 erase 2.7 5.5",
                                OperationKind::Verify,
                                2.5,
                                std::nullopt,
                                {},
                                "",
                                {101}},
                      GuardCase{"FivePartOn3V3",
                                "PIC16F84A",
                                "4.5 5.5",
                                OperationKind::Read,
                                3.3,
                                std::nullopt,
                                {},
                                "Too low a Vdd",
                                {101}},
                      GuardCase{"NothingKnownOfA5VoltPart",
                                "PIC16F84A",
                                "4.5 5.5",
                                OperationKind::Program,
                                std::nullopt,
                                std::nullopt,
                                {},
                                "",
                                {101}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Echoes ---------------------------------------------------------------------

// Changes one answer byte on its way to the host.
class GarblingChannel : public test::FakeChannel {
public:
    std::vector<std::uint8_t> read_all() override {
        std::vector<std::uint8_t> bytes = FakeChannel::read_all();
        for (std::uint8_t& b : bytes) {
            received.push_back(b);
            if (count_++ == garble_at) {
                b ^= 0x01;
            }
        }
        return bytes;
    }
    // From here on the bytes are counted (and garble_at counts from here).
    void start_counting() {
        written.clear();
        received.clear();
        count_ = 0;
    }
    std::int64_t garble_at = -1;
    Bytes received;

private:
    std::int64_t count_ = 0;
};

struct EchoMode {
    const char* name;
    bool fast_link;
    std::int32_t window;
    bool vdd_select;
};

void PrintTo(const EchoMode& c, std::ostream* os) {
    *os << c.name;
}

// Writes, a read and its check, and a loop: every kind of answer, many at once
// in flight with a window.
void run_blank_check(test::EngineFixture& f, GarblingChannel& board, const EchoMode& mode) {
    f.state.link.channel = &board;
    if (mode.vdd_select) {
        // The identify (and the select it sends) is not what is garbled here.
        const std::int64_t garble_at = board.garble_at;
        board.garble_at = -1;
        board.identify_answer = kVddSelectBoard;
        ASSERT_EQ(identify_board(f.state), BoardAnswer::Identified);
        board.garble_at = garble_at;
    }
    board.start_counting();
    f.state.runner.fast_link = mode.fast_link;
    f.state.runner.window = mode.window;
    f.state.image.flash_size = 8;
    f.state.image.clear_image();
    f.state.model.blank_list = {"begin", "setflashloop", "temp=s04", "checkblankflash",   "s06",
                                "loop",  "s00-3fff",     "temp=s04", "checkblankconfig1", "end"};
    (void)start_operation(f.state, OperationKind::Blank);
    test::pump(f.state, board);
}

class EchoTest : public ::testing::TestWithParam<EchoMode> {};

TEST_P(EchoTest, EveryChangedEchoEndsTheOperationOutOfStep) {
    test::EngineFixture reference;
    GarblingChannel clean;
    run_blank_check(reference, clean, GetParam());
    ASSERT_FALSE(reference.state.operation_failed) << reference.host.status();
    ASSERT_TRUE(reference.host.status().starts_with("Chip is blank. ")) << reference.host.status();

    // The answers come in the order of the commands: every answer byte is an
    // echo but a read's low and high byte and the identify record, and the
    // read's third byte on a board that did not identify itself.
    const bool identified = GetParam().vdd_select;
    std::vector<bool> echo(clean.received.size(), true);
    std::vector<bool> read_tail(clean.received.size(), false);
    std::size_t at = 0;
    std::size_t reads = 0;
    const Bytes& w = clean.written;
    for (std::size_t i = 0; i < w.size() && at < echo.size(); ++i) {
        switch (w[i]) {
            case 104:
                ++i;
                ++at;
                break;
            case 105:
                i += 2;
                ++at;
                break;
            case 106:
                echo[at] = echo[at + 1] = false;
                echo[at + 2] = identified;
                read_tail[at + 2] = !identified;
                at += 3;
                ++reads;
                break;
            case 107:
                for (std::size_t k = 0; k < kIdentifyAnswerBytes; ++k) {
                    echo[at++] = false;
                }
                break;
            default:
                ++at;
                break;
        }
    }
    ASSERT_EQ(at, clean.received.size());
    ASSERT_GE(reads, 9U);

    int cases = 0;
    int tails = 0;
    for (std::size_t k = 0; k < echo.size(); ++k) {
        if (read_tail[k]) {
            // A board of the original protocol: any value there is a sound answer.
            SCOPED_TRACE("read's third byte " + std::to_string(k));
            test::EngineFixture f;
            GarblingChannel board;
            board.garble_at = static_cast<std::int64_t>(k);
            run_blank_check(f, board, GetParam());
            EXPECT_TRUE(f.host.status().starts_with("Chip is blank. ")) << f.host.status();
            ++tails;
            continue;
        }
        if (!echo[k]) {
            continue;
        }
        SCOPED_TRACE("answer byte " + std::to_string(k) + " (" + std::to_string(clean.received[k]) +
                     ")");
        test::EngineFixture f;
        GarblingChannel board;
        board.garble_at = static_cast<std::int64_t>(k);
        run_blank_check(f, board, GetParam());
        EXPECT_TRUE(f.state.operation_failed);
        EXPECT_EQ(f.host.status(), kOutOfStepText);
        ASSERT_FALSE(board.written.empty());
        EXPECT_EQ(board.written.back(), 103);  // voltages off, and nothing after it
        EXPECT_FALSE(f.state.runner.running());
        ++cases;
    }
    EXPECT_GT(cases, 20);
    EXPECT_EQ(tails, identified ? 0 : static_cast<int>(reads));
}

INSTANTIATE_TEST_SUITE_P(Paths, EchoTest,
                         ::testing::Values(EchoMode{"LockStep", false, 0, false},
                                           EchoMode{"FastLink", true, 0, false},
                                           EchoMode{"SendAhead", true, 16, false},
                                           EchoMode{"SendAheadSmallWindow", false, 4, false},
                                           EchoMode{"VddSelectLockStep", false, 0, true},
                                           EchoMode{"VddSelectSendAhead", true, 16, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvanel
