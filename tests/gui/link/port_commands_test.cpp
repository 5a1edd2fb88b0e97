// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/link/port_commands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "core/engine/program_state.h"
#include "gui/dialogs/input_box.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"
#include "platform/link/serial_link.h"
#include "platform/link/virtual_port.h"
#include "support/engine_fakes.h"
#include "support/qt_test_support.h"

namespace corvanel {
namespace {

struct Message {
    QString text;
    int kind;
    QString caption;
};

class PortCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        ASSERT_TRUE(folder_.isValid());
        store_ = std::make_unique<SettingsStore>(folder_.filePath("settings.ini"));
        previous_store_ = install_settings(store_.get());
        // COM5 and COM6 lead to the virtual board; every other number to nothing.
        const QDir ports(folder_.filePath("ports"));
        ASSERT_TRUE(QDir().mkpath(ports.path()));
        for (int n = 1; n <= 16; ++n) {
            const QString entry = ports.filePath(QStringLiteral("COM%1").arg(n));
            QFile file(entry);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(n == 5 || n == 6 ? "virtual\n" : "/nonexistent/tty-corvanel\n");
        }
        state_.host = &host_;
        state_.model.model_name = "PIC16F628A";
        state_.model.programming_time = 4;
        state_.model.voltage_sequence = VoltageSequence::VppFirst;
        link_ = std::make_unique<SerialLink>(state_);
        link_->MSComm1.set_ports_folder(ports.path());
        link_->scan_ports();
        set_message_box_interceptor([this](const QString& text, int kind, const QString& caption) {
            messages_.push_back({text, kind, caption});
            return 1;
        });
        set_input_box_interceptor(
            [this](const QString& prompt, const QString& caption, const QString& default_text) {
                prompts_.push_back(prompt);
                captions_.push_back(caption);
                defaults_.push_back(default_text);
                return answer_;
            });
    }
    void TearDown() override {
        set_message_box_interceptor({});
        set_input_box_interceptor({});
        link_.reset();
        install_settings(previous_store_);
    }

    QTemporaryDir folder_;
    std::unique_ptr<SettingsStore> store_;
    SettingsStore* previous_store_ = nullptr;
    test::RecordingHost host_;
    ProgramState state_;
    std::unique_ptr<SerialLink> link_;
    std::vector<Message> messages_;
    QStringList prompts_, captions_, defaults_;
    QString answer_;
};

TEST(TypedNumber, ReadsTheNumberAsTypedBeforeAnyRounding) {
    struct Case {
        const char* text;
        int lower, upper;
        bool within;
        const char* decimal;
    };
    const Case cases[] = {
        {"16", 1, 16, true, "16"},
        {"16.4", 1, 16, false, "16.4"},
        {"16.0", 1, 16, true, "16"},
        {"15.5", 1, 16, true, "15.5"},
        {"0.5", 1, 16, false, "0.5"},
        {"1", 1, 16, true, "1"},
        {"-3", 1, 16, false, "-3"},
        {"-0", 0, 1, true, "0"},
        {"  007x", 1, 16, true, "7"},
        {"9600abc", 1200, 56000, true, "9600"},
        {"56000.01", 1200, 56000, false, "56000.01"},
        {"1199.999", 1200, 56000, false, "1199.999"},
        {"+1200.50", 1200, 56000, true, "1200.5"},
        {"123456789012345", 1, 16, false, "123456789012345"},
        {"abc", 1, 16, false, "0"},
        {".5", 0, 1, true, "0.5"},
        {"30.", 1, 30, true, "30"},
    };
    for (const auto& c : cases) {
        const TypedNumber number = TypedNumber::read(QString::fromLatin1(c.text));
        EXPECT_EQ(number.within(c.lower, c.upper), c.within) << '"' << c.text << '"';
        EXPECT_EQ(number.decimal_text(), QString::fromLatin1(c.decimal)) << '"' << c.text << '"';
    }
}

