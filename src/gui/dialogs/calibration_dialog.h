// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calibration view of the 12F629/675 and 16F630/676: the chip's factory
// OSCCAL word and band-gap bits as read from it, and the way to write them back
// by hand from the values on the chip's label when an erase elsewhere lost them.

#include <QDialog>
#include <QString>

#include <functional>

#include "core/engine/calibration_recovery.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvanel {

class CalibrationDialog : public QDialog {
    Q_OBJECT
public:
    using Done = std::function<void(const QString&)>;
    // `read` reads the chip and hands the lines to show to its callback; `write`
    // erases it with the typed values written back, then reads it the same way.
    CalibrationDialog(const ActiveModel& model, std::function<void(Done)> read,
                      std::function<void(const SavedCalibration&, Done)> write,
                      QWidget* parent = nullptr);

    [[nodiscard]] QPushButton* read_button() const { return read_; }
    [[nodiscard]] QPushButton* write_button() const { return write_; }
    [[nodiscard]] QLineEdit* word_edit() const { return word_; }
    [[nodiscard]] QLineEdit* bandgap_edit() const { return bandgap_; }
    [[nodiscard]] QString chip_text() const;

private:
    void read_clicked();
    void write_clicked();
    void show_result(const QString& text);
    void set_busy(bool busy);

    const ActiveModel& model_;
    std::function<void(Done)> read_chip_;
    std::function<void(const SavedCalibration&, Done)> write_chip_;
    QLabel* chip_ = nullptr;
    QLineEdit* word_ = nullptr;
    QLineEdit* bandgap_ = nullptr;
    QPushButton* read_ = nullptr;
    QPushButton* write_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace corvanel
