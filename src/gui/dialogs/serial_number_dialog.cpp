// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs/serial_number_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace corvanel {

SerialNumberDialog::SerialNumberDialog(const SerialNumber& serial, bool enabled,
                                       const MemoryImage& shape, const ActiveModel& model,
                                       QWidget* parent)
    : QDialog(parent), serial_(serial), enabled_(enabled), shape_(shape), model_(model) {
    setWindowTitle(QStringLiteral("Serial Numbers"));
    auto* layout = new QVBoxLayout(this);
    enable_box = new QCheckBox(QStringLiteral("&Write a serial number into each chip"), this);
    enable_box->setChecked(enabled);
    layout->addWidget(enable_box);

    auto* form = new QFormLayout;
    start_edit = new QLineEdit(QString::number(serial.value), this);
    start_edit->setToolTip(QStringLiteral("The number the next chip gets (decimal)"));
    form->addRow(QStringLiteral("&Next number:"), start_edit);
    step_box = new QSpinBox(this);
    step_box->setRange(1, 1000000);
    step_box->setValue(static_cast<int>(std::min<std::uint64_t>(serial.step, 1000000)));
    form->addRow(QStringLiteral("&Step:"), step_box);
    location_box = new QComboBox(this);
    location_box->addItem(QStringLiteral("Program memory, RETLW table"));
    location_box->addItem(QStringLiteral("EEPROM bytes"));
    location_box->setCurrentIndex(serial.location == SerialLocation::Eeprom ? 1 : 0);
    form->addRow(QStringLiteral("&Location:"), location_box);
    address_edit = new QLineEdit(
        serial.address < 0 ? QString() : QString::number(serial.address, 16).toUpper(), this);
    address_edit->setPlaceholderText(QStringLiteral("choose: not over code"));
    address_edit->setToolTip(
        QStringLiteral("Program memory word or EEPROM byte address of the low byte (hex)"));
    form->addRow(QStringLiteral("&Address (hex):"), address_edit);
    bytes_box = new QSpinBox(this);
    bytes_box->setRange(1, kMaxSerialBytes);
    bytes_box->setValue(serial.byte_count);
    form->addRow(QStringLiteral("&Bytes:"), bytes_box);
    layout->addLayout(form);

    auto* note = new QLabel(
        QStringLiteral("Low byte first. A RETLW table holds one byte in each word (34xxh);\n"
                       "the number steps on after each chip programmed and verified."),
        this);
    layout->addWidget(note);
    problem_label = new QLabel(this);
    problem_label->setWordWrap(true);
    layout->addWidget(problem_label);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_button = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &SerialNumberDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void SerialNumberDialog::accept() {
    SerialNumber serial = serial_;
    bool number = false;
    serial.value = start_edit->text().trimmed().toULongLong(&number, 10);
    bool address = false;
    serial.address = address_edit->text().trimmed().toInt(&address, 16);
    if (address_edit->text().trimmed().isEmpty()) {
        // No address yet: fine while serial numbers stay off.
        address = !enable_box->isChecked();
        serial.address = -1;
    }
    serial.step = static_cast<std::uint64_t>(step_box->value());
    serial.location =
        location_box->currentIndex() == 1 ? SerialLocation::Eeprom : SerialLocation::RetlwTable;
    serial.byte_count = bytes_box->value();
    QString problem;
    if (!number) {
        problem = QStringLiteral("The next number is not a decimal number.");
    } else if (!address) {
        problem = address_edit->text().trimmed().isEmpty()
                      ? QStringLiteral(
                            "Choose the address of the serial number: a place the "
                            "program does not use (not the reset vector).")
                      : QStringLiteral("The address is not a hex number.");
    } else if (const auto refused = serial_refusal(serial, shape_, model_);
               refused && enable_box->isChecked()) {
        problem = QString::fromStdString(*refused);
    }
    if (!problem.isEmpty()) {
        problem_label->setText(problem);
        return;
    }
    serial_ = serial;
    enabled_ = enable_box->isChecked();
    QDialog::accept();
}

}  // namespace corvanel
