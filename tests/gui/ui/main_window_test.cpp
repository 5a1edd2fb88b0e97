// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's layout, menus, command lock, background click and About box.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>

#include "gui/dialogs/color_theme.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using MainWindowLayout = MainWindowTest;

// What a user sees of the layout: every control's text and tip, each control
// whole inside the window and clear of the others with its text unclipped, the
// five operations on one row in their order, Stop under Verify, and the checksum
// and progress under the status line.
TEST_F(MainWindowLayout, ControlsAreWholeApartAndInTheirOrder) {
    Form1& form = open_window();
    struct Row {
        QWidget* control;
        QString text;
        QString tooltip;
    };
    const QString open_tip = QStringLiteral("Click to open HEX file!");
    const QString model_tip = QStringLiteral("Click to change microcontroller model!");
    const QString table_tip = QStringLiteral("Right click on the location to edit its value!");
    const Row rows[] = {
        {form.Label7, "Loaded HEX File", open_tip},
        {form.label_vpp, "Test Vpp",
         "Click to turn ON/OFF Vpp (and Vdd) voltages for the purpose of adjusting Vpp voltage!"},
        {form.label_hex, "", open_tip},
        {form.Command[0], "Program All", ""},
        {form.Command[1], "Read All", ""},
        {form.Command[2], "Erase All", ""},
        {form.Command[3], "Blank Check", ""},
        {form.Command[4], "Verify", ""},
        {form.command_stop, "Stop", "Stop the running operation (Escape)"},
        {form.Label1, "Microcontroller Model", model_tip},
        {form.label_ime, "PIC16F628A", model_tip},
        {form.label_info, "FLASH: 2048,  EEPROM: 128", model_tip},
        {form.Label3, "FLASH Memory", ""},
        {form.tabla_flash, "", table_tip},
        {form.scrl1, "", ""},
        {form.Label4, "EEPROM Memory", ""},
        {form.tabla_eeprom, "", table_tip},
        {form.scrl2, "", ""},
        {form.lfix[0], "Config. Word (2007h)", ""},
        {form.label_conf[0], "3FFF", "Click to edit!"},
        {form.lfix[1], "Config. Word (2008h)", ""},
        {form.label_conf[1], "", "Click to edit!"},
        {form.Label5, "Status", ""},
        {form.label_status, "Serial port COM2 error!", ""},
        {form.label_checksum, "", ""},
        {form.progress_bar, "", ""},
    };
    const QRect inside = form.centralWidget()->rect();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        const QRect place = row.control->geometry();
        EXPECT_TRUE(inside.contains(place)) << "outside the window";
        // The checksum line is the window's own addition, in its own style.
        const bool designed = row.control != form.label_checksum;
        if (designed) {
            EXPECT_EQ(row.control->toolTip(), row.tooltip);
        }
        if (auto* label = qobject_cast<QLabel*>(row.control)) {
            if (designed) {
                EXPECT_EQ(label->text(), row.text);
                EXPECT_EQ(label->alignment(), Qt::AlignCenter);
                EXPECT_EQ(label->frameShape(), QFrame::Box);
            }
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), place.width())
                << "the text is clipped";
        } else if (auto* button = qobject_cast<QPushButton*>(row.control)) {
            EXPECT_EQ(button->text(), row.text);
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), place.width())
                << "the text is clipped";
        }
        // A table and its scroll bar share their border line, nothing more.
        for (const Row& other : rows) {
            if (&other != &row) {
                EXPECT_FALSE(place.adjusted(1, 1, -1, -1)
                                 .intersects(other.control->geometry().adjusted(1, 1, -1, -1)))
                    << "covers " << other.text.toStdString();
            }
        }
    }
    for (int k = 1; k < 5; ++k) {
        EXPECT_EQ(form.Command[k]->y(), form.Command[0]->y());
        EXPECT_GT(form.Command[k]->x(), form.Command[k - 1]->geometry().right());
    }
    EXPECT_EQ(form.command_stop->x(), form.Command[4]->x());
    EXPECT_GT(form.command_stop->y(), form.Command[4]->geometry().bottom());
    EXPECT_GT(form.label_checksum->y(), form.label_status->geometry().bottom());
    EXPECT_EQ(form.progress_bar->y(), form.label_checksum->y());
    EXPECT_TRUE(form.label_checksum->text().startsWith(QStringLiteral("Checksum: ")));
    EXPECT_EQ(form.windowTitle(), "Tavrelix Corvanel");
    // The first size is the smallest, and the window may grow (the tables get
    // more rows).
    EXPECT_EQ(form.size(), form.minimumSize());
    EXPECT_GT(form.maximumSize().width(), form.width());
    EXPECT_FALSE(form.unosbox->isVisible());
    EXPECT_TRUE(form.tabla_flash->font().fixedPitch());
}

