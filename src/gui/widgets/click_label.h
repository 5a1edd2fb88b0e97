// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A bordered label with centred text that reports a left click, as the labels
// of the main window that open commands or the editor do.

#include <QLabel>

namespace corvanel {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

    // Lets Tab reach the label: Space or Enter then clicks it, the menu key
    // (or Shift+F10) right-clicks it, and a dotted frame shows the focus.
    void make_keyboard_reachable();

signals:
    void clicked();
    void right_clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace corvanel
