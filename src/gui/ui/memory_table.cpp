// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/memory_table.h"

#include <algorithm>
#include <cmath>

#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr int kTextMargin = 2;  // pixels between the frame and the text
constexpr int kSmallestPixels = 6;

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

QStringList flash_rows(const MemoryImage& image, int top_row, int count) {
    QStringList rows;
    if (image.flash_size <= 0) {
        return rows;
    }
    for (int row = top_row; row < top_row + count; ++row) {
        const std::int32_t first = row * kTableColumns;
        QString line = text_of(hex6(first)) + QLatin1Char(':');
        for (int column = 0; column < kTableColumns; ++column) {
            line += QLatin1Char(' ') + text_of(hex4(image.flash_word(first + column)));
        }
        rows << line;
    }
    return rows;
}

QStringList eeprom_rows(const MemoryImage& image, int top_row, int count) {
    QStringList rows;
    if (image.eeprom_size <= 0) {
        return rows;
    }
    for (int row = top_row; row < top_row + count; ++row) {
        const std::int32_t first = row * kTableColumns;
        QString line = text_of(hex4(first)) + QLatin1Char(':');
        for (int column = 0; column < kTableColumns; ++column) {
            line += QLatin1Char(' ') + text_of(hex2(image.eeprom_byte(first + column)));
        }
        rows << line;
    }
    return rows;
}

int scroll_maximum(std::int32_t cells, int rows) {
    if (cells <= 0) {
        return 0;
    }
    return std::max(0, cells / kTableColumns - rows);
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

void MemoryTable::set_scroll_bar(QWidget* bar) {
    scroll_bar_ = bar;
}

QRect MemoryTable::text_area() const {
    QRect area = contentsRect().adjusted(kTextMargin, kTextMargin, -kTextMargin, 0);
    if (scroll_bar_ != nullptr && scroll_bar_->parentWidget() == parentWidget()) {
        // The scroll bar may overlap the table's right edge; what it covers
        // cannot show text.
        const int bar_left = scroll_bar_->x() - x();
        area.setRight(std::min(area.right(), bar_left - 1 - kTextMargin));
    }
    return area;
}

void MemoryTable::fit_font(const QFont& font, int row_chars) {
    const QRect area = text_area();
    fitted_height_ = area.height();
    int design_pixels = font.pixelSize();
    if (design_pixels <= 0) {
        design_pixels = QFontInfo(font).pixelSize();
    }
    QFont candidate = font;
    for (int pixels = design_pixels; pixels >= kSmallestPixels; --pixels) {
        candidate.setPixelSize(pixels);
        // Glyphs are placed a fractional advance apart; the whole-pixel
        // advance would round 8.43 down to 8 and let the last cell run out.
        const qreal advance = QFontMetricsF(candidate).horizontalAdvance(QLatin1Char('0'));
        if (advance * row_chars <= area.width() &&
            pitch_of(QFontMetrics(candidate)) * kTableRows <= area.height()) {
            break;
        }
    }
    setFont(candidate);
}

void MemoryTable::set_mark(std::optional<CellPosition> cell) {
    const bool same = mark_.has_value() == cell.has_value() &&
                      (!cell || (mark_->row == cell->row && mark_->column == cell->column));
    mark_ = cell;
    if (!same) {
        update();
    }
}

bool MemoryTable::fit_row_count() {
    // Eight rows in the height the font was fitted to, and one more for every
    // row pitch the table has grown since.
    const int pitch = std::max(1, row_pitch());
    const int count = kTableRows + std::max(0, (text_area().height() - fitted_height_) / pitch);
    if (count == row_count_) {
        return false;
    }
    row_count_ = count;
    return true;
}

qreal MemoryTable::char_advance() const {
    return QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
}

int MemoryTable::row_pitch() const {
    return pitch_of(fontMetrics());
}

qreal MemoryTable::char_left(int index) const {
    return text_area().left() + index * char_advance();
}

qreal MemoryTable::digits_left(CellPosition cell) const {
    return char_left(layout_.address_chars + cell.column * layout_.cell_chars);
}

QRectF MemoryTable::cell_area(CellPosition cell) const {
    // The digits with half a blank on either side: a click between two cells
    // goes to the nearer one, and the editor sits centred over the digits.
    const qreal half_blank = char_advance() / 2;
    const QRect text = text_area();
    const qreal left = std::max<qreal>(digits_left(cell) - half_blank, text.left());
    const qreal right =
        std::min<qreal>(digits_left(cell) + (layout_.cell_chars - 1) * char_advance() + half_blank,
                        text.right() + 1);
    const int top = text.top() + cell.row * row_pitch();
    return {left, static_cast<qreal>(top), right - left, static_cast<qreal>(row_pitch())};
}

std::optional<CellPosition> MemoryTable::cell_at(QPoint point) const {
    // The cell whose drawn area holds the pixel. Neighbouring areas meet, so
    // every pixel of a row belongs to exactly one cell.
    for (int row = 0; row < row_count_; ++row) {
        for (int column = 0; column < kTableColumns; ++column) {
            const QRectF area = cell_area({row, column});
            if (point.x() >= area.left() && point.x() < area.right() && point.y() >= area.top() &&
                point.y() < area.bottom()) {
                return CellPosition{row, column};
            }
        }
    }
    return std::nullopt;
}

QRect MemoryTable::cell_rect(CellPosition cell) const {
    return cell_area(cell).toAlignedRect();
}

void MemoryTable::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    const int ascent = fontMetrics().ascent();
    const int digits = layout_.cell_chars - 1;
    // The address part and every cell are drawn where digits_left puts them,
    // the function that cell_area (and so cell_at and the editor) use too, so
    // what the pointer hits is what is shown there.
    for (int row = 0; row < rows_.size(); ++row) {
        const QString& line = rows_.at(row);
        const qreal baseline = cell_area({row, 0}).top() + ascent;
        painter.drawText(QPointF(char_left(0), baseline), line.left(layout_.address_chars));
        for (int column = 0; column < kTableColumns; ++column) {
            const QString cell =
                line.mid(layout_.address_chars + column * layout_.cell_chars, digits);
            const bool marked = mark_ && mark_->row == row && mark_->column == column;
            if (marked) {
                // Inverted: the theme's field colours swapped keep their contrast.
                painter.fillRect(cell_area({row, column}), palette().color(QPalette::Text));
                painter.setPen(palette().color(QPalette::Base));
            }
            painter.drawText(QPointF(digits_left({row, column}), baseline), cell);
            if (marked) {
                painter.setPen(palette().color(QPalette::Text));
            }
        }
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
