// SPDX-License-Identifier: GPL-3.0-or-later
// The supplies' hard limits against boards of every kind: the Vpp level chosen
// for each window and sent before the voltages, the rails judged as measured at
// that level, a board that refused a voltages-on asked why, a board that went
// quiet after answering, a plain board's Vpp asked for, and the calibration.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/devices/vdd_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/supply_limits.h"
#include "core/engine/vpp_calibration.h"
#include "core/link/board_protocol.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace id = board_identity;

constexpr std::uint16_t kFirmwareFeatures = id::kHasVddSelect | id::kMeasuresVpp |
                                            id::kMeasuresVdd | id::kHasVppLevels |
                                            id::kHasVppCalibration | id::kSensesTargetVdd;

// A version-2 record of the firmware (17 bytes and 107).
Bytes record2(std::uint16_t features, int vdd_selected, int vdd_measured, int vpp, int level,
              int status = 0) {
    Bytes b(18, 0);
    auto put = [&b](std::size_t at, int v) {
        b[at] = static_cast<std::uint8_t>(v & 0xFF);
        b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    };
    b[0] = 2;
    put(1, features);
    put(3, 64);
    put(5, vdd_selected);
    put(7, vdd_measured);
    put(9, vpp);
    b[11] = static_cast<std::uint8_t>(level);
    b[12] = static_cast<std::uint8_t>(status);
    b[17] = 107;
    return b;
}

bool powered(const Bytes& written) {
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == 101 || written[i] == 102) {
            return true;
        }
    }
    return false;
}

// The bytes before the first voltages-on, after the last identify.
Bytes before_voltages(const Bytes& written) {
    const auto on = std::find_if(written.begin(), written.end(),
                                 [](std::uint8_t b) { return b == 101 || b == 102; });
    const auto last_identify = std::find(std::make_reverse_iterator(on), written.rend(), 107);
    return Bytes(last_identify.base(), on);
}

TEST(VppLevelTest, EachWindowGetsTheLevelWithTheWidestMargin) {
    struct Case {
        VppWindow window;
        std::optional<std::uint8_t> code;
        const char* trimmer;
    };
    const Case cases[] = {
        {{8.0, 9.0}, board_extension::kVppLow, "8.5-8.8 V"},         // enhanced, 8-bit, 16F72x
        {{10.0, 13.5}, board_extension::kVppMiddle, "11.8-12.8 V"},  // 16F628A
        {{10.0, 12.0}, board_extension::kVppMiddle, "11.0-11.6 V"},  // 16F88x
        {{12.75, 13.25}, board_extension::kVppHigh, "13.0-13.2 V"},  // 16F7x
        {{9.2, 10.8}, std::nullopt, "10.0-10.5 V"},                  // between the levels
    };
    for (const Case& c : cases) {
        ActiveModel model;
        model.vpp_window = c.window;
        const auto level = vpp_level_for(model);
        EXPECT_EQ(level ? std::optional<std::uint8_t>(level->code) : std::nullopt, c.code)
            << vpp_window_text(c.window);
        EXPECT_EQ(trimmer_range_text(c.window), c.trimmer);
    }
}

class SupplyTest : public ::testing::Test, protected test::EngineFixture {
protected:
    void use_model(const char* name, VppWindow vpp, const char* vdd) {
        state.model.model_name = name;
        state.model.vpp_window = vpp;
        state.model.vdd_window = parse_vdd_window(vdd);
    }
    StartResult program() {
        channel.written.clear();
        host.messages.clear();
        return run({"begin", "s02", "end"}, OperationKind::Program);
    }
};

// The board's three levels read as the firmware's would; the 16F628A gets the
// middle one, the 16F1847 the low one, each sent before every voltages-on and
// read back before the rails are judged.
TEST_F(SupplyTest, EachModelRunsOnItsOwnLevelAndIsJudgedAtIt) {
    channel.identify_answer = record2(kFirmwareFeatures, 5000, 5010, 8700, id::kLevelLow);
    channel.level_vpp_mv = {0, 8700, 11480, 13050};
    use_model("PIC16F628A", {10.0, 13.5}, "3.0 5.5");
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    EXPECT_EQ(state.board->vpp_level, id::kLevelMiddle);
    EXPECT_EQ(*state.board->vpp_volts(), 11.48);
    ASSERT_EQ(program(), StartResult::Started);
    EXPECT_EQ(before_voltages(channel.written), (Bytes{104, 0x44, 104, 0x49}));
    EXPECT_FALSE(state.operation_failed);

    use_model("PIC16F1847", {8.0, 9.0}, "2.3 5.5");
    ASSERT_EQ(program(), StartResult::Started);
    EXPECT_EQ(before_voltages(channel.written), (Bytes{104, 0x44, 104, 0x45}));
    // The level was changed, then the board asked again before the voltages.
    EXPECT_EQ(std::count(channel.written.begin(), channel.written.end(), 107), 2);

    // The low level reads 9.6 V: refused, whatever the answer, naming the remedy.
    channel.level_vpp_mv[1] = 9600;
    channel.identify_answer[11] = id::kLevelMiddle;  // so that the level is sent again
    host.question_answer = message_result::kYes;
    EXPECT_EQ(program(), StartResult::Refused);
    EXPECT_FALSE(powered(channel.written));
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages.back().text.find("The board measured a Vpp of 9.6 V, above the "
                                             "window of PIC16F1847 (8.0-9.0 V)"),
              std::string::npos)
        << host.messages.back().text;
    EXPECT_NE(host.messages.back().text.find("low Vpp level reads too high"), std::string::npos);

    // No level fits a window between them.
    use_model("PIC16F9X", {9.2, 10.8}, "2.0 5.5");
    EXPECT_EQ(program(), StartResult::Refused);
    EXPECT_FALSE(powered(channel.written));
    EXPECT_NE(host.messages.back().text.find("No Vpp level of this board fits the window of "
                                             "PIC16F9X (9.2-10.8 V)"),
              std::string::npos);
}

