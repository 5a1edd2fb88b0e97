// SPDX-License-Identifier: GPL-3.0-or-later
// The everyday helpers of the main window: the progress bar and the buffer's
// checksum under the status line, Verify after Program All, reloading (and
// programming) the loaded file when it changes on disk, the recent files, the
// link settings of the Options menu and the calibration view.

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMenu>
#include <QProgressBar>
#include <QRegularExpression>

#include <QDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "core/devices/buffer_checksum.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/program_state.h"
#include "core/image/intel_hex_writer.h"
#include "gui/dialogs/calibration_dialog.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/file_chooser.h"
#include "gui/ui/main_window.h"
#include "gui/ui/production_panel.h"
#include "gui/widgets/click_label.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

QString setting(const char* name) {
    return QString::fromLatin1(name);
}

QString recent_key(int index) {
    return setting(setting_names::recent_file_prefix) + QString::number(index + 1);
}

// "Program All", ... from the engine's operation name ("program").
QString operation_caption(const std::string& name) {
    if (name == operation_name(OperationKind::Program)) {
        return QStringLiteral("Program All");
    }
    if (name == operation_name(OperationKind::Read)) {
        return QStringLiteral("Read All");
    }
    if (name == operation_name(OperationKind::Erase)) {
        return QStringLiteral("Erase All");
    }
    if (name == operation_name(OperationKind::Blank)) {
        return QStringLiteral("Blank Check");
    }
    if (name == operation_name(OperationKind::Verify)) {
        return QStringLiteral("Verify");
    }
    return QStringLiteral("Identify Chip");
}

QString time_left_text(double seconds) {
    const int whole = static_cast<int>(std::ceil(seconds));
    if (whole < 60) {
        return QStringLiteral("%1 s left").arg(whole);
    }
    return QStringLiteral("%1:%2 left").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// "Reload On Change": "Ask" unless one of the other two is stored.
QString reload_choice() {
    const QString stored = settings()
                               .find_string(setting(setting_names::reload_on_change))
                               .value_or(QStringLiteral("Ask"));
    for (const QString& known : {QStringLiteral("Always"), QStringLiteral("Never")}) {
        if (stored.compare(known, Qt::CaseInsensitive) == 0) {
            return known;
        }
    }
    return QStringLiteral("Ask");
}

bool number_setting(const char* name, std::int32_t default_value) {
    return settings().find_number(setting(name)).value_or(default_value) != 0;
}

const QString kBoardBufferTip = QStringLiteral(
    "The board keeps the bytes that arrive while it is busy in a small receive buffer; "
    "sending ahead keeps several commands in it instead of waiting for each answer, so "
    "the board must hold 3 bytes for every answer byte outstanding.");

}  // namespace

