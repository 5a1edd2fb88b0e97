// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Dialogs laid out in the design's fixed positions can be taller than a small
// screen at a large scale (a 1366x768 laptop at 150 % leaves about 500 pixels).
// fit_to_screen keeps such a dialog within the screen: its entries move into a
// scrolling area and the buttons stay in reach below it. A dialog that fits is
// left exactly as it is.

#include <QList>

class QDialog;
class QWidget;

namespace corvanel {

// Room the window frame and title take beyond a dialog's own height.
inline constexpr int kWindowFrameAllowance = 40;

// The height available on the screen `near` is on (the primary screen without
// one), in the widget's pixels; 0 when no screen is known.
[[nodiscard]] int available_screen_height(const QWidget* near);
// The width likewise.
[[nodiscard]] int available_screen_width(const QWidget* near);

// Makes `dialog` (fixed size, children placed by hand) at most
// `available_height` tall with its frame. The widgets in `below` (the
// buttons) keep their place under the scrolling part; every other child
// scrolls. Answers true when the dialog had to change.
bool fit_to_screen(QDialog& dialog, const QList<QWidget*>& below, int available_height);

}  // namespace corvanel
