// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/operation_settings.h"

#include "core/devices/vdd_window.h"
#include "core/devices/vpp_window.h"
#include "core/engine/program_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

std::optional<QString> stored_text(const SettingsStore& stored, const char* name) {
    return stored.find_string(QString::fromLatin1(name));
}

std::optional<double> stored_volts(const SettingsStore& stored, const char* name,
                                   std::optional<double> (*parse)(std::string_view)) {
    const std::string text = stored_text(stored, name).value_or(QString()).toStdString();
    return parse(text);
}

}  // namespace

OperationSettingsResult build_operation_settings(const SettingsStore& stored,
                                                 const OperationOptions* options) {
    static const OperationOptions kNone;
    const OperationOptions& given = options != nullptr ? *options : kNone;
    OperationSettingsResult result;
    OperationSettings& out = result.settings;

    out.fast_link =
        given.fast ||
        stored.find_number(QString::fromLatin1(setting_names::fast_link)).value_or(0) != 0;
    out.calibration_folder = stored.files_folder();

    out.board_vpp = stored_volts(stored, setting_names::board_vpp, &parse_volts);
    if (!given.vpp.isEmpty()) {
        out.board_vpp = parse_volts(given.vpp.toStdString());
        if (!out.board_vpp) {
            result.error = QStringLiteral("--vpp %1 is not a voltage (volts, up to %2)")
                               .arg(given.vpp)
                               .arg(kHighestVpp);
        }
    }
    out.board_vdd = stored_volts(stored, setting_names::board_vdd, &parse_board_vdd);
    if (!given.vdd.isEmpty()) {
        out.board_vdd = parse_board_vdd(given.vdd.toStdString());
        if (!out.board_vdd && result.ok()) {
            result.error = QStringLiteral("--vdd %1 is not a voltage (volts, up to %2)")
                               .arg(given.vdd)
                               .arg(kHighestVdd);
        }
    }

    out.programming_entry =
        given.low_voltage
            ? ProgrammingEntry::LowVoltage
            : programming_entry_from_text(stored_text(stored, setting_names::programming_entry)
                                              .value_or(QString())
                                              .toStdString())
                  .value_or(ProgrammingEntry::HighVoltage);

    // A stored window outside what --window accepts (negative, absurdly large)
    // counts as lock-step: a board that overflows loses bytes.
    const std::int32_t stored_window =
        options != nullptr
            ? stored.find_number(QString::fromLatin1(setting_names::send_ahead_window)).value_or(0)
            : 0;
    out.window = stored_window >= 0 && stored_window <= kMaxSendAheadWindow ? stored_window : 0;
    out.auto_window = given.window_auto || (!given.window && send_ahead_automatic(stored));
    if (given.window) {
        if (*given.window < 0 || *given.window > kMaxSendAheadWindow) {
            if (result.ok()) {
                result.error = QStringLiteral("--window %1 is not a number from 0 to %2 (or auto)")
                                   .arg(*given.window)
                                   .arg(kMaxSendAheadWindow);
            }
        } else {
            out.window = *given.window;
        }
    }
    if (out.auto_window) {
        out.window = 0;
    }
    return result;
}

void apply_operation_settings(const OperationSettings& settings, ProgramState& state) {
    state.runner.fast_link = settings.fast_link;
    state.board_vpp = settings.board_vpp;
    state.board_vdd = settings.board_vdd;
    state.programming_entry = settings.programming_entry;
    state.calibration_folder = settings.calibration_folder;
    state.auto_window = settings.auto_window;
    if (!settings.auto_window) {
        state.runner.window = settings.window;
    }
}

}  // namespace corvanel
