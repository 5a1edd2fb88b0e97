// SPDX-License-Identifier: GPL-3.0-or-later
// The model chooser window.

#include "gui/devices/model_chooser.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>

#include "core/devices/command_set.h"
#include "core/devices/model_application.h"
#include "core/devices/model_family.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/theme_chooser.h"
#include "gui/widgets/twips.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"

namespace corvanel {
namespace {

constexpr int kColumnLeft[2] = {twips_to_pixels(120), twips_to_pixels(2340)};
constexpr int kFirstRowTop = twips_to_pixels(120);
constexpr int kRowPitch = twips_to_pixels(240);
constexpr int kEntryWidth = twips_to_pixels(2115);
constexpr int kEntryHeight = twips_to_pixels(255);
constexpr int kClientWidth = twips_to_pixels(4575);
// The buttons' top lies this far below the top of the last visible row, and
// the window ends this far below the buttons' top.
constexpr int kButtonsBelowRow = twips_to_pixels(360);
constexpr int kWindowBelowButtons = twips_to_pixels(9075 - 8640);
constexpr int kButtonWidth = twips_to_pixels(1035);
constexpr int kButtonHeight = twips_to_pixels(375);
constexpr int kCancelLeft = twips_to_pixels(1200);
constexpr int kSelectLeft = twips_to_pixels(2340);

constexpr int row_top(int row) {
    return kFirstRowTop + kRowPitch * row;
}

// Names compared with their digit runs read as numbers, letters without case.
bool natural_less(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype start_a = i;
            const qsizetype start_b = j;
            while (i < a.size() && a[i].isDigit()) {
                ++i;
            }
            while (j < b.size() && b[j].isDigit()) {
                ++j;
            }
            // Leading zeros do not count; then the longer run is the larger number.
            qsizetype from_a = start_a;
            qsizetype from_b = start_b;
            while (from_a < i - 1 && a[from_a] == QLatin1Char('0')) {
                ++from_a;
            }
            while (from_b < j - 1 && b[from_b] == QLatin1Char('0')) {
                ++from_b;
            }
            if (i - from_a != j - from_b) {
                return i - from_a < j - from_b;
            }
            const int order = QStringView(a)
                                  .mid(from_a, i - from_a)
                                  .compare(QStringView(b).mid(from_b, j - from_b));
            if (order != 0) {
                return order < 0;
            }
            continue;
        }
        const QChar ca = a[i].toUpper();
        const QChar cb = b[j].toUpper();
        if (ca != cb) {
            return ca < cb;
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

QString model_tooltip(const DeviceModel& model) {
    QString tip = QStringLiteral("FLASH: ") + QString::fromStdString(model.flash) +
                  QStringLiteral(", EEPROM: ") + QString::fromStdString(model.eeprom);
    if (const auto window = parse_vpp_window(model.vpp)) {
        tip += QStringLiteral(", Vpp: ") + QString::fromStdString(vpp_window_text(*window));
    }
    // The supply the chip takes while programmed: an LF part ends at 3.6 V.
    if (const auto window = parse_vdd_window(model.vdd)) {
        tip += QStringLiteral(", Vdd: ") + QString::fromStdString(vdd_window_text(*window));
    }
    // The second line: which family, which command set the board must speak,
    // and whether the model's data rests on a single source.
    tip += QLatin1Char('\n') + QString::fromStdString(model_summary(model));
    // A tooltip that looks like markup would be drawn as markup: the texts come
    // from the device file and are shown as written.
    if (Qt::mightBeRichText(tip)) {
        tip = QStringLiteral("<p style='white-space:pre'>") +
              tip.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
              QStringLiteral("</p>");
    }
    return tip;
}

// What the filter looks in: the name, and the family on a line of its own so
// that no typed text (one line) matches across the two.
QString filter_key(const DeviceModel& model) {
    return (QString::fromStdString(model.name) + QLatin1Char('\n') +
            QString::fromStdString(model.family))
        .toLower();
}

}  // namespace

Form5::Form5(QWidget* parent, int available_height) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select Microcontroller"));
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(chooser_font());

    const ProgramState& program = state();
    const int count = program.database.model_count();
    const int rows = std::max(1, (count + 1) / 2);
    int shown_rows = std::min(rows, kVisibleRows);
    if (available_height > 0) {
        // A laptop screen at a large scale holds fewer rows than the design's 35.
        const int room = available_height - kFrameAllowance - kFirstRowTop - kButtonsBelowRow -
                         kWindowBelowButtons;
        shown_rows = std::min(shown_rows, std::max(3, room / kRowPitch + 1));
    }
    const bool scrolls = rows > shown_rows;

