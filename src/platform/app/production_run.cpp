// SPDX-License-Identifier: GPL-3.0-or-later
// The production options of program and read: memories left as they
// are on the chip (--only, --preserve-eeprom), serial numbers (--serial) and
// the production log (--log).

#include <QString>

#include <cstdio>
#include <ctime>

#include "core/devices/buffer_checksum.h"
#include "core/devices/device_identity.h"
#include "core/engine/config_sections.h"
#include "core/engine/kept_memory_recovery.h"
#include "core/engine/production_log.h"
#include "core/message_kind.h"
#include "platform/app/board_series.h"
#include "platform/app/operation_run.h"

namespace corvanel {

namespace {

RegionSelection either(const RegionSelection& a, const RegionSelection& b) {
    return RegionSelection{a.flash || b.flash, a.eeprom || b.eeprom, a.user_ids || b.user_ids,
                           a.config || b.config};
}

RegionSelection all_but(const RegionSelection& regions) {
    return RegionSelection{!regions.flash, !regions.eeprom, !regions.user_ids, !regions.config};
}

}  // namespace

int OperationRun::production_options() {
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
        // A log that cannot be written is found before the chip is touched. A
        // FIFO would hold the open below until some reader comes: refused first.
        const std::string path = file_name_bytes(options_.log);
        if (const auto refused = production_log_refusal(path)) {
            return usage_error(
                QStringLiteral("--log %1 cannot be written: it is not a regular file")
                    .arg(options_.log));
        }
        std::FILE* file = std::fopen(path.c_str(), "ab");
        if (file == nullptr) {
            return usage_error(QStringLiteral("--log %1 cannot be written").arg(options_.log));
        }
        std::fclose(file);
    }
    return run_exit::kDone;
}

int OperationRun::check_serial_location() {
    production_reason_.clear();
    const int checked = serial_location_refusal();
    if (checked != run_exit::kDone && !options_.log.isEmpty()) {
        // The log shows every run of a production line, the refused one too.
        return finish_production(checked);
    }
    return checked;
}

int OperationRun::serial_location_refusal() {
    if (!serial_) {
        return run_exit::kDone;
    }
    // Outside the memory or too large: the option itself is wrong for the model.
    if (const auto refused = serial_refusal(*serial_, state_.image, ActiveModel{})) {
        production_reason_ = *refused;
        return usage_error(QString::fromStdString(*refused));
    }
    if (const auto refused = serial_refusal(*serial_, state_.image, state_.model)) {
        production_reason_ = *refused;
        print_lines(stderr, "corvanel: " + *refused);
        return run_exit::kRefused;
    }
    if (const auto overwrites = serial_overwrites(*serial_, state_.image)) {
        if (!options_.force) {
            production_reason_ =
                *overwrites + " Refused: --force writes the serial number over it.";
            print_lines(stderr, "corvanel: " + production_reason_);
            return run_exit::kRefused;
        }
        print_lines(stderr, "corvanel: " + *overwrites + " --force: written over.");
    }
    return run_exit::kDone;
}

int OperationRun::read_kept_memories(const RegionSelection& programmed) {
    int read = run_operation(OperationKind::Read);
    programmed_id_word_ = state_.runner.device_id_word;
    programmed_revision_word_ = state_.runner.revision_word;
    if (read != run_exit::kDone) {
        return read;
    }
    const MemoryImage first = state_.image;
    print_lines(out_, "Reading the chip again to check the first read.");
    read = run_operation(OperationKind::Read);
    if (read != run_exit::kDone) {
        return read;
    }
    if (const auto differ = kept_reads_differ(first, state_.image, programmed)) {
        production_reason_ = "the two reads of the chip differ: " + *differ;
        print_lines(stderr, "corvanel: the two reads of the chip differ (" + *differ +
                                "): the line garbles bytes, and what is kept would be written "
                                "back wrong. Nothing was erased.");
        return run_exit::kRefused;
    }
    if (const auto refused = kept_region_refusal(state_.image, programmed, state_.protection())) {
        production_reason_ = *refused;
        print_lines(stderr, *refused);
        return run_exit::kRefused;
    }
    return run_exit::kDone;
}

