// SPDX-License-Identifier: GPL-3.0-or-later
// Editing single locations of the image in place: the cell editor over a table
// cell or a configuration word.

#include <QApplication>

#include "core/image/memory_image.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/main_window.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "platform/app/app_state.h"

namespace corvanel {

namespace {

// FLASH words and configuration words hold 14 bits, EEPROM cells one byte.
constexpr int kByteLimit = 0xFF;

// Upper-case hex with at least `digits` digits: 3FFF, 0A.
QString hex_digits(int value, qsizetype digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

}  // namespace

// --- the cell editor --------------------------------------------------------------------

TableScrollBar* Form1::edit_scroll_bar() const {
    return edit_target_ == EditTarget::Eeprom ? scrl2 : scrl1;
}

void Form1::tabla_MouseUp(MemoryTable* table, QPoint position) {
    if (refuse_during_operation()) {
        return;
    }
    QCoreApplication::processEvents();
    const auto cell = table->cell_at(position);
    if (!cell) {
        return;
    }
    const bool flash = table == tabla_flash;
    const TableScrollBar* bar = flash ? scrl1 : scrl2;
    const int size = flash ? state().image.flash_size : state().image.eeprom_size;
    const int index = (bar->value() + cell->row) * kTableColumns + cell->column;
    if (index > size - 1) {
        return;
    }
    edit_index_ = index;
    const QRect cell_area = table->cell_rect(*cell).translated(table->pos());
    // Just taller than a row, so the border does not hide the rows around it.
    const int height = cell_area.height() + 4;
    unosbox->setFont(table->font());
    unosbox->setGeometry(cell_area.x(), cell_area.center().y() - height / 2, cell_area.width(),
                         height);
    unosbox->setMaxLength(flash ? 4 : 2);
    // The cell's value, selected: typing replaces it, Enter keeps it.
    const MemoryImage& image = state().image;
    unosbox->setText(flash ? hex_digits(image.flash_word(index), 4)
                           : hex_digits(image.eeprom_byte(index), 2));
    unosbox->selectAll();
    editor_armed_ = true;
    edit_target_ = flash ? EditTarget::Flash : EditTarget::Eeprom;
    // The press before this release has already moved the focus, so the editor
    // is shown here rather than by a focus event that will not come again.
    table_got_focus(table);
}

void Form1::edit_marked_cell(MemoryTable* table) {
    if (refuse_during_operation()) {
        return;
    }
    const auto cell = table->mark();
    if (!cell) {
        set_status(
            QStringLiteral("Go to Address (Ctrl+G) or Find (Ctrl+F) marks the cell to edit."));
        return;
    }
    // Exactly what a right click on the drawn cell does.
    tabla_MouseUp(table, table->cell_rect(*cell).center());
}

void Form1::label_conf_Click(int index) {
    if (refuse_during_operation()) {
        return;
    }
    edit_index_ = index + 1;
    unosbox->setFont(label_conf[index]->font());
    unosbox->setGeometry(label_conf[index]->geometry());
    unosbox->setMaxLength(4);
    unosbox->setText(hex_digits(state().image.config_word(index + 1), 4));
    unosbox->selectAll();
    edit_target_ = EditTarget::Config;
    editor_armed_ = false;
    unosbox->show();
    unosbox->raise();
    unosbox->setFocus(Qt::OtherFocusReason);
}

void Form1::label_id_Click(int index) {
    if (refuse_during_operation()) {
        return;
    }
    ClickLabel* id_label = label_id[static_cast<std::size_t>(index)];
    edit_index_ = index;
    unosbox->setFont(id_label->font());
    unosbox->setGeometry(id_label->geometry());
    unosbox->clear();
    unosbox->setMaxLength(4);
    edit_target_ = EditTarget::UserId;
    editor_armed_ = false;
    unosbox->show();
    unosbox->raise();
    unosbox->setFocus(Qt::OtherFocusReason);
}

void Form1::unosbox_Escape() {
    unosbox->hide();
    focus_scroll_bar(edit_scroll_bar());
}

void Form1::unosbox_LostFocus() {
    unosbox->hide();
    focus_scroll_bar(edit_scroll_bar());
}

void Form1::unosbox_Enter() {
    const QString text = unosbox->text();
    // An editor opened before the operation started changes nothing while it runs.
    if (!text.isEmpty() && !refuse_during_operation()) {
        const int value = editor_value(text);
        const int limit = edit_target_ == EditTarget::Eeprom ? kByteLimit : kBlankFlashWord;
        MemoryImage& image = state().image;
        const int current = edit_target_ == EditTarget::Flash    ? image.flash_word(edit_index_)
                            : edit_target_ == EditTarget::Eeprom ? image.eeprom_byte(edit_index_)
                                                                 : image.config_word(edit_index_);
        if (value == current) {
            // Enter on the value as it was opened: nothing changes, not even the file label.
        } else if (value >= 0 && value <= limit) {
            focus_scroll_bar(edit_scroll_bar());
            switch (edit_target_) {
                case EditTarget::Flash:
                    (void)image.set_flash_word(edit_index_, value);
                    break;
                case EditTarget::Eeprom:
                    (void)image.set_eeprom_byte(edit_index_, value);
                    break;
                case EditTarget::Config:
                    (void)image.set_config_word(edit_index_, value);
                    break;
                case EditTarget::UserId:
                    (void)image.set_user_id(edit_index_, value);
                    break;
            }
            updatedisplay();
            label_hex->clear();
        } else {
            // Why nothing was stored, in the status line: the editor closes either way.
            set_status(
                value < 0
                    ? QStringLiteral("%1 is not a hex number: nothing stored.").arg(text.toUpper())
                    : QStringLiteral("%1h: above %2h, nothing stored.")
                          .arg(hex_digits(value, text.size()), hex_digits(limit, 2)));
        }
    }
    unosbox->hide();
    // A rejected value closes the editor as well; the focus goes back to the
    // table's scroll bar instead of wandering to the next control.
    focus_scroll_bar(edit_scroll_bar());
}

}  // namespace corvanel
