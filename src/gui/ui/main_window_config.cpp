// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's configuration words by name, and "Identify Chip": the
// labels' tooltips of decoded options, the dialog of named fields, and the
// offer to apply the model that the chip in the socket answers as.

#include <QTimer>

#include "core/devices/device_identity.h"
#include "core/engine/board_test.h"
#include "core/engine/chip_identify.h"
#include "core/engine/program_state.h"
#include "core/message_kind.h"
#include "gui/dialogs/config_word_dialog.h"
#include "gui/dialogs/document_view.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "gui/ui/repeat_mode.h"
#include "gui/widgets/click_label.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

const QString kRawEditTooltip = QStringLiteral("Click to edit!");

}  // namespace

void Form1::show_config_tooltips() {
    const MemoryImage& image = state().image;
    for (int number = 1; number <= image.config_count(); ++number) {
        const ConfigWordFields* fields = config_word_fields(state().model.model_name, number);
        label_conf[static_cast<std::size_t>(number - 1)]->setToolTip(
            fields != nullptr ? config_word_tooltip(*fields, image.config_word(number))
                              : kRawEditTooltip);
    }
}

void Form1::label_conf_fields_Click(int index) {
    const int number = index + 1;
    const ConfigWordFields* fields = config_word_fields(state().model.model_name, number);
    if (fields == nullptr) {
        label_conf_Click(index);
        return;
    }
    MemoryImage& image = state().image;
    const std::int32_t before = image.config_word(number);
    const std::optional<std::int32_t> edited = edit_config_word(this, *fields, before);
    if (!edited || *edited == before) {
        return;
    }
    (void)image.set_config_word(number, *edited);
    updatedisplay();
    // The image no longer is the loaded file.
    label_hex->clear();
}

void Form1::menuidentify_Click() {
    (void)start_identify(state());
}

void Form1::menutestboard_Click() {
    if (refuse_during_operation()) {
        return;
    }
    ProgramState& program = state();
    if (!program.link.port_ready && program.link.reopen_lost_port) {
        (void)program.link.reopen_lost_port();
    }
    // The test switches 3.3 V on with MCLR held low: harmless to any chip, yet
    // a chip in the socket would answer the pull-up's read.
    if (mymsgbox(QStringLiteral("Test Board measures the board's rails and reads the data "
                                "line with the socket empty.\r\nIs the socket empty?"),
                 message_kind::kQuestion, window_title()) != message_result::kYes) {
        return;
    }
    disable();
    set_status(QStringLiteral("Testing the board..."));
    const BoardTestReport report = run_board_test(program, rate_switch_of(program));
    enable();
    const std::vector<std::string> table = board_test_table(report);
    QString markdown = QStringLiteral("```\n");
    for (const std::string& line : table) {
        markdown += QString::fromStdString(line) + QLatin1Char('\n');
    }
    markdown += QStringLiteral("```\n");
    auto* view = new DocumentView(QStringLiteral("Test Board"), markdown, QString(), this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    test_board_view_ = view;
    set_status(QString::fromStdString(table.back()));
}

void Form1::chip_identified(std::int32_t word) {
    if (repeat_dialog_ != nullptr && repeat_dialog_->reading()) {
        repeat_dialog_->identified(word);  // a read of Repeat on Chip Insertion
        return;
    }
    // Called from the interpreter's finishing step: the offer (which may apply a
    // model and reopen the port) waits until the step has ended.
    QTimer::singleShot(0, this, [this, word] { offer_identified_model(word); });
}

void Form1::offer_identified_model(std::int32_t word) {
    ProgramState& program = state();
    const std::vector<IdentifiedModel> models =
        models_with_id(program.database, word, program.runner.revision_word);
    if (models.empty()) {
        return;  // the status line says what was found
    }
    for (const IdentifiedModel& model : models) {
        if (model.number == program.selected_model) {
            return;  // the applied model is the chip's already
        }
    }
    const IdentifiedModel& found = models.front();
    const QString question =
        QString::fromStdString(
            identify_report(program.database, word, program.runner.revision_word)) +
        QStringLiteral("\r\n\r\nApply the model %1?").arg(QString::fromStdString(found.name));
    if (mymsgbox(question, message_kind::kQuestion, window_title()) != message_result::kYes) {
        return;
    }
    // As the model chooser's "Select" does.
    program.selected_model = found.number;
    settings().put_string(QString::fromLatin1(setting_names::microcontroller_model),
                          QString::number(found.number));
    apply_model(program.database, found.number, program.model, program.image);
    if (serial_link_ != nullptr) {
        serial_link_->follow_applied_model();
    }
    menuclear_Click();
}

}  // namespace corvanel
