#include "gui/widgets/click_label.h"

#include <QMouseEvent>

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

}  // namespace corvanel