int OperationRun::program_production() {
    production_reason_.clear();
    start_refused_ = false;
    kept_unsaved_refused_ = false;
    const RegionSelection from_buffer = programmed_regions(regions_, options_.preserve_eeprom);
    RegionSelection programmed = from_buffer;
    MemoryImage image = state_.image;
    RegionSelection rescued{false, false, false, false};

    // What an earlier run kept from a chip and could not write back.
    std::optional<std::filesystem::path> kept_file;
    if (state_.calibration_folder) {
        kept_file = kept_memory_file(*state_.calibration_folder, state_.model.model_name);
        if (const auto kept = load_kept_memories(*kept_file, image)) {
            const std::string question =
                kept_memory_question(*kept_file, *kept, state_.model.model_name);
            if (host_.show_message(question, message_kind::kQuestion, "") == message_result::kYes) {
                rescued = kept->kept;
                image = merge_regions(image, kept->image, all_but(rescued));
                programmed = either(programmed, rescued);
            } else {
                print_lines(out_, "The kept memories stay in " + kept_file->string() +
                                      " (--force writes them back).");
            }
        }
    }

    const MemoryImage original = state_.image;
    const bool by_erase =
        needs_chip_read(programmed, state_.image) && !region_erase_refused_ &&
        erase_keeps_regions(state_.model.program_list) &&
        !(serial_ && serial_in_regions(*serial_, kept_regions(programmed, image)));
    if (by_erase) {
        // The erase leaves what is to stay on the chip: nothing to read or write back.
        state_.erase_keeps = kept_regions(programmed, image);
        print_lines(out_, "Keeping the chip's " + region_list_text(state_.erase_keeps) +
                              " through the erase.");
    } else if (needs_chip_read(programmed, state_.image)) {
        // The erase clears every memory: what is to stay is read first.
        print_lines(out_, "Reading the chip to keep its " +
                              region_list_text(kept_regions(programmed, image)) + ".");
        const int read = read_kept_memories(programmed);
        if (read != run_exit::kDone) {
            state_.image = image;
            return read;
        }
        image = merge_regions(image, state_.image, programmed);
    }
    // Until the kept memories are back on the chip, they live in a file too.
    const RegionSelection kept =
        by_erase ? rescued : either(kept_regions(from_buffer, image), rescued);
    bool kept_saved = false;
    if (!kept.none()) {
        const std::optional<std::string> error =
            kept_file ? save_kept_memories(*kept_file, KeptMemories{kept, image})
                      : std::optional<std::string>("there is no configuration folder");
        if (error) {
            // Nothing is erased while the only copy would be this program's.
            const std::string question = kept_memory_unsaved_question(kept_file, *error, kept);
            if (host_.show_message(question, message_kind::kQuestion, "") != message_result::kYes) {
                production_reason_ = "the kept " + region_list_text(kept) + " cannot be saved (" +
                                     *error + "); the question was answered No";
                kept_unsaved_refused_ = true;
                state_.image = image;
                return run_exit::kRefused;
            }
        } else {
            kept_saved = true;
        }
    }
    if (serial_) {
        write_serial(*serial_, image);
        print_lines(out_, "Serial number " + std::to_string(serial_->value) + " at " +
                              serial_location_text(*serial_) + ".");
    }
    state_.image = image;
    programmed_checksum_ = buffer_checksum(state_.image, state_.model);
    const int result = program_and_verify();
    state_.erase_keeps = kNoRegions;
    if (by_erase && result != run_exit::kDone && host_.last_status() == kRegionEraseProtectedText &&
        !host_.interrupted()) {
        // Refused before the erase: the memories are kept the way every other family
        // keeps them, read first and written back.
        print_lines(out_,
                    "The chip is code-protected: its memories are read and written back "
                    "instead.");
        region_erase_refused_ = true;
        state_.image = original;
        const int again = program_production();
        region_erase_refused_ = false;
        return again;
    }
    // Unless Program All's read gave it before Verify: the last read's ID (a chip
    // refused as another model is logged with its own).
    if (programmed_id_word_ < 0 && state_.runner.device_id_word >= 0) {
        programmed_id_word_ = state_.runner.device_id_word;
        if (state_.runner.revision_word >= 0) {
            programmed_revision_word_ = state_.runner.revision_word;
        }
    }
    // Written back, or never erased (the user did not go on past a question).
    if (kept_saved && (result == run_exit::kDone || start_refused_ || state_.operation_refused)) {
        forget_kept_memories(*kept_file);
    }
    return result;
}

