// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/serial_channel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "platform/link/virtual_port.h"
#include "support/qt_test_support.h"
#include "support/serial_pty_support.h"

namespace corvanel {
namespace {

TEST(LineSettings, TextsThePortTakesAndRefuses) {
    const auto ok = parse_line_settings(QStringLiteral("56000,n,8,1"));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->baud, 56000);
    EXPECT_EQ(ok->parity, QSerialPort::NoParity);
    EXPECT_EQ(ok->data_bits, QSerialPort::Data8);
    EXPECT_EQ(ok->stop_bits, QSerialPort::OneStop);
    const auto other = parse_line_settings(QStringLiteral("1200,E,7,2"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->parity, QSerialPort::EvenParity);
    EXPECT_EQ(other->data_bits, QSerialPort::Data7);
    EXPECT_EQ(other->stop_bits, QSerialPort::TwoStop);

    // A baud rate stored with a fraction ("Change Baud Rate" keeps it as typed)
    // is refused here, so the port reports an error instead of opening wrongly.
    for (const char* text :
         {"9600.5,n,8,1", ",n,8,1", "0,n,8,1", "-9600,n,8,1", "9600,x,8,1", "9600,n,9,1",
          "9600,n,8,3", "9600,n,8", "9600 ,n,8,1", "99999999999,n,8,1"}) {
        EXPECT_FALSE(parse_line_settings(QString::fromLatin1(text))) << text;
    }
}

#ifndef Q_OS_WIN

using test::process_events_until;
using test::PseudoTerminal;

class SerialChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        ASSERT_TRUE(ports_.isValid());
        ASSERT_TRUE(pty_.ok());
        ASSERT_TRUE(QFile::link(pty_.device(), QDir(ports_.path()).filePath("COM7")));
        channel_.set_ports_folder(ports_.path());
        channel_.set_receive_handler([this] {
            ++notifications_;
            const auto bytes = channel_.read_all();
            received_.insert(received_.end(), bytes.begin(), bytes.end());
        });
    }

    QTemporaryDir ports_;
    PseudoTerminal pty_;
    QtSerialChannel channel_;
    int notifications_ = 0;
    std::vector<std::uint8_t> received_;
};

TEST_F(SerialChannelTest, OpensTheMappedDeviceAndCarriesBytesBothWays) {
    ASSERT_TRUE(channel_.select_port(7));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("56000,n,8,1")));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    EXPECT_TRUE(channel_.is_open());
    EXPECT_FALSE(channel_.open()) << "a second open of an open port";
    EXPECT_FALSE(channel_.select_port(8)) << "the port cannot change while open";

    channel_.write_byte(105);
    channel_.write_byte(0xFF);
    channel_.write_byte(0x3F);
    EXPECT_EQ(pty_.receive(3), (std::vector<std::uint8_t>{105, 0xFF, 0x3F}));

    channel_.set_receive_threshold(1);
    pty_.send({0x55, 0xAA});
    ASSERT_TRUE(process_events_until([&] { return received_.size() == 2; }));
    EXPECT_EQ(received_, (std::vector<std::uint8_t>{0x55, 0xAA}));

    EXPECT_TRUE(channel_.close());
    EXPECT_FALSE(channel_.is_open());
    EXPECT_FALSE(channel_.close()) << "closing a closed port reports it, harmlessly";
}

// The board pulled, then the window's next operation tries to open it while it
// is still gone: the port stays lost, so that the operation after that tries
// again, and opens the board once it is back, where its COMn now leads (a board
// server started again registers the same COMn on another pseudo-terminal).
TEST_F(SerialChannelTest, ALostPortStaysLostUntilAnOpenSucceeds) {
    auto gone = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(gone->ok());
    const QString entry = QDir(ports_.path()).filePath("COM8");
    ASSERT_TRUE(QFile::link(gone->device(), entry));
    channel_.set_lost_handler([this] { channel_.close(); });
    ASSERT_TRUE(channel_.select_port(8));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("9600,n,8,1")));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    channel_.set_receive_threshold(1);
    gone.reset();
    channel_.write_byte(100);
    ASSERT_TRUE(process_events_until([&] { return channel_.port_lost() && !channel_.is_open(); }));

    // The freed pseudo-terminal number may at once be taken by another test
    // running alongside, so the entry is led to a device that cannot reappear.
    ASSERT_TRUE(QFile::remove(entry));
    ASSERT_TRUE(QFile::link(QDir(ports_.path()).filePath("unplugged"), entry));
    EXPECT_FALSE(channel_.open());
    EXPECT_TRUE(channel_.port_lost());

    PseudoTerminal back;
    ASSERT_TRUE(back.ok());
    ASSERT_TRUE(QFile::remove(entry));
    ASSERT_TRUE(QFile::link(back.device(), entry));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    EXPECT_FALSE(channel_.port_lost());
    channel_.write_byte(103);
    EXPECT_EQ(back.receive(1), (std::vector<std::uint8_t>{103}));
}

