// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/table_scroll_bar.h"

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

}  // namespace corvanel
