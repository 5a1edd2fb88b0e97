// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The configuration word dialog: one drop-down per named field of a
// configuration word (oscillator, watchdog, power-up timer, MCLR, brown-out,
// LVP, code protection, ...). Choosing an option changes only that field's bits;
// "OK" hands the edited word back, "Cancel" leaves the image as it was. The
// fields come from "corvanelconfig.txt" beside the device database.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/devices/config_fields.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace corvanel {

// The table of named fields: loaded once from the program folder (empty when
// the file is missing or faulty), or the one a test installed.
[[nodiscard]] const ConfigFieldTable& config_field_table();
// Installs `table` (not owned); nullptr goes back to the file.
void install_config_field_table(const ConfigFieldTable* table);

// The fields of configuration word `number` (1 or 2) of the named chip, or nullptr.
[[nodiscard]] const ConfigWordFields* config_word_fields(const std::string& chip, int number);

// The decoded options of the word, one line each, for the label's tooltip.
[[nodiscard]] QString config_word_tooltip(const ConfigWordFields& fields, std::int32_t word);

class ConfigWordDialog : public QDialog {
    Q_OBJECT
public:
    ConfigWordDialog(const ConfigWordFields& fields, std::int32_t word, QWidget* parent = nullptr);

    // The word with the options chosen so far.
    [[nodiscard]] std::int32_t word() const { return word_; }
    // The drop-down of field `index` (file order), for tests.
    [[nodiscard]] QComboBox* field_box(int index) const;
    [[nodiscard]] int field_count() const { return static_cast<int>(boxes_.size()); }
    [[nodiscard]] QPushButton* ok_button() const { return ok_; }
    [[nodiscard]] QPushButton* cancel_button() const { return cancel_; }

private:
    void option_chosen(int field_index);
    void show_word();

    const ConfigWordFields& fields_;
    std::int32_t word_;
    std::vector<QComboBox*> boxes_;
    QLabel* word_label_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Shows the dialog; the edited word after "OK", nothing after "Cancel".
[[nodiscard]] std::optional<std::int32_t> edit_config_word(QWidget* parent,
                                                           const ConfigWordFields& fields,
                                                           std::int32_t word);

}  // namespace corvanel
