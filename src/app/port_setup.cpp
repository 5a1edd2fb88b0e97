#include "app/port_setup.h"

#include "app/settings_store.h"
#include "link/qt_port_control.h"

namespace corvanel {

PortSetup& port_setup() {
    static PortSetup setup;
    return setup;
}

int probe_port(SerialPortControl* port, int n) {
    if (port == nullptr) {
        return 0;
    }
    if (!port->select_port(n) || !port->set_line_settings(QStringLiteral("9600,n,8,1"))) {
        return 0;
    }
    if (!port->open()) {
        return 0;
    }
    return port->close() ? 1 : 0;
}

void scan_ports(SerialPortControl* port, PortSetup& setup) {
    setup.openable_ports_text.clear();
    setup.last_openable_port = 2;
    for (int n = 1; n <= 16; ++n) {
        if (probe_port(port, n) == 1) {
            setup.openable_ports_text += QStringLiteral("- Serial port COM%1 available\r\n").arg(n);
            setup.last_openable_port = n;
        }
    }
    if (!setup.openable_ports_text.isEmpty()) {
        setup.openable_ports_text.chop(2);
    }
}

QString open_configured_port(SerialPortControl* port, PortSetup& setup) {
    setup.port_number = settings().get_number(
        QString::fromLatin1(setting_names::serial_port_number), setup.last_openable_port);
    setup.baud_text =
        settings().get_string(QString::fromLatin1(setting_names::serial_port_baud_rate),
                              QString::fromLatin1(setting_defaults::serial_port_baud_rate));
    setup.port_ready = false;
    const QString prefix = QStringLiteral("Serial port COM%1").arg(setup.port_number);
    if (port == nullptr || !port->select_port(setup.port_number) ||
        !port->set_line_settings(setup.baud_text + QStringLiteral(",n,8,1")) || !port->open()) {
        return prefix + QStringLiteral(" error!");
    }
    setup.port_ready = true;
    return prefix + QStringLiteral(" ready...");
}

}  // namespace corvanel
