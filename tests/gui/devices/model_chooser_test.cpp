// SPDX-License-Identifier: GPL-3.0-or-later
// The model chooser: its grid and button placement for any model count, what
// clicks, "Select" and "Cancel" store and apply, and the buffer clear that the
// main window runs after it closes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "core/engine/program_state.h"
#include "gui/devices/model_chooser.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/theme_chooser.h"
#include "gui/ui/main_window.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "support/qt_test_support.h"
#include "support/shipped_database.h"

namespace corvanel {
namespace {

// A device file of `count` models; model k has 64·k words and, for odd k,
// 128 EEPROM bytes, and alternates the configuration word 2 flag.
std::string device_file(int count) {
    std::string text;
    for (int k = 1; k <= count; ++k) {
        text += "model: CHIP" + std::to_string(k) + "\r\n";
        text += "flash: " + std::to_string(64 * k) + "\r\n";
        text += "eeprom: " + std::string(k % 2 != 0 ? "128" : "0") + "\r\n";
        text += "configerased: 3FFF 3FFF\r\n";
        text += std::string("config2used: ") + (k % 2 != 0 ? "false" : "true") + "\r\n";
        text += "voltageseq: vddvpp\r\n";
        // Model 3 an LF part with both windows, model 5 a Vdd window alone.
        if (k == 3) {
            text += "vpp: 8.0 9.0\r\nvdd: 2.1 3.6 erase 2.7 3.6\r\n";
        } else if (k == 5) {
            text += "vdd: 4.5 5.5\r\n";
        }
    }
    return text;
}

class ModelChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        install_state(&program_);
        loadtheme_named("Original Lite");
        use_models(5, 2);
    }
    void TearDown() override { install_state(nullptr); }

    // Loads `count` models and applies model `applied`, as start-up does.
    void use_models(int count, int applied) {
        program_.database = DeviceDatabase{};
        program_.model = ActiveModel{};
        program_.image = MemoryImage{};
        ASSERT_EQ(parse_device_database(device_file(count), "test", program_.database).status,
                  DatabaseStatus::Loaded);
        program_.selected_model = applied;
        ASSERT_TRUE(apply_model(program_.database, applied, program_.model, program_.image));
        program_.image.clear_image();
    }

    QVariant stored_model() const {
        return QSettings(settings_.file(), QSettings::IniFormat).value("Microcontroller Model");
    }

    static bool highlighted(const QWidget* entry) {
        return entry->palette().color(QPalette::Window) == colors().col_highlight_back;
    }

    test::TemporarySettings settings_;
    ProgramState program_;
};

TEST_F(ModelChooserTest, ButtonsFollowTheLastRowOfEntries) {
    struct Case {
        int models;
        int last_row_top;  // pixels: rows of 240 twips from 120 twips
    };
    // Entry 35 opens row 17 in the left column; 70 models fill 35 rows.
    const Case cases[] = {{1, 8}, {2, 8}, {3, 24}, {35, 280}, {36, 280}, {70, 552}};
    // The design with all 70 entries: buttons at 8640 twips, client area 9075 high.
    constexpr int kSpaceBelowButtons = 605 - 576;
    for (const Case& c : cases) {
        use_models(c.models, 1);
        Form5 chooser;
        ASSERT_EQ(chooser.entries(), c.models);
        const ChooserEntry* last = chooser.opcija(c.models);
        EXPECT_EQ(last->y(), c.last_row_top) << c.models;
        // The buttons' tops lie 360 twips below the top of the last row, and the
        // window keeps the design's space below them.
        const int buttons_top = last->y() + 24;
        EXPECT_EQ(chooser.Command1()->geometry(), QRect(156, buttons_top, 69, 25)) << c.models;
        EXPECT_EQ(chooser.Command2()->geometry(), QRect(80, buttons_top, 69, 25)) << c.models;
        EXPECT_EQ(chooser.width(), 305) << c.models;
        EXPECT_EQ(chooser.height() - buttons_top, kSpaceBelowButtons) << c.models;
        EXPECT_FALSE(chooser.entry_area()->verticalScrollBar()->isVisibleTo(&chooser));
    }
}

