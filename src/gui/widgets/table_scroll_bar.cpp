// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/table_scroll_bar.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTimer>

namespace corvanel {

TableScrollBar::TableScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setFocusPolicy(Qt::StrongFocus);
    setRange(0, 0);
    setSingleStep(1);
    setPageStep(8);
}

void TableScrollBar::focusInEvent(QFocusEvent* event) {
    QScrollBar::focusInEvent(event);
    emit focus_received();
}

void TableScrollBar::keyPressEvent(QKeyEvent* event) {
    const bool menu_key = event->key() == Qt::Key_Menu ||
                          (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                       (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (menu_key || enter) {
        event->accept();
        request_cell();
        return;
    }
    QScrollBar::keyPressEvent(event);
}

void TableScrollBar::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        request_cell();
        return;
    }
    QScrollBar::contextMenuEvent(event);
}

void TableScrollBar::request_cell() {
    // Some platforms follow the menu key's press with a menu request of their
    // own. Both are one request, answered once they are through: the editor
    // that opens then takes the focus without being sent that menu request.
    if (cell_request_pending_) {
        return;
    }
    cell_request_pending_ = true;
    QTimer::singleShot(0, this, [this] {
        cell_request_pending_ = false;
        emit cell_requested();
    });
}

}  // namespace corvanel
