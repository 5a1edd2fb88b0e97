// SPDX-License-Identifier: GPL-3.0-or-later
// The board test against the emulated board, one case per way a board is built
// or broken: each line's verdict is compared, and no case ever powers the socket
// on a board that cannot select 3.3 V.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "board/board_channel.h"
#include "board/virtual_board.h"
#include "core/engine/board_test.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

class PowerWatchingChannel final : public BoardChannel {
public:
    using BoardChannel::BoardChannel;
    void write_byte(std::uint8_t byte) override {
        BoardChannel::write_byte(byte);
        powered = powered || board().voltages_on();
    }
    bool powered = false;
};

using V = BoardTestVerdict;

struct CheckoutCase {
    const char* name;
    std::function<void(VirtualBoard&)> build;
    std::map<std::string, V> verdicts;  // the lines looked at
    bool passed;
};

TEST(BoardCheckoutTest, EachLineNamesWhatTheBoardIsAndWhereItFails) {
    const CheckoutCase cases[] = {
        {"levels and a sound rail",
         [](VirtualBoard& b) {
             b.set_vpp_levels(true);
             b.set_vdd_rail(5.0);
         },
         {{"Identify", V::Pass},
          {"Vdd rail", V::Pass},
          {"Vpp rail, low level", V::Pass},
          {"Vpp rail, middle level", V::Pass},
          {"Vpp rail, high level", V::Pass},
          {"PGD pull-up", V::NotTested},
          {"No-operation burst, the declared buffer", V::Pass},
          {"Line rates", V::NotDeclared}},
         true},
        {"a regulator gone to 8 V",
         [](VirtualBoard& b) {
             b.set_vpp_levels(true);
             b.set_vdd_rail(8.0);
         },
         {{"Vdd rail", V::Fail}, {"Vpp rail, low level", V::Pass}},
         false},
        // A level resistor wrong: every level reads the high rail.
        {"Vpp stuck at 13 V",
         [](VirtualBoard& b) {
             b.set_vpp_levels(true);
             b.set_vpp(13.0);
         },
         {{"Vdd rail", V::NotDeclared},
          {"Vpp rail, low level", V::Fail},
          {"Vpp rail, middle level", V::Fail},
          {"Vpp rail, high level", V::Pass}},
         false},
        {"a trimmer board at 18 V",
         [](VirtualBoard& b) { b.set_vpp(18.0); },
         {{"Vpp rail", V::Fail}},
         false},
        {"a plain board",
         [](VirtualBoard& b) { b.set_plain(true); },
         {{"Identify", V::NotDeclared},
          {"Vdd rail", V::NotDeclared},
          {"PGD pull-up", V::NotTested},
          {"No-operation round trips", V::Pass}},
         true},
    };
    for (const CheckoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualBoard board(*Pic14Chip::create("none", 1u));
        c.build(board);
        PowerWatchingChannel channel(board);
        test::RecordingHost host;
        ProgramState state;
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;

        const BoardTestReport report = run_board_test(state);
        std::map<std::string, V> seen;
        for (const BoardTestLine& line : report.lines) {
            seen[line.name] = line.verdict;
            if (line.verdict == V::Fail) {
                EXPECT_FALSE(line.meter.empty()) << line.name;
            }
        }
        for (const auto& [name, verdict] : c.verdicts) {
            ASSERT_TRUE(seen.count(name)) << name;
            EXPECT_EQ(board_test_verdict_text(seen[name]), board_test_verdict_text(verdict))
                << name;
        }
        EXPECT_EQ(report.passed(), c.passed);
        EXPECT_FALSE(report.link_failed);
        const std::vector<std::string> table = board_test_table(report);
        EXPECT_EQ(table.back(), c.passed ? "Board test passed."
                                         : "Board test failed: " + report.failed_names() + ".");
        // No Vdd select: the socket is never powered.
        EXPECT_FALSE(channel.powered);
        EXPECT_FALSE(board.voltages_on());
        EXPECT_EQ(channel.waiting_count(), 0u);
    }
}

}  // namespace
}  // namespace corvanel
