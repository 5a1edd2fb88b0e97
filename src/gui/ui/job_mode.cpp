// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/job_mode.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/engine/board_identify.h"
#include "core/engine/program_state.h"
#include "core/message_kind.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/file_chooser.h"
#include "gui/ui/main_window.h"
#include "gui/ui/production_panel.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

constexpr int kCountersRefreshMs = 250;
// What a job written from the window expects of "Board Vdd" and "Board Vpp".
constexpr double kJobRailTolerance = 0.05;

QString job_summary(const OpenedJob& opened) {
    const JobFile& job = opened.job;
    QString text = QStringLiteral("Job: %1\nModel: %2\nHEX file: %3\nSHA-256: %4...\nMemories: %5")
                       .arg(QFileInfo(opened.path).fileName(), QString::fromStdString(job.model),
                            QFileInfo(opened.hex_path).fileName(),
                            QString::fromStdString(job.sha256.substr(0, 16)),
                            QString::fromStdString(region_list_text(job.memories)));
    text +=
        QStringLiteral("\nSerial numbers: %1")
            .arg(job.serial.empty() ? QStringLiteral("none") : QString::fromStdString(job.serial));
    text += QStringLiteral("\nLog: %1")
                .arg(opened.log_path.isEmpty() ? QStringLiteral("none") : opened.log_path);
    text += job.repeat ? QStringLiteral("\nOne chip after another, each verified")
                       : QStringLiteral("\nOne chip, verified");
    return text;
}

}  // namespace

