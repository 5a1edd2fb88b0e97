// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/port_setup.h"

#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"

namespace corvanel {

int probe_port(SerialPortControl& port, int com_number) {
    if (!port.select_port(com_number) ||
        !port.set_line_settings(QString::fromLatin1(kProbeLineSettings))) {
        return 0;
    }
    if (!port.open()) {
        return 0;
    }
    return port.close() ? 1 : 0;
}

PortScan scan_ports(SerialPortControl& port) {
    PortScan scan;
    const QString line_end = QStringLiteral("\r\n");
    for (int n = kFirstComPort; n <= kLastComPort; ++n) {
        if (probe_port(port, n) == 1) {
            scan.openable_ports_text +=
                QStringLiteral("- Serial port COM%1 available").arg(n) + line_end;
            scan.last_openable_port = n;
        }
    }
    if (scan.openable_ports_text.endsWith(line_end)) {
        scan.openable_ports_text.chop(line_end.size());
    }
    return scan;
}

bool baud_rate_chosen(const SettingsStore& store) {
    const auto stored =
        store.find_string(QString::fromLatin1(setting_names::serial_port_baud_rate));
    return stored && *stored != QLatin1String(setting_defaults::serial_port_baud_rate);
}

OpenedPort open_configured_port(SerialPortControl& port, const SettingsStore& store,
                                std::int32_t last_openable_port) {
    OpenedPort opened;
    opened.port_number = store.get_number(QString::fromLatin1(setting_names::serial_port_number),
                                          last_openable_port);
    opened.baud_text =
        store.get_string(QString::fromLatin1(setting_names::serial_port_baud_rate),
                         QString::fromLatin1(setting_defaults::serial_port_baud_rate));
    opened.port_ready =
        port.select_port(opened.port_number) &&
        port.set_line_settings(opened.baud_text + QString::fromLatin1(kLineSettingsSuffix)) &&
        port.open();
    opened.status_text =
        QStringLiteral("Serial port COM%1%2")
            .arg(opened.port_number)
            .arg(opened.port_ready ? QStringLiteral(" ready...") : QStringLiteral(" error!"));
    return opened;
}

}  // namespace corvanel
