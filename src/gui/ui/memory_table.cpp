#include "gui/ui/memory_table.h"

#include <cmath>

#include <QFocusEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr int kTextMargin = 2;  // pixels between the frame and the text

// The tables hold only digits, capitals, ':' and blanks, none of which reach
// below the baseline, so a row needs the ascent and one pixel of gap rather
// than the font's full line height.
int pitch_of(const QFontMetrics& metrics) {
    return metrics.ascent() + 1;
}

QString text_of(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QStringList flash_rows(const MemoryImage& image, int top_row) {
    QStringList rows;
    if (image.flash_size <= 0) {
        return rows;
    }
    for (int row = top_row; row < top_row + kTableRows; ++row) {
        const std::int32_t first = row * kTableColumns;
        QString line = text_of(hex6(first)) + QLatin1Char(':');
        for (int column = 0; column < kTableColumns; ++column) {
            line += QLatin1Char(' ') + text_of(hex4(image.flash_word(first + column)));
        }
        rows << line;
    }
    return rows;
}

QStringList eeprom_rows(const MemoryImage& image, int top_row) {
    QStringList rows;
    if (image.eeprom_size <= 0) {
        return rows;
    }
    for (int row = top_row; row < top_row + kTableRows; ++row) {
        const std::int32_t first = row * kTableColumns;
        QString line = text_of(hex4(first)) + QLatin1Char(':');
        for (int column = 0; column < kTableColumns; ++column) {
            line += QLatin1Char(' ') + text_of(hex2(image.eeprom_byte(first + column)));
        }
        rows << line;
    }
    return rows;
}

int scroll_maximum(std::int32_t cells) {
    if (cells <= 0) {
        return 0;
    }
    return std::max(0, cells / kTableColumns - kTableRows);
}

MemoryTable::MemoryTable(RowLayout layout, QWidget* parent) : QFrame(parent), layout_(layout) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setMouseTracking(true);
    // A table takes the focus only to hand it on to its scroll bar.
    setFocusPolicy(Qt::ClickFocus);
}

void MemoryTable::set_rows(const QStringList& rows) {
    rows_ = rows;
    update();
}

QString MemoryTable::text() const {
    return rows_.join(QStringLiteral("\r\n"));
}

void MemoryTable::fit_font(const QFont& font, int row_chars) {
    const QRect area = contentsRect().adjusted(kTextMargin, kTextMargin, -kTextMargin, 0);
    QFont candidate = font;
    for (int pixels = 14; pixels >= 6; --pixels) {
        candidate.setPixelSize(pixels);
        const QFontMetrics metrics(candidate);
        if (metrics.horizontalAdvance(QLatin1Char('0')) * row_chars <= area.width() &&
            pitch_of(metrics) * kTableRows <= area.height()) {
            break;
        }
    }
    setFont(candidate);
}

int MemoryTable::char_width() const {
    return fontMetrics().horizontalAdvance(QLatin1Char('0'));
}

int MemoryTable::row_pitch() const {
    return pitch_of(fontMetrics());
}

QPoint MemoryTable::text_origin() const {
    return contentsRect().topLeft() + QPoint(kTextMargin, kTextMargin);
}

std::optional<CellPosition> MemoryTable::cell_at(QPoint point) const {
    const QPoint local = point - text_origin();
    const int width = char_width();
    const int x = local.x() - layout_.address_chars * width;
    const int row = static_cast<int>(std::floor(static_cast<double>(local.y()) / row_pitch()));
    const int column =
        static_cast<int>(std::floor(static_cast<double>(x) / (layout_.cell_chars * width)));
    if (row < 0 || row >= kTableRows || column < 0 || column >= kTableColumns) {
        return std::nullopt;
    }
    return CellPosition{row, column};
}

QRect MemoryTable::cell_rect(CellPosition cell) const {
    const int width = char_width();
    const QPoint origin = text_origin();
    return {origin.x() + (layout_.address_chars + cell.column * layout_.cell_chars) * width,
            origin.y() + cell.row * row_pitch(), layout_.cell_chars * width, row_pitch()};
}

void MemoryTable::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics metrics = fontMetrics();
    const QPoint origin = text_origin();
    for (int row = 0; row < rows_.size(); ++row) {
        painter.drawText(origin.x(), origin.y() + row * row_pitch() + metrics.ascent(),
                         rows_.at(row));
    }
}

void MemoryTable::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton) {
        emit right_released(event->position().toPoint());
    }
}

void MemoryTable::mouseMoveEvent(QMouseEvent* event) {
    QFrame::mouseMoveEvent(event);
    emit pointer_moved();
}

void MemoryTable::focusInEvent(QFocusEvent* event) {
    QFrame::focusInEvent(event);
    emit focus_received();
}

}  // namespace corvanel
