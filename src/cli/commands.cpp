// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's commands, one function each; cli/command_table.cpp lists them and
// Tool::run has checked the number of arguments before one runs.

#include <QDir>
#include <QString>

#include <algorithm>
#include <vector>

#include "cli/tool.h"
#include "core/devices/buffer_checksum.h"
#include "core/devices/command_set.h"
#include "core/devices/config_fields.h"
#include "core/devices/device_identity.h"
#include "core/devices/model_family.h"
#include "core/devices/vpp_window.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_identify.h"
#include "core/engine/config_sections.h"
#include "core/engine/vpp_calibration.h"
#include "core/image/hex_text.h"
#include "platform/link/low_latency.h"
#include "platform/link/port_setup.h"

namespace corvanel {

int Tool::cmd_models() {
    const DeviceDatabase& database = state_.database;
    if (!options_.family.isEmpty()) {
        const std::string wanted = options_.family.toStdString();
        const std::vector<std::string> families = family_names(database);
        if (std::none_of(families.begin(), families.end(), [&](const std::string& family) {
                return family_matches(family, wanted);
            })) {
            if (families.empty()) {
                return usage_error(
                    QStringLiteral("no family %1: the device database names no families")
                        .arg(options_.family));
            }
            QString known;
            for (const std::string& family : families) {
                known += QStringLiteral("\n  ") + QString::fromStdString(family);
            }
            return usage_error(
                QStringLiteral("no family %1 in the device database; its families:%2")
                    .arg(options_.family, known));
        }
    }
    for (int n = 1; n <= database.model_count(); ++n) {
        const DeviceModel& entry = database.model(n);
        if (!options_.family.isEmpty() &&
            !family_matches(entry.family, options_.family.toStdString())) {
            continue;
        }
        ActiveModel model;
        MemoryImage image;
        (void)apply_model(database, n, model, image);
        std::string line = QStringLiteral("%1  %2  %3  %4")
                               .arg(n, 2)
                               .arg(QString::fromStdString(entry.name), -12)
                               .arg(image.flash_size, 5)
                               .arg(image.eeprom_size, 4)
                               .toStdString();
        // Fields after the sizes stand two blanks apart and never hold two
        // blanks themselves, so a script can split them even where a family
        // name has a blank ("12F629/675, 16F630/676").
        if (model.vpp_window) {
            line += "  Vpp " + vpp_window_text(*model.vpp_window);
        }
        if (model.vdd_window) {
            line += "  Vdd " + vdd_window_text(*model.vdd_window);
        }
        if (!entry.family.empty()) {
            line += "  family " + entry.family;
        }
        line += "  " + std::string(model.command_set->name) + " commands";
        if (const std::string mark = one_source_text(entry); !mark.empty()) {
            line += "  " + mark;
        }
        print_lines(stdout, line);
    }
    return run_exit::kDone;
}

int Tool::cmd_ports() {
    QtSerialChannel port;
    port.set_virtual_chip(state_.model.model_name);
    for (int n = kFirstComPort; n <= kLastComPort; ++n) {
        const PortTarget target = map_com_port(n, port.ports_folder());
        QString verdict;
        const bool openable = probe_port(port, n) == 1;
        if (openable) {
            verdict = target.is_virtual()
                          ? QStringLiteral("can be opened (in-process board, %1)")
                                .arg(QString::fromStdString(state_.model.model_name))
                          : QStringLiteral("can be opened");
        } else {
            verdict = QStringLiteral("cannot be opened: ") + port.last_error();
        }
        if (target.kind == PortTarget::Kind::Device) {
            // Each round trip waits for an adapter's latency timer (see docs/serial-ports.md).
            if (const auto timer = latency_timer_ms(target.device)) {
                verdict += QStringLiteral(", latency timer %1 ms").arg(*timer);
            }
            if (openable && port.latency().low_latency) {
                verdict += QStringLiteral(", low-latency mode");
            }
        }
        print(stdout,
              QStringLiteral("COM%1  %2  %3").arg(n, -2).arg(target.describe(), -16).arg(verdict));
    }
    return run_exit::kDone;
}

int Tool::cmd_check() {
    if (!load_hex(options_.args[0])) {
        return run_exit::kRefused;
    }
    // The figure the window shows under its tables, to compare with another
    // programmer's or with a build's.
    print_lines(out_, checksum_text(buffer_checksum(state_.image, state_.model)));
    return run_exit::kDone;
}

int Tool::cmd_dump() {
    if (!load_hex(options_.args[0])) {
        return run_exit::kRefused;
    }
    print_image();
    return run_exit::kDone;
}

int Tool::cmd_convert() {
    if (!load_hex(options_.args[0])) {
        return run_exit::kRefused;
    }
    return save_hex(options_.args[1]);
}

int Tool::cmd_program() {
    return program_file();
}

int Tool::cmd_verify() {
    if (const int loaded = load_file_to_write(options_.args[0]); loaded != run_exit::kDone) {
        return loaded;
    }
    return cmd_simple(OperationKind::Verify);
}

int Tool::cmd_read() {
    if (const int checked = production_options(); checked != run_exit::kDone) {
        return checked;
    }
    if (const int refused = refuse_target(options_.args[0]); refused != run_exit::kDone) {
        return refused;
    }
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    const MemoryImage before = state_.image;
    int result = run_operation(OperationKind::Read);
    // The line has no checksum: a garbled byte reads as a wrong value. Verify
    // compares the chip with what was read, so such a byte shows as a mismatch
    // (and no file is written).
    if (result == run_exit::kDone && options_.verify) {
        result = run_operation(OperationKind::Verify);
    }
    const int closed = close_port();
    if (result == run_exit::kDone) {
        // --only: the other memories stay as they were (blank).
        state_.image = merge_regions(state_.image, before, regions_);
        result = save_hex(options_.args[0]);
    }
    return result != run_exit::kDone ? result : closed;
}

int Tool::cmd_erase() {
    return cmd_simple(OperationKind::Erase);
}

int Tool::cmd_blank() {
    return cmd_simple(OperationKind::Blank);
}

int Tool::cmd_simple(OperationKind kind) {
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    const int result = run_operation(kind);
    const int closed = close_port();
    return result != run_exit::kDone ? result : closed;
}

int Tool::cmd_board() {
    std::optional<double> meter;
    if (!options_.calibrate_vpp.isEmpty()) {
        const std::string typed = options_.calibrate_vpp.trimmed().toStdString();
        meter = typed == "0" ? std::optional<double>(0.0) : parse_volts(typed);
        if (!meter) {
            return usage_error(QStringLiteral("--calibrate-vpp: \"%1\" is no voltage")
                                   .arg(options_.calibrate_vpp));
        }
    }
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    int result = run_exit::kDone;
    if (meter) {
        const VppCalibrationResult calibrated = calibrate_board_vpp(state_, *meter);
        print_lines(calibrated.ok ? out_ : stderr,
                    (calibrated.ok ? "" : "corvanel: ") + calibrated.text);
        result = calibrated.ok ? run_exit::kDone : run_exit::kRefused;
    }
    const std::string line = board_status_text(state_);
    print_lines(out_, line.empty() ? "Board not asked" : line);
    if (state_.board_answer != BoardAnswer::Identified && result == run_exit::kDone) {
        result = state_.board_answer == BoardAnswer::Garbled ? run_exit::kLink : run_exit::kDone;
    }
    const int closed = close_port();
    return result != run_exit::kDone ? result : closed;
}

int Tool::cmd_detect() {
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    int result = run_exit::kLink;
    const StartResult started = start_identify(state_);
    if (started == StartResult::Refused) {
        result = run_exit::kRefused;  // low-voltage entry on a model without it
    } else if (started == StartResult::Started) {
        const bool answered = host_.wait_for_operation(state_);
        if (host_.interrupted()) {
            result = run_exit::kInterrupted;
        } else if (answered) {
            // The status line named the chip; a chip no model has is a "no".
            const std::int32_t word = state_.runner.device_id_word;
            result = models_with_id(state_.database, word).empty() ? run_exit::kRefused
                                                                   : run_exit::kDone;
        }
    }
    const int closed = close_port();
    return result != run_exit::kDone ? result : closed;
}

int Tool::cmd_config() {
    if (!load_hex(options_.args[0])) {
        return run_exit::kRefused;
    }
    ConfigFieldTable table;
    const QString path = QDir(data_folder()).filePath(QString::fromLatin1(kConfigFieldsFileName));
    const ConfigFieldsLoadResult loaded = load_config_fields(path.toStdString(), table);
    if (!loaded.ok) {
        print(stderr, QStringLiteral("corvanel: ") + QString::fromStdString(loaded.message));
        return run_exit::kUsage;
    }
    const ChipConfigFields* chip = table.find(state_.model.model_name);
    const MemoryImage& image = state_.image;
    for (int number = 1; number <= image.config_count(); ++number) {
        const std::int32_t word = image.config_word(number);
        const std::int32_t address = image.map.config_word_address(number);
        print_lines(stdout,
                    "CONF" + std::to_string(number) + " (" + hex4h(address) + "): " + hex4(word));
        const ConfigWordFields* fields = chip != nullptr ? chip->word(number) : nullptr;
        if (fields == nullptr) {
            print_lines(stdout, "  no named fields for " + state_.model.model_name);
            continue;
        }
        for (const std::string& line : describe_config_word(*fields, word)) {
            print_lines(stdout, "  " + line);
        }
    }
    return run_exit::kDone;
}

int Tool::cmd_osccal() {
    // Typed values are checked before the chip is touched: a wrong word would
    // become the chip's calibration for good.
    std::optional<SavedCalibration> typed;
    if (!options_.osccal_word.isEmpty() || !options_.bandgap.isEmpty()) {
        std::string error;
        typed = parse_typed_calibration(options_.osccal_word.toStdString(),
                                        options_.bandgap.toStdString(), state_.model, error);
        if (!typed) {
            return usage_error(QString::fromStdString(error));
        }
    }
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    const auto& calibration = state_.model.calibration_word;
    int result = run_exit::kRefused;
    if (!calibration) {
        print(stderr, QStringLiteral("corvanel: %1 keeps no calibration in program memory")
                          .arg(QString::fromStdString(state_.model.model_name)));
    } else {
        result = run_operation(OperationKind::Read);
        if (result == run_exit::kDone) {
            print_lines(stdout, calibration_read_text(state_.image, state_.model));
        }
        if (result == run_exit::kDone && typed) {
            // The Erase All takes the typed values at its first calibration read
            // and writes them back after the erase, as it writes back the chip's own.
            state_.typed_calibration = typed;
            result = run_operation(OperationKind::Erase);
            state_.typed_calibration.reset();
            if (result == run_exit::kDone) {
                result = run_operation(OperationKind::Read);
            }
            if (result == run_exit::kDone) {
                print_lines(stdout, "Now: " + calibration_read_text(state_.image, state_.model));
                const bool word_in =
                    typed->word < 0 || state_.image.flash_word(calibration->address) == typed->word;
                const bool bits_in =
                    typed->bits < 0 ||
                    (state_.image.config1 & state_.model.calibration_config_bits) == typed->bits;
                result = word_in && bits_in ? run_exit::kDone : run_exit::kRefused;
            }
        } else if (result == run_exit::kDone &&
                   !calibration->accepts(state_.image.flash_word(calibration->address))) {
            result = run_exit::kRefused;  // the chip has lost its calibration
        }
    }
    const int closed = close_port();
    return result != run_exit::kDone ? result : closed;
}

}  // namespace corvanel
