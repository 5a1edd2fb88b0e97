// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/port_map.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace corvanel {
namespace {

void write_file(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

#ifdef Q_OS_WIN
TEST(PortMap, WindowsPortsAreTheirOwnNames) {
    EXPECT_EQ(default_port_device(1), QStringLiteral("COM1"));
    EXPECT_EQ(default_port_device(16), QStringLiteral("COM16"));
    EXPECT_TRUE(default_port_device(17).isEmpty());
}
#else
TEST(PortMap, DefaultTableCoversTheSixteenComNumbers) {
    const std::pair<int, const char*> cases[] = {
        {0, ""},
        {1, "/dev/ttyS0"},
        {4, "/dev/ttyS3"},
        {5, "/dev/ttyUSB0"},
        {12, "/dev/ttyUSB7"},
        {13, "/dev/ttyACM0"},
        {16, "/dev/ttyACM3"},
        {17, ""},
        {-1, ""},
    };
    for (const auto& [number, device] : cases) {
        EXPECT_EQ(default_port_device(number), QString::fromLatin1(device)) << "COM" << number;
        const PortTarget target = map_com_port(number, QString());
        EXPECT_EQ(target.is_none(), QByteArray(device).isEmpty()) << "COM" << number;
    }
}

TEST(PortMap, OverridesInThePortsFolderWinPerPort) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir ports(folder.path());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/77"), ports.filePath("COM3")));
    write_file(ports.filePath("COM5"), "/dev/ttyAMA0\n");
    write_file(ports.filePath("COM6"), "  Virtual \r\n");
    write_file(ports.filePath("COM7"), "virtual:/tmp/chip.hex\n");
    write_file(ports.filePath("COM8"), "\n\n");         // nothing in it: the default stands
    ASSERT_TRUE(ports.mkpath(QStringLiteral("COM9")));  // not a file: the default stands

    struct Case {
        int number;
        PortTarget::Kind kind;
        const char* device;
        const char* state;
    };
    const Case cases[] = {
        {3, PortTarget::Kind::Device, "/dev/pts/77", ""},
        {4, PortTarget::Kind::Device, "/dev/ttyS3", ""},
        {5, PortTarget::Kind::Device, "/dev/ttyAMA0", ""},
        {6, PortTarget::Kind::Virtual, "", ""},
        {7, PortTarget::Kind::Virtual, "", "/tmp/chip.hex"},
        {8, PortTarget::Kind::Device, "/dev/ttyUSB3", ""},
        {9, PortTarget::Kind::Device, "/dev/ttyUSB4", ""},
    };
    for (const auto& c : cases) {
        const PortTarget target = map_com_port(c.number, folder.path());
        EXPECT_EQ(target.kind, c.kind) << "COM" << c.number;
        EXPECT_EQ(target.device, QString::fromLatin1(c.device)) << "COM" << c.number;
        EXPECT_EQ(target.state_file, QString::fromLatin1(c.state)) << "COM" << c.number;
    }
    EXPECT_EQ(map_com_port(3, folder.path()).origin, ports.filePath("COM3"));
    EXPECT_EQ(map_com_port(4, folder.path()).origin, QStringLiteral("default"));
}

#endif  // Q_OS_WIN

TEST(PortMap, CommandLinePortTexts) {
    const std::pair<const char*, int> names[] = {
        {"COM5", 5},  {"com16", 16}, {"Com1", 1},  {"COM0", 0},  {"COM17", 0},
        {" com5", 0}, {"com", 0},    {"com5x", 0}, {"COM-1", 0}, {"5", 0},
    };
    for (const auto& [text, number] : names) {
        const auto parsed = parse_com_name(QString::fromLatin1(text));
        EXPECT_EQ(parsed.value_or(0), number) << '"' << text << '"';
    }

    const PortTarget com = parse_port_target(QStringLiteral("com13"), QString());
    EXPECT_EQ(com.device, default_port_device(13));
    const PortTarget path = parse_port_target(QStringLiteral("/dev/pts/4"), QString());
    EXPECT_EQ(path.kind, PortTarget::Kind::Device);
    EXPECT_EQ(path.device, QStringLiteral("/dev/pts/4"));
    const PortTarget board = parse_port_target(QStringLiteral("virtual:state.hex"), QString());
    EXPECT_TRUE(board.is_virtual());
    EXPECT_EQ(board.state_file, QStringLiteral("state.hex"));
    EXPECT_EQ(board.describe(), QStringLiteral("virtual (state state.hex)"));
    // A word that merely begins like the board's name is a device name.
    EXPECT_EQ(parse_port_target(QStringLiteral("virtually"), QString()).kind,
              PortTarget::Kind::Device);
}

}  // namespace
}  // namespace corvanel
