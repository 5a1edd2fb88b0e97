// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's memory tables: drawing the image, "&Clear Buffer", the
// scroll bars, the focus that chooses the wheel's table, and the mouse wheel.

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>
#include <tuple>

#include "core/devices/device_database.h"
#include "core/devices/model_family.h"
#include "core/image/hex_text.h"
#include "gui/dialogs/input_box.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/main_window.h"
#include "gui/ui/memory_search.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "gui/widgets/twips.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {

namespace {

constexpr int kWheelStep = 120;  // wheel delta of one notch
constexpr int kWheelRows = 3;

QString text_of(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

void Form1::updatedisplay() {
    const MemoryImage& image = state().image;
    label_ime->setText(text_of(state().model.model_name));
    // The model's Vpp and Vdd windows beside the click hint, so that the board can be set
    // for it (an LF part's Vdd ends at 3.6 V).
    QString windows;
    if (const auto& vpp = state().model.vpp_window) {
        windows = QStringLiteral("Vpp: ") + text_of(vpp_window_text(*vpp));
    }
    if (const auto& vdd = state().model.vdd_window) {
        windows += (windows.isEmpty() ? QString() : QStringLiteral(", ")) +
                   QStringLiteral("Vdd: ") + text_of(vdd_window_text(*vdd));
    }
    // Its family and the command set the board must speak (the device file's notes).
    QString about;
    const DeviceDatabase& database = state().database;
    if (database.has_model(state().selected_model)) {
        const DeviceModel& model = database.model(state().selected_model);
        if (model.name == state().model.model_name && !model.family.empty()) {
            about = text_of(model_summary(model)) + QStringLiteral(". ");
        }
    }
    label_ime->setToolTip((windows.isEmpty() ? QString() : windows + QStringLiteral(". ")) + about +
                          QStringLiteral("Click to change microcontroller model!"));
    label_info->setText(
        QStringLiteral("FLASH: %1,  EEPROM: %2").arg(image.flash_size).arg(image.eeprom_size));
    show_checksum();
    tabla_flash->set_rows({});
    tabla_eeprom->set_rows({});
    for (ClickLabel* value_label : label_conf) {
        value_label->clear();
    }
    QCoreApplication::processEvents();

    tabla_flash->set_rows(flash_rows(image, scrl1->value(), tabla_flash->row_count()));
    tabla_eeprom->set_rows(eeprom_rows(image, scrl2->value(), tabla_eeprom->row_count()));
    for (const bool eeprom : {false, true}) {
        MemoryTable* table = eeprom ? tabla_eeprom : tabla_flash;
        const int first = (eeprom ? scrl2 : scrl1)->value() * kTableColumns;
        const int offset = mark_address_ - first;
        if (mark_address_ >= 0 && mark_in_eeprom_ == eeprom && offset >= 0 &&
            offset < table->row_count() * kTableColumns) {
            table->set_mark(CellPosition{offset / kTableColumns, offset % kTableColumns});
        } else {
            table->set_mark(std::nullopt);
        }
    }
    layout_config_words();
    for (int number = 1; number <= image.config_count(); ++number) {
        label_conf[static_cast<std::size_t>(number - 1)]->setText(
            text_of(hex4(image.config_word(number))));
    }
    for (int index = 0; index < kUserIdCount; ++index) {
        label_id[static_cast<std::size_t>(index)]->setText(text_of(hex4(image.user_id(index))));
    }
    show_config_tooltips();
    QCoreApplication::processEvents();
}

void Form1::layout_config_words() {
    const MemoryImage& image = state().image;
    const AddressMap& map = image.map;
    const int count = image.config_count();
    // Up to two words stand as they always did, caption above value; the
    // third and later words (the enhanced parts) make a row each, caption beside value.
    const bool rows = count > 2;
    for (int k = 0; k < kMaxConfigWords; ++k) {
        ClickLabel* caption = lfix[static_cast<std::size_t>(k)];
        ClickLabel* value = label_conf[static_cast<std::size_t>(k)];
        const bool shown = k == 0 || k < count;
        const QString address = QString::fromStdString(hex4h(map.config_word_address(k + 1)));
        if (rows) {
            // Five rows fill the room above the user IDs; the 16F132xx's seven share it.
            constexpr int kRoomTwips = 1200;
            const int kRowTwips = std::min(240, kRoomTwips / count);
            caption->setGeometry(
                twips_rect(4080, 4260 + k * kRowTwips, 1080, kRowTwips).translated(config_offset_));
            value->setGeometry(
                twips_rect(5190, 4260 + k * kRowTwips, 900, kRowTwips).translated(config_offset_));
            caption->setText(QStringLiteral("CONF%1 %2").arg(k + 1).arg(address));
            // The row is lower than the two-word captions: the caption's font
            // shrinks until the text fits.
            QFont font = config_caption_font_;
            for (int pixels = font.pixelSize(); pixels > 8; --pixels) {
                font.setPixelSize(pixels);
                const QFontMetrics metrics(font);
                if (metrics.horizontalAdvance(caption->text()) <= caption->width() - 6 &&
                    metrics.height() <= caption->height()) {
                    break;
                }
            }
            caption->setFont(font);
            value->setFont(fixed_font(count > 5 ? 8 : 10));  // as the user IDs below, or smaller
        } else if (k < 2) {
            caption->setGeometry(
                twips_rect(4080, 4260 + k * 600, 1755, 255).translated(config_offset_));
            value->setGeometry(
                twips_rect(4380, 4560 + k * 600, 1215, 255).translated(config_offset_));
            caption->setText(QStringLiteral("Config. Word (%1)").arg(address));
            caption->setFont(config_caption_font_);
            value->setFont(fixed_font(13));
        }
        caption->setVisible(shown);
        value->setVisible(shown);
    }
    // The user IDs' addresses follow the map too.
    lfix_id->setToolTip(
        QStringLiteral("User IDs (%1-%2)")
            .arg(QString::fromStdString(hex4h(map.user_id_address)))
            .arg(QString::fromStdString(hex4h(map.user_id_address + kUserIdCount - 1))));
    for (int index = 0; index < kUserIdCount; ++index) {
        label_id[static_cast<std::size_t>(index)]->setToolTip(
            QStringLiteral("User ID %1. Click to edit!")
                .arg(QString::fromStdString(hex4h(map.user_id_address + index))));
    }
}

void Form1::menuclear_Click() {
    if (refuse_during_operation()) {
        return;
    }
    disable();
    out_of_range_warning_.clear();
    mark_address_ = -1;
    MemoryImage& image = state().image;
    image.clear_image();
    state().image_cut_short = false;
    // Draw from the first rows: a smaller model must never make a table read
    // past the end of its area.
    for (TableScrollBar* bar : {scrl1, scrl2}) {
        const QSignalBlocker blocker(bar);
        bar->setRange(0, 0);
    }
    updatedisplay();
    label_hex->clear();
    loaded_path_.clear();
    menureload->setEnabled(false);
    mark_buffer_saved();
    set_status(QString());
    enable();
    scrl1->setMaximum(scroll_maximum(image.flash_size, tabla_flash->row_count()));
    scrl2->setMaximum(scroll_maximum(image.eeprom_size, tabla_eeprom->row_count()));
    focus_scroll_bar(scrl2);
    focus_scroll_bar(scrl1);
}

void Form1::layout_for_size() {
    if (design_geometry_.isEmpty()) {
        return;  // still being built
    }
    const int dx = std::max(0, client_->width() - design_client_size_.width());
    const int dy = std::max(0, client_->height() - design_client_size_.height());
    if (QSize(dx, dy) == laid_out_gain_) {
        return;
    }
    laid_out_gain_ = QSize(dx, dy);
    const int flash_gain = dy * 2 / 3;
    const int eeprom_gain = dy - flash_gain;
    const auto place = [this](QWidget* control, int x, int y, int width, int height) {
        const QRect design = design_geometry_.value(control);
        control->setGeometry(design.x() + x, design.y() + y, design.width() + width,
                             design.height() + height);
    };
    place(label_hex, 0, 0, dx, 0);
    place(label_vpp, dx, 0, 0, 0);
    place(tabla_flash, 0, 0, dx, flash_gain);
    place(scrl1, dx, 0, 0, flash_gain);
    place(Label4, 0, flash_gain, 0, 0);
    place(tabla_eeprom, 0, flash_gain, dx, eeprom_gain);
    place(scrl2, dx, flash_gain, 0, eeprom_gain);
    place(lfix_id, dx, flash_gain, 0, 0);
    for (ClickLabel* id_label : label_id) {
        place(id_label, dx, flash_gain, 0, 0);
    }
    place(Label5, dx, dy, 0, 0);
    place(label_status, 0, dy, dx, 0);
    place(label_checksum, 0, dy, 0, 0);
    place(progress_bar, 0, dy, dx, 0);
    config_offset_ = QPoint(dx, flash_gain);
    layout_config_words();
    show_status_line();
    // More rows: the scroll range shrinks so that the last row still ends the table.
    const MemoryImage& image = state().image;
    bool more_rows = false;
    for (const auto& [table, bar, cells] : {std::tuple{tabla_flash, scrl1, image.flash_size},
                                            std::tuple{tabla_eeprom, scrl2, image.eeprom_size}}) {
        if (table->fit_row_count()) {
            const QSignalBlocker blocker(bar);
            bar->setMaximum(scroll_maximum(cells, table->row_count()));
            bar->setPageStep(table->row_count());
            more_rows = true;
        }
    }
    if (more_rows) {
        updatedisplay();
    }
}

// --- go to address and find ----------------------------------------------------------

void Form1::show_address(bool eeprom, std::int32_t address, const QString& status) {
    MemoryTable* table = eeprom ? tabla_eeprom : tabla_flash;
    TableScrollBar* bar = eeprom ? scrl2 : scrl1;
    const int row = address / kTableColumns;
    mark_address_ = address;
    mark_in_eeprom_ = eeprom;
    if (row < bar->value() || row >= bar->value() + table->row_count()) {
        const QSignalBlocker blocker(bar);
        bar->setValue(std::clamp(row, bar->minimum(), bar->maximum()));
    }
    focus_scroll_bar(bar);
    updatedisplay();
    set_status(status);
}

void Form1::menugoto_Click() {
    if (refuse_during_operation()) {
        return;
    }
    const bool eeprom = eeprom_chosen();
    const MemoryImage& image = state().image;
    const std::int32_t size = eeprom ? image.eeprom_size : image.flash_size;
    const QString memory = eeprom ? QStringLiteral("EEPROM") : QStringLiteral("FLASH");
    if (size <= 0) {
        set_status(QStringLiteral("This model has no %1.").arg(memory));
        return;
    }
    const QString last = QString::fromStdString(hex4(size - 1)) + QLatin1Char('h');
    const QString typed =
        myinputbox(QStringLiteral("Go to %1 address (hexadecimal, 0 to %2):").arg(memory, last),
                   QStringLiteral("Go to Address"),
                   mark_address_ >= 0 && mark_in_eeprom_ == eeprom
                       ? QString::fromStdString(hex4(mark_address_))
                       : QString());
    if (typed.trimmed().isEmpty()) {
        return;  // Cancel
    }
    const auto address = parse_hex_address(typed);
    if (!address || *address >= size) {
        (void)mymsgbox(QStringLiteral("\"%1\" is no %2 address: the addresses go from 0 to %3.")
                           .arg(typed.trimmed(), memory, last),
                       message_kind::kError, window_title());
        return;
    }
    show_address(
        eeprom, *address,
        QStringLiteral("%1 address %2h.").arg(memory, QString::fromStdString(hex4(*address))));
}

void Form1::menufind_Click() {
    if (refuse_during_operation()) {
        return;
    }
    const bool eeprom = eeprom_chosen();
    const QString typed = myinputbox(
        eeprom ? QStringLiteral("Find in EEPROM the bytes (hexadecimal, e.g. A5 5A):")
               : QStringLiteral("Find in FLASH the words (hexadecimal, e.g. 2805 3FFF):"),
        QStringLiteral("Find"), find_text_);
    if (typed.trimmed().isEmpty()) {
        return;  // Cancel
    }
    find_text_ = typed.trimmed();
    // From the start, or just after the cell marked in this table.
    find_from(mark_address_ >= 0 && mark_in_eeprom_ == eeprom ? mark_address_ + 1 : 0);
}

void Form1::menufindnext_Click() {
    if (refuse_during_operation()) {
        return;
    }
    if (find_text_.isEmpty()) {
        menufind_Click();
        return;
    }
    find_from(mark_address_ >= 0 && mark_in_eeprom_ == eeprom_chosen() ? mark_address_ + 1 : 0);
}

void Form1::find_from(std::int32_t from) {
    const bool eeprom = eeprom_chosen();
    const QString memory = eeprom ? QStringLiteral("EEPROM") : QStringLiteral("FLASH");
    const auto values = parse_search_values(find_text_, eeprom ? 2 : 4);
    if (!values) {
        (void)mymsgbox(
            QStringLiteral("\"%1\" is not a list of %2: hexadecimal numbers of up to "
                           "%3 digits, apart by blanks.")
                .arg(find_text_, eeprom ? QStringLiteral("bytes") : QStringLiteral("words"),
                     eeprom ? QStringLiteral("2") : QStringLiteral("4")),
            message_kind::kError, window_title());
        return;
    }
    const MemoryImage& image = state().image;
    const std::int32_t size = eeprom ? image.eeprom_size : image.flash_size;
    const auto found = find_values(
        [&image, eeprom](std::int32_t index) {
            return eeprom ? image.eeprom_byte(index) : image.flash_word(index);
        },
        size, *values, from);
    if (!found) {
        set_status(QStringLiteral("%1 not found in %2.").arg(find_text_, memory));
        return;
    }
    show_address(eeprom, *found,
                 QStringLiteral("%1 found at %2 address %3h%4.")
                     .arg(find_text_, memory, QString::fromStdString(hex4(*found)),
                          *found < from ? QStringLiteral(" (from the start again)") : QString()));
}

// --- focus, scrolling and the mouse wheel -------------------------------------------

void Form1::focus_scroll_bar(TableScrollBar* bar) {
    bar->setFocus(Qt::OtherFocusReason);
    // The focus event only arrives while the window is active; the wheel target
    // follows the scroll bar that holds the focus in any case.
    wheel_target_ = bar == scrl1 ? WheelTarget::Flash : WheelTarget::Eeprom;
}

void Form1::table_got_focus(MemoryTable* table) {
    focus_scroll_bar(table == tabla_flash ? scrl1 : scrl2);
    if (editor_armed_) {
        editor_armed_ = false;
        unosbox->show();
        unosbox->raise();
        unosbox->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::table_pointer_moved(MemoryTable* table) {
    if (table == tabla_flash && wheel_target_ == WheelTarget::Eeprom) {
        focus_scroll_bar(scrl1);
    } else if (table == tabla_eeprom && wheel_target_ == WheelTarget::Flash) {
        focus_scroll_bar(scrl2);
    }
}

void Form1::scroll_dragged() {
    QCoreApplication::processEvents();
    updatedisplay();
}

void Form1::MouseWheel(int /*mousekeys*/, int rotation, int /*xpos*/, int /*ypos*/) {
    TableScrollBar* bar = nullptr;
    if (wheel_target_ == WheelTarget::Flash) {
        bar = scrl1;
    } else if (wheel_target_ == WheelTarget::Eeprom) {
        bar = scrl2;
    } else {
        return;
    }
    const int step = rotation < 0 ? kWheelRows : -kWheelRows;
    bar->setValue(std::clamp(bar->value() + step, bar->minimum(), bar->maximum()));
}

void Form1::Form_Activate() {
    wheel_on_ = false;
    wheel_remainder_ = 0;
    wheel_on_ = settings().get_number(QString::fromLatin1(setting_names::mouse_wheel_enabled),
                                      setting_defaults::mouse_wheel_enabled) != 0;
}

void Form1::Form_Deactivate() {
    wheel_on_ = false;
    wheel_remainder_ = 0;
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            Form_Activate();
        } else {
            Form_Deactivate();
        }
    }
}

void Form1::handle_wheel_event(QWheelEvent* event) {
    if (!wheel_on_) {
        return;
    }
    // Fine-grained wheels and touchpads send small deltas; a notification is
    // counted for every full notch of 120 units.
    wheel_remainder_ += event->angleDelta().y();
    const QPoint position = event->position().toPoint();
    while (wheel_remainder_ >= kWheelStep || wheel_remainder_ <= -kWheelStep) {
        const int notch = wheel_remainder_ > 0 ? kWheelStep : -kWheelStep;
        wheel_remainder_ -= notch;
        MouseWheel(0, notch, position.x(), position.y());
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Escape stops whatever holds the board; otherwise it is the control's own
    // (the cell editor closes on it).
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const ProgramState& program = state();
        if (widget != nullptr && widget->window() == this &&
            (program.runner.running() || program.link.vpp_test_on)) {
            stop_Click();
            return true;
        }
    }
    if (event->type() == QEvent::Wheel) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            // The wheel always moves the table the scroll bar focus names, never
            // the control under the pointer on its own.
            handle_wheel_event(static_cast<QWheelEvent*>(event));
            return true;
        }
    }
    if (watched == client_ && event->type() == QEvent::Resize) {
        layout_for_size();
    }
    // A press that a label or a table leaves unhandled also reaches the client
    // area; only a press where no control lies is a click on the background.
    if (watched == client_ && event->type() == QEvent::MouseButtonPress &&
        client_->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == nullptr) {
        focus_scroll_bar(scrl1);
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace corvanel
