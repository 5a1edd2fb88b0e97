// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window shows, as drawn: every table row whole with the fonts a
// desktop may give the tables, right clicks that open the cell drawn under the
// pointer, and a menu bar that stays readable under every colour theme.

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "gui/devices/model_chooser.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/input_box.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/gang_mode.h"
#include "gui/ui/memory_search.h"
#include "gui/ui/memory_table.h"
#include "gui/ui/repeat_mode.h"
#include "gui/widgets/click_label.h"
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

// The colour a widget's background is drawn in: its own when it fills its
// background, else that of the nearest ancestor that does.
QColor drawn_background(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow()) {
            return w->palette().color(QPalette::Active, w->backgroundRole());
        }
    }
    return widget->palette().color(QPalette::Active, widget->backgroundRole());
}

// Every text the window draws against the background it is drawn on, in every
// theme: the labels (the status bar's counters among them), the tables, the
// status bar's own messages and the progress bar's caption.
TEST_F(WindowDisplay, EveryTextMeetsTheContrastMinimumUnderEveryTheme) {
    Form1& form = open_window();
    form.statusBar()->showMessage(QStringLiteral("Program All is followed by a Verify"));
    std::vector<const QWidget*> texts = {form.tabla_flash, form.tabla_eeprom, form.statusBar()};
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        texts.push_back(label);
    }
    ASSERT_GT(texts.size(), 20U);
    for (const QString& name : theme_names()) {
        loadtheme_named(name);
        form.settheme();
        for (const QWidget* widget : texts) {
            const QColor text = widget->palette().color(QPalette::Active, widget->foregroundRole());
            const QColor back = drawn_background(widget);
            EXPECT_GE(contrast_ratio(text, back), 4.5)
                << name.toStdString() << ": " << widget->metaObject()->className() << " \""
                << widget->objectName().toStdString()
                << (qobject_cast<const QLabel*>(widget) != nullptr
                        ? qobject_cast<const QLabel*>(widget)->text().toStdString()
                        : std::string())
                << "\" " << text.name().toStdString() << " on " << back.name().toStdString();
        }
        // The progress bar's caption, on the empty groove and on the filled part.
        const QPalette bar = form.progress_bar->palette();
        EXPECT_GE(contrast_ratio(bar.color(QPalette::Active, QPalette::Text),
                                 bar.color(QPalette::Active, QPalette::Base)),
                  4.5)
            << name.toStdString();
        EXPECT_GE(contrast_ratio(bar.color(QPalette::Active, QPalette::HighlightedText),
                                 bar.color(QPalette::Active, QPalette::Highlight)),
                  4.5)
            << name.toStdString();
    }
    loadtheme_named(kDefaultThemeName);
}

// What a theme must reach beyond the window's own controls: the production
// modes' dialogs, windows of their own that take nothing from the main window,
// and the scroll bars of the tables and the model chooser, which the styles
// draw from colours no label uses. A dark theme once left them light.
TEST_F(WindowDisplay, ProductionDialogsAndScrollBarsFollowEveryTheme) {
    Form1& form = open_window();
    for (const QString& name : theme_names()) {
        SCOPED_TRACE(name.toStdString());
        loadtheme_named(name);
        form.settheme();
        const ColorRoles& roles = colors();
        RepeatDialog repeat(form, DeviceIdKey{0x1060, 0x3FE0});
        GangDialog gang(form, {QStringLiteral("virtual:a"), QStringLiteral("virtual:b")},
                        Options{});
        for (QDialog* dialog : std::initializer_list<QDialog*>{&repeat, &gang}) {
            EXPECT_EQ(drawn_background(dialog).name(), roles.col_window.name())
                << dialog->windowTitle().toStdString();
            for (const QLabel* label : dialog->findChildren<QLabel*>()) {
                if (!label->styleSheet().isEmpty()) {
                    continue;  // the result's own colours, the same in every theme
                }
                EXPECT_GE(contrast_ratio(
                              label->palette().color(QPalette::Active, label->foregroundRole()),
                              drawn_background(label)),
                          4.5)
                    << label->text().toStdString();
            }
        }
        // As drawn: the groove well below the handle keeps to the table's side,
        // and the arrows and the handle stand out from it.
        Form5 chooser(&form);
        // The test database's few models need no scrolling: the bar is given a
        // table's length and a handle to draw.
        QScrollBar* chooser_bar = chooser.entry_area()->verticalScrollBar();
        chooser_bar->setRange(0, 100);
        chooser_bar->setFixedSize(form.scrl1->size());
        for (QScrollBar* bar :
             std::initializer_list<QScrollBar*>{form.scrl1, form.scrl2, chooser_bar}) {
            const QImage shot = bar->grab().toImage();
            const QColor groove = shot.pixelColor(shot.width() / 2, shot.height() * 3 / 4);
            EXPECT_LT(contrast_ratio(groove, roles.col_field_back),
                      contrast_ratio(groove, roles.col_field_text))
                << groove.name().toStdString();
            double best = 1.0;
            for (int y = 0; y < shot.height(); ++y) {
                for (int x = 0; x < shot.width(); ++x) {
                    best = std::max(best, contrast_ratio(shot.pixelColor(x, y), groove));
                }
            }
            EXPECT_GE(best, 3.0);
        }
    }
    loadtheme_named(kDefaultThemeName);
}