void Form1::build_workflow_menus() {
    menurecent = menu1->addMenu(QStringLiteral("Recent &Files"));
    rebuild_recent_menu();

    menucalibration = menu3->addAction(QStringLiteral("&Calibration (OSCCAL, Band-Gap)..."), this,
                                       &Form1::menucalibration_Click);
    menucalibration->setEnabled(false);

    menu4->setToolTipsVisible(true);
    menuverifyafter = menu4->addAction(QStringLiteral("Verify &After Program All"));
    menuverifyafter->setCheckable(true);
    menuverifyafter->setChecked(number_setting(setting_names::verify_after_program, 1));
    menuverifyafter->setStatusTip(QStringLiteral("Program All is followed by a Verify"));
    connect(menuverifyafter, &QAction::toggled, this, [](bool on) {
        settings().put_number(setting(setting_names::verify_after_program), on ? 1 : 0);
    });

    menureloadonchange = menu4->addMenu(QStringLiteral("&Reload on Change"));
    reload_choices = new QActionGroup(this);
    for (const QString& choice :
         {QStringLiteral("Ask"), QStringLiteral("Always"), QStringLiteral("Never")}) {
        QAction* item = menureloadonchange->addAction(choice);
        item->setCheckable(true);
        item->setChecked(choice == reload_choice());
        reload_choices->addAction(item);
        connect(item, &QAction::triggered, this, [choice] {
            settings().put_string(setting(setting_names::reload_on_change), choice);
        });
    }

    menuprogramonchange = menu4->addAction(QStringLiteral("Program &on Change"));
    menuprogramonchange->setCheckable(true);
    menuprogramonchange->setChecked(number_setting(setting_names::program_on_change, 0));
    menuprogramonchange->setToolTip(
        QStringLiteral("Each time the loaded HEX file is rewritten (a build), it is reloaded, "
                       "programmed and verified"));
    connect(menuprogramonchange, &QAction::toggled, this, [](bool on) {
        settings().put_number(setting(setting_names::program_on_change), on ? 1 : 0);
    });

    menufastlink = menu4->addAction(QStringLiteral("&Fast Link"));
    menufastlink->setCheckable(true);
    menufastlink->setChecked(number_setting(setting_names::fast_link, 0));
    menufastlink->setToolTip(
        QStringLiteral("Script steps that need nothing of the board run without a "
                       "no-operation round trip: the board hears the same commands, sooner"));
    connect(menufastlink, &QAction::toggled, this, [this](bool on) {
        settings().put_number(setting(setting_names::fast_link), on ? 1 : 0);
        link_settings_changed();
    });

    menusendahead = menu4->addMenu(QStringLiteral("Send-Ahead &Window"));
    menusendahead->setToolTipsVisible(true);
    menusendahead->menuAction()->setToolTip(kBoardBufferTip);
    send_ahead_choices = new QActionGroup(this);
    const bool automatic = send_ahead_automatic(settings());
    const std::array<std::pair<QString, bool>, 2> choices = {
        {{QStringLiteral("&Lock-Step"), false}, {QStringLiteral("&Automatic"), true}}};
    for (const auto& [caption, measured] : choices) {
        QAction* item = menusendahead->addAction(caption);
        item->setCheckable(true);
        item->setChecked(measured == automatic);
        item->setToolTip(measured ? QStringLiteral("The window is measured on the board before "
                                                   "the operations that gain from it. ") +
                                        kBoardBufferTip
                                  : QStringLiteral("Each command waits for its answer."));
        send_ahead_choices->addAction(item);
        const bool value = measured;
        connect(item, &QAction::triggered, this, [this, value] {
            if (value) {
                settings().put_string(setting(setting_names::send_ahead_window),
                                      QString::fromLatin1(kSendAheadAutomatic));
            } else {
                settings().put_number(setting(setting_names::send_ahead_window), 0);
            }
            link_settings_changed();
        });
    }
}

// --- progress and checksum ---------------------------------------------------------------

void Form1::reset_progress() {
    progress_estimate_.reset();
    progress_cancelled_ = false;
    sequence_seconds_ = -1.0;
    progress_bar->setRange(0, 1);
    progress_bar->setValue(0);
    const ScriptRunner& runner = state().runner;
    progress_operation_ = runner.operation_name;
    progress_bar->setFormat(runner.running()
                                ? operation_caption(runner.operation_name) + QStringLiteral("...")
                                : QString());
}

void Form1::note_running_operation() {
    const ScriptRunner& runner = state().runner;
    if (runner.running() && progress_operation_ != runner.operation_name) {
        progress_operation_ = runner.operation_name;
        if (progress_bar->format().isEmpty()) {
            progress_bar->setFormat(operation_caption(progress_operation_) + QStringLiteral("..."));
        }
    }
}

void Form1::show_progress(std::string_view text) {
    note_running_operation();
    const auto count = parse_progress(text);
    if (!count) {
        return;
    }
    progress_estimate_.note(*count, host_.clock_seconds());
    QString format =
        operation_caption(state().runner.operation_name) +
        (count->memory == 'F' ? QStringLiteral(": FLASH %p%") : QStringLiteral(": EEPROM %p%"));
    if (const auto left = progress_estimate_.seconds_left()) {
        format += QStringLiteral(", ") + time_left_text(*left);
    }
    progress_bar->setRange(0, static_cast<int>(std::min<long long>(count->total, 1 << 30)));
    progress_bar->setValue(static_cast<int>(std::min(count->done, count->total)));
    progress_bar->setFormat(format);
}

void Form1::show_cancelled_progress(const QString& status) {
    for (const OperationKind kind : kButtonOperations) {
        const std::string_view cancelled = cancelled_text(kind);
        if (status ==
            QString::fromUtf8(cancelled.data(), static_cast<qsizetype>(cancelled.size()))) {
            progress_estimate_.reset();
            progress_operation_ = std::string(operation_name(kind));
            progress_cancelled_ = true;
            progress_bar->setRange(0, 1);
            progress_bar->setValue(0);
            progress_bar->setFormat(operation_caption(progress_operation_) +
                                    QStringLiteral(": cancelled"));
            return;
        }
    }
}

