// SPDX-License-Identifier: GPL-3.0-or-later
// Low-latency ports and the hosts' pacing helpers.

#include "platform/link/low_latency.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include "platform/link/precise_pause.h"

namespace corvanel {
namespace {

// A sysfs tree with an adapter ttyUSB0 whose latency timer holds `value`.
QString fake_sysfs(const QTemporaryDir& dir, const QByteArray& value) {
    const QString folder = dir.path() + QStringLiteral("/class/tty/ttyUSB0/device");
    EXPECT_TRUE(QDir().mkpath(folder));
    QFile file(folder + QStringLiteral("/latency_timer"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(value);
    return dir.path();
}

TEST(LowLatency, ReadsAndLowersAnAdaptersLatencyTimer) {
    QTemporaryDir dir;
    const QString root = fake_sysfs(dir, "16\n");
    EXPECT_EQ(latency_timer_ms(QStringLiteral("/dev/ttyUSB0"), root), 16);
    EXPECT_TRUE(set_latency_timer_ms(QStringLiteral("/dev/ttyUSB0"), 1, root));
    EXPECT_EQ(latency_timer_ms(QStringLiteral("/dev/ttyUSB0"), root), 1);
    // Ports without a latency timer: nothing to show, nothing written.
    EXPECT_FALSE(latency_timer_ms(QStringLiteral("/dev/ttyS0"), root));
    EXPECT_FALSE(set_latency_timer_ms(QStringLiteral("/dev/ttyS0"), 1, root));
    EXPECT_FALSE(QFile::exists(root + QStringLiteral("/class/tty/ttyS0/device/latency_timer")));
}

TEST(LowLatency, APseudoTerminalOpensWithoutComplaint) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString device = QString::fromLocal8Bit(ptsname(master));
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    const LatencyResult result = request_low_latency(slave, device);
    EXPECT_TRUE(result.note.isEmpty()) << result.note.toStdString();
    EXPECT_FALSE(result.latency_timer_ms);
    close(slave);
    close(master);
}

TEST(HostPacing, ProgressTextsOfALoopAreIntermediateUntilTheLastWord) {
    for (const char* text : {"F:1/3", "F:2/3", "E:10/128"}) {
        EXPECT_TRUE(is_intermediate_progress(text)) << text;
    }
    for (const char* text : {"F:3/3", "E:128/128", "CONF1:", "Begin verify.", "F:", ""}) {
        EXPECT_FALSE(is_intermediate_progress(text)) << text;
    }
}

TEST(HostPacing, PausesLastAtLeastTheirLengthAndThrottleLetsTheFirstPassThrough) {
    const auto start = std::chrono::steady_clock::now();
    pause_to_deadline(20);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
    const auto before_zero = std::chrono::steady_clock::now();
    pause_to_deadline(0);
    pause_to_deadline(-5);
    EXPECT_LT(std::chrono::steady_clock::now() - before_zero, std::chrono::seconds(1));

    EventPassThrottle throttle(std::chrono::hours(1));
    EXPECT_TRUE(throttle.due());
    EXPECT_FALSE(throttle.due());
}

}  // namespace
}  // namespace corvanel
