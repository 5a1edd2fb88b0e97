// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/input_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

#include "gui/dialogs/color_theme.h"
#include "support/qt_test_support.h"

namespace corvanel {
namespace {

class InputBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        loadtheme_named(kDefaultThemeName);
    }
    void TearDown() override { set_input_box_interceptor({}); }

    // Opens a box through myinputbox and lets `act` work on the open window.
    static QString run_box(const QString& default_text, const std::function<void(Form07&)>& act) {
        bool acted = false;
        const QString answer = test::drive_modal<Form07, QString>(
            [&] {
                return myinputbox("Please select programmer baud rate [1200-56000].", "",
                                  default_text);
            },
            act, acted);
        EXPECT_TRUE(acted);
        return answer;
    }
};

TEST_F(InputBoxTest, OkGivesTheFieldAndCancelGivesNothing) {
    const auto click = [](QPushButton* (Form07::*button)() const) {
        return [button](Form07& box) { QTest::mouseClick((box.*button)(), Qt::LeftButton); };
    };
    const auto type = [](const char* keys, int final_key) {
        return [keys, final_key](Form07& box) {
            QTest::keyClicks(box.txt_input(), keys);
            QTest::keyClick(box.txt_input(), static_cast<Qt::Key>(final_key));
        };
    };
    struct Case {
        const char* name;
        std::function<void(Form07&)> act;
        QString answer;
    };
    const std::vector<Case> cases = {
        {"OK without typing", click(&Form07::Command1), "56000"},
        {"Enter without typing", type("", Qt::Key_Return), "56000"},
        {"typing replaces the value", type("9600", Qt::Key_Return), "9600"},
        {"Cancel with text", click(&Form07::Command2), ""},
        {"Escape after typing", type("19200", Qt::Key_Escape), ""},
        {"frame close", [](Form07& box) { box.close(); }, ""},
        {"OK on an emptied field",
         [](Form07& box) {
             box.txt_input()->clear();
             QTest::mouseClick(box.Command1(), Qt::LeftButton);
         },
         ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run_box("56000", c.act), c.answer) << c.name;
    }
}

TEST_F(InputBoxTest, DefaultValueIsSelectedWithTheCaretAtItsStart) {
    Form07 box;
    box.set_prompt("Enter new programming time in ms [1-30].", "", "10");
    EXPECT_EQ(box.txt_input()->text(), "10");
    EXPECT_EQ(box.txt_input()->selectedText(), "10");
    EXPECT_EQ(box.txt_input()->cursorPosition(), 0);
    EXPECT_EQ(box.windowTitle(), "Tavrelix Corvanel");
    EXPECT_EQ(box.answer(), "10");
}

TEST_F(InputBoxTest, LongerPromptMovesFieldAndButtonsDown) {
    // Design layout in pixels: prompt at (8, 8), 297 wide; window 313 wide;
    // field 12 from the left, 289 wide; "OK" at 244, "Cancel" at 184.
    const QString ports =
        "Please select programmer serial port number [1-16]:\r\n\r\n"
        "The list of COM ports that can be opened:\r\nCOM1\r\nCOM3\r\nCOM4";
    const std::vector<QString> prompts = {"", "Please select programmer baud rate [1200-56000].",
                                          ports, QString("long prompt ").repeated(30)};
    int previous_height = 0;
    for (const auto& prompt : prompts) {
        Form07 box;
        box.set_prompt(prompt, "", "1");
        const QRect label = box.lab_title()->geometry();
        EXPECT_EQ(label, QRect(8, 8, 297, box.lab_title()->heightForWidth(297) + 4));
        const int below = label.bottom() + 1;
        EXPECT_EQ(box.txt_input()->geometry(), QRect(12, below + 7, 289, 21));
        EXPECT_EQ(box.Command1()->geometry(), QRect(244, below + 35, 57, 21));
        EXPECT_EQ(box.Command2()->geometry(), QRect(184, below + 35, 57, 21));
        EXPECT_EQ(box.size(), QSize(313, below + 35 + 25));
        EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed border";
        EXPECT_GE(box.height(), previous_height);
        previous_height = box.height();
    }

    // Each extra prompt line adds one line of height to the window.
    Form07 two;
    two.set_prompt("a\r\nb", "", "");
    Form07 five;
    five.set_prompt("a\r\nb\r\nc\r\nd\r\ne", "", "");
    EXPECT_EQ(five.height() - two.height(), 3 * two.fontMetrics().lineSpacing());
}