TEST_F(PortCommandsTest, PortAnswers) {
    struct Case {
        const char* answer;
        int port;  // 0: refused
    };
    const Case cases[] = {
        {"COM5", 5}, {"com5", 5}, {"5", 5},    {" com5", 0}, {"16.4", 0}, {"0.5", 0}, {"15.5", 16},
        {"2.5", 2},  {"1.5", 2},  {"cOm6", 6}, {"17", 0},    {"com", 0},  {"16", 16},
    };
    for (const auto& c : cases) {
        state_.link.port_number = 9;
        store_->put_number(QStringLiteral("Serial Port Number"), 9);
        messages_.clear();
        host_.statuses.clear();
        answer_ = QString::fromLatin1(c.answer);
        change_serial_port_number(*link_);
        if (c.port == 0) {
            ASSERT_EQ(messages_.size(), 1u) << c.answer;
            EXPECT_EQ(messages_[0].text, QStringLiteral("Wrong entry!"));
            EXPECT_EQ(messages_[0].kind, 16);
            EXPECT_EQ(messages_[0].caption, window_title());
            EXPECT_EQ(state_.link.port_number, 9) << c.answer;
            EXPECT_TRUE(host_.statuses.empty()) << c.answer;
            continue;
        }
        const bool opens = c.port == 5 || c.port == 6;
        if (opens) {
            EXPECT_TRUE(messages_.empty()) << c.answer;
        } else {
            // Why, as `corvanel ports` says it.
            ASSERT_EQ(messages_.size(), 1u) << c.answer;
            EXPECT_EQ(messages_[0].text, QStringLiteral("Serial port COM%1 cannot be opened: "
                                                        "/nonexistent/tty-corvanel does not exist")
                                             .arg(c.port));
            EXPECT_EQ(messages_[0].kind, 16);
        }
        EXPECT_EQ(state_.link.port_number, c.port) << c.answer;
        EXPECT_EQ(store_->get_number(QStringLiteral("Serial Port Number"), 0), c.port);
        EXPECT_EQ(state_.link.port_ready, opens) << c.answer;
        ASSERT_EQ(host_.statuses.size(), 1u);
        EXPECT_EQ(host_.statuses[0],
                  "Serial port COM" + std::to_string(c.port) + (opens ? " ready..." : " error!"));
    }
}

TEST_F(PortCommandsTest, PortPromptListsThePortsFoundNowAndCancelChangesNothing) {
    state_.link.port_number = 5;
    answer_.clear();
    change_serial_port_number(*link_);
    ASSERT_EQ(prompts_.size(), 1);
    // The openable ports as always, then the others with the reason, then the
    // virtual board.
    EXPECT_TRUE(prompts_[0].startsWith(
        QStringLiteral("Please select programmer serial port number [1-16]:\r\n\r\n"
                       "The list of COM ports that can be opened:\r\n"
                       "- Serial port COM5 available\r\n- Serial port COM6 available\r\n\r\n"
                       "Ports that cannot be opened now:\r\n"
                       "- COM1 /nonexistent/tty-corvanel (registered): "
                       "/nonexistent/tty-corvanel does not exist\r\n")))
        << prompts_[0].toStdString();
    EXPECT_TRUE(prompts_[0].endsWith(
        QStringLiteral("\r\n\r\nV: Virtual board (an emulated programmer and chip in this "
                       "program)")));
    EXPECT_EQ(captions_[0], window_title());
    EXPECT_EQ(defaults_[0], QStringLiteral("5"));
    EXPECT_TRUE(messages_.empty());
    EXPECT_TRUE(host_.statuses.empty());

    // Rescanned when the dialog opens: a port registered since start-up shows.
    QFile added(folder_.filePath("ports/COM7"));
    ASSERT_TRUE(added.open(QIODevice::WriteOnly | QIODevice::Truncate));
    added.write("virtual\n");
    added.close();
    change_serial_port_number(*link_);
    EXPECT_TRUE(prompts_.back().contains(QStringLiteral("- Serial port COM7 available")));
}

// "V" chooses the virtual board: a port that already leads there, else the
// highest port without a device, which gets an entry in the ports folder.
TEST_F(PortCommandsTest, VirtualBoardIsOneAnswerAway) {
    answer_ = QStringLiteral("V");
    change_serial_port_number(*link_);
    EXPECT_EQ(state_.link.port_number, 5);
    EXPECT_TRUE(state_.link.port_ready);
    EXPECT_TRUE(messages_.empty());

    const QString empty_folder = folder_.filePath("no-entries");
    link_->close_port();
    link_->MSComm1.set_ports_folder(empty_folder);
    answer_ = QStringLiteral("virtual");
    change_serial_port_number(*link_);
    ASSERT_TRUE(state_.link.port_ready) << host_.statuses.back();
    const int chosen = state_.link.port_number;
    QFile entry(empty_folder + QStringLiteral("/COM%1").arg(chosen));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_EQ(entry.readAll().trimmed(), "virtual");
    EXPECT_EQ(store_->get_number(QStringLiteral("Serial Port Number"), 0), chosen);
    EXPECT_EQ(host_.statuses.back(), "Serial port COM" + std::to_string(chosen) + " ready...");
}

