// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/input_box.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTextDocument>
#include <QTextOption>

#include <cmath>
#include <cstdio>
#include <utility>

#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "gui/widgets/twips.h"
#include "platform/app/app_state.h"

namespace corvanel {

namespace {

// Design geometry of Form07 in twips.
constexpr int window_width = 4695;
constexpr int window_height = 1335;
constexpr int label_left = 120, label_top = 120, label_width = 4455, label_height = 315;
constexpr int field_left = 180, field_top = 540, field_width = 4335, field_height = 315;
constexpr int ok_left = 3660, cancel_left = 2760, button_top = 960;
constexpr int button_width = 855, button_height = 315;
// Room added below the measured prompt; gaps from the prompt to the field and
// to the buttons.
constexpr int label_extra = 60;
constexpr int field_gap = 105;
constexpr int button_gap = 525;

// The prompt label. It wraps as the message box's text does: at spaces, and
// inside a word only where the word alone is wider than the label, so that a
// long path or port name is never cut off at the right edge. Its height for
// a width comes from the same layout that draws it.
class PromptLabel final : public QLabel {
public:
    using QLabel::QLabel;

    [[nodiscard]] int heightForWidth(int width) const override {
        QTextDocument document;
        lay_out(document, width);
        return static_cast<int>(std::ceil(document.size().height()));
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        QTextDocument document;
        lay_out(document, contentsRect().width());
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = palette();
        context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
        painter.translate(contentsRect().topLeft());
        document.documentLayout()->draw(&painter, context);
    }

private:
    void lay_out(QTextDocument& document, int width) const {
        document.setDefaultFont(font());
        document.setDocumentMargin(0);
        QTextOption option = document.defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setAlignment(Qt::AlignLeft);
        document.setDefaultTextOption(option);
        document.setPlainText(text());
        document.setTextWidth(width);
    }
};

InputBoxInterceptor& interceptor() {
    static InputBoxInterceptor function;
    return function;
}

}  // namespace

Form07::Form07(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setFont(dialog_font());
    setWindowTitle(QStringLiteral("title"));

    lab_title_ = new PromptLabel(QStringLiteral("title"), this);
    lab_title_->setGeometry(twips_rect(label_left, label_top, label_width, label_height));
    lab_title_->setWordWrap(true);
    lab_title_->setTextFormat(Qt::PlainText);
    lab_title_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // One line: Enter in the field presses "OK".
    txt_input_ = new QLineEdit(QStringLiteral("input"), this);
    txt_input_->setGeometry(twips_rect(field_left, field_top, field_width, field_height));
    txt_input_->setAlignment(Qt::AlignLeft);

    command2_ = new QPushButton(QStringLiteral("Cancel"), this);
    command2_->setGeometry(twips_rect(cancel_left, button_top, button_width, button_height));
    connect(command2_, &QPushButton::clicked, this, &Form07::Command2_Click);

    command1_ = new QPushButton(QStringLiteral("OK"), this);
    command1_->setGeometry(twips_rect(ok_left, button_top, button_width, button_height));
    command1_->setDefault(true);
    connect(command1_, &QPushButton::clicked, this, &Form07::Command1_Click);

    setTabOrder(txt_input_, command1_);
    setTabOrder(command1_, command2_);

    setFixedSize(twips_to_pixels(window_width), twips_to_pixels(window_height));
    settheme();
    txt_input_->setFocus();
}

void Form07::set_prompt(const QString& prompt, const QString& caption,
                        const QString& default_text) {
    prompt_text_ = prompt;
    answer_ = default_text;
    setWindowTitle(caption.isEmpty() ? window_title() : caption);
    prepare_display();
}

void Form07::prepare_display() {
    const int bottom_gap = twips_to_pixels(window_height - button_top);

    // The prompt is shown as given (no word breaking); the label keeps its
    // width and grows downwards.
    QString shown = prompt_text_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int left = twips_to_pixels(label_left);
    const int top = twips_to_pixels(label_top);
    const int width = twips_to_pixels(label_width);
    lab_title_->setText(shown.isEmpty() ? QStringLiteral(" ") : shown);
    const int height = lab_title_->heightForWidth(width) + twips_to_pixels(label_extra);
    lab_title_->setText(shown);
    lab_title_->setGeometry(left, top, width, height);

    txt_input_->move(txt_input_->x(), top + height + twips_to_pixels(field_gap));
    const int buttons_top = top + height + twips_to_pixels(button_gap);
    command1_->move(command1_->x(), buttons_top);
    command2_->move(command2_->x(), buttons_top);
    setFixedSize(twips_to_pixels(window_width), buttons_top + bottom_gap);

    // All of the value selected with the caret at its start, so that typing
    // replaces it and a long value shows its beginning.
    txt_input_->setText(answer_);
    txt_input_->setSelection(static_cast<int>(answer_.size()), -static_cast<int>(answer_.size()));
}

void Form07::settheme() {
    // Before the first theme is loaded the roles are all black; dialog_colors
    // then gives readable ones.
    const ColorRoles roles = dialog_colors();
    paint_background(this, roles.col_caption_back);
    paint_control(lab_title_, roles.col_prompt_back, roles.col_prompt_text);
    paint_control(txt_input_, roles.col_field_back, roles.col_field_text);
}

void Form07::Command1_Click() {
    answer_ = txt_input_->text();
    accept();
}

void Form07::Command2_Click() {
    answer_.clear();
    QDialog::reject();
}

void Form07::reject() {
    Command2_Click();
}

QString myinputbox(const QString& prompt, const QString& caption, const QString& default_text) {
    const QString shown_caption = caption.isEmpty() ? window_title() : caption;
    if (interceptor()) {
        return interceptor()(prompt, shown_caption, default_text);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // Nobody can type an answer: the question is cancelled, which makes
        // the caller do nothing.
        std::fprintf(stderr, "%s: %s (cancelled)\n", qPrintable(shown_caption), qPrintable(prompt));
        return {};
    }
    Form07 box(QApplication::activeWindow());
    box.set_prompt(prompt, caption, default_text);
    box.exec();
    return box.answer();
}

void set_input_box_interceptor(InputBoxInterceptor function) {
    interceptor() = std::move(function);
}

}  // namespace corvanel
