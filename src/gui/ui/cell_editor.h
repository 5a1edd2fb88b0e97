// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The small in-place editor that opens over a memory cell or a configuration
// word. It only collects the typed text; the main window decides what to store.

#include <QLineEdit>

namespace corvanel {

class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    explicit CellEditor(QWidget* parent = nullptr);

signals:
    void enter_pressed();
    void escape_pressed();
    void focus_lost();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// The value typed into the editor: upper-cased, padded with zeros on the left
// to four digits and read as hex. Lower-case digits are accepted; anything that
// is not a hex number gives -1.
[[nodiscard]] int editor_value(const QString& text);

}  // namespace corvanel