// A regulator that failed gives the rail what the boost gives: the measured Vdd is
// judged, not the 5 V selected.
TEST_F(SupplyTest, TheMeasuredVddRailIsJudgedNotTheSelection) {
    channel.identify_answer = record2(kFirmwareFeatures, 5000, 12000, 11500, id::kLevelMiddle);
    use_model("PIC16F628A", {10.0, 13.5}, "3.0 5.5");
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    host.question_answer = message_result::kYes;
    EXPECT_EQ(program(), StartResult::Refused);
    EXPECT_FALSE(powered(channel.written));
    EXPECT_NE(host.messages.back().text.find("The board measured its Vdd at 12.0 V, above the "
                                             "window of PIC16F628A (3.0-5.5 V)"),
              std::string::npos)
        << host.messages.back().text;
    EXPECT_NE(host.messages.back().text.find("regulator is at fault"), std::string::npos);
}

// Drops the answer to a voltages-on and records why, as a version-2 board does.
class RefusingBoard : public test::FakeChannel {
public:
    void write_byte(std::uint8_t byte) override {
        if (byte == 101 || byte == 102) {
            written.push_back(byte);
            identify_answer[id::kRefusalAt] = id::kRefusedTargetVdd;
            identify_answer[id::kTargetVddAt] = 300 & 0xFF;
            identify_answer[id::kTargetVddAt + 1] = 300 >> 8;
            return;
        }
        FakeChannel::write_byte(byte);
    }
};

TEST_F(SupplyTest, AnUnansweredVoltagesOnIsExplainedByTheBoard) {
    RefusingBoard board;
    state.link.channel = &board;
    board.identify_answer = record2(kFirmwareFeatures, 5000, 5000, 11500, id::kLevelMiddle);
    use_model("PIC16F628A", {10.0, 13.5}, "3.0 5.5");
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    state.model.program_list = {"begin", "s02", "end"};
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    test::pump(state, board);
    ASSERT_TRUE(state.runner.running());
    EXPECT_TRUE(check_timeout(state, 1e9));
    EXPECT_FALSE(state.runner.running());
    // Switched off, asked, and the reason named.
    const auto on = std::find(board.written.begin(), board.written.end(), 101);
    ASSERT_NE(on, board.written.end());
    EXPECT_NE(std::find(on, board.written.end(), 103), board.written.end());
    EXPECT_EQ(board.written.back(), 107);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text,
              "The board refused to switch the voltages on: the target's Vdd read 0.3 V after "
              "switch-on: is the socket shorted?");
    EXPECT_EQ(host.status(), kBoardRefusedText);
}

// A board that answered once and then answers nothing (or no record) is no
// plain board: its last reading is not used, and nothing high-voltage runs; the
// low-voltage entry (no Vpp) still may.
TEST_F(SupplyTest, ABoardThatFellSilentIsNeverTakenForAPlainOne) {
    channel.identify_answer = record2(kFirmwareFeatures, 5000, 5000, 8700, id::kLevelLow);
    use_model("PIC16F1847", {8.0, 9.0}, "2.3 5.5");
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    state.board_vpp = 8.6;  // a "Board Vpp" set once does not stand in for the board
    for (const Bytes& answer : {Bytes{}, Bytes{2, 0, 0, 107}}) {
        channel.identify_answer = answer;
        host.question_answer = message_result::kYes;
        EXPECT_EQ(program(), StartResult::Refused);
        EXPECT_EQ(state.board_answer, BoardAnswer::Garbled);
        EXPECT_FALSE(powered(channel.written));
        EXPECT_NE(host.messages.back().text.find("the serial line is not sound"),
                  std::string::npos);
        EXPECT_EQ(start_identify(state), StartResult::Refused);
    }
    state.programming_entry = ProgrammingEntry::LowVoltage;
    state.model.low_voltage_entry = true;
    EXPECT_EQ(supply_refusal(state, true), "");
}

