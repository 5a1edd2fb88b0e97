// SPDX-License-Identifier: GPL-3.0-or-later
// The in-place cell editor: opened by a right click on a table cell or a click
// on a configuration word, closed by Enter, Escape or losing the focus.

#include "gui/ui/cell_editor.h"
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>

#include "gui/dialogs/input_box.h"

#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using CellEditing = MainWindowTest;

void right_click(MemoryTable* table, QPoint position) {
    QTest::mouseClick(table, Qt::RightButton, {}, position);
}

QPoint cell_centre(MemoryTable* table, int row, int column) {
    return table->cell_rect({row, column}).center();
}

TEST_F(CellEditing, TypedValuesStoreOnlyWithinTheLimits) {
    const struct {
        bool flash;
        const char* typed;
        int stored;  // -1: nothing stored
    } cases[] = {
        {true, "5", 0x0005},
        {true, "abc", 0x0ABC},
        {true, "3ffe", 0x3FFE},
        {true, "4000", -1},
        {true, "FG", -1},
        {true, "", -1},
        {true, "12345", 0x1234},  // the fifth character
                                  // does not fit
        {false, "7", 0x07},
        {false, "ab", 0xAB},
        {false, "FEF", 0xFE},
        {false, "FG", -1},
        {false, "-1", -1},
    };
    Form1& form = open_window();
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.flash ? "FLASH " : "EEPROM ") + c.typed);
        form.menuclear->trigger();
        const MemoryImage before = program.image;
        form.label_hex->setText(QStringLiteral("prog.hex"));
        MemoryTable* table = c.flash ? form.tabla_flash : form.tabla_eeprom;
        right_click(table, cell_centre(table, 2, 5));
        ASSERT_TRUE(form.unosbox->isVisible());
        ASSERT_TRUE(form.unosbox->hasFocus());
        QTest::keyClicks(form.unosbox, QString::fromLatin1(c.typed));
        QTest::keyClick(form.unosbox, Qt::Key_Return);
        EXPECT_FALSE(form.unosbox->isVisible());

        MemoryImage expected = before;
        if (c.stored >= 0) {
            (c.flash ? expected.flash : expected.eeprom)[2 * 8 + 5] = c.stored;
        }
        EXPECT_EQ(program.image.flash, expected.flash);
        EXPECT_EQ(program.image.eeprom, expected.eeprom);
        EXPECT_EQ(form.label_hex->text(), c.stored >= 0 ? "" : "prog.hex");
        EXPECT_TRUE((c.flash ? form.scrl1 : form.scrl2)->hasFocus());
    }
}

// Without a mouse: Go to Address marks a cell and gives its table's scroll bar
// the focus; Enter, Shift+F10 and the menu key (as a key, and as the menu
// request some platforms send for it) then open the editor over that cell,
// never the scroll bar's own menu. With no mark the status line says how.
TEST_F(CellEditing, AMarkedCellIsEditedFromTheKeyboard) {
    struct Case {
        const char* name;
        bool eeprom;
        const char* address;  // typed into Go to Address; empty: no mark
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool menu_request;  // a keyboard menu request instead of the key
        const char* typed;
        int index;  // where the value lands, -1 nowhere
        int value;
    };
    const Case cases[] = {
        {"FLASH, Enter", false, "1234", Qt::Key_Return, Qt::NoModifier, false, "2A5", 0x1234,
         0x02A5},
        {"FLASH, Shift+F10", false, "1F07", Qt::Key_F10, Qt::ShiftModifier, false, "3FFE", 0x1F07,
         0x3FFE},
        {"FLASH, menu key", false, "0", Qt::Key_Menu, Qt::NoModifier, false, "1", 0, 0x0001},
        {"FLASH, menu request", false, "9", Qt::Key_unknown, Qt::NoModifier, true, "77", 9, 0x0077},
        {"EEPROM, keypad Enter", true, "C3", Qt::Key_Enter, Qt::KeypadModifier, false, "A5", 0xC3,
         0xA5},
        {"EEPROM, menu key", true, "FF", Qt::Key_Menu, Qt::NoModifier, false, "5A", 0xFF, 0x5A},
        {"no mark, Enter", false, "", Qt::Key_Return, Qt::NoModifier, false, "", -1, 0},
    };
    Form1& form = open_window(QStringLiteral("3"));
    QString answer;
    set_input_box_interceptor(
        [&](const QString&, const QString&, const QString&) { return answer; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form.menuclear->trigger();
        const MemoryImage before = program.image;
        // Go to Address works on the table whose scroll bar has the focus.
        (c.eeprom ? form.scrl2 : form.scrl1)->setFocus();
        QApplication::processEvents();
        if (*c.address != '\0') {
            answer = QString::fromLatin1(c.address);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_G, Qt::ControlModifier);
            ASSERT_EQ(form.marked_address(), QString::fromLatin1(c.address).toInt(nullptr, 16));
        }
        TableScrollBar* bar = c.eeprom ? form.scrl2 : form.scrl1;
        ASSERT_TRUE(bar->hasFocus());
        if (c.menu_request) {
            QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(2, 2));
            QApplication::sendEvent(bar, &request);
            EXPECT_TRUE(request.isAccepted());
        } else {
            QTest::keyClick(bar, c.key, c.modifiers);
        }
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu of the scroll bar";
        if (c.index < 0) {
            EXPECT_FALSE(form.unosbox->isVisible());
            EXPECT_EQ(form.status_text(),
                      "Go to Address (Ctrl+G) or Find (Ctrl+F) marks the cell to edit.");
            continue;
        }
        ASSERT_TRUE(form.unosbox->isVisible());
        ASSERT_TRUE(form.unosbox->hasFocus());
        MemoryTable* table = c.eeprom ? form.tabla_eeprom : form.tabla_flash;
        ASSERT_TRUE(table->mark().has_value());
        EXPECT_TRUE(form.unosbox->geometry().contains(
            table->cell_rect(*table->mark()).translated(table->pos()).center()));
        QTest::keyClicks(form.unosbox, QString::fromLatin1(c.typed));
        QTest::keyClick(form.unosbox, Qt::Key_Return);
        EXPECT_FALSE(form.unosbox->isVisible());
        MemoryImage expected = before;
        (c.eeprom ? expected.eeprom : expected.flash)[static_cast<std::size_t>(c.index)] = c.value;
        EXPECT_EQ(program.image.flash, expected.flash);
        EXPECT_EQ(program.image.eeprom, expected.eeprom);
        EXPECT_TRUE(bar->hasFocus()) << "back on the scroll bar, ready for the next key";
    }
    set_input_box_interceptor({});
}