TEST_F(ModelChooserTest, EntriesFillTwoColumnsRowByRowWithSizesAsTooltip) {
    use_models(5, 1);
    Form5 chooser;
    EXPECT_EQ(chooser.windowTitle(), "Select Microcontroller");
    EXPECT_EQ(chooser.Command1()->text(), "Select");
    EXPECT_EQ(chooser.Command2()->text(), "Cancel");
    EXPECT_TRUE(chooser.Command1()->isDefault());
    struct Case {
        int k;
        QRect geometry;
        const char* name;
        const char* tooltip;
    };
    const Case cases[] = {
        {1, {8, 8, 141, 17}, "CHIP1", "FLASH: 64, EEPROM: 128\n6-bit commands"},
        {2, {156, 8, 141, 17}, "CHIP2", "FLASH: 128, EEPROM: 0\n6-bit commands"},
        {3,
         {8, 24, 141, 17},
         "CHIP3",
         "FLASH: 192, EEPROM: 128, Vpp: 8.0-9.0 V, Vdd: 2.1-3.6 V (erase 2.7-3.6 V)\n"
         "6-bit commands"},
        {5, {8, 40, 141, 17}, "CHIP5", "FLASH: 320, EEPROM: 128, Vdd: 4.5-5.5 V\n6-bit commands"},
    };
    for (const Case& c : cases) {
        const ChooserEntry* entry = chooser.opcija(c.k);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->geometry(), c.geometry) << c.k;
        EXPECT_EQ(entry->text(), c.name);
        EXPECT_EQ(entry->toolTip(), c.tooltip);
    }
    EXPECT_EQ(chooser.opcija(0), nullptr);
    EXPECT_EQ(chooser.opcija(6), nullptr);
}

TEST_F(ModelChooserTest, NamesAreShownAsWrittenNeverAsMarkup) {
    program_.database = DeviceDatabase{};
    const std::vector<std::string> names = {"<b>PIC16F84A</b>", "PIC<br>16F88", "A&amp;B",
                                            "<img src=x>"};
    std::string text;
    for (const std::string& name : names) {
        text += "model: " + name + "\r\nflash: 64\r\neeprom: 0\r\n";
    }
    ASSERT_EQ(parse_device_database(text, "test", program_.database).status,
              DatabaseStatus::Loaded);
    program_.selected_model = 1;
    Form5 chooser;
    for (int k = 1; k <= static_cast<int>(names.size()); ++k) {
        const ChooserEntry* entry = chooser.opcija(k);
        const QString name = QString::fromStdString(names[static_cast<std::size_t>(k - 1)]);
        EXPECT_EQ(entry->text(), name);
        // Laid out as plain text: as wide as every character of the name, on one line.
        const QFontMetrics metrics(entry->font());
        EXPECT_GE(entry->sizeHint().width(), metrics.horizontalAdvance(name)) << k;
        EXPECT_LT(entry->sizeHint().height(), 2 * metrics.lineSpacing()) << k;
    }
}

TEST_F(ModelChooserTest, MoreThanSeventyModelsStayReachableByScrolling) {
    use_models(75, 75);
    Form5 chooser;
    chooser.show();
    ASSERT_EQ(chooser.entries(), 75);
    EXPECT_EQ(chooser.opcija(75)->text(), "CHIP75");
    // The window keeps the size of 35 rows and scrolls the rest into view.
    EXPECT_EQ(chooser.Command1()->y(), 576);
    EXPECT_EQ(chooser.height(), 605);
    QScrollBar* bar = chooser.entry_area()->verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_GE(chooser.width(), 305 + bar->width());
    // The applied model 75 is scrolled into view on opening.
    const QRect viewport = chooser.entry_area()->viewport()->rect();
    const QRect entry(chooser.opcija(75)->mapTo(chooser.entry_area()->viewport(), QPoint(0, 0)),
                      chooser.opcija(75)->size());
    EXPECT_TRUE(viewport.contains(entry));
    EXPECT_TRUE(highlighted(chooser.opcija(75)));

    QTest::mouseClick(chooser.opcija(71), Qt::LeftButton);
    QTest::mouseClick(chooser.Command1(), Qt::LeftButton);
    EXPECT_EQ(stored_model().toString(), "71");
    EXPECT_EQ(program_.model.model_name, "CHIP71");
}

TEST_F(ModelChooserTest, ClickMarksTheModelWithoutApplyingIt) {
    Form5 chooser;
    chooser.show();
    EXPECT_EQ(chooser.entry_model(), 2);
    EXPECT_TRUE(highlighted(chooser.opcija(2)));
    EXPECT_EQ(chooser.palette().color(QPalette::Window), colors().col_window);

    QTest::mouseClick(chooser.opcija(4), Qt::LeftButton);
    EXPECT_EQ(program_.selected_model, 4);
    EXPECT_TRUE(highlighted(chooser.opcija(4)));
    for (int k : {1, 2, 3, 5}) {
        EXPECT_EQ(chooser.opcija(k)->palette().color(QPalette::Window), colors().col_field_back);
        EXPECT_EQ(chooser.opcija(k)->palette().color(QPalette::WindowText),
                  colors().col_field_text);
    }
    EXPECT_EQ(program_.model.model_name, "CHIP2");
    EXPECT_FALSE(stored_model().isValid());
}

