#pragma once

// A bordered label with centred text that reports a left click, as the labels
// of the main window that open commands or the editor do.

#include <QLabel>

namespace corvanel {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();
    void right_clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace corvanel