TEST_F(CellEditing, RightClickOpensTheClickedCellAtTheScrollPosition) {
    Form1& form = open_window(QStringLiteral("3"));
    form.scrl1->setValue(100);
    for (int row : {0, 7}) {
        for (int column : {0, 3, 7}) {
            SCOPED_TRACE(testing::Message() << row << "," << column);
            right_click(form.tabla_flash, cell_centre(form.tabla_flash, row, column));
            ASSERT_TRUE(form.unosbox->isVisible());
            // The editor lies over the cell it edits.
            const QRect cell =
                form.tabla_flash->cell_rect({row, column}).translated(form.tabla_flash->pos());
            EXPECT_EQ(form.unosbox->geometry().left(), cell.left());
            EXPECT_EQ(form.unosbox->geometry().width(), cell.width());
            EXPECT_TRUE(form.unosbox->geometry().contains(cell.center()));
            EXPECT_EQ(form.unosbox->maxLength(), 4);
            QTest::keyClicks(form.unosbox, QStringLiteral("1"));
            QTest::keyClick(form.unosbox, Qt::Key_Enter);
            EXPECT_EQ(program.image.flash_word((100 + row) * 8 + column), 1);
        }
    }
    EXPECT_EQ(form.scrl1->value(), 100) << "the scroll position survives an edit";
    EXPECT_EQ(form.tabla_flash->rows().first(), "000320: 0001 3FFF 3FFF 0001 3FFF 3FFF 3FFF 0001");
}

TEST_F(CellEditing, ClicksBesideTheCellsOpenNothing) {
    Form1& form = open_window();
    const QRect first = form.tabla_flash->cell_rect({0, 0});
    const QRect last = form.tabla_flash->cell_rect({7, 7});
    const QPoint outside[] = {
        {first.left() - 3, first.center().y()},   // the address part
        {first.center().x(), last.bottom() + 4},  // below the eighth row
        {last.right() + 3, first.center().y()},   // right of the eighth cell
    };
    for (const QPoint& point : outside) {
        right_click(form.tabla_flash, point);
        EXPECT_FALSE(form.unosbox->isVisible()) << point.x() << "," << point.y();
    }
    QTest::mouseClick(form.tabla_flash, Qt::LeftButton, {}, first.center());
    EXPECT_FALSE(form.unosbox->isVisible()) << "only the right button edits";
}

