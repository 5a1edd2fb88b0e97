// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/production_panel.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include <ctime>

#include "core/devices/buffer_checksum.h"
#include "core/devices/device_identity.h"
#include "core/engine/kept_memory_recovery.h"
#include "core/engine/operation_stop.h"
#include "core/engine/program_state.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/serial_number_dialog.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

constexpr int kPollMilliseconds = 10;

QString name(const char* text) {
    return QString::fromLatin1(text);
}

const QString kPreserveTip =
    QStringLiteral("Program All reads the chip's EEPROM first and writes it back");

QString text_of(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

RegionSelection either(const RegionSelection& a, const RegionSelection& b) {
    return RegionSelection{a.flash || b.flash, a.eeprom || b.eeprom, a.user_ids || b.user_ids,
                           a.config || b.config};
}

RegionSelection all_but(const RegionSelection& regions) {
    return RegionSelection{!regions.flash, !regions.eeprom, !regions.user_ids, !regions.config};
}

}  // namespace

ProductionPanel::ProductionPanel(Form1& form) : QObject(&form), form_(form) {
    counters_label_ = new QLabel(&form);
    poll_.setInterval(kPollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, &ProductionPanel::poll);
    load_settings();
    show_counters();
}

QMenu* ProductionPanel::build_menu(QMenuBar* bar) {
    menu_ = bar->addMenu(QStringLiteral("Pro&duction"));
    // Checked: Program All and Read All work on that memory.
    const std::array<QString, 4> captions = {
        QStringLiteral("Work on Program &Memory"), QStringLiteral("Work on &EEPROM"),
        QStringLiteral("Work on &User IDs"), QStringLiteral("Work on &Configuration Words")};
    for (std::size_t i = 0; i < captions.size(); ++i) {
        region_actions[i] = menu_->addAction(captions[i]);
        region_actions[i]->setCheckable(true);
        connect(region_actions[i], &QAction::triggered, this, [this] {
            set_regions({region_actions[0]->isChecked(), region_actions[1]->isChecked(),
                         region_actions[2]->isChecked(), region_actions[3]->isChecked()});
        });
    }
    preserve_action = menu_->addAction(QStringLiteral("&Preserve EEPROM"));
    preserve_action->setCheckable(true);
    preserve_action->setToolTip(kPreserveTip);
    connect(preserve_action, &QAction::triggered, this,
            [this](bool checked) { set_preserve_eeprom(checked); });
    serial_action = menu_->addAction(QStringLiteral("&Serial Numbers..."), this,
                                     &ProductionPanel::edit_serial_numbers);
    log_action = menu_->addAction(QStringLiteral("Production &Log File..."), this,
                                  &ProductionPanel::choose_log_file);
    reset_action =
        menu_->addAction(QStringLiteral("&Reset Counters"), this, &ProductionPanel::reset_counters);
    // The applied model may have changed since: a memory it lacks is not offered.
    connect(menu_, &QMenu::aboutToShow, this, &ProductionPanel::offer_model_memories);
    sync_menu();
    return menu_;
}

void ProductionPanel::load_settings() {
    const SettingsStore& store = settings();
    if (const auto list = store.find_string(name(setting_names::program_memories))) {
        regions_ = parse_region_list(list->toStdString()).value_or(RegionSelection{});
    }
    preserve_eeprom_ = store.find_number(name(setting_names::preserve_eeprom)).value_or(0) != 0;
    log_path_ = store.find_string(name(setting_names::production_log)).value_or(QString());
    serial_enabled_ = store.find_number(name(setting_names::serial_numbers)).value_or(0) != 0;
    std::string error;
    // No location is assumed: whatever a default named (the reset vector) would
    // be somebody's code. Until the user chooses one, serial numbers stay off.
    const QString location =
        store.find_string(name(setting_names::serial_number_location)).value_or(QString());
    if (auto parsed = parse_serial_text("1@" + location.toStdString(), error)) {
        serial_ = *parsed;
    } else {
        serial_ = SerialNumber{};
        serial_enabled_ = false;
    }
    bool number = false;
    const auto next = store.find_string(name(setting_names::serial_number_next))
                          .value_or(QStringLiteral("1"))
                          .toULongLong(&number);
    serial_.value = number ? next : 1;
    serial_.step = static_cast<std::uint64_t>(
        std::max(1, store.find_number(name(setting_names::serial_number_step)).value_or(1)));
}

