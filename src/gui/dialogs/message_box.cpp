// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextOption>

#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "gui/dialogs/color_theme.h"
#include "gui/widgets/twips.h"
#include "platform/app/app_state.h"

namespace corvanel {

namespace {

const QString crlf = QStringLiteral("\r\n");

// Design geometry of Form08 in twips.
constexpr int window_width = 6615;
constexpr int window_height = 915;
constexpr int label_left = 900, label_top = 120, label_width = 5655, label_height = 315;
constexpr int button1_left = 5700, button2_left = 4800, button_top = 540;
constexpr int button_width = 855, button_height = 315;
constexpr int icon_left = 60, icon_top = 60, icon_size = 720;
// Room added below the measured text, and between the text and the buttons.
constexpr int label_extra = 60;
constexpr int button_gap = 105;

// Words longer than this are broken once so that file paths fit the width.
constexpr int longest_word = 55;

MessageBoxInterceptor& interceptor() {
    static MessageBoxInterceptor function;
    return function;
}

// A long word is broken after its last "\" within the first 55 characters, or
// failing that its last "_", and only once.
QString break_long_word(const QString& word) {
    if (word.size() <= longest_word) {
        return word;
    }
    const QString head = word.left(longest_word);
    qsizetype position = head.lastIndexOf(QLatin1Char('\\'));
    if (position < 0) {
        position = head.lastIndexOf(QLatin1Char('_'));
    }
    if (position < 0) {
        return word;
    }
    return word.left(position + 1) + crlf + word.mid(position + 1);
}

QLabel* make_icon(QWidget* parent, int kind) {
    auto* icon = new QLabel(parent);
    icon->setGeometry(twips_to_pixels(icon_left), twips_to_pixels(icon_top),
                      twips_to_pixels(icon_size), twips_to_pixels(icon_size));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(message_icon(kind, parent->devicePixelRatioF()));
    icon->hide();
    return icon;
}

// The height a window may take on the screen it will be shown on, less room
// for the window frame and title bar.
int tallest_window(const QWidget* window) {
    constexpr int frame_allowance = 64;
    const QScreen* screen = window->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return std::numeric_limits<int>::max();
    }
    return screen->availableGeometry().height() - frame_allowance;
}

// Text for display in a Qt control, whose line break is LF.
QString display_text(const QString& text) {
    QString shown = text;
    shown.replace(crlf, QStringLiteral("\n"));
    return shown;
}

}  // namespace