    // The entries sit on a panel inside a frameless scroll area. While every
    // entry fits, panel and area have the same height and nothing scrolls;
    // beyond 70 models the area keeps the size of 35 rows and gains a scroll bar.
    area_ = new QScrollArea(this);
    area_->setFrameShape(QFrame::NoFrame);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    panel_ = new QWidget;
    panel_->resize(kClientWidth, row_top(rows - 1) + kButtonsBelowRow);
    for (int k = 1; k <= count; ++k) {
        const DeviceModel& model = program.database.model(k);
        auto* entry = new ChooserEntry(panel_);
        entry->setObjectName(QStringLiteral("opcija%1").arg(k));
        // A name is shown as written, never read as markup.
        entry->setTextFormat(Qt::PlainText);
        entry->setText(QString::fromStdString(model.name));
        entry->setToolTip(model_tooltip(model));
        filter_keys_.push_back(filter_key(model));
        entry->setIndent(2);
        entry->setGeometry(kColumnLeft[(k - 1) % 2], row_top((k - 1) / 2), kEntryWidth,
                           kEntryHeight);
        connect(entry, &ChooserEntry::clicked, this, [this, k] { opcija_Click(k); });
        connect(entry, &ChooserEntry::double_clicked, this, [this, k] { opcija_DblClick(k); });
        opcija_.push_back(entry);
    }
    area_->setWidget(panel_);
    area_->verticalScrollBar()->setSingleStep(kRowPitch);

    const int buttons_top = row_top(shown_rows - 1) + kButtonsBelowRow;
    const int bar_width = scrolls ? style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    area_->setGeometry(0, 0, kClientWidth + bar_width, buttons_top);

    command1_ = new QPushButton(QStringLiteral("Select"), this);
    command1_->setGeometry(kSelectLeft, buttons_top, kButtonWidth, kButtonHeight);
    command1_->setDefault(true);
    connect(command1_, &QPushButton::clicked, this, &Form5::Command1_Click);

    command2_ = new QPushButton(QStringLiteral("Cancel"), this);
    command2_->setGeometry(kCancelLeft, buttons_top, kButtonWidth, kButtonHeight);
    command2_->setAutoDefault(false);
    connect(command2_, &QPushButton::clicked, this, &Form5::Command2_Click);

    // The filter box takes the free place left of the buttons, so the design's
    // grid and buttons stay where they are.
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setToolTip(QStringLiteral("Type part of a name; arrows choose, Enter selects"));
    filter_->setClearButtonEnabled(false);
    filter_->setGeometry(kColumnLeft[0], buttons_top, kCancelLeft - kColumnLeft[0] - 6,
                         kButtonHeight);
    filter_->installEventFilter(this);
    connect(filter_, &QLineEdit::textChanged, this, [this] { apply_filter(); });
    setTabOrder(filter_, command2_);
    setTabOrder(command2_, command1_);

    setFixedSize(kClientWidth + bar_width, buttons_top + kWindowBelowButtons);

    // Sorted by name with numbers read as numbers, which also groups the
    // families (PIC12F..., PIC16F...) and keeps PIC16F88 before PIC16F628.
    for (int k = 1; k <= count; ++k) {
        order_.push_back(k);
    }
    std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
        return natural_less(opcija(a)->text(), opcija(b)->text());
    });
    apply_filter();
    settheme();
    highlight_entries();
    entry_model_ = program.selected_model;
    if (ChooserEntry* chosen = opcija(entry_model_)) {
        area_->ensureWidgetVisible(chosen, 0, kRowPitch);
    }
    filter_->setFocus(Qt::OtherFocusReason);
}

void Form5::apply_filter() {
    const QString text = filter_->text().trimmed().toLower();
    shown_.clear();
    // Only the entries whose place or visibility changes are touched, and the
    // panel is drawn once afterwards: with some four hundred models a keystroke
    // costs the entries that come and go.
    bool changed = false;
    const auto change = [&] {
        if (!changed) {
            changed = true;
            panel_->setUpdatesEnabled(false);
        }
    };
    for (const int k : order_) {
        ChooserEntry* entry = opcija(k);
        const bool match =
            text.isEmpty() || filter_keys_[static_cast<std::size_t>(k - 1)].contains(text);
        if (match) {
            const int place = static_cast<int>(shown_.size());
            const QPoint at(kColumnLeft[place % 2], row_top(place / 2));
            if (entry->pos() != at) {
                change();
                entry->move(at);
            }
            shown_.push_back(k);
        }
        if (entry->isVisibleTo(panel_) != match) {
            change();
            entry->setVisible(match);
        }
    }
    if (changed) {
        panel_->setUpdatesEnabled(true);
    }
    const int rows = std::max(1, (static_cast<int>(shown_.size()) + 1) / 2);
    panel_->resize(panel_->width(), row_top(rows - 1) + kButtonsBelowRow);
    ProgramState& program = state();
    // The mark goes where the typing points most closely: a name typed in full
    // ("16F1847" or "PIC16F1847") before a name that holds the text, and that
    // before a model found only through its family (the PIC12F1840's family
    // names the 16F1847 too). A mark that matches as closely stays.
    const auto closeness = [this, &text](int k) {
        const QString name = opcija(k)->text().toLower();
        if (name == text || name == QStringLiteral("pic") + text) {
            return 3;
        }
        return name.contains(text) ? 2 : 1;
    };
    if (!shown_.empty()) {
        int best = shown_.front();
        for (const int k : shown_) {
            if (closeness(k) > closeness(best)) {
                best = k;
            }
        }
        const bool mark_shown =
            std::find(shown_.begin(), shown_.end(), program.selected_model) != shown_.end();
        if (!mark_shown || closeness(program.selected_model) < closeness(best)) {
            program.selected_model = best;
            highlight_entries();
        }
    }
    if (ChooserEntry* chosen = opcija(program.selected_model)) {
        area_->ensureWidgetVisible(chosen, 0, kRowPitch);
    }
}

