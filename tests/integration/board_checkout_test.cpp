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

// A host whose user asks to stop once the channel has carried a given byte.
class StoppingHost final : public test::RecordingHost {
public:
    bool stop_requested() override { return stop; }
    bool stop = false;
};

class StoppingChannel final : public BoardChannel {
public:
    StoppingChannel(VirtualBoard& board, StoppingHost& host, std::size_t stop_at)
        : BoardChannel(board), host_(host), stop_at_(stop_at) {}
    void write_byte(std::uint8_t byte) override {
        BoardChannel::write_byte(byte);
        ++written;
        if (written == stop_at_) {
            host_.stop = true;
        }
        if (host_.stop) {
            ++after_stop;
        }
    }
    // In the same process the line has no rate: every switch holds.
    bool set_line_rate(std::int32_t /*baud*/) override { return true; }
    [[nodiscard]] std::int32_t fastest_line_rate() const override { return 2'000'000; }
    std::size_t written = 0;
    std::size_t after_stop = 0;

private:
    StoppingHost& host_;
    std::size_t stop_at_;
};

// A stop asked for after any byte of the test, whatever it is doing then (a rail,
// the burst, a rate switch): the test ends there, with no verdict of its own, no
// line judged on an answer the stop cut short, and the board left with its
// voltages off; the bytes sent after the stop are only the way out (voltages-off
// and the reset state), never more of the test.
TEST(BoardCheckoutTest, AStopAfterAnyByteEndsTheTestThereWithTheVoltagesOff) {
    const auto build = [](VirtualBoard& b) {
        b.set_vpp_levels(true);
        b.set_vdd_rail(5.0);
        b.set_line_rates(0x1E);  // 115200 to 1000000: a burst at each
    };
    std::size_t whole = 0;
    std::vector<std::string> whole_lines;  // "PASS  name" as the whole run judged them
    {
        VirtualBoard board(*Pic14Chip::create("none", 1u));
        build(board);
        StoppingHost host;
        StoppingChannel channel(board, host, 0);
        ProgramState state;
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        const BoardTestReport report = run_board_test(state, rate_switch_of(state));
        ASSERT_FALSE(report.stopped);
        whole = channel.written;
        for (const BoardTestLine& line : report.lines) {
            whole_lines.push_back(board_test_verdict_text(line.verdict) + "  " + line.name);
        }
    }
    ASSERT_GT(whole, 255U);  // the burst of the declared buffer among them
    for (std::size_t stop_at = 1; stop_at <= whole; ++stop_at) {
        SCOPED_TRACE("stopped after byte " + std::to_string(stop_at));
        VirtualBoard board(*Pic14Chip::create("none", 1u));
        build(board);
        StoppingHost host;
        StoppingChannel channel(board, host, stop_at);
        ProgramState state;
        state.host = &host;
        state.link.channel = &channel;
        state.link.port_ready = true;
        const BoardTestReport report = run_board_test(state, rate_switch_of(state));
        EXPECT_TRUE(report.stopped);
        EXPECT_FALSE(report.passed());
        EXPECT_FALSE(report.link_failed);
        // The lines kept are the whole run's first ones, judged as it judged them.
        ASSERT_LE(report.lines.size(), whole_lines.size());
        for (std::size_t i = 0; i < report.lines.size(); ++i) {
            EXPECT_EQ(
                board_test_verdict_text(report.lines[i].verdict) + "  " + report.lines[i].name,
                whole_lines[i]);
        }
        EXPECT_EQ(board_test_table(report).back(),
                  "Interrupted: board test stopped, voltages off.");
        EXPECT_FALSE(board.voltages_on());
        // The rest of a burst already on its way (the declared buffer's 255), and the
        // way out: voltages-off, the starting rate, the reset state.
        EXPECT_LE(channel.after_stop, 255U + 14U);
    }
}

}  // namespace
}  // namespace corvanel
