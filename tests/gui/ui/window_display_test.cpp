// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows, as drawn: every table row whole with the fonts a
// desktop may give the tables, right clicks that open the cell drawn under the
// pointer, and a menu bar that stays readable under every colour theme.

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QMenu>
#include <QMenuBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "gui/dialogs/color_theme.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/table_scroll_bar.h"
#include "gui/widgets/twips.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using WindowDisplay = MainWindowTest;

struct TableFont {
    QString name;
    QFont font;
};

// The platform's own fixed-pitch font (what the window picks by itself) and
// each of the usual desktop monospace faces that is installed, at the tables'
// design size of 13 pixels.
std::vector<TableFont> table_fonts() {
    std::vector<TableFont> fonts = {{QStringLiteral("platform fixed font"), fixed_font(13)}};
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Nimbus Mono PS"}) {
        QFont font(QString::fromLatin1(family));
        font.setStyleHint(QFont::Monospace);
        font.setPixelSize(13);
        // A face installed from two foundries is named with the foundry
        // after it: "Nimbus Mono PS [urw]".
        if (!QFontInfo(font).family().startsWith(QLatin1String(family))) {
            std::printf("[   NOTE   ] %s is not installed; skipped\n", family);
            continue;
        }
        fonts.push_back({QString::fromLatin1(family), font});
    }
    return fonts;
}

// A pixel that stands out from the table's background.
bool inked(const QImage& image, int x, int y, const QColor& back) {
    return contrast_ratio(image.pixelColor(x, y), back) > 1.5;
}