QFont dialog_font() {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Segoe UI"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Noto Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

QString prepare_message_text(const QString& text) {
    QString body = text;
    if (body.endsWith(crlf)) {
        body.chop(crlf.size());
    }
    QStringList lines = body.split(crlf);
    for (QString& line : lines) {
        QStringList words = line.split(QLatin1Char(' '));
        for (QString& word : words) {
            word = break_long_word(word);
        }
        line = words.join(QLatin1Char(' '));
    }
    return lines.join(crlf);
}

QPixmap message_icon(int kind, qreal device_pixel_ratio) {
    const QColor disc_blue(22, 96, 196);
    const QColor disc_red(200, 32, 32);
    const QColor border(0, 0, 0, 90);
    if (kind != message_kind::kTick && kind != message_kind::kQuestion &&
        kind != message_kind::kError && kind != message_kind::kInformation) {
        return {};
    }
    const int side = static_cast<int>(std::ceil(48 * device_pixel_ratio));
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(device_pixel_ratio);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto disc = [&](const QColor& colour) {
        painter.setPen(QPen(border, 1.5));
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(2.5, 2.5, 43, 43));
        painter.setBrush(Qt::NoBrush);
    };
    const auto white_pen = [&](qreal width) {
        painter.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    };

    switch (kind) {
        case message_kind::kTick: {
            QPainterPath tick;
            tick.moveTo(9, 26);
            tick.lineTo(19, 36);
            tick.lineTo(39, 12);
            painter.setPen(QPen(QColor(0, 90, 0), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(tick);
            painter.setPen(
                QPen(QColor(40, 190, 40), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(tick);
            break;
        }
        case message_kind::kInformation:
            disc(disc_blue);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPointF(24, 13.5), 3.5, 3.5);
            painter.drawRoundedRect(QRectF(20.5, 20, 7, 18), 2, 2);
            break;
        case message_kind::kError:
            disc(disc_red);
            white_pen(6);
            painter.drawLine(QPointF(16, 16), QPointF(32, 32));
            painter.drawLine(QPointF(32, 16), QPointF(16, 32));
            break;
        case message_kind::kQuestion: {
            disc(disc_blue);
            QPainterPath hook;
            hook.moveTo(16.5, 18);
            hook.arcTo(QRectF(16.5, 10.5, 15, 15), 180, -235);
            hook.lineTo(24, 29);
            white_pen(5);
            painter.drawPath(hook);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPointF(24, 36.5), 3.2, 3.2);
            break;
        }
        default:
            break;
    }
    return pixmap;
}

Form08::Form08(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setFont(dialog_font());
    setWindowTitle(QStringLiteral("title"));
    const QString tooltip = QStringLiteral("Click to copy to Clipboard...");

    lab_title_ = new QLabel(QStringLiteral("title"), this);
    lab_title_->setGeometry(twips_to_pixels(label_left), twips_to_pixels(label_top),
                            twips_to_pixels(label_width), twips_to_pixels(label_height));
    lab_title_->setWordWrap(true);
    lab_title_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lab_title_->setTextFormat(Qt::PlainText);
    lab_title_->setToolTip(tooltip);
    lab_title_->installEventFilter(this);

    // The text is shown in a read-only text box laid over the label that
    // measured it. It never takes the keyboard focus: keys go to the buttons.
    txt_title_ = new QTextEdit(this);
    txt_title_->setGeometry(twips_to_pixels(label_left), twips_to_pixels(480),
                            twips_to_pixels(1455), twips_to_pixels(label_height));
    txt_title_->setFrameShape(QFrame::NoFrame);
    txt_title_->setReadOnly(true);
    txt_title_->setTextInteractionFlags(Qt::NoTextInteraction);
    txt_title_->setFocusPolicy(Qt::NoFocus);
    txt_title_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txt_title_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txt_title_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txt_title_->setLineWrapMode(QTextEdit::FixedPixelWidth);
    txt_title_->setLineWrapColumnOrWidth(twips_to_pixels(label_width));
    txt_title_->document()->setDocumentMargin(0);
    txt_title_->setPlainText(QStringLiteral("title"));
    txt_title_->setToolTip(tooltip);
    txt_title_->viewport()->setToolTip(tooltip);
    txt_title_->viewport()->setCursor(Qt::PointingHandCursor);
    txt_title_->viewport()->installEventFilter(this);
    txt_title_->installEventFilter(this);

    command2_ = new QPushButton(QStringLiteral("No"), this);
    command2_->setGeometry(twips_to_pixels(button2_left), twips_to_pixels(button_top),
                           twips_to_pixels(button_width), twips_to_pixels(button_height));
    command2_->hide();
    command2_->installEventFilter(this);
    connect(command2_, &QPushButton::clicked, this, &Form08::Command2_Click);

    command1_ = new QPushButton(QStringLiteral("OK"), this);
    command1_->setGeometry(twips_to_pixels(button1_left), twips_to_pixels(button_top),
                           twips_to_pixels(button_width), twips_to_pixels(button_height));
    command1_->setDefault(true);
    command1_->installEventFilter(this);
    connect(command1_, &QPushButton::clicked, this, &Form08::Command1_Click);
    setTabOrder(command1_, command2_);

    img_ok_ = make_icon(this, message_kind::kTick);
    img_info_ = make_icon(this, message_kind::kInformation);
    img_err_ = make_icon(this, message_kind::kError);
    img_ask_ = make_icon(this, message_kind::kQuestion);

    setFixedSize(twips_to_pixels(window_width), twips_to_pixels(window_height));
    settheme();
    command1_->setFocus();
}

void Form08::set_message(const QString& text, int kind, const QString& caption) {
    message_text_ = text;
    default_second_ = (kind & message_kind::kDefaultButton2) != 0;
    message_kind_ = kind & ~message_kind::kDefaultButton2;
    setWindowTitle(caption.isEmpty() ? window_title() : caption);
    prepare_display();
}

void Form08::prepare_display() {
    // Gaps of the design layout, kept whatever the text's height.
    const int bottom_gap = twips_to_pixels(window_height - button_top);
    const int right_gap = twips_to_pixels(window_width - (button1_left + button_width));
    const int button1_from_right = twips_to_pixels(window_width - button1_left);
    const int button2_from_right = twips_to_pixels(window_width - button2_left);

    prepared_text_ = prepare_message_text(message_text_);
    const QString shown = display_text(prepared_text_);

    // The text keeps its width and grows downwards; an empty text still takes
    // one line. One line of text is centred; a text with line breaks of its
    // own reads better left-aligned.
    const int left = twips_to_pixels(label_left);
    const int top = twips_to_pixels(label_top);
    const int width = twips_to_pixels(label_width);
    const Qt::Alignment alignment =
        (message_text_.contains(crlf) ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignTop;
    lab_title_->setText(shown);
    lab_title_->setAlignment(alignment);

    // Lines wrap at spaces, and inside a word only where the word alone is
    // wider than the box: a word that ran past the edge would hide part of
    // the message. The box is measured with the same layout that shows it.
    QTextDocument* document = txt_title_->document();
    QTextOption option = document->defaultTextOption();
    option.setAlignment(alignment);
    document->setDefaultTextOption(option);
    txt_title_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txt_title_->setLineWrapColumnOrWidth(width);
    txt_title_->setPlainText(shown);
    int text_height = static_cast<int>(std::ceil(document->size().height()));

    // A text taller than the screen would push the buttons out of reach: the
    // window then stops at the screen's height and the text scrolls, wrapped
    // to the width left beside the scroll bar.
    const int around_text =
        top + twips_to_pixels(label_extra) + twips_to_pixels(button_gap) + bottom_gap;
    const int highest_text = tallest_window(this) - around_text;
    if (text_height > highest_text) {
        txt_title_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        txt_title_->setLineWrapColumnOrWidth(
            width -
            txt_title_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, txt_title_));
        text_height = highest_text;
    }

    const int height = text_height + twips_to_pixels(label_extra);
    lab_title_->setGeometry(left, top, width, height);
    txt_title_->setGeometry(lab_title_->geometry());
    txt_title_->raise();

    const int buttons_top = top + height + twips_to_pixels(button_gap);
    const int new_height = buttons_top + bottom_gap;
    const int new_width = left + width + right_gap;
    command1_->move(new_width - button1_from_right, buttons_top);
    command2_->move(new_width - button2_from_right, buttons_top);

    img_ok_->setVisible(message_kind_ == message_kind::kTick);
    img_err_->setVisible(message_kind_ == message_kind::kError);
    img_info_->setVisible(message_kind_ == message_kind::kInformation);
    img_ask_->setVisible(message_kind_ == message_kind::kQuestion);
    command2_->setVisible(message_kind_ == message_kind::kQuestion);
    command1_->setText(message_kind_ == message_kind::kQuestion ? QStringLiteral("Yes")
                                                                : QStringLiteral("OK"));
    if (message_kind_ == message_kind::kQuestion) {
        // "Yes" on the left, "No" on the right.
        const int yes_left = command2_->x();
        command2_->move(command1_->x(), buttons_top);
        command1_->move(yes_left, buttons_top);
    }
    const bool second_default = default_second_ && message_kind_ == message_kind::kQuestion;
    command1_->setDefault(!second_default);
    command2_->setDefault(second_default);
    (second_default ? command2_ : command1_)->setFocus();

    setFixedSize(new_width, new_height);
}

void Form08::settheme() {
    // Before the first theme is loaded the roles are all black; dialog_colors
    // then gives readable ones.
    const ColorRoles roles = dialog_colors();
    paint_background(this, roles.col_window);
    paint_control(lab_title_, roles.col_prompt_back, roles.col_prompt_text);
    paint_control(txt_title_, roles.col_prompt_back, roles.col_prompt_text);
    paint_control(txt_title_->viewport(), roles.col_prompt_back, roles.col_prompt_text);
}

QString Form08::clipboard_text() const {
#ifdef Q_OS_WIN
    return prepared_text_;
#else
    return display_text(prepared_text_);
#endif
}

void Form08::Command1_Click() {
    message_result_ =
        message_kind_ == message_kind::kQuestion ? message_result::kYes : message_result::kOk;
    done(message_result_);
}

void Form08::Command2_Click() {
    message_result_ = message_result::kNo;
    done(message_result_);
}

void Form08::lab_title_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(clipboard_text());
}

void Form08::reject() {
    message_result_ =
        message_kind_ == message_kind::kQuestion ? message_result::kNo : message_result::kOk;
    done(message_result_);
}

bool Form08::Form_KeyDown(int key) {
    switch (key) {
        case Qt::Key_N:
            Command2_Click();
            return true;
        case Qt::Key_Y:
        case Qt::Key_Z:
            Command1_Click();
            return true;
        default:
            return false;
    }
}

void Form08::keyPressEvent(QKeyEvent* event) {
    if (Form_KeyDown(event->key())) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool Form08::eventFilter(QObject* watched, QEvent* event) {
    // The window sees the letter keys before its controls do.
    if (event->type() == QEvent::KeyPress) {
        if (Form_KeyDown(static_cast<QKeyEvent*>(event)->key())) {
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
               (watched == lab_title_ || watched == txt_title_->viewport())) {
        lab_title_Click();
        return true;
    } else if (event->type() == QEvent::FocusIn && watched == txt_title_) {
        (command2_->isDefault() ? command2_ : command1_)->setFocus();
    }
    return QDialog::eventFilter(watched, event);
}

namespace {

int& open_box_count() {
    static int count = 0;
    return count;
}

struct OpenBox {
    OpenBox() { ++open_box_count(); }
    ~OpenBox() { --open_box_count(); }
    OpenBox(const OpenBox&) = delete;
    OpenBox& operator=(const OpenBox&) = delete;
};

}  // namespace

int open_message_boxes() {
    return open_box_count();
}

int mymsgbox(const QString& text, int kind, const QString& caption) {
    const QString shown_caption = caption.isEmpty() ? window_title() : caption;
    const OpenBox open;
    if (interceptor()) {
        return interceptor()(text, kind, shown_caption);
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        // No window can be shown: the message goes to the error stream, and a
        // question is answered "No", the answer that changes nothing.
        std::fprintf(stderr, "%s: %s\n", qPrintable(shown_caption), qPrintable(display_text(text)));
        return (kind & ~message_kind::kDefaultButton2) == message_kind::kQuestion
                   ? message_result::kNo
                   : message_result::kOk;
    }
    Form08 box(QApplication::activeWindow());
    box.set_message(text, kind, caption);
    box.exec();
    return box.message_result();
}

void set_message_box_interceptor(MessageBoxInterceptor function) {
    interceptor() = std::move(function);
}

}  // namespace corvanel