int OperationRun::finish_production(int result) {
    // The result is settled here: a stop signal from now on no longer ends the
    // tool between the log line and the exit.
    ConsoleHost::defer_interrupts();
    ProductionResult outcome = ProductionResult::Pass;
    std::string reason;
    if (result != run_exit::kDone) {
        outcome = ProductionResult::Fail;
        if (host_.interrupted()) {
            outcome = ProductionResult::Cancelled;
            reason = "stopped by signal " + std::to_string(ConsoleHost::interrupt_signal());
        } else if (start_refused_) {
            outcome = ProductionResult::Cancelled;
            reason = "the programming voltage question was answered No";
        } else if (refused_after_program_) {
            reason = gone_at_verify_reason(state_.model.model_name);
        } else if (state_.operation_refused) {
            outcome = ProductionResult::Cancelled;
            reason = "the chip in the socket is not a " + state_.model.model_name +
                     "; the question was answered No";
        } else if (kept_unsaved_refused_) {
            outcome = ProductionResult::Cancelled;
            reason = production_reason_;
        } else if (!production_reason_.empty()) {
            reason = production_reason_;
        } else if (!host_.last_status().empty()) {
            reason = host_.last_status();
        } else {
            reason = "exit " + std::to_string(result);
        }
    }
    std::optional<std::uint64_t> next;
    serials_used_up_ = false;
    if (gang_serial_) {
        // Boards that share the numbers: a pass spends the chip's number, any
        // other result hands it to the next chip of whichever board.
        if (outcome == ProductionResult::Pass) {
            gang_->serials->passed(*gang_serial_);
            serials_used_up_ = gang_->serials->used_up();
        } else {
            gang_->serials->give_back(*gang_serial_);
        }
        gang_serial_.reset();
        if (serials_used_up_) {
            reason = kNoSerialLeft;
        }
    } else if (serial_ && outcome == ProductionResult::Pass) {
        next = next_serial(*serial_);
        // The chip holds the last number and has passed; no chip after it may
        // get a number, so a series ends here.
        serials_used_up_ = !next;
        if (serials_used_up_) {
            reason = kNoSerialLeft;
        }
    }
    last_outcome_ = outcome;
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
            if (state_.model.revision_address && programmed_revision_word_ >= 0) {
                record.revision_word = programmed_revision_word_;
            }
        }
        record.checksum =
            programmed_checksum_.value_or(buffer_checksum(state_.image, state_.model));
        record.result = outcome;
        if (serial_) {
            record.serial = serial_->value;
        }
        record.file = options_.args.isEmpty() ? std::string() : options_.args[0].toStdString();
        record.file_checksum = file_checksum_;
        record.reason = reason;
        record.port = (port_name_.isEmpty() ? options_.port : port_name_).toStdString();
        std::unique_lock<std::mutex> shared_log;
        if (gang_ != nullptr) {
            // One log for every board: its header is written once, its lines whole.
            shared_log = std::unique_lock(gang_->log_mutex);
        }
        if (const auto error = append_production_log(file_name_bytes(options_.log), record)) {
            // A chip the log does not show is no success of a logged run.
            print_lines(stderr, "corvanel: the production log cannot be written: " + *error);
            result_recorded_ = true;
            return outcome == ProductionResult::Pass ? run_exit::kRefused : result;
        }
    }
    result_recorded_ = true;
    if (next) {
        print_lines(stdout, "Next serial number: " + std::to_string(*next));
    } else if (serials_used_up_ && shares_serials()) {
        print_lines(stdout, "Serial number " + std::to_string(serial_->value) +
                                " was the last left: " + kNoSerialLeft + ".");
    } else if (serials_used_up_) {
        print_lines(stdout, "Serial number " + std::to_string(serial_->value) +
                                " was the last that fits in " +
                                byte_count_text(serial_->byte_count) + ": " + kNoSerialLeft + ".");
    }
    return result;
}

int OperationRun::program_file() {
    if (const int checked = production_options(); checked != run_exit::kDone) {
        return checked;
    }
    if (const int loaded = load_file_to_write(options_.args[0]); loaded != run_exit::kDone) {
        return loaded;
    }
    file_checksum_ = buffer_checksum(state_.image, state_.model);
    if (const int checked = check_serial_location(); checked != run_exit::kDone) {
        return checked;
    }
    if (options_.repeat) {
        return program_repeat();
    }
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    const int result = program_production();
    // The port is still open, so a stop signal until here was only noted.
    ConsoleHost::defer_interrupts();
    const int closed = close_port();
    return finish_production(result != run_exit::kDone ? result : closed);
}

int OperationRun::program_and_verify() {
    refused_after_program_ = false;
    const ProtectionBits protection = state_.protection();
    const bool protects =
        protection.program_protected(state_.image) || protection.data_protected(state_.image);
    if (options_.verify && protects) {
        return program_protected_build();
    }
    int result = run_operation(OperationKind::Program);
    if (result == run_exit::kDone && options_.verify) {
        result = verify_programmed();
    }
    return result;
}

int OperationRun::verify_programmed(const InstructionList* script, bool continues) {
    // The chip Program All wrote, by the ID its own read found: Verify's read
    // may find the socket empty.
    if (state_.runner.device_id_word >= 0) {
        programmed_id_word_ = state_.runner.device_id_word;
    }
    if (state_.runner.revision_word >= 0) {
        programmed_revision_word_ = state_.runner.revision_word;
    }
    const int result = script != nullptr ? run_operation(OperationKind::Verify, script, continues)
                                         : run_operation(OperationKind::Verify);
    refused_after_program_ = result != run_exit::kDone && state_.operation_refused;
    return result;
}

int OperationRun::program_protected_build() {
    const ConfigSplit program = split_config_sections(state_.model.program_list);
    const ConfigSplit verify = split_config_sections(state_.model.verify_list);
    if (!program.found() || !verify.found()) {
        // An algorithm without a section of its own for the configuration word:
        // in the usual order (its Verify then fails where protection hides memory).
        int result = run_operation(OperationKind::Program);
        if (result == run_exit::kDone) {
            result = verify_programmed();
        }
        return result;
    }
    print_lines(stdout,
                "Code protection is on: the configuration word is written after the verify.");
    int result = run_operation(OperationKind::Program, &program.rest, false);
    if (result == run_exit::kDone) {
        result = verify_programmed(&verify.rest, true);
    }
    if (result != run_exit::kDone) {
        return result;  // a chip that does not verify is not protected
    }
    result = run_operation(OperationKind::Program, &program.config, true);
    if (result == run_exit::kDone) {
        result = run_operation(OperationKind::Verify, &verify.config, true);
    }
    return result;
}

}  // namespace corvanel
