// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/port_setup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "platform/app/settings_store.h"
#include "platform/link/serial_channel.h"
#include "support/qt_test_support.h"
#include "support/serial_pty_support.h"

namespace corvanel {
namespace {

// A port whose COM numbers open or not as the test says, recording every call.
class FakePort : public SerialPortControl {
public:
    QSet<int> openable;
    QSet<int> refused_numbers;
    QStringList calls;
    int selected = 0;
    bool opened = false;

    bool select_port(int n) override {
        calls << QStringLiteral("select %1").arg(n);
        selected = n;
        return !refused_numbers.contains(n);
    }
    bool set_line_settings(const QString& settings) override {
        calls << QStringLiteral("settings %1").arg(settings);
        return parse_line_settings(settings).has_value();
    }
    bool open() override {
        calls << QStringLiteral("open");
        opened = openable.contains(selected);
        return opened;
    }
    bool close() override {
        calls << QStringLiteral("close");
        const bool was = opened;
        opened = false;
        return was;
    }
};

class PortSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        ASSERT_TRUE(folder_.isValid());
        store_ = std::make_unique<SettingsStore>(folder_.filePath("settings.ini"));
    }
    QTemporaryDir folder_;
    std::unique_ptr<SettingsStore> store_;
    FakePort port_;
};

TEST_F(PortSetupTest, ScanListsTheOpenablePortsAndRemembersTheLast) {
    struct Case {
        QSet<int> openable;
        const char* text;
        int last;
    };
    const Case cases[] = {
        {{}, "", 2},
        {{1, 3}, "- Serial port COM1 available\r\n- Serial port COM3 available", 3},
        {{16}, "- Serial port COM16 available", 16},
    };
    for (const auto& c : cases) {
        FakePort port;
        port.openable = c.openable;
        const PortScan scan = scan_ports(port);
        EXPECT_EQ(scan.openable_ports_text, QString::fromLatin1(c.text));
        EXPECT_EQ(scan.last_openable_port, c.last);
        EXPECT_FALSE(port.opened) << "every probe closes what it opened";
    }
}

TEST_F(PortSetupTest, ProbeUsesNineThousandSixHundredBaudAndClosesAgain) {
    port_.openable = {4};
    EXPECT_EQ(probe_port(port_, 4), 1);
    EXPECT_EQ(port_.calls, (QStringList{"select 4", "settings 9600,n,8,1", "open", "close"}));
    port_.calls.clear();
    EXPECT_EQ(probe_port(port_, 5), 0);
    port_.refused_numbers = {4};
    EXPECT_EQ(probe_port(port_, 4), 0);
}

TEST_F(PortSetupTest, OpenStoresMissingDefaultsAndReportsTheResult) {
    port_.openable = {3};
    OpenedPort opened = open_configured_port(port_, *store_, 3);
    EXPECT_TRUE(opened.port_ready);
    EXPECT_EQ(opened.port_number, 3);
    EXPECT_EQ(opened.baud_text, QStringLiteral("56000"));
    EXPECT_EQ(opened.status_text, QStringLiteral("Serial port COM3 ready..."));
    EXPECT_TRUE(port_.calls.contains(QStringLiteral("settings 56000,n,8,1")));
    EXPECT_EQ(store_->get_number(QStringLiteral("Serial Port Number"), -5), 3);
    EXPECT_EQ(store_->get_string(QStringLiteral("Serial Port Baud Rate"), QString()),
              QStringLiteral("56000"));

    // With nothing openable a fresh store gets port 2 and the error text.
    SettingsStore fresh(folder_.filePath("fresh.ini"));
    FakePort none;
    opened = open_configured_port(none, fresh, scan_ports(none).last_openable_port);
    EXPECT_FALSE(opened.port_ready);
    EXPECT_EQ(opened.status_text, QStringLiteral("Serial port COM2 error!"));
    EXPECT_EQ(fresh.get_number(QStringLiteral("Serial Port Number"), -5), 2);

    // A baud rate kept with its fraction is refused before the open: an error, not a guess.
    store_->put_string(QStringLiteral("Serial Port Baud Rate"), QStringLiteral("9600.5"));
    port_.calls.clear();
    opened = open_configured_port(port_, *store_, 3);
    EXPECT_FALSE(opened.port_ready);
    EXPECT_EQ(opened.status_text, QStringLiteral("Serial port COM3 error!"));
    EXPECT_FALSE(port_.calls.contains(QStringLiteral("open")));
}

#ifndef Q_OS_WIN
TEST_F(PortSetupTest, RealPortsOverPseudoTerminals) {
    test::PseudoTerminal first;
    test::PseudoTerminal second;
    ASSERT_TRUE(first.ok() && second.ok());
    const QDir ports(folder_.filePath("ports"));
    ASSERT_TRUE(QDir().mkpath(ports.path()));
    // Every COM number points somewhere known, so the machine's own ports do not count.
    for (int n = 1; n <= 16; ++n) {
        const QString target = n == 6    ? first.device()
                               : n == 11 ? second.device()
                                         : QStringLiteral("/dev/nonexistent-corvanel-%1").arg(n);
        ASSERT_TRUE(QFile::link(target, ports.filePath(QStringLiteral("COM%1").arg(n))));
    }
    QtSerialChannel channel;
    channel.set_ports_folder(ports.path());
    const PortScan scan = scan_ports(channel);
    EXPECT_EQ(scan.openable_ports_text,
              QStringLiteral("- Serial port COM6 available\r\n- Serial port COM11 available"));
    EXPECT_EQ(scan.last_openable_port, 11);
    EXPECT_FALSE(channel.is_open());

    store_->put_number(QStringLiteral("Serial Port Number"), 6);
    const OpenedPort opened = open_configured_port(channel, *store_, scan.last_openable_port);
    EXPECT_EQ(opened.status_text, QStringLiteral("Serial port COM6 ready..."));
    ASSERT_TRUE(channel.is_open());
    channel.write_byte(100);
    EXPECT_EQ(first.receive(1), std::vector<std::uint8_t>{100});
}

#endif  // Q_OS_WIN

}  // namespace
}  // namespace corvanel