void Form1::finish_progress() {
    const ScriptRunner& runner = state().runner;
    if (progress_cancelled_) {
        return;  // the bar says so already
    }
    // The engine clears the name when it stops or abandons an operation; the
    // name "Stop" kept, or the one seen while it ran, says what ended.
    std::string name = runner.operation_name;
    if (name.empty()) {
        name = !stopped_operation_.empty() ? stopped_operation_ : progress_operation_;
    }
    if (name.empty()) {
        progress_bar->setFormat(QString());  // "Test Vpp": no operation ran
        return;
    }
    const QString caption = operation_caption(name);
    if (runner.completing() && !state().operation_failed) {
        progress_bar->setRange(0, 1);
        progress_bar->setValue(1);
        progress_bar->setFormat(caption + QStringLiteral(": done"));
    } else if (!stopped_operation_.empty()) {
        progress_bar->setFormat(caption + QStringLiteral(": stopped"));
    } else {
        progress_bar->setFormat(caption + QStringLiteral(": ended"));
    }
}

QString Form1::with_sequence_time(const QString& status) {
    if (sequence_seconds_ < 0.0) {
        return status;
    }
    static const QRegularExpression verified(
        QStringLiteral("^Chip verified\\. [0-9.]+ seconds elapsed\\.\\.\\."));
    const QRegularExpressionMatch match = verified.match(status);
    if (!match.hasMatch()) {
        return status;
    }
    QString text = status;
    text.replace(0, match.capturedLength(),
                 QStringLiteral("Chip programmed and verified. %1 s")
                     .arg(QString::number(sequence_seconds_, 'f', 1)));
    sequence_seconds_ = -1.0;
    return text;
}

void Form1::show_checksum() {
    const ProgramState& program = state();
    label_checksum->setText(
        QString::fromStdString(checksum_text(buffer_checksum(program.image, program.model))));
    if (menucalibration != nullptr) {
        menucalibration->setEnabled(program.model.calibration_word.has_value());
    }
}

// --- Verify after Program All --------------------------------------------------------------

void Form1::when_operation_ends(std::function<void()> next) {
    auto* watch = new QTimer(this);
    watch->setInterval(10);
    connect(watch, &QTimer::timeout, this, [watch, next = std::move(next)] {
        const ScriptRunner& runner = state().runner;
        if (runner.running() || runner.completing() || runner.in_step()) {
            return;
        }
        watch->stop();
        watch->deleteLater();
        next();
    });
    watch->start();
}

void Form1::count_program_on_change() {
    ++programmed_on_change_;
    // After the completion routine that ends the Verify has shown its result.
    QTimer::singleShot(0, this, [this] {
        set_status(status_text() +
                   QStringLiteral(" Programmed on change: %1").arg(programmed_on_change_));
    });
}

// --- reload and program on change ------------------------------------------------------------

void Form1::watch_loaded_file() {
    const QStringList watched = file_watcher_->files();
    if (!watched.isEmpty()) {
        file_watcher_->removePaths(watched);
    }
    if (!loaded_path_.isEmpty()) {
        file_watcher_->addPath(loaded_path_);
    }
}

void Form1::loaded_file_changed() {
    // A job's HEX file was checked against its SHA-256 once: the buffer stays.
    if (loaded_path_.isEmpty() || change_question_open_ || job_window_ != nullptr) {
        return;
    }
    if (!QFileInfo(loaded_path_).isFile()) {
        // An editor that replaces the file removes it first: look again soon.
        change_timer_.start();
        return;
    }
    // The watch ends with the file it was on when a new file takes the name.
    if (!file_watcher_->files().contains(loaded_path_)) {
        file_watcher_->addPath(loaded_path_);
    }
    const ScriptRunner& runner = state().runner;
    // A question still open (Program All's "no end record... Continue?") is
    // about the buffer as it is: the new file waits until it is answered.
    if (runner.running() || runner.in_step() || runner.completing() || state().link.vpp_test_on ||
        !menu1->menuAction()->isEnabled() || (production != nullptr && production->busy()) ||
        open_message_boxes() > 0 || QApplication::activeModalWidget() != nullptr) {
        change_timer_.start();  // after the operation (or the open dialog) has ended
        return;
    }
    const bool program_it = menuprogramonchange->isChecked();
    const QString choice = reload_choice();
    if (!program_it) {
        if (choice == QLatin1String("Never")) {
            return;
        }
        // The window's own save of the file changes nothing.
        QFile file(loaded_path_);
        if (!buffer_unsaved() && file.open(QIODevice::ReadOnly) &&
            file.readAll().toStdString() == write_hex_text(state().image)) {
            return;
        }
    }
    // Edits in the buffer are never dropped without a question.
    if ((!program_it && choice == QLatin1String("Ask")) || buffer_unsaved()) {
        change_question_open_ = true;
        const int answer = mymsgbox(
            QStringLiteral("%1 has changed on disk.\r\nReload it%2?")
                .arg(QDir::toNativeSeparators(loaded_path_),
                     buffer_unsaved() ? QStringLiteral(" (the edits in the buffer are lost)")
                                      : QString()),
            message_kind::kQuestion, window_title());
        change_question_open_ = false;
        if (answer != message_result::kYes) {
            return;
        }
    }
    open_hex_file(loaded_path_);
    if (program_it && !buffer_unsaved() && !loaded_path_.isEmpty()) {
        on_change_run_ = true;
        run_operation(OperationKind::Program);
        on_change_run_ = false;
    }
}