void ProductionPanel::sync_menu() {
    if (menu_ == nullptr) {
        return;
    }
    const std::array<bool, 4> on = {regions_.flash, regions_.eeprom, regions_.user_ids,
                                    regions_.config};
    for (std::size_t i = 0; i < on.size(); ++i) {
        region_actions[i]->setChecked(on[i]);
    }
    preserve_action->setChecked(preserve_eeprom_);
    log_action->setText(
        log_path_.isEmpty()
            ? QStringLiteral("Production &Log File...")
            : QStringLiteral("Production &Log File (%1)...").arg(QFileInfo(log_path_).fileName()));
}

void ProductionPanel::offer_model_memories() {
    // A model without EEPROM: nothing to work on or keep there (the choice stays
    // stored for the models that have one).
    const bool has_eeprom = state().image.eeprom_size > 0;
    const QString lacks =
        QStringLiteral("%1 has no EEPROM").arg(QString::fromStdString(state().model.model_name));
    region_actions[1]->setEnabled(has_eeprom);
    region_actions[1]->setToolTip(has_eeprom ? QString() : lacks);
    preserve_action->setEnabled(has_eeprom);
    preserve_action->setToolTip(has_eeprom ? kPreserveTip : lacks);
}

void ProductionPanel::show_counters() {
    QString text = QStringLiteral("Pass %1  Fail %2  Total %3")
                       .arg(counters_.passed)
                       .arg(counters_.failed)
                       .arg(counters_.total());
    if (serial_enabled_) {
        text += QStringLiteral("  Next serial %1").arg(serial_.value);
    }
    counters_label_->setText(text);
}

void ProductionPanel::set_regions(const RegionSelection& regions) {
    regions_ = regions;
    settings().put_string(name(setting_names::program_memories),
                          QString::fromStdString(region_list_text(regions)));
    sync_menu();
}

void ProductionPanel::set_preserve_eeprom(bool preserve) {
    preserve_eeprom_ = preserve;
    settings().put_number(name(setting_names::preserve_eeprom), preserve ? 1 : 0);
    sync_menu();
}

void ProductionPanel::set_serial(const SerialNumber& serial, bool enabled) {
    serial_ = serial;
    serial_enabled_ = enabled;
    SettingsStore& store = settings();
    store.put_number(name(setting_names::serial_numbers), enabled ? 1 : 0);
    store.put_string(name(setting_names::serial_number_next), QString::number(serial.value));
    store.put_number(name(setting_names::serial_number_step), static_cast<int>(serial.step));
    store.put_string(name(setting_names::serial_number_location),
                     QString::fromStdString(serial_location_text(serial)));
    show_counters();
}

void ProductionPanel::set_log_path(const QString& path) {
    log_path_ = path;
    settings().put_string(name(setting_names::production_log), path);
    sync_menu();
}

void ProductionPanel::reset_counters() {
    counters_.reset();
    show_counters();
}

void ProductionPanel::choose_log_file() {
    // The log is only ever appended to: an existing file is no question.
    const QString path =
        QFileDialog::getSaveFileName(&form_, QStringLiteral("Production Log File"),
                                     log_path_.isEmpty() ? last_path() : log_path_,
                                     QStringLiteral("CSV files (*.csv);;All files (*)"), nullptr,
                                     QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) {
        // A FIFO or device would hold every Program All in its open.
        if (const auto refused = production_log_refusal(QFile::encodeName(path).toStdString())) {
            (void)mymsgbox(QString::fromStdString(*refused), message_kind::kError, window_title());
            return;
        }
        set_log_path(path);
    } else if (!log_path_.isEmpty() &&
               mymsgbox(QStringLiteral("Stop writing the production log?"),
                        message_kind::kQuestion | message_kind::kDefaultButton2,
                        window_title()) == message_result::kYes) {
        set_log_path(QString());
    }
}

