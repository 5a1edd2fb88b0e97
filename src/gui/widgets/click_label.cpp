// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/click_label.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace corvanel {

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setFrameShape(QFrame::Box);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    } else if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
        emit right_clicked();
    }
}

void ClickLabel::make_keyboard_reachable() {
    setFocusPolicy(Qt::StrongFocus);
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    if (focusPolicy() != Qt::NoFocus) {
        const bool menu_key =
            event->key() == Qt::Key_Menu ||
            (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
        if (menu_key) {
            emit right_clicked();
            return;
        }
        if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
            event->key() == Qt::Key_Enter) {
            emit clicked();
            return;
        }
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(2, 2, -2, -2);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

}  // namespace corvanel