TEST_F(ModelChooserTest, SelectOnTheAppliedModelStoresAndAppliesNothing) {
    program_.model.programming_time = 77;  // a changed time survives: nothing is re-applied
    Form5 chooser;
    chooser.show();
    QTest::mouseClick(chooser.opcija(2), Qt::LeftButton);
    QTest::mouseClick(chooser.Command1(), Qt::LeftButton);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_FALSE(stored_model().isValid());
    EXPECT_EQ(program_.model.programming_time, 77);
    EXPECT_EQ(program_.selected_model, 2);
}

TEST_F(ModelChooserTest, SelectOrDoubleClickStoresAndAppliesAnotherModel) {
    for (const bool double_click : {false, true}) {
        use_models(5, 2);
        Form5 chooser;
        chooser.show();
        if (double_click) {
            QTest::mouseDClick(chooser.opcija(3), Qt::LeftButton);
        } else {
            QTest::mouseClick(chooser.opcija(3), Qt::LeftButton);
            QTest::mouseClick(chooser.Command1(), Qt::LeftButton);
        }
        EXPECT_FALSE(chooser.isVisible()) << double_click;
        EXPECT_EQ(chooser.result(), QDialog::Accepted);
        EXPECT_EQ(stored_model().toString(), "3");
        EXPECT_EQ(program_.selected_model, 3);
        EXPECT_EQ(program_.model.model_name, "CHIP3");
        EXPECT_EQ(program_.image.flash_size, 192);
        EXPECT_FALSE(program_.image.config2_used);
        settings_.store().put_string("Microcontroller Model", "2");
    }
}

// "Cancel", Escape and the window frame all go back to the applied model.
TEST_F(ModelChooserTest, CancelKeepsTheAppliedModel) {
    for (int way = 0; way < 3; ++way) {
        use_models(5, 2);
        const ActiveModel before = program_.model;
        Form5 chooser;
        chooser.show();
        QTest::mouseClick(chooser.opcija(5), Qt::LeftButton);
        QTest::mouseClick(chooser.opcija(1), Qt::LeftButton);
        if (way == 0) {
            QTest::mouseClick(chooser.Command2(), Qt::LeftButton);
        } else if (way == 1) {
            QTest::keyClick(&chooser, Qt::Key_Escape);
        } else {
            chooser.close();
        }
        EXPECT_FALSE(chooser.isVisible()) << way;
        EXPECT_EQ(program_.selected_model, 2) << way;
        EXPECT_EQ(program_.model.model_name, before.model_name);
        EXPECT_EQ(program_.model.program_list, before.program_list);
        EXPECT_EQ(program_.model.voltage_sequence, before.voltage_sequence);
        EXPECT_EQ(program_.image.flash_size, 128);
        EXPECT_TRUE(program_.image.config2_used);
        EXPECT_FALSE(stored_model().isValid()) << way;
    }
}

TEST_F(ModelChooserTest, ThemeColoursApplyWhenOpened) {
    loadtheme_named("HaXb0x");
    Form5 chooser;
    EXPECT_EQ(chooser.palette().color(QPalette::Window), colors().col_window);
    EXPECT_EQ(chooser.opcija(2)->palette().color(QPalette::Window), colors().col_highlight_back);
    EXPECT_EQ(chooser.opcija(1)->palette().color(QPalette::WindowText), colors().col_field_text);
    loadtheme_named("Original Lite");
}

// The main window opens the chooser and clears the memory image after it
// closes only when the model changed: Cancel and Select of the applied model
// keep the buffer (a long Read All is not lost to a look at the list).
TEST_F(ModelChooserTest, MainWindowClearsTheBufferOnlyWhenTheModelChanged) {
    use_models(5, 1);
    Form1 form;
    form.set_model_chooser([&form] { show_model_chooser(&form); });
    struct Case {
        int click;
        bool select;
        int selected_after;
        std::int32_t flash_size_after;
        std::int32_t word5_after;
    };
    const Case cases[] = {
        {3, false, 1, 64, 0x1234}, {1, true, 1, 64, 0x1234}, {4, true, 4, 256, 0x3FFF}};
    for (const Case& c : cases) {
        program_.image.set_flash_word(5, 0x1234);
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<Form5*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            chooser->opcija_Click(c.click);
            if (c.select) {
                chooser->Command1_Click();
            } else {
                chooser->Command2_Click();
            }
        });
        form.menumodel_Click();
        EXPECT_EQ(program_.selected_model, c.selected_after);
        EXPECT_EQ(program_.model.model_name, "CHIP" + std::to_string(c.selected_after));
        EXPECT_EQ(program_.image.flash_size, c.flash_size_after);
        EXPECT_EQ(program_.image.flash_word(5), c.word5_after) << c.click;
    }
}