void ProductionPanel::edit_serial_numbers() {
    SerialNumberDialog dialog(serial_, serial_enabled_, state().image, state().model, &form_);
    if (dialog.exec() == QDialog::Accepted) {
        set_serial(dialog.serial(), dialog.serial_enabled());
    }
}

bool ProductionPanel::erases_around_kept(const RegionSelection& kept) {
    // A serial number in a kept memory must be written: that memory is kept by reading.
    return !region_erase_refused_ && erase_keeps_regions(state().model.program_list) &&
           !(serial_enabled_ && serial_in_regions(serial_, kept));
}

bool ProductionPanel::takes(OperationKind operation) const {
    return operation == OperationKind::Program ||
           (operation == OperationKind::Read && !regions_.all());
}

void ProductionPanel::start(OperationKind operation, bool on_change) {
    if (active_) {
        // One sequence at a time: a second would take the buffer it keeps.
        form_.set_status(QStringLiteral("Operation in progress."));
        return;
    }
    ProgramState& program = state();
    buffer_ = program.image;
    serials_used_up_.clear();
    last_result_.reset();
    id_word_ = -1;
    on_change_ = on_change && operation == OperationKind::Program;
    // A build with code protection on reads back as protected memory, not as the
    // file: the result of Program All stands then (the tool's program --verify
    // writes the configuration word last for that).
    const ProtectionBits protection = program.protection();
    verify_wanted_ =
        (on_change_ || always_verify_ ||
         settings().find_number(name(setting_names::verify_after_program)).value_or(1) != 0) &&
        !protection.program_protected(program.image) && !protection.data_protected(program.image);
    // EEPROM alone on a model without one would read nothing, or erase the chip
    // and write back only its own contents, and pass all the same.
    if (program.image.eeprom_size == 0 && regions_ == RegionSelection{false, true, false, false}) {
        buffer_.reset();
        form_.set_status(QStringLiteral("%1 has no EEPROM. ")
                             .arg(QString::fromStdString(program.model.model_name)) +
                         text_of(kNothingSelectedText));
        return;
    }
    if (operation == OperationKind::Read) {
        if (regions_.none()) {
            buffer_.reset();
            form_.set_status(text_of(kNothingSelectedText));
            return;
        }
        active_ = true;
        (void)begin(Step::Read, OperationKind::Read);
        return;
    }
    programmed_ = programmed_regions(regions_, preserve_eeprom_);
    if (programmed_.none() && !serial_enabled_) {
        buffer_.reset();
        form_.set_status(text_of(kNothingSelectedText));
        return;
    }
    if (serial_enabled_) {
        if (const auto refused = serial_refusal(serial_, program.image, program.model)) {
            buffer_.reset();
            (void)mymsgbox(QString::fromStdString(*refused), message_kind::kError, window_title());
            return;
        }
        if (const auto overwrites = serial_overwrites(serial_, program.image)) {
            // The file's own data there is lost in the chip: only on the user's word.
            if (mymsgbox(QString::fromStdString(*overwrites) +
                             QStringLiteral("\r\nWrite the serial number over it?"),
                         message_kind::kQuestion | message_kind::kDefaultButton2,
                         window_title()) != message_result::kYes) {
                buffer_.reset();
                form_.set_status(QStringLiteral("Program all cancelled."));
                return;
            }
        }
    }
    file_checksum_ = buffer_checksum(program.image, program.model);
    programmed_checksum_ = file_checksum_;
    revision_word_ = -1;
    first_read_.reset();
    rescued_ = kNoRegions;
    rescued_image_.reset();
    kept_saved_ = false;
    start_refused_ = false;
    if (program.calibration_folder) {
        const auto file = kept_memory_file(*program.calibration_folder, program.model.model_name);
        if (auto kept = load_kept_memories(file, program.image)) {
            if (mymsgbox(QString::fromStdString(
                             kept_memory_question(file, *kept, program.model.model_name)),
                         message_kind::kQuestion, window_title()) == message_result::kYes) {
                rescued_ = kept->kept;
                rescued_image_ = std::move(kept->image);
                programmed_ = either(programmed_, rescued_);
            }
        }
    }
    active_ = true;
    region_erase_refused_ = false;
    if (needs_chip_read(programmed_, program.image) &&
        !erases_around_kept(kept_regions(programmed_, program.image))) {
        (void)begin(Step::ReadFirst, OperationKind::Read);
        return;
    }
    program_merged();  // nothing to read: straight on with the buffer
}