// A first start on a computer without any serial port offers the virtual
// board; Yes sets it up, No and later starts leave the port as it is.
TEST_F(PortCommandsTest, FirstStartWithoutAnyPortOffersTheVirtualBoard) {
    // COM1-COM4 lead nowhere; the others keep their default devices, which a
    // test machine has none of.
    const QString dead = folder_.filePath("dead");
    ASSERT_TRUE(QDir().mkpath(dead));
    for (int n = 1; n <= 4; ++n) {
        QFile entry(dead + QStringLiteral("/COM%1").arg(n));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("/nonexistent/tty-corvanel\n");
    }
    for (int n = 5; n <= 16; ++n) {
        if (QFile::exists(default_port_device(n))) {
            GTEST_SKIP() << "this machine has " << default_port_device(n).toStdString();
        }
    }
    link_->close_port();
    link_->MSComm1.set_ports_folder(dead);
    link_->scan_ports();
    (void)link_->open_configured_port();
    ASSERT_FALSE(state_.link.port_ready);

    int answer = message_result::kNo;
    set_message_box_interceptor([&](const QString& text, int kind, const QString& caption) {
        messages_.push_back({text, kind, caption});
        return answer;
    });
    offer_virtual_board_when_no_port(*link_, false);
    EXPECT_TRUE(messages_.empty()) << "only on a first start";
    offer_virtual_board_when_no_port(*link_, true);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].kind, message_kind::kQuestion);
    EXPECT_FALSE(state_.link.port_ready);

    answer = message_result::kYes;
    offer_virtual_board_when_no_port(*link_, true);
    EXPECT_TRUE(state_.link.port_ready);
    EXPECT_EQ(state_.link.port_number, 16);
    EXPECT_EQ(host_.statuses.back(), "Serial port COM16 ready...");
}

TEST_F(PortCommandsTest, BaudAnswers) {
    store_->put_number(QStringLiteral("Serial Port Number"), 5);
    struct Case {
        const char* answer;
        const char* stored;  // nullptr: refused
        bool ready;
    };
    const Case cases[] = {
        {"1200", "1200", true},
        {"56000", "56000", true},
        {"1199", nullptr, false},
        {"56001", nullptr, false},
        {"9600abc", "9600", true},
        {"56000.4", nullptr, false},
        // A fraction is kept as typed; the port then refuses it and says so.
        {"1200.5", "1200.5", false},
        {"019200", "19200", true},
    };
    for (const auto& c : cases) {
        state_.link.baud_text = "4800";
        store_->put_string(QStringLiteral("Serial Port Baud Rate"), QStringLiteral("4800"));
        messages_.clear();
        host_.statuses.clear();
        answer_ = QString::fromLatin1(c.answer);
        change_baud_rate(*link_);
        EXPECT_EQ(defaults_.back(), QStringLiteral("4800"));
        EXPECT_EQ(prompts_.back(),
                  QStringLiteral("Please select programmer baud rate [1200-56000]."));
        if (c.stored == nullptr) {
            ASSERT_EQ(messages_.size(), 1u) << c.answer;
            EXPECT_EQ(messages_[0].text, QStringLiteral("Wrong entry!"));
            EXPECT_EQ(messages_[0].kind, 16);
            EXPECT_EQ(state_.link.baud_text, "4800");
            EXPECT_EQ(store_->get_string(QStringLiteral("Serial Port Baud Rate"), QString()),
                      QStringLiteral("4800"));
            continue;
        }
        EXPECT_TRUE(messages_.empty()) << c.answer;
        EXPECT_EQ(state_.link.baud_text, c.stored);
        EXPECT_EQ(store_->get_string(QStringLiteral("Serial Port Baud Rate"), QString()),
                  QString::fromLatin1(c.stored));
        EXPECT_EQ(state_.link.port_ready, c.ready) << c.answer;
        ASSERT_FALSE(host_.statuses.empty());
        EXPECT_EQ(host_.statuses.back(),
                  std::string("Serial port COM5") + (c.ready ? " ready..." : " error!"));
    }
}

