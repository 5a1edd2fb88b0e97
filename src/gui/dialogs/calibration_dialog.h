// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The calibration view of the 12F629/675 and 16F630/676: the chip's factory
// OSCCAL word and band-gap bits as read from it, and the way to write them back
// by hand from the values on the chip's label when an erase elsewhere lost them.

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

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

    // "Save to File..." and "Load from File...": `save` keeps the values in the
    // fields, `load` answers values for them (nothing: cancelled or refused).
    // The buttons show once these are given.
    void set_file_commands(std::function<void(const SavedCalibration&)> save,
                           std::function<std::optional<SavedCalibration>()> load);
    // Fills the fields: the OSCCAL word in hex, the band-gap bits in binary
    // (a value of -1 leaves its field empty).
    void set_values(const SavedCalibration& values);
    [[nodiscard]] QPushButton* save_button() const { return save_; }
    [[nodiscard]] QPushButton* load_button() const { return load_; }

private:
    void read_clicked();
    void write_clicked();
    void save_clicked();
    // The fields' values, or nothing after saying what is wrong.
    [[nodiscard]] std::optional<SavedCalibration> typed_values();
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
    QPushButton* save_ = nullptr;
    QPushButton* load_ = nullptr;
    std::function<void(const SavedCalibration&)> save_values_;
    std::function<std::optional<SavedCalibration>()> load_values_;
};

}  // namespace corvanel
