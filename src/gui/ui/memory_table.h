// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One hexadecimal memory table of the main window: eight rows of eight cells
// drawn in a fixed-pitch font. The widget only draws the rows it is given and
// maps pointer positions to rows and columns with the metrics of the font it
// really uses, so a click always lands on the cell that is drawn there.

#include <optional>

#include <QFrame>
#include <QPointer>
#include <QRectF>
#include <QStringList>

#include "core/image/memory_image.h"

namespace corvanel {

inline constexpr int kTableRows = 8;
inline constexpr int kTableColumns = 8;

// Character layout of a row: the address part (address, ":" and the blank
// before the first cell) and the width of one cell with its trailing blank.
struct RowLayout {
    int address_chars = 0;
    int cell_chars = 0;
};
inline constexpr RowLayout kFlashRowLayout{8, 5};
inline constexpr RowLayout kEepromRowLayout{6, 3};

// `count` FLASH rows (eight in the window's design size) from `top_row` on:
// "000000: 3FFF ..." (47 characters). An image without FLASH gives no rows.
[[nodiscard]] QStringList flash_rows(const MemoryImage& image, int top_row, int count = kTableRows);
// `count` EEPROM rows from `top_row` on: "0000: FF ..." (29 characters).
[[nodiscard]] QStringList eeprom_rows(const MemoryImage& image, int top_row,
                                      int count = kTableRows);

// Highest top row of an area of `cells` cells shown `rows` rows at a time: its
// last row can be the table's bottom row.
[[nodiscard]] int scroll_maximum(std::int32_t cells, int rows = kTableRows);

struct CellPosition {
    int row = 0;
    int column = 0;
};

class MemoryTable : public QFrame {
    Q_OBJECT
public:
    MemoryTable(RowLayout layout, QWidget* parent = nullptr);

    void set_rows(const QStringList& rows);
    [[nodiscard]] const QStringList& rows() const { return rows_; }
    // The rows joined by CR LF, without a line end after the last.
    [[nodiscard]] QString text() const;

    // The scroll bar that lies over the table's right edge: the text keeps
    // left of it.
    void set_scroll_bar(QWidget* bar);

    // The part of the table the rows are drawn in: inside the frame, less a
    // small margin, and left of the scroll bar.
    [[nodiscard]] QRect text_area() const;

    // Fits the font into the text area: the largest pixel size, never above
    // the size of `font` (the design size), at which eight rows of
    // `row_chars` characters fit, measured with the font's real (fractional)
    // character advance.
    void fit_font(const QFont& font, int row_chars);

    // The cell under a point of the widget, or nothing over the address part,
    // beside the cells or below the eighth row.
    [[nodiscard]] std::optional<CellPosition> cell_at(QPoint point) const;
    // The area of a cell in widget coordinates: its digits with half a blank
    // on either side. The drawing, cell_at and the editor's place (cell_rect)
    // all take their positions from the same character advance (char_left).
    [[nodiscard]] QRectF cell_area(CellPosition cell) const;
    // cell_area widened to whole pixels.
    [[nodiscard]] QRect cell_rect(CellPosition cell) const;

    // The distance from one character to the next, in (fractional) pixels.
    [[nodiscard]] qreal char_advance() const;
    [[nodiscard]] int row_pitch() const;

    // How many rows the table shows: eight at the design size, more in a larger
    // window (as many whole rows as the text area holds at the fitted font).
    [[nodiscard]] int row_count() const { return row_count_; }
    // Sets row_count from the text area; true when it changed.
    bool fit_row_count();

    // The cell "Go to Address" or "Find" landed on, drawn highlighted; nothing
    // when it is not among the rows shown.
    void set_mark(std::optional<CellPosition> cell);
    [[nodiscard]] std::optional<CellPosition> mark() const { return mark_; }

signals:
    void right_released(QPoint position);
    void pointer_moved();
    void focus_received();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    // Left edge of the character at `index` of a row, in widget coordinates.
    [[nodiscard]] qreal char_left(int index) const;
    // Left edge of a cell's first digit.
    [[nodiscard]] qreal digits_left(CellPosition cell) const;

    RowLayout layout_;
    QStringList rows_;
    QPointer<QWidget> scroll_bar_;
    int row_count_ = kTableRows;
    int fitted_height_ = 0;
    std::optional<CellPosition> mark_;  // the text area's height when the font was fitted
};

}  // namespace corvanel
