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
constexpr int kWordLimit = 0x3FFF;
constexpr int kByteLimit = 0xFF;

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
    unosbox->clear();
    unosbox->setMaxLength(flash ? 4 : 2);
    editor_armed_ = true;
    edit_target_ = flash ? EditTarget::Flash : EditTarget::Eeprom;
    // The press before this release has already moved the focus, so the editor
    // is shown here rather than by a focus event that will not come again.
    table_got_focus(table);
}

void Form1::label_conf_Click(int index) {
    if (refuse_during_operation()) {
        return;
    }
    edit_index_ = index + 1;
    unosbox->setFont(label_conf[index]->font());
    unosbox->setGeometry(label_conf[index]->geometry());
    unosbox->clear();
    unosbox->setMaxLength(4);
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
        const int limit = edit_target_ == EditTarget::Eeprom ? kByteLimit : kWordLimit;
        if (value >= 0 && value <= limit) {
            focus_scroll_bar(edit_scroll_bar());
            MemoryImage& image = state().image;
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
        }
    }
    unosbox->hide();
    // A rejected value closes the editor as well; the focus goes back to the
    // table's scroll bar instead of wandering to the next control.
    focus_scroll_bar(edit_scroll_bar());
}

}  // namespace corvanel
