// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/cell_editor.h"

#include <QKeyEvent>

#include "core/image/hex_text.h"

namespace corvanel {

CellEditor::CellEditor(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignCenter);
    setTextMargins(0, 0, 0, 0);
    hide();
}

void CellEditor::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit enter_pressed();
            return;
        case Qt::Key_Escape:
            emit escape_pressed();
            return;
        default:
            QLineEdit::keyPressEvent(event);
    }
}

void CellEditor::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (isVisible()) {
        emit focus_lost();
    }
}

int editor_value(const QString& text) {
    const QString padded = QStringLiteral("000") + text.toUpper();
    return hexval4(padded.right(4).toStdString());
}

}  // namespace corvanel
