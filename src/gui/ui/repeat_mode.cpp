// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/repeat_mode.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/devices/device_identity.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_identify.h"
#include "core/engine/program_state.h"
#include "core/image/intel_hex_reader.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/config_word_dialog.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "gui/ui/production_panel.h"
#include "platform/app/app_state.h"

namespace corvanel {

namespace {

constexpr int kTickMilliseconds = 20;
// Colours of the result, each text at least 4.5:1 on its background.
constexpr const char* kWaitBack = "#E0E0E0";
constexpr const char* kWaitText = "#202020";
constexpr const char* kBusyBack = "#FFC107";
constexpr const char* kBusyText = "#000000";
constexpr const char* kPassBack = "#1B7A2B";
constexpr const char* kFailBack = "#B00020";
constexpr const char* kWrongBack = "#BF360C";
constexpr const char* kLightText = "#FFFFFF";

QString text_of(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

RepeatDialog::RepeatDialog(Form1& form, const DeviceIdKey& expected)
    : QDialog(&form), form_(form), watch_(expected) {
    setWindowTitle(QStringLiteral("Repeat on Chip Insertion"));
    result_label = new QLabel(this);
    result_label->setAlignment(Qt::AlignCenter);
    result_label->setMinimumSize(420, 170);
    QFont big = result_label->font();
    big.setPointSize(48);
    big.setBold(true);
    result_label->setFont(big);
    prompt_label = new QLabel(this);
    prompt_label->setAlignment(Qt::AlignCenter);
    prompt_label->setWordWrap(true);
    QFont prompt_font = prompt_label->font();
    prompt_font.setPointSize(prompt_font.pointSize() + 4);
    prompt_label->setFont(prompt_font);
    counts_label = new QLabel(this);
    counts_label->setAlignment(Qt::AlignCenter);
    report_button = new QPushButton(QStringLiteral("Show Report"), this);
    report_button->setAutoDefault(false);
    report_button->setEnabled(false);
    connect(report_button, &QPushButton::clicked, this, &RepeatDialog::show_report);
    stop_button = new QPushButton(QStringLiteral("Stop (Esc)"), this);
    connect(stop_button, &QPushButton::clicked, this, &RepeatDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(report_button);
    buttons->addStretch();
    buttons->addWidget(stop_button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(result_label, 1);
    layout->addWidget(prompt_label);
    layout->addWidget(counts_label);
    layout->addLayout(buttons);

    // A window of its own takes nothing from the main window's colours.
    paint_dialog(this, dialog_colors());

    timer_.setInterval(kTickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &RepeatDialog::tick);
}

void RepeatDialog::show_big(const QString& text, const QString& back, const QString& fore) {
    result_label->setText(text);
    result_label->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border-radius: 8px; }")
            .arg(back, fore));
}

void RepeatDialog::show_counts() {
    // The status bar's counters word for word (they run over every Program All
    // since the last reset), then this series' own chips.
    QString series = QStringLiteral("This series: %1 passed, %2 failed")
                         .arg(watch_.passed())
                         .arg(watch_.failed());
    if (watch_.cancelled() > 0) {
        series += QStringLiteral(", %1 cancelled").arg(watch_.cancelled());
    }
    counts_label->setText(form_.production->counters_label()->text() + QLatin1Char('\n') + series);
}

bool RepeatDialog::take_report(const QString& text) {
    if (phase_ != Phase::Programming) {
        return false;
    }
    report_ = text;
    return true;
}

void RepeatDialog::show_report() {
    if (report_.isEmpty()) {
        return;
    }
    // Beside the mode's window, not over it: the series goes on meanwhile.
    auto* box = new Form08(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->set_message(report_, message_kind::kError, window_title());
    box->prepare_display();
    box->show();
    report_window_ = box;
}

void RepeatDialog::start() {
    const std::string& model = state().model.model_name;
    show_big(QStringLiteral("READY"), kWaitBack, kWaitText);
    prompt_label->setText(text_of(insertion_prompt(watch_.phase(), model)));
    show_counts();
    form_.production->set_always_verify(true);
    phase_ = Phase::Pausing;
    since_.invalidate();  // the first read at once
    timer_.start();
}

bool RepeatDialog::engine_idle() const {
    const ScriptRunner& runner = state().runner;
    return !runner.running() && !runner.in_step() && !runner.completing() &&
           !form_.production->busy();
}

void RepeatDialog::identified(std::int32_t word) {
    word_ = word;
    word_ready_ = true;
}

void RepeatDialog::tick() {
    switch (phase_) {
        case Phase::Pausing:
            if (since_.isValid() && since_.elapsed() < kInsertionPollMilliseconds) {
                return;
            }
            if (!engine_idle()) {
                return;
            }
            word_ready_ = false;
            phase_ = Phase::Reading;
            if (start_identify(state()) != StartResult::Started) {
                fail_mode(form_.status_text());
            }
            return;
        case Phase::Reading:
            if (!engine_idle()) {
                return;
            }
            if (!word_ready_) {
                // The read ended without its word: the board stopped answering.
                fail_mode(form_.status_text());
                return;
            }
            read_done(word_);
            return;
        case Phase::Programming:
            if (engine_idle()) {
                program_done();
            }
            return;
        case Phase::Ending:
            if (engine_idle()) {
                if (watch_.phase() == ChipInsertionWatch::Phase::ChipReady) {
                    // Ended during the chip's Program All: it counts as the sequence did.
                    const auto& result = form_.production->last_result();
                    if (!result || *result == ProductionResult::Cancelled) {
                        watch_.chip_cancelled();
                    } else {
                        watch_.chip_done(*result == ProductionResult::Pass);
                    }
                }
                timer_.stop();
                form_.production->set_always_verify(false);
                QDialog::reject();
            }
            return;
    }
}

void RepeatDialog::read_done(std::int32_t word) {
    const std::string& model = state().model.model_name;
    phase_ = Phase::Pausing;
    since_.start();
    switch (watch_.poll_result(word)) {
        case SocketEvent::None:
            return;
        case SocketEvent::ChipRemoved:
            show_big(QStringLiteral("READY"), kWaitBack, kWaitText);
            prompt_label->setText(text_of(insertion_prompt(watch_.phase(), model)));
            return;
        case SocketEvent::WrongChip:
            show_big(QStringLiteral("WRONG CHIP"), kWrongBack, kLightText);
            prompt_label->setText(text_of(identify_report(state().database, word)) +
                                  QStringLiteral("\nNot programmed. ") +
                                  text_of(insertion_prompt(watch_.phase(), model)));
            return;
        case SocketEvent::ChipInserted:
            break;
    }
    show_big(QStringLiteral("BUSY"), kBusyBack, kBusyText);
    prompt_label->setText(text_of(insertion_prompt(watch_.phase(), model)));
    report_.clear();
    report_button->setEnabled(false);
    phase_ = Phase::Programming;
    form_.start_production(OperationKind::Program);
}

void RepeatDialog::program_done() {
    const std::optional<ProductionResult> result = form_.production->last_result();
    if (!result) {
        // The sequence did not begin (nothing selected, a serial number that
        // does not fit): every next chip would end the same way.
        watch_.chip_done(false);
        show_counts();
        fail_mode(form_.status_text());
        return;
    }
    QString said = form_.status_text();
    if (*result == ProductionResult::Cancelled) {
        // Not programmed: counted neither way, as the status bar's counters.
        watch_.chip_cancelled();
        show_big(QStringLiteral("CANCELLED"), kWaitBack, kWaitText);
    } else if (*result == ProductionResult::Pass) {
        watch_.chip_done(true);
        show_big(QStringLiteral("PASS"), kPassBack, kLightText);
    } else {
        watch_.chip_done(false);
        show_big(QStringLiteral("FAIL"), kFailBack, kLightText);
        if (!report_.isEmpty()) {
            said += QStringLiteral("\n\"Show Report\" lists the differences.");
        }
    }
    report_button->setEnabled(!report_.isEmpty());
    show_counts();
    // The desktop's bell, where it has one: the operator looks at the chips.
    QApplication::beep();
    const QString& used_up = form_.production->serials_used_up();
    if (!used_up.isEmpty()) {
        // The last number is on this chip: no chip after it may be programmed.
        prompt_label->setText(said + QLatin1Char('\n') + used_up);
        stop_button->setText(QStringLiteral("Close"));
        phase_ = Phase::Ending;
        timer_.stop();
        form_.production->set_always_verify(false);
        return;
    }
    prompt_label->setText(said + QLatin1Char('\n') +
                          text_of(insertion_prompt(watch_.phase(), state().model.model_name)));
    phase_ = Phase::Pausing;
    since_.start();
}

void RepeatDialog::fail_mode(const QString& reason) {
    show_big(QStringLiteral("STOPPED"), kFailBack, kLightText);
    prompt_label->setText(reason);
    stop_button->setText(QStringLiteral("Close"));
    phase_ = Phase::Ending;
    timer_.stop();
    form_.production->set_always_verify(false);
}

void RepeatDialog::reject() {
    if (phase_ == Phase::Ending && !timer_.isActive()) {
        QDialog::reject();  // stopped already: "Close"
        return;
    }
    if (!engine_idle() && state().runner.running()) {
        // Stopped between two steps, voltages off; the sequence ends as failed.
        form_.stop_Click();
    }
    phase_ = Phase::Ending;
    tick();
}

void Form1::menurepeat_Click() {
    if (refuse_during_operation()) {
        return;
    }
    ProgramState& program = state();
    // The reads switch the programming voltages on a few times a second for as
    // long as the mode runs. A board that answered "identify" (command 107)
    // when the port opened is a programmer; for any other the user is asked.
    const bool board_identified = program.board_answer == BoardAnswer::Identified;
    bool consent = board_identified;
    if (program.model.device_id && !board_identified) {
        consent =
            mymsgbox(QStringLiteral("Repeat on Chip Insertion reads the device ID of the socket "
                                    "about three times a second, with the programming voltages "
                                    "on for each read.\r\nIs the programmer board on this port "
                                    "and may it be read so?"),
                     message_kind::kQuestion, window_title()) == message_result::kYes;
        if (!consent) {
            return;
        }
    }
    if (const auto refused = repeat_refusal(program.model.device_id, program.model.model_name,
                                            board_identified, consent)) {
        (void)mymsgbox(QString::fromStdString(*refused), message_kind::kError, window_title());
        return;
    }
    // The questions of Program All are asked once for the whole run.
    if (!confirm_out_of_range_buffer(OperationKind::Program)) {
        return;
    }
    if (program.image_cut_short &&
        mymsgbox(QString::fromLatin1(kNoEndRecordText) + QStringLiteral("\r\nContinue?"),
                 message_kind::kQuestion, window_title()) != message_result::kYes) {
        return;
    }
    apply_operation_settings();
    program.config_fields = &config_field_table();
    RepeatDialog dialog(*this, *program.model.device_id);
    repeat_dialog_ = &dialog;
    dialog.start();
    dialog.exec();
    repeat_dialog_ = nullptr;
    set_status(QString::fromStdString(repeat_summary_text(dialog.watch())));
    // The bar would go on naming the mode's last read of the socket.
    reset_progress();
}

}  // namespace corvanel