// The width of the ink on each line of a label's image: from the first to the
// last column in which some pixel differs clearly from the background.
int inked_width(const QImage& image, const QColor& back, int from_y, int to_y) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = std::max(0, from_y); y < std::min(image.height(), to_y); ++y) {
            if (contrast_ratio(image.pixelColor(x, y), back) > 2.0) {
                first = first < 0 ? x : first;
                last = x;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

TEST_F(InputBoxTest, WordWiderThanThePromptWrapsInsideTheLabel) {
    const QString word = QString("/dev/serial/by-id/usb-") + QString(90, 'x');
    const std::vector<QString> prompts = {"Port: " + word, word, "a\r\n" + word + " b"};
    for (const auto& prompt : prompts) {
        SCOPED_TRACE(prompt.toStdString());
        Form07 box;
        box.set_prompt(prompt, "", "");
        box.show();
        QApplication::processEvents();
        QLabel* label = box.lab_title();
        const QFontMetrics metrics(label->font());
        ASSERT_GT(metrics.horizontalAdvance(word), label->width()) << "the word is too wide";
        // All of the prompt is drawn inside the label: the ink of its lines
        // adds up to the width of the text (less the blanks where it wrapped).
        const QImage shot = label->grab().toImage();
        const QColor back = label->palette().color(QPalette::Window);
        int drawn = 0;
        for (int top = 0; top < label->height(); top += metrics.lineSpacing()) {
            const int width = inked_width(shot, back, top, top + metrics.lineSpacing());
            EXPECT_LT(width, label->width()) << "ink reaches the right edge";
            drawn += width;
        }
        int text_width = 0;
        for (const QString& line : QString(prompt).split("\r\n")) {
            text_width += metrics.horizontalAdvance(line);
        }
        EXPECT_GE(drawn, text_width * 9 / 10);
        EXPECT_GT(box.txt_input()->y(), label->geometry().bottom());
    }
}

// The input box shown before any theme is loaded is readable too.
TEST(InputBoxBeforeTheme, PromptAndFieldAreReadable) {
    test::ensure_app();
    unload_theme();
    Form07 box;
    box.set_prompt("Please select programmer baud rate [1200-56000].", "", "56000");
    const QPalette prompt = box.lab_title()->palette();
    EXPECT_GE(contrast_ratio(prompt.color(QPalette::WindowText), prompt.color(QPalette::Window)),
              4.5);
    const QPalette field = box.txt_input()->palette();
    EXPECT_GE(contrast_ratio(field.color(QPalette::Text), field.color(QPalette::Base)), 4.5);
    loadtheme_named(kDefaultThemeName);
}

TEST_F(InputBoxTest, ColoursComeFromTheTheme) {
    loadtheme_named("Mono Dark");
    Form07 box;
    box.set_prompt("Prompt", "Caption", "x");
    EXPECT_EQ(box.windowTitle(), "Caption");
    EXPECT_EQ(box.palette().color(QPalette::Window), QColor(37, 37, 37));
    EXPECT_EQ(box.lab_title()->palette().color(QPalette::Window), QColor(28, 28, 28));
    EXPECT_EQ(box.lab_title()->palette().color(QPalette::WindowText), QColor(231, 231, 231));
    EXPECT_EQ(box.txt_input()->palette().color(QPalette::Base), QColor(0, 0, 0));
    EXPECT_EQ(box.txt_input()->palette().color(QPalette::Text), QColor(255, 255, 255));
}

TEST_F(InputBoxTest, InterceptorAnswersInsteadOfTheWindow) {
    set_input_box_interceptor(
        [](const QString& prompt, const QString& caption, const QString& default_text) {
            return prompt + "|" + caption + "|" + default_text;
        });
    EXPECT_EQ(myinputbox("Port?", "", "3"), "Port?|Tavrelix Corvanel|3");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace corvanel
