// SPDX-License-Identifier: GPL-3.0-or-later
// The colour theme chooser window.

#include "gui/dialogs/theme_chooser.h"
#include "gui/widgets/screen_fit.h"
#include "gui/widgets/twips.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

#include "platform/app/settings_store.h"

namespace corvanel {
namespace {

struct TableCell {
    const char* name;
    int index;  // number of the label opcija(index)
};

// The labels in reading order, two per row. The label numbers are not in
// reading order: each theme keeps the number it has always had.
constexpr std::array<std::array<TableCell, 2>, 23> kTable{{
    {{{"Amethyst", 21}, {"Arctica", 18}}},    {{{"Baby Jeans", 22}, {"Bitter Lemon", 0}}},
    {{{"Bloods", 23}, {"Blue Martini", 24}}}, {{{"Blueberry", 1}, {"Blueberry And Cream", 25}}},
    {{{"Blues", 9}, {"Bricks Set", 10}}},     {{{"Bubble Gum", 11}, {"Bullfrog", 26}}},
    {{{"Citrus", 27}, {"City Night", 28}}},   {{{"Clover", 29}, {"Coagulated", 30}}},
    {{{"Copper", 31}, {"Donatello", 19}}},    {{{"Dymunds", 32}, {"Emerald City", 33}}},
    {{{"Fort Knox", 34}, {"Gold Rush", 2}}},  {{{"Grapefruit", 35}, {"Grapes", 36}}},
    {{{"Halloween", 12}, {"HaXb0x", 37}}},    {{{"Jeans", 13}, {"Love Machine", 38}}},
    {{{"Mono Dark", 39}, {"Mono Lite", 40}}}, {{{"Night Vision", 41}, {"Peachy", 3}}},
    {{{"Popcorn", 15}, {"Powerpuff!", 42}}},  {{{"Original Dark", 20}, {"Original Lite", 4}}},
    {{{"Owayke", 16}, {"Rain Forest", 17}}},  {{{"Raspberry Club", 43}, {"Rosemary", 44}}},
    {{{"Sunflower", 45}, {"Toxic", 6}}},      {{{"Uranium", 14}, {"Varsity", 7}}},
    {{{"Winamp New", 8}, {"Winamp Old", 5}}},
}};

// The label numbers in reading order (left, right, next row).
constexpr std::array<int, 2 * kTable.size()> kReadingOrder = [] {
    std::array<int, 2 * kTable.size()> order{};
    for (std::size_t row = 0; row < kTable.size(); ++row) {
        order[2 * row] = kTable[row][0].index;
        order[2 * row + 1] = kTable[row][1].index;
    }
    return order;
}();

constexpr std::array<int, 2> kColumnLeft{120, 2340};
constexpr int kFirstRowTop = 120;
constexpr int kRowPitch = 300;
constexpr int kEntryWidth = 2115;
constexpr int kEntryHeight = 255;
constexpr int kClientWidth = 4575;
constexpr int kClientHeight = 7515;
constexpr int kButtonTop = 7080;
constexpr int kButtonWidth = 1035;
constexpr int kButtonHeight = 375;
constexpr int kSelectLeft = 3420;
constexpr int kCancelLeft = 2340;

}  // namespace

ChooserEntry::ChooserEntry(QWidget* parent) : QLabel(parent) {}

void ChooserEntry::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void ChooserEntry::mouseDoubleClickEvent(QMouseEvent* event) {
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit double_clicked();
    }
}

void ChooserEntry::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    // The table only ever takes the focus for the keyboard: the frame shows
    // even when it came by a click or when the chooser opened.
    option.state |= QStyle::State_KeyboardFocusChange;
    option.rect = rect().adjusted(2, 2, -2, -2);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void paint_chooser_entry(QWidget* entry, bool chosen) {
    const ColorRoles& roles = colors();
    if (chosen) {
        paint_control(entry, roles.col_highlight_back, roles.col_highlight_text);
    } else {
        paint_control(entry, roles.col_field_back, roles.col_field_text);
    }
}

