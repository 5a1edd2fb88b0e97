// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/serial_link.h"

#include <QTimer>

#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/engine/line_rate.h"
#include "core/engine/program_state.h"
#include "platform/app/operation_settings.h"
#include "platform/app/settings_store.h"
#include "platform/link/virtual_port.h"

namespace corvanel {

void keep_measured_windows(ProgramState& state, const SettingsStore& store,
                           std::function<QString()> port_name) {
    auto name = [&state, port_name] {
        return measured_window_setting(port_name(), QString::fromStdString(state.link.baud_text));
    };
    state.load_measured_window = [&store, name]() -> std::optional<std::int32_t> {
        const std::optional<std::int32_t> window = store.find_number(name());
        if (!window || *window < 0 || *window > kAutoWindowMax) {
            return std::nullopt;
        }
        return window;
    };
    state.store_measured_window = [&store, name](std::optional<std::int32_t> window) {
        if (window) {
            store.put_number(name(), *window);
        } else {
            store.remove(name());
        }
    };
}

QString identify_opened_board(ProgramState& state, const QString& status_text) {
    forget_board(state);  // another port, or another board behind it
    if (!state.link.port_ready) {
        return status_text;
    }
    // A plain board is what the line always had: nothing to add.
    if (identify_board(state) == BoardAnswer::Plain) {
        return status_text;
    }
    (void)agree_line_rate(state);
    // The in-process board is no hardware to name: its line stays as it was.
    const auto* port = dynamic_cast<const QtSerialChannel*>(state.link.channel);
    if (port != nullptr && port->virtual_port() != nullptr) {
        return status_text;
    }
    const std::string board = board_status_text(state);
    return board.empty() ? status_text
                         : status_text + QLatin1Char(' ') + QString::fromStdString(board);
}

SerialLink::SerialLink(ProgramState& state) : state_(state) {
    state_.link.channel = &MSComm1;
    MSComm1.set_receive_handler([this] { state_.link.MSComm1_OnComm(); });
    MSComm1.set_lost_handler([this] { port_lost(); });
    state_.link.reopen_lost_port = [this] { return reopen_lost_port(); };
    MSComm1.set_virtual_chip(state_.model.model_name);
}

SerialLink::~SerialLink() {
    MSComm1.set_receive_handler({});
    MSComm1.set_lost_handler({});
    state_.link.reopen_lost_port = nullptr;
    if (state_.link.channel == &MSComm1) {
        state_.link.channel = nullptr;
    }
    state_.link.port_ready = false;
}

void SerialLink::scan_ports() {
    MSComm1.set_virtual_chip(state_.model.model_name);
    // A scan only learns which ports open and sends nothing: waiting for a
    // banner on each of sixteen ports would hold the window for half a minute.
    const BannerWait wait = MSComm1.banner_wait();
    MSComm1.set_banner_wait(BannerWait::Never);
    scan = corvanel::scan_ports(MSComm1);
    MSComm1.set_banner_wait(wait);
}

bool SerialLink::open_configured_port() {
    state_.link.port_ready = false;
    MSComm1.set_virtual_chip(state_.model.model_name);
    // The virtual board runs at the user's "Board Vdd", 5 V when none is set.
    MSComm1.set_virtual_vdd(build_operation_settings(settings()).settings.board_vdd.value_or(5.0));
    const OpenedPort opened =
        corvanel::open_configured_port(MSComm1, settings(), scan.last_openable_port);
    state_.link.port_number = opened.port_number;
    state_.link.baud_text = opened.baud_text.toStdString();
    state_.link.rate_pinned = baud_rate_chosen(settings());
    state_.link.port_ready = opened.port_ready;
    note_port_fault();
    // A port opened again may have another board behind it: a lock-step forced
    // by lost answers is measured afresh.
    state_.send_ahead_memory.port_opened(opened.port_number);
    keep_measured_windows(state_, settings(),
                          [this] { return QStringLiteral("COM%1").arg(state_.link.port_number); });
    QString status = opened.status_text;
    if (!state_.link.port_fault.empty()) {
        status += QLatin1Char(' ') + QString::fromStdString(state_.link.port_fault);
    }
    state_.engine_host().set_status_text(identify_opened_board(state_, status).toStdString());
    return opened.port_ready;
}

void SerialLink::note_port_fault() {
    // A virtual board's reason is the user's to mend (its chip state file); a
    // device's is said where the port is chosen.
    state_.link.port_fault = !state_.link.port_ready && MSComm1.last_error_is_virtual_board()
                                 ? MSComm1.last_error().toStdString()
                                 : std::string();
}

void SerialLink::close_port() {
    if (state_.link.port_ready && !state_.runner.running()) {
        leave_line_rate(state_);
    }
    state_.link.port_ready = false;
    state_.link.port_fault.clear();
    MSComm1.close();
}

void SerialLink::port_lost() {
    ScriptRunner& runner = state_.runner;
    if (runner.in_step()) {
        // A step that writes to the dead port ends soon; the abort comes after it.
        QTimer::singleShot(0, &MSComm1, [this] { port_lost(); });
        return;
    }
    const std::string text = MSComm1.last_error().toStdString();
    state_.link.port_ready = false;
    if (runner.running()) {
        // Tries voltages-off on the port while it is still open.
        abort_operation(state_, text + " Operation aborted.");
    } else {
        state_.engine_host().set_status_text(text);
    }
    MSComm1.close();
}

bool SerialLink::reopen_lost_port() {
    if (!MSComm1.port_lost() || MSComm1.is_open()) {
        return state_.link.port_ready;
    }
    state_.link.port_ready = MSComm1.open();
    (void)identify_opened_board(state_, QString());
    return state_.link.port_ready;
}

void SerialLink::follow_applied_model() {
    const std::string& chip = state_.model.model_name;
    MSComm1.set_virtual_chip(chip);
    VirtualPort* board = MSComm1.virtual_port();
    // A virtual board that could not start with the last model (its state file
    // holds another chip) may start with this one.
    const bool refused_before = board == nullptr && !state_.link.port_fault.empty();
    if (!refused_before && (board == nullptr || board->chip_name() == chip)) {
        return;
    }
    MSComm1.close();
    state_.link.port_ready = MSComm1.open();
    note_port_fault();
    const QString said = identify_opened_board(state_, QString());
    if (refused_before || !state_.link.port_fault.empty()) {
        // The status line said why the board did not start: it says how it stands now.
        QString status = QStringLiteral("Serial port COM%1%2")
                             .arg(state_.link.port_number)
                             .arg(state_.link.port_ready ? QStringLiteral(" ready...")
                                                         : QStringLiteral(" error!"));
        if (!state_.link.port_fault.empty()) {
            status += QLatin1Char(' ') + QString::fromStdString(state_.link.port_fault);
        }
        state_.engine_host().set_status_text((status + said).toStdString());
    }
}

}  // namespace corvanel