TEST_F(PortCommandsTest, ProgrammingTimeAnswers) {
    const std::pair<const char*, int> cases[] = {
        {"30", 30}, {"30.4", 0},  {"0.5", 0}, {"1", 1}, {"1.5", 2},
        {"2.5", 2}, {"12ms", 12}, {"31", 0},  {"x", 0},
    };
    for (const auto& [answer, value] : cases) {
        state_.model.programming_time = 4;
        messages_.clear();
        answer_ = QString::fromLatin1(answer);
        change_programming_time(state_);
        EXPECT_EQ(prompts_.back(), QStringLiteral("Enter new programming time in ms [1-30]."));
        EXPECT_EQ(defaults_.back(), QStringLiteral("4"));
        EXPECT_EQ(state_.model.programming_time, value == 0 ? 4 : value) << answer;
        EXPECT_EQ(messages_.size(), value == 0 ? 1u : 0u) << answer;
    }
    answer_.clear();
    messages_.clear();
    change_programming_time(state_);
    EXPECT_EQ(state_.model.programming_time, 4);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PortCommandsTest, PinoutTextByteForByte) {
    const char expected[] =
        "Serial Port Pinout:\r\n"
        "\r\n"
        "Pin\tSignal\tDirection\r\n"
        "1\tDCD\tInput\r\n"
        "2\tRD\tInput\r\n"
        "3\tTD\tOutput\r\n"
        "4\tDTR\tOutput\r\n"
        "5\tGND\t-\r\n"
        "6\tDSR\tInput\r\n"
        "7\tRTS\tOutput\r\n"
        "8\tCTS\tInput\r\n"
        "9\tRI\tInput\r\n"
        "\r\n"
        "Directions are defined from the viewpoint of the PC.\r\n";
    EXPECT_EQ(serial_port_pinout_text().toLatin1(), QByteArray(expected));
    show_serial_port_pinout();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text.toLatin1(), QByteArray(expected));
    EXPECT_EQ(messages_[0].kind, 0);
    EXPECT_EQ(messages_[0].caption, window_title());
}

TEST_F(PortCommandsTest, TestVppSwitchesTheVoltagesAndTheCommandLock) {
    store_->put_number(QStringLiteral("Serial Port Number"), 5);
    ASSERT_TRUE(link_->open_configured_port());
    VirtualPort* board = link_->MSComm1.virtual_port();
    ASSERT_NE(board, nullptr);
    host_.statuses.clear();

    toggle_vpp_test(state_);
    EXPECT_TRUE(state_.link.vpp_test_on);
    EXPECT_EQ(host_.disables, 1);
    EXPECT_EQ(host_.statuses.back(), "Vpp and Vdd voltages turned ON!");
    // 107: the board was asked what it is when the port opened, and again before
    // the voltages, as before an operation.
    EXPECT_EQ(board->channel().written(), (std::vector<std::uint8_t>{107, 107, 102}));
    EXPECT_TRUE(board->board().voltages_on());

    toggle_vpp_test(state_);
    EXPECT_FALSE(state_.link.vpp_test_on);
    EXPECT_EQ(host_.enables, 1);
    EXPECT_EQ(host_.statuses.back(), "Vpp and Vdd voltages turned OFF!");
    EXPECT_EQ(board->channel().written(), (std::vector<std::uint8_t>{107, 107, 102, 103}));
    EXPECT_FALSE(board->board().voltages_on());

    // No voltage sequence named: nothing but the identify is sent, the toggle still locks.
    state_.model.voltage_sequence = VoltageSequence::None;
    toggle_vpp_test(state_);
    EXPECT_EQ(board->channel().written().size(), 5u);
    EXPECT_EQ(host_.disables, 2);

    // With the port closed the toggle writes nowhere and goes on.
    link_->close_port();
    toggle_vpp_test(state_);
    EXPECT_FALSE(state_.link.vpp_test_on);
    EXPECT_EQ(host_.enables, 2);
}

TEST_F(PortCommandsTest, VirtualPortFollowsTheAppliedModel) {
    store_->put_number(QStringLiteral("Serial Port Number"), 6);
    ASSERT_TRUE(link_->open_configured_port());
    ASSERT_EQ(link_->MSComm1.virtual_port()->chip_name(), "PIC16F628A");
    state_.model.model_name = "PIC16F877A";
    link_->follow_applied_model();
    ASSERT_NE(link_->MSComm1.virtual_port(), nullptr);
    EXPECT_EQ(link_->MSComm1.virtual_port()->chip_name(), "PIC16F877A");
    EXPECT_TRUE(state_.link.port_ready);
    // A model the board cannot emulate leaves the port closed and not ready.
    state_.model.model_name = "PIC99X999";
    link_->follow_applied_model();
    EXPECT_FALSE(state_.link.port_ready);
    EXPECT_FALSE(link_->MSComm1.is_open());
}

}  // namespace
}  // namespace corvanel