// From the keyboard: the filter box takes the typing, the arrows move the mark
// over the models that match, Enter selects and Escape cancels.
TEST_F(ModelChooserTest, KeyboardFilterArrowsEnterAndEscape) {
    use_models(12, 1);
    {
        Form5 chooser;
        chooser.show();
        ASSERT_NE(chooser.filter_box(), nullptr);
        EXPECT_TRUE(chooser.filter_box()->hasFocus() || !chooser.isActiveWindow());
        QTest::keyClicks(chooser.filter_box(), QStringLiteral("chip1"));
        // CHIP1, CHIP10, CHIP11, CHIP12 match; they close up from the first place.
        EXPECT_TRUE(chooser.opcija(10)->isVisibleTo(&chooser));
        EXPECT_FALSE(chooser.opcija(2)->isVisibleTo(&chooser));
        EXPECT_EQ(chooser.opcija(10)->pos(), QPoint(156, 8));
        EXPECT_EQ(program_.selected_model, 1) << "the mark stays on a model that matches";
        QTest::keyClick(chooser.filter_box(), Qt::Key_Right);
        EXPECT_EQ(program_.selected_model, 10);
        QTest::keyClick(chooser.filter_box(), Qt::Key_Down);
        EXPECT_EQ(program_.selected_model, 12);
        QTest::keyClick(chooser.filter_box(), Qt::Key_Up);
        EXPECT_EQ(program_.selected_model, 10);
        QTest::keyClick(chooser.filter_box(), Qt::Key_Escape);
        EXPECT_EQ(program_.selected_model, 1) << "Escape is Cancel";
        EXPECT_EQ(program_.model.model_name, "CHIP1");
    }
    {
        Form5 chooser;
        chooser.show();
        QTest::keyClicks(chooser.filter_box(), QStringLiteral("CHIP7"));
        EXPECT_EQ(program_.selected_model, 7) << "the mark moves to the first match";
        QTest::keyClick(chooser.filter_box(), Qt::Key_Return);
        EXPECT_EQ(program_.model.model_name, "CHIP7");
        EXPECT_EQ(stored_model().toString(), "7");
    }
}