bool ProductionPanel::begin(Step step, OperationKind kind) {
    step_ = step;
    step_completed_ = false;
    step_started_ = true;
    poll_.start();
    // The start passes events before the first command goes out: the poll must
    // not take the operation that has not begun yet for one that has ended.
    starting_ = true;
    state().read_to_keep = step == Step::ReadFirst || step == Step::ReadAgain;
    const StartResult started = start_operation(state(), kind);
    starting_ = false;
    if (started != StartResult::Started) {
        // The status line says why (port, Vpp question); nothing ran.
        start_refused_ = started == StartResult::Refused;
        step_started_ = false;
        step_done(false);
        return false;
    }
    return true;
}

void ProductionPanel::operation_ended() {
    if (step_ == Step::None) {
        return;
    }
    const ProgramState& program = state();
    step_completed_ =
        program.runner.completing() && !program.operation_failed && !program.operation_refused;
    bool ok = step_completed_;
    if (step_ == Step::Verify || step_ == Step::VerifyRead) {
        ok = ok && program.report.mismatch_count == 0 && !verify_incomplete(program.runner);
    }
    // A failure, or the sequence's last step, ends the sequence now: the window
    // is ready again as soon as the result shows. A next step has to wait until
    // the completion routine has returned (the poll starts it).
    if (!ok || last_step()) {
        step_done(ok);
    }
}

bool ProductionPanel::last_step() const {
    switch (step_) {
        case Step::ReadFirst:
        case Step::ReadAgain:
            return false;
        case Step::Program:
            return last_step_after_program();
        case Step::Read:
            return settings().find_number(name(setting_names::verify_read)).value_or(0) == 0;
        case Step::None:
        case Step::Verify:
        case Step::VerifyRead:
            break;
    }
    return true;
}

void ProductionPanel::poll() {
    const ScriptRunner& runner = state().runner;
    if (step_ == Step::None) {
        return;  // between two steps
    }
    if (starting_ || runner.running() || runner.in_step() || runner.completing()) {
        return;
    }
    bool ok = step_completed_;
    if (step_ == Step::Verify || step_ == Step::VerifyRead) {
        ok = ok && state().report.mismatch_count == 0 && !verify_incomplete(runner);
    }
    step_done(ok);
}

void ProductionPanel::step_done(bool ok) {
    ProgramState& program = state();
    const Step step = step_;
    step_ = Step::None;
    failed_step_ = ok ? Step::None : step;
    switch (step) {
        case Step::None:
            return;
        case Step::ReadFirst:
            if (!ok) {
                finish_failed_step();
                return;
            }
            id_word_ = program.runner.device_id_word;
            revision_word_ = program.runner.revision_word;
            first_read_ = program.image;
            (void)begin(Step::ReadAgain, OperationKind::Read);
            return;
        case Step::ReadAgain:
            if (!ok) {
                finish_failed_step();
                return;
            }
            program_merged();
            return;
        case Step::Program:
            if (program.runner.device_id_word >= 0) {
                id_word_ = program.runner.device_id_word;
            }
            if (program.runner.revision_word >= 0) {
                revision_word_ = program.runner.revision_word;
            }
            if (!ok) {
                finish_failed_step();
                return;
            }
            if (!last_step_after_program()) {
                // What the chip should now hold is not the buffer: it is compared here.
                (void)begin(Step::Verify, OperationKind::Verify);
                return;
            }
            finish_program(ProductionResult::Pass);
            return;
        case Step::Verify:
            if (!ok) {
                finish_failed_step();
                return;
            }
            finish_program(ProductionResult::Pass);
            return;
        case Step::Read:
            if (ok && settings().find_number(name(setting_names::verify_read)).value_or(0) != 0) {
                // Against the whole chip as read, before the memories are picked.
                (void)begin(Step::VerifyRead, OperationKind::Verify);
                return;
            }
            finish_read(ok);
            return;
        case Step::VerifyRead:
            finish_read(true);  // the read stands; a failed verify has said so
            return;
    }
}