// A plain board says nothing of its Vpp: for a 9 V window the user is asked, and
// the answer is judged as a measurement would be.
TEST_F(SupplyTest, APlainBoardsVppIsAskedForAndJudged) {
    use_model("PIC16F1847", {8.0, 9.0}, "2.3 5.5");
    ASSERT_EQ(identify_board(state), BoardAnswer::Plain);
    host.question_answer = message_result::kYes;
    struct Step {
        std::optional<double> answer;
        StartResult result;
        const char* message;
    };
    const Step steps[] = {
        {std::nullopt, StartResult::Refused, "Measure the board's Vpp and set \"Board Vpp\""},
        {13.0, StartResult::Refused, "The board's Vpp is 13.0 V, above the window"},
        {8.6, StartResult::Started, nullptr},
    };
    for (const Step& step : steps) {
        state.board_vpp.reset();
        host.board_vpp_answer = step.answer;
        host.vpp_questions.clear();
        EXPECT_EQ(program(), step.result);
        EXPECT_EQ(host.vpp_questions.size(), 1U);
        EXPECT_EQ(powered(channel.written), step.message == nullptr);
        if (step.message != nullptr) {
            EXPECT_NE(host.messages.back().text.find(step.message), std::string::npos)
                << host.messages.back().text;
        }
    }
    // Set once, not asked again; a 13 V window needs no asking.
    host.vpp_questions.clear();
    EXPECT_EQ(program(), StartResult::Started);
    use_model("PIC16F628A", {10.0, 13.5}, "3.0 5.5");
    state.board_vpp.reset();
    EXPECT_EQ(program(), StartResult::Started);
    EXPECT_TRUE(host.vpp_questions.empty());
}

// The first byte of a record comes within the wait, its rest only after it (a
// loaded line, a board busy after reset): read to its end, not cut and taken for
// garble or, worse, left for the next command.
class LateRestBoard : public test::FakeChannel {
public:
    std::vector<std::uint8_t> read_all() override {
        if (incoming.empty()) {
            return {};
        }
        if (++looks > 1 && looks < 30) {
            return {};
        }
        if (looks == 1) {
            const std::uint8_t first = incoming.front();
            incoming.pop_front();
            return {first};
        }
        return FakeChannel::read_all();
    }
    int looks = 0;
};

class TickingHost : public test::RecordingHost {
public:
    double clock_seconds() override { return now += 0.02; }  // each look: 20 ms
};

TEST(SupplyRecordTest, ARecordWhoseFirstByteHasComeIsReadToItsEnd) {
    ProgramState state;
    TickingHost host;
    LateRestBoard board;
    state.host = &host;
    state.link.channel = &board;
    state.link.port_ready = true;
    board.identify_answer = record2(id::kMeasuresVpp, 5000, 0, 8600, 0);
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    EXPECT_GE(board.looks, 30);
    EXPECT_EQ(board.written, (Bytes{107}));
}

TEST_F(SupplyTest, CalibrationIsKeptOnlyWhereTheBoardAgrees) {
    use_model("PIC16F1847", {8.0, 9.0}, "2.3 5.5");
    channel.identify_answer = record2(kFirmwareFeatures, 5000, 5000, 8400, id::kLevelLow);
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
    EXPECT_EQ(board_calibration_text(state), "Vpp not calibrated");

    // 11 V against 8.4 V read: more than 15 % apart, refused by the board.
    VppCalibrationResult result = calibrate_board_vpp(state, 11.0);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.text.find("refused the calibration"), std::string::npos) << result.text;

    channel.written.clear();
    result = calibrate_board_vpp(state, 8.93);
    EXPECT_TRUE(result.ok) << result.text;
    EXPECT_EQ(result.text, "Board Vpp calibrated (the low Vpp level): it reads 8.93 V.");
    // 104 48h, then 105 with 893 (037Dh), between two identifies; never a voltages-on.
    EXPECT_EQ(channel.written, (Bytes{107, 104, 0x48, 105, 0x7D, 0x03, 107}));
    EXPECT_EQ(board_calibration_text(state), "Vpp calibrated");
    EXPECT_NE(board_status_text(state).find("Vpp 8.93 V (calibrated)"), std::string::npos);

    // A board without calibration is sent nothing but identify.
    channel.identify_answer = record2(id::kMeasuresVpp, 5000, 0, 8400, 0);
    channel.written.clear();
    EXPECT_FALSE(calibrate_board_vpp(state, 8.9).ok);
    EXPECT_EQ(channel.written, (Bytes{107}));
    EXPECT_FALSE(calibrate_board_vpp(state, 45.0).ok);
}

}  // namespace
}  // namespace corvanel