// --- recent files ----------------------------------------------------------------------------

QStringList Form1::recent_files() const {
    QStringList files;
    for (int index = 0; index < setting_names::kRecentFileCount; ++index) {
        const QString path = settings().find_string(recent_key(index)).value_or(QString());
        if (!path.isEmpty() && !files.contains(path)) {
            files << path;
        }
    }
    return files;
}

void Form1::remember_recent_file(const QString& path) {
    QStringList files = recent_files();
    files.removeAll(path);
    files.prepend(path);
    // A path longer than the store keeps is left out rather than cut.
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const QString& file) {
                                   return file.toUtf8().size() > SettingsStore::kMaxTextLength;
                               }),
                files.end());
    for (int index = 0; index < setting_names::kRecentFileCount; ++index) {
        const QString value = index < files.size() ? files[index] : QString();
        if (settings().find_string(recent_key(index)).value_or(QString()) != value) {
            settings().put_string(recent_key(index), value);
        }
    }
    rebuild_recent_menu();
}

void Form1::rebuild_recent_menu() {
    menurecent->clear();
    const QStringList files = recent_files();
    for (int index = 0; index < files.size(); ++index) {
        const QString path = files[index];
        menurecent->addAction(
            QStringLiteral("&%1 %2").arg(index + 1).arg(
                QDir::toNativeSeparators(path).replace(QLatin1Char('&'), QStringLiteral("&&"))),
            this, [this, path] { open_recent_file(path); });
    }
    menurecent->setEnabled(!files.isEmpty());
}

void Form1::open_recent_file(const QString& path) {
    if (refuse_during_operation()) {
        return;
    }
    if (!QFileInfo(path).isFile()) {
        (void)mymsgbox(QStringLiteral("%1 no longer exists.").arg(QDir::toNativeSeparators(path)),
                       message_kind::kError, window_title());
        QStringList files = recent_files();
        files.removeAll(path);
        for (int index = 0; index < setting_names::kRecentFileCount; ++index) {
            settings().put_string(recent_key(index),
                                  index < files.size() ? files[index] : QString());
        }
        rebuild_recent_menu();
        return;
    }
    open_hex_file_asking(path);
}

// --- calibration view ----------------------------------------------------------------------

void Form1::menucalibration_Click() {
    if (refuse_during_operation() || !state().model.calibration_word) {
        return;
    }
    CalibrationDialog* view = nullptr;
    // A good read also fills the fields, ready to be saved or written back.
    const auto fill_after = [this, &view](CalibrationDialog::Done done) {
        return [this, &view, done = std::move(done)](const QString& text) {
            if (view != nullptr && read_calibration_values_) {
                view->set_values(*read_calibration_values_);
            }
            done(text);
        };
    };
    CalibrationDialog dialog(
        state().model,
        [this, fill_after](CalibrationDialog::Done done) {
            read_calibration(fill_after(std::move(done)));
        },
        [this, fill_after](const SavedCalibration& typed, CalibrationDialog::Done done) {
            write_calibration(typed, fill_after(std::move(done)));
        },
        this);
    view = &dialog;
    dialog.set_file_commands(
        [this](const SavedCalibration& values) { save_calibration_file(values); },
        [this] { return load_calibration_file(); });
    dialog.exec();
    view = nullptr;
}

