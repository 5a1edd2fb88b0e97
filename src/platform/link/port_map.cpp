// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/port_map.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

// An override file is a one-line text; anything longer is not one of ours.
constexpr qint64 kOverrideFileLimit = 4096;

PortTarget device_target(const QString& device, const QString& origin) {
    PortTarget target;
    target.kind = device.isEmpty() ? PortTarget::Kind::None : PortTarget::Kind::Device;
    target.device = device;
    target.origin = origin;
    return target;
}

// "virtual" or "virtual:FILE" (the word in any letter case); nothing otherwise.
std::optional<PortTarget> virtual_target(const QString& text, const QString& origin) {
    const QString word = QStringLiteral("virtual");
    if (!text.startsWith(word, Qt::CaseInsensitive)) {
        return std::nullopt;
    }
    const QString rest = text.mid(word.size());
    if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))) {
        return std::nullopt;
    }
    PortTarget target;
    target.kind = PortTarget::Kind::Virtual;
    target.state_file = rest.mid(1);
    target.origin = origin;
    return target;
}

std::optional<PortTarget> override_target(int com_number, const QString& ports_folder) {
    if (ports_folder.isEmpty()) {
        return std::nullopt;
    }
    const QString entry = QDir(ports_folder).filePath(QStringLiteral("COM%1").arg(com_number));
    const QFileInfo info(entry);
    if (info.isSymLink()) {
        // A link that leads nowhere still names the port (a board server that has
        // gone away); opening it then fails like an unplugged adapter.
        return device_target(info.symLinkTarget(), entry);
    }
    if (!info.isFile()) {
        return std::nullopt;
    }
    QFile file(entry);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kOverrideFileLimit);
    const QString text = QString::fromUtf8(bytes).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (auto board = virtual_target(text, entry)) {
        return board;
    }
    return device_target(text, entry);
}

}  // namespace

QString PortTarget::describe() const {
    switch (kind) {
        case Kind::Device:
            return device;
        case Kind::Virtual:
            return state_file.isEmpty() ? QStringLiteral("virtual")
                                        : QStringLiteral("virtual (state %1)").arg(state_file);
        case Kind::None:
            break;
    }
    return {};
}

QString default_port_device(int com_number) {
    if (com_number < kFirstComPort || com_number > kLastComPort) {
        return {};
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(com_number);
#else
    if (com_number <= 4) {
        return QStringLiteral("/dev/ttyS%1").arg(com_number - 1);
    }
    if (com_number <= 12) {
        return QStringLiteral("/dev/ttyUSB%1").arg(com_number - 5);
    }
    return QStringLiteral("/dev/ttyACM%1").arg(com_number - 13);
#endif
}

QString default_ports_folder() {
    return local_path(ports_folder());
}

PortTarget map_com_port(int com_number, const QString& ports_folder) {
    if (com_number < kFirstComPort || com_number > kLastComPort) {
        return {};
    }
    if (auto entry = override_target(com_number, ports_folder)) {
        return *entry;
    }
    return device_target(default_port_device(com_number), QStringLiteral("default"));
}

std::optional<int> parse_com_name(const QString& text) {
    if (!text.startsWith(QStringLiteral("com"), Qt::CaseInsensitive) || text.size() < 4) {
        return std::nullopt;
    }
    const QString digits = text.mid(3);
    for (const QChar c : digits) {
        if (!c.isDigit()) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok || number < kFirstComPort || number > kLastComPort) {
        return std::nullopt;
    }
    return number;
}

PortTarget parse_port_target(const QString& text, const QString& ports_folder) {
    if (auto number = parse_com_name(text)) {
        return map_com_port(*number, ports_folder);
    }
    if (auto board = virtual_target(text, QStringLiteral("command line"))) {
        return *board;
    }
    return device_target(text, QStringLiteral("command line"));
}

}  // namespace corvanel
