// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/low_latency.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#endif

namespace corvanel {

namespace {

// /sys/class/tty/ttyUSB0/device/latency_timer for the device /dev/ttyUSB0 (a
// link to it is followed first).
QString latency_timer_file(const QString& device, const QString& sysfs_root) {
    const QFileInfo info(device);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QString name = QFileInfo(target).fileName();
    if (name.isEmpty()) {
        return {};
    }
    return sysfs_root + QStringLiteral("/class/tty/") + name +
           QStringLiteral("/device/latency_timer");
}

}  // namespace

std::optional<int> latency_timer_ms(const QString& device, const QString& sysfs_root) {
    QFile file(latency_timer_file(device, sysfs_root));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const int value = QString::fromLatin1(file.readAll()).trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

bool set_latency_timer_ms(const QString& device, int milliseconds, const QString& sysfs_root) {
    QFile file(latency_timer_file(device, sysfs_root));
    if (!file.exists() || !file.open(QIODevice::WriteOnly)) {
        return false;
    }
    return file.write(QByteArray::number(milliseconds) + '\n') > 0 && file.flush();
}

LatencyResult request_low_latency(int fd, const QString& device) {
    LatencyResult result;
#ifdef Q_OS_LINUX
    serial_struct serial{};
    if (fd >= 0 && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        if (ioctl(fd, TIOCSSERIAL, &serial) == 0) {
            result.low_latency = true;
        } else {
            result.note = QStringLiteral("low-latency mode refused (%1)")
                              .arg(QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    // A pseudo-terminal or a driver without the request (ENOTTY, EINVAL) has no
    // latency of its own to lower: nothing to report.
#else
    (void)fd;
#endif
    result.latency_timer_ms = latency_timer_ms(device);
    if (result.latency_timer_ms && *result.latency_timer_ms > 1) {
        if (set_latency_timer_ms(device, 1)) {
            result.latency_timer_ms = latency_timer_ms(device);
        }
        if (!result.latency_timer_ms || *result.latency_timer_ms > 1) {
            const QString timer = QStringLiteral(
                                      "latency timer stays at %1 ms (%2 is not writable; see "
                                      "docs/serial-ports.md)")
                                      .arg(result.latency_timer_ms.value_or(0))
                                      .arg(latency_timer_file(device, QStringLiteral("/sys")));
            result.note =
                result.note.isEmpty() ? timer : result.note + QStringLiteral("; ") + timer;
        }
    }
    return result;
}

}  // namespace corvanel
