// The model chooser window.

#include "gui/devices/model_chooser.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include "core/devices/model_application.h"
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

QString model_tooltip(const DeviceModel& model) {
    QString tip = QStringLiteral("FLASH: ") + QString::fromStdString(model.flash) +
                  QStringLiteral(", EEPROM: ") + QString::fromStdString(model.eeprom);
    if (const auto window = parse_vpp_window(model.vpp)) {
        tip += QStringLiteral(", Vpp: ") + QString::fromStdString(vpp_window_text(*window));
    }
    return tip;
}

}  // namespace

Form5::Form5(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Select Microcontroller"));
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(chooser_font());

    const ProgramState& program = state();
    const int count = program.database.model_count();
    const int rows = std::max(1, (count + 1) / 2);
    const int shown_rows = std::min(rows, kVisibleRows);
    const bool scrolls = rows > kVisibleRows;

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

    setFixedSize(kClientWidth + bar_width, buttons_top + kWindowBelowButtons);

    settheme();
    highlight_entries();
    entry_model_ = program.selected_model;
    if (ChooserEntry* chosen = opcija(entry_model_)) {
        area_->ensureWidgetVisible(chosen, 0, kRowPitch);
    }
}

void Form5::settheme() {
    const QColor& back = colors().col_window;
    paint_background(this, back);
    paint_background(area_->viewport(), back);
    paint_background(panel_, back);
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

void show_model_chooser(QWidget* parent) {
    Form5 chooser(parent);
    chooser.exec();
}

}  // namespace corvanel
