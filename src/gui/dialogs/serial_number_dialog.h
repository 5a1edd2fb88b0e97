// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Serial Numbers...": whether Program All writes a serial number into each
// chip, the next number, the step, where it goes (a RETLW table in program
// memory or bytes in EEPROM), its address and its number of bytes. "OK" takes
// the values only when the number fits where it should go in the applied
// model's chip (not on its factory calibration word); otherwise the dialog says
// why and stays open. There is no default address: the user types one.

#include <QDialog>

#include "core/devices/model_application.h"
#include "core/engine/serial_number.h"
#include "core/image/memory_image.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace corvanel {

class SerialNumberDialog : public QDialog {
    Q_OBJECT
public:
    SerialNumberDialog(const SerialNumber& serial, bool enabled, const MemoryImage& shape,
                       const ActiveModel& model, QWidget* parent = nullptr);

    [[nodiscard]] const SerialNumber& serial() const { return serial_; }
    [[nodiscard]] bool serial_enabled() const { return enabled_; }

    // The controls, for tests.
    QCheckBox* enable_box = nullptr;
    QLineEdit* start_edit = nullptr;
    QSpinBox* step_box = nullptr;
    QComboBox* location_box = nullptr;
    QLineEdit* address_edit = nullptr;
    QSpinBox* bytes_box = nullptr;
    QLabel* problem_label = nullptr;
    QPushButton* ok_button = nullptr;

    void accept() override;

private:
    SerialNumber serial_;
    bool enabled_ = false;
    const MemoryImage& shape_;
    const ActiveModel& model_;
};

}  // namespace corvanel
