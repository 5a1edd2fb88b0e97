// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gui/dialogs/color_theme.h"
#include "support/qt_test_support.h"

namespace corvanel {
namespace {

// Text-breaking rules, on the raw message and with CR LF line ends.
TEST(PrepareMessageText, RemovesOneTrailingLineEndAndBreaksLongWordsOnce) {
    struct Case {
        QString text;
        QString prepared;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"One line.", "One line."},
        {"Line\r\n", "Line"},
        {"Line\r\n\r\n", "Line\r\n"},
        {"First\r\nSecond", "First\r\nSecond"},
        {"Two  spaces stay", "Two  spaces stay"},
        // The last "\" within the first 55 characters takes the break.
        {"File C:\\hex\\" + QString(45, 'a') + "\\" + QString(20, 'b') + " missing",
         "File C:\\hex\\" + QString(45, 'a') + "\\\r\n" + QString(20, 'b') + " missing"},
        // A "\" beyond character 55 does not count; the one before does.
        {"C:\\" + QString(60, 'a') + "\\b", "C:\\\r\n" + QString(60, 'a') + "\\b"},
        // Without a "\", the last "_" within the first 55 characters.
        {QString(40, 'a') + "_" + QString(10, 'b') + "_" + QString(20, 'c'),
         QString(40, 'a') + "_" + QString(10, 'b') + "_\r\n" + QString(20, 'c')},
        // "\" is preferred to a later "_".
        {QString(10, 'a') + "\\" + QString(20, 'b') + "_" + QString(40, 'c'),
         QString(10, 'a') + "\\\r\n" + QString(20, 'b') + "_" + QString(40, 'c')},
        // Neither within the first 55 characters: the word stays whole.
        {QString(70, 'w'), QString(70, 'w')},
        {QString(56, 'w') + "\\x", QString(56, 'w') + "\\x"},
        // Exactly 55 characters is not long.
        {QString(30, 'a') + "\\" + QString(24, 'b'), QString(30, 'a') + "\\" + QString(24, 'b')},
        // Broken once only, even when the rest is still long.
        {"\\" + QString(120, 'a') + "\\" + "b", "\\\r\n" + QString(120, 'a') + "\\" + "b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(prepare_message_text(c.text), c.prepared) << c.text.toStdString();
    }
}

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensure_app();
        loadtheme_named(kDefaultThemeName);
    }
    void TearDown() override { set_message_box_interceptor({}); }

    // Shows a box through mymsgbox and lets `act` work on the open window.
    static int run_box(const QString& text, int kind, const std::function<void(Form08&)>& act,
                       const QString& caption = QString()) {
        bool acted = false;
        const int result = test::drive_modal<Form08, int>(
            [&] { return mymsgbox(text, kind, caption); }, act, acted);
        EXPECT_TRUE(acted);
        return result;
    }
};

TEST_F(MessageBoxTest, KeysAndButtonsGiveTheirResults) {
    struct Case {
        int kind;
        int key;
        Qt::KeyboardModifiers modifiers;
        int result;
    };
    const std::vector<Case> cases = {
        {0, Qt::Key_Return, Qt::NoModifier, 1},
        {0, Qt::Key_Y, Qt::NoModifier, 1},
        {0, Qt::Key_Z, Qt::NoModifier, 1},
        {0, Qt::Key_N, Qt::NoModifier, 7},
        {0, Qt::Key_Escape, Qt::NoModifier, 1},
        {16, Qt::Key_N, Qt::ShiftModifier, 7},
        {64, Qt::Key_Enter, Qt::KeypadModifier, 1},
        {48, Qt::Key_Return, Qt::NoModifier, 1},
        {36, Qt::Key_Y, Qt::NoModifier, 1},
        {4, Qt::Key_Return, Qt::NoModifier, 6},
        {4, Qt::Key_Escape, Qt::NoModifier, 7},
        {4, Qt::Key_Y, Qt::NoModifier, 6},
        {4, Qt::Key_Z, Qt::ControlModifier, 6},
        {4, Qt::Key_N, Qt::NoModifier, 7},
        {4, Qt::Key_A, Qt::NoModifier, 7},  // other letters do nothing
        // With 256 added, "No" is the default: Return answers No, Y still Yes.
        {260, Qt::Key_Return, Qt::NoModifier, 7},
        {260, Qt::Key_Y, Qt::NoModifier, 6},
        {260, Qt::Key_Escape, Qt::NoModifier, 7},
    };
    for (const auto& c : cases) {
        const int result = run_box("Question?", c.kind, [&](Form08& box) {
            QWidget* target = box.focusWidget() != nullptr ? box.focusWidget() : &box;
            QTest::keyClick(target, static_cast<Qt::Key>(c.key), c.modifiers);
            if (c.key == Qt::Key_A) {
                EXPECT_TRUE(box.isVisible());
                box.close();
            }
        });
        EXPECT_EQ(result, c.result) << "kind " << c.kind << " key " << c.key;
    }
}

