// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's load sequence: theme, settings, model, buffer and port, in
// that order, since each step uses what the steps before it set up.

#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "gui/dialogs/color_theme.h"
#include "gui/link/port_commands.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_setup.h"
#include "platform/link/serial_link.h"

namespace corvanel {

void Form1::load_sequence() {
    loadtheme();
    settheme();
    show();

    last_path() =
        settings().get_string(QString::fromLatin1(setting_names::last_path), program_folder());

    ProgramState& program = state();
    const QString model_setting = QString::fromLatin1(setting_names::microcontroller_model);
    program.selected_model = leading_number(
        settings()
            .get_string(model_setting, QString::fromLatin1(setting_defaults::microcontroller_model))
            .toStdString());
    if (!program.database.has_model(program.selected_model)) {
        program.selected_model = 1;
        settings().put_string(model_setting, QStringLiteral("1"));
    }
    (void)apply_model(program.database, program.selected_model, program.model, program.image);

    menuclear_Click();

    if (serial_link_ != nullptr) {
        const bool first_start =
            !settings().find_number(QString::fromLatin1(setting_names::serial_port_number));
        serial_link_->scan_ports();
        // The link's settings first: the status bar shows how it runs once the port opens.
        apply_operation_settings();
        (void)serial_link_->open_configured_port();
        offer_virtual_board_when_no_port(*serial_link_, first_start);
        if (first_start && serial_link_->MSComm1.virtual_port() != nullptr) {
            // A new user sees a port name that means nothing yet: say what it
            // is and what to try first.
            set_status(status_text() +
                       QStringLiteral(" the virtual board. Open a HEX file or press F5 to try "
                                      "Program All on the virtual board"));
        }
    } else {
        open_port_without_link();
    }
}

namespace {

// A serial line that has no ports at all.
class NoPorts final : public SerialPortControl {
public:
    bool select_port(int) override { return false; }
    bool set_line_settings(const QString&) override { return false; }
    bool open() override { return false; }
    bool close() override { return false; }
};

}  // namespace

void Form1::open_port_without_link() {
    NoPorts none;
    const PortScan scan = scan_ports(none);
    const OpenedPort opened = open_configured_port(none, settings(), scan.last_openable_port);
    ProgramState& program = state();
    program.link.port_number = opened.port_number;
    program.link.baud_text = opened.baud_text.toStdString();
    program.link.port_ready = false;
    set_status(opened.status_text);
}

}  // namespace corvanel