namespace {

const QString kCalibrationFilter = QStringLiteral("Calibration files (*.txt);;All files (*)");

}  // namespace

void Form1::save_calibration_file(const SavedCalibration& values) {
    const QString model = QString::fromStdString(state().model.model_name);
    const QString path =
        choose_file(this, FileChooserMode::Save, QStringLiteral("Save Calibration"),
                    QDir(last_path()).filePath(QStringLiteral("calibration-%1.txt").arg(model)),
                    kCalibrationFilter);
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo::exists(path) &&
        mymsgbox(
            QStringLiteral("%1 already exists.\r\nReplace it?").arg(QDir::toNativeSeparators(path)),
            message_kind::kQuestion | message_kind::kDefaultButton2,
            window_title()) != message_result::kYes) {
        return;
    }
    if (!save_calibration(QFile::encodeName(path).toStdString(), values)) {
        (void)mymsgbox(QStringLiteral("The calibration cannot be written to %1.")
                           .arg(QDir::toNativeSeparators(path)),
                       message_kind::kError, window_title());
        return;
    }
    set_status(QStringLiteral("Calibration of %1 saved: %2.")
                   .arg(model, QString::fromStdString(calibration_values_text(
                                   values, state().model.calibration_config_bits)))
                   .replace(QStringLiteral(" was "), QStringLiteral(" ")));
}

std::optional<SavedCalibration> Form1::load_calibration_file() {
    const QString path =
        choose_file(this, FileChooserMode::Open, QStringLiteral("Load Calibration"), last_path(),
                    kCalibrationFilter);
    if (path.isEmpty()) {
        return std::nullopt;
    }
    const auto values = load_saved_calibration(QFile::encodeName(path).toStdString());
    if (!values) {
        (void)mymsgbox(QStringLiteral("%1 holds no calibration values (lines \"OSCCAL 34xx\" "
                                      "and \"CONFIG xxxx\").")
                           .arg(QDir::toNativeSeparators(path)),
                       message_kind::kError, window_title());
        return std::nullopt;
    }
    return values;
}

void Form1::read_calibration(std::function<void(const QString&)> done) {
    // The view reads the chip without taking the buffer from the user: the image,
    // the loaded file and its state are put back once the read has ended.
    struct Kept {
        MemoryImage image;
        std::string saved_hex;
        QString path;
        QString label;
        QString warning;
        bool cut_short = false;
    };
    auto kept =
        std::make_shared<Kept>(Kept{state().image, saved_hex_, loaded_path_, label_hex->text(),
                                    out_of_range_warning_, state().image_cut_short});
    if (start_operation(state(), OperationKind::Read) != StartResult::Started) {
        done(status_text());
        return;
    }
    when_operation_ends([this, kept, done = std::move(done)] {
        ProgramState& program = state();
        const bool read =
            !program.operation_failed && status_text().startsWith(QStringLiteral("Chip read. "));
        read_calibration_values_.reset();
        if (read && program.model.calibration_word) {
            read_calibration_values_ =
                SavedCalibration{program.image.flash_word(program.model.calibration_word->address),
                                 program.model.calibration_config_bits != 0
                                     ? program.image.config1 & program.model.calibration_config_bits
                                     : -1};
        }
        const QString text =
            read ? QString::fromStdString(calibration_read_text(program.image, program.model))
                       .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                 : status_text();
        program.image = kept->image;
        program.image_cut_short = kept->cut_short;
        saved_hex_ = kept->saved_hex;
        loaded_path_ = kept->path;
        label_hex->setText(kept->label);
        out_of_range_warning_ = kept->warning;
        menureload->setEnabled(!loaded_path_.isEmpty());
        watch_loaded_file();
        updatedisplay();
        done(text);
    });
}

void Form1::write_calibration(const SavedCalibration& typed,
                              std::function<void(const QString&)> done) {
    state().typed_calibration = typed;
    if (start_operation(state(), OperationKind::Erase) != StartResult::Started) {
        state().typed_calibration.reset();
        done(status_text());
        return;
    }
    when_operation_ends([this, done = std::move(done)]() mutable {
        state().typed_calibration.reset();
        if (state().operation_failed || state().operation_refused ||
            !status_text().startsWith(QStringLiteral("Chip erased. "))) {
            done(status_text());
            return;
        }
        read_calibration(std::move(done));
    });
}

}  // namespace corvanel
