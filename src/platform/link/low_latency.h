// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Low-latency serial ports. Every command of the protocol waits for its answer,
// so a port that holds received bytes back costs that much per round trip: a
// USB serial adapter's latency timer (16 ms by default on the common FTDI
// chips) makes tens of thousands of round trips last minutes. On Linux the
// program asks the driver for low-latency mode (TIOCSSERIAL with
// ASYNC_LOW_LATENCY) and sets the adapter's latency timer in sysfs to 1 ms when
// it may; where it cannot, it says so and goes on with the port as it is.

#include <QString>

#include <optional>

namespace corvanel {

struct LatencyResult {
    // The driver took low-latency mode.
    bool low_latency = false;
    // The adapter's latency timer after the attempt, when it has one.
    std::optional<int> latency_timer_ms;
    // What could not be done, in words for the user; empty when all went well or
    // the port has nothing to lower (a pseudo-terminal, a port on the main board
    // without a latency timer).
    QString note;
};

// Requests low latency for the open port `fd` whose device is `device`
// ("/dev/ttyUSB0"). Never fails: what it could not do is in the note.
[[nodiscard]] LatencyResult request_low_latency(int fd, const QString& device);

// The adapter's latency timer in ms as the system reports it, when it has one.
// `sysfs_root` is "/sys" except in tests.
[[nodiscard]] std::optional<int> latency_timer_ms(
    const QString& device, const QString& sysfs_root = QStringLiteral("/sys"));

// Sets the adapter's latency timer; false when there is none or it may not be written.
[[nodiscard]] bool set_latency_timer_ms(const QString& device, int milliseconds,
                                        const QString& sysfs_root = QStringLiteral("/sys"));

}  // namespace corvanel