void ProductionPanel::finish_read(bool passed) {
    poll_.stop();
    active_ = false;
    ProgramState& program = state();
    if (passed && buffer_) {
        // Only the selected memories come from the chip; the others stay.
        program.image = merge_regions(program.image, *buffer_, regions_);
        form_.updatedisplay();
    }
    buffer_.reset();
}

void ProductionPanel::program_merged() {
    ProgramState& program = state();
    MemoryImage merged = *buffer_;
    if (rescued_image_) {
        merged = merge_regions(merged, *rescued_image_, all_but(rescued_));
    }
    const bool by_erase = needs_chip_read(programmed_, merged) &&
                          erases_around_kept(kept_regions(programmed_, merged));
    if (by_erase) {
        // The erase leaves what is to stay on the chip: nothing was read.
        program.erase_keeps = kept_regions(programmed_, merged);
    } else if (needs_chip_read(programmed_, merged)) {
        if (first_read_) {
            if (const auto differ = kept_reads_differ(*first_read_, program.image, programmed_)) {
                const QString text =
                    QStringLiteral(
                        "The two reads of the chip differ (%1): the line garbles "
                        "bytes, and what is kept would be written back wrong. Nothing "
                        "was erased.")
                        .arg(QString::fromStdString(*differ));
                form_.set_status(text);
                (void)mymsgbox(text, message_kind::kError, window_title());
                finish_program(ProductionResult::Fail,
                               QStringLiteral("the two reads of the chip differ: %1")
                                   .arg(QString::fromStdString(*differ)));
                return;
            }
        }
        if (const auto refused =
                kept_region_refusal(program.image, programmed_, program.protection())) {
            form_.set_status(QString::fromStdString(*refused));
            (void)mymsgbox(QString::fromStdString(*refused), message_kind::kError, window_title());
            finish_program(ProductionResult::Fail, QString::fromStdString(*refused));
            return;
        }
        merged = merge_regions(merged, program.image, programmed_);
    }
    // Until the kept memories are on the chip again they live in a file too.
    const RegionSelection kept =
        by_erase ? rescued_
                 : either(kept_regions(programmed_regions(regions_, preserve_eeprom_), merged),
                          rescued_);
    if (!kept.none()) {
        std::optional<std::filesystem::path> file;
        if (program.calibration_folder) {
            file = kept_memory_file(*program.calibration_folder, program.model.model_name);
        }
        const std::optional<std::string> error =
            file ? save_kept_memories(*file, KeptMemories{kept, merged})
                 : std::optional<std::string>("there is no configuration folder");
        if (error) {
            // Nothing is erased while the only copy would be this program's.
            if (mymsgbox(QString::fromStdString(kept_memory_unsaved_question(file, *error, kept)),
                         message_kind::kQuestion | message_kind::kDefaultButton2,
                         window_title()) != message_result::kYes) {
                form_.set_status(QStringLiteral("Program all cancelled."));
                finish_program(ProductionResult::Cancelled,
                               QStringLiteral("the kept %1 cannot be saved (%2); the question "
                                              "was answered No")
                                   .arg(QString::fromStdString(region_list_text(kept)),
                                        QString::fromStdString(*error)));
                return;
            }
        } else {
            kept_saved_ = true;
        }
    }
    if (serial_enabled_) {
        write_serial(serial_, merged);
    }
    program.image = merged;
    programmed_checksum_ = buffer_checksum(merged, program.model);
    form_.updatedisplay();
    (void)begin(Step::Program, OperationKind::Program);
}

void ProductionPanel::finish_failed_step() {
    if (!step_started_) {
        classify_failed_step();  // the status line already says why it did not start
        return;
    }
    // The engine enables the window's commands (which ends the step here)
    // before it shows why the operation ended: the reason is read once that
    // status line is there, in the next pass of the event loop.
    poll_.stop();
    QTimer::singleShot(0, this, &ProductionPanel::classify_failed_step);
}

