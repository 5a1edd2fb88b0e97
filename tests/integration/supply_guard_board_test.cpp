// SPDX-License-Identifier: GPL-3.0-or-later
// Every way the voltages come on, against the emulated board: one reporting 13 V
// with a 16F1847 (8-9 V) in the socket, one giving 5 V to a 16LF1554 (at most
// 3.6 V). Whatever the host answers (the tool's --force answers Yes), no
// voltages-on byte reaches the board and the chip is never powered.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/supply_limits.h"
#include "core/link/board_protocol.h"
#include "support/engine_fakes.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

// Notes whether the chip was ever powered while the board heard the bytes.
class PowerWatchingChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        BoardChannel::write_byte(byte);
        powered = powered || board().voltages_on();
    }
    bool powered = false;
};

struct BoardCase {
    const char* name;
    const char* chip;
    double vpp;
    double vdd;
    const char* refusal;  // a piece of the message shown
    bool vpp_only;        // only the Vpp harms: the low-voltage entry (MCLR low) may run
};

struct PathCase {
    const char* name;
    // Starts the path; answers whether it reported a refusal.
    std::function<bool(ProgramState&)> start;
    bool applies_vpp = true;
};

bool refused(StartResult result) {
    return result == StartResult::Refused;
}

const PathCase kPaths[] = {
    {"ProgramAll",
     [](ProgramState& s) { return refused(start_operation(s, OperationKind::Program)); }},
    {"EraseAll", [](ProgramState& s) { return refused(start_operation(s, OperationKind::Erase)); }},
    {"ReadAll", [](ProgramState& s) { return refused(start_operation(s, OperationKind::Read)); }},
    {"BlankCheck",
     [](ProgramState& s) { return refused(start_operation(s, OperationKind::Blank)); }},
    {"Verify", [](ProgramState& s) { return refused(start_operation(s, OperationKind::Verify)); }},
    // The calibration read of osccal and the window's calibration view.
    {"CalibrationRead",
     [](ProgramState& s) {
         return refused(start_operation_on(s, OperationKind::Read,
                                           split_instructions("begin,s04,end"), false));
     }},
    // detect, Tools > Identify Chip and each poll of --repeat.
    {"IdentifyChip", [](ProgramState& s) { return refused(start_identify(s)); }},
    {"LowVoltageEntry",
     [](ProgramState& s) {
         s.programming_entry = ProgrammingEntry::LowVoltage;
         s.model.low_voltage_entry = true;
         return refused(start_operation(s, OperationKind::Read));
     },
     false},
    // Test Vpp, and any later caller of the link: the check below the operations.
    {"LinkVoltagesOn",
     [](ProgramState& s) { return !s.link.voltages_on(VoltageSequence::VppFirst); }},
    {"LinkLowVoltageEntry", [](ProgramState& s) { return !s.link.voltages_on_low_voltage(); },
     false},
};

TEST(SupplyGuardBoardTest, NoPathPowersAChipTheBoardWouldHarm) {
    const BoardCase boards[] = {
        {"13 V board, 16F1847", "PIC16F1847", 13.0, 5.0,
         "The board measured a Vpp of 13.0 V, above the window of PIC16F1847", true},
        {"5 V board, 16LF1554", "PIC16LF1554", 8.5, 5.0,
         "The board's Vdd is 5.0 V, above the window of PIC16LF1554", false},
    };
    for (const BoardCase& b : boards) {
        for (const PathCase& path : kPaths) {
            if (b.vpp_only && !path.applies_vpp) {
                continue;
            }
            SCOPED_TRACE(std::string(b.name) + ", " + path.name);
            VirtualBoard board(*Pic14Chip::create(b.chip, 1u));
            board.set_vpp(b.vpp);
            board.set_vdd(b.vdd);
            PowerWatchingChannel channel(board);
            test::RecordingHost host;
            host.question_answer = message_result::kYes;  // --force
            ProgramState state;
            ASSERT_TRUE(test::apply_shipped_model(state, b.chip));
            state.board_vdd.reset();
            state.host = &host;
            state.link.channel = &channel;
            state.link.port_ready = true;
            ASSERT_EQ(identify_board(state), BoardAnswer::Identified);
            channel.clear_written();

            const bool was_refused = path.start(state);
            while (channel.has_waiting() && channel.receive_threshold() == 1) {
                state.link.MSComm1_OnComm();
            }
            EXPECT_TRUE(was_refused);
            EXPECT_FALSE(state.runner.running());
            EXPECT_FALSE(channel.powered);
            const std::vector<std::uint8_t>& heard = channel.written();
            for (std::size_t i = 0; i < heard.size(); ++i) {
                EXPECT_NE(heard[i], board_command::kVoltagesOnVddFirst);
                EXPECT_NE(heard[i], board_command::kVoltagesOnVppFirst);
                if (i > 0 && heard[i - 1] == board_command::kChipCommand) {
                    EXPECT_FALSE(heard[i] == board_extension::kLowVoltageEntry ||
                                 heard[i] == board_extension::kLowVoltageEntry8);
                }
            }
            const std::string shown =
                host.messages.empty() ? state.link.refusal : host.messages.back().text;
            EXPECT_NE(shown.find(b.refusal), std::string::npos) << shown;
        }
    }
}

}  // namespace
}  // namespace corvanel