TEST_F(SerialChannelTest, BytesWaitWhileTheThresholdIsZeroAndNotifyWhenItRises) {
    ASSERT_TRUE(channel_.select_port(7));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("9600,n,8,1")));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    channel_.set_receive_threshold(0);
    pty_.send({1, 2, 3});
    ASSERT_TRUE(process_events_until([&] { return channel_.has_waiting(); }));
    process_events_until([] { return false; }, 100);
    EXPECT_EQ(notifications_, 0);
    EXPECT_TRUE(received_.empty());

    // Raising the threshold with bytes waiting posts a notification; it does not
    // run inside the call that raised it (that would nest interpreter steps).
    channel_.set_receive_threshold(1);
    EXPECT_EQ(notifications_, 0);
    ASSERT_TRUE(process_events_until([&] { return notifications_ > 0; }));
    EXPECT_EQ(received_, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(SerialChannelTest, ClosedOrMissingPortsAreHarmless) {
    channel_.write_byte(100);  // nothing open: dropped
    EXPECT_TRUE(channel_.read_all().empty());
    EXPECT_FALSE(channel_.is_open());

    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/nonexistent-corvanel"),
                            QDir(ports_.path()).filePath("COM9")));
    ASSERT_TRUE(channel_.select_port(9));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("9600,n,8,1")));
    EXPECT_FALSE(channel_.open());
    EXPECT_FALSE(channel_.last_error().isEmpty());
    EXPECT_FALSE(channel_.is_open());
    EXPECT_FALSE(channel_.select_port(0));
    EXPECT_FALSE(channel_.select_port(17));
    EXPECT_FALSE(channel_.open());
}

// Two ways a working port stops being one: another program holds it (said as
// such, not as a missing permission), and the far end hangs up (the board
// server ended, the adapter pulled), which is reported once, from the event
// loop, with the port still open for a last voltages-off.
TEST_F(SerialChannelTest, APortHeldElsewhereIsInUseAndAHangUpIsALostPort) {
    ASSERT_TRUE(channel_.select_port(7));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("9600,n,8,1")));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    QtSerialChannel other;
    other.set_ports_folder(ports_.path());
    ASSERT_TRUE(other.select_port(7));
    EXPECT_FALSE(other.open());
    EXPECT_TRUE(other.last_error().endsWith(QStringLiteral(" is in use by another program")))
        << other.last_error().toStdString();
    EXPECT_FALSE(other.last_error_is_permission());
    channel_.close();

    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    QtSerialChannel line;
    int lost = 0;
    bool open_when_lost = false;
    QString said;
    line.set_lost_handler([&] {
        ++lost;
        open_when_lost = line.is_open();
        said = line.last_error();
        line.close();
    });
    PortTarget target;
    target.kind = PortTarget::Kind::Device;
    target.device = QString::fromLocal8Bit(name);
    ASSERT_TRUE(line.select_target(target));
    ASSERT_TRUE(line.set_line_settings(QStringLiteral("9600,n,8,1")));
    ASSERT_TRUE(line.open()) << line.last_error().toStdString();
    line.set_receive_threshold(1);
    EXPECT_FALSE(line.port_lost());
    ::close(master);
    line.write_byte(100);
    ASSERT_TRUE(process_events_until([&] { return lost > 0; }, 2000));
    process_events_until([] { return false; }, 100);
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(open_when_lost);
    EXPECT_EQ(said, QStringLiteral("Serial port lost: %1 was removed.").arg(target.device));
    EXPECT_TRUE(line.port_lost());
    EXPECT_FALSE(line.is_open());
}

TEST_F(SerialChannelTest, VirtualPortEmulatesTheChipInProcess) {
    QFile entry(QDir(ports_.path()).filePath("COM2"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("virtual\n");
    entry.close();

    channel_.set_virtual_chip("PIC16F628A");
    ASSERT_TRUE(channel_.select_port(2));
    ASSERT_TRUE(channel_.set_line_settings(QStringLiteral("56000,n,8,1")));
    ASSERT_TRUE(channel_.open()) << channel_.last_error().toStdString();
    ASSERT_NE(channel_.virtual_port(), nullptr);

    channel_.set_receive_threshold(1);
    channel_.write_byte(100);  // nop: the board answers one byte
    ASSERT_TRUE(process_events_until([&] { return !received_.empty(); }));
    EXPECT_EQ(received_.size(), 1u);
    EXPECT_TRUE(channel_.close());
    EXPECT_EQ(channel_.virtual_port(), nullptr);

    channel_.set_virtual_chip("PIC99X999");
    ASSERT_TRUE(channel_.select_port(2));
    EXPECT_FALSE(channel_.open()) << "no such chip to emulate";
    EXPECT_TRUE(channel_.last_error().contains(QStringLiteral("PIC99X999")));
}

TEST_F(SerialChannelTest, VirtualBoardStateFileIsWrittenOnlyWhenTheBoardHeardSomething) {
    const QString state = QDir(ports_.path()).filePath("chip.hex");
    PortTarget target;
    target.kind = PortTarget::Kind::Virtual;
    target.state_file = state;
    channel_.set_virtual_chip("pic16f84a");

    // A probe opens and closes without a byte: no file appears.
    ASSERT_TRUE(channel_.select_target(target));
    ASSERT_TRUE(channel_.open());
    EXPECT_TRUE(channel_.close());
    EXPECT_FALSE(QFile::exists(state));

    ASSERT_TRUE(channel_.open());
    channel_.write_byte(100);
    EXPECT_TRUE(channel_.close());
    EXPECT_TRUE(channel_.last_error().isEmpty()) << channel_.last_error().toStdString();
    ASSERT_TRUE(QFile::exists(state));

    // A damaged state file keeps the port shut rather than starting from a blank chip.
    QFile file(state);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(":10000000ZZ\r\n");
    file.close();
    EXPECT_FALSE(channel_.open());
    EXPECT_TRUE(channel_.last_error().contains(state)) << channel_.last_error().toStdString();
}

#endif  // Q_OS_WIN

}  // namespace
}  // namespace corvanel
