// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/link/programmer_link.h"

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <string>
#include <vector>

#include "support/engine_fakes.h"

namespace corvanel {
namespace {

using test::FakeChannel;
using test::Trace;

struct SendCase {
    std::string name;
    std::function<void(ProgrammerLink&)> send;
    Trace expected;  // every byte written alone, each followed by event processing
};

// Test listings name the case, not the bytes of the parameter.
void PrintTo(const SendCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkSendTest : public ::testing::TestWithParam<SendCase> {};

TEST_P(LinkSendTest, WritesEachByteAloneAndLetsEventsRunAfterTheCommand) {
    Trace trace;
    FakeChannel channel(&trace);
    ProgrammerLink link;
    link.channel = &channel;
    link.process_events = [&trace] { trace.push_back("ev"); };
    GetParam().send(link);
    EXPECT_EQ(trace, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LinkSendTest,
    ::testing::Values(
        SendCase{"Nop", [](ProgrammerLink& l) { l.send_nop(); }, {"w100", "ev"}},
        SendCase{"VddFirst",
                 [](ProgrammerLink& l) { l.voltages_on(VoltageSequence::VddFirst); },
                 {"w101", "ev"}},
        SendCase{"VppFirst",
                 [](ProgrammerLink& l) { l.voltages_on(VoltageSequence::VppFirst); },
                 {"w102", "ev"}},
        SendCase{"NoSequenceSendsNothing",
                 [](ProgrammerLink& l) { l.voltages_on(VoltageSequence::None); },
                 {}},
        SendCase{"VoltagesOff", [](ProgrammerLink& l) { l.voltages_off(); }, {"w103", "ev"}},
        // One 103 for every byte of the longest command (105 low high): a board
        // inside a command reads at least the last one as a command.
        SendCase{"VoltagesOffAfterFault",
                 [](ProgrammerLink& l) { l.voltages_off_after_fault(); },
                 {"w103", "w103", "w103", "ev"}},
        SendCase{
            "ChipCommand", [](ProgrammerLink& l) { l.send_chip_command(6); }, {"w104", "w6", "ev"}},
        SendCase{"Word3FFF",
                 [](ProgrammerLink& l) { l.send_data_word(16383); },
                 {"w105", "w255", "w63", "ev"}},
        SendCase{"Word255",
                 [](ProgrammerLink& l) { l.send_data_word(255); },
                 {"w105", "w255", "w0", "ev"}},
        SendCase{
            "Word0", [](ProgrammerLink& l) { l.send_data_word(0); }, {"w105", "w0", "w0", "ev"}},
        // An undefined erased configuration value (-1) must not become a zero word.
        SendCase{"MinusOneIsCutTo16Bits",
                 [](ProgrammerLink& l) { l.send_data_word(-1); },
                 {"w105", "w255", "w255", "ev"}},
        SendCase{"RequestWord", [](ProgrammerLink& l) { l.request_data_word(); }, {"w106", "ev"}}),
    [](const auto& info) { return info.param.name; });

TEST(ProgrammerLinkTest, WithoutChannelNothingBreaks) {
    ProgrammerLink link;
    int events = 0;
    link.process_events = [&events] { ++events; };
    link.send_data_word(0x1234);
    link.set_receive_notification(1);
    link.MSComm1_OnComm();
    EXPECT_EQ(events, 1);
    EXPECT_EQ(link.discard_waiting_bytes(), 0U);
}

TEST(ProgrammerLinkTest, ReceiveHandlerRunsOneStepPerByteInArrivalOrder) {
    FakeChannel channel;
    ProgrammerLink link;
    link.channel = &channel;
    std::vector<int> seen;
    link.on_received_byte = [&] { seen.push_back(link.received_byte); };

    link.set_receive_notification(1);
    link.MSComm1_OnComm();  // nothing waiting: no step
    EXPECT_TRUE(seen.empty());

    channel.incoming = {7, 0, 255, 130};
    link.MSComm1_OnComm();
    EXPECT_EQ(seen, (std::vector<int>{7, 0, 255, 130}));
    EXPECT_TRUE(channel.incoming.empty());
}

TEST(ProgrammerLinkTest, NestedNotificationLeavesBytesWaiting) {
    FakeChannel channel;
    ProgrammerLink link;
    link.channel = &channel;
    std::vector<int> seen;
    link.on_received_byte = [&] {
        seen.push_back(link.received_byte);
        if (seen.size() == 1) {
            channel.incoming.push_back(9);
            link.MSComm1_OnComm();  // as if the event processing raised one
        }
    };
    link.set_receive_notification(1);
    channel.incoming = {1, 2};
    link.MSComm1_OnComm();
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    link.MSComm1_OnComm();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 9}));
}

TEST(ProgrammerLinkTest, NotificationWhileSwitchedOffLeavesBytesWaiting) {
    FakeChannel channel;
    ProgrammerLink link;
    link.channel = &channel;
    int steps = 0;
    link.on_received_byte = [&] { ++steps; };
    channel.incoming = {101};
    link.set_receive_notification(0);
    link.MSComm1_OnComm();
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(channel.incoming.size(), 1U);
}

TEST(ProgrammerLinkTest, DiscardEmptiesTheReceiveBuffer) {
    FakeChannel channel;
    ProgrammerLink link;
    link.channel = &channel;
    channel.incoming = {101, 103};
    EXPECT_EQ(link.discard_waiting_bytes(), 2U);
    EXPECT_TRUE(channel.incoming.empty());
}

// After a fault the board's place in the conversation is unknown: neither the
// answers due nor the one to three the voltages-off bytes draw are waited for.
TEST(ProgrammerLinkTest, VoltagesOffAfterAFaultForgetsTheAnswersDue) {
    FakeChannel channel;
    ProgrammerLink link;
    link.channel = &channel;
    link.send_chip_command(6);
    link.request_data_word();
    ASSERT_EQ(link.answers_due(), 4U);
    link.voltages_off_after_fault();
    EXPECT_EQ(link.answers_due(), 0U);
}

TEST(ProgrammerLinkTest, LineSettingsFollowTheBaudText) {
    ProgrammerLink link;
    EXPECT_EQ(link.line_settings(), "56000,n,8,1");
    link.baud_text = "1200";
    EXPECT_EQ(link.line_settings(), "1200,n,8,1");
}

}  // namespace
}  // namespace corvanel