TEST_F(MainWindowLayout, MenuTreeWithAccessLettersAndKeys) {
    Form1& form = open_window();
    QStringList tree;
    QStringList keys;
    for (QAction* top : form.menuBar()->actions()) {
        QStringList items;
        for (QAction* item : top->menu()->actions()) {
            items << item->text();
            EXPECT_TRUE(item->text().contains(QLatin1Char('&'))) << item->text().toStdString();
            if (!item->shortcut().isEmpty()) {
                keys << item->shortcut().toString() + QStringLiteral(" ") + item->text();
            }
        }
        tree << top->text() + QStringLiteral(": ") + items.join(QStringLiteral(" | "));
    }
    EXPECT_EQ(tree,
              QStringList({
                  "&File: &Clear Buffer | &Open HEX File | &Reload HEX File | "
                  "&Merge HEX File... | &Save Buffer As | Recent &Files",
                  "&Edit: &Go to Address... | &Find... | Find &Next",
                  "&Tools: &Program All | &Read All | &Erase All | &Blank Check | &Verify | "
                  "&Identify Chip | &Test Board... | &Calibration (OSCCAL, Band-Gap)...",
                  "Pro&duction: Work on Program &Memory | Work on &EEPROM | Work on &User IDs | "
                  "Work on &Configuration Words | &Preserve EEPROM | &Serial Numbers... | "
                  "Production &Log File... | &Reset Counters | Repeat on Chip &Insertion... | "
         "Repeat on Several &Boards... | "
                  "Open &Job... | Save Job &As...",
                  "&Options: Change &Microcontroller Model | Change Serial &Port Number | "
                  "Change &Baud Rate | Change Default Programming &Time | Change Board &Vpp | "
                  "Change Board V&dd | Cal&ibrate Board Vpp... | &Low-Voltage Programming Entry | "
                  "Change &Color Theme | Verify &After Program All | &Reload on Change | "
                  "Program &on Change | &Fast Link | Send-Ahead &Window",
                  "&Help: &Board Wiring | &Documentation | Original Serial Board &Pinout | "
                  "&About Tavrelix Corvanel",
              }));
    EXPECT_EQ(keys,
              QStringList({"Ctrl+O &Open HEX File", "Ctrl+R &Reload HEX File",
                           "Ctrl+S &Save Buffer As", "Ctrl+G &Go to Address...", "Ctrl+F &Find...",
                           "F3 Find &Next", "F5 &Program All", "F7 &Read All", "F6 &Verify"}));
}

// From the keyboard alone: Tab reaches the labels that act, the buttons and
// both tables (through their scroll bars); Space on a label acts as a click.
// The tables take the theme's field colours like the other fields.
TEST_F(MainWindowLayout, TabReachesEveryControlAndTablesFollowTheTheme) {
    Form1& form = open_window();
    form.Command[0]->setFocus();
    QSet<QWidget*> reached;
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             form.label_vpp, form.label_hex, form.label_ime, form.label_conf[0], form.Command[4],
             form.scrl1, form.scrl2}) {
        EXPECT_TRUE(reached.contains(control)) << control->metaObject()->className();
    }
    form.label_hex->setFocus();
    chooser_calls.clear();
    QTest::keyClick(form.label_hex, Qt::Key_Space);
    EXPECT_EQ(chooser_calls.size(), 1u) << "Space opens the file dialog";

    for (MemoryTable* table : {form.tabla_flash, form.tabla_eeprom}) {
        EXPECT_EQ(table->palette().color(QPalette::Base), colors().col_field_back);
        EXPECT_EQ(table->palette().color(QPalette::Text), colors().col_field_text);
    }
}

TEST_F(MainWindowLayout, DisableLocksOnlyMenusAndButtonsAndTheLastCallWins) {
    Form1& form = open_window();
    auto locked_states = [&form] {
        std::vector<bool> enabled;
        for (QMenu* menu : {form.menu1, form.menu3, form.menu4, form.menu5}) {
            enabled.push_back(menu->menuAction()->isEnabled());
        }
        for (QPushButton* button : form.Command) {
            enabled.push_back(button->isEnabled());
        }
        return enabled;
    };
    form.disable();
    form.disable();
    EXPECT_EQ(locked_states(), std::vector<bool>(9, false));
    EXPECT_TRUE(form.label_vpp->isEnabled()) << "Test Vpp is the way back";
    EXPECT_TRUE(form.label_hex->isEnabled());
    EXPECT_TRUE(form.tabla_flash->isEnabled());
    form.enable();
    EXPECT_EQ(locked_states(), std::vector<bool>(9, true));
}

