// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The vertical scroll bar beside a memory table. It takes the keyboard focus
// (the arrow keys then scroll its table) and reports gaining it, since the
// scroll bar holding the focus decides which table the mouse wheel moves.
// It stands for its table at the keyboard: Enter, the menu key and Shift+F10
// ask for the table's marked cell, as a right click on the cell does.

#include <QScrollBar>

namespace corvanel {

class TableScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit TableScrollBar(QWidget* parent = nullptr);

signals:
    void focus_received();
    void cell_requested();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The menu key's request (where the platform sends one): the cell's, not
    // the scroll bar's own menu; a right click still gets that one.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void request_cell();

    bool cell_request_pending_ = false;
};

}  // namespace corvanel