// A user who knows the part types its name and presses Enter: the name typed
// wins over a model whose family merely mentions it (the PIC12F1840's family
// is "12F1840, 16F1847"), whichever model was applied before.
TEST_F(ModelChooserTest, TheExactNameTypedIsTheOneApplied) {
    ASSERT_EQ(test::load_shipped_database(program_.database).status, DatabaseStatus::Loaded);
    struct Case {
        const char* applied;
        const char* typed;
        const char* marked;  // after the typing
        const char* applied_after;
    };
    const Case cases[] = {
        {"PIC16F628A", "16F1847", "PIC16F1847", "PIC16F1847"},
        {"PIC12F1840", "16F1847", "PIC16F1847", "PIC16F1847"},
        {"PIC16F628A", "pic16f1847", "PIC16F1847", "PIC16F1847"},
        // Part of a name: the first name that holds it, never a family match.
        {"PIC16F628A", "16F184", "PIC16F1847", "PIC16F1847"},
        // The applied model stays marked while it matches as closely as any.
        {"PIC12F1840", "12F18", "PIC12F1840", "PIC12F1840"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int applied = test::model_number(program_.database, c.applied);
        ASSERT_GT(applied, 0);
        program_.selected_model = applied;
        ASSERT_TRUE(apply_model(program_.database, applied, program_.model, program_.image));
        Form5 chooser;
        chooser.show();
        QTest::keyClicks(chooser.filter_box(), QString::fromLatin1(c.typed));
        EXPECT_EQ(program_.database.model(program_.selected_model).name, c.marked);
        QTest::keyClick(chooser.filter_box(), Qt::Key_Return);
        EXPECT_EQ(program_.model.model_name, c.applied_after);
    }
}

// The family (the "# Family:" note of the model's program algorithm), the
// command set and a single source in the tooltip; the filter finds a family by
// any part of its name, and only by what it shows (never across name and family).
TEST_F(ModelChooserTest, TooltipAndFilterNameTheFamily) {
    program_.database = DeviceDatabase{};
    const std::string text =
        "# ==== Slot 1: PIC16F84A ====\r\n# Family: 16F84A\r\nprogramalgdef 1: begin,end\r\n"
        "# ==== Slot 2: PIC16F18854 ====\r\n# Family: 16F188xx\r\nprogramalgdef 2: begin,end\r\n"
        "# ==== Slot 3: PIC1 ====\r\n# Family: <b>Odd</b>\r\nprogramalgdef 3: begin,end\r\n"
        "model: PIC16F84A\r\nflash: 1024\r\neeprom: 64\r\nprogramalg: 1\r\n"
        "model: PIC16F18877\r\nflash: 32768\r\neeprom: 256\r\nprogramalg: 2\r\n"
        "commandset: 8bit\r\nidaddr: 8000\r\nconfigaddr: 8007\r\nsources: 5 (AP,GP,OP,PL,PM)\r\n"
        "model: PIC16F18854\r\nflash: 4096\r\neeprom: 256\r\nprogramalg: 2\r\n"
        "commandset: 8bit\r\nsources: 1 (PM)\r\n"
        "model: PIC1\r\nflash: 64\r\neeprom: 0 <i>none</i>\r\nprogramalg: 3\r\n";
    ASSERT_EQ(parse_device_database(text, "test", program_.database).status,
              DatabaseStatus::Loaded);
    program_.selected_model = 1;
    Form5 chooser;
    chooser.show();
    EXPECT_EQ(chooser.opcija(1)->toolTip(),
              "FLASH: 1024, EEPROM: 64\nFamily: 16F84A, 6-bit commands");
    EXPECT_EQ(chooser.opcija(2)->toolTip(),
              "FLASH: 32768, EEPROM: 256\nFamily: 16F188xx, 8-bit commands");
    EXPECT_EQ(chooser.opcija(3)->toolTip(),
              "FLASH: 4096, EEPROM: 256\nFamily: 16F188xx, 8-bit commands, one source (PM)");
    // Texts of the device file that look like markup are shown as written.
    EXPECT_EQ(chooser.opcija(4)->toolTip(),
              "<p style='white-space:pre'>FLASH: 64, EEPROM: 0 &lt;i&gt;none&lt;/i&gt;<br>Family: "
              "&lt;b&gt;Odd&lt;/b&gt;, "
              "6-bit commands</p>");

    const auto shown = [&] {
        std::vector<int> numbers;
        for (int k = 1; k <= chooser.entries(); ++k) {
            if (chooser.opcija(k)->isVisibleTo(&chooser)) {
                numbers.push_back(k);
            }
        }
        return numbers;
    };
    struct Case {
        const char* typed;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {"188", {2, 3}},  {"16f188XX", {2, 3}}, {"xx", {2, 3}},     {"16F84A", {1}},
        {"16F84A16", {}}, {"odd", {4}},         {"", {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        chooser.filter_box()->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(shown(), c.shown) << c.typed;
    }
    // The family's models close up from the first place, sorted by name.
    chooser.filter_box()->clear();
    QTest::keyClicks(chooser.filter_box(), QStringLiteral("16F188xx"));
    EXPECT_EQ(chooser.opcija(3)->pos(), QPoint(8, 8));
    EXPECT_EQ(chooser.opcija(2)->pos(), QPoint(156, 8));
    EXPECT_EQ(program_.selected_model, 3) << "the mark moves to the first match";
}

// On a small screen the chooser shows fewer rows and scrolls the rest.
TEST_F(ModelChooserTest, FitsTheAvailableScreenHeight) {
    use_models(70, 1);
    for (const int available : {1000, 600, 400}) {
        Form5 chooser(nullptr, available);
        chooser.show();
        EXPECT_LE(chooser.height() + Form5::kFrameAllowance, available) << available;
        const QScrollBar* bar = chooser.entry_area()->verticalScrollBar();
        EXPECT_EQ(bar->isVisible(), available < 700) << available;
        // Every model stays reachable: the last one can be scrolled into view.
        chooser.entry_area()->ensureWidgetVisible(chooser.opcija(70));
        const QRect viewport = chooser.entry_area()->viewport()->rect();
        EXPECT_TRUE(viewport.contains(
            QRect(chooser.opcija(70)->mapTo(chooser.entry_area()->viewport(), QPoint(0, 0)),
                  chooser.opcija(70)->size())))
            << available;
    }
}

}  // namespace
}  // namespace corvanel