QFont chooser_font() {
    QFont font(QStringLiteral("Microsoft Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

Form34::Form34(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Change Color Theme"));
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(chooser_font());
    setFixedSize(twips_to_pixels(kClientWidth), twips_to_pixels(kClientHeight));

    for (std::size_t row = 0; row < kTable.size(); ++row) {
        for (std::size_t column = 0; column < 2; ++column) {
            const TableCell& cell = kTable[row][column];
            auto* label = new ChooserEntry(this);
            label->setObjectName(QStringLiteral("opcija%1").arg(cell.index));
            label->setText(QString::fromLatin1(cell.name));
            label->setAlignment(Qt::AlignCenter);
            label->setFrameShape(QFrame::Box);
            label->setLineWidth(1);
            label->setGeometry(twips_to_pixels(kColumnLeft[column]),
                               twips_to_pixels(kFirstRowTop + kRowPitch * static_cast<int>(row)),
                               twips_to_pixels(kEntryWidth), twips_to_pixels(kEntryHeight));
            paint_control(label, Qt::white, Qt::black);
            label->setFocusPolicy(Qt::NoFocus);
            const int index = cell.index;
            connect(label, &ChooserEntry::clicked, this, [this, index] { opcija_Click(index); });
            opcija_[static_cast<std::size_t>(index)] = label;
        }
    }

    // Made in the Tab order, which follows the order of making: the table,
    // "Cancel", "Select" (as they stand, left to right).
    command2_ = new QPushButton(QStringLiteral("Cancel"), this);
    command2_->setGeometry(twips_to_pixels(kCancelLeft), twips_to_pixels(kButtonTop),
                           twips_to_pixels(kButtonWidth), twips_to_pixels(kButtonHeight));
    // Enter on the focused "Cancel" cancels; elsewhere Enter is "Select".
    command2_->setAutoDefault(true);
    connect(command2_, &QPushButton::clicked, this, &Form34::Command2_Click);

    command1_ = new QPushButton(QStringLiteral("Select"), this);
    command1_->setGeometry(twips_to_pixels(kSelectLeft), twips_to_pixels(kButtonTop),
                           twips_to_pixels(kButtonWidth), twips_to_pixels(kButtonHeight));
    command1_->setDefault(true);
    command1_->setAutoDefault(true);
    connect(command1_, &QPushButton::clicked, this, &Form34::Command1_Click);

    settheme();
    entry_theme_ = current_theme_name();
    // Kept so that "Cancel" also restores the colours when the theme in force
    // had an empty name, which on its own would leave the previewed colours.
    entry_roles_ = colors();
    highlight();
    int marked = kReadingOrder.front();
    for (const ChooserEntry* label : opcija_) {
        if (label->text() == entry_theme_) {
            marked = label->objectName().mid(6).toInt();
        }
    }
    set_focus_entry(marked);
    opcija(marked)->setFocus(Qt::OtherFocusReason);
}

void Form34::set_focus_entry(int index) {
    ChooserEntry* next = opcija(index);
    if (next == nullptr || index == focus_entry_) {
        return;
    }
    ChooserEntry* previous = opcija(focus_entry_);
    const bool had_focus = previous != nullptr && previous->hasFocus();
    next->setFocusPolicy(Qt::StrongFocus);
    if (had_focus) {
        next->setFocus(Qt::OtherFocusReason);
    }
    if (previous != nullptr) {
        previous->setFocusPolicy(Qt::NoFocus);
        previous->update();
    }
    focus_entry_ = index;
}

void Form34::keyPressEvent(QKeyEvent* event) {
    const ChooserEntry* focused = opcija(focus_entry_);
    if (focused == nullptr || !focused->hasFocus() ||
        (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    const auto at = std::find(kReadingOrder.begin(), kReadingOrder.end(), focus_entry_);
    const int place = static_cast<int>(at - kReadingOrder.begin());
    const int last = static_cast<int>(kReadingOrder.size()) - 1;
    int next = place;
    switch (event->key()) {
        case Qt::Key_Left:
            next = place - 1;
            break;
        case Qt::Key_Right:
            next = place + 1;
            break;
        case Qt::Key_Up:
            next = place - 2;
            break;
        case Qt::Key_Down:
            next = place + 2;
            break;
        case Qt::Key_Home:
            next = 0;
            break;
        case Qt::Key_End:
            next = last;
            break;
        case Qt::Key_Space:
            break;
        default:
            QDialog::keyPressEvent(event);
            return;
    }
    opcija_Click(kReadingOrder[static_cast<std::size_t>(std::clamp(next, 0, last))]);
}

void Form34::settheme() {
    paint_background(this, colors().col_window);
}

void Form34::highlight() {
    for (ChooserEntry* label : opcija_) {
        paint_chooser_entry(label, label->text() == current_theme_name());
    }
}

ChooserEntry* Form34::opcija(int index) const {
    if (index < 0 || index >= kEntryCount) {
        return nullptr;
    }
    return opcija_[static_cast<std::size_t>(index)];
}

void Form34::opcija_Click(int index) {
    const ChooserEntry* label = opcija(index);
    if (label == nullptr || closing_) {
        return;
    }
    set_current_theme_name(label->text());
    settings().put_string(QString::fromLatin1(setting_names::color_theme), current_theme_name());
    loadtheme();
    settheme();
    highlight();
    set_focus_entry(index);
    notify_theme_changed();
}

void Form34::store_and_apply() {
    settings().put_string(QString::fromLatin1(setting_names::color_theme), current_theme_name());
    loadtheme();
}

void Form34::Command1_Click() {
    if (closing_) {
        return;
    }
    closing_ = true;
    hide();
    QCoreApplication::processEvents();
    store_and_apply();
    notify_theme_changed();
    done(QDialog::Accepted);
}

void Form34::Command2_Click() {
    if (closing_) {
        return;
    }
    closing_ = true;
    set_current_theme_name(entry_theme_);
    hide();
    QCoreApplication::processEvents();
    store_and_apply();
    colors() = entry_roles_;
    notify_theme_changed();
    done(QDialog::Rejected);
}

void Form34::reject() {
    Command2_Click();
}

void show_theme_chooser(QWidget* parent) {
    Form34 chooser(parent);
    (void)fit_to_screen(chooser, {chooser.Command1(), chooser.Command2()},
                        available_screen_height(parent));
    chooser.exec();
}

}  // namespace corvanel