TEST_F(MessageBoxTest, ClickingTheButtonsAndClosingTheFrame) {
    EXPECT_EQ(
        run_box("x", 4, [](Form08& box) { QTest::mouseClick(box.Command1(), Qt::LeftButton); }), 6);
    EXPECT_EQ(
        run_box("x", 4, [](Form08& box) { QTest::mouseClick(box.Command2(), Qt::LeftButton); }), 7);
    EXPECT_EQ(
        run_box("x", 16, [](Form08& box) { QTest::mouseClick(box.Command1(), Qt::LeftButton); }),
        1);
    // An overwrite question closed through the frame must not overwrite.
    EXPECT_EQ(run_box("Overwrite?", 4, [](Form08& box) { box.close(); }), 7);
    EXPECT_EQ(run_box("Done.", 0, [](Form08& box) { box.close(); }), 1);
    // Keys are not left over from an earlier box: a fresh box starts clean.
    EXPECT_EQ(run_box("Info", 64, [](Form08& box) { box.close(); }), 1);
}

TEST_F(MessageBoxTest, KindsChooseIconAndButtons) {
    struct Case {
        int kind;
        const char* icon;  // the one icon shown, "" for none
        bool two_buttons;
    };
    const std::vector<Case> cases = {
        {0, "ok", false}, {4, "ask", true}, {16, "err", false}, {64, "info", false},
        {48, "", false},  {36, "", false},  {-1, "", false},
    };
    for (const auto& c : cases) {
        Form08 box;
        box.set_message("Text", c.kind, "");
        box.show();
        const QString icon = c.icon;
        EXPECT_EQ(box.img_ok()->isVisible(), icon == "ok") << c.kind;
        EXPECT_EQ(box.img_ask()->isVisible(), icon == "ask") << c.kind;
        EXPECT_EQ(box.img_err()->isVisible(), icon == "err") << c.kind;
        EXPECT_EQ(box.img_info()->isVisible(), icon == "info") << c.kind;
        EXPECT_EQ(box.Command2()->isVisible(), c.two_buttons) << c.kind;
        EXPECT_EQ(box.Command1()->text(), c.two_buttons ? "Yes" : "OK") << c.kind;
        if (c.two_buttons) {
            EXPECT_EQ(box.Command2()->text(), "No");
            EXPECT_LT(box.Command1()->x(), box.Command2()->x()) << "Yes stands left of No";
        }
    }
    for (const int kind : {0, 4, 16, 64}) {
        const QImage image = message_icon(kind).toImage();
        EXPECT_EQ(image.size(), QSize(48, 48));
        EXPECT_NE(image.pixelColor(24, 24).alpha(), 0) << "the icon is drawn at its centre";
    }
    EXPECT_TRUE(message_icon(48).isNull());
}