TEST_F(WindowDisplay, EveryRowFitsAndEveryClickOpensTheCellDrawnThere) {
    Form1& form = open_window(QStringLiteral("3"));  // 8192 words, 256 bytes
    // Values that differ in every digit, so a cut-off cell cannot pass for whole.
    for (int i = 0; i < program.image.flash_size; ++i) {
        (void)program.image.set_flash_word(i, (0x1683 + i * 0x111) & 0x3FFF);
    }
    for (int i = 0; i < program.image.eeprom_size; ++i) {
        (void)program.image.set_eeprom_byte(i, (0xAB + i * 7) & 0xFF);
    }
    form.scrl1->setValue(5);
    form.scrl2->setValue(2);

    struct TableCase {
        const char* name;
        MemoryTable* table;
        TableScrollBar* bar;
        int row_chars;
        int address_chars;
        int cell_chars;
    };
    const TableCase tables[] = {
        {"FLASH", form.tabla_flash, form.scrl1, 47, 8, 5},
        {"EEPROM", form.tabla_eeprom, form.scrl2, 29, 6, 3},
    };
    const int clicked_row = 6;

    for (const TableFont& font : table_fonts()) {
        for (const TableCase& t : tables) {
            SCOPED_TRACE(font.name.toStdString() + ", " + t.name);
            MemoryTable* table = t.table;
            table->fit_font(font.font, t.row_chars);
            form.updatedisplay();
            QApplication::processEvents();
            const bool flash = t.table == form.tabla_flash;
            EXPECT_LE(QFontInfo(table->font()).pixelSize(), 13) << "never above the design size";
            if (font.name != QLatin1String("platform fixed font")) {
                EXPECT_TRUE(QFontInfo(table->font()).family().startsWith(font.name));
            }

            // The table's viewport: inside the frame and left of the scroll bar
            // that lies over the table's right edge.
            const QRect viewport = table->contentsRect();
            const int bar_left = t.bar->x() - table->x();
            const int text_right = std::min(viewport.right() + 1, bar_left);
            const QRect area = table->text_area();
            ASSERT_TRUE(viewport.contains(area.topLeft()));
            const QFontMetricsF metrics(table->font());
            ASSERT_EQ(table->rows().size(), kTableRows);
            for (const QString& row : table->rows()) {
                EXPECT_LE(area.left() + metrics.horizontalAdvance(row), text_right)
                    << row.toStdString();
            }
            EXPECT_LE(area.top() + kTableRows * table->row_pitch(), viewport.bottom() + 1);

            // As drawn: ink in every cell's digits and none in the blank after them.
            const QImage shot = table->grab().toImage();
            const QColor back = table->palette().color(QPalette::Base);
            const QString row = table->rows().at(clicked_row);
            const int row_top = area.top() + clicked_row * table->row_pitch();
            const int row_middle = row_top + table->row_pitch() / 2;
            const auto char_left = [&](int index) {
                return area.left() + metrics.horizontalAdvance(row.left(index));
            };
            const auto has_ink = [&](int from_x, int to_x) {
                for (int x = std::max(0, from_x); x < std::min(shot.width(), to_x); ++x) {
                    for (int y = row_top; y < row_top + table->row_pitch(); ++y) {
                        if (inked(shot, x, y, back)) {
                            return true;
                        }
                    }
                }
                return false;
            };

            for (int column = 0; column < kTableColumns; ++column) {
                SCOPED_TRACE(column);
                const int first_char = t.address_chars + column * t.cell_chars;
                const qreal digits_left = char_left(first_char);
                const qreal digits_right = char_left(first_char + t.cell_chars - 1);
                EXPECT_TRUE(has_ink(static_cast<int>(digits_left), static_cast<int>(digits_right)));
                if (column + 1 < kTableColumns) {
                    const qreal blank_middle =
                        (digits_right + char_left(first_char + t.cell_chars)) / 2;
                    EXPECT_FALSE(
                        has_ink(static_cast<int>(blank_middle), static_cast<int>(blank_middle) + 1))
                        << "a glyph lies where the blank between cells is drawn";
                }

                const int index = ((flash ? 5 : 2) + clicked_row) * kTableColumns + column;
                const int points[] = {
                    static_cast<int>(std::ceil(digits_left)),
                    static_cast<int>(std::lround((digits_left + digits_right) / 2)),
                    static_cast<int>(std::ceil(digits_right)) - 1};
                for (const int x : points) {
                    SCOPED_TRACE(x);
                    QTest::mouseClick(table, Qt::RightButton, {}, QPoint(x, row_middle));
                    ASSERT_TRUE(form.unosbox->isVisible());
                    // Over the clicked cell: covering its digits, clear of its
                    // neighbours' digits.
                    const QRect editor = form.unosbox->geometry().translated(-table->pos());
                    EXPECT_LE(editor.left(), std::floor(digits_left));
                    EXPECT_GE(editor.right() + 1, std::ceil(digits_right));
                    if (column > 0) {
                        EXPECT_GE(editor.left(), char_left(first_char - 1));
                    }
                    if (column + 1 < kTableColumns) {
                        EXPECT_LE(editor.right() + 1,
                                  std::ceil(char_left(first_char + t.cell_chars)));
                    }
                    EXPECT_TRUE(editor.contains(QPoint(x, row_middle)));
                    // And it edits that cell, no other.
                    const MemoryImage before = program.image;
                    const int value = flash ? 0x2000 + x : 0x40 + column;
                    QTest::keyClicks(form.unosbox, QString::number(value, 16));
                    QTest::keyClick(form.unosbox, Qt::Key_Return);
                    MemoryImage expected = before;
                    (flash ? expected.flash : expected.eeprom)[static_cast<std::size_t>(index)] =
                        value;
                    EXPECT_EQ(program.image.flash, expected.flash);
                    EXPECT_EQ(program.image.eeprom, expected.eeprom);
                }
            }
        }
    }
}

TEST_F(WindowDisplay, MenuBarIsReadableUnderEveryTheme) {
    Form1& form = open_window();
    QMenuBar* bar = form.menuBar();
    const QRect title = bar->actionGeometry(form.menu1->menuAction());
    ASSERT_FALSE(title.isEmpty());
    for (const QString& name : theme_names()) {
        SCOPED_TRACE(name.toStdString());
        loadtheme_named(name);
        form.settheme();
        QApplication::processEvents();
        const QPalette palette = bar->palette();
        for (const QPalette::ColorRole text : {QPalette::WindowText, QPalette::ButtonText}) {
            EXPECT_GE(contrast_ratio(palette.color(QPalette::Active, text),
                                     palette.color(QPalette::Active, QPalette::Window)),
                      4.5);
        }
        // As drawn: the title "File" stands out from the bar's background.
        const QImage shot = bar->grab().toImage();
        const QColor back = shot.pixelColor(shot.width() - 3, shot.height() / 2);
        double best = 1.0;
        for (int y = title.top(); y <= title.bottom(); ++y) {
            for (int x = title.left(); x <= title.right(); ++x) {
                best = std::max(best, contrast_ratio(shot.pixelColor(x, y), back));
            }
        }
        EXPECT_GE(best, 4.5);
    }
    loadtheme_named(kDefaultThemeName);
}

}  // namespace
}  // namespace corvanel::test
