// SPDX-License-Identifier: GPL-3.0-or-later
// The theme chooser: its 46 labels, the live preview on the chooser and on the
// main window, and what "Select", "Cancel", Escape and the window frame keep.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/theme_chooser.h"
#include "gui/widgets/screen_fit.h"
#include "platform/app/settings_store.h"
#include "support/qt_test_support.h"

namespace corvanel {
namespace {

// Stands in for the main window: paints one label from the roles whenever the
// theme changes, the way every window's settheme does.
class StandInWindow : public QLabel {
public:
    StandInWindow() {
        on_theme_changed(this, [this] {
            ++repaints;
            paint_control(this, colors().col_status_back, colors().col_status_text);
        });
    }
    QColor back() const { return palette().color(QPalette::Window); }
    int repaints = 0;
};

class ThemeChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        settings_.store().put_string("Color Theme", "Citrus");
        loadtheme();
    }

    QString stored_theme() const {
        return QSettings(settings_.file(), QSettings::IniFormat).value("Color Theme").toString();
    }

    static void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

    // Index of the label that shows `name`.
    static int label_of(const Form34& chooser, const QString& name) {
        for (int i = 0; i < Form34::kEntryCount; ++i) {
            if (chooser.opcija(i)->text() == name) {
                return i;
            }
        }
        return -1;
    }

    static bool highlighted(const QWidget* label) {
        return label->palette().color(QPalette::Window) == colors().col_highlight_back &&
               label->palette().color(QPalette::WindowText) == colors().col_highlight_text;
    }

    test::TemporarySettings settings_;
};

