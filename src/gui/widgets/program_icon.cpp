// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/program_icon.h"

#include <QPainter>
#include <QPixmap>

namespace corvanel {

namespace {

QPixmap chip_pixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    // Four pins on each side, then the package over them with its notch.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(190, 190, 190));
    for (int pin = 0; pin < 4; ++pin) {
        const double y = 7 + pin * 5.5;
        painter.drawRect(QRectF(3, y, 5, 2.5));
        painter.drawRect(QRectF(24, y, 5, 2.5));
    }
    painter.setBrush(QColor(40, 40, 48));
    painter.drawRoundedRect(QRectF(7, 3, 18, 26), 2, 2);
    painter.setBrush(QColor(215, 230, 202));
    painter.drawEllipse(QRectF(13.5, 1.5, 5, 5));
    painter.setBrush(QColor(255, 192, 192));
    painter.drawEllipse(QRectF(10, 8, 3, 3));
    return pixmap;
}

}  // namespace

QIcon program_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(chip_pixmap(size));
    }
    return icon;
}

}  // namespace corvanel
