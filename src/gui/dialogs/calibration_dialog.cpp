// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/calibration_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/image/hex_text.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"

namespace corvanel {

CalibrationDialog::CalibrationDialog(const ActiveModel& model, std::function<void(Done)> read,
                                     std::function<void(const SavedCalibration&, Done)> write,
                                     QWidget* parent)
    : QDialog(parent), model_(model), read_chip_(std::move(read)), write_chip_(std::move(write)) {
    setWindowTitle(
        QStringLiteral("Calibration of %1").arg(QString::fromStdString(model.model_name)));
    auto* layout = new QVBoxLayout(this);
    const QString address = model.calibration_word
                                ? QString::fromStdString(hex4h(model.calibration_word->address))
                                : QString();
    auto* about = new QLabel(
        QStringLiteral("The chip leaves the factory with its oscillator calibration (OSCCAL, a "
                       "RETLW at %1) and the band-gap bits of the configuration word. Erase All "
                       "and Program All keep both. When an erase elsewhere lost them, type the "
                       "values printed on the chip's label and write them back: the chip is "
                       "erased with them.")
            .arg(address),
        this);
    about->setWordWrap(true);
    layout->addWidget(about);

    chip_ = new QLabel(QStringLiteral("Not read yet."), this);
    chip_->setFrameShape(QFrame::Box);
    chip_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chip_->setMinimumHeight(chip_->fontMetrics().lineSpacing() * 2 + 8);
    layout->addWidget(chip_);
    read_ = new QPushButton(QStringLiteral("&Read from Chip"), this);
    layout->addWidget(read_);

    auto* form = new QFormLayout;
    word_ = new QLineEdit(this);
    word_->setMaxLength(5);
    word_->setPlaceholderText(QStringLiteral("34xx, as on the label"));
    form->addRow(QStringLiteral("&OSCCAL word:"), word_);
    bandgap_ = new QLineEdit(this);
    bandgap_->setMaxLength(2);
    bandgap_->setPlaceholderText(QStringLiteral("two bits, e.g. 10 (empty: keep)"));
    bandgap_->setEnabled(model.calibration_config_bits != 0);
    form->addRow(QStringLiteral("&Band-gap bits:"), bandgap_);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    write_ = new QPushButton(QStringLiteral("&Write to Chip"), this);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    save_ = new QPushButton(QStringLiteral("&Save to File..."), this);
    load_ = new QPushButton(QStringLiteral("&Load from File..."), this);
    save_->setToolTip(QStringLiteral("Keep the values in the fields in a file"));
    load_->setToolTip(
        QStringLiteral("Fill the fields from a saved file; Write to Chip puts "
                       "them in the chip"));
    save_->hide();
    load_->hide();
    buttons->addWidget(write_);
    buttons->addWidget(save_);
    buttons->addWidget(load_);
    buttons->addStretch();
    buttons->addWidget(close_);
    layout->addLayout(buttons);
    setMinimumWidth(chip_->fontMetrics().averageCharWidth() * 60);

    connect(read_, &QPushButton::clicked, this, &CalibrationDialog::read_clicked);
    connect(write_, &QPushButton::clicked, this, &CalibrationDialog::write_clicked);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(save_, &QPushButton::clicked, this, &CalibrationDialog::save_clicked);
    connect(load_, &QPushButton::clicked, this, [this] {
        if (load_values_) {
            if (const auto values = load_values_()) {
                set_values(*values);
            }
        }
    });
}

void CalibrationDialog::set_file_commands(std::function<void(const SavedCalibration&)> save,
                                          std::function<std::optional<SavedCalibration>()> load) {
    save_values_ = std::move(save);
    load_values_ = std::move(load);
    save_->setVisible(static_cast<bool>(save_values_));
    load_->setVisible(static_cast<bool>(load_values_));
}

void CalibrationDialog::set_values(const SavedCalibration& values) {
    word_->setText(values.word >= 0 ? QString::fromStdString(hex4(values.word)) : QString());
    QString bits;
    const std::int32_t mask = model_.calibration_config_bits;
    if (values.bits >= 0 && mask != 0) {
        // One binary digit per calibration bit, the highest first, as typed.
        for (int bit = 13; bit >= 0; --bit) {
            if (((mask >> bit) & 1) != 0) {
                bits += ((values.bits >> bit) & 1) != 0 ? QLatin1Char('1') : QLatin1Char('0');
            }
        }
    }
    bandgap_->setText(bits);
}

std::optional<SavedCalibration> CalibrationDialog::typed_values() {
    std::string error;
    const auto typed =
        parse_typed_calibration(word_->text().trimmed().toStdString(),
                                bandgap_->text().trimmed().toStdString(), model_, error);
    if (!typed) {
        (void)mymsgbox(QString::fromStdString(error) + QLatin1Char('.'), message_kind::kError,
                       window_title());
    }
    return typed;
}

void CalibrationDialog::save_clicked() {
    if (!save_values_) {
        return;
    }
    if (const auto typed = typed_values()) {
        if (typed->word < 0 && typed->bits < 0) {
            (void)mymsgbox(QStringLiteral("Nothing to save: read the chip or type the values "
                                          "first."),
                           message_kind::kError, window_title());
            return;
        }
        save_values_(*typed);
    }
}

QString CalibrationDialog::chip_text() const {
    return chip_->text();
}

void CalibrationDialog::set_busy(bool busy) {
    for (QWidget* control : {static_cast<QWidget*>(read_), static_cast<QWidget*>(write_),
                             static_cast<QWidget*>(close_), static_cast<QWidget*>(save_),
                             static_cast<QWidget*>(load_)}) {
        control->setEnabled(!busy);
    }
}

void CalibrationDialog::show_result(const QString& text) {
    chip_->setText(text);
    set_busy(false);
}

void CalibrationDialog::read_clicked() {
    set_busy(true);
    chip_->setText(QStringLiteral("Reading..."));
    QPointer<CalibrationDialog> self(this);
    read_chip_([self](const QString& text) {
        if (self) {
            self->show_result(text);
        }
    });
}

void CalibrationDialog::write_clicked() {
    const auto typed = typed_values();
    if (!typed) {
        return;
    }
    const QString values =
        QString::fromStdString(calibration_values_text(*typed, model_.calibration_config_bits))
            .replace(QStringLiteral(" was "), QStringLiteral(" "));
    // Writing calibration back means erasing the chip: "No" is the default.
    if (mymsgbox(QStringLiteral("Erase the chip and write %1 back as its calibration?").arg(values),
                 message_kind::kQuestion | message_kind::kDefaultButton2,
                 window_title()) != message_result::kYes) {
        return;
    }
    set_busy(true);
    chip_->setText(QStringLiteral("Erasing and writing..."));
    QPointer<CalibrationDialog> self(this);
    write_chip_(*typed, [self](const QString& text) {
        if (self) {
            self->show_result(text);
        }
    });
}

}  // namespace corvanel