JobWindow::JobWindow(Form1& form, OpenedJob job, ProductionSettings before)
    : QDialog(&form), form_(form), job_(std::move(job)), before_(std::move(before)) {
    setWindowTitle(QStringLiteral("Job - ") + QFileInfo(job_.path).fileName());
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    job_label = new QLabel(job_summary(job_), this);
    job_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(job_label);
    counters_label = new QLabel(this);
    QFont big = counters_label->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    counters_label->setFont(big);
    layout->addWidget(counters_label);
    auto* buttons = new QHBoxLayout;
    start_button = new QPushButton(QStringLiteral("Start"), this);
    stop_button = new QPushButton(QStringLiteral("Stop"), this);
    close_button = new QPushButton(QStringLiteral("Close Job"), this);
    start_button->setDefault(true);
    for (QPushButton* button : {start_button, stop_button, close_button}) {
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
    connect(start_button, &QPushButton::clicked, this, &JobWindow::start);
    connect(stop_button, &QPushButton::clicked, this, [this] { form_.stop_Click(); });
    connect(close_button, &QPushButton::clicked, this, [this] { form_.close_job(); });
    // The counters live in the production panel; the operator reads them here.
    auto refresh = [this] { counters_label->setText(form_.production->counters_label()->text()); };
    connect(&counters_timer_, &QTimer::timeout, this, refresh);
    counters_timer_.start(kCountersRefreshMs);
    refresh();
    commands_enabled(true);
}

void JobWindow::commands_enabled(bool enabled) {
    start_button->setEnabled(enabled);
    close_button->setEnabled(enabled);
    stop_button->setEnabled(!enabled);
}

void JobWindow::reject() {
    if (close_button->isEnabled()) {
        form_.close_job();
    }
}

void JobWindow::start() {
    if (!start_button->isEnabled()) {
        return;
    }
    ProgramState& program = state();
    if (job_.job.vdd || job_.job.vpp) {
        // Asked now: the rails of the board on the port, the model's level selected.
        (void)identify_board(program);
        const std::string refused =
            job_rails_refusal(job_.job, effective_board_vdd(program), effective_board_vpp(program));
        if (!refused.empty()) {
            (void)mymsgbox(
                QString::fromStdString(refused) + QStringLiteral(" Nothing was written."),
                message_kind::kError, window_title());
            form_.set_status(QStringLiteral("Job refused: the board's rails."));
            return;
        }
    }
    if (job_.job.repeat) {
        form_.run_job_series();
    } else {
        form_.production->set_always_verify(true);
        form_.run_job_chip();
    }
}

bool Form1::job_open() const {
    return job_window_ != nullptr;
}

bool Form1::open_job(const QString& path) {
    if (job_window_ != nullptr) {
        set_status(QStringLiteral("A job is open: close it first."));
        return false;
    }
    if (refuse_during_operation()) {
        return false;
    }
    const JobOpenResult opened = open_job_file(path);
    if (!opened.opened) {
        (void)mymsgbox(opened.error, message_kind::kError, window_title());
        return false;
    }
    const OpenedJob& job = *opened.opened;
    // The file is checked before the buffer or the model changes.
    if (const QString refused = job_hex_refusal(job); !refused.isEmpty()) {
        (void)mymsgbox(refused, message_kind::kError, window_title());
        set_status(QStringLiteral("Job refused: the HEX file is not the job's."));
        return false;
    }
    ProgramState& program = state();
    int number = 0;
    for (int n = 1; n <= program.database.model_count(); ++n) {
        if (QString::fromStdString(program.database.model(n).name)
                .compare(QString::fromStdString(job.job.model), Qt::CaseInsensitive) == 0) {
            number = n;
            break;
        }
    }
    if (number == 0) {
        (void)mymsgbox(QStringLiteral("%1: no model %2 in the device database.")
                           .arg(job.path, QString::fromStdString(job.job.model)),
                       message_kind::kError, window_title());
        return false;
    }
    if (!offer_to_save_buffer()) {
        return false;
    }
    if (number != program.selected_model) {
        program.selected_model = number;
        corvanel::settings().put_string(QString::fromLatin1(setting_names::microcontroller_model),
                                        QString::number(number));
        (void)apply_model(program.database, number, program.model, program.image);
        if (serial_link_ != nullptr) {
            serial_link_->follow_applied_model();
        }
        menuclear_Click();
    }
    open_hex_file(job.hex_path);
    if (loaded_path_ != job.hex_path) {
        return false;  // the load said why
    }
    ProductionSettings before{production->regions(), production->preserve_eeprom(),
                              production->serial(), production->serial_enabled(),
                              production->log_path()};
    production->set_regions(job.job.memories);
    production->set_preserve_eeprom(false);
    std::string error;
    const std::optional<SerialNumber> serial = parse_serial_text(job.job.serial, error);
    production->set_serial(serial.value_or(production->serial()), serial.has_value());
    production->set_log_path(job.log_path);
    job_window_ = new JobWindow(*this, job, before);
    job_window_->show();
    set_commands_enabled(true);
    set_status(QStringLiteral("Job opened: ") + QFileInfo(job.path).fileName());
    return true;
}

void Form1::close_job() {
    if (job_window_ == nullptr || state().runner.running() || production->busy()) {
        return;
    }
    const ProductionSettings& before = job_window_->settings_before();
    production->set_regions(before.regions);
    production->set_preserve_eeprom(before.preserve_eeprom);
    production->set_serial(before.serial, before.serial_enabled);
    production->set_log_path(before.log_path);
    production->set_always_verify(false);
    job_window_->hide();
    job_window_->deleteLater();
    job_window_ = nullptr;
    set_commands_enabled(true);
    set_status(QStringLiteral("Job closed."));
}

void Form1::run_job_series() {
    job_acting_ = true;
    menurepeat_Click();
    job_acting_ = false;
}

void Form1::run_job_chip() {
    job_acting_ = true;
    start_production(OperationKind::Program);
    job_acting_ = false;
}

void Form1::menuopenjob_Click() {
    const QString chosen =
        choose_file(this, FileChooserMode::Open, QStringLiteral("Select Job To Open"), last_path(),
                    QStringLiteral("Jobs (*.corvanel-job);;All files (*)"));
    if (!chosen.isEmpty()) {
        (void)open_job(chosen);
    }
}

void Form1::menusavejob_Click() {
    if (refuse_during_operation()) {
        return;
    }
    if (loaded_path_.isEmpty()) {
        (void)mymsgbox(QStringLiteral("A job names its HEX file: open one first."),
                       message_kind::kError, window_title());
        return;
    }
    QString chosen = choose_file(this, FileChooserMode::Save, QStringLiteral("Save Job As"),
                                 last_path(), QStringLiteral("Jobs (*.corvanel-job)"));
    if (chosen.isEmpty()) {
        return;
    }
    if (!chosen.endsWith(QStringLiteral(".corvanel-job"))) {
        chosen += QStringLiteral(".corvanel-job");
    }
    const ProgramState& program = state();
    JobFile job;
    job.model = program.model.model_name;
    job.memories = production->regions();
    if (production->serial_enabled()) {
        const SerialNumber& serial = production->serial();
        job.serial = std::to_string(serial.value) +
                     (serial.step != 1 ? ":" + std::to_string(serial.step) : std::string()) + "@" +
                     serial_location_text(serial);
    }
    // The rails the user gave for this board ("Board Vdd", "Board Vpp"), give or
    // take the 5 % a regulator and a meter are apart.
    const auto around = [](double volts) {
        return VoltRange{std::round(volts * (1.0 - kJobRailTolerance) * 100.0) / 100.0,
                         std::round(volts * (1.0 + kJobRailTolerance) * 100.0) / 100.0};
    };
    if (program.board_vdd) {
        job.vdd = around(*program.board_vdd);
    }
    if (program.board_vpp) {
        job.vpp = around(*program.board_vpp);
    }
    job.repeat = true;
    if (const auto failed = save_job_file(chosen, job, loaded_path_, production->log_path())) {
        (void)mymsgbox(*failed, message_kind::kError, window_title());
        return;
    }
    set_status(QStringLiteral("Job saved: ") + QFileInfo(chosen).fileName());
}

}  // namespace corvanel