TEST_F(MessageBoxTest, LayoutFollowsTheText) {
    // Design layout, in pixels: text at (60, 8), 377 wide; window 441 wide;
    // buttons 57 x 21, "OK" at 380 and "No" at 320 from the left.
    const QString one_line = "Chip erased.";
    const std::vector<QString> texts = {
        "",
        one_line,
        one_line + "\r\nSecond line",
        "Line\r\n\r\n",
        "Serial port list:\r\nCOM1\r\nCOM2\r\nCOM3\r\nCOM4\r\nCOM5\r\nCOM6\r\nCOM7",
        QString("word ").repeated(80),
        "Too long: " + QString(70, 'w') + " end",
        "Cannot open C:\\Documents and Settings\\someone\\My Documents\\" + QString(40, 'f') +
            ".hex",
    };
    int one_line_height = 0;
    for (const auto& text : texts) {
        Form08 box;
        box.set_message(text, 0, "");
        box.show();
        const QRect label = box.lab_title()->geometry();
        const QSizeF shown = box.txt_title()->document()->size();
        EXPECT_EQ(label, QRect(60, 8, 377, std::ceil(shown.height()) + 4)) << text.toStdString();
        EXPECT_EQ(box.txt_title()->geometry(), label);
        EXPECT_EQ(box.txt_title()->toPlainText(),
                  QString(box.prepared_text()).replace("\r\n", "\n"));
        // All of the text is shown: nothing runs past the right edge, and a
        // text that wraps at spaces measures what the label measures.
        EXPECT_LE(box.txt_title()->document()->idealWidth(), 377) << text.toStdString();
        if (!text.contains("www")) {
            EXPECT_EQ(std::ceil(shown.height()), box.lab_title()->heightForWidth(377))
                << text.toStdString();
        }
        EXPECT_EQ(box.Command1()->geometry(), QRect(380, label.bottom() + 1 + 7, 57, 21));
        EXPECT_EQ(box.size(), QSize(441, box.Command1()->y() + 25));
        EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "fixed border";
        // Only a text without line breaks of its own is centred.
        const bool centred = !text.contains("\r\n");
        EXPECT_EQ(box.lab_title()->alignment() & Qt::AlignHorizontal_Mask,
                  centred ? Qt::AlignHCenter : Qt::AlignLeft);
        EXPECT_EQ(
            box.txt_title()->document()->defaultTextOption().alignment() & Qt::AlignHorizontal_Mask,
            centred ? Qt::AlignHCenter : Qt::AlignLeft);
        if (text == one_line) {
            one_line_height = box.height();
        }
    }

    // Every extra line makes the window taller by one line of text.
    Form08 one;
    one.set_message("a\r\nb", 0, "");
    Form08 three;
    three.set_message("a\r\nb\r\nc\r\nd", 0, "");
    EXPECT_EQ(three.height() - one.height(), 2 * one.fontMetrics().lineSpacing());
    EXPECT_GT(one.height(), one_line_height);

    // A kind-4 box exchanges the buttons: "Yes" where "No" stood.
    Form08 question;
    question.set_message("Overwrite?", 4, "");
    EXPECT_EQ(question.Command1()->x(), 320);
    EXPECT_EQ(question.Command2()->x(), 380);
    EXPECT_EQ(question.Command2()->y(), question.Command1()->y());
}

TEST_F(MessageBoxTest, CaptionDefaultsToTheProductTitle) {
    Form08 box;
    box.set_message("x", 0, "");
    EXPECT_EQ(box.windowTitle(), "Tavrelix Corvanel");
    box.set_message("x", 0, "Other");
    EXPECT_EQ(box.windowTitle(), "Other");
    // The designed face may be missing; a face that exists stands in for it.
    const QFontInfo face(box.txt_title()->font());
    EXPECT_TRUE(QFontDatabase::families().contains(face.family())) << face.family().toStdString();
    EXPECT_EQ(face.pointSize(), 9);
}