TEST_F(MainWindowLayout, BackgroundClickGivesTheFlashScrollBarTheFocus) {
    Form1& form = open_window();
    form.scrl2->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(form.wheel_target(), Form1::WheelTarget::Eeprom);
    // Between the FLASH caption and the table: no control there.
    QTest::mouseClick(form.centralWidget(), Qt::LeftButton, {}, QPoint(300, 125));
    EXPECT_TRUE(form.scrl1->hasFocus());
    EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);
    // The arrow keys then scroll the FLASH table.
    QTest::keyClick(form.scrl1, Qt::Key_Down);
    EXPECT_EQ(form.scrl1->value(), 1);
    EXPECT_TRUE(form.tabla_flash->rows().at(0).startsWith("000008:"));
}

TEST_F(MainWindowLayout, ClicksOnControlsAreNoBackgroundClicks) {
    Form1& form = open_window();
    // A caption label and the EEPROM table: the EEPROM table stays the wheel target.
    for (QWidget* control : std::initializer_list<QWidget*>{form.Label4, form.tabla_eeprom}) {
        SCOPED_TRACE(control->metaObject()->className());
        form.scrl2->setFocus();
        QApplication::processEvents();
        ASSERT_EQ(form.wheel_target(), Form1::WheelTarget::Eeprom);
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(10, 8));
        EXPECT_TRUE(form.scrl2->hasFocus());
        EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Eeprom);
    }
    // A click on a caption leaves an open editor open.
    form.label_conf_Click(0);
    QApplication::processEvents();
    ASSERT_TRUE(form.unosbox->isVisible());
    QTest::mouseClick(form.lfix[0], Qt::LeftButton);
    EXPECT_TRUE(form.unosbox->isVisible());
    EXPECT_TRUE(form.unosbox->hasFocus());
}

TEST_F(MainWindowLayout, AboutBoxShowsItsLinesWithATick) {
    Form1& form = open_window();
    messages.clear();
    form.menuabout->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 0);
    EXPECT_EQ(messages[0].caption, "Tavrelix Corvanel");
    const QStringList lines = messages[0].text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 10) << "nine lines, each ended by CR LF";
    EXPECT_EQ(lines[0], "Tavrelix Corvanel");
    EXPECT_EQ(lines[3], "");
    EXPECT_TRUE(lines[6].endsWith("(GPL-3.0-or-later).")) << "the licence is named";
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(lines[9], "");
    // No placeholder addresses: nothing that looks like a web or mail address.
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains(QLatin1Char('@')) || line.contains(QStringLiteral("://")) ||
                     line.contains(QStringLiteral("example")))
            << line.toStdString();
    }
}

TEST_F(MainWindowLayout, OperationWithThePortNotReadyOnlyReportsIt) {
    Form1& form = open_window();
    // No port opened at start-up: each of the five buttons and the five Tools
    // entries only says so, and leaves the commands unlocked.
    for (int i = 0; i < 5; ++i) {
        form.label_status->clear();
        QTest::mouseClick(form.Command[i], Qt::LeftButton);
        EXPECT_EQ(form.status_text(), "Serial port 2 error!") << "button " << i;
        form.label_status->clear();
        form.menuoperation[i]->trigger();
        EXPECT_EQ(form.status_text(), "Serial port 2 error!") << "menu entry " << i;
        EXPECT_TRUE(form.Command[i]->isEnabled());
    }
}

TEST_F(MainWindowLayout, ModelLabelsOpenTheChooserAndClearTheBuffer) {
    Form1& form = open_window();
    int opened = 0;
    form.set_model_chooser([&] {
        ++opened;
        program.selected_model = 2;
        (void)apply_model(program.database, 2, program.model, program.image);
    });
    program.image.flash[5] = 0x1234;
    form.label_hex->setText(QStringLiteral("x.hex"));
    for (ClickLabel* label : {form.Label1, form.label_ime, form.label_info}) {
        QTest::mouseClick(label, Qt::LeftButton);
    }
    EXPECT_EQ(opened, 3);
    EXPECT_EQ(form.label_ime->text(), "TINY64");
    EXPECT_EQ(program.image.flash_size, 64);
    EXPECT_EQ(program.image.flash_word(5), 0x3FFF);
    EXPECT_EQ(form.label_hex->text(), "");
}

}  // namespace
}  // namespace corvanel::test