void ProductionPanel::classify_failed_step() {
    ProgramState& program = state();
    if (!program.erase_keeps.none() && form_.status_text() == text_of(kRegionEraseProtectedText)) {
        // Refused before the erase: kept the way every other family keeps
        // memories, read first and written back.
        program.erase_keeps = kNoRegions;
        region_erase_refused_ = true;
        (void)begin(Step::ReadFirst, OperationKind::Read);
        return;
    }
    if (start_refused_) {
        finish_program(ProductionResult::Cancelled,
                       QStringLiteral("the programming voltage question was answered No"));
    } else if (program.operation_refused && failed_step_ == Step::Verify) {
        finish_program(ProductionResult::Fail,
                       QString::fromStdString(gone_at_verify_reason(program.model.model_name)));
    } else if (program.operation_refused) {
        finish_program(ProductionResult::Cancelled,
                       QStringLiteral("the chip in the socket is not a %1; the question was "
                                      "answered No")
                           .arg(QString::fromStdString(program.model.model_name)));
    } else if (form_.status_text().startsWith(text_of(kOperationStoppedText))) {
        finish_program(ProductionResult::Cancelled, QStringLiteral("stopped"));
    } else {
        finish_program(ProductionResult::Fail, form_.status_text());
    }
}

void ProductionPanel::finish_program(ProductionResult result, const QString& reason) {
    poll_.stop();
    active_ = false;
    last_result_ = result;
    ProgramState& program = state();
    program.erase_keeps = kNoRegions;
    const bool passed = result == ProductionResult::Pass;
    if (buffer_) {
        program.image = *buffer_;
        buffer_.reset();
        form_.updatedisplay();
    }
    // Written back, or never erased (the user did not go on past a question).
    if (kept_saved_ && program.calibration_folder &&
        (passed || start_refused_ || program.operation_refused)) {
        forget_kept_memories(
            kept_memory_file(*program.calibration_folder, program.model.model_name));
    }
    kept_saved_ = false;
    first_read_.reset();
    rescued_image_.reset();
    if (result != ProductionResult::Cancelled) {
        counters_.count(passed);
    }
    if (!log_path_.isEmpty()) {
        ProductionRecord record;
        record.time = std::time(nullptr);
        record.model = program.model.model_name;
        if (id_word_ >= 0) {
            record.id_word = id_word_;
            if (const auto key =
                    parse_device_id(program.database.model(program.selected_model).deviceid)) {
                record.id_mask = key->mask;
            }
        }
        if (program.model.revision_address && revision_word_ >= 0) {
            record.revision_word = revision_word_;
        }
        record.checksum = programmed_checksum_;
        record.result = result;
        if (serial_enabled_) {
            record.serial = serial_.value;
        }
        record.file = form_.loaded_file().toStdString();
        record.file_checksum = file_checksum_;
        record.reason = reason.toStdString();
        if (passed && serial_enabled_ && !next_serial(serial_)) {
            record.reason = kNoSerialLeft;
        }
        if (const auto error = append_production_log(log_path_.toStdString(), record)) {
            (void)mymsgbox(QStringLiteral("The production log cannot be written:\r\n%1")
                               .arg(QString::fromStdString(*error)),
                           message_kind::kError, window_title());
        }
    }
    if (passed && serial_enabled_) {
        SerialNumber serial = serial_;
        if (const auto next = next_serial(serial_)) {
            serial.value = *next;
            set_serial(serial, true);
        } else {
            // Never the same number twice: the numbers stop here. The chip
            // itself passed; a series of chips ends with it (the repeat mode
            // says so on its panel instead of waiting on a message box).
            const QString used_up = QStringLiteral(
                                        "Serial number %1 was the last that fits in %2: no serial "
                                        "number left.")
                                        .arg(serial_.value)
                                        .arg(text_of(byte_count_text(serial_.byte_count)));
            set_serial(serial, false);
            serials_used_up_ = used_up;
            if (!always_verify_) {
                (void)mymsgbox(used_up + QStringLiteral(" Serial numbers are now off."),
                               message_kind::kInformation, window_title());
            }
        }
    }
    show_counters();
    if (passed && on_change_) {
        form_.count_program_on_change();
    }
    on_change_ = false;
}

void ProductionPanel::count_chip(bool passed) {
    counters_.count(passed);
    show_counters();
}

}  // namespace corvanel
