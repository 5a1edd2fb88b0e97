// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The vertical scroll bar beside a memory table. It takes the keyboard focus
// (the arrow keys then scroll its table) and reports gaining it, since the
// scroll bar holding the focus decides which table the mouse wheel moves.

#include <QScrollBar>

namespace corvanel {

class TableScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit TableScrollBar(QWidget* parent = nullptr);

signals:
    void focus_received();

protected:
    void focusInEvent(QFocusEvent* event) override;
};

}  // namespace corvanel