TEST_F(CellEditing, SmallestFlashHasItsLastCellAtRowSevenColumnSeven) {
    Form1& form = open_window(QStringLiteral("2"));
    right_click(form.tabla_flash, cell_centre(form.tabla_flash, 7, 7));
    ASSERT_TRUE(form.unosbox->isVisible());
    QTest::keyClicks(form.unosbox, QStringLiteral("2a"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.flash_word(63), 0x2A);
    EXPECT_EQ(form.tabla_flash->rows().last(), "000038: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 002A");
    // No EEPROM: its table has no cells to open.
    right_click(form.tabla_eeprom, cell_centre(form.tabla_eeprom, 0, 0));
    EXPECT_FALSE(form.unosbox->isVisible());
}

TEST_F(CellEditing, EscapeAndLosingTheFocusStoreNothing) {
    Form1& form = open_window();
    const MemoryImage before = program.image;
    right_click(form.tabla_eeprom, cell_centre(form.tabla_eeprom, 1, 1));
    ASSERT_TRUE(form.unosbox->isVisible());
    EXPECT_EQ(form.unosbox->maxLength(), 2);
    QTest::keyClicks(form.unosbox, QStringLiteral("12"));
    QTest::keyClick(form.unosbox, Qt::Key_Escape);
    EXPECT_FALSE(form.unosbox->isVisible());
    EXPECT_TRUE(form.scrl2->hasFocus());
    EXPECT_EQ(program.image.eeprom, before.eeprom);

    right_click(form.tabla_flash, cell_centre(form.tabla_flash, 0, 0));
    ASSERT_TRUE(form.unosbox->isVisible());
    EXPECT_EQ(form.unosbox->text(), "3FFF") << "the editor opens with the cell's value";
    EXPECT_EQ(form.unosbox->selectedText(), "3FFF") << "selected, so typing replaces it";
    QTest::keyClicks(form.unosbox, QStringLiteral("12"));
    form.Command[0]->setFocus();  // the user clicks elsewhere
    QApplication::processEvents();
    EXPECT_FALSE(form.unosbox->isVisible());
    EXPECT_TRUE(form.scrl1->hasFocus());
    EXPECT_EQ(program.image.flash, before.flash);
}

TEST_F(CellEditing, ConfigurationWordsAreEditedOverTheirLabels) {
    Form1& form = open_window(QStringLiteral("3"));
    QTest::mouseClick(form.label_conf[1], Qt::LeftButton);
    ASSERT_TRUE(form.unosbox->isVisible());
    EXPECT_EQ(form.unosbox->geometry(), form.label_conf[1]->geometry());
    QTest::keyClicks(form.unosbox, QStringLiteral("4000"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.config2, 0x3FFF) << "above 3FFFh: nothing stored";
    EXPECT_EQ(form.status_text(), "4000h: above 3FFFh, nothing stored.");

    QTest::mouseClick(form.label_conf[0], Qt::LeftButton);
    QTest::keyClicks(form.unosbox, QStringLiteral("3f71"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.config1, 0x3F71);
    EXPECT_EQ(form.label_conf[0]->text(), "3F71");
    EXPECT_TRUE(form.scrl1->hasFocus());
}

// The user IDs (__IDLOCS) have a row of their own under the configuration
// words: loaded from a file, edited over their labels like the words above,
// and saved with the buffer.
TEST_F(CellEditing, UserIdsAreShownEditedAndSaved) {
    Form1& form = open_window(QStringLiteral("3"));
    for (ClickLabel* id_label : form.label_id) {
        EXPECT_EQ(id_label->text(), "3FFF");
    }
    chosen_path =
        write_file(QStringLiteral("ids.hex"), ":084000000100020003000400AE\r\n:00000001FF\r\n");
    form.menuopen->trigger();
    EXPECT_EQ(form.label_id[0]->text(), "0001");
    EXPECT_EQ(form.label_id[3]->text(), "0004");

    QTest::mouseClick(form.label_id[2], Qt::LeftButton);
    ASSERT_TRUE(form.unosbox->isVisible());
    EXPECT_EQ(form.unosbox->geometry(), form.label_id[2]->geometry());
    QTest::keyClicks(form.unosbox, QStringLiteral("4000"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.user_id(2), 0x0003) << "above 3FFFh: nothing stored";
    QTest::mouseClick(form.label_id[2], Qt::RightButton);
    QTest::keyClicks(form.unosbox, QStringLiteral("1a2b"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.user_id(2), 0x1A2B);
    EXPECT_EQ(form.label_id[2]->text(), "1A2B");

    chosen_path = folder.filePath(QStringLiteral("saved.hex"));
    form.menusave->trigger();
    QFile saved(chosen_path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.startsWith(":08400000010002002B1A04006C\r\n:04400E00")) << text.toStdString();

    // Clear Buffer erases them with the rest.
    form.menuclear->trigger();
    EXPECT_FALSE(program.image.user_ids_used());
    EXPECT_EQ(form.label_id[2]->text(), "3FFF");
}

TEST(EditorValue, PadsUpperCasesAndRejects) {
    const std::pair<const char*, int> cases[] = {
        {"5", 5}, {"abc", 0xABC}, {"FfFf", 0xFFFF}, {"", -1}, {"G", -1}, {" 1", -1}, {"é", -1},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(editor_value(QString::fromUtf8(text)), value) << text;
    }
}

}  // namespace
}  // namespace corvanel::test
