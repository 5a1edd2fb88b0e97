// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's production options of program and read: memories left as they
// are on the chip (--only, --preserve-eeprom), serial numbers (--serial) and
// the production log (--log).

#include <QString>

#include <cstdio>
#include <ctime>

#include "cli/tool.h"
#include "core/devices/device_identity.h"
#include "core/engine/production_log.h"
#include "core/devices/buffer_checksum.h"

namespace corvanel {

int Tool::production_options() {
    if (!options_.only.isEmpty()) {
        const auto parsed = parse_region_list(options_.only.toStdString());
        if (!parsed) {
            return usage_error(QStringLiteral("--only %1 is not a comma list of flash, eeprom, "
                                              "id and config")
                                   .arg(options_.only));
        }
        regions_ = *parsed;
        if (regions_.eeprom && state_.image.eeprom_size == 0) {
            // Nothing would be read or written there, and the run would pass all the same.
            return usage_error(
                QStringLiteral("--only %1: %2 has no EEPROM")
                    .arg(options_.only, QString::fromStdString(state_.model.model_name)));
        }
    }
    if (!options_.serial.isEmpty()) {
        std::string error;
        serial_ = parse_serial_text(options_.serial.toStdString(), error);
        if (!serial_) {
            return usage_error(QStringLiteral("--serial %1: %2")
                                   .arg(options_.serial, QString::fromStdString(error)));
        }
    }
    if (!options_.log.isEmpty()) {
        // A log that cannot be written is found before the chip is touched.
        std::FILE* file = std::fopen(file_name_bytes(options_.log).c_str(), "ab");
        if (file == nullptr) {
            return usage_error(QStringLiteral("--log %1 cannot be written").arg(options_.log));
        }
        std::fclose(file);
    }
    return cli_exit::kDone;
}

int Tool::program_production() {
    const RegionSelection programmed = programmed_regions(regions_, options_.preserve_eeprom);
    MemoryImage image = state_.image;
    if (needs_chip_read(programmed, state_.image)) {
        // The erase clears every memory: what is to stay is read first.
        print_lines(out_, "Reading the chip to keep its " +
                              region_list_text(RegionSelection{
                                  !programmed.flash, !programmed.eeprom && image.eeprom_size > 0,
                                  !programmed.user_ids, !programmed.config}) +
                              ".");
        const int read = run_operation(OperationKind::Read);
        programmed_id_word_ = state_.runner.device_id_word;
        if (read != cli_exit::kDone) {
            state_.image = image;
            return read;
        }
        if (const auto refused =
                kept_region_refusal(state_.image, programmed, state_.protection())) {
            state_.image = image;
            print_lines(stderr, *refused);
            return cli_exit::kRefused;
        }
        image = merge_regions(image, state_.image, programmed);
    }
    if (serial_) {
        write_serial(*serial_, image);
        print_lines(out_, "Serial number " + std::to_string(serial_->value) + " at " +
                              serial_location_text(*serial_) + ".");
    }
    state_.image = image;
    programmed_checksum_ =
        buffer_checksum(state_.image, state_.model);
    const int result = program_and_verify();
    if (state_.runner.device_id_word >= 0) {
        programmed_id_word_ = state_.runner.device_id_word;
    }
    return result;
}

int Tool::finish_production(int result) {
    const bool passed = result == cli_exit::kDone;
    if (!options_.log.isEmpty()) {
        ProductionRecord record;
        record.time = std::time(nullptr);
        record.model = state_.model.model_name;
        const DeviceModel& model = state_.database.model(state_.selected_model);
        if (programmed_id_word_ >= 0) {
            record.id_word = programmed_id_word_;
            if (const auto key = parse_device_id(model.deviceid)) {
                record.id_mask = key->mask;
            }
        }
        record.checksum = programmed_checksum_.value_or(buffer_checksum(state_.image, state_.model));
        record.passed = passed;
        if (const auto error = append_production_log(file_name_bytes(options_.log), record)) {
            // A chip the log does not show is no success of a logged run.
            print_lines(stderr, "corvanel: the production log cannot be written: " + *error);
            return passed ? cli_exit::kRefused : result;
        }
    }
    if (serial_ && passed) {
        const auto next = next_serial(*serial_);
        if (!next) {
            print_lines(stderr, "corvanel: the serial numbers of " +
                                    std::to_string(serial_->byte_count) +
                                    " bytes are used up after " + std::to_string(serial_->value));
            return cli_exit::kRefused;
        }
        print_lines(stdout, "Next serial number: " + std::to_string(*next));
    }
    return result;
}

}  // namespace corvanel