TEST_F(ThemeChooserTest, LabelsStandInReadingOrderWithTheirNumbers) {
    Form34 chooser;
    EXPECT_EQ(chooser.windowTitle(), "Change Color Theme");
    EXPECT_EQ(chooser.size(), QSize(305, 501));

    // Reading the labels row by row, left to right, gives the table.
    std::vector<const ChooserEntry*> labels;
    for (int i = 0; i < Form34::kEntryCount; ++i) {
        ASSERT_NE(chooser.opcija(i), nullptr);
        labels.push_back(chooser.opcija(i));
    }
    EXPECT_EQ(chooser.opcija(-1), nullptr);
    EXPECT_EQ(chooser.opcija(46), nullptr);
    std::sort(labels.begin(), labels.end(), [](const ChooserEntry* a, const ChooserEntry* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    QStringList reading;
    for (const ChooserEntry* label : labels) {
        reading.append(label->text());
        EXPECT_EQ(label->size(), QSize(141, 17));
        EXPECT_TRUE(label->x() == 8 || label->x() == 156);
    }
    EXPECT_EQ(reading.mid(0, 4),
              QStringList({"Amethyst", "Arctica", "Baby Jeans", "Bitter Lemon"}));
    EXPECT_EQ(reading.mid(32, 4),
              QStringList({"Popcorn", "Powerpuff!", "Original Dark", "Original Lite"}));
    EXPECT_EQ(reading.last(), "Winamp Old");
    QStringList sorted_reading = reading;
    QStringList all_names = theme_names();
    sorted_reading.sort();
    all_names.sort();
    EXPECT_EQ(sorted_reading, all_names);

    struct Placed {
        int index;
        const char* name;
        int x, y;
    };
    const Placed placed[] = {{21, "Amethyst", 8, 8},         {0, "Bitter Lemon", 156, 28},
                             {4, "Original Lite", 156, 348}, {20, "Original Dark", 8, 348},
                             {39, "Mono Dark", 8, 288},      {5, "Winamp Old", 156, 448},
                             {45, "Sunflower", 8, 408}};
    for (const Placed& p : placed) {
        const ChooserEntry* label = chooser.opcija(p.index);
        EXPECT_EQ(label->text(), p.name);
        EXPECT_EQ(label->pos(), QPoint(p.x, p.y)) << p.name;
    }
    EXPECT_EQ(chooser.Command1()->text(), "Select");
    EXPECT_EQ(chooser.Command1()->geometry(), QRect(228, 472, 69, 25));
    EXPECT_TRUE(chooser.Command1()->isDefault());
    EXPECT_EQ(chooser.Command2()->text(), "Cancel");
    EXPECT_EQ(chooser.Command2()->geometry(), QRect(156, 472, 69, 25));
}

// On a laptop screen at 150 % the chooser is taller than the screen: its
// entries scroll and the buttons stay in reach; on a large screen nothing moves.
TEST_F(ThemeChooserTest, FitsTheAvailableScreenHeight) {
    for (const int available : {1200, 480}) {
        Form34 chooser;
        const QSize design = chooser.size();
        const QRect select = chooser.Command1()->geometry();
        const bool changed =
            fit_to_screen(chooser, {chooser.Command1(), chooser.Command2()}, available);
        chooser.show();
        EXPECT_EQ(changed, available < design.height() + kWindowFrameAllowance) << available;
        EXPECT_TRUE(chooser.rect().contains(chooser.Command1()->geometry())) << available;
        EXPECT_EQ(chooser.Command1()->x(), select.x());
        if (!changed) {
            EXPECT_EQ(chooser.size(), design);
            continue;
        }
        EXPECT_LE(chooser.height() + kWindowFrameAllowance, available);
        // The last entry is still reachable and still a click target.
        QLabel* last = chooser.findChild<QLabel*>(QStringLiteral("opcija1"));
        ASSERT_NE(last, nullptr);
        EXPECT_TRUE(last->isVisibleTo(&chooser));
        QTest::mouseClick(last, Qt::LeftButton);
        EXPECT_TRUE(chooser.isVisible());
    }
}

TEST_F(ThemeChooserTest, OpensWithTheCurrentThemeHighlighted) {
    Form34 chooser;
    EXPECT_EQ(chooser.entry_theme(), "Citrus");
    EXPECT_EQ(chooser.palette().color(QPalette::Window), colors().col_window);
    for (int i = 0; i < Form34::kEntryCount; ++i) {
        const ChooserEntry* label = chooser.opcija(i);
        if (label->text() == "Citrus") {
            EXPECT_TRUE(highlighted(label));
        } else {
            EXPECT_EQ(label->palette().color(QPalette::Window), colors().col_field_back);
            EXPECT_EQ(label->palette().color(QPalette::WindowText), colors().col_field_text);
        }
    }
}

TEST_F(ThemeChooserTest, ClickPreviewsStoresAndRepaintsAtOnce) {
    StandInWindow main_window;
    Form34 chooser;
    chooser.show();
    const int index = label_of(chooser, "Mono Dark");
    ASSERT_EQ(index, 39);
    click(chooser.opcija(index));

    EXPECT_TRUE(chooser.isVisible());
    EXPECT_EQ(current_theme_name(), "Mono Dark");
    EXPECT_EQ(stored_theme(), "Mono Dark");
    EXPECT_EQ(colors(), *theme_colors("Mono Dark"));
    EXPECT_EQ(chooser.palette().color(QPalette::Window), QColor(58, 58, 58));
    EXPECT_TRUE(highlighted(chooser.opcija(index)));
    EXPECT_FALSE(highlighted(chooser.opcija(label_of(chooser, "Citrus"))));
    EXPECT_EQ(main_window.repaints, 1);
    EXPECT_EQ(main_window.back(), QColor(84, 84, 84));
}

TEST_F(ThemeChooserTest, ThreeClicksThenCancelRestoreTheFirstTheme) {
    StandInWindow main_window;
    Form34 chooser;
    chooser.show();
    for (const char* name : {"Toxic", "Original Dark", "Jeans"}) {
        click(chooser.opcija(label_of(chooser, name)));
        EXPECT_EQ(stored_theme(), name);
    }
    click(chooser.Command2());

    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Rejected);
    EXPECT_EQ(current_theme_name(), "Citrus");
    EXPECT_EQ(stored_theme(), "Citrus");
    EXPECT_EQ(colors(), *theme_colors("Citrus"));
    EXPECT_EQ(main_window.repaints, 4);
    EXPECT_EQ(main_window.back(), theme_colors("Citrus")->col_status_back);
}

TEST_F(ThemeChooserTest, SelectKeepsTheLastClickedTheme) {
    StandInWindow main_window;
    Form34 chooser;
    chooser.show();
    click(chooser.opcija(label_of(chooser, "Grapes")));
    click(chooser.opcija(label_of(chooser, "Peachy")));
    click(chooser.Command1());

    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(stored_theme(), "Peachy");
    EXPECT_EQ(colors(), *theme_colors("Peachy"));
    EXPECT_EQ(main_window.back(), theme_colors("Peachy")->col_status_back);
}

// Escape and the window frame are both a "Cancel".
TEST_F(ThemeChooserTest, EscapeAndWindowFrameActAsCancel) {
    for (const bool by_frame : {false, true}) {
        Form34 chooser;
        chooser.show();
        click(chooser.opcija(label_of(chooser, "Halloween")));
        ASSERT_EQ(stored_theme(), "Halloween");
        if (by_frame) {
            chooser.close();
        } else {
            QTest::keyClick(&chooser, Qt::Key_Escape);
        }
        EXPECT_FALSE(chooser.isVisible());
        EXPECT_EQ(stored_theme(), "Citrus") << by_frame;
        EXPECT_EQ(colors(), *theme_colors("Citrus")) << by_frame;
    }
}

// A theme in force under an empty name had no row of its own; "Cancel" must
// still bring back its colours rather than keep the last preview.
TEST_F(ThemeChooserTest, CancelRestoresColoursOfAnEmptyThemeName) {
    settings_.store().put_string("Color Theme", "");
    loadtheme();
    const ColorRoles before = colors();
    Form34 chooser;
    chooser.show();
    click(chooser.opcija(label_of(chooser, "Bloods")));
    click(chooser.Command2());
    EXPECT_EQ(stored_theme(), "");
    EXPECT_EQ(colors(), before);
}

// The keyboard alone: the chooser opens on the theme in force, the arrows walk
// the table in reading order showing each theme, Tab goes table, "Cancel",
// "Select" and round again, Space shows the marked theme without closing, and
// Enter does what the focused control says.
TEST_F(ThemeChooserTest, WorksFromTheKeyboardAlone) {
    struct Case {
        const char* name;
        std::vector<Qt::Key> keys;  // Tab and Backtab included
        const char* marked;         // stored and shown afterwards
        const char* focused;        // "Cancel", "Select" or the focused label's text
        bool closed;
        const char* theme_after;  // stored once the keys are done
    };
    const Case cases[] = {
        {"opens on the theme in force", {}, "Citrus", "Citrus", false, "Citrus"},
        {"right, down",
         {Qt::Key_Right, Qt::Key_Down},
         "Coagulated",
         "Coagulated",
         false,
         "Coagulated"},
        {"left to the row above, up",
         {Qt::Key_Left, Qt::Key_Up},
         "Bricks Set",
         "Bricks Set",
         false,
         "Bricks Set"},
        {"home and end stop at the ends",
         {Qt::Key_Home, Qt::Key_Up, Qt::Key_Left, Qt::Key_End, Qt::Key_Right},
         "Winamp Old",
         "Winamp Old",
         false,
         "Winamp Old"},
        {"space keeps the chooser open",
         {Qt::Key_Down, Qt::Key_Space},
         "Clover",
         "Clover",
         false,
         "Clover"},
        {"tab to cancel", {Qt::Key_Down, Qt::Key_Tab}, "Clover", "Cancel", false, "Clover"},
        {"tab round to the table",
         {Qt::Key_Down, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab},
         "Clover",
         "Clover",
         false,
         "Clover"},
        {"back tab to select", {Qt::Key_Backtab}, "Citrus", "Select", false, "Citrus"},
        {"enter in the table selects",
         {Qt::Key_Down, Qt::Key_Return},
         "Clover",
         "",
         true,
         "Clover"},
        {"enter on cancel cancels",
         {Qt::Key_Down, Qt::Key_Tab, Qt::Key_Return},
         "Clover",
         "",
         true,
         "Citrus"},
        {"space on select selects",
         {Qt::Key_Down, Qt::Key_Backtab, Qt::Key_Space},
         "Clover",
         "",
         true,
         "Clover"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        settings_.store().put_string("Color Theme", "Citrus");
        loadtheme();
        Form34 chooser;
        chooser.show();
        QApplication::setActiveWindow(&chooser);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&chooser));
        QString marked;
        QString focused;
        for (const Qt::Key key : c.keys) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, key == Qt::Key_Backtab ? Qt::Key_Tab : key,
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            if (!chooser.isVisible()) {
                break;
            }
        }
        EXPECT_EQ(chooser.isVisible(), !c.closed);
        if (!c.closed) {
            const int index = label_of(chooser, QString::fromLatin1(c.marked));
            EXPECT_TRUE(highlighted(chooser.opcija(index)));
            EXPECT_EQ(current_theme_name(), c.marked);
            const QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            const QString focus_text = focus == chooser.Command1()   ? QStringLiteral("Select")
                                       : focus == chooser.Command2() ? QStringLiteral("Cancel")
                                       : qobject_cast<const QLabel*>(focus) != nullptr
                                           ? qobject_cast<const QLabel*>(focus)->text()
                                           : focus->objectName();
            EXPECT_EQ(focus_text, c.focused);
        }
        EXPECT_EQ(stored_theme(), c.theme_after);
    }
}

TEST_F(ThemeChooserTest, ShownModallyAndClosedBySelect) {
    bool was_modal = false;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<Form34*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        was_modal = chooser->isModal();
        chooser->opcija_Click(31);  // "Copper"
        chooser->Command1_Click();
    });
    show_theme_chooser(nullptr);
    EXPECT_TRUE(was_modal);
    EXPECT_EQ(stored_theme(), "Copper");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace corvanel
