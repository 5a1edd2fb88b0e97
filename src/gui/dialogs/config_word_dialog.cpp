// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/config_word_dialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/image/hex_text.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"
#include "platform/app/data_files.h"

namespace corvanel {

namespace {

constexpr int kBoxCharacters = 36;
constexpr int kListMargin = 24;

const ConfigFieldTable*& installed_table() {
    static const ConfigFieldTable* table = nullptr;
    return table;
}

const ConfigFieldTable& file_table() {
    static const ConfigFieldTable table = [] {
        ConfigFieldTable loaded;
        // Beside the device database in use: the program folder or the data folder.
        const QString path =
            QDir(QFileInfo(find_device_database(program_folder()).path).absolutePath())
                .filePath(QString::fromLatin1(kConfigFieldsFileName));
        if (!load_config_fields(path.toStdString(), loaded).ok) {
            // Without the file the labels keep the raw editor only.
            loaded.chips.clear();
        }
        return loaded;
    }();
    return table;
}

QString option_caption(const ConfigOption& option) {
    QString caption = QString::fromStdString(option.name);
    if (!option.text.empty()) {
        caption += QStringLiteral(" - ") + QString::fromStdString(option.text);
    }
    return caption;
}

}  // namespace

const ConfigFieldTable& config_field_table() {
    return installed_table() != nullptr ? *installed_table() : file_table();
}

void install_config_field_table(const ConfigFieldTable* table) {
    installed_table() = table;
}

const ConfigWordFields* config_word_fields(const std::string& chip, int number) {
    const ChipConfigFields* fields = config_field_table().find(chip);
    return fields != nullptr ? fields->word(number) : nullptr;
}

QString config_word_tooltip(const ConfigWordFields& fields, std::int32_t word) {
    QStringList lines;
    for (const std::string& line : describe_config_word(fields, word)) {
        lines << QString::fromStdString(line);
    }
    lines << QStringLiteral("Click to choose the options, right-click to edit the word.");
    return lines.join(QLatin1Char('\n'));
}

ConfigWordDialog::ConfigWordDialog(const ConfigWordFields& fields, std::int32_t word,
                                   QWidget* parent)
    : QDialog(parent), fields_(fields), word_(word) {
    setFont(dialog_font());
    setWindowTitle(QStringLiteral("Configuration Word (%1)")
                       .arg(QString::fromStdString(hex4h(fields.address))));
    auto* grid = new QGridLayout;
    for (std::size_t i = 0; i < fields.fields.size(); ++i) {
        const ConfigField& field = fields.fields[i];
        auto* caption =
            new QLabel(QStringLiteral("%1 (%2)").arg(QString::fromStdString(field.title),
                                                     QString::fromStdString(field.name)),
                       this);
        auto* box = new QComboBox(this);
        // The header texts run long: the box keeps a modest width, and its list
        // and the tooltips show them whole.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(kBoxCharacters);
        for (const ConfigOption& option : field.options) {
            box->addItem(option_caption(option), option.value);
            box->setItemData(box->count() - 1, option_caption(option), Qt::ToolTipRole);
        }
        if (const ConfigOption* chosen = selected_option(field, word)) {
            box->setCurrentIndex(box->findData(chosen->value));
        } else {
            // Bits no option names stay as they are until an option is chosen.
            box->addItem(QStringLiteral("bits %1 (no option)")
                             .arg(QString::fromStdString(hex4h(word & field.mask))),
                         word & field.mask);
            box->setCurrentIndex(box->count() - 1);
        }
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + kListMargin);
        caption->setBuddy(box);
        grid->addWidget(caption, static_cast<int>(i), 0);
        grid->addWidget(box, static_cast<int>(i), 1);
        boxes_.push_back(box);
        const int index = static_cast<int>(i);
        connect(box, &QComboBox::activated, this, [this, index] { option_chosen(index); });
    }

    word_label_ = new QLabel(this);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(word_label_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const ColorRoles& roles = colors();
    paint_background(this, roles.col_window);
    paint_control(word_label_, roles.col_field_back, roles.col_field_text);
    show_word();
}

QComboBox* ConfigWordDialog::field_box(int index) const {
    return boxes_.at(static_cast<std::size_t>(index));
}

void ConfigWordDialog::option_chosen(int field_index) {
    const ConfigField& field = fields_.fields.at(static_cast<std::size_t>(field_index));
    const QComboBox* box = boxes_.at(static_cast<std::size_t>(field_index));
    ConfigOption option;
    option.value = box->currentData().toInt();
    word_ = with_option(word_, field, option);
    show_word();
}

void ConfigWordDialog::show_word() {
    word_label_->setText(QStringLiteral(" Word: %1 ").arg(QString::fromStdString(hex4(word_))));
}

std::optional<std::int32_t> edit_config_word(QWidget* parent, const ConfigWordFields& fields,
                                             std::int32_t word) {
    ConfigWordDialog dialog(fields, word, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.word();
}

}  // namespace corvanel