void Form5::move_mark(int step) {
    if (shown_.empty() || closing_) {
        return;
    }
    const auto at = std::find(shown_.begin(), shown_.end(), state().selected_model);
    const int place = at == shown_.end() ? 0 : static_cast<int>(at - shown_.begin());
    const int last = static_cast<int>(shown_.size()) - 1;
    const int next = std::clamp(place + step, 0, last);
    opcija_Click(shown_[static_cast<std::size_t>(next)]);
    area_->ensureWidgetVisible(opcija(shown_[static_cast<std::size_t>(next)]), 0, kRowPitch);
}

bool Form5::eventFilter(QObject* watched, QEvent* event) {
    if (watched == filter_ && event->type() == QEvent::KeyPress) {
        const int visible_rows = std::max(1, area_->viewport()->height() / kRowPitch);
        switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Left:
                move_mark(-1);
                return true;
            case Qt::Key_Right:
                move_mark(1);
                return true;
            case Qt::Key_Up:
                move_mark(-2);
                return true;
            case Qt::Key_Down:
                move_mark(2);
                return true;
            case Qt::Key_PageUp:
                move_mark(-2 * visible_rows);
                return true;
            case Qt::Key_PageDown:
                move_mark(2 * visible_rows);
                return true;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Form5::settheme() {
    const QColor& back = colors().col_window;
    paint_background(this, back);
    paint_background(area_->viewport(), back);
    paint_background(panel_, back);
    // The entries are fields: their scroll bar takes the fields' colours.
    paint_scroll_bar(area_->verticalScrollBar(), colors());
}

void Form5::highlight_entries() {
    const int selected = state().selected_model;
    for (std::size_t i = 0; i < opcija_.size(); ++i) {
        paint_chooser_entry(opcija_[i], static_cast<int>(i) + 1 == selected);
    }
}

ChooserEntry* Form5::opcija(int k) const {
    if (k < 1 || k > entries()) {
        return nullptr;
    }
    return opcija_[static_cast<std::size_t>(k - 1)];
}

void Form5::opcija_Click(int k) {
    if (opcija(k) == nullptr || closing_) {
        return;
    }
    state().selected_model = k;
    highlight_entries();
}

void Form5::opcija_DblClick(int k) {
    if (opcija(k) == nullptr || closing_) {
        return;
    }
    opcija_Click(k);
    Command1_Click();
}

void Form5::Command1_Click() {
    if (closing_) {
        return;
    }
    closing_ = true;
    hide();
    QCoreApplication::processEvents();
    ProgramState& program = state();
    if (program.selected_model != entry_model_ && change_guard_ && !change_guard_()) {
        program.selected_model = entry_model_;
        done(QDialog::Rejected);
        return;
    }
    if (program.selected_model != entry_model_ &&
        program.database.has_model(program.selected_model)) {
        settings().put_string(QString::fromLatin1(setting_names::microcontroller_model),
                              QString::number(program.selected_model));
        apply_model(program.database, program.selected_model, program.model, program.image);
    }
    done(QDialog::Accepted);
}

void Form5::Command2_Click() {
    if (closing_) {
        return;
    }
    closing_ = true;
    state().selected_model = entry_model_;
    done(QDialog::Rejected);
}

void Form5::reject() {
    Command2_Click();
}

void show_model_chooser(QWidget* parent, std::function<bool()> change_guard) {
    const QScreen* screen = parent != nullptr ? parent->screen() : nullptr;
    Form5 chooser(parent, screen != nullptr ? screen->availableGeometry().height() : 0);
    chooser.set_change_guard(std::move(change_guard));
    chooser.exec();
}

}  // namespace corvanel