// A larger window: the tables grow and show more rows, what lies below or right of
// them moves along, and the last row can still be scrolled to the bottom. Back at
// the design size everything is where it was.
TEST_F(WindowDisplay, LargerWindowGivesTheTablesMoreRows) {
    Form1& form = open_window(QStringLiteral("3"));  // 8192 words, 256 bytes
    EXPECT_EQ(form.size(), form.minimumSize()) << "the design size is the first and smallest";
    EXPECT_GT(form.maximumSize().height(), form.height());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    std::vector<std::pair<QWidget*, QRect>> design;
    for (QWidget* control : form.centralWidget()->findChildren<QWidget*>()) {
        design.emplace_back(control, control->geometry());
    }
    form.set_status(
        QStringLiteral("A status long enough to need more room than the design gives it, so "
                       "it shows cut short"));
    EXPECT_TRUE(form.label_status->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(form.label_status->toolTip(), form.status_text());

    for (const QSize gain : {QSize(360, 300), QSize(700, 90)}) {
        SCOPED_TRACE(gain.width());
        form.resize(form.minimumSize() + gain);
        QApplication::processEvents();
        for (MemoryTable* table : {form.tabla_flash, form.tabla_eeprom}) {
            EXPECT_GE(table->row_count(), kTableRows + 1);
            EXPECT_EQ(table->rows().size(), table->row_count());
            // Every row whole inside the table.
            EXPECT_LE(table->text_area().top() + table->row_count() * table->row_pitch(),
                      table->contentsRect().bottom() + 1);
        }
        EXPECT_EQ(form.scrl1->maximum(), 8192 / kTableColumns - form.tabla_flash->row_count());
        EXPECT_EQ(form.scrl2->maximum(), 256 / kTableColumns - form.tabla_eeprom->row_count());
        // Nothing overlaps: the EEPROM table under the FLASH table, the status
        // line and the progress bar under both, the configuration words beside.
        EXPECT_LT(form.tabla_flash->geometry().bottom(), form.Label4->geometry().top());
        EXPECT_LT(form.Label4->geometry().bottom(), form.tabla_eeprom->geometry().top());
        EXPECT_LT(form.tabla_eeprom->geometry().bottom(), form.label_status->geometry().top());
        EXPECT_LT(form.scrl2->geometry().right(), form.lfix[0]->geometry().left());
        EXPECT_LT(form.label_id[3]->geometry().bottom(), form.Label5->geometry().top());
        EXPECT_LT(form.label_status->geometry().bottom(), form.progress_bar->geometry().top());
        EXPECT_LE(form.progress_bar->geometry().bottom(), form.centralWidget()->height());
        EXPECT_LE(form.label_vpp->geometry().right(), form.centralWidget()->width());
        EXPECT_EQ(form.label_status->text(), form.status_text()) << "room for it now";
        // The last row reaches the bottom row of the table.
        form.scrl1->setValue(form.scrl1->maximum());
        QApplication::processEvents();
        EXPECT_TRUE(form.tabla_flash->rows().last().startsWith(QStringLiteral("001FF8:")))
            << form.tabla_flash->rows().last().toStdString();
    }
    form.resize(form.minimumSize());
    QApplication::processEvents();
    for (const auto& [control, geometry] : design) {
        EXPECT_EQ(control->geometry(), geometry) << control->metaObject()->className();
    }
    EXPECT_EQ(form.tabla_flash->rows().size(), kTableRows);
    EXPECT_EQ(form.scrl1->maximum(), 8192 / kTableColumns - kTableRows);
}

TEST(MemorySearch, AddressesValuesAndTheSearch) {
    struct AddressCase {
        const char* text;
        std::optional<std::int32_t> expected;
    };
    for (const AddressCase& c : {AddressCase{"1F0", 0x1F0},
                                 {" 1f0h ", 0x1F0},
                                 {"0x1FFF", 0x1FFF},
                                 {"$10", 0x10},
                                 {"0", 0},
                                 {"", std::nullopt},
                                 {"12G", std::nullopt},
                                 {"0x", std::nullopt},
                                 {"-5", std::nullopt},
                                 {"FFFFFFFF", std::nullopt},
                                 {"1 2", std::nullopt}}) {
        EXPECT_EQ(parse_hex_address(QString::fromLatin1(c.text)), c.expected) << c.text;
    }
    EXPECT_EQ(parse_search_values(QStringLiteral("2805 3fff,0x0123  12h"), 4),
              (std::vector<int>{0x2805, 0x3FFF, 0x123, 0x12}));
    EXPECT_EQ(parse_search_values(QStringLiteral("A5 5A"), 2), (std::vector<int>{0xA5, 0x5A}));
    for (const char* bad : {"", "  ", "2805", "A5 G1", "1 2 3 100"}) {
        EXPECT_FALSE(parse_search_values(QString::fromLatin1(bad), 2).has_value()) << bad;
    }

    const std::vector<int> memory = {1, 2, 3, 1, 2, 9, 1, 2};
    const auto at = [&memory](std::int32_t i) { return memory[static_cast<std::size_t>(i)]; };
    const std::int32_t n = static_cast<std::int32_t>(memory.size());
    EXPECT_EQ(find_values(at, n, {1, 2}, 0), 0);
    EXPECT_EQ(find_values(at, n, {1, 2}, 1), 3);
    EXPECT_EQ(find_values(at, n, {1, 2}, 4), 6);  // ends on the last value
    EXPECT_EQ(find_values(at, n, {1, 2}, 7), 0);  // wraps around
    EXPECT_EQ(find_values(at, n, {2, 9, 1}, 5), 4);
    EXPECT_EQ(find_values(at, n, {2, 1}, 0), std::nullopt);
    EXPECT_EQ(find_values(at, n, {}, 0), std::nullopt);
    EXPECT_EQ(find_values(at, 1, {1, 2}, 0), std::nullopt);  // longer than the memory
}

// "Go to Address" and "Find" in the FLASH and EEPROM tables: the cell is
// marked and scrolled into view, the status line says where; F3 goes on and
// wraps around; a wrong address is refused.
TEST_F(WindowDisplay, GoToAddressAndFindScrollToTheMarkedCell) {
    Form1& form = open_window(QStringLiteral("3"));
    (void)program.image.set_flash_word(0x0100, 0x2805);
    (void)program.image.set_flash_word(0x0101, 0x1234);
    (void)program.image.set_flash_word(0x1F00, 0x2805);
    (void)program.image.set_flash_word(0x1F01, 0x1234);
    (void)program.image.set_eeprom_byte(0xC3, 0xA5);
    (void)program.image.set_eeprom_byte(0xC4, 0x5A);
    form.updatedisplay();
    QStringList answers;
    QStringList prompts;
    set_input_box_interceptor([&](const QString& prompt, const QString&, const QString&) {
        prompts << prompt;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    });
    EXPECT_EQ(form.menugoto->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    EXPECT_EQ(form.menufind->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_EQ(form.menufindnext->shortcut(), QKeySequence(Qt::Key_F3));

    answers << QStringLiteral("1234h");
    form.menugoto->trigger();
    EXPECT_EQ(prompts.last(), QStringLiteral("Go to FLASH address (hexadecimal, 0 to 1FFFh):"));
    EXPECT_EQ(form.marked_address(), 0x1234);
    EXPECT_EQ(form.scrl1->value(), 0x1234 / kTableColumns);
    ASSERT_TRUE(form.tabla_flash->mark().has_value());
    EXPECT_EQ(form.tabla_flash->mark()->row, 0);
    EXPECT_EQ(form.tabla_flash->mark()->column, 4);
    EXPECT_EQ(form.status_text(), QStringLiteral("FLASH address 1234h."));

    messages.clear();
    answers << QStringLiteral("2000");
    form.menugoto->trigger();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0].text,
              QStringLiteral("\"2000\" is no FLASH address: the addresses go from 0 to 1FFFh."));
    EXPECT_EQ(form.marked_address(), 0x1234);

    answers << QStringLiteral("2805 1234");
    form.menufind->trigger();
    EXPECT_EQ(form.marked_address(), 0x1F00);  // after the marked cell first
    EXPECT_EQ(form.status_text(), QStringLiteral("2805 1234 found at FLASH address 1F00h."));
    QTest::keyClick(&form, Qt::Key_F3);
    EXPECT_EQ(form.marked_address(), 0x0100);
    EXPECT_EQ(form.status_text(),
              QStringLiteral("2805 1234 found at FLASH address 0100h (from the start again)."));
    EXPECT_EQ(form.scrl1->value(), 0x0100 / kTableColumns);
    EXPECT_EQ(form.tabla_flash->mark()->row, 0);

    answers << QStringLiteral("3FFE 3FFE 1");
    form.menufind->trigger();
    EXPECT_EQ(form.status_text(), QStringLiteral("3FFE 3FFE 1 not found in FLASH."));
    EXPECT_EQ(form.marked_address(), 0x0100);

    // The EEPROM table, once its scroll bar has the wheel.
    form.scrl2->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(form.wheel_target(), Form1::WheelTarget::Eeprom);
    answers << QStringLiteral("a5 5a");
    form.menufind->trigger();
    EXPECT_EQ(form.status_text(), QStringLiteral("a5 5a found at EEPROM address 00C3h."));
    EXPECT_FALSE(form.tabla_flash->mark().has_value());
    ASSERT_TRUE(form.tabla_eeprom->mark().has_value());
    EXPECT_EQ(form.scrl2->value() * kTableColumns + form.tabla_eeprom->mark()->row * kTableColumns +
                  form.tabla_eeprom->mark()->column,
              0xC3);
    answers << QStringLiteral("A5A");  // three digits: no byte
    form.menufind->trigger();
    EXPECT_TRUE(messages.back().text.startsWith(QStringLiteral("\"A5A\" is not a list of bytes")));
    set_input_box_interceptor({});
}

}  // namespace
}  // namespace corvanel::test
