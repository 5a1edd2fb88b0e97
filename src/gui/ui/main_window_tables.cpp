// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's memory tables: drawing the image, "&Clear Buffer", the
// scroll bars, the focus that chooses the wheel's table, and the mouse wheel.

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>

#include "core/image/hex_text.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/main_window.h"
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
    label_ime->setToolTip((windows.isEmpty() ? QString() : windows + QStringLiteral(". ")) +
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

    tabla_flash->set_rows(flash_rows(image, scrl1->value()));
    tabla_eeprom->set_rows(eeprom_rows(image, scrl2->value()));
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
            constexpr int kRowTwips = 240;
            caption->setGeometry(twips_rect(4080, 4260 + k * kRowTwips, 1080, kRowTwips));
            value->setGeometry(twips_rect(5190, 4260 + k * kRowTwips, 900, kRowTwips));
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
            value->setFont(fixed_font(10));  // as the user IDs below
        } else if (k < 2) {
            caption->setGeometry(twips_rect(4080, 4260 + k * 600, 1755, 255));
            value->setGeometry(twips_rect(4380, 4560 + k * 600, 1215, 255));
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
    scrl1->setMaximum(scroll_maximum(image.flash_size));
    scrl2->setMaximum(scroll_maximum(image.eeprom_size));
    focus_scroll_bar(scrl2);
    focus_scroll_bar(scrl1);
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
    // A press that a label or a table leaves unhandled also reaches the client
    // area; only a press where no control lies is a click on the background.
    if (watched == client_ && event->type() == QEvent::MouseButtonPress &&
        client_->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == nullptr) {
        focus_scroll_bar(scrl1);
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace corvanel
