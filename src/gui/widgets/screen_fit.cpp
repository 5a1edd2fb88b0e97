// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/screen_fit.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

namespace corvanel {

int available_screen_height(const QWidget* near) {
    const QScreen* screen = near != nullptr ? near->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry().height() : 0;
}

int available_screen_width(const QWidget* near) {
    const QScreen* screen = near != nullptr ? near->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry().width() : 0;
}

bool fit_to_screen(QDialog& dialog, const QList<QWidget*>& below, int available_height) {
    const int height = dialog.height();
    if (available_height <= 0 || height + kWindowFrameAllowance <= available_height) {
        return false;
    }
    // The part above the buttons scrolls; the buttons keep their distance
    // from its lower edge and from the dialog's end.
    int buttons_top = height;
    for (const QWidget* widget : below) {
        buttons_top = std::min(buttons_top, widget->y());
    }
    const int cut = std::min(height + kWindowFrameAllowance - available_height, buttons_top - 40);
    const int area_height = buttons_top - cut;
    const int bar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent);

    auto* area = new QScrollArea(&dialog);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* panel = new QWidget;
    panel->resize(dialog.width(), buttons_top);
    panel->setPalette(dialog.palette());
    panel->setAutoFillBackground(true);
    for (QObject* child : dialog.children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget == nullptr || widget == area || below.contains(widget) || widget->isWindow()) {
            continue;
        }
        const QRect place = widget->geometry();
        const bool hidden = widget->isHidden();
        widget->setParent(panel);
        widget->setGeometry(place);
        widget->setVisible(!hidden);
    }
    area->setWidget(panel);
    area->setGeometry(0, 0, dialog.width() + bar, area_height);
    area->verticalScrollBar()->setSingleStep(16);
    for (QWidget* widget : below) {
        widget->move(widget->x(), widget->y() - cut);
    }
    dialog.setFixedSize(dialog.width() + bar, height - cut);
    return true;
}

}  // namespace corvanel