TEST_F(MessageBoxTest, ClickingTheTextCopiesThePreparedText) {
    const QString word = "C:\\" + QString(60, 'p') + "\\file.hex";
    const QString text = "Cannot read " + word + "\r\nLine 2\r\n";
    Form08 box;
    box.set_message(text, 16, "");
    box.show();
    QGuiApplication::clipboard()->setText("old");
    QTest::mouseClick(box.txt_title()->viewport(), Qt::LeftButton);
#ifdef Q_OS_WIN
    const QString expected = "Cannot read C:\\\r\n" + QString(60, 'p') + "\\file.hex\r\nLine 2";
#else
    const QString expected = "Cannot read C:\\\n" + QString(60, 'p') + "\\file.hex\nLine 2";
#endif
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    EXPECT_TRUE(box.isVisible()) << "copying does not close the box";

    QGuiApplication::clipboard()->setText("old");
    QTest::mouseClick(box.lab_title(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    EXPECT_EQ(box.txt_title()->toolTip(), "Click to copy to Clipboard...");
}

TEST_F(MessageBoxTest, TextTakesThePromptColoursOfTheTheme) {
    loadtheme_named("Mono Dark");
    Form08 box;
    box.set_message("Dark", 64, "");
    const QPalette palette = box.txt_title()->viewport()->palette();
    EXPECT_EQ(palette.color(QPalette::Base), QColor(28, 28, 28));
    EXPECT_EQ(box.txt_title()->palette().color(QPalette::Text), QColor(231, 231, 231));
    EXPECT_EQ(box.palette().color(QPalette::Window), QColor(58, 58, 58));
}

TEST_F(MessageBoxTest, TextTallerThanTheScreenScrollsAndKeepsTheButtonsVisible) {
    const int screen_height = QGuiApplication::primaryScreen()->availableGeometry().height();
    QStringList lines;
    for (int n = 1; n <= 400; ++n) {
        lines << QStringLiteral("Address %1 differs: read 0000h, expected 3FFFh.").arg(n);
    }
    struct Case {
        QString text;
        bool scrolls;
    };
    const std::vector<Case> cases = {
        {"Chip verify failed.", false},
        {lines.mid(0, 10).join("\r\n"), false},
        {lines.join("\r\n"), true},
        {QString("word ").repeated(9000), true},  // one paragraph, wrapped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(40).toStdString());
        Form08 box;
        box.set_message(c.text, 16, "");
        box.show();
        QApplication::processEvents();
        QScrollBar* bar = box.txt_title()->verticalScrollBar();
        EXPECT_LE(box.height(), screen_height);
        EXPECT_LE(box.Command1()->geometry().bottom(), box.height() - 1);
        EXPECT_TRUE(box.Command1()->isVisible());
        EXPECT_EQ(bar->isVisible(), c.scrolls);
        if (c.scrolls) {
            // All of the text can be scrolled into view, and no line runs
            // under the scroll bar.
            const QTextDocument* document = box.txt_title()->document();
            EXPECT_GE(bar->maximum() + box.txt_title()->viewport()->height(),
                      static_cast<int>(document->size().height()) - 1);
            EXPECT_LE(document->idealWidth(), box.txt_title()->viewport()->width());
            bar->setValue(bar->maximum());
            EXPECT_EQ(bar->value(), bar->maximum());
            EXPECT_GT(bar->maximum(), 0);
        } else {
            EXPECT_EQ(box.txt_title()->height(),
                      std::ceil(box.txt_title()->document()->size().height()) + 4);
        }
    }
}

// A device database error is shown before any theme is loaded, while every
// colour role is still black.
TEST(MessageBoxBeforeTheme, StartUpErrorIsReadable) {
    test::ensure_app();
    unload_theme();
    ASSERT_FALSE(theme_loaded());
    ASSERT_EQ(colors().col_prompt_text, colors().col_prompt_back) << "all black at start-up";
    Form08 box;
    box.set_message(
        "Device database corvaneldevices.txt, line 3: an algorithm definition needs "
        "a colon before its instructions.\r\nerasealgdef 3 begin,end",
        16, "");
    const QPalette text = box.txt_title()->viewport()->palette();
    EXPECT_GE(contrast_ratio(text.color(QPalette::Text), text.color(QPalette::Base)), 4.5);
    const QPalette label = box.lab_title()->palette();
    EXPECT_GE(contrast_ratio(label.color(QPalette::WindowText), label.color(QPalette::Window)),
              4.5);
    // As drawn: the darkest and lightest pixels of the text area are far apart.
    box.show();
    QApplication::processEvents();
    const QImage shot = box.txt_title()->viewport()->grab().toImage();
    const QColor back = shot.pixelColor(shot.width() - 2, shot.height() - 2);
    double best = 1.0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            best = std::max(best, contrast_ratio(shot.pixelColor(x, y), back));
        }
    }
    EXPECT_GE(best, 4.5);
    loadtheme_named(kDefaultThemeName);
}

TEST_F(MessageBoxTest, InterceptorAnswersInsteadOfTheWindow) {
    std::vector<QString> seen;
    set_message_box_interceptor([&](const QString& text, int kind, const QString& caption) {
        seen.push_back(text + "|" + QString::number(kind) + "|" + caption);
        return message_result::kNo;
    });
    EXPECT_EQ(mymsgbox("Overwrite?", 4), 7);
    EXPECT_EQ(mymsgbox("Hi", 0, "Caption"), 7);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(seen, (std::vector<QString>{"Overwrite?|4|Tavrelix Corvanel", "Hi|0|Caption"}));
}

}  // namespace
}  // namespace corvanel
